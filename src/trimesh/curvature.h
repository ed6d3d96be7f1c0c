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
