// Curvature smoothing over clusters of vertices: the same Gaussian, normal
// and area weights and the same frame rotation as the exact filter, but each
// vertex gathers the clusters of its neighbourhood rather than its vertices,
// so that the work per vertex does not grow with the mesh's density.
//
// How the vertices are clustered: smoothing_clusters.h. A vertex's
// neighbourhood is what a traversal of the cluster graph from its own
// cluster reaches through clusters within three sigma that face its way, as
// the exact filter's traversal over vertices.
//
// The members of a cluster of several vertices share one traversal: it goes
// through every cluster any member's own traversal could reach (within three
// sigma plus the cluster's radius of its centroid, facing within the cone of
// its members' normals), and each member then weighs that list with its own
// position and normal. So a member also counts a cluster within its three
// sigma that only a path leaving its own reach joins to it (a fold narrower
// than a cell), which its own traversal would leave out. This costs one
// traversal per cluster rather than per vertex, which matters as the cells
// fill up on dense meshes.
//
// Exactness: the vertex itself weighs as in the exact filter (its area, its
// own tensor), the rest of its own cluster at the rest's centroid, and a
// cluster of one vertex is that vertex, with the exact filter's weight,
// frame and traversal (its own, not a shared one). Where every cluster is
// one vertex (coarse meshes) the results are the exact filter's floats: the
// plane selection downstream turns even rounding-level differences of the
// derivatives into different ridge pieces and planes.
//
// Determinism: clusters are numbered in the order of their keys, members
// summed in vertex order, and every vertex's result depends only on the
// clusters, so any number of threads gives the same floats.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "trimesh/curvature.h"
#include "trimesh/smoothing_clusters.h"
#include "trimesh/smoothing_util.h"

using smoothing_util::finish_curvature_smoothing;
using smoothing_util::mean_or_own;
using smoothing_util::ready;
using smoothing_util::seconds_since;
using smoothing_util::store_mean;
using smoothing_util::thread_count;

using smoothing_clusters::Clusters;
using smoothing_clusters::make_clusters;

