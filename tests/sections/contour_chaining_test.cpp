#include <gtest/gtest.h>

#include <cmath>

#include "sections/contour_chaining.h"
#include "sections/contour_shape.h"
#include "sections/section_segments.h"
#include "support/sections_support.h"

using namespace sectionsupport;

namespace {

SectionOptions plainOptions() { return SectionOptions{false, true, 1.0f}; }

SectionOptions segmentationOptions(bool hermite) { return SectionOptions{true, hermite, 1.0f}; }

// Every segment ends where the next one starts.
void expectChained(const SectionContour& c) {
  for (int k = 0; k + 1 < c.segments.size(); ++k)
    EXPECT_LT((c.segments[k].end - c.segments[k + 1].start).length(), joinTolerance) << "after segment " << k;
}

double polygonArea(int sides, float radius) {
  return 0.5 * sides * double(radius) * radius * std::sin(2.0 * M_PI / sides);
}

}  // namespace

TEST(ChainContours, UnitCubeAtHalfHeightIsOneClosedOuterContourOfAreaOne) {
  const RenderMesh cube = unitCubeMesh();
  SectionPlane plane = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1));
  computeSegments(plane, cube, {}, false);
  chainContours(plane, plainOptions());
  ASSERT_EQ(plane.contours.size(), 1);
  const SectionContour& c = plane.contours[0];
  EXPECT_EQ(c.segments.size(), 8);
  EXPECT_TRUE(c.isClosed);
  EXPECT_FALSE(c.isHole);
  expectChained(c);
  EXPECT_LT((c.segments.last().end - c.segments.first().start).length(), joinTolerance);
  EXPECT_NEAR(plane.area, 1.0f, 1e-5f);
  // The chaining leaves the plane's segment list in place.
  EXPECT_EQ(plane.segments.size(), 8);
}

TEST(ChainContours, TubeSectionHasAnOuterContourAndAHole) {
  const RenderMesh tube = tubeMesh(0.4f, 1.0f, 1.0f, 24);
  SectionPlane plane = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1));
  computeSegments(plane, tube, {}, false);
  chainContours(plane, plainOptions());
  ASSERT_EQ(plane.contours.size(), 2);
  int holes = 0;
  for (const SectionContour& c : plane.contours) {
    EXPECT_TRUE(c.isClosed);
    EXPECT_EQ(c.segments.size(), 48);
    expectChained(c);
    const float r = c.segments[0].start.length();  // distance from the axis (z is 0.5 for both)
    const bool inner = std::sqrt(r * r - 0.25f) < 0.7f;
    EXPECT_EQ(c.isHole, inner);
    holes += c.isHole ? 1 : 0;
  }
  EXPECT_EQ(holes, 1);
  EXPECT_NEAR(plane.area, polygonArea(24, 1.0f) - polygonArea(24, 0.4f), 1e-4);
}

TEST(ChainContours, FlipsSegmentsTakenTheOtherWayRoundAndWritesTheFlipBack) {
  SectionPlane plane;                                           // zero geometry, as for the ridge chainer
  plane.segments << seg(Vec3(0, 0, 0), Vec3(1, 0, 0), {}, 0)    // first chain segment
                 << seg(Vec3(2, 0, 0), Vec3(1, 0, 0), {}, 1)    // its end meets the tail: flipped, appended
                 << seg(Vec3(0, 0, 0), Vec3(-1, 0, 0), {}, 2);  // its start meets the head: flipped, prepended
  chainContours(plane, plainOptions());
  ASSERT_EQ(plane.contours.size(), 1);
  const SectionContour& c = plane.contours[0];
  ASSERT_EQ(c.segments.size(), 3);
  // Head and tail were both at distance 0 from a candidate at the first step:
  // the tail pick wins, so segment 1 came before segment 2.
  EXPECT_EQ(c.segments[0].face, 2);
  EXPECT_EQ(c.segments[1].face, 0);
  EXPECT_EQ(c.segments[2].face, 1);
  EXPECT_EQ(c.segments[0].start, Vec3(-1, 0, 0));
  EXPECT_EQ(c.segments[2].end, Vec3(2, 0, 0));
  expectChained(c);
  EXPECT_FALSE(c.isClosed);
  EXPECT_FALSE(c.isHole);
  EXPECT_EQ(plane.area, 0.0f);
  EXPECT_EQ(plane.segments[1].start, Vec3(1, 0, 0));
  EXPECT_EQ(plane.segments[2].start, Vec3(-1, 0, 0));
  EXPECT_EQ(plane.segments[0].start, Vec3(0, 0, 0));
}

