#include "trimesh/smoothing_clusters.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "trimesh/smoothing_method.h"

namespace smoothing_clusters {

namespace {

// Keys hold 20 bits per axis and 3 for the facing.
constexpr double kMaxCells = double((1 << 20) - 1);

// 0 .. 5: the axis of the largest component of n, and its sign.
uint64_t facing(const Vec3& n) {
  const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
  if (ax >= ay && ax >= az) return n.x < 0.0f ? 1 : 0;
  if (ay >= az) return n.y < 0.0f ? 3 : 2;
  return n.z < 0.0f ? 5 : 4;
}

// A unit frame (u, v) with u x v = n, for a unit n.
void any_frame(const Vec3& n, Vec3& u, Vec3& v) {
  const Vec3 other = std::fabs(n.x) < 0.9f ? Vec3(1, 0, 0) : Vec3(0, 1, 0);
  u = other.cross(n).normalized();
  v = n.cross(u);
}

}  // namespace

Clusters make_clusters(const TriMesh& m, float sigma) {
  Clusters c;
  const size_t nv = m.vertices.size();
  c.of_vertex.assign(nv, -1);
  std::vector<int> order;
  order.reserve(nv);
  Vec3 lo(0, 0, 0), hi(0, 0, 0);
  for (size_t i = 0; i < nv; ++i) {
    if (!m.vertices[i].isFinite() || !m.normals[i].isFinite()) continue;
    const Vec3& p = m.vertices[i];
    if (order.empty()) lo = hi = p;
    lo = Vec3(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
    hi = Vec3(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    order.push_back(int(i));
  }
  if (order.empty()) return c;
  const double extent = std::max({double(hi.x) - lo.x, double(hi.y) - lo.y, double(hi.z) - lo.z});
  double cell = double(sigma) * kSmoothingCellFraction;
  if (!(cell > 0.0) || !std::isfinite(cell)) cell = extent > 0.0 ? extent : 1.0;
  if (extent / cell > kMaxCells) cell = extent / kMaxCells;
  const auto index = [&](float x, float origin) {
    const double k = std::floor((double(x) - origin) / cell);
    return uint64_t(std::min(std::max(k, 0.0), kMaxCells));
  };
  std::vector<uint64_t> key(nv, 0);
  for (int i : order) {
    const Vec3& p = m.vertices[size_t(i)];
    key[size_t(i)] =
        index(p.x, lo.x) << 43 | index(p.y, lo.y) << 23 | index(p.z, lo.z) << 3 | facing(m.normals[size_t(i)]);
  }
  // A cell's vertices form one cluster per piece of mesh that joins them
  // inside the cell: two sheets, or two ends of a fold, that only pass
  // through the same cell stay apart, as the exact filter's traversal
  // (which follows edges) keeps them. Each piece is named by its smallest
  // vertex.
  std::vector<int> piece(nv);
  std::iota(piece.begin(), piece.end(), 0);
  const auto root = [&](int x) {
    while (piece[size_t(x)] != x) {
      piece[size_t(x)] = piece[size_t(piece[size_t(x)])];
      x = piece[size_t(x)];
    }
    return x;
  };
  for (int i : order) {
    for (int j : m.vertex_neighbors[size_t(i)]) {
      if (j < 0 || size_t(j) >= nv || key[size_t(j)] != key[size_t(i)] || !m.vertices[size_t(j)].isFinite() ||
          !m.normals[size_t(j)].isFinite())
        continue;
      const int a = root(i), b = root(j);
      if (a != b) piece[size_t(std::max(a, b))] = std::min(a, b);
    }
  }
  for (int i : order) piece[size_t(i)] = root(i);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    if (key[size_t(a)] != key[size_t(b)]) return key[size_t(a)] < key[size_t(b)];
    if (piece[size_t(a)] != piece[size_t(b)]) return piece[size_t(a)] < piece[size_t(b)];
    return a < b;
  });

  // Members, in key order, then piece, then vertex order.
  c.members = order;
  for (size_t k = 0; k < order.size(); ++k) {
    const size_t a = size_t(order[k]);
    if (k == 0 || key[a] != key[size_t(order[k - 1])] || piece[a] != piece[size_t(order[k - 1])])
      c.member_offset.push_back(int(k));
    c.of_vertex[a] = int(c.member_offset.size()) - 1;
  }
  c.count = int(c.member_offset.size());
  c.member_offset.push_back(int(order.size()));

  c.centroid.resize(size_t(c.count));
  c.normal.resize(size_t(c.count));
  c.area.resize(size_t(c.count));
  c.u.resize(size_t(c.count));
  c.v.resize(size_t(c.count));
  c.uxv.resize(size_t(c.count));
  for (int k = 0; k < c.count; ++k) {
    if (c.size(k) == 1) {
      const size_t j = size_t(c.first(k));
      c.centroid[size_t(k)] = m.vertices[j];
      c.normal[size_t(k)] = m.normals[j];
      c.area[size_t(k)] = m.point_areas[j];
      c.u[size_t(k)] = m.principal_dir1[j];
      c.v[size_t(k)] = m.principal_dir2[j];
      c.uxv[size_t(k)] = m.principal_dir1[j].cross(m.principal_dir2[j]);
      continue;
    }
    double a = 0.0, px = 0.0, py = 0.0, pz = 0.0, nx = 0.0, ny = 0.0, nz = 0.0;
    double mx = 0.0, my = 0.0, mz = 0.0, ux = 0.0, uy = 0.0, uz = 0.0;
    const int first = c.member_offset[size_t(k)], last = c.member_offset[size_t(k) + 1];
    for (int q = first; q < last; ++q) {
      const size_t j = size_t(c.members[size_t(q)]);
      const Vec3& p = m.vertices[j];
      mx += p.x;
      my += p.y;
      mz += p.z;
      ux += m.normals[j].x;
      uy += m.normals[j].y;
      uz += m.normals[j].z;
      const float w = m.point_areas[j];
      if (!(w > 0.0f) || !std::isfinite(w)) continue;
      a += w;
      px += double(w) * p.x;
      py += double(w) * p.y;
      pz += double(w) * p.z;
      nx += double(w) * m.normals[j].x;
      ny += double(w) * m.normals[j].y;
      nz += double(w) * m.normals[j].z;
    }
    const double n = last - first;
    if (a > 0.0) {
      c.centroid[size_t(k)] = Vec3(float(px / a), float(py / a), float(pz / a));
      c.normal[size_t(k)] = Vec3(float(nx / a), float(ny / a), float(nz / a));
    } else {
      // Without area the cluster weighs nothing, but the traversal still
      // passes through it when it faces the right way.
      c.centroid[size_t(k)] = Vec3(float(mx / n), float(my / n), float(mz / n));
      c.normal[size_t(k)] = Vec3(float(ux / n), float(uy / n), float(uz / n));
    }
    c.area[size_t(k)] = float(a);
    Vec3 normal = c.normal[size_t(k)];
    const float len = normal.length();
    normal = len > 0.0f && std::isfinite(len) ? normal * (1.0f / len) : m.normals[size_t(c.first(k))];
    any_frame(normal, c.u[size_t(k)], c.v[size_t(k)]);
    c.uxv[size_t(k)] = c.u[size_t(k)].cross(c.v[size_t(k)]);
  }

  // Adjacency: every cluster a member's mesh edge reaches, once, in the
  // order of the members and their neighbour lists (a single vertex's
  // cluster lists its neighbours' clusters in its own neighbour order, so
  // the traversal below visits them in the exact filter's order).
  std::vector<int> seen(size_t(c.count), -1);
  c.adj_offset.assign(size_t(c.count) + 1, 0);
  for (int k = 0; k < c.count; ++k) {
    c.adj_offset[size_t(k)] = int(c.adj.size());
    for (int q = c.member_offset[size_t(k)]; q < c.member_offset[size_t(k) + 1]; ++q) {
      for (int j : m.vertex_neighbors[size_t(c.members[size_t(q)])]) {
        if (j < 0 || size_t(j) >= nv) continue;
        const int cj = c.of_vertex[size_t(j)];
        if (cj < 0 || cj == k || seen[size_t(cj)] == k) continue;
        seen[size_t(cj)] = k;
        c.adj.push_back(cj);
      }
    }
  }
  c.adj_offset[size_t(c.count)] = int(c.adj.size());
  return c;
}

}  // namespace smoothing_clusters
