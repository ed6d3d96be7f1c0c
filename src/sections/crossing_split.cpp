#include "sections/crossing_split.h"

#include "sections/planar_graph.h"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = Kernel::Point_2;

// Whether q lies strictly between a and b on their common line (exact: the
// three are collinear, so comparing one coordinate that differs suffices).
bool strictlyBetween(const Point& a, const Point& b, const Point& q) {
  if (a.x() != b.x()) return (a.x() < q.x() && q.x() < b.x()) || (b.x() < q.x() && q.x() < a.x());
  return (a.y() < q.y() && q.y() < b.y()) || (b.y() < q.y() && q.y() < a.y());
}

}  // namespace

void splitAtCrossings(const std::vector<double>& points, const std::vector<int>& segments,
                      std::vector<double>& outPoints, std::vector<int>& chainStart, std::vector<int>& chainPoints) {
  outPoints = points;
  chainStart.clear();
  chainPoints.clear();
  const size_t n = segments.size() / 2;
  auto pointOf = [&](int i) { return Point(outPoints[2 * size_t(i)], outPoints[2 * size_t(i) + 1]); };
  // Points each segment is split at (besides its ends).
  std::vector<std::vector<int>> cuts(n);

  forEachOverlappingPair(points, segments, [&](int u, int v) {
    const int ia = segments[2 * size_t(u)], ib = segments[2 * size_t(u) + 1];
    const int ic = segments[2 * size_t(v)], id = segments[2 * size_t(v) + 1];
    const Point a = pointOf(ia), b = pointOf(ib), c = pointOf(ic), d = pointOf(id);
    const CGAL::Orientation o1 = CGAL::orientation(a, b, c), o2 = CGAL::orientation(a, b, d);
    if (o1 == o2 && o1 != CGAL::COLLINEAR) return false;
    const CGAL::Orientation o3 = CGAL::orientation(c, d, a), o4 = CGAL::orientation(c, d, b);
    if (o3 == o4 && o3 != CGAL::COLLINEAR) return false;
    // An end of one on the other (collinear overlaps included): split
    // there, unless it is an end of both.
    bool touched = false;
    auto splitOn = [&](int segment, const Point& p, const Point& q, int end, const Point& e) {
      if (end == segments[2 * size_t(segment)] || end == segments[2 * size_t(segment) + 1]) return;
      if (CGAL::orientation(p, q, e) != CGAL::COLLINEAR || !strictlyBetween(p, q, e)) return;
      cuts[size_t(segment)].push_back(end);
      touched = true;
    };
    splitOn(u, a, b, ic, c);
    splitOn(u, a, b, id, d);
    splitOn(v, c, d, ia, a);
    splitOn(v, c, d, ib, b);
    if (touched || o1 == CGAL::COLLINEAR || o2 == CGAL::COLLINEAR || o3 == CGAL::COLLINEAR || o4 == CGAL::COLLINEAR)
      return false;
    // A proper crossing: a new point, rounded, on both.
    const double abx = b.x() - a.x(), aby = b.y() - a.y(), cdx = d.x() - c.x(), cdy = d.y() - c.y();
    const double den = abx * cdy - aby * cdx;
    const double at = ((c.x() - a.x()) * cdy - (c.y() - a.y()) * cdx) / den;
    const double tc = std::min(1.0, std::max(0.0, at));
    const int x = int(outPoints.size() / 2);
    outPoints.push_back(a.x() + tc * abx);
    outPoints.push_back(a.y() + tc * aby);
    cuts[size_t(u)].push_back(x);
    cuts[size_t(v)].push_back(x);
    return false;
  });

  chainStart.reserve(n + 1);
  for (size_t k = 0; k < n; ++k) {
    chainStart.push_back(int(chainPoints.size()));
    const int ia = segments[2 * k], ib = segments[2 * k + 1];
    chainPoints.push_back(ia);
    std::vector<int>& c = cuts[k];
    if (!c.empty()) {
      // Along the segment, by the projection on its direction.
      const double ax = outPoints[2 * size_t(ia)], ay = outPoints[2 * size_t(ia) + 1];
      const double dx = outPoints[2 * size_t(ib)] - ax, dy = outPoints[2 * size_t(ib) + 1] - ay;
      auto along = [&](int i) {
        return (outPoints[2 * size_t(i)] - ax) * dx + (outPoints[2 * size_t(i) + 1] - ay) * dy;
      };
      std::sort(c.begin(), c.end(),
                [&](int p, int q) { return along(p) < along(q) || (along(p) == along(q) && p < q); });
      c.erase(std::unique(c.begin(), c.end()), c.end());
      chainPoints.insert(chainPoints.end(), c.begin(), c.end());
    }
    chainPoints.push_back(ib);
  }
  chainStart.push_back(int(chainPoints.size()));
}
