// Global features: the coordinate planes through the model's centroid
// (Global XYZ) and the principal planes of all its vertices (Global PCA).

#include <QDebug>
#include <cmath>

#include "engine/principal_axes.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

CutPlane globalPlane(const Vec3& normal, const Vec3& r1, const Vec3& r2, const Vec3& point) {
  CutPlane plane;
  plane.normal = normal;
  plane.r1 = r1;
  plane.r2 = r2;
  plane.point = point;
  plane.d = normal.dot(point);  // not normalised: d may be negative
  return plane;
}

}  // namespace

void Sorvex::extractGlobalXYZ() {
  globalXYZPlanes.clear();
  if (!featureEnabled[FeatureGlobalXYZ] || !renderMesh) return;
  const QVector<Vec3>& vertices = renderMesh->vertices();
  if (vertices.isEmpty()) return;  // no centroid to take

  double sum[3] = {0.0, 0.0, 0.0};
  for (const Vec3& v : vertices) {
    sum[0] += v.x;
    sum[1] += v.y;
    sum[2] += v.z;
  }
  const Vec3 c(float(sum[0] / vertices.size()), float(sum[1] / vertices.size()), float(sum[2] / vertices.size()));
  if (!c.isFinite()) {
    qDebug("Global XYZ skipped: the model has non-finite coordinates");
    return;
  }
  const Vec3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
  QList<CutPlane> out;
  out.append(globalPlane(x, y, z, c));
  out.append(globalPlane(y, z, x, c));
  out.append(globalPlane(z, x, y, c));
  globalXYZPlanes = out;
}

void Sorvex::extractGlobalPCA() {
  globalPCAPlanes.clear();
  if (!featureEnabled[FeatureGlobalPCA] || !renderMesh) return;
  const QVector<Vec3>& vertices = renderMesh->vertices();
  if (vertices.isEmpty()) return;

  PrincipalAxes pa;
  if (!principalAxes(vertices, pa)) {
    qDebug("Global PCA skipped: the model has non-finite coordinates");
    return;
  }
  const float S = renderMesh->radius();
  if (!(S > 0.0f) || !std::isfinite(S)) {
    qDebug("Global PCA skipped: the model has no extent");
    return;
  }
  // The normal's length R / S sets the slab half-width of the vote.
  const float scale = pa.maxDistance / S;
  QList<CutPlane> out;
  for (int k = 0; k < 3; ++k) {
    out.append(globalPlane(pa.unitAxes[k] * scale, pa.unitAxes[(k + 1) % 3] * scale, pa.unitAxes[(k + 2) % 3] * scale,
                           pa.centroid));
  }
  globalPCAPlanes = out;
}
