// Gaussian smoothing of the curvature tensors and of the curvature
// derivative tensors over each vertex's connected neighbourhood.
//
// Two implementations with bit-identical results: the plain one walks the
// mesh's own lists vertex by vertex; the packed one copies what a visit reads
// into contiguous per-vertex records and a flat neighbour array, and filters
// the vertices on several threads, each with its own visit marks. Every
// vertex's traversal, weights and sums happen in the same order in both.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "trimesh/curvature.h"
#include "trimesh/mesh_util.h"
#include "trimesh/smoothing_util.h"

using smoothing_util::mean_or_own;
using smoothing_util::finish_curvature_smoothing;
using smoothing_util::ready;
using smoothing_util::seconds_since;
using smoothing_util::store_mean;
using smoothing_util::thread_count;

namespace {

// Starts a new traversal: returns the mark that flags vertices visited in it.
// When the counter would wrap around, all flags are cleared first so that an
// old flag can never equal a new mark.
unsigned next_mark(TriMesh& mesh) {
  if (mesh.smooth_flags.size() != mesh.vertices.size()) mesh.smooth_flags.resize(mesh.vertices.size(), 0u);
  if (mesh.smooth_flag_counter == ~0u) {
    std::fill(mesh.smooth_flags.begin(), mesh.smooth_flags.end(), 0u);
    mesh.smooth_flag_counter = 0;
  }
  return ++mesh.smooth_flag_counter;
}

// Visits the vertices connected to vertex i within three sigma whose normals
// face the same way as i's, calling visit(j, w) with the Gaussian weight times
// the normals' dot product times j's point area. O(size of the neighbourhood).
template <class Visit>
void visit_neighbourhood(TriMesh& mesh, int i, float inv_sigma2, std::vector<int>& stack, Visit visit) {
  const unsigned mark = next_mark(mesh);
  mesh.smooth_flags[i] = mark;
  stack.clear();
  for (int n : mesh.vertex_neighbors[i]) stack.push_back(n);
  const Vec3& pi = mesh.vertices[i];
  const Vec3& ni = mesh.normals[i];
  while (!stack.empty()) {
    const int j = stack.back();
    stack.pop_back();
    if (mesh.smooth_flags[j] == mark) continue;
    mesh.smooth_flags[j] = mark;
    const float ndot = ni.dot(mesh.normals[j]);
    if (!(ndot > 0.0f)) continue;
    const float d2 = (pi - mesh.vertices[j]).lengthSquared() * inv_sigma2;
    if (!(d2 < 9.0f)) continue;
    float w = std::exp(-0.5f * d2);
    if (w == 0.0f) continue;
    w *= ndot * mesh.point_areas[j];
    if (std::isfinite(w) && w != 0.0f) visit(j, w);
    for (int n : mesh.vertex_neighbors[j])
      if (mesh.smooth_flags[n] != mark) stack.push_back(n);
  }
}

}  // namespace

void TriMesh::smooth_curvatures_plain(float sigma) {
  compute_normals();
  compute_point_areas();
  compute_curvatures();
  compute_neighbors();
  if (!ready(*this)) return;
  print_message("\rSmoothing curvatures... ");
  const auto t0 = std::chrono::steady_clock::now();
  last_smoothing = SmoothingRecord();

  const int nv = static_cast<int>(vertices.size());
  const float inv_sigma2 = 1.0f / (sigma * sigma);
  std::vector<float> ku(nv), kuv(nv), kv(nv);
  std::vector<int> stack;
  for (int i = 0; i < nv; i++) {
    const Vec3& u = principal_dir1[i];
    const Vec3& v = principal_dir2[i];
    // The vertex's own tensor, in its own frame.
    float own_u, own_uv, own_v;
    project_curv(u, v, principal_curv1[i], 0.0f, principal_curv2[i], u, v, own_u, own_uv, own_v);
    if (vertex_neighbors[i].empty()) {
      ku[i] = own_u;
      kuv[i] = own_uv;
      kv[i] = own_v;
      continue;
    }
    double sum = point_areas[i] > 0.0f ? point_areas[i] : 0.0f;
    double su = sum * own_u, suv = sum * own_uv, sv = sum * own_v;
    visit_neighbourhood(*this, i, inv_sigma2, stack, [&](int j, float w) {
      float cu, cuv, cv;
      project_curv(principal_dir1[j], principal_dir2[j], principal_curv1[j], 0.0f, principal_curv2[j], u, v, cu, cuv,
                   cv);
      su += double(w) * cu;
      suv += double(w) * cuv;
      sv += double(w) * cv;
      sum += w;
    });
    store_mean(sum, su, suv, sv, own_u, own_uv, own_v, ku[i], kuv[i], kv[i]);
  }
  for (int i = 0; i < nv; i++) {
    principal_from_tensor(principal_dir1[i], principal_dir2[i], ku[i], kuv[i], kv[i], normals[i], principal_dir1[i],
                          principal_dir2[i], principal_curv1[i], principal_curv2[i]);
  }
  print_message("Done.  Filtering took %f sec.\n", seconds_since(t0));
}

