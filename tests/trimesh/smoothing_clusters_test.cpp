// The fast curvature filter's clusters: what may share one, and how they join.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "mesh_fixtures.h"
#include "trimesh/smoothing_clusters.h"

using smoothing_clusters::Clusters;
using smoothing_clusters::make_clusters;

TEST(SmoothingClusters, KeepSheetsAndFacingsApartAndJoinWhereEdgesDo) {
  fixtures::MessageCapture quiet;
  // A sphere and a copy scaled by 1.004: twin vertices share grid cells but
  // no edge. One vertex of the copy is broken.
  TriMesh m = fixtures::sphere(4, 1.0f);
  const int n = int(m.vertices.size());
  const size_t faces = m.faces.size();
  for (int i = 0; i < n; ++i) m.vertices.push_back(m.vertices[size_t(i)] * 1.004f);
  for (size_t f = 0; f < faces; ++f) m.faces.emplace_back(m.faces[f][0] + n, m.faces[f][1] + n, m.faces[f][2] + n);
  m.vertices[size_t(n) + 7] = Vec3(std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f);
  m.compute_normals();
  m.compute_point_areas();
  m.compute_curvatures();
  m.compute_neighbors();

  const float sigma = 0.2f / kSmoothingCellFraction;  // cells of 0.2: many vertices each
  const Clusters c = make_clusters(m, sigma);
  ASSERT_GT(c.count, 0);
  ASSERT_LT(c.count, n);  // clusters of several vertices
  EXPECT_EQ(c.of_vertex[size_t(n) + 7], -1);

  std::vector<int> seen(m.vertices.size(), 0);
  for (int k = 0; k < c.count; ++k) {
    ASSERT_GE(c.size(k), 1);
    const int first = c.first(k);
    const bool copy = first >= n;
    for (int q = c.member_offset[size_t(k)]; q < c.member_offset[size_t(k) + 1]; ++q) {
      const int i = c.members[size_t(q)];
      ++seen[size_t(i)];
      EXPECT_EQ(c.of_vertex[size_t(i)], k);
      EXPECT_EQ(i >= n, copy) << "the two sheets share cluster " << k;
      // Same facing: the largest normal component on the same axis and side.
      const Vec3& a = m.normals[size_t(i)];
      const Vec3& b = m.normals[size_t(first)];
      const auto axis = [](const Vec3& v) {
        const float x = std::fabs(v.x), y = std::fabs(v.y), z = std::fabs(v.z);
        return x >= y && x >= z ? (v.x < 0 ? 1 : 0) : (y >= z ? (v.y < 0 ? 3 : 2) : (v.z < 0 ? 5 : 4));
      };
      EXPECT_EQ(axis(a), axis(b));
      // Within one cell of the centroid (the cell's diagonal).
      EXPECT_LT((m.vertices[size_t(i)] - c.centroid[size_t(k)]).length(), 0.2f * std::sqrt(3.0f) * 1.001f);
    }
  }
  for (int i = 0; i < int(m.vertices.size()); ++i) EXPECT_EQ(seen[size_t(i)], i == n + 7 ? 0 : 1) << i;

  // Two clusters are adjacent exactly where a mesh edge joins their members.
  std::set<std::pair<int, int>> byEdges, byAdjacency;
  for (int i = 0; i < int(m.vertices.size()); ++i)
    for (int j : m.vertex_neighbors[size_t(i)]) {
      const int a = c.of_vertex[size_t(i)], b = c.of_vertex[size_t(j)];
      if (a >= 0 && b >= 0 && a != b) byEdges.insert({a, b});
    }
  for (int k = 0; k < c.count; ++k)
    for (int e = c.adj_offset[size_t(k)]; e < c.adj_offset[size_t(k) + 1]; ++e)
      EXPECT_TRUE(byAdjacency.insert({k, c.adj[size_t(e)]}).second) << "listed twice";
  EXPECT_EQ(byAdjacency, byEdges);
}
