#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "sections/contour_area.h"
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

  // A zig-zag of long edges lying over each other, as a plane along a fan of
  // triangles on one edge cuts them: a thousand edges are triangulated, twenty
  // thousand (every pair of their boxes overlaps) are refused at once rather
  // than worked through pair by pair.
  for (const int teeth : {500, 10000}) {
    QList<Vec3> zigzag;
    for (int i = 0; i < teeth; ++i) {
      zigzag << Vec3(float(i * 1e-4), 0, 0) << Vec3(float(1.0 + (i + 0.5) * 1e-4), 1, 0);
    }
    plane.contours[0] = contourOf(zigzag, false);
    EXPECT_EQ(triangulateSlab(plane), teeth == 500) << teeth;
    EXPECT_EQ(plane.triangles.isEmpty(), teeth != 500) << teeth;
  }
}

TEST(TriangulateSlab, CrossingAndNonConvexContoursCoverTheirRegion) {
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

  // A hole outside everything removes nothing.
  plane.contours.clear();
  plane.contours << contourOf(squareCorners(0, 0, 1, 1, 1), false) << contourOf(squareCorners(5, 5, 6, 6, 1), true);
  triangulateSlab(plane);
  EXPECT_NEAR(totalArea(plane.triangles), 1.0, 1e-5);

  // A contour that crosses itself covers both of its loops; a spike that runs
  // out and back along the same points encloses nothing.
  plane.contours.clear();
  plane.contours << contourOf({Vec3(0, 0, 0), Vec3(2, 2, 0), Vec3(2, 0, 0), Vec3(0, 2, 0)}, false);
  double area = 0;
  ASSERT_TRUE(triangulateSlab(plane, &area));
  EXPECT_NEAR(area, 2.0, 1e-9);
  plane.contours[0] =
      contourOf({Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(3, 0.5f, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0)}, false);
  ASSERT_TRUE(triangulateSlab(plane, &area));
  EXPECT_NEAR(area, 1.0, 1e-9);

  // A triangular section near a corner, the case whose carving points once
  // fell outside it: a slab of exactly the triangle.
  plane.contours.clear();
  const QList<Vec3> corner = {Vec3(-0.391099f, 0.607911f, 0), Vec3(-0.329995f, 0.605434f, 0),
                              Vec3(-0.352274f, 0.582084f, 0)};
  plane.contours << contourOf(corner, false);
  ASSERT_TRUE(triangulateSlab(plane, &area));
  const double expected = 0.5 * std::fabs(double(corner[1].x - corner[0].x) * double(corner[2].y - corner[0].y) -
                                          double(corner[1].y - corner[0].y) * double(corner[2].x - corner[0].x));
  EXPECT_NEAR(area, expected, 1e-9 * expected + 1e-15);
  EXPECT_EQ(plane.triangles.size(), 1);
}

namespace {

// Exact area of the region where the hole-signed even-odd insides of the
// polygons add up above 0, by vertical slabs: between consecutive x values
// of corners and crossings no two edges cross, so the edges spanning a slab
// stack up in one order, and the region between two neighbours is a
// trapezoid (or nothing) all the way across.
double slabSweepArea(const std::vector<std::vector<double>>& polygons, const std::vector<int>& weights) {
  struct Edge {
    double x0, y0, x1, y1;
    int polygon;
  };
  std::vector<Edge> edges;
  std::vector<double> xs;
  for (size_t c = 0; c < polygons.size(); ++c) {
    const size_t m = polygons[c].size() / 2;
    for (size_t k = 0; k < m; ++k) {
      const size_t l = (k + 1) % m;
      Edge e{polygons[c][2 * k], polygons[c][2 * k + 1], polygons[c][2 * l], polygons[c][2 * l + 1], int(c)};
      if (e.x0 > e.x1) std::swap(e.x0, e.x1), std::swap(e.y0, e.y1);
      xs.push_back(e.x0);
      xs.push_back(e.x1);
      if (e.x0 < e.x1) edges.push_back(e);
    }
  }
  auto yAt = [](const Edge& e, double x) { return e.y0 + (e.y1 - e.y0) * (x - e.x0) / (e.x1 - e.x0); };
  for (size_t i = 0; i < edges.size(); ++i)
    for (size_t j = i + 1; j < edges.size(); ++j) {
      const Edge &a = edges[i], &b = edges[j];
      const double lo = std::max(a.x0, b.x0), hi = std::min(a.x1, b.x1);
      if (!(lo < hi)) continue;
      const double d0 = yAt(a, lo) - yAt(b, lo), d1 = yAt(a, hi) - yAt(b, hi);
      if ((d0 < 0) != (d1 < 0) && d0 != d1) xs.push_back(lo + (hi - lo) * d0 / (d0 - d1));
    }
  std::sort(xs.begin(), xs.end());
  double area = 0;
  for (size_t s = 0; s + 1 < xs.size(); ++s) {
    const double x0 = xs[s], x1 = xs[s + 1];
    if (!(x0 < x1)) continue;
    const double mid = 0.5 * (x0 + x1);
    std::vector<const Edge*> across;
    for (const Edge& e : edges)
      if (e.x0 <= x0 && e.x1 >= x1) across.push_back(&e);
    std::sort(across.begin(), across.end(), [&](const Edge* a, const Edge* b) { return yAt(*a, mid) < yAt(*b, mid); });
    std::vector<int> parity(polygons.size(), 0);
    for (size_t k = 0; k + 1 < across.size(); ++k) {
      parity[size_t(across[k]->polygon)] ^= 1;
      int sum = 0;
      for (size_t c = 0; c < polygons.size(); ++c) sum += parity[c] ? weights[c] : 0;
      if (sum <= 0) continue;
      const Edge &lo = *across[k], &hi = *across[k + 1];
      area += 0.5 * (x1 - x0) * ((yAt(hi, x0) - yAt(lo, x0)) + (yAt(hi, x1) - yAt(lo, x1)));
    }
  }
  return area;
}

}  // namespace

