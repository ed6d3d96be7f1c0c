#include <gtest/gtest.h>

#include <QtGlobal>
#include <cmath>

#include "meshedit/noise.h"
#include "model/render_mesh.h"
#include "support/meshedit_support.h"

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void seed(uint s) { qsrand(s); }
#pragma GCC diagnostic pop

RenderMesh sphereMesh() {
  const meshedit::Mesh m = meshedit::uvSphere(1.0f, 24, 16);
  RenderMesh mesh;
  mesh.setGeometry(m.vertices, m.faces);
  mesh.flipFaceNormals();
  return mesh;
}

}  // namespace

TEST(GaussianSample, StaysWithinTheBoundsWithUnitScale) {
  // Twenty uniforms on [0, 1] sum to [0, 20]: every sample lies within
  // mean +- sigma * 0.7745967 * 10, and the scale makes sigma the standard
  // deviation.
  seed(1234);
  const int n = 20000;
  double sum = 0, sumSq = 0, largest = 0;
  for (int i = 0; i < n; ++i) {
    const float s = gaussianSample(5.0f, 0.001f);
    ASSERT_LE(std::fabs(s - 5.0f), 0.001f * 7.745967f + 1e-6f);
    sum += s - 5.0;
    sumSq += (s - 5.0) * (s - 5.0);
    largest = std::max(largest, std::fabs(double(s) - 5.0));
  }
  const double mean = sum / n, sd = std::sqrt(sumSq / n - mean * mean);
  EXPECT_NEAR(mean, 0.0, 5e-5);
  EXPECT_NEAR(sd, 0.001, 0.05e-3);
  EXPECT_GT(largest, 0.002);  // the tails are there, not a narrow band
}

TEST(Noisify, MovesEveryVertexWithinTheBoundsAndKeepsFaces) {
  RenderMesh mesh = sphereMesh();
  const QVector<Vec3> before = mesh.vertices();
  const RenderFaces faces = mesh.faces();
  seed(99);
  noisifyMesh(mesh);
  ASSERT_EQ(mesh.vertices().size(), before.size());
  EXPECT_EQ(mesh.faces(), faces);
  int moved = 0;
  for (int i = 0; i < before.size(); ++i) {
    const Vec3 d = mesh.vertices()[i] - before[i];
    for (int a = 0; a < 3; ++a) EXPECT_LE(std::fabs(d[a]), 0.0077460f);
    moved += d != Vec3();
  }
  EXPECT_EQ(moved, before.size());
}

TEST(Noisify, RepeatsFromTheSameGeneratorState) {
  RenderMesh a = sphereMesh(), b = sphereMesh(), c = sphereMesh();
  seed(42);
  noisifyMesh(a);
  seed(42);
  noisifyMesh(b);
  seed(43);
  noisifyMesh(c);
  EXPECT_EQ(a.vertices(), b.vertices());
  EXPECT_NE(a.vertices(), c.vertices());

  // The draws go x, y, z per vertex in index order: vertex 0 takes the first
  // three samples of the sequence.
  RenderMesh d = sphereMesh();
  const Vec3 p = d.vertices()[0];
  seed(42);
  const float dx = gaussianSample(0, 0.001f), dy = gaussianSample(0, 0.001f), dz = gaussianSample(0, 0.001f);
  EXPECT_EQ(a.vertices()[0], Vec3(p.x + dx, p.y + dy, p.z + dz));
}

TEST(Noisify, NormalsPointOutwardsAsAfterLoading) {
  RenderMesh mesh = sphereMesh();
  seed(5);
  noisifyMesh(mesh);
  noisifyMesh(mesh);  // cumulative
  ASSERT_EQ(mesh.faceNormals().size(), mesh.faces().size());
  for (int i = 0; i < mesh.faces().size(); ++i) {
    const Vec3 p0 = mesh.corner(i, 0), p1 = mesh.corner(i, 1), p2 = mesh.corner(i, 2);
    const Vec3 expected = (p1 - p0).cross(p2 - p0).normalized();
    EXPECT_NEAR((mesh.faceNormals()[i] - expected).length(), 0.0f, 1e-5f);
    EXPECT_GT(mesh.faceNormals()[i].dot(p0 + p1 + p2), 0.0f);  // outwards on a sphere round the origin
  }
  // Bounds follow the moved vertices.
  float top = -1e9f;
  for (const Vec3& v : mesh.vertices()) top = std::max(top, v.z);
  EXPECT_EQ(mesh.bboxMax().z, top);
}
