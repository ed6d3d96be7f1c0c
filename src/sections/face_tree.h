#pragma once

#include <QVector>
#include <memory>
#include <vector>

#include "engine/vec3.h"
#include "model/render_face.h"

class RenderMesh;

// Bounding-volume tree over the faces of a render mesh, for finding the faces
// a plane may cut without testing every face. Faces with fewer than three
// indices, indices outside the vertex list or a non-finite corner are left
// out: they never give a crossing.
class FaceTree {
 public:
  FaceTree(const QVector<Vec3>& vertices, const RenderFaces& faces);

  // Appends to `out`, in increasing order, every face whose corners are not
  // all farther than a rounding margin on one side of the plane
  // { x : normal . (x - point) = 0 }. Any face for which the crossing test
  // can report a crossing is among them. Returns false (nothing appended)
  // when the plane has non-finite or huge numbers; callers then test every
  // face.
  bool candidateFaces(const Vec3& normal, const Vec3& point, std::vector<int>& out) const;

  // The rounding margin of candidateFaces for this plane: a face whose three
  // signed distances normal . (corner - point), computed in single
  // precision, all exceed it on one side cannot cross.
  double margin(const Vec3& normal, const Vec3& point) const;

  int faceCount() const { return faceCount_; }

 private:
  struct Node {
    float lo[3], hi[3];
    // Leaf: faces_[a, a + b); inner node: children a and b.
    bool leaf = false;
    int a = 0;
    int b = 0;
  };
  int build(std::vector<int>& order, std::vector<float>& centres, std::vector<float>& boxes, int begin, int end);

  std::vector<Node> nodes_;
  std::vector<int> faces_;
  double scale_ = 0.0;  // largest absolute vertex coordinate
  int faceCount_ = 0;
  int maxFace_ = 0;  // largest face index in the tree
};

// The tree of the mesh's current geometry, built on first use and shared by
// every caller (any thread) until the mesh changes (RenderMesh::revision).
std::shared_ptr<const FaceTree> faceTreeFor(const RenderMesh& mesh);
