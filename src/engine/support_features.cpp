// Support features derived from a selected plane during a selection run.

#include <QDebug>
#include <cmath>

#include "engine/sorvex.h"

namespace {

// Normalises the plane (normal, d), lets it vote as a new support feature of
// `type` (its identity: the next position in the feature list) and records it
// in `list` and in the feature list. Returns the normalised plane.
CutPlane addSupportFeature(Sorvex& engine, FeatureType type, const Vec3& normal, float d, QList<CutPlane>& list) {
  CutPlane q;
  q.normal = normal;
  q.d = d;
  normalizePlane(q);
  const int n = engine.features.size();
  engine.votePlane(q.normal, q.d, engine.featureRadius[type], n, type, engine.featureWeight[type]);
  list.append(q);
  Feature support;
  support.type = type;
  support.index = list.size() - 1;
  support.plane = q;
  engine.features.append(support);
  return q;
}

}  // namespace

// For every axis that voted for the selected plane and lies in it, the plane
// through the axis perpendicular to the selected plane. Each axis feature
// spawns at most one such plane per run (its `covered` flag).
void Sorvex::addPerpendicularSupport(const SectionPlane& selected, const Bin& winning) {
  if (!featureEnabled[FeaturePerpendicularSupport]) return;
  for (const Vote& v : winning.votes) {
    if (v.featureType != FeatureSegmentPCAAxes && v.featureType != FeatureSymmetryAxes) continue;
    if (v.featureIndex < 0 || v.featureIndex >= features.size()) {
      qDebug("Perpendicular support: vote of unknown feature %i ignored.", v.featureIndex);
      continue;
    }
    Feature& axisFeature = features[v.featureIndex];
    if (axisFeature.covered) continue;
    const Vec3 u = axisFeature.axis.direction.normalized();
    if (std::fabs(selected.normal.dot(u)) > 0.1f) continue;  // the axis does not lie in the plane
    const Vec3 normal = u.cross(selected.normal).normalized();
    if (normal.lengthSquared() == 0.0f || !axisFeature.axis.point.isFinite()) {
      qDebug("Perpendicular support: feature %i has no usable axis or the selected plane no normal.", v.featureIndex);
      continue;
    }
    addSupportFeature(*this, FeaturePerpendicularSupport, normal, normal.dot(axisFeature.axis.point),
                      perpendicularSupportPlanes);
    features[v.featureIndex].covered = true;
  }
}

// Mirror images of the selected plane in every symmetry plane that is not
// nearly perpendicular to it, unless the plane itself came from symmetry.
void Sorvex::addSymmetricSupport(const SectionPlane& selected, const Bin& winning) {
  if (!featureEnabled[FeatureSymmetricSupport]) return;
  for (const Vote& v : winning.votes) {
    if (v.featureType == FeatureSymmetryPlanes || v.featureType == FeatureSymmetricSupport) return;
  }
  const int count = features.size();  // mirror images appended below are not mirrored again
  for (int i = 0; i < count; ++i) {
    if (features[i].type != FeatureSymmetryPlanes) continue;
    const CutPlane symmetry = features[i].plane;
    const Vec3 s = symmetry.normal;
    const float e = symmetry.d;
    const float c = s.dot(selected.normal);
    const float absC = std::fmin(std::fabs(c), 1.0f);
    if (!(std::acos(absC) <= 1.4835298f)) continue;  // about 85 degrees: mirrors onto itself (or NaN)
    const Vec3 mirroredNormal = (selected.normal - s * (2.0f * c)).normalized();
    const float h = selected.d * c - e;
    const Vec3 mirroredPoint = selected.point - s * (2.0f * h);
    const float mirroredD = mirroredNormal.dot(mirroredPoint);
    if (mirroredNormal.lengthSquared() == 0.0f || !std::isfinite(mirroredD)) {
      qDebug("Symmetric support: symmetry plane %i gives no usable mirror image.", i);
      continue;
    }
    const CutPlane q =
        addSupportFeature(*this, FeatureSymmetricSupport, mirroredNormal, mirroredD, symmetricSupportPlanes);
    qDebug(
        "Adding symmetry support to binspace. Symmetry plane (%i): %f,%f,%f,%f Pairplane: %f,%f,%f, %f New plane: "
        "%f,%f,%f,%f",
        i, double(s.x), double(s.y), double(s.z), double(e), double(selected.normal.x), double(selected.normal.y),
        double(selected.normal.z), double(selected.d), double(q.normal.x), double(q.normal.y), double(q.normal.z),
        double(q.d));
  }
}
