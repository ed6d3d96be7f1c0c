#include "engine/triangle_distance_tree.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr int kLeafSize = 4;

// Double-precision point: every distance is taken in double so that the
// single-precision corners lose nothing more.
struct D3 {
  double x, y, z;
};
inline D3 d3(const Vec3& v) { return {v.x, v.y, v.z}; }
inline D3 operator-(const D3& a, const D3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline double dotD(const D3& a, const D3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline D3 crossD(const D3& a, const D3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double segmentSquared(const D3& p, const D3& a, const D3& b) {
  const D3 d = b - a;
  const D3 w = p - a;
  const double dd = dotD(d, d);
  double t = dd > 0.0 ? dotD(w, d) / dd : 0.0;
  t = std::min(1.0, std::max(0.0, t));
  const D3 q{a.x + t * d.x, a.y + t * d.y, a.z + t * d.z};
  const D3 e = p - q;
  return dotD(e, e);
}

}  // namespace

double pointSegmentSquaredDistance(const Vec3& p, const Vec3& a, const Vec3& b) {
  if (!p.isFinite() || !a.isFinite() || !b.isFinite()) return std::numeric_limits<double>::quiet_NaN();
  return segmentSquared(d3(p), d3(a), d3(b));
}

double pointTriangleSquaredDistance(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c) {
  if (!p.isFinite() || !a.isFinite() || !b.isFinite() || !c.isFinite()) return std::numeric_limits<double>::quiet_NaN();
  const D3 P = d3(p), A = d3(a), B = d3(b), C = d3(c);
  const D3 n = crossD(B - A, C - A);
  const double nn = dotD(n, n);
  if (nn > 0.0 && std::isfinite(nn)) {
    // p projects inside when it lies on the inner side of all three edges.
    const bool inside = dotD(n, crossD(B - A, P - A)) >= 0.0 && dotD(n, crossD(C - B, P - B)) >= 0.0 &&
                        dotD(n, crossD(A - C, P - C)) >= 0.0;
    if (inside) {
      const double h = dotD(n, P - A);
      return h * h / nn;
    }
  }
  return std::min(segmentSquared(P, A, B), std::min(segmentSquared(P, B, C), segmentSquared(P, C, A)));
}

TriangleDistanceTree::TriangleDistanceTree(const std::vector<Vec3>& corners) {
  const size_t count = corners.size() / 3;
  std::vector<Triangle> all;
  all.reserve(count);
  for (size_t t = 0; t < count; ++t) {
    const Vec3& a = corners[3 * t];
    const Vec3& b = corners[3 * t + 1];
    const Vec3& c = corners[3 * t + 2];
    if (a.isFinite() && b.isFinite() && c.isFinite()) all.push_back({a, b, c});
  }
  if (all.empty()) return;

  const int n = int(all.size());
  std::vector<int> order(n);
  std::vector<double> centres(3 * size_t(n));
  for (int i = 0; i < n; ++i) {
    order[i] = i;
    for (int k = 0; k < 3; ++k)
      centres[3 * size_t(i) + k] = (double(all[i].a[k]) + double(all[i].b[k]) + double(all[i].c[k])) / 3.0;
  }

  // Iterative build (no recursion depth to worry about): each entry is a
  // node and the range of `order` it covers.
  struct Pending {
    int node, begin, end;
  };
  nodes_.reserve(2 * size_t(n) / kLeafSize + 2);
  nodes_.push_back(Node());
  std::vector<Pending> work{{0, 0, n}};
  while (!work.empty()) {
    const Pending w = work.back();
    work.pop_back();
    Node node;
    double clo[3], chi[3];
    for (int k = 0; k < 3; ++k) {
      node.lo[k] = clo[k] = std::numeric_limits<double>::infinity();
      node.hi[k] = chi[k] = -std::numeric_limits<double>::infinity();
    }
    for (int i = w.begin; i < w.end; ++i) {
      const Triangle& t = all[order[i]];
      for (int k = 0; k < 3; ++k) {
        node.lo[k] = std::min({node.lo[k], double(t.a[k]), double(t.b[k]), double(t.c[k])});
        node.hi[k] = std::max({node.hi[k], double(t.a[k]), double(t.b[k]), double(t.c[k])});
        clo[k] = std::min(clo[k], centres[3 * size_t(order[i]) + k]);
        chi[k] = std::max(chi[k], centres[3 * size_t(order[i]) + k]);
      }
    }
    if (w.end - w.begin <= kLeafSize) {
      node.first = w.begin;
      node.count = w.end - w.begin;
      nodes_[w.node] = node;
      continue;
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if (chi[k] - clo[k] > chi[axis] - clo[axis]) axis = k;
    const int mid = w.begin + (w.end - w.begin) / 2;
    std::nth_element(order.begin() + w.begin, order.begin() + mid, order.begin() + w.end,
                     [&](int l, int r) { return centres[3 * size_t(l) + axis] < centres[3 * size_t(r) + axis]; });
    node.first = int(nodes_.size());
    node.count = 0;
    nodes_[w.node] = node;
    nodes_.push_back(Node());
    nodes_.push_back(Node());
    work.push_back({node.first, w.begin, mid});
    work.push_back({node.first + 1, mid, w.end});
  }
  triangles_.reserve(all.size());
  for (int i : order) triangles_.push_back(all[i]);
}

double TriangleDistanceTree::boxSquaredDistance(const Node& node, const Vec3& p) const {
  double s = 0.0;
  for (int k = 0; k < 3; ++k) {
    const double v = p[k];
    const double e = v < node.lo[k] ? node.lo[k] - v : (v > node.hi[k] ? v - node.hi[k] : 0.0);
    s += e * e;
  }
  return s;
}

double TriangleDistanceTree::nearestWithin(const Vec3& p, double reach) const {
  const double none = std::numeric_limits<double>::infinity();
  if (nodes_.empty() || !p.isFinite() || !(reach >= 0.0)) return none;
  double best = reach * reach;
  bool found = false;
  // Depth is about log2(n / 4) and each level leaves at most one entry
  // behind, so the stack stays small.
  std::vector<std::pair<double, int>> stack;
  stack.reserve(64);
  stack.push_back({boxSquaredDistance(nodes_[0], p), 0});
  while (!stack.empty()) {
    const std::pair<double, int> top = stack.back();
    stack.pop_back();
    if (top.first > best) continue;
    const Node& node = nodes_[top.second];
    if (node.count > 0) {
      for (int i = node.first; i < node.first + node.count; ++i) {
        const Triangle& t = triangles_[i];
        const double d = pointTriangleSquaredDistance(p, t.a, t.b, t.c);
        if (d <= best) {
          best = d;
          found = true;
        }
      }
      continue;
    }
    const double d0 = boxSquaredDistance(nodes_[node.first], p);
    const double d1 = boxSquaredDistance(nodes_[node.first + 1], p);
    // The nearer child is taken first (pushed last).
    if (d0 <= d1) {
      if (d1 <= best) stack.push_back({d1, node.first + 1});
      if (d0 <= best) stack.push_back({d0, node.first});
    } else {
      if (d0 <= best) stack.push_back({d0, node.first});
      if (d1 <= best) stack.push_back({d1, node.first + 1});
    }
  }
  return found ? std::sqrt(best) : none;
}
