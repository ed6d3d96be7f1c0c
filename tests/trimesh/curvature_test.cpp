#include <gtest/gtest.h>

#include <cmath>

#include "mesh_fixtures.h"
#include "trimesh/curvature.h"
#include "trimesh/trimesh.h"

using fixtures::MessageCapture;

namespace {

void expect_orthonormal_frame(const TriMesh& m, size_t i) {
  const Vec3& n = m.normals[i];
  const Vec3& d1 = m.principal_dir1[i];
  const Vec3& d2 = m.principal_dir2[i];
  EXPECT_NEAR(d1.length(), 1.0f, 1e-4) << i;
  EXPECT_NEAR(d2.length(), 1.0f, 1e-4) << i;
  EXPECT_NEAR(d1.dot(d2), 0.0f, 1e-4) << i;
  EXPECT_NEAR(d1.dot(n), 0.0f, 1e-4) << i;
  EXPECT_NEAR(d2.dot(n), 0.0f, 1e-4) << i;
}

}  // namespace

TEST(CurvatureFrames, ProjectingATensorKeepsItsInvariants) {
  // Rotating the frame in the plane keeps trace and determinant of the
  // second fundamental form; projecting back restores it.
  const Vec3 u(1, 0, 0), v(0, 1, 0);
  const float a = 0.3f;
  const Vec3 nu(std::cos(a), std::sin(a), 0), nv(-std::sin(a), std::cos(a), 0);
  float ku, kuv, kv;
  project_curv(u, v, 2.0f, 0.5f, -1.0f, nu, nv, ku, kuv, kv);
  EXPECT_NEAR(ku + kv, 1.0f, 1e-5);
  EXPECT_NEAR(ku * kv - kuv * kuv, -2.25f, 1e-5);
  float bu, buv, bv;
  project_curv(nu, nv, ku, kuv, kv, u, v, bu, buv, bv);
  EXPECT_NEAR(bu, 2.0f, 1e-5);
  EXPECT_NEAR(buv, 0.5f, 1e-5);
  EXPECT_NEAR(bv, -1.0f, 1e-5);

  // A cubic along u: d/du ku = a only. Seen from a frame turned by 90
  // degrees (u' = v, v' = -u) it is d/dv' kv' = -a.
  TriMesh::CurvDeriv d{1.0f, 0.0f, 0.0f, 0.0f}, r;
  project_curv_deriv(u, v, d, v, -u, r);
  EXPECT_NEAR(r[0], 0.0f, 1e-6);
  EXPECT_NEAR(r[1], 0.0f, 1e-6);
  EXPECT_NEAR(r[2], 0.0f, 1e-6);
  EXPECT_NEAR(r[3], -1.0f, 1e-6);
}

TEST(CurvatureFrames, RotateFrameOntoNewNormalAndPrincipalFromTensor) {
  Vec3 ru, rv;
  rotate_frame(Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, -1), ru, rv);
  EXPECT_EQ(ru, Vec3(-1, 0, 0));
  EXPECT_EQ(rv, Vec3(0, -1, 0));
  const Vec3 n = Vec3(0, 1, 1).normalized();
  rotate_frame(Vec3(1, 0, 0), Vec3(0, 1, 0), n, ru, rv);
  EXPECT_NEAR(ru.dot(n), 0.0f, 1e-6);
  EXPECT_NEAR(rv.dot(n), 0.0f, 1e-6);
  EXPECT_NEAR(ru.cross(rv).dot(n), 1.0f, 1e-6);

  // Tensor [[1, 2], [2, 1]] has eigenvalues 3 (along (1,1)) and -1.
  Vec3 d1, d2;
  float k1, k2;
  principal_from_tensor(Vec3(1, 0, 0), Vec3(0, 1, 0), 1.0f, 2.0f, 1.0f, Vec3(0, 0, 1), d1, d2, k1, k2);
  EXPECT_NEAR(k1, 3.0f, 1e-5);
  EXPECT_NEAR(k2, -1.0f, 1e-5);
  EXPECT_NEAR(std::fabs(d1.dot(Vec3(1, 1, 0).normalized())), 1.0f, 1e-5);
  EXPECT_NEAR((d2 - Vec3(0, 0, 1).cross(d1)).length(), 0.0f, 1e-6);
}

