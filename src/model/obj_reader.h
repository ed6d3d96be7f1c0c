#pragma once

#include <QVector>
#include <cstdint>

#include "engine/vec3.h"

// One "f" line of an OBJ file. Indices are kept exactly as written (1-based).
struct ObjFace {
  QVector<int32_t> vertexIndices;
  QVector<int32_t> texIndices;     // never filled: texture indices are not read
  QVector<int32_t> normalIndices;  // only corners written a/b/c with c != 0
};

// The raw content of an OBJ model: "v", "vn" and "f" lines in file order.
struct ObjMesh {
  QVector<Vec3> vertices;
  QVector<Vec3> normals;
  QVector<ObjFace> faces;
};

// Reads an OBJ file, appending to `mesh`. Each line (at most 499 characters;
// a longer one is read in pieces, each taken as a line) is split at every
// single space, empty tokens kept, so "v  1 2 3" reads as the vertex (0, 1, 2).
// Numbers that do not convert, and non-finite ones, read as 0; a "v" or "vn"
// line with fewer than three numbers is padded with 0. Returns false when the
// file cannot be opened or a read error stops it before its end.
bool readObj(ObjMesh& mesh, const char* path);
