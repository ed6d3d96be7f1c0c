#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "mesh_fixtures.h"
#include "trimesh/trimesh.h"

using fixtures::MessageCapture;

namespace {

TriMesh triangle(Vec3 a, Vec3 b, Vec3 c) {
  TriMesh m;
  m.vertices = {a, b, c};
  m.faces = {TriMesh::Face(0, 1, 2)};
  return m;
}

// Face with its smallest index first, orientation kept.
TriMesh::Face canonical(TriMesh::Face f) {
  while (f[0] > f[1] || f[0] > f[2]) f = TriMesh::Face(f[1], f[2], f[0]);
  return f;
}

std::vector<std::array<int, 3>> sorted_faces(const std::vector<TriMesh::Face>& faces) {
  std::vector<std::array<int, 3>> out;
  for (auto f : faces) {
    f = canonical(f);
    out.push_back({f[0], f[1], f[2]});
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(TriMeshStrips, SingleTriangleIsOneStripOfThree) {
  MessageCapture cap;
  TriMesh m = triangle(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0));
  m.build_strips();
  ASSERT_EQ(m.strips.size(), 4u);
  EXPECT_EQ(m.strips[0], 3);
  std::vector<TriMesh::Face> unpacked = {TriMesh::Face(m.strips[1], m.strips[2], m.strips[3])};
  EXPECT_EQ(sorted_faces(unpacked), sorted_faces(m.faces));
  EXPECT_NE(cap.progress().find("Done.\n  1 strips (Avg. length 1.0)\n"), std::string::npos) << cap.progress();
  ASSERT_EQ(m.across_faces.size(), 1u);
  EXPECT_EQ(m.across_faces[0], TriMesh::Face(-1, -1, -1));
  EXPECT_EQ(m.faces.size(), 1u);
}

TEST(TriMeshStrips, BuiltStripsUnpackToTheSameOrientedFaces) {
  MessageCapture cap;
  for (TriMesh m : {fixtures::sphere(2, 1.0f), fixtures::cylinder(1.0f, 2.0f, 12, 5), fixtures::flat_grid(6)}) {
    m.build_strips();
    ASSERT_FALSE(m.strips.empty());
    TriMesh copy;
    copy.vertices = m.vertices;
    copy.strips = m.strips;
    copy.compute_faces_from_strips();
    EXPECT_EQ(sorted_faces(copy.faces), sorted_faces(m.faces));
    // The greedy builder must actually join faces into longer strips.
    int nstrips = 0;
    for (size_t i = 0; i < m.strips.size(); i += m.strips[i] + 1) nstrips++;
    EXPECT_LT(nstrips * 2, static_cast<int>(m.faces.size()));
  }
}

TEST(TriMeshStrips, UnpackingAlternatesOrientation) {
  MessageCapture cap;
  TriMesh m;
  m.vertices.resize(5);
  m.strips = {5, 0, 1, 2, 3, 4};
  m.compute_faces_from_strips();
  ASSERT_EQ(m.faces.size(), 3u);
  EXPECT_EQ(m.faces[0], TriMesh::Face(0, 1, 2));
  EXPECT_EQ(m.faces[1], TriMesh::Face(2, 1, 3));
  EXPECT_EQ(m.faces[2], TriMesh::Face(2, 3, 4));
  EXPECT_NE(cap.progress().find("Unpacking triangle strips... Done.\n  3 triangles\n"), std::string::npos);
}

TEST(TriMeshStrips, ReencodeRoundTripsAndIgnoresMalformedLengths) {
  TriMesh m;
  m.strips = {3, 0, 1, 2, 4, 3, 4, 5, 6};
  m.reencode_strips(1);
  EXPECT_EQ(m.strips, (std::vector<int>{0, 1, 2, -1, 3, 4, 5, 6, -1}));
  m.reencode_strips(1);  // already terminated: unchanged
  EXPECT_EQ(m.strips, (std::vector<int>{0, 1, 2, -1, 3, 4, 5, 6, -1}));
  m.reencode_strips(0);
  EXPECT_EQ(m.strips, (std::vector<int>{3, 0, 1, 2, 4, 3, 4, 5, 6}));
  m.reencode_strips(0);  // already length-prefixed: unchanged
  EXPECT_EQ(m.strips, (std::vector<int>{3, 0, 1, 2, 4, 3, 4, 5, 6}));

  // A length running past the end is cut off rather than read past the array.
  TriMesh bad;
  bad.strips = {3, 0, 1, 2, 99, 1};
  bad.reencode_strips(1);
  EXPECT_EQ(bad.strips, (std::vector<int>{0, 1, 2, -1}));
  TriMesh bad2;
  bad2.vertices.resize(3);
  bad2.strips = {3, 0, 1, 2, 99, 1};
  bad2.compute_faces_from_strips();
  EXPECT_EQ(bad2.faces.size(), 1u);
}

TEST(TriMeshAdjacency, NeighboursOnlyAcrossOppositelyWoundEdges) {
  MessageCapture cap;
  TriMesh opposite;
  opposite.vertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(1, 1, 0)};
  opposite.faces = {TriMesh::Face(0, 1, 2), TriMesh::Face(2, 1, 3)};
  opposite.compute_across_faces();
  // Corner 0 of face 0 faces edge 1-2; corner 2 of face 1 faces edge 2-1.
  EXPECT_EQ(opposite.across_faces[0], TriMesh::Face(1, -1, -1));
  EXPECT_EQ(opposite.across_faces[1], TriMesh::Face(-1, -1, 0));

  TriMesh same;
  same.vertices = opposite.vertices;
  same.faces = {TriMesh::Face(0, 1, 2), TriMesh::Face(1, 2, 3)};
  same.compute_across_faces();
  EXPECT_EQ(same.across_faces[0], TriMesh::Face(-1, -1, -1));
  EXPECT_EQ(same.across_faces[1], TriMesh::Face(-1, -1, -1));
}

TEST(TriMeshAdjacency, AcrossFacesAreSymmetricOnAClosedMeshAndWhereThreeFacesMeet) {
  MessageCapture cap;
  TriMesh m = fixtures::sphere(1, 1.0f);
  m.compute_across_faces();
  for (size_t i = 0; i < m.faces.size(); i++) {
    for (int j = 0; j < 3; j++) {
      int f = m.across_faces[i][j];
      ASSERT_GE(f, 0);
      int back = 0;
      for (int k = 0; k < 3; k++) back += m.across_faces[f][k] == static_cast<int>(i);
      EXPECT_GE(back, 1);
    }
  }
  // Three faces on the edge 0-1: only one pair is linked, and the links agree.
  TriMesh fin;
  fin.vertices.resize(5);
  fin.faces = {TriMesh::Face(0, 1, 2), TriMesh::Face(1, 0, 3), TriMesh::Face(1, 0, 4)};
  fin.compute_across_faces();
  EXPECT_EQ(fin.across_faces[0][2], 1);
  EXPECT_EQ(fin.across_faces[1][2], 0);
  EXPECT_EQ(fin.across_faces[2][2], -1);
}

TEST(TriMeshAdjacency, VertexFacesAndNeighboursInFaceOrder) {
  MessageCapture cap;
  TriMesh m;
  m.vertices.resize(4);
  m.faces = {TriMesh::Face(0, 1, 2), TriMesh::Face(2, 1, 3), TriMesh::Face(0, 2, 3)};
  m.compute_vertex_faces();
  EXPECT_EQ(m.vertex_faces[2], (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(m.vertex_faces[3], (std::vector<int>{1, 2}));
  m.compute_neighbors();
  EXPECT_EQ(m.vertex_neighbors[0], (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(m.vertex_neighbors[2], (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(m.vertex_neighbors[3], (std::vector<int>{2, 1, 0}));
}

TEST(TriMeshAdjacency, FacesComeFromStripsWhenMissing) {
  MessageCapture cap;
  TriMesh m;
  m.vertices.resize(4);
  m.strips = {4, 0, 1, 2, 3};
  m.compute_vertex_faces();
  ASSERT_EQ(m.faces.size(), 2u);
  EXPECT_EQ(m.vertex_faces[1], (std::vector<int>{0, 1}));
  // A point cloud has no faces: the face-based operations do nothing.
  TriMesh cloud;
  cloud.vertices.resize(3);
  cloud.compute_vertex_faces();
  cloud.compute_point_areas();
  cloud.compute_curvatures();
  EXPECT_TRUE(cloud.vertex_faces.empty());
  EXPECT_TRUE(cloud.point_areas.empty());
  EXPECT_TRUE(cloud.principal_curv1.empty());
}

TEST(TriMeshPointAreas, EquilateralRightAndObtuseTriangles) {
  MessageCapture cap;
  TriMesh eq = triangle(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0.5f, std::sqrt(3.0f) / 2, 0));
  eq.compute_point_areas();
  const float area = std::sqrt(3.0f) / 4;
  for (int j = 0; j < 3; j++) EXPECT_NEAR(eq.corner_areas[0][j], area / 3, 1e-6);
  for (int j = 0; j < 3; j++) EXPECT_NEAR(eq.point_areas[j], area / 3, 1e-6);

  // Right angle at corner 0: the circumcentre is the hypotenuse's midpoint,
  // so corner 0 gets half the area and the others a quarter each.
  TriMesh right = triangle(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0));
  right.compute_point_areas();
  EXPECT_NEAR(right.corner_areas[0][0], 0.25f, 1e-6);
  EXPECT_NEAR(right.corner_areas[0][1], 0.125f, 1e-6);
  EXPECT_NEAR(right.corner_areas[0][2], 0.125f, 1e-6);

  // Obtuse at corner 2 (area 1): each acute corner keeps the small right
  // triangle cut off by the perpendicular bisector of its edge to the obtuse
  // corner, |edge|^2 tan(angle) / 8; the obtuse corner the rest.
  TriMesh obtuse = triangle(Vec3(0, 0, 0), Vec3(4, 0, 0), Vec3(2, 0.5f, 0));
  obtuse.compute_point_areas();
  const float small = 4.25f * 0.25f / 8.0f;
  EXPECT_NEAR(obtuse.corner_areas[0][0], small, 1e-5);
  EXPECT_NEAR(obtuse.corner_areas[0][1], small, 1e-5);
  EXPECT_NEAR(obtuse.corner_areas[0][2], 1.0f - 2 * small, 1e-5);
}

TEST(TriMeshPointAreas, DegenerateFacesGiveZeroNotNaN) {
  MessageCapture cap;
  TriMesh m = triangle(Vec3(1, 1, 1), Vec3(1, 1, 1), Vec3(1, 1, 1));
  m.vertices.push_back(Vec3(2, 2, 2));
  m.faces.emplace_back(0, 1, 3);  // collinear
  m.compute_point_areas();
  for (float a : m.point_areas) EXPECT_EQ(a, 0.0f);
}

TEST(TriMeshNormals, SphereNormalsPointOutwardAndAreComputedOnce) {
  MessageCapture cap;
  TriMesh m = fixtures::sphere(2, 2.0f, Vec3(1, 0, 0));
  m.compute_normals();
  m.compute_normals();
  EXPECT_EQ(fixtures::count_of(cap.progress(), "Computing normals... "), 1);
  ASSERT_EQ(m.normals.size(), m.vertices.size());
  for (size_t i = 0; i < m.vertices.size(); i++) {
    Vec3 expected = (m.vertices[i] - Vec3(1, 0, 0)).normalized();
    EXPECT_GT(m.normals[i].dot(expected), 0.999f);
    EXPECT_NEAR(m.normals[i].length(), 1.0f, 1e-5);
  }
}

TEST(TriMeshNormals, DegenerateAndIsolatedVerticesGetTheXAxis) {
  MessageCapture cap;
  TriMesh m;
  m.vertices = {Vec3(0, 0, 0), Vec3(0, 0, 0), Vec3(0, 0, 0), Vec3(5, 5, 5)};
  m.faces = {TriMesh::Face(0, 1, 2)};
  m.compute_normals();
  for (const Vec3& n : m.normals) EXPECT_EQ(n, Vec3(1, 0, 0));
}

TEST(TriMeshNormals, PointCloudUsesNeighbourScatterAndFacesUp) {
  MessageCapture cap;
  TriMesh m;
  // A tilted plane z = -x sampled on a 5 x 5 grid.
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 5; x++) m.vertices.push_back(Vec3(x * 0.1f, y * 0.1f, -x * 0.1f));
  m.compute_normals();
  const Vec3 expected = Vec3(1, 0, 1).normalized();
  for (const Vec3& n : m.normals) EXPECT_GT(n.dot(expected), 0.999f);
  EXPECT_EQ(cap.progress().find("Warning"), std::string::npos);

  // Three points: nobody has four neighbours.
  MessageCapture cap2;
  TriMesh few;
  few.vertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 1)};
  few.compute_normals();
  for (const Vec3& n : few.normals) EXPECT_EQ(n, Vec3(0, 0, 1));
  EXPECT_NE(cap2.progress().find("Warning: not enough points for vertex 0\n"), std::string::npos);
  EXPECT_NE(cap2.progress().find("Warning: not enough points for vertex 2\n"), std::string::npos);
}

TEST(TriMeshBounds, BoxMessageAndSphereOfKnownPointSets) {
  testing::internal::CaptureStderr();
  TriMesh m = triangle(Vec3(0, 0, 0), Vec3(2, 0, 0), Vec3(1, 1.5f, 0));
  m.compute_bounding_box();
  m.compute_bounding_box();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Computing bounding box... Done.\n  x = 0 .. 2, y = 0 .. 1.5, z = 0 .. 0\n");
  EXPECT_TRUE(m.bounding_box.valid);

  MessageCapture cap;
  // Acute triangle: the circumcircle, centre (1, 5/12), radius 13/12.
  m.compute_bounding_sphere();
  EXPECT_NEAR(m.bounding_sphere.center.x, 1.0f, 1e-5);
  EXPECT_NEAR(m.bounding_sphere.center.y, 5.0f / 12, 1e-5);
  EXPECT_NEAR(m.bounding_sphere.r, 13.0f / 12, 1e-5);

  // Obtuse: the sphere on the longest side.
  TriMesh o = triangle(Vec3(0, 0, 0), Vec3(10, 0, 0), Vec3(5, 1, 0));
  o.compute_bounding_sphere();
  EXPECT_NEAR(o.bounding_sphere.center.x, 5.0f, 1e-5);
  EXPECT_NEAR(o.bounding_sphere.center.y, 0.0f, 1e-5);
  EXPECT_NEAR(o.bounding_sphere.r, 5.0f, 1e-5);

  TriMesh s = fixtures::sphere(2, 3.0f, Vec3(1, 2, 3));
  s.compute_bounding_sphere();
  EXPECT_NEAR(s.bounding_sphere.r, 3.0f, 1e-4);
  EXPECT_NEAR((s.bounding_sphere.center - Vec3(1, 2, 3)).length(), 0.0f, 1e-4);
}

TEST(TriMeshBounds, SphereEnclosesRandomPointsTightly) {
  MessageCapture cap;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int trial = 0; trial < 20; trial++) {
    TriMesh m;
    int n = 5 + trial * 50;
    for (int i = 0; i < n; i++) m.vertices.push_back(Vec3(u(rng), 0.5f * u(rng), 2.0f * u(rng)));
    m.compute_bounding_sphere();
    const auto& bs = m.bounding_sphere;
    int on_boundary = 0;
    for (const Vec3& p : m.vertices) {
      float d = (p - bs.center).length();
      EXPECT_LE(d, bs.r * (1 + 1e-5f));
      if (d > bs.r * (1 - 1e-4f)) on_boundary++;
    }
    // The smallest sphere touches at least two points and is no larger than
    // the sphere around the box.
    EXPECT_GE(on_boundary, 2);
    m.compute_bounding_box();
    EXPECT_LE(bs.r, 0.5f * m.bounding_box.size().length() * (1 + 1e-6f));
  }
}

TEST(TriMeshMessages, VerbosityZeroSilencesProgressButNotErrors) {
  MessageCapture cap;
  TriMesh::set_verbose(0);
  TriMesh m = fixtures::flat_grid(3);
  m.compute_normals();
  auto missing = TriMesh::read("/nonexistent/dir/file.off");
  TriMesh::set_verbose(1);
  EXPECT_EQ(missing, nullptr);
  EXPECT_TRUE(cap.progress().empty());
  EXPECT_NE(cap.errors().find("Error opening [/nonexistent/dir/file.off] for reading: No such file or directory.\n"),
            std::string::npos);
}

TEST(TriMeshGrid, GridCellsBecomeTrianglesWhenFacesAreNeeded) {
  MessageCapture cap;
  TriMesh m;
  // 3 x 2 grid with one hole: the full cell gives two triangles, the cell
  // with three vertices one.
  m.vertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(2, 0, 0), Vec3(0, 1, 0), Vec3(1, 1, 0)};
  m.grid = {0, 1, 2, 3, 4, -1};
  m.grid_width = 3;
  m.grid_height = 2;
  m.compute_normals();
  ASSERT_EQ(m.faces.size(), 3u);
  for (const Vec3& n : m.normals) EXPECT_NEAR(std::fabs(n.z), 1.0f, 1e-6);
  // A grid that claims more cells than it has is ignored.
  TriMesh bad;
  bad.vertices.resize(2);
  bad.grid = {0, 1};
  bad.grid_width = 100;
  bad.grid_height = 100;
  bad.grid_to_faces();
  EXPECT_TRUE(bad.faces.empty());
}

