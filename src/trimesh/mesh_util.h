#pragma once

// Small helpers shared by the mesh library's algorithms.

#include <cmath>

#include "trimesh/trimesh.h"

namespace trimesh_util {

// True when all three corners of f index into a vertex list of nv entries.
inline bool valid_face(const TriMesh::Face& f, int nv) {
  return f[0] >= 0 && f[0] < nv && f[1] >= 0 && f[1] < nv && f[2] >= 0 && f[2] < nv;
}

// Unit vector along v; a vector without a direction (zero length, NaN or
// infinite) becomes (1, 0, 0).
inline Vec3 normalize_or_x(const Vec3& v) {
  float l = v.length();
  if (!(l > 0.0f) || !std::isfinite(l)) return Vec3(1.0f, 0.0f, 0.0f);
  return v / l;
}

// Unit vector along v, or, when v has no direction, a unit vector
// perpendicular to the unit vector n.
inline Vec3 normalize_or_perpendicular(const Vec3& v, const Vec3& n) {
  float l = v.length();
  if (l > 0.0f && std::isfinite(l)) return v / l;
  // Cross n with the coordinate axis it is least aligned with.
  Vec3 axis(1.0f, 0.0f, 0.0f);
  if (std::fabs(n.y) < std::fabs(n.x) && std::fabs(n.y) <= std::fabs(n.z))
    axis = Vec3(0.0f, 1.0f, 0.0f);
  else if (std::fabs(n.z) < std::fabs(n.x) && std::fabs(n.z) < std::fabs(n.y))
    axis = Vec3(0.0f, 0.0f, 1.0f);
  return normalize_or_x(n.cross(axis));
}

inline bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace trimesh_util
