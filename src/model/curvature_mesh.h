#pragma once

class TriMesh;

// Computes, on a freshly read or built curvature mesh, everything the ridge
// and valley features read: bounding sphere, vertex normals, principal
// curvatures and their derivatives, then smooths the curvatures and the
// derivatives with width `smooth` (model units). A mesh edit runs this chain
// on the edited mesh; no triangle strips are built (the features walk the
// faces).
void prepareCurvatureMesh(TriMesh& mesh, float smooth);