void TriMesh::smooth_curv_derivs_plain(float sigma) {
  compute_normals();
  compute_point_areas();
  compute_curvatures();
  compute_curv_derivs();
  compute_neighbors();
  if (!ready(*this) || curv_derivs.size() != vertices.size()) return;
  print_message("\rSmoothing curvature derivatives... ");
  const auto t0 = std::chrono::steady_clock::now();
  last_smoothing = SmoothingRecord();

  const int nv = static_cast<int>(vertices.size());
  const float inv_sigma2 = 1.0f / (sigma * sigma);
  std::vector<CurvDeriv> smoothed(nv);
  std::vector<int> stack;
  for (int i = 0; i < nv; i++) {
    const Vec3& u = principal_dir1[i];
    const Vec3& v = principal_dir2[i];
    if (vertex_neighbors[i].empty()) {
      smoothed[i] = curv_derivs[i];
      continue;
    }
    double sum = point_areas[i] > 0.0f ? point_areas[i] : 0.0f;
    double acc[4];
    for (int k = 0; k < 4; k++) acc[k] = sum * curv_derivs[i][k];
    visit_neighbourhood(*this, i, inv_sigma2, stack, [&](int j, float w) {
      CurvDeriv d;
      project_curv_deriv(principal_dir1[j], principal_dir2[j], curv_derivs[j], u, v, d);
      for (int k = 0; k < 4; k++) acc[k] += double(w) * d[k];
      sum += w;
    });
    smoothed[i] = mean_or_own(sum, acc, curv_derivs[i]);
  }
  curv_derivs.swap(smoothed);
  print_message("Done.  Filtering took %f sec.\n", seconds_since(t0));
}

