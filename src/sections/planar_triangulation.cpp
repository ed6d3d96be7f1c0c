#include "sections/planar_triangulation.h"
#include "sections/isolated_worker.h"

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

std::mutex& triangleMutex() {
  static std::mutex m;
  return m;
}

// True when some point lies off the line through two distinct points (exact
// sign test is not needed: Triangle's own predicates handle near-collinear
// input; this only rules out the cases with no area at all).
bool hasArea(const std::vector<double>& p) {
  const size_t n = p.size() / 2;
  size_t a = 0, b = n;
  for (size_t k = 1; k < n; ++k)
    if (p[2 * k] != p[0] || p[2 * k + 1] != p[1]) {
      b = k;
      break;
    }
  if (b == n) return false;  // all points coincide
  const double ux = p[2 * b] - p[2 * a], uy = p[2 * b + 1] - p[2 * a + 1];
  for (size_t k = 1; k < n; ++k) {
    const double vx = p[2 * k] - p[2 * a], vy = p[2 * k + 1] - p[2 * a + 1];
    if (ux * vy - uy * vx != 0.0) return true;
  }
  return false;
}

// Orientation of r against the line p -> q, with a flag telling whether the
// sign is certain (the bound is far above the rounding error of the formula).
int orientation(const double* p, const double* q, const double* r, bool& certain) {
  const double l = (q[0] - p[0]) * (r[1] - p[1]);
  const double rr = (q[1] - p[1]) * (r[0] - p[0]);
  const double det = l - rr;
  const double bound = 1e-12 * (std::fabs(l) + std::fabs(rr));
  certain = std::fabs(det) > bound;
  return det > 0 ? 1 : (det < 0 ? -1 : 0);
}

// True unless one segment lies certainly on one side of the other's line.
bool mayTouch(const double* a, const double* b, const double* c, const double* d) {
  bool k1, k2, k3, k4;
  const int o1 = orientation(a, b, c, k1), o2 = orientation(a, b, d, k2);
  if (k1 && k2 && o1 == o2) return false;
  const int o3 = orientation(c, d, a, k3), o4 = orientation(c, d, b, k4);
  if (k3 && k4 && o3 == o4) return false;
  return true;
}

// Whether two segments of the graph may cross or touch anywhere other than at
// a shared end point. Segments that cross make Triangle compute intersection
// points, and in near-degenerate cases it then ends the process ("Internal
// error in segmentintersection()"). Conservative: doubtful pairs count.
// Sweep over x: about O(n log n) for contours.
bool mayHaveCrossings(const std::vector<double>& p, const std::vector<int>& segments) {
  struct Box {
    double minX, maxX, minY, maxY;
    int a, b;
  };
  const size_t n = segments.size() / 2;
  std::vector<Box> boxes(n);
  for (size_t k = 0; k < n; ++k) {
    const int a = segments[2 * k], b = segments[2 * k + 1];
    boxes[k] = Box{std::min(p[2 * a], p[2 * b]),
                   std::max(p[2 * a], p[2 * b]),
                   std::min(p[2 * a + 1], p[2 * b + 1]),
                   std::max(p[2 * a + 1], p[2 * b + 1]),
                   a,
                   b};
  }
  std::sort(boxes.begin(), boxes.end(), [](const Box& x, const Box& y) { return x.minX < y.minX; });
  std::vector<size_t> active;
  for (size_t k = 0; k < n; ++k) {
    const Box& s = boxes[k];
    size_t w = 0;
    for (size_t r = 0; r < active.size(); ++r)
      if (boxes[active[r]].maxX >= s.minX) active[w++] = active[r];
    active.resize(w);
    for (size_t t : active) {
      const Box& o = boxes[t];
      if (o.maxY < s.minY || o.minY > s.maxY) continue;
      if (o.a == s.a || o.a == s.b || o.b == s.a || o.b == s.b) continue;  // neighbours in a contour
      if (mayTouch(&p[2 * s.a], &p[2 * s.b], &p[2 * o.a], &p[2 * o.b])) return true;
    }
    active.push_back(k);
  }
  return false;
}

