#include "sections/planar_triangulation.h"
#include "sections/isolated_worker.h"
#include "sections/planar_graph.h"

#include <QDebug>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

// Debian's Triangle is built with double coordinates (REAL = double). Its
// header is included here only: it also defines macros and type names such as
// `triangle`, `org` and `mark` that must not leak into other code.
extern "C" {
#include <triangle.h>
}

namespace {

// Points where more segments than this end count as hubs (see
// triangulateProvenGraph); contours alone never have more than a few.
constexpr int kTriangleHubDegree = 8;

std::mutex& triangleMutex() {
  static std::mutex m;
  return m;
}

void freeOutput(triangulateio& out) {
  trifree(out.pointlist);
  trifree(out.pointattributelist);
  trifree(out.pointmarkerlist);
  trifree(out.trianglelist);
  trifree(out.triangleattributelist);
  trifree(out.neighborlist);
  trifree(out.segmentlist);
  trifree(out.segmentmarkerlist);
  trifree(out.edgelist);
  trifree(out.edgemarkerlist);
  trifree(out.normlist);
  // holelist and regionlist are the caller's input arrays handed back.
}

// Triangle's call with the switches "pzQ"; copies its output points and
// triangles and frees its arrays.
void runTriangle(triangulateio& in, std::vector<double>& outPoints, std::vector<int>& outTriangles) {
  triangulateio out{};  // every pointer null
  char switches[] = "pzQ";
  triangulate(switches, &in, &out, nullptr);

  const int outPointCount = out.numberofpoints;
  if (out.pointlist && outPointCount > 0) outPoints.assign(out.pointlist, out.pointlist + 2 * outPointCount);
  if (out.trianglelist && out.numberoftriangles > 0) {
    // Three corners per triangle (no higher-order switch is given).
    const int corners = out.numberofcorners > 0 ? out.numberofcorners : 3;
    outTriangles.reserve(size_t(out.numberoftriangles) * 3);
    for (int t = 0; t < out.numberoftriangles; ++t)
      for (int c = 0; c < 3; ++c) {
        const int idx = out.trianglelist[t * corners + c];
        outTriangles.push_back(idx >= 0 && idx < outPointCount ? idx : 0);
      }
  }
  freeOutput(out);
}

// Request and answer of the triangulation child: counts, then the arrays.
template <typename T>
void appendArray(std::string& out, const T* data, size_t count) {
  const int64_t n = int64_t(count);
  out.append(reinterpret_cast<const char*>(&n), sizeof n);
  out.append(reinterpret_cast<const char*>(data), count * sizeof(T));
}

template <typename T>
bool takeArray(const std::string& in, size_t& pos, std::vector<T>& out) {
  int64_t n = 0;
  if (in.size() - pos < sizeof n) return false;
  std::memcpy(&n, in.data() + pos, sizeof n);
  pos += sizeof n;
  if (n < 0 || uint64_t(n) > (in.size() - pos) / sizeof(T)) return false;
  out.resize(size_t(n));
  if (n > 0) std::memcpy(out.data(), in.data() + pos, size_t(n) * sizeof(T));
  pos += size_t(n) * sizeof(T);
  return true;
}

// Runs in the child: one triangulation.
std::string triangulateInChild(const std::string& request) {
  std::vector<double> points, holes, outPoints;
  std::vector<int> segments, outTriangles;
  size_t pos = 0;
  std::string answer;
  if (!takeArray(request, pos, points) || !takeArray(request, pos, segments) || !takeArray(request, pos, holes))
    return answer;  // an empty answer means failure
  triangulateio in{};
  in.pointlist = points.data();
  in.numberofpoints = int(points.size() / 2);
  in.segmentlist = segments.empty() ? nullptr : segments.data();
  in.numberofsegments = int(segments.size() / 2);
  in.holelist = holes.empty() ? nullptr : holes.data();
  in.numberofholes = int(holes.size() / 2);
  runTriangle(in, outPoints, outTriangles);
  appendArray(answer, outPoints.data(), outPoints.size());
  appendArray(answer, outTriangles.data(), outTriangles.size());
  return answer;
}

// Runs Triangle in a child process, so that the library ending the process on
// input it cannot resolve ends the child only. The child is kept for the next
// call (starting one per call would cost a fork each time). Returns false
// when the child fails, takes longer than 10 s or needs more than 1 GiB of
// memory beyond what the parent held when it was forked.
bool runTriangleIsolated(triangulateio& in, std::vector<double>& outPoints, std::vector<int>& outTriangles) {
  static IsolatedWorker worker(&triangulateInChild, size_t(1) << 30);
  std::string request, answer;
  appendArray(request, in.pointlist, size_t(in.numberofpoints) * 2);
  appendArray(request, in.segmentlist, size_t(in.numberofsegments) * 2);
  appendArray(request, in.holelist, size_t(in.numberofholes) * 2);
  if (!worker.call(request, answer, 10000)) return false;
  size_t pos = 0;
  if (!takeArray(answer, pos, outPoints) || !takeArray(answer, pos, outTriangles) || pos != answer.size()) return false;
  const int pointCount = int(outPoints.size() / 2);
  for (int idx : outTriangles)
    if (idx < 0 || idx >= pointCount) return false;
  return true;
}

}  // namespace

