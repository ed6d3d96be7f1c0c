#include <gtest/gtest.h>

#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

SectionPlane planeAt(float d) {
  SectionPlane p;
  p.normal = Vec3(1, 0, 0);
  p.d = d;
  return p;
}

}  // namespace

TEST(Engine, StartsWithEveryFeatureEnabledAndNoCurrentPlane) {
  Sorvex engine(nullptr);
  for (int t = 0; t < kFeatureTypeCount; ++t) EXPECT_TRUE(engine.featureEnabled[t]);
  EXPECT_EQ(engine.currentPlane, 2147483647);
  EXPECT_STREQ(engine.featureTypeNames[0], "Segment PCA Planes");
  EXPECT_STREQ(engine.featureTypeNames[9], "Symmetric Support");
  EXPECT_TRUE(engine.planes.isEmpty());
  ASSERT_NE(engine.renderMesh, nullptr);
  EXPECT_FLOAT_EQ(engine.modelRadius(), 1.0f);
}

TEST(Engine, PlaneListOperations) {
  Sorvex engine(nullptr);
  engine.addPlane(planeAt(0.1f));
  EXPECT_EQ(engine.currentPlane, 0);
  engine.addPlane(planeAt(0.2f));
  engine.addPlane(planeAt(0.3f));
  EXPECT_EQ(engine.currentPlane, 2);

  // Erasing an index outside the list removes nothing but still makes the
  // last plane current.
  engine.selectPlane(0);
  engine.erasePlane(7);
  EXPECT_EQ(engine.planes.size(), 3);
  EXPECT_EQ(engine.currentPlane, 2);
  engine.erasePlane(-1);
  EXPECT_EQ(engine.planes.size(), 3);

  engine.erasePlane(1);
  ASSERT_EQ(engine.planes.size(), 2);
  EXPECT_FLOAT_EQ(engine.planes[0].d, 0.1f);
  EXPECT_FLOAT_EQ(engine.planes[1].d, 0.3f);
  EXPECT_EQ(engine.currentPlane, 1);

  engine.selectPlane(-1);
  EXPECT_EQ(engine.currentPlane, 2147483647);
  engine.selectPlane(5);  // beyond the selected bins: only sets the index
  EXPECT_EQ(engine.currentPlane, 5);
  EXPECT_FALSE(engine.hasCurrentPlane());

  engine.erasePlane(0);
  engine.erasePlane(0);
  EXPECT_TRUE(engine.planes.isEmpty());
  EXPECT_EQ(engine.currentPlane, 2147483647);

  engine.addPlane(planeAt(0.5f));
  engine.clearPlanes();
  EXPECT_TRUE(engine.planes.isEmpty());
  EXPECT_EQ(engine.currentPlane, 2147483647);
}

TEST(Engine, AddNewPlaneSitsOneRadiusBesideTheCentre) {
  Sorvex engine(nullptr);
  engine.renderMesh->setGeometry({Vec3(0, 0, 0), Vec3(2, 4, 4)}, {});  // centre (1,2,2), radius 3
  ASSERT_TRUE(engine.addNewPlane());
  ASSERT_EQ(engine.planes.size(), 1);
  EXPECT_EQ(engine.currentPlane, 0);
  const SectionPlane& p = engine.planes[0];
  EXPECT_EQ(p.normal, Vec3(1, 0, 0));
  EXPECT_EQ(p.point, Vec3(4, 2, 2));
  EXPECT_FLOAT_EQ(p.d, 4.0f);
  EXPECT_EQ(p.handles[0], p.point);
  EXPECT_EQ(p.handles[1], Vec3(4, 3.5f, 2));
  EXPECT_EQ(p.handles[2], Vec3(4, 2, 3.5f));
}

TEST(Engine, AlignCurrentPlaneKeepsOffsetNonNegative) {
  Sorvex engine(nullptr);
  engine.renderMesh->setGeometry({Vec3(-3, -1, -1), Vec3(-1, 1, 1)}, {});  // centre (-2, 0, 0)
  engine.alignCurrentPlane(Vec3(1, 0, 0));                                 // no current plane: nothing happens
  EXPECT_TRUE(engine.planes.isEmpty());

  ASSERT_TRUE(engine.addNewPlane());
  engine.alignCurrentPlane(Vec3(1, 0, 0));
  const SectionPlane& p = engine.planes[0];
  EXPECT_EQ(p.normal, Vec3(-1, 0, 0));
  EXPECT_FLOAT_EQ(p.d, 2.0f);
  EXPECT_EQ(p.point, Vec3(-2, 0, 0));
  EXPECT_NEAR(p.r1.dot(p.normal), 0.0f, 1e-6f);
  EXPECT_NEAR(p.r2.dot(p.normal), 0.0f, 1e-6f);
  EXPECT_NEAR(p.r1.dot(p.r2), 0.0f, 1e-6f);
}