// Merges points with equal coordinates into the first of them and drops the
// segments that become a single point. Triangle ignores a repeated point but
// then reads uninitialised memory when a segment ends at it (a crash that
// depends on what the heap held before), so it must only see distinct points.
void mergeRepeatedPoints(std::vector<double>& points, std::vector<int>& segments) {
  const size_t n = points.size() / 2;
  size_t size = 16;
  while (size < n * 2) size *= 2;
  const size_t mask = size - 1;
  std::vector<int> table(size, -1);
  std::vector<int> target(n);
  std::vector<double> merged;
  merged.reserve(points.size());
  auto bits = [](double v) {
    v += 0.0;  // -0 -> +0: they compare equal
    uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    return u;
  };
  for (size_t k = 0; k < n; ++k) {
    const double x = points[2 * k], y = points[2 * k + 1];
    uint64_t h = bits(x) * 0x9E3779B97F4A7C15ull ^ (bits(y) + 0x632BE59BD9B4E019ull);
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    size_t slot = size_t(h) & mask;
    int found = -1;
    while (table[slot] >= 0) {
      const int m = table[slot];
      if (merged[2 * size_t(m)] == x && merged[2 * size_t(m) + 1] == y) {
        found = m;
        break;
      }
      slot = (slot + 1) & mask;
    }
    if (found < 0) {
      found = int(merged.size() / 2);
      table[slot] = found;
      merged.push_back(x);
      merged.push_back(y);
    }
    target[k] = found;
  }
  std::vector<int> kept;
  kept.reserve(segments.size());
  for (size_t k = 0; k + 1 < segments.size(); k += 2) {
    const int a = target[size_t(segments[k])], b = target[size_t(segments[k + 1])];
    if (a == b) continue;
    kept.push_back(a);
    kept.push_back(b);
  }
  points.swap(merged);
  segments.swap(kept);
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
// when the child fails or takes longer than 10 s.
bool runTriangleIsolated(triangulateio& in, std::vector<double>& outPoints, std::vector<int>& outTriangles) {
  static IsolatedWorker worker(&triangulateInChild);
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

bool triangulateGraph(const std::vector<double>& points, const std::vector<int>& segments,
                      const std::vector<double>& holes, std::vector<double>& outPoints,
                      std::vector<int>& outTriangles) {
  outPoints.clear();
  outTriangles.clear();
  const int pointCount = int(points.size() / 2);
  const int segmentCount = int(segments.size() / 2);
  const int holeCount = int(holes.size() / 2);
  if (pointCount < 3) return false;
  // Coordinates come from single-precision points; anything beyond that range
  // could overflow Triangle's predicates.
  auto usable = [](double v) { return std::isfinite(v) && std::fabs(v) <= 3.5e38; };
  for (double v : points)
    if (!usable(v)) return false;
  for (double v : holes)
    if (!usable(v)) return false;
  for (int i : segments)
    if (i < 0 || i >= pointCount) return false;
  if (!hasArea(points)) return false;

  // Triangle takes non-const pointers but only reads the input arrays.
  std::vector<double> pointlist(points.begin(), points.begin() + 2 * pointCount);
  std::vector<int> segmentlist(segments.begin(), segments.begin() + 2 * segmentCount);
  std::vector<double> holelist(holes.begin(), holes.begin() + 2 * holeCount);
  mergeRepeatedPoints(pointlist, segmentlist);
  if (pointlist.size() / 2 < 3) return false;

  triangulateio in{};
  in.pointlist = pointlist.data();
  in.pointattributelist = nullptr;
  in.pointmarkerlist = nullptr;
  in.numberofpoints = int(pointlist.size() / 2);
  in.numberofpointattributes = 0;
  in.segmentlist = segmentlist.empty() ? nullptr : segmentlist.data();
  in.segmentmarkerlist = nullptr;
  in.numberofsegments = int(segmentlist.size() / 2);
  in.holelist = holeCount > 0 ? holelist.data() : nullptr;
  in.numberofholes = holeCount;
  in.regionlist = nullptr;
  in.numberofregions = 0;

  if (mayHaveCrossings(pointlist, segmentlist)) {
    if (runTriangleIsolated(in, outPoints, outTriangles)) return true;
    outPoints.clear();
    outTriangles.clear();
    qDebug("Slab left empty: the triangulation failed on crossing contours");
    return false;
  }
  std::lock_guard<std::mutex> lock(triangleMutex());
  runTriangle(in, outPoints, outTriangles);
  return true;
}
