#include "model/segmentation_proxy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace segproxy {

namespace {

// ---------------------------------------------------------------------------
// Input: which faces are usable, positions scaled into the unit cube.

// Map from 64-bit keys to ints by open addressing in two flat arrays: no
// allocation per entry, so a large mesh leaves no litter of small freed
// blocks behind (the child inherits the heap, and CGAL allocates many small
// blocks). The key ~0 is reserved.
class FlatIndex {
 public:
  explicit FlatIndex(size_t expected = 0) { reset(expected); }

  void reset(size_t expected) {
    size_t capacity = 16;
    while (capacity < 2 * expected) capacity <<= 1;
    keys_.assign(capacity, kEmpty);
    values_.assign(capacity, -1);
    size_ = 0;
  }
  size_t size() const { return size_; }

  // The value under `key`, after storing `value` there if it had none.
  int insert(uint64_t key, int value) {
    if (2 * (size_ + 1) > keys_.size()) grow();
    size_t i = slot(key);
    while (keys_[i] != kEmpty) {
      if (keys_[i] == key) return values_[i];
      i = (i + 1) & (keys_.size() - 1);
    }
    keys_[i] = key;
    values_[i] = value;
    ++size_;
    return value;
  }

  // The value under `key`, or -1.
  int find(uint64_t key) const {
    for (size_t i = slot(key); keys_[i] != kEmpty; i = (i + 1) & (keys_.size() - 1))
      if (keys_[i] == key) return values_[i];
    return -1;
  }

 private:
  static constexpr uint64_t kEmpty = ~uint64_t(0);

  size_t slot(uint64_t key) const {
    key ^= key >> 33;  // a 64-bit mixing finaliser
    key *= 0xff51afd7ed558ccdull;
    key ^= key >> 33;
    key *= 0xc4ceb9fe1a85ec53ull;
    key ^= key >> 33;
    return size_t(key) & (keys_.size() - 1);
  }

  void grow() {
    std::vector<uint64_t> keys;
    std::vector<int> values;
    keys.swap(keys_);
    values.swap(values_);
    keys_.assign(2 * keys.size(), kEmpty);
    values_.assign(2 * keys.size(), -1);
    size_ = 0;
    for (size_t i = 0; i < keys.size(); ++i)
      if (keys[i] != kEmpty) insert(keys[i], values[i]);
  }

  std::vector<uint64_t> keys_;
  std::vector<int> values_;
  size_t size_ = 0;
};

bool finiteVec(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

Input prepareInput(const QVector<Vec3>& vertices, const RenderFaces& faces) {
  Input in;
  const int nv = vertices.size(), nf = faces.size();
  in.finite.assign(size_t(nv), 0);
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  auto inRange = [&](int i) { return i >= 0 && i < nv; };
  for (int v = 0; v < nv; ++v) in.finite[size_t(v)] = finiteVec(vertices[v]);
  for (const RenderFace& f : faces)
    for (int c = 0; c < std::min(3, int(f.size())); ++c)
      if (inRange(f[c]) && in.finite[size_t(f[c])])
        for (int k = 0; k < 3; ++k) {
          lo[k] = std::min(lo[k], double(vertices[f[c]][k]));
          hi[k] = std::max(hi[k], double(vertices[f[c]][k]));
        }
  double extent = 0.0, centre[3] = {0.0, 0.0, 0.0};
  for (int k = 0; k < 3; ++k)
    if (hi[k] >= lo[k]) {
      extent = std::max(extent, hi[k] - lo[k]);
      centre[k] = 0.5 * (lo[k] + hi[k]);
    }
  const double scale = extent > 0.0 && std::isfinite(extent) ? 1.0 / extent : 1.0;
  in.position.assign(3 * size_t(nv), 0.0);
  for (int v = 0; v < nv; ++v) {
    if (!in.finite[size_t(v)]) continue;
    for (int k = 0; k < 3; ++k) in.position[3 * size_t(v) + size_t(k)] = (double(vertices[v][k]) - centre[k]) * scale;
  }

  // Vertices at one position are joined (their first index stands for all),
  // so that a soup whose triangles never shared corners is connected.
  std::vector<int> joined(static_cast<size_t>(nv));
  FlatIndex firstAt{size_t(nv)};
  for (int v = 0; v < nv; ++v) {
    joined[size_t(v)] = v;
    if (!in.finite[size_t(v)]) continue;
    uint32_t bits[3];
    for (int k = 0; k < 3; ++k) {
      const float x = vertices[v][k] + 0.0f;  // -0 and +0 alike
      std::memcpy(&bits[k], &x, sizeof x);
    }
    const uint64_t h = (uint64_t(bits[0]) * 0x9e3779b97f4a7c15ull) ^ (uint64_t(bits[1]) * 0xc2b2ae3d27d4eb4full) ^
                       (uint64_t(bits[2]) * 0x165667b19e3779f9ull);
    const int first = firstAt.insert(h == ~uint64_t(0) ? 0 : h, v);
    if (first != v && vertices[first] == vertices[v]) joined[size_t(v)] = first;
  }

  in.corner.assign(3 * size_t(nf), -1);
  for (int f = 0; f < nf; ++f) {
    const RenderFace& face = faces[f];
    if (face.size() < 3) continue;
    if (!inRange(face[0]) || !inRange(face[1]) || !inRange(face[2])) continue;
    const int a = joined[size_t(face[0])], b = joined[size_t(face[1])], c = joined[size_t(face[2])];
    if (a == b || b == c || a == c) continue;
    if (!in.finite[size_t(a)] || !in.finite[size_t(b)] || !in.finite[size_t(c)]) continue;
    const double* p = &in.position[3 * size_t(a)];
    const double* q = &in.position[3 * size_t(b)];
    const double* r = &in.position[3 * size_t(c)];
    const double u[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]}, w[3] = {r[0] - p[0], r[1] - p[1], r[2] - p[2]};
    const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    const double twiceArea = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(twiceArea > 0.0)) continue;
    in.corner[3 * size_t(f)] = a;
    in.corner[3 * size_t(f) + 1] = b;
    in.corner[3 * size_t(f) + 2] = c;
    in.area += 0.5 * twiceArea;
    ++in.goodFaces;
  }
  return in;
}

