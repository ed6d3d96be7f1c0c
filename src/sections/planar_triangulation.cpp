#include "sections/planar_triangulation.h"

#include <cmath>
#include <mutex>

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
  for (double v : points)
    if (!std::isfinite(v)) return false;
  for (double v : holes)
    if (!std::isfinite(v)) return false;
  for (int i : segments)
    if (i < 0 || i >= pointCount) return false;
  if (!hasArea(points)) return false;

  // Triangle takes non-const pointers but only reads the input arrays.
  std::vector<double> pointlist(points.begin(), points.begin() + 2 * pointCount);
  std::vector<int> segmentlist(segments.begin(), segments.begin() + 2 * segmentCount);
  std::vector<double> holelist(holes.begin(), holes.begin() + 2 * holeCount);

  triangulateio in{};
  in.pointlist = pointlist.data();
  in.pointattributelist = nullptr;
  in.pointmarkerlist = nullptr;
  in.numberofpoints = pointCount;
  in.numberofpointattributes = 0;
  in.segmentlist = segmentCount > 0 ? segmentlist.data() : nullptr;
  in.segmentmarkerlist = nullptr;
  in.numberofsegments = segmentCount;
  in.holelist = holeCount > 0 ? holelist.data() : nullptr;
  in.numberofholes = holeCount;
  in.regionlist = nullptr;
  in.numberofregions = 0;

  triangulateio out{};  // every pointer null

  char switches[] = "pzQ";
  {
    std::lock_guard<std::mutex> lock(triangleMutex());
    triangulate(switches, &in, &out, nullptr);
  }

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
  return true;
}