namespace {

// What a neighbourhood visit reads of a vertex, in one record.
struct Site {
  Vec3 position;
  Vec3 normal;
  float area;
};

// A vertex's frame (principal directions and their cross product, the frame's
// normal) and what is projected out of it.
struct CurvatureSource {
  Vec3 u, v, uxv;
  float k1, k2;
};
struct DerivSource {
  Vec3 u, v, uxv;
  TriMesh::CurvDeriv d;
};

// Vertex neighbours as one flat array: the neighbours of i are
// index[offset[i] .. offset[i + 1]), in the order of vertex_neighbors[i].
struct FlatNeighbours {
  std::vector<int> offset, index;
  explicit FlatNeighbours(const std::vector<std::vector<int>>& lists) {
    offset.resize(lists.size() + 1);
    size_t total = 0;
    for (size_t i = 0; i < lists.size(); ++i) {
      offset[i] = int(total);
      total += lists[i].size();
    }
    offset[lists.size()] = int(total);
    index.reserve(total);
    for (const std::vector<int>& l : lists) index.insert(index.end(), l.begin(), l.end());
  }
};

std::vector<Site> pack_sites(const TriMesh& m) {
  std::vector<Site> sites(m.vertices.size());
  for (size_t i = 0; i < sites.size(); ++i) sites[i] = {m.vertices[i], m.normals[i], m.point_areas[i]};
  return sites;
}

// project_curv of source j's (k1, 0, k2) onto the target frame.
inline void project_onto(const CurvatureSource& j, const Vec3& tu, const Vec3& tv, const Vec3& tuxv, float& ku,
                         float& kuv, float& kv) {
  Vec3 r_u, r_v;
  rotate_frame_with_normal(tu, tv, tuxv, j.uxv, r_u, r_v);
  change_curv_basis(r_u.dot(j.u), r_u.dot(j.v), r_v.dot(j.u), r_v.dot(j.v), j.k1, 0.0f, j.k2, ku, kuv, kv);
}

// project_curv_deriv of source j's tensor onto the target frame.
inline void project_onto(const DerivSource& j, const Vec3& tu, const Vec3& tv, const Vec3& tuxv,
                         TriMesh::CurvDeriv& r) {
  Vec3 r_u, r_v;
  rotate_frame_with_normal(tu, tv, tuxv, j.uxv, r_u, r_v);
  change_deriv_basis(r_u.dot(j.u), r_u.dot(j.v), r_v.dot(j.u), r_v.dot(j.v), j.d, r);
}

// One thread's traversal state: visit marks for every vertex and the stack.
struct Walker {
  const std::vector<Site>& sites;
  const FlatNeighbours& nb;
  float inv_sigma2;
  std::vector<unsigned> marks;
  unsigned mark = 0;
  std::vector<int> stack;

  Walker(const std::vector<Site>& s, const FlatNeighbours& n, float inv2)
      : sites(s), nb(n), inv_sigma2(inv2), marks(s.size(), 0u) {}

  // The traversal of visit_neighbourhood, step for step.
  template <class Visit>
  void walk(int i, Visit visit) {
    ++mark;
    marks[size_t(i)] = mark;
    stack.clear();
    for (int k = nb.offset[size_t(i)]; k < nb.offset[size_t(i) + 1]; ++k) stack.push_back(nb.index[size_t(k)]);
    const Site& si = sites[size_t(i)];
    while (!stack.empty()) {
      const int j = stack.back();
      stack.pop_back();
      if (marks[size_t(j)] == mark) continue;
      marks[size_t(j)] = mark;
      const Site& sj = sites[size_t(j)];
      const float ndot = si.normal.dot(sj.normal);
      if (!(ndot > 0.0f)) continue;
      const float d2 = (si.position - sj.position).lengthSquared() * inv_sigma2;
      if (!(d2 < 9.0f)) continue;
      float w = std::exp(-0.5f * d2);
      if (w == 0.0f) continue;
      w *= ndot * sj.area;
      if (std::isfinite(w) && w != 0.0f) visit(j, w);
      for (int k = nb.offset[size_t(j)]; k < nb.offset[size_t(j) + 1]; ++k) {
        const int n = nb.index[size_t(k)];
        if (marks[size_t(n)] != mark) stack.push_back(n);
      }
    }
  }
};

// Runs filter(walker, i) for every vertex on `threads` threads, blocks of
// vertices handed out in turn. Returns false when cancelled.
template <class Filter>
bool for_each_vertex(int nv, int threads, const std::atomic<bool>* cancel, const std::vector<Site>& sites,
                     const FlatNeighbours& nb, float inv_sigma2, Filter filter) {
  return smoothing_util::for_each_vertex_block(
      nv, threads, cancel, [&] { return Walker(sites, nb, inv_sigma2); }, filter);
}

}  // namespace

