#include "sections/snap_rounding.h"

#include "sections/planar_graph.h"

#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/intersections.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>

namespace {

using Kernel = CGAL::Exact_predicates_exact_constructions_kernel;
using FT = Kernel::FT;
using Point = Kernel::Point_2;
using Segment = Kernel::Segment_2;
using Box = Kernel::Iso_rectangle_2;
using Cell = std::pair<int64_t, int64_t>;

// Cells are the half-open squares [i c, (i + 1) c) x [j c, (j + 1) c).
int64_t cellOf(double v, double cell) { return int64_t(std::floor(v / cell)); }  // v / cell is exact

int64_t cellOf(const FT& v, double cell) {
  const FT q = v / FT(cell);
  int64_t i = int64_t(std::floor(CGAL::to_double(q)));
  while (FT(double(i)) > q) --i;
  while (FT(double(i + 1)) <= q) ++i;
  return i;
}

struct Grid {
  double cell;
  std::vector<Cell> hot;  // sorted, each once

  double centre(int64_t i) const { return (double(i) + 0.5) * cell; }
  Point centreOf(const Cell& h) const { return Point(centre(h.first), centre(h.second)); }
  // The cell as a closed square, shrunk by nothing: a segment that only
  // touches its lower or left side does pass through the half-open cell, and
  // one that touches its upper or right side alone is caught by the
  // neighbour, which is then hot as well or empty of vertices.
  Box squareOf(const Cell& h) const {
    return Box(Point(double(h.first) * cell, double(h.second) * cell),
               Point(double(h.first + 1) * cell, double(h.second + 1) * cell));
  }
  // Indices of the hot cells a segment from a to b passes through, other
  // than those of its ends, in order along it.
  void crossed(const Point& a, const Point& b, const Cell& ca, const Cell& cb, std::vector<int>& out) const {
    out.clear();
    const int64_t x0 = std::min(ca.first, cb.first), x1 = std::max(ca.first, cb.first);
    const int64_t y0 = std::min(ca.second, cb.second), y1 = std::max(ca.second, cb.second);
    auto it = std::lower_bound(hot.begin(), hot.end(), Cell(x0, INT64_MIN));
    const Segment s(a, b);
    for (; it != hot.end() && it->first <= x1; ++it) {
      if (it->second < y0 || it->second > y1 || *it == ca || *it == cb) continue;
      if (CGAL::do_intersect(s, squareOf(*it))) out.push_back(int(it - hot.begin()));
    }
    // Along the segment: by the projection of the cell centres on it.
    const double dx = CGAL::to_double(b.x() - a.x()), dy = CGAL::to_double(b.y() - a.y());
    std::sort(out.begin(), out.end(), [&](int p, int q) {
      const double tp = centre(hot[size_t(p)].first) * dx + centre(hot[size_t(p)].second) * dy;
      const double tq = centre(hot[size_t(q)].first) * dx + centre(hot[size_t(q)].second) * dy;
      return tp < tq || (tp == tq && p < q);
    });
  }
};

}  // namespace

