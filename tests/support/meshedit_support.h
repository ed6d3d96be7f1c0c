#pragma once

#include "support/debug_capture.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include "engine/vec3.h"
#include "model/render_face.h"

// Meshes and checks for the mesh editing tests. Every generated mesh has its
// faces counter-clockwise seen from outside.
namespace meshedit {

struct Mesh {
  QVector<Vec3> vertices;
  RenderFaces faces;
};

// Latitude-longitude sphere: two poles and `rings` - 1 circles of `segments`
// vertices (rings >= 2, segments >= 3).
Mesh uvSphere(float radius, int segments, int rings);

// Bipyramid: an n-gon of radius 1 in z = 0 (vertices 0 .. n - 1) and the
// apexes (0, 0, height) (vertex n) and (0, 0, -height) (vertex n + 1).
Mesh bipyramid(int n, float height);

// The cube [0,1]^3 with a vertex at the centre of every side, each side made
// of four triangles around it: corners are vertices 0 .. 7, side centres 8 .. 13.
Mesh centredCube();

// Regular tetrahedron / octahedron around `centre`.
Mesh tetrahedron(const Vec3& centre);
Mesh octahedron(const Vec3& centre, float size);

// Axis-aligned box [lo, hi], 12 triangles.
Mesh box(const Vec3& lo, const Vec3& hi);

// Open square grid in z = 0 over [0, cells]^2 with (cells + 1)^2 vertices; the
// vertex (i, j) is lifted by `bump` when it is the grid's centre.
Mesh grid(int cells, float bump);

// Appends `b` to `a`, shifting its indices.
void append(Mesh& a, const Mesh& b);

// Problems of the face list as a closed, consistently oriented surface:
// indices out of range, repeated corners, a directed edge used twice or
// without its reverse. Empty when there are none.
QStringList closedSurfaceProblems(const RenderFaces& faces, int vertexCount);

// Problems of the face list as a valid (possibly open) surface: indices out
// of range, repeated corners, a directed edge used twice, two faces on the
// same three vertices.
QStringList surfaceProblems(const RenderFaces& faces, int vertexCount);

// Vertices used by at least one face.
QVector<bool> referencedVertices(const RenderFaces& faces, int vertexCount);

using DebugCapture = testsupport::DebugCapture;

}  // namespace meshedit
