#pragma once

#include <memory>

#include "model/curvature_mesh.h"

class RenderMesh;
class TriMesh;

// A new curvature mesh with the render mesh's vertices (all of them, so the
// indices agree, including vertices no face uses) and the first three indices
// of every face that names three existing vertices, prepared with
// prepareCurvatureMesh with the smoothing `method`.
std::unique_ptr<TriMesh> curvatureMeshFromRenderMesh(const RenderMesh& mesh, float smooth,
                                                     SmoothingMethod method = SmoothingMethod::Auto);
