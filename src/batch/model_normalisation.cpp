#include "batch/model_normalisation.h"

#include <algorithm>
#include <cmath>

#include "engine/sorvex.h"
#include "model/render_mesh.h"

bool normaliseModel(Sorvex& engine, float radius, ModelNormalisation& n) {
  RenderMesh& mesh = *engine.renderMesh;
  if (mesh.vertices().isEmpty()) return false;
  const Vec3 centre = (mesh.bboxMin() + mesh.bboxMax()) * 0.5f;
  float r2 = 0.0f;
  for (const Vec3& v : mesh.vertices()) {
    const Vec3 d = v - centre;
    r2 = std::max(r2, d.dot(d));
  }
  const float before = std::sqrt(r2);
  if (!(before > 0.0f) || !std::isfinite(before)) return false;
  n.centre = centre;
  n.radiusBefore = before;
  n.scale = radius / before;
  n.offset = centre * -n.scale;

  for (Vec3& v : mesh.mutableVertices()) v = (v - centre) * n.scale;
  mesh.updateDerivedData();
  mesh.flipFaceNormals();
  engine.syncTriMesh();

  // n . x = d becomes n . x' = scale d + n . offset.
  for (CutPlane& p : engine.symmetryPlanes) {
    p.d = n.scale * p.d + p.normal.dot(n.offset);
    normalizePlane(p);
  }
  for (Axis& a : engine.symmetryAxes) {
    a.point = a.point * n.scale + n.offset;
    a.halfLength *= n.scale;
  }
  return true;
}
