#include <gtest/gtest.h>

#include <QSet>
#include <cmath>
#include <thread>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "sections/section_plane.h"
#include "support/sections_support.h"

using namespace sectionsupport;

namespace {

class SectionUpdate : public ::testing::Test {
 protected:
  void SetUp() override { *engine.renderMesh = unitCubeMesh(); }
  Sorvex engine{nullptr};
};

}  // namespace

TEST_F(SectionUpdate, CubeSectionFillsSegmentsContoursSlabAndArea) {
  SectionPlane plane = planeThrough(Vec3(0.5f, 0.5f, 0.5f), Vec3(0, 0, 1));
  plane.annotations << QList<Vec3>{Vec3(0.1f, 0.2f, 0)};
  plane.segmentIndex = 3;
  plane.voteCount = 7;
  plane.voteScore = 2.5f;
  const CutPlane head = plane.head();
  engine.updateSection(plane);
  EXPECT_EQ(plane.segments.size(), 8);
  ASSERT_EQ(plane.contours.size(), 1);
  EXPECT_TRUE(plane.contours[0].isClosed);
  EXPECT_NEAR(plane.area, 1.0f, 1e-5f);
  EXPECT_NEAR(totalArea(plane.triangles), 1.0, 1e-5);
  // Only the derived data changes.
  EXPECT_EQ(plane.normal, head.normal);
  EXPECT_EQ(plane.point, head.point);
  EXPECT_EQ(plane.d, head.d);
  EXPECT_EQ(plane.annotations.size(), 1);
  EXPECT_EQ(plane.segmentIndex, 3);
  EXPECT_EQ(plane.voteCount, 7u);
  EXPECT_EQ(plane.voteScore, 2.5f);
}

TEST_F(SectionUpdate, PlaneMissingTheMeshEndsEmptyWithAreaZero) {
  SectionPlane plane = planeThrough(Vec3(0.5f, 0.5f, 0.5f), Vec3(0, 0, 1));
  engine.updateSection(plane);
  ASSERT_FALSE(plane.triangles.isEmpty());
  plane.point = Vec3(0, 0, 2);
  plane.d = 2;
  engine.updateSection(plane);
  EXPECT_TRUE(plane.segments.isEmpty());
  EXPECT_TRUE(plane.contours.isEmpty());
  EXPECT_TRUE(plane.triangles.isEmpty());
  EXPECT_EQ(plane.area, 0.0f);

  // The "Add New" plane lies one radius beside the cube: a valid, empty entry.
  ASSERT_TRUE(engine.addNewPlane());
  ASSERT_EQ(engine.planes.size(), 1);
  EXPECT_TRUE(engine.planes[0].segments.isEmpty());
  EXPECT_EQ(engine.planes[0].area, 0.0f);
}

TEST_F(SectionUpdate, SegmentationSettingsReachTheContourStep) {
  // The y = 0, y = 1 and x = 0 sides form segment 1: their cut is a U that
  // segmentation mode closes across x = 1.
  engine.faceSegment = QVector<int>(12, 0);
  for (int f = 4; f < 10; ++f) engine.faceSegment[f] = 1;
  SectionPlane plane = planeThrough(Vec3(0.5f, 0.5f, 0.5f), Vec3(0, 0, 1));
  plane.segmentIndex = 1;
  engine.addPlane(plane);

  engine.setUseSegmentation(true);
  engine.setHermiteInterp(false);
  engine.updateAllSections();
  ASSERT_EQ(engine.planes[0].contours.size(), 1);
  EXPECT_EQ(engine.planes[0].contours[0].segments.size(), 7);
  EXPECT_TRUE(engine.planes[0].contours[0].isClosed);
  EXPECT_NEAR(engine.planes[0].area, 1.0f, 1e-5f);

  engine.setHermiteInterp(true);
  engine.updateAllSections();
  EXPECT_EQ(engine.planes[0].contours[0].segments.size(), 6 + 11);

  engine.setUseSegmentation(false);
  engine.updateAllSections();
  EXPECT_EQ(engine.planes[0].contours[0].segments.size(), 8);
}

