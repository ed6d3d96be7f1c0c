#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "sections/contour_chaining.h"
#include "sections/planar_triangulation.h"
#include "sections/section_segments.h"
#include "sections/slab_triangulation.h"
#include "support/sections_support.h"

using namespace sectionsupport;

namespace {

SectionContour contourOf(const QList<Vec3>& corners, bool hole) {
  SectionContour c;
  c.segments = polygon(corners, !hole);
  c.isClosed = true;
  c.isHole = hole;
  return c;
}

SectionPlane zPlane() { return planeThrough(Vec3(0, 0, 0), Vec3(0, 0, 1)); }

Vec3 centroid(const SlabTriangle& t) { return (t.corners[0] + t.corners[1] + t.corners[2]) / 3.0f; }

bool inside(const Vec3& p, float x0, float y0, float x1, float y1) {
  return p.x > x0 && p.x < x1 && p.y > y0 && p.y < y1;
}

}  // namespace

TEST(TriangulateSlab, ContoursOfThreePointsOrMoreTakePart) {
  SectionPlane plane = zPlane();
  // A closed triangle of three segments: a real section (a cut near a vertex
  // of valence three), counted in the area and in the slab alike.
  plane.contours << contourOf({Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)}, false);
  double area = -1;
  ASSERT_TRUE(triangulateSlab(plane, &area));
  EXPECT_NEAR(totalArea(plane.triangles), 0.5, 1e-6);
  EXPECT_NEAR(area, 0.5, 1e-12);

  // An open chain of two segments is closed by the edge back to its start,
  // as in the area.
  SectionContour open = contourOf({Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0)}, false);
  open.segments.removeLast();
  open.isClosed = false;
  plane.contours[0] = open;
  ASSERT_TRUE(triangulateSlab(plane, &area));
  EXPECT_NEAR(area, 0.5, 1e-12);

  // Two points (a segment there and back) enclose nothing: no slab.
  plane.contours[0] = contourOf({Vec3(0, 0, 0), Vec3(1, 0, 0)}, false);
  ASSERT_TRUE(triangulateSlab(plane, &area));
  EXPECT_TRUE(plane.triangles.isEmpty());
  EXPECT_EQ(area, 0.0);
}

TEST(TriangulateSlab, SquareRingIsCoveredOutsideTheHoleOnly) {
  SectionPlane plane = zPlane();
  plane.contours << contourOf(squareCorners(0, 0, 4, 4, 2), false) << contourOf(squareCorners(1, 1, 3, 3, 2), true);
  ASSERT_EQ(plane.contours[0].segments.size(), 8);
  ASSERT_EQ(plane.contours[1].segments.size(), 8);
  triangulateSlab(plane);
  ASSERT_FALSE(plane.triangles.isEmpty());
  EXPECT_NEAR(totalArea(plane.triangles), 16.0 - 4.0, 1e-4);
  for (const SlabTriangle& t : plane.triangles) {
    const Vec3 c = centroid(t);
    EXPECT_TRUE(inside(c, 0, 0, 4, 4));
    EXPECT_FALSE(inside(c, 1, 1, 3, 3));
  }
  // Without the hole flag the inner square is filled too.
  plane.contours[1].isHole = false;
  triangulateSlab(plane);
  EXPECT_NEAR(totalArea(plane.triangles), 16.0, 1e-4);
}

TEST(TriangulateSlab, CornersLieOnATiltedPlaneAndCoverTheSection) {
  const RenderMesh cube = unitCubeMesh();
  SectionPlane plane = planeThrough(Vec3(0.5f, 0.5f, 0.5f), Vec3(0.3f, 0.2f, 1.0f));
  computeSegments(plane, cube, {}, false);
  chainContours(plane, SectionOptions{});
  ASSERT_EQ(plane.contours.size(), 1);
  ASSERT_TRUE(plane.contours[0].isClosed);
  triangulateSlab(plane);
  ASSERT_FALSE(plane.triangles.isEmpty());
  const float d = plane.normal.dot(plane.point);
  for (const SlabTriangle& t : plane.triangles)
    for (const Vec3& c : t.corners) {
      EXPECT_NEAR(plane.normal.dot(c), d, 1e-5f);
      EXPECT_GT(c.x, -1e-5f);
      EXPECT_LT(c.x, 1 + 1e-5f);
    }
  EXPECT_GT(plane.area, 1.0f);  // a tilted cut is larger than the cross-section square
  EXPECT_NEAR(totalArea(plane.triangles), plane.area, 1e-4);
}

