#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "sections/contour_chaining.h"
#include "sections/contour_shape.h"
#include "sections/section_segments.h"
#include "sections/slab_triangulation.h"
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

// n triangles sharing the edge from (0, 0, -0.5) to (0, 0, 0.5), apexes at
// uneven angles round it on a wavy circle of radius 0.5, listed in `order`;
// with `mixed` every third face runs the other way round (its normal flips).
RenderMesh fanMesh(int n, const std::vector<int>& order, bool mixed) {
  QVector<Vec3> v;
  v << Vec3(0, 0, -0.5f) << Vec3(0, 0, 0.5f);
  for (int k = 0; k < n; ++k) {
    const double t = 2 * M_PI * (k + 0.3 * std::sin(5.0 * k)) / n;
    v << Vec3(float(0.5 * std::cos(t)), float(0.5 * std::sin(t)), float(0.05 * std::sin(7 * t)));
  }
  RenderFaces f;
  for (int k : order) f << (mixed && k % 3 == 0 ? RenderFace{1, 0, k + 2} : RenderFace{0, 1, k + 2});
  return makeMesh(v, f);
}

// A contour as the bits of its segments' end points, the way round whose
// bits come first: equal for the same polyline whichever way it runs.
std::vector<uint32_t> undirected(const SectionContour& c) {
  auto bits = [](std::vector<uint32_t>& out, const Vec3& p) {
    for (int k = 0; k < 3; ++k) {
      uint32_t b = 0;
      const float x = p[k];
      std::memcpy(&b, &x, sizeof b);
      out.push_back(b);
    }
  };
  std::vector<uint32_t> forwards, backwards;
  for (const SectionSegment& s : c.segments) bits(forwards, s.start), bits(forwards, s.end);
  for (int k = c.segments.size() - 1; k >= 0; --k)
    bits(backwards, c.segments[k].end), bits(backwards, c.segments[k].start);
  std::vector<uint32_t> out = std::min(forwards, backwards);
  out.push_back(c.isClosed ? 1u : 0u);
  return out;
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

TEST(ChainContours, FanCrossingsPairWithNeighbouringFacesWhateverTheFaceOrder) {
  // A fan of triangles round one edge: every crossing runs from the shared
  // edge (or a shared vertex) to the fan's rim, so all of them meet at one
  // place. Every crossing must be in exactly one contour, of one crossing or
  // of two through that place, at most one of them alone. Where more than
  // eight meet, the two of a contour neighbour each other round the place
  // (when some faces run the other way round: no two pairs interleave), the
  // slab is the wedges they enclose, and the contours do not depend on the
  // order of the faces.
  const SectionPlane planes[] = {
      planeThrough(Vec3(0, 0, 0.1f), Vec3(0.3f, 0.2f, 1.0f)),     // across the shared edge
      planeThrough(Vec3(0, 0, -0.2f), Vec3(-0.2f, 0.4f, -1.0f)),  // tilted the other way
      planeThrough(Vec3(0, 0, -0.5f), Vec3(1.0f, 0.3f, 0.5f)),    // through one end of the shared edge
  };
  std::mt19937 rng(7);
  for (int n : {3, 8, 20, 51, 400}) {
    for (bool mixed : {false, true}) {
      std::vector<int> order(static_cast<size_t>(n));
      for (int k = 0; k < n; ++k) order[size_t(k)] = k;
      std::vector<std::vector<int>> orders{order};
      std::reverse(order.begin(), order.end());
      orders.push_back(order);
      std::shuffle(order.begin(), order.end(), rng);
      orders.push_back(order);
      for (int p = 0; p < 3; ++p) {
        SCOPED_TRACE("fan of " + std::to_string(n) + (mixed ? " mixed" : "") + ", plane " + std::to_string(p));
        std::vector<std::vector<uint32_t>> first;
        for (const std::vector<int>& faces : orders) {
          const RenderMesh mesh = fanMesh(n, faces, mixed);
          SectionPlane plane = planes[p];
          computeSegments(plane, mesh, {}, false);
          const QList<SectionSegment> crossings = plane.segments;
          ASSERT_FALSE(crossings.isEmpty());
          chainContours(plane, mesh, {}, plainOptions());

          // The hub, where the plane meets the shared edge's line, is one end
          // of every crossing; their other ends lie on the rim, apart from
          // each other.
          const Vec3 hub(0, 0, plane.d / plane.normal.z);
          auto atHub = [&](const Vec3& x) { return (x - hub).length() < joinTolerance; };
          // The crossings' order round the hub.
          std::vector<std::pair<double, int>> round;
          for (int i = 0; i < crossings.size(); ++i) {
            ASSERT_TRUE(atHub(crossings[i].start) != atHub(crossings[i].end)) << "crossing " << i;
            const Vec3 out = atHub(crossings[i].start) ? crossings[i].end - hub : crossings[i].start - hub;
            round.emplace_back(std::atan2(double(out.dot(plane.r2)), double(out.dot(plane.r1))), crossings[i].face);
          }
          std::sort(round.begin(), round.end());
          std::vector<int> position(size_t(n), -1);
          for (size_t k = 0; k < round.size(); ++k) position[size_t(round[k].second)] = int(k);

          const int m = int(round.size());
          std::vector<int> seen(size_t(m), 0);
          std::vector<std::pair<int, int>> pairs;
          int singles = 0;
          for (const SectionContour& c : plane.contours) {
            ASSERT_FALSE(c.isClosed);
            ASSERT_GE(c.segments.size(), 1);
            ASSERT_LE(c.segments.size(), 2);
            for (const SectionSegment& s : c.segments) ++seen[size_t(position[size_t(s.face)])];
            if (c.segments.size() == 1) {
              ++singles;
              continue;
            }
            EXPECT_TRUE(atHub(c.segments[0].end) && atHub(c.segments[1].start));
            int a = position[size_t(c.segments[0].face)], b = position[size_t(c.segments[1].face)];
            if (a > b) std::swap(a, b);
            pairs.emplace_back(a, b);
          }
          EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), m);
          EXPECT_LE(singles, 1);
          if (m <= 8) continue;  // chosen by the sharpest left turn as each chain arrives

          std::sort(pairs.begin(), pairs.end());
          for (size_t i = 0; i < pairs.size(); ++i) {
            if (!mixed) {
              EXPECT_TRUE(pairs[i].second == pairs[i].first + 1 || (pairs[i].first == 0 && pairs[i].second == m - 1))
                  << pairs[i].first << " and " << pairs[i].second << " of " << m;
            }
            for (size_t j = i + 1; j < pairs.size() && pairs[j].first < pairs[i].second; ++j)
              EXPECT_LT(pairs[j].second, pairs[i].second) << "pairs interleave";
          }
          if (!mixed) {
            // Neighbouring pairs enclose wedges that do not overlap: the slab
            // is the wedges, each the triangle of its two crossings.
            double wedges = 0.0;
            for (const SectionContour& c : plane.contours)
              if (c.segments.size() == 2)
                wedges += 0.5 * double((c.segments[0].start - c.segments[0].end)
                                           .cross(c.segments[1].end - c.segments[0].end)
                                           .length());
            double slab = 0.0;
            ASSERT_TRUE(triangulateSlab(plane, &slab));
            EXPECT_NEAR(slab, wedges, 1e-4 * wedges);
          }
          std::vector<std::vector<uint32_t>> contours;
          for (const SectionContour& c : plane.contours) contours.push_back(undirected(c));
          std::sort(contours.begin(), contours.end());
          if (first.empty()) {
            first = contours;
          } else {
            EXPECT_TRUE(contours == first) << "the contours depend on the order of the faces";
          }
          if (HasFailure()) return;
        }
      }
    }
  }
}
