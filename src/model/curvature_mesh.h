#pragma once

#include <atomic>
#include <functional>

#include "trimesh/smoothing_method.h"

class TriMesh;

// Computes, on a freshly read or built curvature mesh, everything the ridge
// and valley features read: triangle strips, bounding sphere, vertex normals,
// principal curvatures and their derivatives, then smooths the curvatures and
// the derivatives with width `smooth` (model units) by smoothCurvatureData.
// A model load runs this chain; a mesh edit runs the same one on the edited
// mesh.
void prepareCurvatureMesh(TriMesh& mesh, float smooth, SmoothingMethod method = SmoothingMethod::Auto);

// Smooths the curvatures and then the derivatives with width `smooth`, with
// the filter that `method` picks for this mesh (TriMesh::smoothing_uses_fast),
// on every core. Writes the choice to the debug log ("Smoothing curvatures
// (exact: about N neighbours per vertex, asked auto)" or "(fast: N clusters,
// ...)"); the mesh's last_smoothing records it too. `between`, when given,
// is called after the curvatures. Returns false when `cancel` stopped it.
bool smoothCurvatureData(TriMesh& mesh, float smooth, SmoothingMethod method, const std::atomic<bool>* cancel = nullptr,
                         const std::function<void()>& between = {});
