#pragma once

// Both meshes of an OFF or OBJ model from one reading of the file: the
// curvature mesh (TriMesh) and the render mesh's geometry, in flat arrays.

#include <QVector>
#include <memory>

#include "engine/vec3.h"
#include "trimesh/trimesh.h"

struct MeshFileReading {
  // The curvature mesh; null when the file cannot be read as a mesh (the
  // reason went through the mesh library's error channel).
  std::unique_ptr<TriMesh> triMesh;
  // The render mesh's geometry: its vertices and three vertex indices per
  // face, exactly what readOff (or readObj and objRenderGeometry) give.
  QVector<Vec3> vertices;
  QVector<int> triangles;
  // False when the render mesh's reader refuses the file (or was not asked
  // because the curvature mesh could not be read).
  bool renderRead = false;
  // True when the render geometry came from the one reading; false when the
  // render mesh's reader read the file again, for a file it may read
  // differently (records outside the simple form, content of the other
  // format than the name says).
  bool singleReading = false;
};

// Reads the model file at `path` as an OBJ file (`obj`) or an OFF file, as
// the name says. The file is read once; from the polygons that reading found
// the render mesh takes the triangle of the first three corners of each, by
// its own rules (an OFF face outside the vertices refuses the file, an OBJ
// one is dropped). Every number is parsed in the "C" locale.
void readMeshFile(const char* path, bool obj, MeshFileReading& out);