TEST(ChainContours, GapsWiderThanTheToleranceStartNewContoursAndZeroLengthSegmentsAreConsumed) {
  SectionPlane plane;
  plane.segments << seg(Vec3(0, 0, 0), Vec3(1, 0, 0), {}, 0) << seg(Vec3(5, 0, 0), Vec3(6, 0, 0), {}, 1)
                 << seg(Vec3(1, 0, 0), Vec3(1, 0, 0), {}, 2)  // zero length at the first chain's tail
                 << seg(Vec3(1.0005f, 0, 0), Vec3(2, 0, 0), {}, 3) << seg(Vec3(6.002f, 0, 0), Vec3(7, 0, 0), {}, 4);
  chainContours(plane, plainOptions());
  ASSERT_EQ(plane.contours.size(), 3);
  ASSERT_EQ(plane.contours[0].segments.size(), 2);  // 0 and 3; 2 was consumed
  EXPECT_EQ(plane.contours[0].segments[1].face, 3);
  ASSERT_EQ(plane.contours[1].segments.size(), 1);  // 1 alone: 4 is 0.002 away
  EXPECT_EQ(plane.contours[1].segments[0].face, 1);
  ASSERT_EQ(plane.contours[2].segments.size(), 1);
  EXPECT_EQ(plane.contours[2].segments[0].face, 4);
}

TEST(ChainContours, SegmentationModeClosesAnOpenChainWithAStraightOrHermiteBridge) {
  SectionPlane plane = planeThrough(Vec3(0, 0, 0), Vec3(0, 0, 1));
  plane.segments << seg(Vec3(0, 0, 0), Vec3(1, 0, 0)) << seg(Vec3(1, 0, 0), Vec3(1, 1, 0))
                 << seg(Vec3(1, 1, 0), Vec3(0, 1, 0));

  chainContours(plane, plainOptions());
  ASSERT_EQ(plane.contours.size(), 1);
  EXPECT_FALSE(plane.contours[0].isClosed);
  // The open chain counts as its slab does: closed by the edge back to its start.
  EXPECT_NEAR(plane.area, 1.0f, 1e-6f);

  chainContours(plane, segmentationOptions(false));
  ASSERT_EQ(plane.contours.size(), 1);
  const SectionContour& straight = plane.contours[0];
  ASSERT_EQ(straight.segments.size(), 4);
  EXPECT_TRUE(straight.isClosed);
  EXPECT_FALSE(straight.isHole);
  EXPECT_EQ(straight.segments[3].start, Vec3(0, 1, 0));
  EXPECT_EQ(straight.segments[3].end, Vec3(0, 0, 0));
  EXPECT_EQ(straight.segments[3].normal, Vec3(0, 0, 0));
  EXPECT_NEAR(plane.area, 1.0f, 1e-6f);

  chainContours(plane, segmentationOptions(true));
  ASSERT_EQ(plane.contours.size(), 1);
  const SectionContour& curved = plane.contours[0];
  ASSERT_EQ(curved.segments.size(), 3 + 11);
  EXPECT_TRUE(curved.isClosed);
  expectChained(curved);
  EXPECT_EQ(curved.segments[3].start, Vec3(0, 1, 0));
  EXPECT_EQ(curved.segments.last().end, Vec3(0, 0, 0));
  // The curve leaves along -x and arrives along +x, so it bulges out to
  // negative x and encloses more than the unit square.
  float minX = 0;
  for (int k = 3; k < 14; ++k) minX = std::min(minX, curved.segments[k].end.x);
  EXPECT_LT(minX, -0.05f);
  EXPECT_GT(plane.area, 1.05f);
}

TEST(ChainContours, SegmentationModeJoinsOpenChainsWhoseTailsAreClose) {
  SectionPlane plane = planeThrough(Vec3(0, 0, 0), Vec3(0, 0, 1));
  plane.segments << seg(Vec3(0, 0, 0), Vec3(1, 0, 0)) << seg(Vec3(1, 0, 0), Vec3(1, 1, 0))
                 << seg(Vec3(0, 1.2f, 0), Vec3(1, 1.2f, 0));  // tail 0.2 from the first chain's tail
  chainContours(plane, segmentationOptions(false));
  ASSERT_EQ(plane.contours.size(), 1);
  const SectionContour& c = plane.contours[0];
  ASSERT_EQ(c.segments.size(), 5);
  EXPECT_TRUE(c.isClosed);
  expectChained(c);
  // Bridge to the second chain, the second chain reversed, bridge home.
  EXPECT_EQ(c.segments[2].start, Vec3(1, 1, 0));
  EXPECT_EQ(c.segments[2].end, Vec3(1, 1.2f, 0));
  EXPECT_EQ(c.segments[3].start, Vec3(1, 1.2f, 0));
  EXPECT_EQ(c.segments[3].end, Vec3(0, 1.2f, 0));
  EXPECT_EQ(c.segments[4].end, Vec3(0, 0, 0));
  EXPECT_NEAR(plane.area, 1.2f, 1e-5f);
}

