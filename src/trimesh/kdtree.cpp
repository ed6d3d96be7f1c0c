#include "trimesh/kdtree.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kMaxLeafPoints = 7;

}  // namespace

// Leaf: count 1..7 and the first of its points in the tree's point array.
// Inner: count 0, split axis and the indices of both children. Every node
// keeps its box centre and half-diagonal (leaves too) so that a tree that is
// a single leaf still has a radius.
struct KDtree::Node {
  float center[3] = {0, 0, 0};
  float radius = 0;
  int count = 0;
  int split = 0;
  uint32_t first = 0;  // leaf: first point; inner: left child
  uint32_t right = 0;  // inner: right child
};

namespace {

using Point = KDtree::Point;

// Box of the points; NaN coordinates are left out (such points can never be
// the answer to a query).
void bounding_box(const Point* pts, size_t n, float* center, float* radius, float* extent) {
  float lo[3], hi[3];
  for (int k = 0; k < 3; k++) {
    lo[k] = std::numeric_limits<float>::infinity();
    hi[k] = -std::numeric_limits<float>::infinity();
  }
  for (size_t i = 0; i < n; i++) {
    for (int k = 0; k < 3; k++) {
      const float v = pts[i].x[k];
      if (v < lo[k]) lo[k] = v;
      if (v > hi[k]) hi[k] = v;
    }
  }
  float d2 = 0;
  for (int k = 0; k < 3; k++) {
    if (lo[k] > hi[k]) lo[k] = hi[k] = 0.0f;  // no number on this axis
    center[k] = 0.5f * lo[k] + 0.5f * hi[k];
    extent[k] = hi[k] - lo[k];
    d2 += extent[k] * extent[k];
  }
  *radius = 0.5f * std::sqrt(d2);
}

// Builds the subtree of points [first, first + n) and returns its index. The
// points are reordered so that every leaf's points are consecutive.
uint32_t build(std::vector<KDtree::Node>& nodes, std::vector<Point>& points, size_t first, size_t n) {
  const uint32_t index = uint32_t(nodes.size());
  nodes.emplace_back();
  Point* const pts = points.data() + first;
  KDtree::Node node;
  float extent[3];
  bounding_box(pts, n, node.center, &node.radius, extent);
  if (n <= static_cast<size_t>(kMaxLeafPoints)) {
    node.count = static_cast<int>(n);
    node.first = uint32_t(first);
    nodes[index] = node;
    return index;
  }
  // Longest axis; ties go to the later axis.
  if (extent[0] > extent[1] && extent[0] > extent[2])
    node.split = 0;
  else if (extent[1] > extent[2])
    node.split = 1;
  else
    node.split = 2;
  const int s = node.split;
  const float c = node.center[s];
  // Points below the split value first (NaN coordinates go to the second part).
  const Point* mid = std::partition(pts, pts + n, [s, c](const Point& p) { return p.x[s] < c; });
  size_t nleft = static_cast<size_t>(mid - pts);
  if (nleft == 0 || nleft == n) nleft = n / 2;
  node.count = 0;
  node.first = build(nodes, points, first, nleft);
  node.right = build(nodes, points, first + nleft, n - nleft);
  nodes[index] = node;
  return index;
}

struct Query {
  const KDtree::Node* nodes;
  const Point* points;
  const float* q;
  const KDtree::CompatFunc* iscompat;
  const float* best = nullptr;
  float b = 0, b2 = 0;

  void search(uint32_t index) {
    const KDtree::Node& node = nodes[index];
    if (node.count > 0) {
      const Point* p = points + node.first;
      for (int i = 0; i < node.count; i++, p++) {
        float d2 = 0;
        for (int k = 0; k < 3; k++) {
          float d = p->x[k] - q[k];
          d2 += d * d;
        }
        if (d2 < b2 && (!iscompat || (*iscompat)(p->source))) {
          b2 = d2;
          b = std::sqrt(d2);
          best = p->source;
        }
      }
      return;
    }
    float c2 = 0;
    for (int k = 0; k < 3; k++) {
      float d = q[k] - node.center[k];
      c2 += d * d;
    }
    const float reach = node.radius + b;
    if (c2 >= reach * reach) return;
    const float delta = node.center[node.split] - q[node.split];
    if (delta >= 0) {
      search(node.first);
      if (delta < b) search(node.right);
    } else if (delta < 0) {
      search(node.right);
      if (b > -delta) search(node.first);
    } else {  // infinite box: no side can be ruled out
      search(node.first);
      search(node.right);
    }
  }
};

}  // namespace

KDtree::KDtree(const float* points, size_t count) {
  if (!points || count == 0 || count > std::numeric_limits<uint32_t>::max() / 2) return;
  points_.resize(count);
  for (size_t i = 0; i < count; i++) {
    const float* p = points + 3 * i;
    points_[i] = {{p[0], p[1], p[2]}, p};
  }
  nodes_.reserve(count / 2 + 1);
  build(nodes_, points_, 0, count);
}

KDtree::~KDtree() = default;

float KDtree::root_radius2() const { return nodes_.empty() ? 0.0f : nodes_[0].radius * nodes_[0].radius; }

const float* KDtree::nearest(const float* q, float maxDist2, const CompatFunc* iscompat) const {
  if (nodes_.empty() || !q) return nullptr;
  if (maxDist2 <= 0.0f) maxDist2 = root_radius2();
  Query query{nodes_.data(), points_.data(), q, iscompat};
  query.b2 = maxDist2;
  query.b = std::sqrt(maxDist2);
  query.search(0);
  return query.best;
}
