// Gaussian smoothing of the curvature tensors and of the curvature
// derivative tensors over each vertex's connected neighbourhood.

#include <chrono>
#include <cmath>

#include "trimesh/curvature.h"
#include "trimesh/mesh_util.h"

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

// Checks that everything the smoothing reads has one entry per vertex.
bool ready(const TriMesh& m) {
  const size_t nv = m.vertices.size();
  return nv > 0 && m.normals.size() == nv && m.point_areas.size() == nv && m.principal_curv1.size() == nv &&
         m.principal_curv2.size() == nv && m.principal_dir1.size() == nv && m.principal_dir2.size() == nv &&
         m.vertex_neighbors.size() == nv;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

void TriMesh::smooth_curvatures(float sigma) {
  compute_normals();
  compute_point_areas();
  compute_curvatures();
  compute_neighbors();
  if (!ready(*this)) return;
  print_message("\rSmoothing curvatures... ");
  const auto t0 = std::chrono::steady_clock::now();

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
    // Without any weight (zero areas all round) the vertex keeps its own tensor.
    if (sum > 0.0 && std::isfinite(su / sum) && std::isfinite(suv / sum) && std::isfinite(sv / sum)) {
      ku[i] = static_cast<float>(su / sum);
      kuv[i] = static_cast<float>(suv / sum);
      kv[i] = static_cast<float>(sv / sum);
    } else {
      ku[i] = own_u;
      kuv[i] = own_uv;
      kv[i] = own_v;
    }
  }
  for (int i = 0; i < nv; i++) {
    principal_from_tensor(principal_dir1[i], principal_dir2[i], ku[i], kuv[i], kv[i], normals[i], principal_dir1[i],
                          principal_dir2[i], principal_curv1[i], principal_curv2[i]);
  }
  print_message("Done.  Filtering took %f sec.\n", seconds_since(t0));
}

void TriMesh::smooth_curv_derivs(float sigma) {
  compute_normals();
  compute_point_areas();
  compute_curvatures();
  compute_curv_derivs();
  compute_neighbors();
  if (!ready(*this) || curv_derivs.size() != vertices.size()) return;
  print_message("\rSmoothing curvature derivatives... ");
  const auto t0 = std::chrono::steady_clock::now();

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
    bool ok = sum > 0.0;
    CurvDeriv r;
    for (int k = 0; k < 4 && ok; k++) {
      r[k] = static_cast<float>(acc[k] / sum);
      ok = std::isfinite(r[k]);
    }
    smoothed[i] = ok ? r : curv_derivs[i];
  }
  curv_derivs.swap(smoothed);
  print_message("Done.  Filtering took %f sec.\n", seconds_since(t0));
}