TEST(TriangulateSlab, NonFiniteInputLeavesTheSlabEmpty) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  SectionPlane plane = zPlane();
  plane.contours << contourOf(squareCorners(0, 0, 1, 1, 2), false);
  plane.triangles << SlabTriangle{};
  plane.contours[0].segments[3].start.x = nan;
  triangulateSlab(plane);
  EXPECT_TRUE(plane.triangles.isEmpty());

  plane.contours[0] = contourOf(squareCorners(0, 0, 1, 1, 2), false);
  plane.contours[0].segments[1].start.y = inf;
  triangulateSlab(plane);
  EXPECT_TRUE(plane.triangles.isEmpty());

  plane.contours[0] = contourOf(squareCorners(0, 0, 1, 1, 2), false);
  plane.r1 = Vec3(nan, 0, 0);
  triangulateSlab(plane);
  EXPECT_TRUE(plane.triangles.isEmpty());

  // A plane without usable axes projects everything onto one point or line.
  plane.r1 = Vec3(0, 0, 0);
  triangulateSlab(plane);
  EXPECT_TRUE(plane.triangles.isEmpty());
}

TEST(TriangulateSlab, DegenerateGraphsDoNotStopTheProgram) {
  SectionPlane plane = zPlane();
  // Every point the same.
  plane.contours << contourOf({Vec3(1, 1, 0), Vec3(1, 1, 0), Vec3(1, 1, 0), Vec3(1, 1, 0)}, false);
  triangulateSlab(plane);
  EXPECT_TRUE(plane.triangles.isEmpty());
  // All on one line.
  plane.contours[0] = contourOf({Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(2, 0, 0), Vec3(3, 0, 0)}, false);
  triangulateSlab(plane);
  EXPECT_TRUE(plane.triangles.isEmpty());
  // Only two distinct points.
  plane.contours[0] = contourOf({Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 0, 0), Vec3(1, 0, 0)}, false);
  triangulateSlab(plane);
  EXPECT_TRUE(plane.triangles.isEmpty());

  // Repeated points inside a contour: the square is still covered once.
  plane.contours[0] = contourOf(
      {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0), Vec3(0, 1, 0), Vec3(0, 0, 0)}, false);
  triangulateSlab(plane);
  EXPECT_NEAR(totalArea(plane.triangles), 1.0, 1e-5);
}

TEST(TriangulateSlab, CrossingContoursAndStrayHolePointsAreResolvedByTheLibrary) {
  SectionPlane plane = zPlane();
  // Two overlapping squares: the crossing segments are split where they meet
  // and the union is covered.
  plane.contours << contourOf(squareCorners(0, 0, 2, 2, 1), false) << contourOf(squareCorners(1, 1, 3, 3, 1), false);
  triangulateSlab(plane);
  EXPECT_NEAR(totalArea(plane.triangles), 7.0, 1e-4);

  // A C-shaped hole whose bounding-box centre lies in the material, outside
  // the hole: the hole point is found inside the hole itself, so exactly the
  // hole (area 16) is removed.
  plane.contours.clear();
  plane.contours << contourOf(squareCorners(0, 0, 10, 10, 1), false)
                 << contourOf({Vec3(2, 2, 0), Vec3(8, 2, 0), Vec3(8, 3, 0), Vec3(3, 3, 0), Vec3(3, 7, 0), Vec3(8, 7, 0),
                               Vec3(8, 8, 0), Vec3(2, 8, 0)},
                              true);
  triangulateSlab(plane);
  EXPECT_NEAR(totalArea(plane.triangles), 100.0 - 16.0, 1e-3);
  for (const SlabTriangle& t : plane.triangles) {
    const Vec3 c = centroid(t);
    EXPECT_TRUE(inside(c, 0, 0, 10, 10));
    EXPECT_FALSE(inside(c, 2, 2, 8, 3) || inside(c, 2, 2, 3, 8) || inside(c, 2, 7, 8, 8));
  }
  // An island inside the hole's stroke stays.
  plane.contours << contourOf(squareCorners(2.25f, 4, 2.75f, 6, 1), false);
  triangulateSlab(plane);
  EXPECT_NEAR(totalArea(plane.triangles), 100.0 - 16.0 + 1.0, 1e-3);

  // A hole point outside everything removes nothing.
  plane.contours.clear();
  plane.contours << contourOf(squareCorners(0, 0, 1, 1, 1), false) << contourOf(squareCorners(5, 5, 6, 6, 1), true);
  triangulateSlab(plane);
  EXPECT_NEAR(totalArea(plane.triangles), 1.0, 1e-5);
}

