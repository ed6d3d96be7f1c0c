#include <gtest/gtest.h>

#include <cmath>

#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

// The eight corners of the box [-a,a] x [-b,b] x [-c,c] shifted by `o`, with
// two triangles so the mesh is not a bare point set.
void setBox(Sorvex& engine, float a, float b, float c, const Vec3& o = Vec3()) {
  QVector<Vec3> v;
  for (int i = 0; i < 8; ++i) v.append(o + Vec3(i & 1 ? a : -a, i & 2 ? b : -b, i & 4 ? c : -c));
  engine.renderMesh->setGeometry(v, {{0, 1, 2}, {4, 5, 6}});
}

}  // namespace

TEST(GlobalFeatures, XYZPlanesOfACentredModelPassThroughTheOrigin) {
  Sorvex engine(nullptr);
  setBox(engine, 1, 2, 3);
  engine.extractGlobalXYZ();
  ASSERT_EQ(engine.globalXYZPlanes.size(), 3);
  const Vec3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
  const Vec3 normals[3] = {x, y, z}, r1s[3] = {y, z, x}, r2s[3] = {z, x, y};
  for (int k = 0; k < 3; ++k) {
    const CutPlane& p = engine.globalXYZPlanes[k];
    EXPECT_EQ(p.normal, normals[k]);
    EXPECT_EQ(p.r1, r1s[k]);
    EXPECT_EQ(p.r2, r2s[k]);
    EXPECT_EQ(p.d, 0.0f);
    EXPECT_EQ(p.point, Vec3(0, 0, 0));
    EXPECT_EQ(p.handles[0], Vec3(0, 0, 0));
  }
}

TEST(GlobalFeatures, XYZPlanesKeepANegativeOffset) {
  Sorvex engine(nullptr);
  setBox(engine, 1, 1, 1, Vec3(-2, 0.5f, 3));
  engine.extractGlobalXYZ();
  ASSERT_EQ(engine.globalXYZPlanes.size(), 3);
  EXPECT_FLOAT_EQ(engine.globalXYZPlanes[0].d, -2.0f);
  EXPECT_EQ(engine.globalXYZPlanes[0].normal, Vec3(1, 0, 0));  // not flipped
  EXPECT_FLOAT_EQ(engine.globalXYZPlanes[1].d, 0.5f);
  EXPECT_FLOAT_EQ(engine.globalXYZPlanes[2].d, 3.0f);
}

TEST(GlobalFeatures, PCAOfABoxFollowsItsLongSideWithUnitNormals) {
  // A 3:1:1 box: the largest vertex distance from the centroid, sqrt(11),
  // equals the render radius (half the box diagonal), so normals are unit.
  Sorvex engine(nullptr);
  setBox(engine, 3, 1, 1, Vec3(0.5f, -0.25f, 1));
  engine.extractGlobalPCA();
  ASSERT_EQ(engine.globalPCAPlanes.size(), 3);
  const CutPlane& first = engine.globalPCAPlanes[0];
  EXPECT_NEAR(std::fabs(first.normal.x), 1.0f, 1e-5f);
  for (const CutPlane& p : engine.globalPCAPlanes) {
    EXPECT_NEAR(p.normal.length(), 1.0f, 1e-5f);
    EXPECT_NEAR(p.r1.length(), 1.0f, 1e-5f);
    EXPECT_NEAR((p.point - Vec3(0.5f, -0.25f, 1)).length(), 0.0f, 1e-5f);
    EXPECT_NEAR(p.d, p.normal.dot(p.point), 1e-5f);
    EXPECT_NEAR(p.normal.dot(p.r1), 0.0f, 1e-5f);
  }
  // Plane k's in-plane axes are the next two principal directions.
  EXPECT_NEAR((engine.globalPCAPlanes[0].r1 - engine.globalPCAPlanes[1].normal).length(), 0.0f, 1e-5f);
  EXPECT_NEAR((engine.globalPCAPlanes[0].r2 - engine.globalPCAPlanes[2].normal).length(), 0.0f, 1e-5f);
  EXPECT_NEAR(first.normal.cross(first.r1).dot(first.r2), 1.0f, 1e-5f);  // right-handed
}

TEST(GlobalFeatures, PCANormalsAreScaledByLargestDistanceOverRadius) {
  // Tetrahedron corners: centroid (1/4, 1/4, 1/4), largest distance
  // sqrt(0.6875), render radius sqrt(3) / 2.
  Sorvex engine(nullptr);
  engine.renderMesh->setGeometry({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2}});
  engine.extractGlobalPCA();
  ASSERT_EQ(engine.globalPCAPlanes.size(), 3);
  const float scale = std::sqrt(0.6875f) / (std::sqrt(3.0f) / 2.0f);
  for (const CutPlane& p : engine.globalPCAPlanes) {
    EXPECT_NEAR(p.normal.length(), scale, 1e-5f);
    EXPECT_NEAR(p.d, p.normal.dot(Vec3(0.25f, 0.25f, 0.25f)), 1e-5f);
  }
}

TEST(GlobalFeatures, EmptyMeshOrDisabledFamiliesGiveNoPlanes) {
  Sorvex engine(nullptr);
  engine.globalXYZPlanes.append(CutPlane());
  engine.globalPCAPlanes.append(CutPlane());
  engine.extractGlobalXYZ();  // no vertices yet
  engine.extractGlobalPCA();
  EXPECT_TRUE(engine.globalXYZPlanes.isEmpty());
  EXPECT_TRUE(engine.globalPCAPlanes.isEmpty());

  setBox(engine, 1, 1, 1);
  engine.featureEnabled[FeatureGlobalXYZ] = false;
  engine.featureEnabled[FeatureGlobalPCA] = false;
  engine.extractGlobalXYZ();
  engine.extractGlobalPCA();
  EXPECT_TRUE(engine.globalXYZPlanes.isEmpty());
  EXPECT_TRUE(engine.globalPCAPlanes.isEmpty());

  // A model collapsed to one point has no extent to scale by.
  engine.featureEnabled[FeatureGlobalPCA] = true;
  engine.renderMesh->setGeometry({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, {{0, 1, 2}});
  engine.extractGlobalPCA();
  EXPECT_TRUE(engine.globalPCAPlanes.isEmpty());
}
