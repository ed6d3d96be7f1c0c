#include <gtest/gtest.h>

#include <cmath>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "support/loading_support.h"

using loadingsupport::Shape;

namespace {

// The unit cube [0,1]^3 as 12 triangles; its triangulation is symmetric under
// p -> (1,1,1) - p, so the corner list has centroid (0.5, 0.5, 0.5).
Shape unitCube() {
  Shape s;
  s.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  s.faces = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
             {3, 7, 6}, {3, 6, 2}, {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}};
  return s;
}

class SegmentFeatures : public ::testing::Test {
 protected:
  Sorvex engine{nullptr};

  // Installs the shape with segment ids per face (ids.size() == faces).
  void install(const Shape& s, const QVector<int>& ids, int count) {
    engine.renderMesh->setGeometry(s.vertices, s.faces);
    engine.faceSegment = ids;
    engine.segmentCount = count;
  }
};

}  // namespace

TEST_F(SegmentFeatures, SegmentVerticesListsCornersOfThatSegmentInOrder) {
  Shape s;
  s.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  s.faces = {{0, 1, 2}, {0, 2, 3}, {1, 2, 3}};
  install(s, {4, 0, 4}, 2);
  const QVector<Vec3> p = engine.segmentVertices(4);
  ASSERT_EQ(p.size(), 6);
  EXPECT_EQ(p[0], Vec3(0, 0, 0));
  EXPECT_EQ(p[2], Vec3(0, 1, 0));
  EXPECT_EQ(p[3], Vec3(1, 0, 0));
  EXPECT_EQ(p[5], Vec3(0, 0, 1));
  EXPECT_EQ(engine.segmentVertices(0).size(), 3);
  EXPECT_TRUE(engine.segmentVertices(1).isEmpty());

  // A segment list shorter than the faces never reads past its end.
  engine.faceSegment = {4};
  EXPECT_EQ(engine.segmentVertices(4).size(), 3);
}

TEST_F(SegmentFeatures, FlatSegmentGivesOnePlaneWithItsNormal) {
  // A tilted square patch: normal (0, 0.6, 0.8), through (0, 0, 0.5).
  const Vec3 n(0.0f, 0.6f, 0.8f);
  const Shape g = loadingsupport::grid(Vec3(0, 0, 0.5f), Vec3(1, 0, 0), Vec3(0, 0.8f, -0.6f), 6);
  install(g, QVector<int>(g.faces.size(), 0), 1);
  engine.extractSegmentFeatures();
  ASSERT_EQ(engine.segmentPlanes.size(), 1);
  EXPECT_TRUE(engine.segmentAxes.isEmpty());
  const CutPlane& p = engine.segmentPlanes[0];
  EXPECT_NEAR(std::fabs(p.normal.dot(n)), 1.0f, 1e-5f);
  EXPECT_GE(p.d, 0.0f);
  // The plane contains the patch: every vertex satisfies normal . x = d.
  for (const Vec3& v : g.vertices) EXPECT_NEAR(p.normal.dot(v), p.d, 1e-5f);
  EXPECT_NEAR(p.extent, 0.0f, 1e-5f);  // no thickness across the plane
  EXPECT_NEAR(p.r1.dot(p.normal), 0.0f, 1e-5f);
}

TEST_F(SegmentFeatures, ThinCylinderGivesOneAxisWithHalfLengthOfTheSpread) {
  const Vec3 axisDir = Vec3(1, 2, 2).normalized();
  const Shape c = loadingsupport::cylinder(Vec3(0.1f, 0.2f, 0.3f), axisDir, 0.05f, 2.0f, 12, 20);
  install(c, QVector<int>(c.faces.size(), 0), 1);
  engine.extractSegmentFeatures();
  ASSERT_EQ(engine.segmentAxes.size(), 1);
  EXPECT_TRUE(engine.segmentPlanes.isEmpty());
  const Axis& a = engine.segmentAxes[0];
  EXPECT_NEAR(std::fabs(a.direction.dot(axisDir)), 1.0f, 1e-4f);
  // The corner list is symmetric about the cylinder's middle, so R is the
  // distance from the middle to an end ring.
  const Vec3 middle = Vec3(0.1f, 0.2f, 0.3f) + axisDir * 1.0f;
  EXPECT_NEAR((a.point - middle).length(), 0.0f, 1e-4f);
  const float R = std::sqrt(1.0f + 0.05f * 0.05f);
  EXPECT_NEAR(a.halfLength, R / std::sqrt(2.0f), 1e-4f);
}