TEST(TriangulateSlab, TouchingOverlappingAndCrossingContoursMatchASweep) {
  // Contours on a small grid of whole numbers: points repeat, lie on other
  // contours' edges, edges overlap and cross; some points are then moved by
  // far less than the grid. The slab covers the region of a sweep over the
  // same polygons, and is always made. (Crossing contours are rounded onto a
  // grid of about 2^-32 of their extent first, which moves the area by less
  // than the perimeter times that.)
  std::mt19937 rng(20261207u);
  std::uniform_int_distribution<int> coordinate(0, 4), count(3, 8), contours(1, 4), coin(0, 3);
  for (int round = 0; round < 2000; ++round) {
    SectionPlane plane = zPlane();
    std::vector<std::vector<double>> polygons;
    std::vector<int> weights;
    const int k = contours(rng);
    const bool nudge = round % 3 == 2;
    for (int c = 0; c < k; ++c) {
      QList<Vec3> corners;
      std::vector<double> xy;
      const int m = count(rng);
      for (int p = 0; p < m; ++p) {
        float x = float(coordinate(rng)), y = float(coordinate(rng));
        if (nudge && coin(rng) == 0) x += 1e-6f * float(coordinate(rng) - 2), y -= 1e-6f * float(coordinate(rng) - 2);
        corners << Vec3(x, y, 0);
      }
      const bool hole = coin(rng) == 0;
      plane.contours << contourOf(corners, hole);
      // The polygon as the slab sees it: the contour's points in the plane's
      // frame (which may turn the picture, not change its areas).
      const ContourPolygon poly = contourPolygon(plane.contours.back(), SectionFrame(plane));
      polygons.push_back(poly.xy);
      weights.push_back(hole ? -1 : 1);
    }
    double area = -1;
    ASSERT_TRUE(triangulateSlab(plane, &area)) << "round " << round;
    const double expected = slabSweepArea(polygons, weights);
    // Below what the single-precision points can tell apart from nothing (a
    // sliver between nudged points), a section has no slab.
    double perimeter = 0;
    for (const std::vector<double>& q : polygons)
      for (size_t p = 0; p < q.size(); p += 2) {
        const size_t r = (p + 2) % q.size();
        perimeter += std::hypot(q[r] - q[p], q[r + 1] - q[p + 1]);
      }
    if (area == 0 && expected < 8 * FLT_EPSILON * 4 * perimeter) continue;
    EXPECT_NEAR(area, expected, 1e-6 * (1 + expected)) << "round " << round;
    EXPECT_NEAR(totalArea(plane.triangles), area, 1e-5 * (1 + area)) << "round " << round;
  }
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
  // internal error in its segment intersection and exits. Crossing input runs
  // in a child process: this process gets a failure and carries on.
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
  // Hole points are never trusted in this process: a triangle with hole
  // points just outside it makes the library walk off its triangulation when
  // it carves. Whatever the child makes of it, this process goes on.
  const std::vector<double> triangle = {-0.391099, 0.607911, -0.329995, 0.605434, -0.352274, 0.582084};
  const std::vector<double> strayHoles = {-0.365666, 0.609940, -0.369647, 0.590840, -0.338055, 0.594648};
  triangulateGraph(triangle, {0, 1, 1, 2, 2, 0}, strayHoles, outPoints, outTriangles);
  // The in-process library still serves the next call.
  const std::vector<double> square = {0, 0, 1, 0, 1, 1, 0, 1};
  ASSERT_TRUE(triangulateGraph(square, {0, 1, 1, 2, 2, 3, 3, 0}, {}, outPoints, outTriangles));
  EXPECT_EQ(outTriangles.size(), 6u);
}
