#include "sections/face_tree.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <mutex>
#include <utility>

#include "model/render_mesh.h"

namespace {

constexpr int kLeafSize = 8;

}  // namespace

FaceTree::FaceTree(const QVector<Vec3>& vertices, const RenderFaces& faces) {
  const int vertexCount = vertices.size();
  std::vector<int> order;
  std::vector<float> centres, boxes;
  order.reserve(size_t(faces.size()));
  for (int i = 0; i < faces.size(); ++i) {
    const RenderFace& f = faces[i];
    if (f.size() < 3) continue;
    bool usable = true;
    for (int c = 0; c < 3; ++c)
      if (f[c] < 0 || f[c] >= vertexCount || !vertices[f[c]].isFinite()) usable = false;
    if (usable) order.push_back(i);
  }
  faceCount_ = int(order.size());
  maxFace_ = order.empty() ? 0 : order.back();
  centres.resize(size_t(faces.size()) * 3);
  boxes.resize(size_t(faces.size()) * 6);
  for (int i : order) {
    const RenderFace& f = faces[i];
    const Vec3 q[3] = {vertices[f[0]], vertices[f[1]], vertices[f[2]]};
    float* b = &boxes[size_t(i) * 6];
    for (int a = 0; a < 3; ++a) {
      const float x0 = q[0][a], x1 = q[1][a], x2 = q[2][a];
      b[a] = std::min(x0, std::min(x1, x2));
      b[3 + a] = std::max(x0, std::max(x1, x2));
      centres[size_t(i) * 3 + size_t(a)] = 0.5f * b[a] + 0.5f * b[3 + a];
      scale_ = std::max(scale_, double(std::max(std::fabs(b[a]), std::fabs(b[3 + a]))));
    }
  }
  if (order.empty()) return;
  nodes_.reserve(order.size() / kLeafSize * 2 + 2);
  build(order, centres, boxes, 0, int(order.size()));
  faces_.swap(order);
}

// Builds the subtree over order[begin, end) and returns its root. Splits at
// the median of the face centres along the longest side of their box.
int FaceTree::build(std::vector<int>& order, std::vector<float>& centres, std::vector<float>& boxes, int begin,
                    int end) {
  const int self = int(nodes_.size());
  nodes_.emplace_back();
  float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
  float clo[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, chi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
  for (int k = begin; k < end; ++k) {
    const size_t i = size_t(order[size_t(k)]);
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], boxes[i * 6 + size_t(a)]);
      hi[a] = std::max(hi[a], boxes[i * 6 + 3 + size_t(a)]);
      clo[a] = std::min(clo[a], centres[i * 3 + size_t(a)]);
      chi[a] = std::max(chi[a], centres[i * 3 + size_t(a)]);
    }
  }
  for (int a = 0; a < 3; ++a) {
    nodes_[size_t(self)].lo[a] = lo[a];
    nodes_[size_t(self)].hi[a] = hi[a];
  }
  if (end - begin <= kLeafSize) {
    nodes_[size_t(self)].leaf = true;
    nodes_[size_t(self)].a = begin;
    nodes_[size_t(self)].b = end - begin;
    return self;
  }
  int axis = 0;
  for (int a = 1; a < 3; ++a)
    if (double(chi[a]) - clo[a] > double(chi[axis]) - clo[axis]) axis = a;
  const int mid = begin + (end - begin) / 2;
  std::nth_element(order.begin() + begin, order.begin() + mid, order.begin() + end, [&](int x, int y) {
    return centres[size_t(x) * 3 + size_t(axis)] < centres[size_t(y) * 3 + size_t(axis)];
  });
  const int left = build(order, centres, boxes, begin, mid);
  const int right = build(order, centres, boxes, mid, end);
  nodes_[size_t(self)].a = left;
  nodes_[size_t(self)].b = right;
  return self;
}

