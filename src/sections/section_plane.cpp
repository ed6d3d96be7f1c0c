#include "sections/section_plane.h"

bool intersectRay(const CutPlane& plane, const Vec3& origin, const Vec3& direction, Vec3& hit) {
  const float g = plane.normal.dot(direction);
  if (g == 0.0f) return false;
  const float t = -(plane.normal.dot(origin) - plane.d) / g;
  hit = origin + direction * t;
  return t >= 0.0f;
}