bool snapRoundGraph(const std::vector<double>& points, const std::vector<int>& segments, double cell,
                    std::vector<double>& outPoints, std::vector<int>& chainStart, std::vector<int>& chainPoints) {
  outPoints.clear();
  chainStart.clear();
  chainPoints.clear();
  const double limit = std::ldexp(cell, 50);
  for (double v : points)
    if (!std::isfinite(v) || std::fabs(v) >= limit) return false;
  if (!(cell > 0.0)) return false;
  const size_t n = segments.size() / 2;
  Grid grid{cell, {}};

  // Hot cells: those of the end points, and those of the crossings of
  // segments whose boxes overlap (a sweep over x). Collinear overlaps add
  // nothing: they begin and end at end points.
  std::vector<Segment> exact(n);
  for (size_t k = 0; k < n; ++k) {
    const size_t a = size_t(segments[2 * k]), b = size_t(segments[2 * k + 1]);
    const double ax = points[2 * a], ay = points[2 * a + 1], bx = points[2 * b], by = points[2 * b + 1];
    exact[k] = Segment(Point(ax, ay), Point(bx, by));
    grid.hot.emplace_back(cellOf(ax, cell), cellOf(ay, cell));
    grid.hot.emplace_back(cellOf(bx, cell), cellOf(by, cell));
  }
  forEachOverlappingPair(points, segments, [&](int j, int k) {
    // Segments that share an end meet there or overlap from there: their
    // meeting points are end points, hot already.
    const int* u = &segments[2 * size_t(j)];
    const int* v = &segments[2 * size_t(k)];
    if (u[0] == v[0] || u[0] == v[1] || u[1] == v[0] || u[1] == v[1]) return false;
    if (!segmentsMayMeet(&points[2 * size_t(u[0])], &points[2 * size_t(u[1])], &points[2 * size_t(v[0])],
                         &points[2 * size_t(v[1])]))
      return false;
    const Segment &p = exact[size_t(j)], &q = exact[size_t(k)];
    if (p.is_degenerate() || q.is_degenerate()) return false;
    const auto hit = CGAL::intersection(p, q);
    if (hit)
      if (const Point* x = boost::get<Point>(&*hit)) grid.hot.emplace_back(cellOf(x->x(), cell), cellOf(x->y(), cell));
    return false;
  });
  std::sort(grid.hot.begin(), grid.hot.end());
  grid.hot.erase(std::unique(grid.hot.begin(), grid.hot.end()), grid.hot.end());
  auto indexOf = [&](const Cell& c) {
    return int(std::lower_bound(grid.hot.begin(), grid.hot.end(), c) - grid.hot.begin());
  };

  // First rounding: each segment through the hot cells it passes through.
  std::vector<std::vector<int>> chains(n);
  std::vector<int> through;
  for (size_t k = 0; k < n; ++k) {
    const size_t a = size_t(segments[2 * k]), b = size_t(segments[2 * k + 1]);
    const Cell ca(cellOf(points[2 * a], cell), cellOf(points[2 * a + 1], cell));
    const Cell cb(cellOf(points[2 * b], cell), cellOf(points[2 * b + 1], cell));
    std::vector<int>& chain = chains[k];
    chain.push_back(indexOf(ca));
    if (ca != cb) {
      grid.crossed(exact[k].source(), exact[k].target(), ca, cb, through);
      chain.insert(chain.end(), through.begin(), through.end());
      chain.push_back(indexOf(cb));
    }
  }
  // Then the chains' own pieces, until none passes through a hot cell it
  // does not visit. Each round only adds vertices, and there are finitely
  // many hot cells; the bound on rounds is a guard.
  for (int round = 0; round < 64; ++round) {
    bool changed = false;
    for (std::vector<int>& chain : chains) {
      std::vector<int> next;
      next.reserve(chain.size());
      for (size_t i = 0; i < chain.size(); ++i) {
        if (i > 0 && chain[i] == next.back()) continue;
        if (i > 0) {
          const Cell &ca = grid.hot[size_t(next.back())], &cb = grid.hot[size_t(chain[i])];
          grid.crossed(grid.centreOf(ca), grid.centreOf(cb), ca, cb, through);
          if (!through.empty()) changed = true;
          next.insert(next.end(), through.begin(), through.end());
        }
        next.push_back(chain[i]);
      }
      chain.swap(next);
    }
    if (!changed) break;
  }

  // Output: the centres the chains use, numbered in first use.
  std::vector<int> number(grid.hot.size(), -1);
  chainStart.reserve(n + 1);
  for (const std::vector<int>& chain : chains) {
    chainStart.push_back(int(chainPoints.size()));
    for (int h : chain) {
      if (number[size_t(h)] < 0) {
        number[size_t(h)] = int(outPoints.size() / 2);
        outPoints.push_back(grid.centre(grid.hot[size_t(h)].first));
        outPoints.push_back(grid.centre(grid.hot[size_t(h)].second));
      }
      chainPoints.push_back(number[size_t(h)]);
    }
  }
  chainStart.push_back(int(chainPoints.size()));
  return true;
}