TEST(TriMeshChain, DerivativesFirstEnsureEverythingTheyNeedInOrder) {
  MessageCapture cap;
  TriMesh m = fixtures::sphere(1, 1.0f);
  m.compute_curv_derivs();
  const std::string& p = cap.progress();
  const size_t normals = p.find("Computing normals... "), areas = p.find("Computing point areas... "),
               curv = p.find("Computing curvatures... "), dcurv = p.find("Computing dcurv... ");
  ASSERT_NE(dcurv, std::string::npos);
  EXPECT_LT(normals, areas);
  EXPECT_LT(areas, curv);
  EXPECT_LT(curv, dcurv);
  EXPECT_EQ(m.normals.size(), m.vertices.size());
  EXPECT_EQ(m.point_areas.size(), m.vertices.size());
  EXPECT_EQ(m.corner_areas.size(), m.faces.size());
  // Asking again computes nothing.
  const size_t before = p.size();
  m.compute_curv_derivs();
  m.compute_curvatures();
  m.compute_point_areas();
  m.build_strips();
  m.build_strips();
  EXPECT_EQ(fixtures::count_of(cap.progress().substr(before), "Building triangle strips"), 1);
  EXPECT_EQ(fixtures::count_of(cap.progress().substr(before), "Computing"), 0);
}
