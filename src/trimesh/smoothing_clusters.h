#pragma once

// The clusters of the fast curvature filter (clustered_smoothing.cpp).
//
// Clustering, in one pass and a sort: a vertex's cluster is its cell of a
// grid of kSmoothingCellFraction * sigma together with the axis direction its
// normal faces most (six ways), so that the two sides of a thin sheet never
// share a cluster, and the piece of mesh that joins it to the cell's other
// vertices inside the cell, so that sheets or folds that only pass through
// the same cell stay apart. Clusters are joined where a mesh edge joins their
// members.

#include <vector>

#include "trimesh/trimesh.h"

namespace smoothing_clusters {

// The clusters of a mesh at one width, with their adjacency. A cluster of a
// single vertex stands for that vertex exactly: its own position, normal,
// area and principal frame, so that where every cluster is a single vertex
// (coarse meshes) the filter gives the exact filter's floats.
struct Clusters {
  int count = 0;
  std::vector<int> of_vertex;  // -1: the vertex is in none (non-finite data)
  std::vector<int> member_offset, members;
  std::vector<Vec3> centroid;  // area-weighted (plain mean without area)
  std::vector<Vec3> normal;    // area-weighted mean normal, not unit
  std::vector<float> area;
  std::vector<Vec3> u, v, uxv;  // the frame the cluster's tensor is given in
  // Per cluster, the clusters its members' mesh edges reach, in the order
  // the members' neighbour lists first name them.
  std::vector<int> adj_offset, adj;

  int size(int k) const { return member_offset[size_t(k) + 1] - member_offset[size_t(k)]; }
  int first(int k) const { return members[size_t(member_offset[size_t(k)])]; }
};

// Clusters the vertices of m (normals, point areas, principal directions and
// neighbour lists computed) in cells of kSmoothingCellFraction * sigma.
// Vertices with a non-finite position or normal are in no cluster. A sigma
// that is not positive and finite, or too small for the grid's keys, gives
// the coarsest cells that fit. O(vertices log vertices + edges).
Clusters make_clusters(const TriMesh& m, float sigma);

}  // namespace smoothing_clusters