bool proveGraph(std::vector<double> points, std::vector<int> segments, ProvenGraph& out) {
  out.points_.clear();
  out.segments_.clear();
  const int pointCount = int(points.size() / 2);
  if (pointCount < 3 || points.size() % 2 != 0 || segments.size() % 2 != 0) return false;
  // Coordinates come from single-precision points; anything beyond that range
  // could overflow Triangle's predicates.
  for (double v : points)
    if (!std::isfinite(v) || std::fabs(v) > 3.5e38) return false;
  for (size_t k = 0; k < segments.size(); k += 2)
    if (segments[k] < 0 || segments[k] >= pointCount || segments[k + 1] < 0 || segments[k + 1] >= pointCount ||
        segments[k] == segments[k + 1])
      return false;
  // Distinct points: the library ignores a repeated point but then reads
  // uninitialised memory when a segment ends at it.
  std::vector<double> distinct = points;
  mergeRepeatedPoints(distinct);
  if (distinct.size() != points.size()) return false;
  if (!spansArea(points) || mayHaveCrossings(points, segments)) return false;
  out.points_.swap(points);
  out.segments_.swap(segments);
  return true;
}

void triangulateProvenGraph(const ProvenGraph& graph, std::vector<double>& outPoints, std::vector<int>& outTriangles) {
  outPoints.clear();
  outTriangles.clear();
  if (graph.points().empty()) return;
  // Triangle takes non-const pointers but only reads the input arrays: the
  // graph's own arrays are handed over without a copy.
  triangulateio in{};
  in.pointlist = const_cast<double*>(graph.points().data());
  in.numberofpoints = int(graph.points().size() / 2);
  in.segmentlist = graph.segments().empty() ? nullptr : const_cast<int*>(graph.segments().data());
  in.numberofsegments = int(graph.segments().size() / 2);
  // The library looks for a segment from its first end, turning round that
  // point: from a point where k segments end (the hub of a fan) that costs
  // O(k), from its other end a segment that is already an edge of the
  // triangulation is found at once. Graphs with such a point are handed over
  // with every segment starting at its end with fewer segments. (A segment
  // that is not yet an edge is still looked for from both ends.)
  std::vector<int> turned;
  {
    std::vector<int> degree(graph.points().size() / 2, 0);
    int most = 0;
    for (int v : graph.segments()) most = std::max(most, ++degree[size_t(v)]);
    if (most > kTriangleHubDegree) {
      turned = graph.segments();
      for (size_t k = 0; k + 1 < turned.size(); k += 2)
        if (degree[size_t(turned[k])] > degree[size_t(turned[k + 1])]) std::swap(turned[k], turned[k + 1]);
      in.segmentlist = turned.data();
    }
  }
  std::lock_guard<std::mutex> lock(triangleMutex());
  runTriangle(in, outPoints, outTriangles);
}

bool triangulateGraph(const std::vector<double>& points, const std::vector<int>& segments,
                      const std::vector<double>& holes, std::vector<double>& outPoints,
                      std::vector<int>& outTriangles) {
  outPoints.clear();
  outTriangles.clear();
  const int pointCount = int(points.size() / 2);
  const int segmentCount = int(segments.size() / 2);
  const int holeCount = int(holes.size() / 2);
  if (pointCount < 3) return false;
  auto usable = [](double v) { return std::isfinite(v) && std::fabs(v) <= 3.5e38; };
  for (double v : points)
    if (!usable(v)) return false;
  for (double v : holes)
    if (!usable(v)) return false;
  for (int i : segments)
    if (i < 0 || i >= pointCount) return false;
  if (!spansArea(points)) return false;

  std::vector<double> pointlist(points.begin(), points.begin() + 2 * pointCount);
  const std::vector<int> merged = mergeRepeatedPoints(pointlist);
  std::vector<int> segmentlist;
  segmentlist.reserve(size_t(segmentCount) * 2);
  for (int k = 0; k < segmentCount; ++k) {
    const int a = merged[size_t(segments[2 * size_t(k)])], b = merged[size_t(segments[2 * size_t(k) + 1])];
    if (a == b) continue;
    segmentlist.push_back(a);
    segmentlist.push_back(b);
  }
  if (pointlist.size() / 2 < 3) return false;

  // Proven input runs here. Hole points are never proven: the library walks
  // off its triangulation when one lies outside the region it is meant to
  // carve or too near a segment.
  ProvenGraph proven;
  if (holeCount == 0 && proveGraph(pointlist, segmentlist, proven)) {
    triangulateProvenGraph(proven, outPoints, outTriangles);
    return true;
  }
  std::vector<double> holelist(holes.begin(), holes.begin() + 2 * holeCount);
  triangulateio in{};
  in.pointlist = pointlist.data();
  in.numberofpoints = int(pointlist.size() / 2);
  in.segmentlist = segmentlist.empty() ? nullptr : segmentlist.data();
  in.numberofsegments = int(segmentlist.size() / 2);
  in.holelist = holeCount > 0 ? holelist.data() : nullptr;
  in.numberofholes = holeCount;
  if (runTriangleIsolated(in, outPoints, outTriangles)) return true;
  outPoints.clear();
  outTriangles.clear();
  qDebug("Triangulation failed in its worker process (the library crashed, ran out of time or memory)");
  return false;
}
