#pragma once

class TriMesh;

// Computes, on a freshly read or built curvature mesh, everything the ridge
// and valley features read: triangle strips, bounding sphere, vertex normals,
// principal curvatures and their derivatives, then smooths the curvatures and
// the derivatives with width `smooth` (model units). A model load runs this
// chain; a mesh edit runs the same one on the edited mesh.
void prepareCurvatureMesh(TriMesh& mesh, float smooth);
