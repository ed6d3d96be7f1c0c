#pragma once

#include <memory>

class RenderMesh;
class TriMesh;

// Computes, on a freshly read or built curvature mesh, everything the ridge
// and valley features read: triangle strips, bounding sphere, vertex normals,
// principal curvatures and their derivatives, then smooths the curvatures and
// the derivatives with width `smooth` (model units). This is the chain a
// model load runs; a mesh edit runs the same one.
void prepareCurvatureMesh(TriMesh& mesh, float smooth);

// A new curvature mesh with the render mesh's vertices (all of them, so the
// indices agree, including vertices no face uses) and the first three indices
// of every face that names three existing vertices, prepared with
// prepareCurvatureMesh.
std::unique_ptr<TriMesh> curvatureMeshFromRenderMesh(const RenderMesh& mesh, float smooth);