TEST_F(SegmentFeatures, CubeGivesThreePlanesThroughItsCentroid) {
  const Shape cube = unitCube();
  install(cube, QVector<int>(cube.faces.size(), 0), 1);
  engine.extractSegmentFeatures();
  ASSERT_EQ(engine.segmentPlanes.size(), 3);
  EXPECT_TRUE(engine.segmentAxes.isEmpty());
  const Vec3 c(0.5f, 0.5f, 0.5f);
  const float m = std::sqrt(3.0f) / 2.0f;  // corner distance from the centre
  for (const CutPlane& p : engine.segmentPlanes) {
    EXPECT_NEAR(p.normal.length(), 1.0f, 1e-5f);
    EXPECT_NEAR(p.normal.dot(c), p.d, 1e-5f);
    EXPECT_NEAR(p.extent, 0.95f * m, 1e-5f);
  }
  // Repeated corners make the covariance 0.25 I + (J - I) / 36: the largest
  // principal direction is the diagonal (1, 1, 1).
  EXPECT_NEAR(std::fabs(engine.segmentPlanes[0].normal.dot(Vec3(1, 1, 1).normalized())), 1.0f, 1e-4f);
  EXPECT_NEAR(engine.segmentPlanes[0].normal.dot(engine.segmentPlanes[1].normal), 0.0f, 1e-4f);
  EXPECT_NEAR(engine.segmentPlanes[1].normal.dot(engine.segmentPlanes[2].normal), 0.0f, 1e-4f);
}

TEST_F(SegmentFeatures, FlagsDecideWhatIsKeptAndEmptySegmentsAreSkipped) {
  // Segment 0: cube (blob); segment 1: none; segment 2: thin cylinder;
  // segment 5: flat patch. Every id a face carries is a segment, whatever
  // segmentCount's value says about their range.
  Shape s = unitCube();
  const int cylFirst =
      loadingsupport::append(s, loadingsupport::cylinder(Vec3(5, 0, 0), Vec3(0, 1, 0), 0.05f, 3.0f, 8, 10));
  const int cylEnd = s.faces.size();
  const int flatFirst = loadingsupport::append(s, loadingsupport::grid(Vec3(0, 0, 9), Vec3(1, 0, 0), Vec3(0, 1, 0), 3));
  QVector<int> ids(s.faces.size(), 0);
  for (int i = cylFirst; i < cylEnd; ++i) ids[i] = 2;
  for (int i = flatFirst; i < ids.size(); ++i) ids[i] = 5;

  install(s, ids, 3);
  engine.extractSegmentFeatures();
  ASSERT_EQ(engine.segmentPlanes.size(), 4);  // the cube's three, then the flat patch's
  EXPECT_NEAR(std::fabs(engine.segmentPlanes[3].normal.z), 1.0f, 1e-4f);
  EXPECT_NEAR(engine.segmentPlanes[3].d, 9.0f, 1e-4f);
  ASSERT_EQ(engine.segmentAxes.size(), 1);
  EXPECT_NEAR(std::fabs(engine.segmentAxes[0].direction.y), 1.0f, 1e-4f);

  engine.featureEnabled[FeatureSegmentPCAPlanes] = false;
  engine.extractSegmentFeatures();
  EXPECT_TRUE(engine.segmentPlanes.isEmpty());
  EXPECT_EQ(engine.segmentAxes.size(), 1);

  engine.featureEnabled[FeatureSegmentPCAPlanes] = true;
  engine.featureEnabled[FeatureSegmentPCAAxes] = false;
  engine.extractSegmentFeatures();
  EXPECT_EQ(engine.segmentPlanes.size(), 4);
  EXPECT_TRUE(engine.segmentAxes.isEmpty());

  engine.featureEnabled[FeatureSegmentPCAPlanes] = false;
  engine.extractSegmentFeatures();  // both off: lists emptied, nothing added
  EXPECT_TRUE(engine.segmentPlanes.isEmpty());
  EXPECT_TRUE(engine.segmentAxes.isEmpty());
}

