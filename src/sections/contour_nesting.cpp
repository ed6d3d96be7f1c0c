#include "sections/contour_nesting.h"

#include <algorithm>
#include <cmath>

#include "sections/polygon_strips.h"

namespace {

// Up to this many polygons every pair is tested.
constexpr size_t kPairwisePolygons = 48;
// A region with at most this many edges near it, or with one point, is
// settled by testing its points against the polygons whose edges are near.
constexpr size_t kLeafEdges = 64;
constexpr int kMaxDepth = 40;
// Polygons with more edges than this get strips on their first test.
constexpr int kStripEdges = 32;

struct Box {
  double x0, y0, x1, y1;
};

// Edge of polygon `member` (an index into the members) from (xa, ya) to
// (xb, yb).
struct Edge {
  double xa, ya, xb, yb;
  int member;
};

// Counts, for distinct finite points, how many of the member polygons hold
// each one (itself included: the caller takes the own polygon off).
class Nesting {
 public:
  Nesting(const std::vector<ContourPolygon>& polygons, const std::vector<int>& members, const std::vector<double>& xs,
          const std::vector<double>& ys)
      : polygons_(polygons),
        members_(members),
        xs_(xs),
        ys_(ys),
        totals_(xs.size(), 0),
        strips_(members.size()),
        stripped_(members.size(), 0),
        near_(members.size(), 0) {}

  // Whether member u holds (x, y), exactly as its box and
  // ContourPolygon::contains say.
  bool holds(int u, double x, double y) {
    const ContourPolygon& p = polygon(u);
    if (!p.boxContains(x, y)) return false;
    if (p.size() <= kStripEdges) return p.contains(x, y);
    if (!stripped_[size_t(u)]) {
      strips_[size_t(u)] = PolygonStrips(p);
      stripped_[size_t(u)] = 1;
    }
    return strips_[size_t(u)].contains(p, x, y);
  }

  std::vector<int> run() {
    Box box{0, 0, 0, 0};
    std::vector<int> all;
    for (size_t t = 0; t < members_.size(); ++t) {
      const ContourPolygon& p = polygon(int(t));
      box.x0 = t ? std::min(box.x0, p.minX) : p.minX, box.x1 = t ? std::max(box.x1, p.maxX) : p.maxX;
      box.y0 = t ? std::min(box.y0, p.minY) : p.minY, box.y1 = t ? std::max(box.y1, p.maxY) : p.maxY;
      const int m = p.size();
      for (int i = 0, j = m - 1; i < m; j = i++) {
        all.push_back(int(edges_.size()));
        edges_.push_back(
            Edge{p.xy[2 * size_t(j)], p.xy[2 * size_t(j) + 1], p.xy[2 * size_t(i)], p.xy[2 * size_t(i) + 1], int(t)});
      }
    }
    // Far more than the rounding of a crossing in ContourPolygon::contains (a
    // few units in the last place of the largest coordinate): a point
    // farther than this from every edge of a polygon is inside it exactly
    // when the test says so, and so is every other point of a region that
    // no edge of the polygon comes near.
    const double magnitude =
        std::max(std::max(std::fabs(box.x0), std::fabs(box.x1)), std::max(std::fabs(box.y0), std::fabs(box.y1)));
    margin_ = 1e-9 * magnitude;
    // The points lie on the polygons' edges, up to rounding.
    box.x0 -= 4 * margin_, box.y0 -= 4 * margin_, box.x1 += 4 * margin_, box.y1 += 4 * margin_;
    // A point outside every polygon's box is held by none.
    std::vector<int> queries;
    for (int t = 0; t < int(xs_.size()); ++t)
      if (xs_[size_t(t)] >= box.x0 && xs_[size_t(t)] <= box.x1 && ys_[size_t(t)] >= box.y0 && ys_[size_t(t)] <= box.y1)
        queries.push_back(t);
    settle(box, queries, all, 0, 0);
    return totals_;
  }

 private:
  const ContourPolygon& polygon(int member) const { return polygons_[size_t(members_[size_t(member)])]; }

  // Whether the edge comes within margin_ of the box. It may say so of an
  // edge a little farther; never the other way round: against the box widened by twice the margin, corners on one
  // side of the edge's line lie so far from it that the sign of their side
  // cannot be lost to rounding.
  bool near(const Edge& e, const Box& b) const {
    const double w = 2 * margin_;
    const double x0 = b.x0 - w, y0 = b.y0 - w, x1 = b.x1 + w, y1 = b.y1 + w;
    if (std::max(e.xa, e.xb) < x0 || std::min(e.xa, e.xb) > x1 || std::max(e.ya, e.yb) < y0 ||
        std::min(e.ya, e.yb) > y1)
      return false;
    const double dx = e.xb - e.xa, dy = e.yb - e.ya;
    auto side = [&](double x, double y) { return dx * (y - e.ya) - dy * (x - e.xa); };
    const double s0 = side(x0, y0), s1 = side(x1, y0), s2 = side(x0, y1), s3 = side(x1, y1);
    return !((s0 > 0 && s1 > 0 && s2 > 0 && s3 > 0) || (s0 < 0 && s1 < 0 && s2 < 0 && s3 < 0));
  }