TEST_F(SectionUpdate, ScratchRecordsChainPolylinesWithTheEngineSettings) {
  // As the ridge family uses it: zero plane geometry, segments of a polyline
  // in any order and direction.
  engine.ridgeChainer.segments << seg(Vec3(2, 0, 0), Vec3(1, 0, 0)) << seg(Vec3(0, 0, 0), Vec3(1, 0, 0))
                               << seg(Vec3(3, 1, 0), Vec3(2, 0, 0));
  engine.chainContours(engine.ridgeChainer);
  ASSERT_EQ(engine.ridgeChainer.contours.size(), 1);
  const SectionContour& c = engine.ridgeChainer.contours[0];
  ASSERT_EQ(c.segments.size(), 3);
  EXPECT_FALSE(c.isClosed);
  const Vec3 ends[2] = {c.segments.first().start, c.segments.last().end};
  EXPECT_TRUE((ends[0] == Vec3(0, 0, 0) && ends[1] == Vec3(3, 1, 0)) ||
              (ends[0] == Vec3(3, 1, 0) && ends[1] == Vec3(0, 0, 0)));
}

TEST_F(SectionUpdate, TriangulateAllSlabsLeavesPlanesWithoutContoursAlone) {
  SectionPlane empty = planeThrough(Vec3(0, 0, 5), Vec3(0, 0, 1));
  SlabTriangle marker;
  marker.corners[0] = Vec3(9, 9, 9);
  empty.triangles << marker;
  SectionPlane cut = planeThrough(Vec3(0.5f, 0.5f, 0.5f), Vec3(0, 0, 1));
  engine.updateSection(cut);
  cut.triangles.clear();
  engine.addPlane(empty);
  engine.addPlane(cut);
  engine.triangulateAllSlabs();
  ASSERT_EQ(engine.planes[0].triangles.size(), 1);
  EXPECT_EQ(engine.planes[0].triangles[0].corners[0], Vec3(9, 9, 9));
  EXPECT_NEAR(totalArea(engine.planes[1].triangles), 1.0, 1e-5);
}

TEST_F(SectionUpdate, SectionsOnTwoThreadsAtOnceGiveTheSameSlabs) {
  // The selection run triangulates on the engine thread while the user drags
  // a plane on the GUI thread.
  const RenderMesh tube = tubeMesh(0.4f, 1.0f, 1.0f, 48);
  *engine.renderMesh = tube;
  SectionPlane reference = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0.2f, 1));
  engine.updateSection(reference);
  ASSERT_FALSE(reference.triangles.isEmpty());
  bool same[2] = {true, true};
  auto work = [&](int k) {
    for (int i = 0; i < 40; ++i) {
      SectionPlane p = reference;
      engine.updateSection(p);
      same[k] = same[k] && p.triangles.size() == reference.triangles.size() && p.area == reference.area;
    }
  };
  std::thread a(work, 0), b(work, 1);
  a.join();
  b.join();
  EXPECT_TRUE(same[0]);
  EXPECT_TRUE(same[1]);
}

TEST_F(SectionUpdate, RunPlanesInSegmentationModeCutEverySegmentAndSumTheirAreas) {
  // Outer wall and caps are segment 4, the inner wall segment 9.
  const RenderMesh tube = tubeMesh(0.4f, 1.0f, 1.0f, 24);
  *engine.renderMesh = tube;
  engine.faceSegment = QVector<int>(tube.faces().size(), 4);
  for (int f = 0; f < tube.faces().size(); f += 8) engine.faceSegment[f + 2] = engine.faceSegment[f + 3] = 9;
  engine.setUseSegmentation(true);
  SectionPlane plane = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1));
  plane.segmentIndex = kEverySegment;
  engine.updateSection(plane);
  // Each segment's loop closed on its own, neither a hole of the other.
  ASSERT_EQ(plane.contours.size(), 2);
  const double outer = 0.5 * 24 * std::sin(2 * M_PI / 24), inner = outer * 0.16;
  for (const SectionContour& c : plane.contours) EXPECT_FALSE(c.isHole);
  EXPECT_NEAR(plane.area, outer + inner, 1e-5);
  EXPECT_NEAR(totalArea(plane.triangles), outer + inner, 1e-5);
  QSet<int> covered;
  engine.coveredSegments(plane, covered);
  EXPECT_EQ(covered, (QSet<int>{4, 9}));

  // A plane of one segment cuts that segment alone.
  plane.segmentIndex = 9;
  engine.updateSection(plane);
  EXPECT_NEAR(plane.area, inner, 1e-5);
  // Without segmentation the inner loop is the hole of the outer one.
  engine.setUseSegmentation(false);
  plane.segmentIndex = kEverySegment;
  engine.updateSection(plane);
  EXPECT_NEAR(plane.area, outer - inner, 1e-5);

  // The local search of a run keeps its plane cutting every segment.
  engine.setUseSegmentation(true);
  SectionPlane start = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1));
  normalizePlane(start);
  engine.localSearch(start, 1.0f, 0.25f);
  EXPECT_EQ(start.segmentIndex, kEverySegment);
  covered.clear();
  engine.coveredSegments(start, covered);
  EXPECT_EQ(covered, (QSet<int>{4, 9}));
  EXPECT_NEAR(totalArea(start.triangles), start.area, 1e-5 * start.area);
}

