// Per-vertex principal curvatures and curvature derivatives, estimated per
// face by least squares on the change of the vertex normals (resp. of the
// curvature tensors) along the face's edges and distributed to the corners
// in each vertex's own frame, weighted by the corner's share of the vertex
// area.

#include "trimesh/curvature.h"

#include <cmath>

#include "trimesh/ldlt.h"
#include "trimesh/mesh_util.h"

void rotate_frame(const Vec3& old_u, const Vec3& old_v, const Vec3& new_norm, Vec3& new_u, Vec3& new_v) {
  const Vec3 old_norm = old_u.cross(old_v);
  rotate_frame_with_normal(old_u, old_v, old_norm, new_norm, new_u, new_v);
}

void project_curv(const Vec3& old_u, const Vec3& old_v, float old_ku, float old_kuv, float old_kv, const Vec3& new_u,
                  const Vec3& new_v, float& new_ku, float& new_kuv, float& new_kv) {
  Vec3 r_u, r_v;
  rotate_frame(new_u, new_v, old_u.cross(old_v), r_u, r_v);
  change_curv_basis(r_u.dot(old_u), r_u.dot(old_v), r_v.dot(old_u), r_v.dot(old_v), old_ku, old_kuv, old_kv, new_ku,
                    new_kuv, new_kv);
}

void project_curv_deriv(const Vec3& old_u, const Vec3& old_v, const TriMesh::CurvDeriv& old_dcurv, const Vec3& new_u,
                        const Vec3& new_v, TriMesh::CurvDeriv& new_dcurv) {
  Vec3 r_u, r_v;
  rotate_frame(new_u, new_v, old_u.cross(old_v), r_u, r_v);
  TriMesh::CurvDeriv r;
  change_deriv_basis(r_u.dot(old_u), r_u.dot(old_v), r_v.dot(old_u), r_v.dot(old_v), old_dcurv, r);
  new_dcurv = r;
}

void principal_from_tensor(const Vec3& old_u, const Vec3& old_v, float ku, float kuv, float kv, const Vec3& new_norm,
                           Vec3& pdir1, Vec3& pdir2, float& k1, float& k2) {
  Vec3 r_u, r_v;
  rotate_frame(old_u, old_v, new_norm, r_u, r_v);
  float c = 1.0f, s = 0.0f, tt = 0.0f;
  if (kuv != 0.0f) {
    // Plane rotation that zeroes the off-diagonal term.
    const float h = 0.5f * (kv - ku) / kuv;
    tt = (h < 0.0f) ? 1.0f / (h - std::sqrt(1.0f + h * h)) : 1.0f / (h + std::sqrt(1.0f + h * h));
    c = 1.0f / std::sqrt(1.0f + tt * tt);
    s = tt * c;
  }
  k1 = ku - tt * kuv;
  k2 = kv + tt * kuv;
  if (std::fabs(k1) >= std::fabs(k2)) {
    pdir1 = r_u * c - r_v * s;
  } else {
    std::swap(k1, k2);
    pdir1 = r_u * s + r_v * c;
  }
  pdir2 = new_norm.cross(pdir1);
}

namespace {

// The edges of face f (e[j] is the edge opposite corner j, from corner j + 1
// to corner j + 2), the unit direction t of e[0] and the in-plane direction b
// perpendicular to it.
inline void face_edges_and_frame(const std::vector<Vec3>& vertices, const TriMesh::Face& f, Vec3 e[3], Vec3& t,
                                 Vec3& b) {
  e[0] = vertices[f[2]] - vertices[f[1]];
  e[1] = vertices[f[0]] - vertices[f[2]];
  e[2] = vertices[f[1]] - vertices[f[0]];
  t = trimesh_util::normalize_or_x(e[0]);
  b = trimesh_util::normalize_or_x(e[0].cross(e[1]).cross(t));
}

// Weight of a corner in its vertex's average; 0 when the vertex has no area
// (every face around it is degenerate), so such vertices stay at zero rather
// than becoming NaN or infinite.
inline float corner_weight(float corner_area, float point_area) {
  if (!(point_area > 0.0f)) return 0.0f;
  const float w = corner_area / point_area;
  return std::isfinite(w) ? w : 0.0f;
}

}  // namespace