TEST(Curvature, SphereHasEqualCurvaturesAndNoDerivatives) {
  MessageCapture cap;
  const float r = 2.0f;
  TriMesh m = fixtures::sphere(3, r);
  m.compute_curvatures();
  m.compute_curv_derivs();
  ASSERT_EQ(m.principal_curv1.size(), m.vertices.size());
  ASSERT_EQ(m.curv_derivs.size(), m.vertices.size());
  for (size_t i = 0; i < m.vertices.size(); i++) {
    // Outward normals: a convex surface curves towards its normal's tail, positive here.
    EXPECT_NEAR(m.principal_curv1[i], 1.0f / r, 0.03f / r) << i;
    EXPECT_NEAR(m.principal_curv2[i], 1.0f / r, 0.03f / r) << i;
    EXPECT_GE(std::fabs(m.principal_curv1[i]), std::fabs(m.principal_curv2[i]));
    for (float d : m.curv_derivs[i]) EXPECT_NEAR(d, 0.0f, 0.05f) << i;
    expect_orthonormal_frame(m, i);
  }
  EXPECT_NE(cap.progress().find("Computing curvatures... Done.\n"), std::string::npos);
  EXPECT_NE(cap.progress().find("Computing dcurv... Done.\n"), std::string::npos);
}

TEST(Curvature, CylinderCurvesAroundItsAxisOnly) {
  MessageCapture cap;
  const float r = 0.5f;
  TriMesh m = fixtures::cylinder(r, 2.0f, 48, 25);
  m.compute_curvatures();
  int checked = 0;
  for (size_t i = 0; i < m.vertices.size(); i++) {
    const float z = m.vertices[i].z;
    if (z < 0.3f || z > 1.7f) continue;  // away from the open ends
    checked++;
    EXPECT_NEAR(std::fabs(m.principal_curv1[i]), 1.0f / r, 0.05f / r) << i;
    EXPECT_NEAR(m.principal_curv2[i], 0.0f, 0.05f) << i;
    // The first direction runs around the axis: perpendicular to z.
    EXPECT_LT(std::fabs(m.principal_dir1[i].z), 0.05f) << i;
    EXPECT_GT(std::fabs(m.principal_dir2[i].z), 0.99f) << i;
  }
  EXPECT_GT(checked, 48 * 10);
}

TEST(Curvature, FlatPatchHasZeroCurvatureAndOrthonormalFrames) {
  MessageCapture cap;
  TriMesh m = fixtures::flat_grid(7, 0.25f);
  // An isolated vertex gets the normal (1, 0, 0) and still a proper frame.
  m.vertices.push_back(Vec3(5, 5, 5));
  m.smooth_curvatures(0.3f);
  EXPECT_EQ(m.normals.back(), Vec3(1, 0, 0));
  m.smooth_curv_derivs(0.3f);
  for (size_t i = 0; i < m.vertices.size(); i++) {
    EXPECT_NEAR(m.principal_curv1[i], 0.0f, 1e-5);
    EXPECT_NEAR(m.principal_curv2[i], 0.0f, 1e-5);
    for (float d : m.curv_derivs[i]) EXPECT_NEAR(d, 0.0f, 1e-4);
    expect_orthonormal_frame(m, i);
  }
}

