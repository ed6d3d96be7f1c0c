#pragma once

#include <QSet>
#include <QVector>
#include <atomic>
#include <cstdint>

#include "engine/vec3.h"

// The system's own indexed triangle mesh: the mesh that is drawn, cut by
// section planes, edited and exported. Faces hold vertex indices; every
// derived quantity uses the first three of them.
class RenderMesh {
 public:
  RenderMesh() = default;

  // Replaces the geometry and recomputes the derived data. Faces with fewer
  // than three indices or with indices outside the vertex list are dropped so
  // that nothing downstream indexes out of range.
  void setGeometry(const QVector<Vec3>& vertices, const QVector<QVector<int>>& faces);

  // Recomputes face normals, bounds, centre, radius and neighbour sets.
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
    return vertices_;
  }
  QVector<QVector<int>>& mutableFaces() {
    revision_ = nextRevision();
    return faces_;
  }

  const QVector<Vec3>& vertices() const { return vertices_; }
  const QVector<QVector<int>>& faces() const { return faces_; }
  const QVector<Vec3>& faceNormals() const { return faceNormals_; }
  const QVector<QSet<int>>& neighbours() const { return neighbours_; }
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

  uint64_t revision_ = nextRevision();
  QVector<Vec3> vertices_;
  QVector<QVector<int>> faces_;
  QVector<Vec3> faceNormals_;
  QVector<QSet<int>> neighbours_;
  float radius_ = 1.0f;
  Vec3 centre_{0.0f, 1.0f, 0.0f};
  Vec3 bboxMin_{-1.0f, 0.0f, -1.0f};
  Vec3 bboxMax_{1.0f, 2.0f, 1.0f};
};

// Reads an OFF file, appending to the given lists. Returns false when the file
// cannot be opened, and also when a face refers to a vertex that is not in the
// file (such a file is treated as unreadable; the lists are then unchanged).
bool readOff(const char* path, QVector<Vec3>& vertices, QVector<QVector<int>>& faces);
