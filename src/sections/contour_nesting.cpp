#include "sections/contour_nesting.h"

#include <algorithm>
#include <cmath>

namespace {

// Up to this many polygons every pair is tested.
constexpr size_t kPairwisePolygons = 48;
// A region with at most this many edges near it, or with one point, is
// settled by testing its points against the polygons whose edges are near.
constexpr size_t kLeafEdges = 64;
constexpr int kMaxDepth = 40;

bool holds(const ContourPolygon& p, double x, double y) { return p.boxContains(x, y) && p.contains(x, y); }

struct Box {
  double x0, y0, x1, y1;
};

// Edge `edge` of polygon `member` (an index into the members): from point
// edge - 1 (the last for edge 0) to point `edge`, as ContourPolygon::contains
// walks them.
struct NodeEdge {
  int member;
  int edge;
};

class Nesting {
 public:
  Nesting(const std::vector<ContourPolygon>& polygons, const std::vector<int>& members,
          const std::vector<double>& points)
      : polygons_(polygons), members_(members), points_(points), counts_(members.size(), 0), near_(members.size(), 0) {}

  std::vector<int> run() {
    Box box{0, 0, 0, 0};
    std::vector<NodeEdge> edges;
    for (size_t t = 0; t < members_.size(); ++t) {
      const ContourPolygon& p = polygon(int(t));
      box.x0 = t ? std::min(box.x0, p.minX) : p.minX, box.x1 = t ? std::max(box.x1, p.maxX) : p.maxX;
      box.y0 = t ? std::min(box.y0, p.minY) : p.minY, box.y1 = t ? std::max(box.y1, p.maxY) : p.maxY;
      for (int k = 0; k < p.size(); ++k) edges.push_back(NodeEdge{int(t), k});
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
    // A point outside every polygon's box is held by none (nor is one that
    // is not a number).
    std::vector<int> queries;
    for (int t = 0; t < int(members_.size()); ++t)
      if (px(t) >= box.x0 && px(t) <= box.x1 && py(t) >= box.y0 && py(t) <= box.y1) queries.push_back(t);
    settle(box, queries, edges, 0, 0);
    return counts_;
  }

 private:
  const ContourPolygon& polygon(int member) const { return polygons_[size_t(members_[size_t(member)])]; }
  double px(int t) const { return points_[2 * size_t(t)]; }
  double py(int t) const { return points_[2 * size_t(t) + 1]; }

  // Whether the edge comes within margin_ of the box. It may say so of an
  // edge a little farther; never the other way round: against the box
  // widened by twice the margin, corners on one side of the edge's line lie
  // so far from it that the sign of their side cannot be lost to rounding.
  bool near(const NodeEdge& e, const Box& b) const {
    const ContourPolygon& p = polygon(e.member);
    const int m = p.size();
    const int i = e.edge, j = i == 0 ? m - 1 : i - 1;
    const double xa = p.xy[2 * size_t(j)], ya = p.xy[2 * size_t(j) + 1];
    const double xb = p.xy[2 * size_t(i)], yb = p.xy[2 * size_t(i) + 1];
    const double w = 2 * margin_;
    const double x0 = b.x0 - w, y0 = b.y0 - w, x1 = b.x1 + w, y1 = b.y1 + w;
    if (std::max(xa, xb) < x0 || std::min(xa, xb) > x1 || std::max(ya, yb) < y0 || std::min(ya, yb) > y1) return false;
    const double dx = xb - xa, dy = yb - ya;
    auto side = [&](double x, double y) { return dx * (y - ya) - dy * (x - xa); };
    const double s0 = side(x0, y0), s1 = side(x1, y0), s2 = side(x0, y1), s3 = side(x1, y1);
    return !((s0 > 0 && s1 > 0 && s2 > 0 && s3 > 0) || (s0 < 0 && s1 < 0 && s2 < 0 && s3 < 0));
  }

  // Counts for the points `queries` in `box`. `edges` are the edges near the
  // box, grouped by polygon; `base` polygons with no edge near the box hold
  // all of it.
  void settle(const Box& box, std::vector<int>& queries, std::vector<NodeEdge>& edges, int base, int depth) {
    if (queries.empty()) return;
    ++stamp_;
    std::vector<int> nearby;  // polygons with an edge near the box, once each
    for (const NodeEdge& e : edges)
      if (near_[size_t(e.member)] != stamp_) {
        near_[size_t(e.member)] = stamp_;
        nearby.push_back(e.member);
      }
    if (edges.size() <= kLeafEdges || queries.size() <= 1 || depth >= kMaxDepth) {
      for (int t : queries) {
        int count = base;
        for (int u : nearby)
          if (u != t && holds(polygon(u), px(t), py(t))) ++count;
        // A polygon with no edge near the box may hold its own point (one
        // away from its edges) and then be in `base`.
        if (near_[size_t(t)] != stamp_ && holds(polygon(t), px(t), py(t))) --count;
        counts_[size_t(t)] = count;
      }
      return;
    }

    const double mx = 0.5 * (box.x0 + box.x1), my = 0.5 * (box.y0 + box.y1);
    const Box parts[4] = {
        {box.x0, box.y0, mx, my}, {mx, box.y0, box.x1, my}, {box.x0, my, mx, box.y1}, {mx, my, box.x1, box.y1}};
    std::vector<int> partQueries[4];
    for (int t : queries) partQueries[(px(t) < mx ? 0 : 1) + (py(t) < my ? 0 : 2)].push_back(t);
    queries.clear();
    queries.shrink_to_fit();
    for (int q = 0; q < 4; ++q) {
      if (partQueries[q].empty()) continue;
      const Box& part = parts[q];
      std::vector<NodeEdge> partEdges;
      int partBase = base;
      // Edges come grouped by polygon: a polygon none of whose edges is near
      // the part holds all of it or none of it, as it holds its centre.
      const double cx = 0.5 * (part.x0 + part.x1), cy = 0.5 * (part.y0 + part.y1);
      for (size_t k = 0; k < edges.size();) {
        const int u = edges[k].member;
        bool any = false;
        for (; k < edges.size() && edges[k].member == u; ++k)
          if (near(edges[k], part)) {
            partEdges.push_back(edges[k]);
            any = true;
          }
        if (!any && holds(polygon(u), cx, cy)) ++partBase;
      }
      settle(part, partQueries[q], partEdges, partBase, depth + 1);
    }
  }

  const std::vector<ContourPolygon>& polygons_;
  const std::vector<int>& members_;
  const std::vector<double>& points_;
  std::vector<int> counts_;
  std::vector<unsigned> near_;  // stamp of the last box each polygon had an edge near
  unsigned stamp_ = 0;
  double margin_ = 0;
};

}  // namespace

std::vector<int> containingCounts(const std::vector<ContourPolygon>& polygons, const std::vector<int>& members,
                                  const std::vector<double>& points) {
  if (members.size() <= kPairwisePolygons) {
    std::vector<int> counts(members.size(), 0);
    for (size_t t = 0; t < members.size(); ++t)
      for (size_t u = 0; u < members.size(); ++u)
        if (u != t && holds(polygons[size_t(members[u])], points[2 * t], points[2 * t + 1])) ++counts[t];
    return counts;
  }
  return Nesting(polygons, members, points).run();
}
