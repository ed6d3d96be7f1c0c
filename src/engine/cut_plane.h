#pragma once

#include "engine/vec3.h"

// Plane geometry: the plane is { x : normal . x = d }. (r1, r2, normal) is an
// orthonormal frame after normalizePlane. `extent` is the half-width (model
// units) of the slab a Segment PCA plane votes for.
struct CutPlane {
  Vec3 normal;
  Vec3 r1;
  Vec3 r2;
  float d = 0.0f;
  Vec3 point;
  Vec3 handles[3];
  float extent = 0.0f;
};

// A line feature. `direction` is unit length; `halfLength` is informative only.
struct Axis {
  Vec3 point;
  Vec3 direction;
  float halfLength = 0.0f;
};

enum FeatureType : int {
  FeatureSegmentPCAPlanes = 0,
  FeatureSegmentPCAAxes = 1,
  FeatureRidges = 2,
  FeatureValleys = 3,
  FeatureSymmetryPlanes = 4,
  FeatureSymmetryAxes = 5,
  FeatureGlobalXYZ = 6,
  FeatureGlobalPCA = 7,
  FeaturePerpendicularSupport = 8,
  FeatureSymmetricSupport = 9,
};
constexpr int kFeatureTypeCount = 10;

// Display name of each feature type, in type order.
extern const char* const kFeatureTypeNames[kFeatureTypeCount];

// Start weight of each feature type, in type order: the values the control
// panel starts with.
constexpr double kStartFeatureWeights[kFeatureTypeCount] = {0.6794463, 0.3130431, 0.3657238, 0.7233772, 0.5000544,
                                                            1.0002444, 0.6080623, 0.9997082, 0.5078993, 1.000211};

// Whether a feature type carries a plane (otherwise it carries an axis).
inline bool isPlaneFeatureType(int t) { return t == 0 || t == 4 || t == 6 || t == 7 || t == 8 || t == 9; }

// One voting feature. Its identity elsewhere is its position in the engine's
// feature list; `index` points into the source list of its kind.
struct Feature {
  FeatureType type = FeatureSegmentPCAPlanes;
  int index = 0;
  CutPlane plane;
  Axis axis;
  bool covered = false;
};

// Makes d non-negative (flipping the normal with it), puts `point` at
// normal * d and rebuilds r1, r2 from a reference axis (x when |normal.y| > 0.9,
// y otherwise).
void normalizePlane(CutPlane& plane);

// The in-plane axes normalizePlane would give for this normal.
void planeAxesFromNormal(const Vec3& normal, Vec3& r1, Vec3& r2);
