#include "trimesh/kdtree.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <new>

namespace {

constexpr int kMaxLeafPoints = 7;
constexpr int kCellsPerBlock = 127;

}  // namespace

// Leaf: count 1..7 and the point pointers. Inner: count 0, box centre and
// half-diagonal, split axis and children. Every node keeps its box (leaves
// too) so that a tree that is a single leaf still has a radius.
struct KDtree::Node {
  int count = 0;
  float center[3] = {0, 0, 0};
  float radius = 0;
  int split = 0;
  union {
    const float* points[kMaxLeafPoints];
    struct {
      Node* left;
      Node* right;
    } children;
  };
  Node() : children{nullptr, nullptr} {}
};

namespace {

// Free list of node-sized cells carved out of blocks of 127 cells. Blocks are
// kept for the life of the program; destroyed trees return their cells. One
// lock per tree build or destruction protects the list.
class NodePool {
 public:
  static NodePool& instance() {
    static NodePool pool;
    return pool;
  }
  std::mutex mutex;

  // Caller holds the mutex.
  KDtree::Node* alloc() {
    if (!free_) grow();
    Cell* c = free_;
    free_ = c->next;
    return new (c->storage) KDtree::Node();
  }
  void release(KDtree::Node* n) {
    n->~Node();
    Cell* c = reinterpret_cast<Cell*>(n);
    c->next = free_;
    free_ = c;
  }

 private:
  union Cell {
    Cell* next;
    alignas(KDtree::Node) unsigned char storage[sizeof(KDtree::Node)];
  };
  void grow() {
    blocks_.emplace_back(new Cell[kCellsPerBlock]);
    Cell* block = blocks_.back().get();
    for (int i = 0; i < kCellsPerBlock; i++) {
      block[i].next = free_;
      free_ = &block[i];
    }
  }
  Cell* free_ = nullptr;
  std::vector<std::unique_ptr<Cell[]>> blocks_;
};

// Box of the points; NaN coordinates are left out (such points can never be
// the answer to a query).
void bounding_box(const float* const* pts, size_t n, float* center, float* radius, float* extent) {
  float lo[3], hi[3];
  for (int k = 0; k < 3; k++) {
    lo[k] = std::numeric_limits<float>::infinity();
    hi[k] = -std::numeric_limits<float>::infinity();
  }
  for (size_t i = 0; i < n; i++) {
    for (int k = 0; k < 3; k++) {
      const float v = pts[i][k];
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

KDtree::Node* build(NodePool& pool, const float** pts, size_t n) {
  KDtree::Node* node = pool.alloc();
  float extent[3];
  bounding_box(pts, n, node->center, &node->radius, extent);
  if (n <= static_cast<size_t>(kMaxLeafPoints)) {
    node->count = static_cast<int>(n);
    for (size_t i = 0; i < n; i++) node->points[i] = pts[i];
    return node;
  }
  // Longest axis; ties go to the later axis.
  if (extent[0] > extent[1] && extent[0] > extent[2])
    node->split = 0;
  else if (extent[1] > extent[2])
    node->split = 1;
  else
    node->split = 2;
  const int s = node->split;
  const float c = node->center[s];
  // Points below the split value first (NaN coordinates go to the second part).
  const float** mid = std::partition(pts, pts + n, [s, c](const float* p) { return p[s] < c; });
  size_t nleft = static_cast<size_t>(mid - pts);
  if (nleft == 0 || nleft == n) nleft = n / 2;
  node->count = 0;
  node->children.left = build(pool, pts, nleft);
  node->children.right = build(pool, pts + nleft, n - nleft);
  return node;
}

void destroy(NodePool& pool, KDtree::Node* node) {
  if (!node) return;
  if (node->count == 0) {
    destroy(pool, node->children.left);
    destroy(pool, node->children.right);
  }
  pool.release(node);
}

struct Query {
  const float* q;
  const KDtree::CompatFunc* iscompat;
  const float* best = nullptr;
  float b = 0, b2 = 0;

  void search(const KDtree::Node* node) {
    if (node->count > 0) {
      for (int i = 0; i < node->count; i++) {
        const float* p = node->points[i];
        float d2 = 0;
        for (int k = 0; k < 3; k++) {
          float d = p[k] - q[k];
          d2 += d * d;
        }
        if (d2 < b2 && (!iscompat || (*iscompat)(p))) {
          b2 = d2;
          b = std::sqrt(d2);
          best = p;
        }
      }
      return;
    }
    float c2 = 0;
    for (int k = 0; k < 3; k++) {
      float d = q[k] - node->center[k];
      c2 += d * d;
    }
    const float reach = node->radius + b;
    if (c2 >= reach * reach) return;
    const float delta = node->center[node->split] - q[node->split];
    if (delta >= 0) {
      search(node->children.left);
      if (delta < b) search(node->children.right);
    } else if (delta < 0) {
      search(node->children.right);
      if (b > -delta) search(node->children.left);
    } else {  // infinite box: no side can be ruled out
      search(node->children.left);
      search(node->children.right);
    }
  }
};

}  // namespace

KDtree::KDtree(const float* points, size_t count) {
  if (!points || count == 0) return;
  std::vector<const float*> pts(count);
  for (size_t i = 0; i < count; i++) pts[i] = points + 3 * i;
  NodePool& pool = NodePool::instance();
  std::lock_guard<std::mutex> lock(pool.mutex);
  root = build(pool, pts.data(), count);
}

KDtree::~KDtree() {
  if (!root) return;
  NodePool& pool = NodePool::instance();
  std::lock_guard<std::mutex> lock(pool.mutex);
  destroy(pool, root);
}

float KDtree::root_radius2() const { return root ? root->radius * root->radius : 0.0f; }

const float* KDtree::nearest(const float* q, float maxDist2, const CompatFunc* iscompat) const {
  if (!root || !q) return nullptr;
  if (maxDist2 <= 0.0f) maxDist2 = root_radius2();
  Query query{q, iscompat};
  query.b2 = maxDist2;
  query.b = std::sqrt(maxDist2);
  query.search(root);
  return query.best;
}
