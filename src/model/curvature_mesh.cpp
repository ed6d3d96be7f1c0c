#include "model/curvature_mesh.h"

#include "trimesh/trimesh.h"

void prepareCurvatureMesh(TriMesh& mesh, float smooth) {
  mesh.build_strips();
  mesh.compute_bounding_sphere();
  mesh.compute_normals();
  mesh.compute_curvatures();
  mesh.compute_curv_derivs();
  mesh.smooth_curvatures(smooth);
  mesh.smooth_curv_derivs(smooth);
}
