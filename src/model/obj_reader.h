#pragma once

#include <QVector>
#include <cstdint>

#include "engine/vec3.h"
#include "model/render_face.h"

// One "f" line of an OBJ file. Indices are kept exactly as written (1-based).
struct ObjFace {
  QVector<int32_t> vertexIndices;
  QVector<int32_t> texIndices;     // never filled: texture indices are not read
  QVector<int32_t> normalIndices;  // only corners written a/b/c with c != 0
  // Number of "v" lines before this face: a negative (relative) index k names
  // vertex verticesBefore + k + 1 (1-based), so -1 is the last vertex so far.
  int32_t verticesBefore = 0;
};

// The raw content of an OBJ model: "v", "vn" and "f" lines in file order.
struct ObjMesh {
  QVector<Vec3> vertices;
  QVector<Vec3> normals;
  QVector<ObjFace> faces;
};

// Reads an OBJ file, appending to `mesh`. Each line is split at every single
// space, empty tokens kept, so "v  1 2 3" reads as the vertex (0, 1, 2). A
// line keeps at most 499 characters: the rest of a longer one is skipped
// (one debug line counts such lines). A line that is only a tag ("v", "f")
// is ignored. Numbers are read in the "C" locale; those that do not convert,
// and non-finite ones, read as 0; a "v" or "vn" line with fewer than three
// numbers is padded with 0. Returns false when the file cannot be opened, is
// not a regular file, or a read error stops it before its end.
bool readObj(ObjMesh& mesh, const char* path);

// Turns the record into render-mesh geometry: the vertices, and for each face
// the triangle of its first three corners, made 0-based. A negative index
// counts back from the vertices read before the face, as the mesh library
// reads it. Faces with fewer than three corners, or whose first three corners
// name no vertex of the file (0, or beyond either end), are dropped with one
// debug line.
void objRenderGeometry(const ObjMesh& mesh, QVector<Vec3>& vertices, RenderFaces& faces);
