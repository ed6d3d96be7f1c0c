#include "engine/cut_plane.h"

#include <cmath>

const char* const kFeatureTypeNames[kFeatureTypeCount] = {
    "Segment PCA Planes",    "Segment PCA Axes", "Ridges",     "Valleys",
    "Symmetry Planes",       "Symmetry Axes",    "Global XYZ", "Global PCA",
    "Perpendicular Support", "Symmetric Support"};

void planeAxesFromNormal(const Vec3& normal, Vec3& r1, Vec3& r2) {
  const Vec3 h = std::fabs(normal.y) > 0.9f ? Vec3(1, 0, 0) : Vec3(0, 1, 0);
  r1 = normal.cross(h).normalized();
  r2 = normal.cross(r1).normalized();
}

void normalizePlane(CutPlane& plane) {
  if (plane.d < 0.0f) {
    plane.d = -plane.d;
    plane.normal = -plane.normal;
  }
  plane.point = plane.normal * plane.d;
  planeAxesFromNormal(plane.normal, plane.r1, plane.r2);
}
