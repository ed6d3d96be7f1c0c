// Curvature smoothing over clusters of vertices: the same Gaussian, normal
// and area weights and the same frame rotation as the exact filter, but each
// vertex gathers the clusters of its neighbourhood rather than its vertices,
// so that the work per vertex does not grow with the mesh's density.
//
// Clustering, in one pass and a sort: a vertex's cluster is its cell of a
// grid of kSmoothingCellFraction * sigma together with the axis direction its
// normal faces most (six ways), so that the two sides of a thin sheet never
// share a cluster. Clusters are joined where a mesh edge joins their members;
// a vertex's neighbourhood is what a traversal of that graph from its own
// cluster reaches through clusters within three sigma that face its way, as
// the exact filter's traversal over vertices.
//
// Determinism: clusters are numbered in the order of their keys, members
// summed in vertex order, and every vertex's result depends only on the
// clusters, so any number of threads gives the same floats.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <thread>

#include "trimesh/curvature.h"
#include "trimesh/smoothing_util.h"

using smoothing_util::mean_or_own;
using smoothing_util::finish_curvature_smoothing;
using smoothing_util::ready;
using smoothing_util::seconds_since;
using smoothing_util::store_mean;
using smoothing_util::thread_count;

namespace {

// Keys hold 20 bits per axis and 3 for the facing.
constexpr double kMaxCells = double((1 << 20) - 1);

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

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

// The clusters of a mesh at one width, with their adjacency.
struct Clusters {
  int count = 0;
  std::vector<int> of_vertex;  // -1: the vertex is in none (non-finite data)
  std::vector<int> member_offset, members;
  std::vector<Vec3> centroid, normal_sum;
  std::vector<float> area;
  std::vector<Vec3> u, v, uxv;
  std::vector<int> adj_offset, adj;
};

Clusters make_clusters(const TriMesh& m, float sigma) {
  Clusters c;
  const size_t nv = m.vertices.size();
  c.of_vertex.assign(nv, -1);
  std::vector<int> order;
  order.reserve(nv);
  Vec3 lo(0, 0, 0), hi(0, 0, 0);
  for (size_t i = 0; i < nv; ++i) {
    if (!finite(m.vertices[i]) || !finite(m.normals[i])) continue;
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
  std::sort(order.begin(), order.end(),
            [&](int a, int b) { return key[size_t(a)] != key[size_t(b)] ? key[size_t(a)] < key[size_t(b)] : a < b; });

  // Members, in key order then vertex order.
  c.members = order;
  for (size_t k = 0; k < order.size(); ++k) {
    if (k == 0 || key[size_t(order[k])] != key[size_t(order[k - 1])]) c.member_offset.push_back(int(k));
    c.of_vertex[size_t(order[k])] = int(c.member_offset.size()) - 1;
  }
  c.count = int(c.member_offset.size());
  c.member_offset.push_back(int(order.size()));

  c.centroid.resize(size_t(c.count));
  c.normal_sum.resize(size_t(c.count));
  c.area.resize(size_t(c.count));
  c.u.resize(size_t(c.count));
  c.v.resize(size_t(c.count));
  c.uxv.resize(size_t(c.count));
  for (int k = 0; k < c.count; ++k) {
    double a = 0.0, px = 0.0, py = 0.0, pz = 0.0, nx = 0.0, ny = 0.0, nz = 0.0, mx = 0.0, my = 0.0, mz = 0.0;
    const int first = c.member_offset[size_t(k)], last = c.member_offset[size_t(k) + 1];
    for (int q = first; q < last; ++q) {
      const size_t j = size_t(c.members[size_t(q)]);
      const Vec3& p = m.vertices[j];
      mx += p.x;
      my += p.y;
      mz += p.z;
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
    c.centroid[size_t(k)] =
        a > 0.0 ? Vec3(float(px / a), float(py / a), float(pz / a)) : Vec3(float(mx / n), float(my / n), float(mz / n));
    c.area[size_t(k)] = float(a);
    c.normal_sum[size_t(k)] = Vec3(float(nx), float(ny), float(nz));
    Vec3 normal = c.normal_sum[size_t(k)];
    const float len = normal.length();
    normal = len > 0.0f && std::isfinite(len) ? normal * (1.0f / len) : m.normals[size_t(c.members[size_t(first)])];
    any_frame(normal, c.u[size_t(k)], c.v[size_t(k)]);
    c.uxv[size_t(k)] = c.u[size_t(k)].cross(c.v[size_t(k)]);
  }

  // Adjacency: every pair of clusters a mesh edge joins, once each way.
  std::vector<std::pair<int, int>> pairs;
  for (size_t i = 0; i < nv; ++i) {
    const int ci = c.of_vertex[i];
    if (ci < 0) continue;
    for (int j : m.vertex_neighbors[i]) {
      if (j < 0 || size_t(j) >= nv) continue;
      const int cj = c.of_vertex[size_t(j)];
      if (cj >= 0 && cj != ci) pairs.emplace_back(ci, cj);
    }
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  c.adj_offset.assign(size_t(c.count) + 1, 0);
  for (const auto& p : pairs) ++c.adj_offset[size_t(p.first) + 1];
  std::partial_sum(c.adj_offset.begin(), c.adj_offset.end(), c.adj_offset.begin());
  c.adj.resize(pairs.size());
  for (size_t k = 0; k < pairs.size(); ++k) c.adj[k] = pairs[k].second;  // sorted by first: in place
  return c;
}

// Re-expresses a tensor given in a source frame (su, sv with normal suxv) in
// a target frame (tu, tv with normal tuxv), as project_curv does.
inline void curv_onto(const Vec3& su, const Vec3& sv, const Vec3& suxv, float ku, float kuv, float kv, const Vec3& tu,
                      const Vec3& tv, const Vec3& tuxv, float& ou, float& ouv, float& ov) {
  Vec3 r_u, r_v;
  rotate_frame_with_normal(tu, tv, tuxv, suxv, r_u, r_v);
  change_curv_basis(r_u.dot(su), r_u.dot(sv), r_v.dot(su), r_v.dot(sv), ku, kuv, kv, ou, ouv, ov);
}
inline void deriv_onto(const Vec3& su, const Vec3& sv, const Vec3& suxv, const TriMesh::CurvDeriv& d, const Vec3& tu,
                       const Vec3& tv, const Vec3& tuxv, TriMesh::CurvDeriv& r) {
  Vec3 r_u, r_v;
  rotate_frame_with_normal(tu, tv, tuxv, suxv, r_u, r_v);
  change_deriv_basis(r_u.dot(su), r_u.dot(sv), r_v.dot(su), r_v.dot(sv), d, r);
}

// The clusters' mean tensors: T has N floats per cluster, from the members'
// own tensors (member(j, u, v, uxv, out) writes vertex j's tensor in the
// given frame), weighted by their areas. A cluster without area gets zeros.
template <int N, class Member>
std::vector<float> cluster_means(const TriMesh& m, const Clusters& c, Member member) {
  std::vector<float> mean(size_t(c.count) * N, 0.0f);
  for (int k = 0; k < c.count; ++k) {
    double acc[N] = {};
    double a = 0.0;
    for (int q = c.member_offset[size_t(k)]; q < c.member_offset[size_t(k) + 1]; ++q) {
      const size_t j = size_t(c.members[size_t(q)]);
      const float w = m.point_areas[j];
      if (!(w > 0.0f) || !std::isfinite(w)) continue;
      float t[N];
      member(j, c.u[size_t(k)], c.v[size_t(k)], c.uxv[size_t(k)], t);
      bool ok = true;
      for (int e = 0; e < N; ++e) ok = ok && std::isfinite(t[e]);
      if (!ok) continue;
      for (int e = 0; e < N; ++e) acc[e] += double(w) * t[e];
      a += w;
    }
    if (a > 0.0)
      for (int e = 0; e < N; ++e) mean[size_t(k) * N + size_t(e)] = float(acc[e] / a);
  }
  return mean;
}

// One thread's traversal state over the cluster graph.
struct ClusterWalker {
  const Clusters& c;
  float inv_sigma2;
  std::vector<unsigned> marks;
  unsigned mark = 0;
  std::vector<int> stack;

  ClusterWalker(const Clusters& clusters, float inv2)
      : c(clusters), inv_sigma2(inv2), marks(size_t(clusters.count), 0u) {}

  // Calls visit(k, w) for every cluster k connected to `start` within three
  // sigma of p whose normal sum faces n's way, with w the Gaussian weight
  // times n . normal sum (the members' areas times their normals' dot
  // products with n).
  template <class Visit>
  void walk(int start, const Vec3& p, const Vec3& n, Visit visit) {
    if (++mark == 0) {
      std::fill(marks.begin(), marks.end(), 0u);
      mark = 1;
    }
    stack.clear();
    stack.push_back(start);
    marks[size_t(start)] = mark;
    while (!stack.empty()) {
      const int k = stack.back();
      stack.pop_back();
      const float ndot = n.dot(c.normal_sum[size_t(k)]);
      if (!(ndot > 0.0f)) continue;
      const float d2 = (p - c.centroid[size_t(k)]).lengthSquared() * inv_sigma2;
      if (!(d2 < 9.0f)) continue;
      const float w = std::exp(-0.5f * d2) * ndot;
      if (std::isfinite(w) && w > 0.0f) visit(k, w);
      for (int e = c.adj_offset[size_t(k)]; e < c.adj_offset[size_t(k) + 1]; ++e) {
        const int q = c.adj[size_t(e)];
        if (marks[size_t(q)] != mark) {
          marks[size_t(q)] = mark;
          stack.push_back(q);
        }
      }
    }
  }
};

// Runs filter(walker, i) for every vertex on `threads` threads, blocks of
// vertices handed out in turn. Returns false when cancelled.
template <class Filter>
bool for_each_vertex(int nv, int threads, const std::atomic<bool>* cancel, const Clusters& c, float inv_sigma2,
                     Filter filter) {
  return smoothing_util::for_each_vertex_block(
      nv, threads, cancel, [&] { return ClusterWalker(c, inv_sigma2); }, filter);
}

bool is_cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

}  // namespace

void TriMesh::smooth_curvatures_fast(float sigma, int threads, const std::atomic<bool>* cancel) {
  compute_normals();
  compute_point_areas();
  compute_curvatures();
  compute_neighbors();
  if (!ready(*this)) return;
  const auto t0 = std::chrono::steady_clock::now();
  const Clusters c = make_clusters(*this, sigma);
  last_smoothing = {true, c.count};
  print_message("\rSmoothing curvatures (fast: %d clusters)... ", c.count);
  if (is_cancelled(cancel)) {
    print_message("cancelled.\n");
    return;
  }
  const std::vector<float> mean =
      cluster_means<3>(*this, c, [&](size_t j, const Vec3& u, const Vec3& v, const Vec3& uxv, float* t) {
        curv_onto(principal_dir1[j], principal_dir2[j], principal_dir1[j].cross(principal_dir2[j]), principal_curv1[j],
                  0.0f, principal_curv2[j], u, v, uxv, t[0], t[1], t[2]);
      });

  const int nv = static_cast<int>(vertices.size());
  const float inv_sigma2 = 1.0f / (sigma * sigma);
  std::vector<float> ku(static_cast<size_t>(nv)), kuv(static_cast<size_t>(nv)), kv(static_cast<size_t>(nv));
  const bool done =
      for_each_vertex(nv, thread_count(threads, nv), cancel, c, inv_sigma2, [&](ClusterWalker& walker, int i) {
        const Vec3& u = principal_dir1[size_t(i)];
        const Vec3& v = principal_dir2[size_t(i)];
        const Vec3 uxv = u.cross(v);
        float own_u, own_uv, own_v;
        curv_onto(u, v, uxv, principal_curv1[size_t(i)], 0.0f, principal_curv2[size_t(i)], u, v, uxv, own_u, own_uv,
                  own_v);
        const int start = c.of_vertex[size_t(i)];
        if (vertex_neighbors[size_t(i)].empty() || start < 0) {
          ku[size_t(i)] = own_u;
          kuv[size_t(i)] = own_uv;
          kv[size_t(i)] = own_v;
          return;
        }
        double sum = 0.0, su = 0.0, suv = 0.0, sv = 0.0;
        walker.walk(start, vertices[size_t(i)], normals[size_t(i)], [&](int k, float w) {
          float cu, cuv, cv;
          const float* t = &mean[size_t(k) * 3];
          curv_onto(c.u[size_t(k)], c.v[size_t(k)], c.uxv[size_t(k)], t[0], t[1], t[2], u, v, uxv, cu, cuv, cv);
          su += double(w) * cu;
          suv += double(w) * cuv;
          sv += double(w) * cv;
          sum += w;
        });
        store_mean(sum, su, suv, sv, own_u, own_uv, own_v, ku[size_t(i)], kuv[size_t(i)], kv[size_t(i)]);
      });
  finish_curvature_smoothing(*this, done, ku, kuv, kv, t0);
}

void TriMesh::smooth_curv_derivs_fast(float sigma, int threads, const std::atomic<bool>* cancel) {
  compute_normals();
  compute_point_areas();
  compute_curvatures();
  compute_curv_derivs();
  compute_neighbors();
  if (!ready(*this) || curv_derivs.size() != vertices.size()) return;
  const auto t0 = std::chrono::steady_clock::now();
  const Clusters c = make_clusters(*this, sigma);
  last_smoothing = {true, c.count};
  print_message("\rSmoothing curvature derivatives (fast: %d clusters)... ", c.count);
  if (is_cancelled(cancel)) {
    print_message("cancelled.\n");
    return;
  }
  const std::vector<float> mean =
      cluster_means<4>(*this, c, [&](size_t j, const Vec3& u, const Vec3& v, const Vec3& uxv, float* t) {
        CurvDeriv r;
        deriv_onto(principal_dir1[j], principal_dir2[j], principal_dir1[j].cross(principal_dir2[j]), curv_derivs[j], u,
                   v, uxv, r);
        for (int e = 0; e < 4; ++e) t[e] = r[size_t(e)];
      });

  const int nv = static_cast<int>(vertices.size());
  const float inv_sigma2 = 1.0f / (sigma * sigma);
  std::vector<CurvDeriv> smoothed(static_cast<size_t>(nv));
  const bool done =
      for_each_vertex(nv, thread_count(threads, nv), cancel, c, inv_sigma2, [&](ClusterWalker& walker, int i) {
        const Vec3& u = principal_dir1[size_t(i)];
        const Vec3& v = principal_dir2[size_t(i)];
        const Vec3 uxv = u.cross(v);
        const CurvDeriv& own = curv_derivs[size_t(i)];
        const int start = c.of_vertex[size_t(i)];
        if (vertex_neighbors[size_t(i)].empty() || start < 0) {
          smoothed[size_t(i)] = own;
          return;
        }
        double sum = 0.0, acc[4] = {0.0, 0.0, 0.0, 0.0};
        walker.walk(start, vertices[size_t(i)], normals[size_t(i)], [&](int k, float w) {
          CurvDeriv src, d;
          for (int e = 0; e < 4; ++e) src[size_t(e)] = mean[size_t(k) * 4 + size_t(e)];
          deriv_onto(c.u[size_t(k)], c.v[size_t(k)], c.uxv[size_t(k)], src, u, v, uxv, d);
          for (int e = 0; e < 4; ++e) acc[e] += double(w) * d[size_t(e)];
          sum += w;
        });
        smoothed[size_t(i)] = mean_or_own(sum, acc, own);
      });
  if (!done) {
    print_message("cancelled.\n");
    return;
  }
  curv_derivs.swap(smoothed);
  print_message("Done.  Filtering took %f sec.\n", seconds_since(t0));
}