TEST_F(SegmentFeatures, SecondEigenvalueExactlyAQuarterOfTheFirstCountsAsElongated) {
  // Points (+-2, 0, 0), (0, +-1, 0), each used by three faces: covariance
  // diag(2, 0.5, 0), so lambda1 = 0.25 * lambda0 exactly.
  Shape s;
  s.vertices = {{2, 0, 0}, {-2, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  s.faces = {{0, 1, 2}, {0, 1, 3}, {2, 3, 0}, {2, 3, 1}};
  install(s, QVector<int>(4, 0), 1);
  engine.extractSegmentFeatures();
  EXPECT_TRUE(engine.segmentPlanes.isEmpty());
  ASSERT_EQ(engine.segmentAxes.size(), 1);
  EXPECT_NEAR(std::fabs(engine.segmentAxes[0].direction.x), 1.0f, 1e-6f);
  EXPECT_NEAR(engine.segmentAxes[0].halfLength, 2.0f / std::sqrt(2.0f), 1e-6f);
}

TEST_F(SegmentFeatures, NoSegmentsOrNoMeshGiveNothing) {
  engine.segmentPlanes.append(CutPlane());
  engine.segmentCount = 0;
  engine.extractSegmentFeatures();
  EXPECT_TRUE(engine.segmentPlanes.isEmpty());

  engine.segmentCount = 4;  // empty mesh: every segment is empty
  engine.faceSegment.clear();
  engine.extractSegmentFeatures();
  EXPECT_TRUE(engine.segmentPlanes.isEmpty());
  EXPECT_TRUE(engine.segmentAxes.isEmpty());
}

TEST_F(SegmentFeatures, EveryDistinctIdIsASegmentWhateverItsValue) {
  // Three flat patches far apart; each numbering gives the same three planes.
  Shape s = loadingsupport::grid(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), 2);
  const int second = loadingsupport::append(s, loadingsupport::grid(Vec3(0, 0, 3), Vec3(0, 1, 0), Vec3(0, 0, 1), 2));
  const int third = loadingsupport::append(s, loadingsupport::grid(Vec3(0, 5, 0), Vec3(0, 0, 1), Vec3(1, 0, 0), 2));
  for (const QVector<int>& numbering :
       {QVector<int>{0, 1, 2}, QVector<int>{1, 2, 3}, QVector<int>{0, 5, 9}, QVector<int>{-4, 7, 2147483647}}) {
    QVector<int> ids(s.faces.size(), numbering[0]);
    for (int i = second; i < third; ++i) ids[i] = numbering[1];
    for (int i = third; i < ids.size(); ++i) ids[i] = numbering[2];
    install(s, ids, 3);
    engine.extractSegmentFeatures();
    ASSERT_EQ(engine.segmentPlanes.size(), 3) << numbering[0] << " " << numbering[1] << " " << numbering[2];
    // In increasing id order: the patches z = 0, x = 0 and y = 5.
    EXPECT_NEAR(std::fabs(engine.segmentPlanes[0].normal.z), 1.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(engine.segmentPlanes[1].normal.x), 1.0f, 1e-5f);
    EXPECT_NEAR(engine.segmentPlanes[2].d, 5.0f, 1e-4f);
  }
}