TEST(Curvature, SmallSigmaSmoothingKeepsEachVertexsOwnTensor) {
  MessageCapture cap;
  TriMesh m = fixtures::cylinder(0.5f, 1.0f, 16, 6);
  // Perturb so that vertices differ from one another.
  for (size_t i = 0; i < m.vertices.size(); i++) m.vertices[i] = m.vertices[i] * (1.0f + 0.02f * (i % 5));
  m.compute_curv_derivs();
  const auto k1 = m.principal_curv1, k2 = m.principal_curv2;
  const auto d1 = m.principal_dir1;
  const auto dc = m.curv_derivs;
  m.smooth_curvatures(1e-4f);  // far below every edge length
  m.smooth_curv_derivs(1e-4f);
  for (size_t i = 0; i < m.vertices.size(); i++) {
    EXPECT_NEAR(m.principal_curv1[i], k1[i], 1e-4f * (1 + std::fabs(k1[i])));
    EXPECT_NEAR(m.principal_curv2[i], k2[i], 1e-4f * (1 + std::fabs(k2[i])));
    EXPECT_NEAR(std::fabs(m.principal_dir1[i].dot(d1[i])), 1.0f, 1e-3f);
    for (int k = 0; k < 4; k++) EXPECT_NEAR(m.curv_derivs[i][k], dc[i][k], 1e-4f * (1 + std::fabs(dc[i][k])));
  }
  EXPECT_EQ(fixtures::count_of(cap.progress(), "Done.  Filtering took "), 2);
}

TEST(Curvature, SmoothingAveragesNeighboursButNotTheOtherSideOfASheet) {
  MessageCapture cap;
  // Two parallel flat sheets 0.01 apart with opposite normals; the top one
  // carries a bump. With a wide sigma the bottom sheet must stay flat: its
  // neighbourhood is connected only through its own faces.
  TriMesh top = fixtures::sphere(2, 1.0f);
  TriMesh m = top;
  m.compute_curvatures();
  const float before = m.principal_curv1[0];
  m.smooth_curvatures(0.5f);
  // A sphere stays a sphere under smoothing (all tensors agree).
  EXPECT_NEAR(m.principal_curv1[0], before, 0.02f);

  // Vertices whose normals face away (the far side of a thin sheet, set up
  // here by turning the normals of one half of a flat patch) never
  // contribute, however close they are and however wide sigma is.
  TriMesh sheet = fixtures::flat_grid(7, 0.25f);
  sheet.compute_curvatures();
  for (size_t i = 0; i < sheet.vertices.size(); i++) {
    if (sheet.vertices[i].x < 0.9f) continue;  // columns 4 to 6
    sheet.normals[i] = Vec3(0, 0, -1);
    sheet.principal_dir2[i] = -sheet.principal_dir2[i];
    sheet.principal_curv1[i] = 5.0f;
    sheet.principal_curv2[i] = 5.0f;
  }
  sheet.smooth_curvatures(1.0f);
  for (size_t i = 0; i < sheet.vertices.size(); i++) {
    if (sheet.vertices[i].x < 0.6f) {
      EXPECT_NEAR(sheet.principal_curv1[i], 0.0f, 1e-5) << i;
    } else if (sheet.vertices[i].x > 0.9f) {
      EXPECT_NEAR(sheet.principal_curv1[i], 5.0f, 1e-4) << i;
    }
  }
  // Column 3 faces up and touches both halves: it averages only the upper one.
  EXPECT_NEAR(sheet.principal_curv1[3], 0.0f, 1e-5);
}

TEST(Curvature, ZeroAreaVerticesStayFinite) {
  MessageCapture cap;
  TriMesh m = fixtures::sphere(1, 1.0f);
  // Collapse one vertex's neighbourhood onto itself: all its faces vanish.
  const Vec3 p = m.vertices[0];
  m.compute_vertex_faces();
  for (int f : m.vertex_faces[0])
    for (int j = 0; j < 3; j++) m.vertices[m.faces[f][j]] = p;
  m.vertex_faces.clear();
  m.smooth_curvatures(0.2f);
  m.smooth_curv_derivs(0.2f);
  for (size_t i = 0; i < m.vertices.size(); i++) {
    EXPECT_TRUE(std::isfinite(m.principal_curv1[i])) << i;
    EXPECT_TRUE(std::isfinite(m.principal_curv2[i])) << i;
    for (float d : m.curv_derivs[i]) EXPECT_TRUE(std::isfinite(d)) << i;
    EXPECT_TRUE(std::isfinite(m.principal_dir1[i].x)) << i;
  }
}