  // Totals for the points `queries` in `box`. `edges` are the edges near the
  // box, grouped by polygon; `base` polygons with no edge near the box hold
  // all of it.
  void settle(const Box& box, std::vector<int>& queries, std::vector<int>& edges, int base, int depth) {
    if (queries.empty()) return;
    if (edges.size() <= kLeafEdges || queries.size() <= 1 || depth >= kMaxDepth) {
      ++stamp_;
      std::vector<int> nearby;  // polygons with an edge near the box, once each
      for (int e : edges) {
        const int u = edges_[size_t(e)].member;
        if (near_[size_t(u)] != stamp_) {
          near_[size_t(u)] = stamp_;
          nearby.push_back(u);
        }
      }
      for (int t : queries) {
        int total = base;
        for (int u : nearby)
          if (holds(u, xs_[size_t(t)], ys_[size_t(t)])) ++total;
        totals_[size_t(t)] = total;
      }
      return;
    }

    const double mx = 0.5 * (box.x0 + box.x1), my = 0.5 * (box.y0 + box.y1);
    const Box parts[4] = {
        {box.x0, box.y0, mx, my}, {mx, box.y0, box.x1, my}, {box.x0, my, mx, box.y1}, {mx, my, box.x1, box.y1}};
    std::vector<int> partQueries[4];
    for (int t : queries) partQueries[(xs_[size_t(t)] < mx ? 0 : 1) + (ys_[size_t(t)] < my ? 0 : 2)].push_back(t);
    queries.clear();
    queries.shrink_to_fit();
    // One pass over the edges hands each to the parts it comes near. Edges
    // come grouped by polygon: a polygon none of whose edges is near a part
    // holds all of it or none of it, as it holds its centre.
    std::vector<int> partEdges[4];
    int partBase[4] = {base, base, base, base};
    const double w = 2 * margin_;
    for (size_t k = 0; k < edges.size();) {
      const int u = edges_[size_t(edges[k])].member;
      bool any[4] = {false, false, false, false};
      for (; k < edges.size() && edges_[size_t(edges[k])].member == u; ++k) {
        const Edge& e = edges_[size_t(edges[k])];
        // Which sides of the midlines the edge's box reaches (near() checks
        // the rest).
        const bool left = std::min(e.xa, e.xb) <= mx + w, right = std::max(e.xa, e.xb) >= mx - w;
        const bool low = std::min(e.ya, e.yb) <= my + w, high = std::max(e.ya, e.yb) >= my - w;
        for (int q = 0; q < 4; ++q)
          if (!partQueries[q].empty() && ((q & 1) ? right : left) && ((q & 2) ? high : low) && near(e, parts[q])) {
            partEdges[q].push_back(edges[k]);
            any[q] = true;
          }
      }
      for (int q = 0; q < 4; ++q)
        if (!partQueries[q].empty() && !any[q] &&
            holds(u, 0.5 * (parts[q].x0 + parts[q].x1), 0.5 * (parts[q].y0 + parts[q].y1)))
          ++partBase[q];
    }
    edges.clear();
    edges.shrink_to_fit();
    for (int q = 0; q < 4; ++q) settle(parts[q], partQueries[q], partEdges[q], partBase[q], depth + 1);
  }

  const std::vector<ContourPolygon>& polygons_;
  const std::vector<int>& members_;
  const std::vector<double>& xs_;
  const std::vector<double>& ys_;
  std::vector<Edge> edges_;
  std::vector<int> totals_;
  std::vector<PolygonStrips> strips_;  // built on a polygon's first test, when it is long
  std::vector<char> stripped_;
  std::vector<unsigned> near_;  // stamp of the last box each polygon had an edge near
  unsigned stamp_ = 0;
  double margin_ = 0;
};

}  // namespace

std::vector<int> containingCounts(const std::vector<ContourPolygon>& polygons, const std::vector<int>& members,
                                  const std::vector<double>& points) {
  const size_t n = members.size();
  std::vector<int> counts(n, 0);
  if (n <= kPairwisePolygons) {
    for (size_t t = 0; t < n; ++t)
      for (size_t u = 0; u < n; ++u) {
        const ContourPolygon& p = polygons[size_t(members[u])];
        if (u != t && p.boxContains(points[2 * t], points[2 * t + 1]) && p.contains(points[2 * t], points[2 * t + 1]))
          ++counts[t];
      }
    return counts;
  }
  // Equal points are held by the same polygons: each distinct point is
  // settled once (many contours of a degenerate frame share one). A point
  // that is not finite lies in no box and is held by none.
  std::vector<int> order;
  order.reserve(n);
  for (size_t t = 0; t < n; ++t)
    if (std::isfinite(points[2 * t]) && std::isfinite(points[2 * t + 1])) order.push_back(int(t));
  auto xOf = [&](int t) { return points[2 * size_t(t)]; };
  auto yOf = [&](int t) { return points[2 * size_t(t) + 1]; };
  std::sort(order.begin(), order.end(),
            [&](int a, int b) { return xOf(a) < xOf(b) || (xOf(a) == xOf(b) && yOf(a) < yOf(b)); });
  std::vector<double> xs, ys;
  std::vector<int> distinct(n, -1);
  for (size_t k = 0; k < order.size(); ++k) {
    const int t = order[k];
    if (k == 0 || xOf(t) != xs.back() || yOf(t) != ys.back()) {
      xs.push_back(xOf(t));
      ys.push_back(yOf(t));
    }
    distinct[size_t(t)] = int(xs.size()) - 1;
  }
  Nesting nesting(polygons, members, xs, ys);
  const std::vector<int> totals = nesting.run();
  for (size_t t = 0; t < n; ++t) {
    const int d = distinct[t];
    if (d < 0) continue;
    counts[t] = totals[size_t(d)] - (nesting.holds(int(t), xs[size_t(d)], ys[size_t(d)]) ? 1 : 0);
  }
  return counts;
}
