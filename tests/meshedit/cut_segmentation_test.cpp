#include <gtest/gtest.h>

#include <cmath>

#include "engine/sorvex.h"
#include "meshedit/cut_segmentation.h"
#include "model/render_mesh.h"
#include "support/meshedit_support.h"
#include "support/sections_support.h"

using meshedit::Mesh;

namespace {

// Three unit boxes along x (segment ids 4, 1, 2 from left to right), and a
// tetrahedron (id 3) off to the side at (10, 10, 0).
void loadBoxesAndTetrahedron(Sorvex& engine, bool withSegments) {
  Mesh m;
  QVector<int> ids;
  const int boxIds[3] = {4, 1, 2};
  for (int b = 0; b < 3; ++b) {
    meshedit::append(m, meshedit::box(Vec3(2.0f * b, 0, 0), Vec3(2.0f * b + 1, 1, 1)));
    ids << QVector<int>(12, boxIds[b]);
  }
  meshedit::append(m, meshedit::tetrahedron(Vec3(10, 10, 0)));
  ids << QVector<int>(4, 3);
  engine.renderMesh->setGeometry(m.vertices, m.faces);
  engine.renderMesh->flipFaceNormals();
  engine.faceSegment = withSegments ? ids : QVector<int>();
}

// y = 0.5: through all three boxes, missing the tetrahedron.
SectionPlane throughAllBoxes() { return sectionsupport::planeThrough(Vec3(0, 0.5f, 0), Vec3(0, 1, 0)); }
// x = 0.5: through the first box only.
SectionPlane throughFirstBox() { return sectionsupport::planeThrough(Vec3(0.5f, 0, 0), Vec3(1, 0, 0)); }
// Touches the tetrahedron at one corner only: a section without area, no slab.
SectionPlane cornerOfTetrahedron() {
  return sectionsupport::planeThrough(Vec3(11.0f, 11.0f, 1.0f), Vec3(1, 1, 1).normalized());
}
// Misses everything.
SectionPlane nowhere() { return sectionsupport::planeThrough(Vec3(0, 50, 0), Vec3(0, 1, 0)); }

}  // namespace

TEST(CutSegmentation, SegmentCountAndIds) {
  EXPECT_EQ(cutSegmentCount({}), 1);
  EXPECT_EQ(cutSegmentCount({0, 0, 3, 3, 7}), 8);
  EXPECT_EQ(cutSegmentCount({-4, -2}), 1);
  EXPECT_EQ(cutSegmentIds({}), QVector<int>{0});
  EXPECT_EQ(cutSegmentIds({7, 0, 3, 3, -1, 0}), (QVector<int>{0, 3, 7}));
  // A huge id does not make the split try every number below it.
  EXPECT_EQ(cutSegmentIds({2000000000, 5}), (QVector<int>{5, 2000000000}));
}

TEST(CutSegmentation, PlanesSplitBySegmentInIncreasingOrderGroupedBySource) {
  Sorvex engine(nullptr);
  loadBoxesAndTetrahedron(engine, true);
  SectionPlane a = throughAllBoxes();
  a.voteCount = 7;
  a.voteScore = 2.5f;
  a.annotations << QList<Vec3>{Vec3(0, 0, 0), Vec3(1, 1, 0)};
  engine.planes << a << cornerOfTetrahedron() << throughFirstBox() << nowhere();
  engine.currentPlane = 1;

  meshedit::DebugCapture log;
  ASSERT_TRUE(engine.segmentCuts());
  EXPECT_TRUE(engine.useSegmentation);
  EXPECT_EQ(engine.currentPlane, Sorvex::kNoPlane);
  int working = 0;
  for (const QString& line : log.lines()) working += line.startsWith("Working cut");
  EXPECT_EQ(working, 4);

  // Plane a crosses segments 1, 2 and 4: three planes in that order. The
  // tetrahedron corner gives no slab; the last plane
  // meets nothing. Plane c gives one plane for segment 4.
  ASSERT_EQ(engine.planes.size(), 4);
  const int expectedSegments[4] = {1, 2, 4, 4};
  for (int i = 0; i < 4; ++i) {
    const SectionPlane& p = engine.planes[i];
    const SectionPlane& source = i < 3 ? a : throughFirstBox();
    EXPECT_EQ(p.segmentIndex, expectedSegments[i]) << i;
    EXPECT_EQ(p.normal, source.normal) << i;
    EXPECT_EQ(p.d, source.d) << i;
    EXPECT_EQ(p.point, source.point) << i;
    EXPECT_FALSE(p.triangles.isEmpty()) << i;
    EXPECT_NEAR(p.area, 1.0f, 1e-3f) << i;  // one unit square per box
    EXPECT_EQ(p.voteCount, 0u);
    EXPECT_EQ(p.voteScore, 0.0f);
    EXPECT_TRUE(p.annotations.isEmpty());
    // The section lies in its own segment only.
    for (const SectionSegment& s : p.segments) EXPECT_EQ(engine.faceSegment[s.face], p.segmentIndex);
  }
  // Segment 1 is the middle box (x in [2, 3]), segment 2 the right one.
  for (const SectionSegment& s : engine.planes[0].segments) EXPECT_TRUE(s.start.x >= 2 && s.start.x <= 3);
  for (const SectionSegment& s : engine.planes[1].segments) EXPECT_TRUE(s.start.x >= 4 && s.start.x <= 5);
}

TEST(CutSegmentation, RunningTwiceSplitsEveryCopyAgain) {
  // Only the geometry is copied, not the restriction: each of the three
  // copies of the plane through all boxes is split into three again.
  Sorvex engine(nullptr);
  loadBoxesAndTetrahedron(engine, true);
  engine.planes << throughAllBoxes();
  ASSERT_TRUE(engine.segmentCuts());
  ASSERT_EQ(engine.planes.size(), 3);
  ASSERT_TRUE(engine.segmentCuts());
  ASSERT_EQ(engine.planes.size(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(engine.planes[i].segmentIndex, (QVector<int>{1, 2, 4})[i % 3]);
}

TEST(CutSegmentation, WithoutSegmentationEveryPlaneWithASlabSurvivesOnce) {
  Sorvex engine(nullptr);
  loadBoxesAndTetrahedron(engine, false);
  engine.planes << throughAllBoxes() << cornerOfTetrahedron() << nowhere() << throughFirstBox();
  ASSERT_TRUE(engine.segmentCuts());
  ASSERT_EQ(engine.planes.size(), 2);
  EXPECT_EQ(engine.planes[0].normal, throughAllBoxes().normal);
  EXPECT_NEAR(engine.planes[0].area, 3.0f, 1e-3f);  // all three boxes in one section
  EXPECT_EQ(engine.planes[1].normal, throughFirstBox().normal);
  for (const SectionPlane& p : engine.planes) EXPECT_EQ(p.segmentIndex, 0);
}

TEST(CutSegmentation, EmptyPlaneListStaysEmpty) {
  Sorvex engine(nullptr);
  loadBoxesAndTetrahedron(engine, true);
  ASSERT_TRUE(engine.segmentCuts());
  EXPECT_TRUE(engine.planes.isEmpty());
  EXPECT_TRUE(engine.useSegmentation);
}