bool FaceTree::candidateFaces(const Vec3& normal, const Vec3& point, std::vector<int>& out) const {
  const double n[3] = {normal.x, normal.y, normal.z};
  const double p[3] = {point.x, point.y, point.z};
  double nAbs = 0.0, pMax = 0.0;
  for (int a = 0; a < 3; ++a) {
    if (!std::isfinite(n[a]) || !std::isfinite(p[a])) return false;
    nAbs += std::fabs(n[a]);
    pMax = std::max(pMax, std::fabs(p[a]));
  }
  if (nAbs > 1e18 || pMax > 1e18 || scale_ > 1e18) return false;
  if (nodes_.empty()) return true;
  const double margin = this->margin(normal, point);
  const double offset = n[0] * p[0] + n[1] * p[1] + n[2] * p[2];
  // Faces found are marked in a bit set and read out in increasing order:
  // cheaper than sorting them.
  thread_local std::vector<uint64_t> marks;
  if (marks.size() < size_t(maxFace_) / 64 + 1) marks.assign(size_t(maxFace_) / 64 + 1, 0);
  bool any = false;
  int stack[128];
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& node = nodes_[size_t(stack[--top])];
    double centre = 0.0, reach = 0.0;
    for (int a = 0; a < 3; ++a) {
      const double c = 0.5 * (double(node.lo[a]) + double(node.hi[a]));
      const double h = 0.5 * (double(node.hi[a]) - double(node.lo[a]));
      centre += n[a] * c;
      reach += std::fabs(n[a]) * h;
    }
    const double s = centre - offset;
    if (s - reach > margin || s + reach < -margin) continue;
    if (node.leaf) {
      for (int k = node.a; k < node.a + node.b; ++k) {
        const int f = faces_[size_t(k)];
        marks[size_t(f) >> 6] |= uint64_t(1) << (f & 63);
      }
      any = true;
    } else if (top + 2 <= 128) {
      stack[top++] = node.b;
      stack[top++] = node.a;
    }
  }
  if (!any) return true;
  const size_t words = size_t(maxFace_) / 64 + 1;
  for (size_t w = 0; w < words; ++w) {
    uint64_t bits = marks[w];
    if (!bits) continue;
    marks[w] = 0;
    while (bits) {
      const int b = __builtin_ctzll(bits);
      out.push_back(int(w * 64) + b);
      bits &= bits - 1;
    }
  }
  return true;
}

double FaceTree::margin(const Vec3& normal, const Vec3& point) const {
  // Bound on the rounding of the single-precision crossing test: a face whose
  // corners all lie farther than this on one side cannot cross.
  const double nAbs = std::fabs(double(normal.x)) + std::fabs(double(normal.y)) + std::fabs(double(normal.z));
  const double pMax =
      std::max(std::fabs(double(point.x)), std::max(std::fabs(double(point.y)), std::fabs(double(point.z))));
  return 64.0 * double(FLT_EPSILON) * nAbs * (scale_ + pMax) + 1e-30;
}

namespace {

struct CachedTree {
  uint64_t revision = 0;
  std::shared_ptr<const FaceTree> tree;
};

}  // namespace

std::shared_ptr<const FaceTree> faceTreeFor(const RenderMesh& mesh) {
  // A few recent meshes: the engine's mesh, and copies of it (same revision).
  static std::mutex mutex;
  static std::vector<CachedTree> cache;
  std::lock_guard<std::mutex> lock(mutex);
  const uint64_t revision = mesh.revision();
  for (size_t k = 0; k < cache.size(); ++k)
    if (cache[k].revision == revision) {
      std::rotate(cache.begin(), cache.begin() + long(k), cache.begin() + long(k) + 1);
      return cache.front().tree;
    }
  CachedTree entry;
  entry.revision = revision;
  entry.tree = std::make_shared<const FaceTree>(mesh.vertices(), mesh.faces());
  cache.insert(cache.begin(), entry);
  if (cache.size() > 4) cache.pop_back();
  return cache.front().tree;
}
