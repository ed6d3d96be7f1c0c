#pragma once

#include <QString>
#include <QVector>
#include <memory>

#include "engine/vec3.h"

class TriMesh;

// Mesh formats read through the assimp library (PLY, STL, glTF / GLB and the
// rest of what the installed library knows); OFF and OBJ keep their own
// readers.

// True when the file's extension is one the library reads and it is neither
// ".off" nor ".obj" (compared without regard to case).
bool isAssimpModelPath(const QString& path);

// "*.ply *.stl ..." : every extension of isAssimpModelPath, for a file
// dialog's filter.
QString assimpModelPatterns();

// Reads every triangle of the file into one indexed mesh: polygons are
// triangulated, node transforms applied, and vertices at identical positions
// joined, so the faces share their corners as in an OFF file. Points and
// lines are skipped. Returns false with a one-line reason in `error` when the
// path is not a readable regular file, the library cannot read it, a
// coordinate is not finite, or the file holds no triangle.
bool readAssimpMesh(const QString& path, QVector<Vec3>& vertices, QVector<QVector<int>>& faces, QString& error);

// The curvature mesh of an indexed triangle mesh, without derived data
// (faces with an index outside the vertex list are left out).
std::unique_ptr<TriMesh> triMeshFromGeometry(const QVector<Vec3>& vertices, const QVector<QVector<int>>& faces);