// ---------------------------------------------------------------------------
// The soup handed to CGAL: the good faces, or a proxy of them.

Soup wholeSoup(const Input& in) {
  Soup s;
  s.points = in.position;
  s.triangles.reserve(3 * size_t(in.goodFaces));
  for (size_t f = 0; f < in.corner.size() / 3; ++f)
    if (in.corner[3 * f] >= 0)
      for (int c = 0; c < 3; ++c) s.triangles.push_back(in.corner[3 * f + size_t(c)]);
  return s;
}

namespace {

// Cell of a scaled position on a grid of spacing h, packed into 60 bits (the
// scaled box spans [-0.5, 0.5]; 2^20 cells per axis are far more than any
// spacing used here makes).
uint64_t cellKey(const double* p, double h) {
  uint64_t key = 0;
  for (int k = 0; k < 3; ++k) {
    const double cell = std::floor((p[k] + 0.5) / h);
    const int64_t c = int64_t(std::max(0.0, std::min(cell, double((1 << 20) - 1))));
    key = (key << 20) | uint64_t(c);
  }
  return key;
}

int findRoot(std::vector<int>& parent, int i) {
  while (parent[size_t(i)] != i) {
    parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
    i = parent[size_t(i)];
  }
  return i;
}

}  // namespace

// A proxy of about `targetFaces` faces by vertex clustering. A cluster is a
// set of vertices of the good faces that lie in one cell of a uniform grid,
// whose normals lie on one side of the plane across the cell's principal
// normal direction, and that are joined by edges inside that set; its point
// is the mean of its vertices. So the two sides of a part thinner than a
// cell, or two parts that pass through one cell, stay apart. Faces are carried over with their
// corners replaced by their clusters; those that lose a corner that way or
// repeat an earlier face (any winding) are dropped. A closed surface has
// about twice as many faces as vertices, so the spacing is set for
// targetFaces / 2 clusters: first from the area, then corrected by the count
// it gave (each round O(n), at most six). Expected O(n) in all.
Soup clusteredSoup(const Input& in, int targetFaces) {
  const size_t nv = in.finite.size(), nf = in.corner.size() / 3;
  // Area-weighted unit vertex normals of the good faces (zero where none).
  std::vector<double> normal(3 * nv, 0.0);
  std::vector<char> used(nv, 0);
  for (size_t f = 0; f < nf; ++f) {
    if (in.corner[3 * f] < 0) continue;
    const int* t = &in.corner[3 * f];
    const double* p = &in.position[3 * size_t(t[0])];
    const double* q = &in.position[3 * size_t(t[1])];
    const double* r = &in.position[3 * size_t(t[2])];
    const double u[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]}, w[3] = {r[0] - p[0], r[1] - p[1], r[2] - p[2]};
    const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    for (int c = 0; c < 3; ++c) {
      used[size_t(t[c])] = 1;
      for (int k = 0; k < 3; ++k) normal[3 * size_t(t[c]) + size_t(k)] += n[k];
    }
  }
  for (size_t v = 0; v < nv; ++v) {
    double* n = &normal[3 * v];
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int k = 0; k < 3; ++k) n[k] = length > 0.0 ? n[k] / length : 0.0;
  }

  const double targetClusters = std::max(4.0, 0.5 * targetFaces);
  std::vector<uint64_t> key(nv, 0);
  std::vector<int> parent(nv), cluster(nv, -1);
  FlatIndex byKey, cellIndex;
  std::vector<std::array<double, 6>> spread;  // per cell: sum of n n^T (xx, yy, zz, xy, xz, yz)
  std::vector<std::array<double, 3>> axis;    // per cell: its principal normal direction
  // Clusters for spacing h into `cluster` (the roots') and their count.
  // `connected`: only vertices joined by edges inside their set share a
  // cluster; else all with one key do.
  auto assign = [&](double h, bool connected) {
    byKey.reset(connected ? 0 : size_t(targetClusters));
    cellIndex.reset(size_t(targetClusters));
    spread.clear();
    for (size_t v = 0; v < nv; ++v) {
      if (!used[v]) continue;
      key[v] = cellKey(&in.position[3 * v], h);
      const int c = cellIndex.insert(key[v], int(spread.size()));
      if (c == int(spread.size())) spread.push_back({0, 0, 0, 0, 0, 0});
      const double* n = &normal[3 * v];
      std::array<double, 6>& m = spread[size_t(c)];
      m[0] += n[0] * n[0];
      m[1] += n[1] * n[1];
      m[2] += n[2] * n[2];
      m[3] += n[0] * n[1];
      m[4] += n[0] * n[2];
      m[5] += n[1] * n[2];
    }
    // Principal direction by power iteration from the strongest axis.
    axis.assign(spread.size(), {0, 0, 0});
    for (size_t c = 0; c < spread.size(); ++c) {
      const std::array<double, 6>& m = spread[c];
      double e[3] = {0, 0, 0};
      e[m[0] >= m[1] && m[0] >= m[2] ? 0 : (m[1] >= m[2] ? 1 : 2)] = 1.0;
      for (int it = 0; it < 8; ++it) {
        const double x = m[0] * e[0] + m[3] * e[1] + m[4] * e[2];
        const double y = m[3] * e[0] + m[1] * e[1] + m[5] * e[2];
        const double z = m[4] * e[0] + m[5] * e[1] + m[2] * e[2];
        const double l = std::sqrt(x * x + y * y + z * z);
        if (!(l > 0.0)) break;
        e[0] = x / l;
        e[1] = y / l;
        e[2] = z / l;
      }
      axis[c] = {e[0], e[1], e[2]};
    }
    for (size_t v = 0; v < nv; ++v) {
      parent[v] = int(v);
      if (!used[v]) continue;
      const double* n = &normal[3 * v];
      const std::array<double, 3>& e = axis[size_t(cellIndex.find(key[v]))];
      const int side = n[0] * e[0] + n[1] * e[1] + n[2] * e[2] < 0.0 ? 1 : 0;
      key[v] = (key[v] << 1) | uint64_t(side);
      if (!connected) parent[v] = byKey.insert(key[v], int(v));
    }
    if (connected)
      for (size_t f = 0; f < nf; ++f) {
        if (in.corner[3 * f] < 0) continue;
        for (int c = 0; c < 3; ++c) {
          const int a = in.corner[3 * f + size_t(c)], b = in.corner[3 * f + size_t((c + 1) % 3)];
          if (key[size_t(a)] != key[size_t(b)]) continue;
          const int ra = findRoot(parent, a), rb = findRoot(parent, b);
          if (ra != rb) parent[size_t(std::max(ra, rb))] = std::min(ra, rb);
        }
      }
    int n = 0;
    for (size_t v = 0; v < nv; ++v)
      if (used[v] && findRoot(parent, int(v)) == int(v)) cluster[v] = n++;
    return n;
  };
  // A surface's clusters go as 1 / h^2. Separate triangles (a soup whose
  // corners were never shared) cannot be pooled by edges: then by key alone.
  int clusters = 0;
  for (bool connected : {true, false}) {
    double h = std::sqrt(std::max(in.area, 1e-12) / targetClusters);
    for (int round = 0; round < 6; ++round) {
      clusters = assign(h, connected);
      const double ratio = double(clusters) / targetClusters;
      if (!(ratio > 0.0) || (ratio > 0.85 && ratio < 1.15)) break;
      h *= std::sqrt(ratio);
    }
    if (clusters < 2 * targetClusters) break;
  }
  Soup s;
  std::vector<double> count(size_t(clusters), 0.0);
  s.points.assign(3 * size_t(clusters), 0.0);
  for (size_t v = 0; v < nv; ++v) {
    if (!used[v]) continue;
    const int c = cluster[size_t(findRoot(parent, int(v)))];
    cluster[v] = c;
    count[size_t(c)] += 1.0;
    for (int k = 0; k < 3; ++k) s.points[3 * size_t(c) + size_t(k)] += in.position[3 * v + size_t(k)];
  }
  for (size_t c = 0; c < count.size(); ++c)
    for (int k = 0; k < 3; ++k) s.points[3 * c + size_t(k)] /= std::max(1.0, count[c]);
  FlatIndex seen{size_t(targetFaces)};
  for (size_t f = 0; f < nf; ++f) {
    if (in.corner[3 * f] < 0) continue;
    int t[3];
    for (int c = 0; c < 3; ++c) t[c] = cluster[size_t(in.corner[3 * f + size_t(c)])];
    if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) continue;
    int sorted[3] = {t[0], t[1], t[2]};
    std::sort(sorted, sorted + 3);
    const uint64_t faceKey = (uint64_t(sorted[0]) << 42) | (uint64_t(sorted[1]) << 21) | uint64_t(sorted[2]);
    // With more clusters the key would be ambiguous; CGAL's repair drops repeats.
    if (clusters < (1 << 21) && seen.insert(faceKey, int(f)) != int(f)) continue;
    s.triangles.insert(s.triangles.end(), t, t + 3);
  }
  return s;
}

}  // namespace segproxy