void TriMesh::smooth_curvatures(float sigma, int threads, const std::atomic<bool>* cancel) {
  compute_normals();
  compute_point_areas();
  compute_curvatures();
  compute_neighbors();
  if (!ready(*this)) return;
  print_message("\rSmoothing curvatures... ");
  const auto t0 = std::chrono::steady_clock::now();
  last_smoothing = SmoothingRecord();

  const int nv = static_cast<int>(vertices.size());
  const float inv_sigma2 = 1.0f / (sigma * sigma);
  const std::vector<Site> sites = pack_sites(*this);
  const FlatNeighbours nb(vertex_neighbors);
  std::vector<CurvatureSource> src(static_cast<size_t>(nv));
  for (int i = 0; i < nv; ++i)
    src[size_t(i)] = {principal_dir1[i], principal_dir2[i], principal_dir1[i].cross(principal_dir2[i]),
                      principal_curv1[i], principal_curv2[i]};
  std::vector<float> ku(nv), kuv(nv), kv(nv);

  const bool done =
      for_each_vertex(nv, thread_count(threads, nv), cancel, sites, nb, inv_sigma2, [&](Walker& walker, int i) {
        const Vec3& u = src[size_t(i)].u;
        const Vec3& v = src[size_t(i)].v;
        const Vec3& uxv = src[size_t(i)].uxv;
        float own_u, own_uv, own_v;
        project_onto(src[size_t(i)], u, v, uxv, own_u, own_uv, own_v);
        if (nb.offset[size_t(i)] == nb.offset[size_t(i) + 1]) {
          ku[i] = own_u;
          kuv[i] = own_uv;
          kv[i] = own_v;
          return;
        }
        const float area = sites[size_t(i)].area;
        double sum = area > 0.0f ? area : 0.0f;
        double su = sum * own_u, suv = sum * own_uv, sv = sum * own_v;
        walker.walk(i, [&](int j, float w) {
          float cu, cuv, cv;
          project_onto(src[size_t(j)], u, v, uxv, cu, cuv, cv);
          su += double(w) * cu;
          suv += double(w) * cuv;
          sv += double(w) * cv;
          sum += w;
        });
        store_mean(sum, su, suv, sv, own_u, own_uv, own_v, ku[i], kuv[i], kv[i]);
      });
  finish_curvature_smoothing(*this, done, ku, kuv, kv, t0);
}

void TriMesh::smooth_curv_derivs(float sigma, int threads, const std::atomic<bool>* cancel) {
  compute_normals();
  compute_point_areas();
  compute_curvatures();
  compute_curv_derivs();
  compute_neighbors();
  if (!ready(*this) || curv_derivs.size() != vertices.size()) return;
  print_message("\rSmoothing curvature derivatives... ");
  const auto t0 = std::chrono::steady_clock::now();
  last_smoothing = SmoothingRecord();

  const int nv = static_cast<int>(vertices.size());
  const float inv_sigma2 = 1.0f / (sigma * sigma);
  const std::vector<Site> sites = pack_sites(*this);
  const FlatNeighbours nb(vertex_neighbors);
  std::vector<DerivSource> src(static_cast<size_t>(nv));
  for (int i = 0; i < nv; ++i)
    src[size_t(i)] = {principal_dir1[i], principal_dir2[i], principal_dir1[i].cross(principal_dir2[i]), curv_derivs[i]};
  std::vector<CurvDeriv> smoothed(nv);

  const bool done =
      for_each_vertex(nv, thread_count(threads, nv), cancel, sites, nb, inv_sigma2, [&](Walker& walker, int i) {
        const Vec3& u = src[size_t(i)].u;
        const Vec3& v = src[size_t(i)].v;
        const Vec3& uxv = src[size_t(i)].uxv;
        const CurvDeriv& own = src[size_t(i)].d;
        if (nb.offset[size_t(i)] == nb.offset[size_t(i) + 1]) {
          smoothed[i] = own;
          return;
        }
        const float area = sites[size_t(i)].area;
        double sum = area > 0.0f ? area : 0.0f;
        double acc[4];
        for (int k = 0; k < 4; k++) acc[k] = sum * own[k];
        walker.walk(i, [&](int j, float w) {
          CurvDeriv d;
          project_onto(src[size_t(j)], u, v, uxv, d);
          for (int k = 0; k < 4; k++) acc[k] += double(w) * d[k];
          sum += w;
        });
        smoothed[i] = mean_or_own(sum, acc, own);
      });
  if (!done) {
    print_message("cancelled.\n");
    return;
  }
  curv_derivs.swap(smoothed);
  print_message("Done.  Filtering took %f sec.\n", seconds_since(t0));
}
