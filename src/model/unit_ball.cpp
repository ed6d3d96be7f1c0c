#include "model/unit_ball.h"

#include <algorithm>
#include <cmath>

#include "model/render_mesh.h"

float farthestVertexDistance(const RenderMesh& mesh) {
  float r2 = 0.0f;
  for (const Vec3& v : mesh.vertices()) r2 = std::max(r2, v.dot(v));
  return std::sqrt(r2);
}

QString unitBallWarning(float r) {
  // A few float roundings past 1 are still inside.
  if (!(r > 1.0f + 1e-5f)) return QString();
  return QStringLiteral(
             "The model reaches outside the unit ball (farthest vertex %1 from the origin); the bin space, vote "
             "radii and curvature settings assume a model inside it, so features and planes will be missing. "
             "Scale the model into the unit ball (korvane-batch --normalize does this).")
      .arg(double(r), 0, 'g', 6);
}