TEST(ChainContours, ChainsHalfAUnitApartAreNotPartners) {
  SectionPlane plane = planeThrough(Vec3(0, 0, 0), Vec3(0, 0, 1));
  plane.segments << seg(Vec3(0, 0, 0), Vec3(1, 0, 0)) << seg(Vec3(1, 0, 0), Vec3(1, 1, 0))
                 << seg(Vec3(1, 1.5f, 0), Vec3(2, 1.5f, 0)) << seg(Vec3(2, 1.5f, 0), Vec3(2, 2.5f, 0));
  chainContours(plane, segmentationOptions(false));
  // The first chain's tail is exactly 0.5 from the second one's head (the
  // bound is strict): each chain closes on itself.
  ASSERT_EQ(plane.contours.size(), 2);
  for (const SectionContour& c : plane.contours) {
    EXPECT_TRUE(c.isClosed);
    EXPECT_EQ(c.segments.size(), 3);
  }
  EXPECT_NEAR(plane.area, 1.0f, 1e-5f);  // two triangles of area 0.5
}

TEST(ContourShape, HermitePointRunsFromStartToEndAlongTheTangents) {
  const Vec3 p0(0, 0, 0), p1(1, 0, 0), m0(0, 1, 0), m1(0, -1, 0);
  EXPECT_EQ(hermitePoint(p0, p1, m0, m1, 0.0f), p0);
  EXPECT_EQ(hermitePoint(p0, p1, m0, m1, 1.0f), p1);
  const Vec3 mid = hermitePoint(p0, p1, m0, m1, 0.5f);
  EXPECT_FLOAT_EQ(mid.x, 0.5f);
  EXPECT_FLOAT_EQ(mid.y, 0.25f);  // h10 - h11 at 0.5 = 0.125 + 0.125
}

TEST(ContourShape, ReverseContourRunsTheChainBackwards) {
  SectionContour c;
  c.segments << seg(Vec3(0, 0, 0), Vec3(1, 0, 0), {}, 0) << seg(Vec3(1, 0, 0), Vec3(1, 1, 0), {}, 1);
  reverseContour(c);
  ASSERT_EQ(c.segments.size(), 2);
  EXPECT_EQ(c.segments[0].face, 1);
  EXPECT_EQ(c.segments[0].start, Vec3(1, 1, 0));
  EXPECT_EQ(c.segments[0].end, Vec3(1, 0, 0));
  EXPECT_EQ(c.segments[1].end, Vec3(0, 0, 0));
}

TEST(ContourShape, AreaIsSignedByOrientationAndIncludesTheClosingEdge) {
  SectionContour c;
  c.segments = polygon(squareCorners(0, 0, 2, 1, 1), true);
  c.isClosed = true;
  EXPECT_FLOAT_EQ(contourArea(c, Vec3(1, 0, 0), Vec3(0, 1, 0)), 2.0f);
  EXPECT_FLOAT_EQ(contourArea(c, Vec3(0, 1, 0), Vec3(1, 0, 0)), -2.0f);
  // Axes are not normalised: scaling one scales the area.
  EXPECT_FLOAT_EQ(contourArea(c, Vec3(2, 0, 0), Vec3(0, 1, 0)), 4.0f);
  // An open chain of three sides is closed by the edge back to its start.
  c.segments.removeLast();
  c.isClosed = false;
  EXPECT_FLOAT_EQ(contourArea(c, Vec3(1, 0, 0), Vec3(0, 1, 0)), 2.0f);
  // Far from the origin the area keeps its precision (a small square of side
  // 1e-3 at x = 1000: the single-precision sum over absolute coordinates
  // loses it entirely).
  SectionContour far;
  far.segments = polygon(squareCorners(1000.0f, 1000.0f, 1000.0f + 1.0f / 1024, 1000.0f + 1.0f / 1024, 4), true);
  far.isClosed = true;
  EXPECT_NEAR(contourArea(far, Vec3(1, 0, 0), Vec3(0, 1, 0)), 1.0 / (1024.0 * 1024.0), 1e-12);
}
