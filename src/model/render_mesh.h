#pragma once

#include <QSet>
#include <QVector>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/vec3.h"
#include "model/render_face.h"

// The system's own indexed triangle mesh: the mesh that is drawn, cut by
// section planes, edited and exported. Each face is a triangle of three
// vertex indices, stored inline in one flat array.
class RenderMesh {
 public:
  RenderMesh() = default;

  // Replaces the geometry and recomputes the derived data. Faces with
  // indices outside the vertex list are dropped so that nothing downstream
  // indexes out of range.
  void setGeometry(const QVector<Vec3>& vertices, const RenderFaces& faces);
  // The same from flat arrays: three vertex indices per face, back to back
  // (a last incomplete face is ignored).
  void setTriangleGeometry(const QVector<Vec3>& vertices, const QVector<int>& triangles);

  // Recomputes face normals, bounds, centre and radius; the neighbour sets
  // follow on their first use.
  // Face normals are (p0 - p1) x (p2 - p1), normalised (inward for
  // counter-clockwise faces); a degenerate face gets (0, 0, 0). A mesh without
  // vertices keeps the default bounds.
  void updateDerivedData();

  // Changes (to a value no mesh had before) whenever the geometry may have
  // changed; a copy keeps it, having the same geometry. Caches of data
  // derived from the geometry are keyed on it.
  uint64_t revision() const { return revision_; }

  // Negates every face normal.
  void flipFaceNormals();

  // Direct write access for the mesh editing operations; call
  // updateDerivedData afterwards.
  QVector<Vec3>& mutableVertices() {
    revision_ = nextRevision();
    neighbours_ = std::make_shared<NeighbourSets>();
    return vertices_;
  }
  RenderFaces& mutableFaces() {
    revision_ = nextRevision();
    neighbours_ = std::make_shared<NeighbourSets>();
    return faces_;
  }

  const QVector<Vec3>& vertices() const { return vertices_; }
  const RenderFaces& faces() const { return faces_; }
  const QVector<Vec3>& faceNormals() const { return faceNormals_; }
  // For each vertex, the vertices sharing a face with it. Built from the
  // faces on the first call after the geometry changed (any thread; calls
  // meanwhile wait for it), as only mesh editing asks for them.
  const QVector<QSet<int>>& neighbours() const;
  float radius() const { return radius_; }
  Vec3 centre() const { return centre_; }
  Vec3 bboxMin() const { return bboxMin_; }
  Vec3 bboxMax() const { return bboxMax_; }

  // Positions of the first three corners of face f.
  Vec3 corner(int f, int c) const { return vertices_[faces_[f][c]]; }

 private:
  static uint64_t nextRevision() {
    static std::atomic<uint64_t> counter{0};
    return ++counter;
  }

  // The neighbour sets of one geometry, built once; copies of the mesh share
  // them until either changes its geometry.
  struct NeighbourSets {
    std::once_flag built;
    QVector<QSet<int>> sets;
  };

  uint64_t revision_ = nextRevision();
  QVector<Vec3> vertices_;
  RenderFaces faces_;
  QVector<Vec3> faceNormals_;
  std::shared_ptr<NeighbourSets> neighbours_ = std::make_shared<NeighbourSets>();
  float radius_ = 1.0f;
  Vec3 centre_{0.0f, 1.0f, 0.0f};
  Vec3 bboxMin_{-1.0f, 0.0f, -1.0f};
  Vec3 bboxMax_{1.0f, 2.0f, 1.0f};
};

// Whether the centre and radius a RenderMesh derives from these vertices are
// finite numbers: every coordinate finite, and the box diagonal, taken in
// single precision as the render mesh takes it, below the float range (about
// 1.8e19). A model without finite ones cannot be framed or cut.
bool hasFiniteBounds(const QVector<Vec3>& vertices);

// Whether the render-mesh geometry read from `path` can be installed next to
// the mesh library's reading of the same file, which found
// `libraryVertexCount` vertices: the two readers must agree on the vertex
// count and the bounds must be finite (hasFiniteBounds). Writes the reason
// to the debug log when not.
bool renderGeometryFits(const char* path, const QVector<Vec3>& vertices, size_t libraryVertexCount);

// Reads an OFF file, appending to the given lists. The header is the first
// line starting with "O"; the vertex and face counts follow on that line or
// on the next line that is not blank or a comment. Each vertex is three
// numbers (the rest of its line is skipped), each face a corner count, the
// corners and anything up to the end of its line; a face becomes the triangle
// of its first three corners, and one with fewer corners gives none. Indices
// that cover exactly the vertex count but start elsewhere (typically at 1) are
// shifted to start at 0, as the mesh library does. Numbers are read in the "C"
// locale; lines can be of any length and cost time linear in it.
// Returns false, leaving the lists unchanged, when the file cannot be opened
// or is not a regular file, when a vertex or face cannot be read, and when a
// face refers to a vertex that is not in the file (including indices outside
// the int range). A file without a header line gives true and no geometry.
bool readOff(const char* path, QVector<Vec3>& vertices, RenderFaces& faces);
