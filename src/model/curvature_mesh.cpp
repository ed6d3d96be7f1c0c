#include "model/curvature_mesh.h"

#include <QDebug>

#include "trimesh/trimesh.h"

void prepareCurvatureMesh(TriMesh& mesh, float smooth, SmoothingMethod method) {
  mesh.build_strips();
  mesh.compute_bounding_sphere();
  mesh.compute_normals();
  mesh.compute_curvatures();
  mesh.compute_curv_derivs();
  smoothCurvatureData(mesh, smooth, method);
}

bool smoothCurvatureData(TriMesh& mesh, float smooth, SmoothingMethod method, const std::atomic<bool>* cancel,
                         const std::function<void()>& between) {
  const bool cancelled = cancel && cancel->load();
  if (cancelled) return false;
  const double neighbours = mesh.expected_smoothing_neighbours(smooth);
  const bool fast = mesh.smoothing_uses_fast(smooth, method);
  if (fast)
    mesh.smooth_curvatures_fast(smooth, 0, cancel);
  else
    mesh.smooth_curvatures(smooth, 0, cancel);
  if (cancel && cancel->load()) return false;
  if (fast)
    qDebug("Smoothing curvatures (fast: %d clusters, about %.0f neighbours per vertex, asked %s)",
           mesh.last_smoothing.clusters, neighbours, smoothing_method_name(method));
  else
    qDebug("Smoothing curvatures (exact: about %.0f neighbours per vertex, asked %s)", neighbours,
           smoothing_method_name(method));
  if (between) between();
  if (fast)
    mesh.smooth_curv_derivs_fast(smooth, 0, cancel);
  else
    mesh.smooth_curv_derivs(smooth, 0, cancel);
  return !(cancel && cancel->load());
}
