#pragma once

#include <vector>

#include "engine/vec3.h"

// Squared Euclidean distance from p to the closed triangle (a, b, c), in
// double precision: the distance to the triangle's plane when p projects
// inside it, otherwise the smallest distance to its three edges. A
// degenerate triangle (collinear or coincident corners) is the segment or
// point it collapses to. NaN when a coordinate is not finite.
double pointTriangleSquaredDistance(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c);

// Squared distance from p to the closed segment (a, b); a point when a == b.
double pointSegmentSquaredDistance(const Vec3& p, const Vec3& a, const Vec3& b);

// Bounding-volume tree over a fixed set of triangles for the question "how
// far is the nearest triangle, if it is within reach": boxes split at the
// median of the triangle centres along their longest side, four triangles
// a leaf at most. Building is O(n log n); a query descends only into boxes
// within reach of the point, nearest box first, so it costs about
// O(log n) plus the triangles near the point. Triangles with a non-finite
// corner are left out.
class TriangleDistanceTree {
 public:
  // `corners` holds three corners per triangle (a trailing partial triangle
  // is ignored).
  explicit TriangleDistanceTree(const std::vector<Vec3>& corners);

  // Distance (model units) from p to the nearest triangle when it is at most
  // `reach`; otherwise, and for an empty tree or a non-finite p, +infinity.
  double nearestWithin(const Vec3& p, double reach) const;

  int triangleCount() const { return int(triangles_.size()); }

 private:
  struct Triangle {
    Vec3 a, b, c;
  };
  struct Node {
    double lo[3], hi[3];
    // Leaf: triangles_[first, first + count); inner node: children `first`
    // and `first + 1` (count == 0).
    int first = 0;
    int count = 0;
  };
  double boxSquaredDistance(const Node& node, const Vec3& p) const;

  std::vector<Triangle> triangles_;
  std::vector<Node> nodes_;
};