namespace {

// Re-expresses a tensor given in a source frame (su, sv with normal suxv) in
// a target frame (tu, tv with normal tuxv), as project_curv does.
[[gnu::always_inline]] inline void curv_onto(const Vec3& su, const Vec3& sv, const Vec3& suxv, float ku, float kuv,
                                             float kv, const Vec3& tu, const Vec3& tv, const Vec3& tuxv, float& ou,
                                             float& ouv, float& ov) {
  Vec3 r_u, r_v;
  rotate_frame_with_normal(tu, tv, tuxv, suxv, r_u, r_v);
  change_curv_basis(r_u.dot(su), r_u.dot(sv), r_v.dot(su), r_v.dot(sv), ku, kuv, kv, ou, ouv, ov);
}
[[gnu::always_inline]] inline void deriv_onto(const Vec3& su, const Vec3& sv, const Vec3& suxv,
                                              const TriMesh::CurvDeriv& d, const Vec3& tu, const Vec3& tv,
                                              const Vec3& tuxv, TriMesh::CurvDeriv& r) {
  Vec3 r_u, r_v;
  rotate_frame_with_normal(tu, tv, tuxv, suxv, r_u, r_v);
  change_deriv_basis(r_u.dot(su), r_u.dot(sv), r_v.dot(su), r_v.dot(sv), d, r);
}

// The clusters' tensors, N floats each, in the clusters' frames. A single
// vertex's cluster holds the vertex's own tensor as it is (own(j, out));
// a larger one the mean of its members' tensors (member(j, u, v, uxv, out)
// writes vertex j's tensor in the given frame), weighted by their areas,
// or zeros without area.
template <int N, class Own, class Member>
std::vector<float> cluster_tensors(const TriMesh& m, const Clusters& c, Own own, Member member) {
  std::vector<float> mean(size_t(c.count) * N, 0.0f);
  for (int k = 0; k < c.count; ++k) {
    if (c.size(k) == 1) {
      own(size_t(c.first(k)), &mean[size_t(k) * N]);
      continue;
    }
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

// The Gaussian, normal and area weight of something at p_other with mean
// normal n_other and area `area` for a vertex at p with normal n, computed
// as the exact filter computes it for one vertex. Returns false when the
// other side faces away or lies three sigma or more away (the traversal
// does not go on through it); w is then 0.
inline bool weight(const Vec3& p, const Vec3& n, const Vec3& p_other, const Vec3& n_other, float area, float inv_sigma2,
                   float& w) {
  w = 0.0f;
  const float ndot = n.dot(n_other);
  if (!(ndot > 0.0f)) return false;
  const float d2 = (p - p_other).lengthSquared() * inv_sigma2;
  if (!(d2 < 9.0f)) return false;
  w = std::exp(-0.5f * d2);
  if (w == 0.0f) return true;
  w *= ndot * area;
  if (!std::isfinite(w)) w = 0.0f;
  return true;
}

// One thread's traversal state over the cluster graph.
struct ClusterWalker {
  const Clusters& c;
  float inv_sigma2;
  std::vector<unsigned> marks;
  unsigned mark = 0;
  std::vector<int> stack;
  std::vector<int> found;  // gather()'s clusters

  ClusterWalker(const Clusters& clusters, float inv2)
      : c(clusters), inv_sigma2(inv2), marks(size_t(clusters.count), 0u) {}

  unsigned next_mark() {
    if (++mark == 0) {
      std::fill(marks.begin(), marks.end(), 0u);
      mark = 1;
    }
    return mark;
  }

  // Calls visit(k, w) for every cluster k other than `start` that a
  // traversal from `start` reaches through clusters within three sigma of p
  // that face n's way, with w its weight (weight() above) when not 0. The
  // traversal is the exact filter's, step for step, on clusters instead of
  // vertices: the same pushes, marks and order.
  template <class Visit>
  void walk(int start, const Vec3& p, const Vec3& n, Visit visit) {
    next_mark();
    marks[size_t(start)] = mark;
    stack.clear();
    for (int e = c.adj_offset[size_t(start)]; e < c.adj_offset[size_t(start) + 1]; ++e)
      stack.push_back(c.adj[size_t(e)]);
    while (!stack.empty()) {
      const int k = stack.back();
      stack.pop_back();
      if (marks[size_t(k)] == mark) continue;
      marks[size_t(k)] = mark;
      float w;
      if (!weight(p, n, c.centroid[size_t(k)], c.normal[size_t(k)], c.area[size_t(k)], inv_sigma2, w)) continue;
      if (w != 0.0f) visit(k, w);
      for (int e = c.adj_offset[size_t(k)]; e < c.adj_offset[size_t(k) + 1]; ++e) {
        const int q = c.adj[size_t(e)];
        if (marks[size_t(q)] != mark) stack.push_back(q);
      }
    }
  }

  // One traversal for all the members of `start` at once: fills `found`
  // with every cluster other than `start` reached through clusters that lie
  // within `reach` of `centre` and whose normal is within 90 degrees plus
  // the cone's half angle of `axis` (a unit vector; sin_cone its half
  // angle's sine, 1 or more for no limit). With centre the cluster's
  // centroid, reach three sigma plus the members' largest distance from it
  // and the cone holding every member's normal, this is every cluster a
  // member's own walk passes through, and a few more that each member's
  // weight() then turns away.
  void gather(int start, const Vec3& centre, float reach, const Vec3& axis, float sin_cone) {
    next_mark();
    marks[size_t(start)] = mark;
    found.clear();
    stack.clear();
    for (int e = c.adj_offset[size_t(start)]; e < c.adj_offset[size_t(start) + 1]; ++e)
      stack.push_back(c.adj[size_t(e)]);
    const float reach2 = reach * reach;
    while (!stack.empty()) {
      const int k = stack.back();
      stack.pop_back();
      if (marks[size_t(k)] == mark) continue;
      marks[size_t(k)] = mark;
      const Vec3& nk = c.normal[size_t(k)];
      if (!((centre - c.centroid[size_t(k)]).lengthSquared() < reach2)) continue;
      if (sin_cone < 1.0f && !(axis.dot(nk) > -sin_cone * nk.length())) continue;
      found.push_back(k);
      for (int e = c.adj_offset[size_t(k)]; e < c.adj_offset[size_t(k) + 1]; ++e) {
        const int q = c.adj[size_t(e)];
        if (marks[size_t(q)] != mark) stack.push_back(q);
      }
    }
  }
};

// The rest of vertex i's own cluster k (all members but i), for a cluster of
// several vertices: its area, centroid, mean normal and tensor (N floats, in
// the cluster's frame; own_in_cluster is i's tensor in that frame). False
// when the rest has no area to speak of.
template <int N>
bool rest_of_cluster(const TriMesh& m, const Clusters& c, const std::vector<float>& mean, int k, size_t i,
                     const float* own_in_cluster, float& area, Vec3& centroid, Vec3& normal, float* t) {
  const double A = c.area[size_t(k)];
  const float ai = m.point_areas[i];
  double a = A;
  if (ai > 0.0f && std::isfinite(ai)) a -= ai;
  if (!(a > 1e-6 * A)) return false;
  const double own = A - a;  // i's share, 0 when i has no area
  const auto rest = [&](double total, double mine) { return float((total * A - mine * own) / a); };
  const Vec3& p = c.centroid[size_t(k)];
  const Vec3& nn = c.normal[size_t(k)];
  const Vec3& pi = m.vertices[i];
  const Vec3& ni = m.normals[i];
  centroid = Vec3(rest(p.x, pi.x), rest(p.y, pi.y), rest(p.z, pi.z));
  normal = Vec3(rest(nn.x, ni.x), rest(nn.y, ni.y), rest(nn.z, ni.z));
  for (int e = 0; e < N; ++e) t[e] = rest(mean[size_t(k) * N + size_t(e)], own > 0.0 ? own_in_cluster[e] : 0.0f);
  area = float(a);
  for (int e = 0; e < N; ++e)
    if (!std::isfinite(t[e])) return false;
  return centroid.isFinite() && normal.isFinite();
}

// The reach of a cluster of several vertices for gather(): its members'
// largest distance from its centroid, and the cone around their mean normal
// (axis, and the sine of its half angle) that holds all their normals.
void cluster_bounds(const TriMesh& m, const Clusters& c, int k, float& radius, Vec3& axis, float& sin_cone) {
  const Vec3& centre = c.centroid[size_t(k)];
  Vec3 sum(0, 0, 0);
  float r2 = 0.0f;
  for (int q = c.member_offset[size_t(k)]; q < c.member_offset[size_t(k) + 1]; ++q) {
    const size_t j = size_t(c.members[size_t(q)]);
    r2 = std::max(r2, (m.vertices[j] - centre).lengthSquared());
    sum += m.normals[j];
  }
  radius = std::sqrt(r2);
  const float len = sum.length();
  sin_cone = 1.0f;
  if (!(len > 0.0f) || !std::isfinite(len)) return;
  axis = sum * (1.0f / len);
  float cos_cone = 1.0f;
  for (int q = c.member_offset[size_t(k)]; q < c.member_offset[size_t(k) + 1]; ++q) {
    const Vec3& n = m.normals[size_t(c.members[size_t(q)])];
    const float nl = n.length();
    if (!(nl > 0.0f)) return;
    cos_cone = std::min(cos_cone, axis.dot(n) / nl);
  }
  // Slack for rounding; a cone of 90 degrees or more turns nothing away.
  cos_cone -= 1e-4f;
  if (cos_cone > 0.0f) sin_cone = std::sqrt(std::max(0.0f, 1.0f - cos_cone * cos_cone));
}

// What a member of a cluster of several vertices reads of a cluster its
// cluster's gather() found, side by side for the members' loops.
template <int N>
struct Found {
  Vec3 centroid, normal;
  float area;
  Vec3 u, v, uxv;
  float t[N];
};

// One thread's walker, and its copy of the clusters the last gather() found.
template <int N>
struct Worker {
  ClusterWalker walker;
  std::vector<Found<N>> found;
};

// The filter over the clusters, for tensors of N floats: every vertex i
// gets the weighted mean of its own tensor (own(i, t), in i's frame), the
// rest of its cluster and the clusters of its neighbourhood (`mean`, in the
// clusters' frames), each brought into i's frame by
// onto(source u, v, uxv, t, target u, v, uxv, out). store(i, sum, acc, own)
// keeps the result. The clusters are handed out to the threads in blocks; a
// single vertex's cluster walks as the exact filter does, the members of a
// larger one share one gather() and each weighs what it found. Returns
// false when cancelled.
template <int N, class Own, class Onto, class Store>
bool filter_vertices(const TriMesh& m, const Clusters& c, const std::vector<float>& mean, float sigma, int threads,
                     const std::atomic<bool>* cancel, Own own, Onto onto, Store store) {
  const int nv = int(m.vertices.size());
  float own_t[N];
  for (int i = 0; i < nv; ++i) {
    if (c.of_vertex[size_t(i)] >= 0) continue;
    own(size_t(i), own_t);
    store(size_t(i), 0.0, nullptr, own_t);
  }
  const float inv_sigma2 = 1.0f / (sigma * sigma);
  return smoothing_util::for_each_vertex_block(
      c.count, thread_count(threads, nv), cancel,
      [&] {
        return Worker<N>{ClusterWalker(c, inv_sigma2), {}};
      },
      [&](Worker<N>& worker, int k) {
        ClusterWalker& walker = worker.walker;
        const bool shared = c.size(k) > 1;
        if (shared) {
          float radius, sin_cone;
          Vec3 axis(0, 0, 1);
          cluster_bounds(m, c, k, radius, axis, sin_cone);
          walker.gather(k, c.centroid[size_t(k)], (3.0f * std::fabs(sigma) + radius) * 1.0001f, axis, sin_cone);
          worker.found.resize(walker.found.size());
          for (size_t e = 0; e < walker.found.size(); ++e) {
            const size_t q = size_t(walker.found[e]);
            Found<N>& f = worker.found[e];
            f.centroid = c.centroid[q];
            f.normal = c.normal[q];
            f.area = c.area[q];
            f.u = c.u[q];
            f.v = c.v[q];
            f.uxv = c.uxv[q];
            std::memcpy(f.t, &mean[q * N], sizeof f.t);
          }
        }
        for (int q = c.member_offset[size_t(k)]; q < c.member_offset[size_t(k) + 1]; ++q) {
          const size_t i = size_t(c.members[size_t(q)]);
          float self[N];
          own(i, self);
          if (m.vertex_neighbors[i].empty()) {
            store(i, 0.0, nullptr, self);
            continue;
          }
          const Vec3& u = m.principal_dir1[i];
          const Vec3& v = m.principal_dir2[i];
          const Vec3 uxv = u.cross(v);
          const Vec3& p = m.vertices[i];
          const Vec3& n = m.normals[i];
          // The vertex itself, as the exact filter weighs it.
          const float area = m.point_areas[i];
          double sum = area > 0.0f ? area : 0.0f;
          double acc[N];
          for (int e = 0; e < N; ++e) acc[e] = sum * self[e];
          const auto add = [&](const Vec3& fu, const Vec3& fv, const Vec3& fuxv, const float* t, float w) {
            float r[N];
            onto(fu, fv, fuxv, t, u, v, uxv, r);
            for (int e = 0; e < N; ++e) acc[e] += double(w) * r[e];
            sum += w;
          };
          if (!shared) {
            walker.walk(k, p, n, [&](int other, float w) {
              add(c.u[size_t(other)], c.v[size_t(other)], c.uxv[size_t(other)], &mean[size_t(other) * N], w);
            });
            store(i, sum, acc, self);
            continue;
          }
          // The rest of its own cluster, at the rest's centroid.
          const size_t kk = size_t(k);
          float self_c[N], t[N], rest_area, w;
          Vec3 centroid, normal;
          onto(u, v, uxv, self, c.u[kk], c.v[kk], c.uxv[kk], self_c);
          if (rest_of_cluster<N>(m, c, mean, k, i, self_c, rest_area, centroid, normal, t) &&
              weight(p, n, centroid, normal, rest_area, inv_sigma2, w) && w != 0.0f)
            add(c.u[kk], c.v[kk], c.uxv[kk], t, w);
          for (const Found<N>& f : worker.found)
            if (weight(p, n, f.centroid, f.normal, f.area, inv_sigma2, w) && w != 0.0f) add(f.u, f.v, f.uxv, f.t, w);
          store(i, sum, acc, self);
        }
      });
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
  const std::vector<float> mean = cluster_tensors<3>(
      *this, c,
      [&](size_t j, float* t) {
        t[0] = principal_curv1[j];
        t[1] = 0.0f;
        t[2] = principal_curv2[j];
      },
      [&](size_t j, const Vec3& u, const Vec3& v, const Vec3& uxv, float* t) {
        curv_onto(principal_dir1[j], principal_dir2[j], principal_dir1[j].cross(principal_dir2[j]), principal_curv1[j],
                  0.0f, principal_curv2[j], u, v, uxv, t[0], t[1], t[2]);
      });

  const size_t nv = vertices.size();
  std::vector<float> ku(nv), kuv(nv), kv(nv);
  const bool done = filter_vertices<3>(
      *this, c, mean, sigma, threads, cancel,
      [&](size_t i, float* t) {
        // The vertex's own tensor in its own frame, as the exact filter
        // projects it.
        const Vec3& u = principal_dir1[i];
        const Vec3& v = principal_dir2[i];
        const Vec3 uxv = u.cross(v);
        curv_onto(u, v, uxv, principal_curv1[i], 0.0f, principal_curv2[i], u, v, uxv, t[0], t[1], t[2]);
      },
      [](const Vec3& su, const Vec3& sv, const Vec3& suxv, const float* t, const Vec3& tu, const Vec3& tv,
         const Vec3& tuxv, float* r) { curv_onto(su, sv, suxv, t[0], t[1], t[2], tu, tv, tuxv, r[0], r[1], r[2]); },
      [&](size_t i, double sum, const double* acc, const float* self) {
        if (!acc) {
          ku[i] = self[0];
          kuv[i] = self[1];
          kv[i] = self[2];
          return;
        }
        store_mean(sum, acc[0], acc[1], acc[2], self[0], self[1], self[2], ku[i], kuv[i], kv[i]);
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
  const std::vector<float> mean = cluster_tensors<4>(
      *this, c,
      [&](size_t j, float* t) {
        for (int e = 0; e < 4; ++e) t[e] = curv_derivs[j][size_t(e)];
      },
      [&](size_t j, const Vec3& u, const Vec3& v, const Vec3& uxv, float* t) {
        CurvDeriv r;
        deriv_onto(principal_dir1[j], principal_dir2[j], principal_dir1[j].cross(principal_dir2[j]), curv_derivs[j], u,
                   v, uxv, r);
        for (int e = 0; e < 4; ++e) t[e] = r[size_t(e)];
      });

  std::vector<CurvDeriv> smoothed(vertices.size());
  const bool done = filter_vertices<4>(
      *this, c, mean, sigma, threads, cancel,
      [&](size_t i, float* t) {
        for (int e = 0; e < 4; ++e) t[e] = curv_derivs[i][size_t(e)];
      },
      [](const Vec3& su, const Vec3& sv, const Vec3& suxv, const float* t, const Vec3& tu, const Vec3& tv,
         const Vec3& tuxv, float* r) {
        CurvDeriv src, d;
        for (int e = 0; e < 4; ++e) src[size_t(e)] = t[e];
        deriv_onto(su, sv, suxv, src, tu, tv, tuxv, d);
        for (int e = 0; e < 4; ++e) r[e] = d[size_t(e)];
      },
      [&](size_t i, double sum, const double* acc, const float* self) {
        CurvDeriv own;
        for (int e = 0; e < 4; ++e) own[size_t(e)] = self[e];
        smoothed[i] = acc ? mean_or_own(sum, acc, own) : own;
      });
  if (!done) {
    print_message("cancelled.\n");
    return;
  }
  curv_derivs.swap(smoothed);
  print_message("Done.  Filtering took %f sec.\n", seconds_since(t0));
}