TEST_F(SectionUpdate, AreaIsTheSlabsAreaAndFlatSectionsHaveNoSlab) {
  // A flat sheet, tilted, and a plane lying in it: whatever crossings the
  // rounding leaves, no triangle without area is written, and a section with
  // no area has no slab.
  QVector<Vec3> v;
  RenderFaces f;
  const Vec3 n = Vec3(0.3f, 0.5f, 0.8f).normalized();
  Vec3 u, w;
  planeAxesFromNormal(n, u, w);
  for (int i = 0; i <= 10; ++i)
    for (int j = 0; j <= 10; ++j) v << Vec3(0.1f, 0.2f, 0.3f) + u * (0.1f * float(i)) + w * (0.1f * float(j));
  for (int i = 0; i < 10; ++i)
    for (int j = 0; j < 10; ++j) {
      const int a = i * 11 + j;
      f << RenderFace{a, a + 11, a + 12} << RenderFace{a, a + 12, a + 1};
    }
  *engine.renderMesh = makeMesh(v, f);
  SectionPlane plane = planeThrough(Vec3(0.1f, 0.2f, 0.3f) + u * 0.5f + w * 0.5f, n);
  engine.updateSection(plane);
  for (const SlabTriangle& t : plane.triangles)
    EXPECT_GT((t.corners[1] - t.corners[0]).cross(t.corners[2] - t.corners[0]).length(), 0.0f);
  EXPECT_EQ(plane.triangles.isEmpty(), plane.area == 0.0f);
  EXPECT_NEAR(totalArea(plane.triangles), plane.area, 1e-5);

  // Across the sheet: a line, no area, no slab.
  SectionPlane across = planeThrough(Vec3(0.1f, 0.2f, 0.3f) + u * 0.55f, u);
  engine.updateSection(across);
  EXPECT_FALSE(across.segments.isEmpty());
  EXPECT_EQ(across.area, 0.0f);
  EXPECT_TRUE(across.triangles.isEmpty());
}

TEST(IntersectRay, ReportsHitsInFrontOnly) {
  SectionPlane plane = planeThrough(Vec3(0, 0, 1), Vec3(0, 0, 1));
  Vec3 hit(7, 7, 7);
  EXPECT_TRUE(intersectRay(plane, Vec3(0.5f, 0.25f, 0), Vec3(0, 0, 2), hit));
  EXPECT_EQ(hit, Vec3(0.5f, 0.25f, 1));
  // Parallel: no intersection, the point is not touched.
  hit = Vec3(7, 7, 7);
  EXPECT_FALSE(intersectRay(plane, Vec3(0, 0, 0), Vec3(1, 0, 0), hit));
  EXPECT_EQ(hit, Vec3(7, 7, 7));
  // Behind the origin: false, the point is still returned.
  EXPECT_FALSE(intersectRay(plane, Vec3(0, 0, 3), Vec3(0, 0, 1), hit));
  EXPECT_EQ(hit, Vec3(0, 0, 1));
}
