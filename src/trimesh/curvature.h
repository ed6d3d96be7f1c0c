#pragma once

// Operations on tangent frames and on curvature tensors expressed in them.
// A second fundamental form in a frame (u, v) is (ku, kuv, kv); a derivative
// tensor is (a, b, c, d) as described for TriMesh::CurvDeriv.

#include "trimesh/trimesh.h"

// Rotates the frame (old_u, old_v) by the rotation that takes its normal
// old_u x old_v onto new_norm. Opposite normals flip both vectors.
void rotate_frame(const Vec3& old_u, const Vec3& old_v, const Vec3& new_norm, Vec3& new_u, Vec3& new_v);

// The same with the frame's normal old_u x old_v given by a caller that has it
// at hand; the operations and so the floats are the same.
inline void rotate_frame_with_normal(const Vec3& old_u, const Vec3& old_v, const Vec3& old_norm, const Vec3& new_norm,
                                     Vec3& new_u, Vec3& new_v) {
  new_u = old_u;
  new_v = old_v;
  const float ndot = old_norm.dot(new_norm);
  if (ndot <= -1.0f) {
    new_u = -new_u;
    new_v = -new_v;
    return;
  }
  const Vec3 perp_old = new_norm - old_norm * ndot;
  const Vec3 dperp = (old_norm + new_norm) * (1.0f / (1.0f + ndot));
  new_u -= dperp * new_u.dot(perp_old);
  new_v -= dperp * new_v.dot(perp_old);
}

// A tensor re-expressed in new axes whose coordinates in the old frame are
// (u1, v1) and (u2, v2): the common step of project_curv and
// project_curv_deriv once the old frame has been rotated into the new plane.
inline void change_curv_basis(float u1, float v1, float u2, float v2, float old_ku, float old_kuv, float old_kv,
                              float& new_ku, float& new_kuv, float& new_kv) {
  new_ku = old_ku * u1 * u1 + old_kuv * (2.0f * u1 * v1) + old_kv * v1 * v1;
  new_kuv = old_ku * u1 * u2 + old_kuv * (u1 * v2 + u2 * v1) + old_kv * v1 * v2;
  new_kv = old_ku * u2 * u2 + old_kuv * (2.0f * u2 * v2) + old_kv * v2 * v2;
}
inline void change_deriv_basis(float u1, float v1, float u2, float v2, const TriMesh::CurvDeriv& old_dcurv,
                               TriMesh::CurvDeriv& r) {
  const float a = old_dcurv[0], b = old_dcurv[1], c = old_dcurv[2], d = old_dcurv[3];
  r[0] = a * u1 * u1 * u1 + b * 3.0f * u1 * u1 * v1 + c * 3.0f * u1 * v1 * v1 + d * v1 * v1 * v1;
  r[1] = a * u1 * u1 * u2 + b * (u1 * u1 * v2 + 2.0f * u2 * u1 * v1) + c * (u2 * v1 * v1 + 2.0f * u1 * v1 * v2) +
         d * v1 * v1 * v2;
  r[2] = a * u1 * u2 * u2 + b * (u2 * u2 * v1 + 2.0f * u1 * u2 * v2) + c * (u1 * v2 * v2 + 2.0f * u2 * v2 * v1) +
         d * v1 * v2 * v2;
  r[3] = a * u2 * u2 * u2 + b * 3.0f * u2 * u2 * v2 + c * 3.0f * u2 * v2 * v2 + d * v2 * v2 * v2;
}

// Re-expresses the tensor (old_ku, old_kuv, old_kv) given in the frame
// (old_u, old_v) in the frame (new_u, new_v).
void project_curv(const Vec3& old_u, const Vec3& old_v, float old_ku, float old_kuv, float old_kv, const Vec3& new_u,
                  const Vec3& new_v, float& new_ku, float& new_kuv, float& new_kv);

// Same for a derivative tensor.
void project_curv_deriv(const Vec3& old_u, const Vec3& old_v, const TriMesh::CurvDeriv& old_dcurv, const Vec3& new_u,
                        const Vec3& new_v, TriMesh::CurvDeriv& new_dcurv);

// Diagonalises the tensor (ku, kuv, kv) given in the frame (old_u, old_v)
// after rotating that frame to be perpendicular to new_norm: principal
// directions pdir1, pdir2 = new_norm x pdir1 and curvatures k1, k2 with
// |k1| >= |k2|.
void principal_from_tensor(const Vec3& old_u, const Vec3& old_v, float ku, float kuv, float kv, const Vec3& new_norm,
                           Vec3& pdir1, Vec3& pdir2, float& k1, float& k2);