TEST(TriangulateGraph, RepeatedPointsAtSegmentEndsAreMerged) {
  // Two nested squares with every corner given twice: a zero-length segment
  // at each corner and segments ending at repeated points. The library must
  // see each point once (it reads uninitialised memory for segments ending at
  // a repeated point).
  std::vector<double> points;
  std::vector<int> segments;
  auto square = [&](double lo, double hi) {
    const int b = int(points.size() / 2);
    const double c[4][2] = {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}};
    for (const auto& p : c)
      for (int twice = 0; twice < 2; ++twice) {
        points.push_back(p[0]);
        points.push_back(p[1]);
      }
    for (int k = 0; k < 8; ++k) {
      segments.push_back(b + k);
      segments.push_back(b + (k + 1) % 8);
    }
  };
  square(0, 4);
  square(1, 3);
  std::vector<double> outPoints;
  std::vector<int> outTriangles;
  ASSERT_TRUE(triangulateGraph(points, segments, {2.0, 2.0}, outPoints, outTriangles));
  double area = 0;
  for (size_t t = 0; t + 2 < outTriangles.size(); t += 3) {
    const double* a = &outPoints[2 * size_t(outTriangles[t])];
    const double* b = &outPoints[2 * size_t(outTriangles[t + 1])];
    const double* c = &outPoints[2 * size_t(outTriangles[t + 2])];
    area += 0.5 * std::fabs((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
  }
  EXPECT_NEAR(area, 12.0, 1e-9);
  EXPECT_EQ(outPoints.size(), 16u);  // eight distinct corners
}

TEST(TriangulateGraph, InputTheLibraryCannotResolveFailsWithoutEndingTheProgram) {
  // Self-crossing contours on integer points for which the library reports an
  // internal error in its segment intersection and exits. The call runs in a
  // child process: this process gets a failure and carries on.
  const std::vector<double> points = {4, 1, 0, 0, 3, 0, 3, 4, 2, 4, 0, 4, 2, 3, 2,
                                      2, 4, 2, 3, 3, 1, 3, 0, 2, 4, 4, 0, 1, 1, 1};
  const std::vector<int> segments = {0,  1, 1,  2,  2, 3, 3, 4,  4,  5, 5,  6,  6,  7,  7,  8, 8,  0,  4,
                                     9,  9, 10, 10, 9, 9, 1, 1,  8,  8, 11, 11, 12, 12, 7,  7, 13, 13, 12,
                                     12, 4, 14, 5,  5, 1, 1, 12, 12, 9, 9,  6,  6,  14, 14, 0, 0,  14};
  std::vector<double> outPoints;
  std::vector<int> outTriangles;
  EXPECT_FALSE(triangulateGraph(points, segments, {2.0, 2.0}, outPoints, outTriangles));
  EXPECT_TRUE(outPoints.empty());
  EXPECT_TRUE(outTriangles.empty());
  // A second time, and then crossing squares the library can resolve: the
  // child that ended is replaced by a new one.
  EXPECT_FALSE(triangulateGraph(points, segments, {2.0, 2.0}, outPoints, outTriangles));
  const std::vector<double> crossing = {0, 0, 2, 0, 2, 2, 0, 2, 1, 1, 3, 1, 3, 3, 1, 3};
  const std::vector<int> twoSquares = {0, 1, 1, 2, 2, 3, 3, 0, 4, 5, 5, 6, 6, 7, 7, 4};
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(triangulateGraph(crossing, twoSquares, {}, outPoints, outTriangles));
    EXPECT_FALSE(outTriangles.empty());
    // The crossings add the two intersection points.
    EXPECT_EQ(outPoints.size(), 20u);
  }
  // The in-process library still serves the next call.
  const std::vector<double> square = {0, 0, 1, 0, 1, 1, 0, 1};
  ASSERT_TRUE(triangulateGraph(square, {0, 1, 1, 2, 2, 3, 3, 0}, {}, outPoints, outTriangles));
  EXPECT_EQ(outTriangles.size(), 6u);
}
