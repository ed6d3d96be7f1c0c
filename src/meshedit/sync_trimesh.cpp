// The curvature mesh that follows the render mesh after an edit.
//
// NOTE: TriMesh caches its derived data and never recomputes what is present,
// so replacing only its vertices and faces would leave the curvatures of the
// old geometry in place. An edited mesh therefore gets a new TriMesh.

#include "meshedit/sync_trimesh.h"

#include <QDebug>

#include "engine/sorvex.h"
#include "model/curvature_mesh.h"
#include "model/render_mesh.h"
#include "trimesh/trimesh.h"

std::unique_ptr<TriMesh> curvatureMeshFromRenderMesh(const RenderMesh& mesh, float smooth, SmoothingMethod method) {
  std::unique_ptr<TriMesh> result(new TriMesh());
  const QVector<Vec3>& vertices = mesh.vertices();
  result->vertices.assign(vertices.begin(), vertices.end());
  const int n = vertices.size();
  result->faces.reserve(size_t(mesh.faces().size()));
  for (const RenderFace& f : mesh.faces()) {
    if (f.size() < 3) continue;
    if (f[0] < 0 || f[0] >= n || f[1] < 0 || f[1] >= n || f[2] < 0 || f[2] >= n) continue;
    result->faces.emplace_back(f[0], f[1], f[2]);
  }
  prepareCurvatureMesh(*result, smooth, method);
  return result;
}

bool Sorvex::syncTriMesh() {
  if (isRunning()) {
    qDebug("Curvature mesh not rebuilt: a plane-selection run is in progress");
    return false;
  }
  if (!renderMesh || renderMesh->vertices().isEmpty()) return true;  // no model to follow
  triMesh = curvatureMeshFromRenderMesh(*renderMesh, curvatureSmooth, smoothingMethod);
  return true;
}
