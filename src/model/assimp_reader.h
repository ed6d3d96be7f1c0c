#pragma once

#include <QString>
#include <QVector>
#include <memory>

#include "engine/vec3.h"
#include "model/render_face.h"

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

// What one file may make the reader build, far above any real scan (a few
// million triangles): node instances (a node listing the same child twice
// instances it twice, so a small file can ask for exponentially many) and
// triangles over all mesh instances.
constexpr long long kAssimpMaxNodeInstances = 100000;
constexpr long long kAssimpMaxTriangles = 20000000;

// Reads every triangle of the file into one indexed mesh: polygons are
// triangulated, node transforms applied, and vertices at identical positions
// joined, so the faces share their corners as in an OFF file. Points and
// lines are skipped. Returns false with a one-line reason in `error` when the
// path is not a readable regular file, the library cannot read it, a
// coordinate is not finite, the file holds no triangle, or it would make
// more node instances or triangles than the budgets above. `outOfMemory`
// (optional) tells whether the library ran out of memory.
//
// This runs the library in the calling process, where a hostile file can
// crash or hang it: the program reads through readForeignMesh
// (model/foreign_read.h), which runs this in a child process.
bool readAssimpMesh(const QString& path, QVector<Vec3>& vertices, RenderFaces& faces, QString& error,
                    bool* outOfMemory = nullptr);

// The curvature mesh of an indexed triangle mesh, without derived data
// (faces with an index outside the vertex list are left out).
std::unique_ptr<TriMesh> triMeshFromGeometry(const QVector<Vec3>& vertices, const RenderFaces& faces);