void TriMesh::compute_curvatures() {
  if (principal_curv1.size() == vertices.size() && !vertices.empty()) return;
  if (!ensure_faces()) return;
  compute_normals();
  compute_point_areas();
  const int nv = static_cast<int>(vertices.size());
  const int nf = static_cast<int>(faces.size());
  if (normals.size() != vertices.size() || point_areas.size() != vertices.size() || corner_areas.size() != faces.size())
    return;
  print_message("Computing curvatures... ");

  principal_curv1.assign(nv, 0.0f);
  principal_curv2.assign(nv, 0.0f);
  std::vector<float> curv12(nv, 0.0f);
  principal_dir1.assign(nv, Vec3(0.0f, 0.0f, 0.0f));
  principal_dir2.assign(nv, Vec3(0.0f, 0.0f, 0.0f));

  // Initial frame per vertex from one of its edges.
  for (int i = 0; i < nf; i++) {
    const Face& f = faces[i];
    if (!trimesh_util::valid_face(f, nv)) continue;
    principal_dir1[f[0]] = vertices[f[1]] - vertices[f[0]];
    principal_dir1[f[1]] = vertices[f[2]] - vertices[f[1]];
    principal_dir1[f[2]] = vertices[f[0]] - vertices[f[2]];
  }
  for (int i = 0; i < nv; i++) {
    // A vertex without faces, or whose edge runs along its normal, still gets
    // a frame perpendicular to its normal.
    principal_dir1[i] = trimesh_util::normalize_or_perpendicular(principal_dir1[i].cross(normals[i]), normals[i]);
    principal_dir2[i] = normals[i].cross(principal_dir1[i]);
  }

  for (int i = 0; i < nf; i++) {
    const Face& f = faces[i];
    if (!trimesh_util::valid_face(f, nv)) continue;
    Vec3 e[3], t, b;
    face_edges_and_frame(vertices, f, e, t, b);

    // Least squares for the face's second fundamental form in (t, b).
    double m[3] = {0, 0, 0};
    double w[3][3] = {};
    for (int j = 0; j < 3; j++) {
      const double u = e[j].dot(t), v = e[j].dot(b);
      w[0][0] += u * u;
      w[0][1] += u * v;
      w[2][2] += v * v;
      const Vec3 dn = normals[f[(j + 2) % 3]] - normals[f[(j + 1) % 3]];
      const double dnu = dn.dot(t), dnv = dn.dot(b);
      m[0] += dnu * u;
      m[1] += dnu * v + dnv * u;
      m[2] += dnv * v;
    }
    w[1][1] = w[0][0] + w[2][2];
    w[1][2] = w[0][1];
    w[1][0] = w[0][1];
    w[2][1] = w[1][2];
    double x[3];
    if (!trimesh_util::ldlt_solve<3>(w, m, x)) continue;
    const float ku = static_cast<float>(x[0]), kuv = static_cast<float>(x[1]), kv = static_cast<float>(x[2]);
    if (!std::isfinite(ku) || !std::isfinite(kuv) || !std::isfinite(kv)) continue;

    for (int j = 0; j < 3; j++) {
      const int vj = f[j];
      float c1, c12, c2;
      project_curv(t, b, ku, kuv, kv, principal_dir1[vj], principal_dir2[vj], c1, c12, c2);
      const float wt = corner_weight(corner_areas[i][j], point_areas[vj]);
      principal_curv1[vj] += wt * c1;
      curv12[vj] += wt * c12;
      principal_curv2[vj] += wt * c2;
    }
  }

  for (int i = 0; i < nv; i++) {
    principal_from_tensor(principal_dir1[i], principal_dir2[i], principal_curv1[i], curv12[i], principal_curv2[i],
                          normals[i], principal_dir1[i], principal_dir2[i], principal_curv1[i], principal_curv2[i]);
  }
  print_message("Done.\n");
}

void TriMesh::compute_curv_derivs() {
  if (curv_derivs.size() == vertices.size() && !vertices.empty()) return;
  compute_curvatures();
  const int nv = static_cast<int>(vertices.size());
  const int nf = static_cast<int>(faces.size());
  if (principal_curv1.size() != vertices.size() || corner_areas.size() != faces.size()) return;
  print_message("Computing dcurv... ");
  curv_derivs.assign(nv, CurvDeriv{0.0f, 0.0f, 0.0f, 0.0f});

  for (int i = 0; i < nf; i++) {
    const Face& f = faces[i];
    if (!trimesh_util::valid_face(f, nv)) continue;
    Vec3 e[3], t, b;
    face_edges_and_frame(vertices, f, e, t, b);

    // Corner curvature tensors in the face frame.
    float fcurv[3][3];
    for (int j = 0; j < 3; j++) {
      const int vj = f[j];
      project_curv(principal_dir1[vj], principal_dir2[vj], principal_curv1[vj], 0.0f, principal_curv2[vj], t, b,
                   fcurv[j][0], fcurv[j][1], fcurv[j][2]);
    }

    double m[4] = {0, 0, 0, 0};
    double w[4][4] = {};
    for (int j = 0; j < 3; j++) {
      const int to = (j + 2) % 3, from = (j + 1) % 3;
      const double dku = double(fcurv[to][0]) - fcurv[from][0];
      const double dkuv = double(fcurv[to][1]) - fcurv[from][1];
      const double dkv = double(fcurv[to][2]) - fcurv[from][2];
      const double u = e[j].dot(t), v = e[j].dot(b);
      w[0][0] += u * u;
      w[0][1] += u * v;
      w[3][3] += v * v;
      m[0] += u * dku;
      m[1] += v * dku + 2.0 * u * dkuv;
      m[2] += 2.0 * v * dkuv + u * dkv;
      m[3] += v * dkv;
    }
    w[1][1] = 2.0 * w[0][0] + w[3][3];
    w[1][2] = 2.0 * w[0][1];
    w[2][2] = w[0][0] + 2.0 * w[3][3];
    w[2][3] = w[0][1];
    for (int r = 0; r < 4; r++)
      for (int c = r + 1; c < 4; c++) w[c][r] = w[r][c];
    double x[4];
    if (!trimesh_util::ldlt_solve<4>(w, m, x)) continue;
    const CurvDeriv face_dcurv{static_cast<float>(x[0]), static_cast<float>(x[1]), static_cast<float>(x[2]),
                               static_cast<float>(x[3])};
    bool ok = true;
    for (float q : face_dcurv) ok = ok && std::isfinite(q);
    if (!ok) continue;

    for (int j = 0; j < 3; j++) {
      const int vj = f[j];
      CurvDeriv vd;
      project_curv_deriv(t, b, face_dcurv, principal_dir1[vj], principal_dir2[vj], vd);
      const float wt = corner_weight(corner_areas[i][j], point_areas[vj]);
      for (int k = 0; k < 4; k++) curv_derivs[vj][k] += wt * vd[k];
    }
  }
  print_message("Done.\n");
}
