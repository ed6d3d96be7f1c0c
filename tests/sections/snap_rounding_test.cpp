// Snap rounding and crossing splits against CGAL's exact segment
// intersection: what comes out meets only at shared ends.

#include <gtest/gtest.h>

#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/intersections.h>

#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "sections/crossing_split.h"
#include "sections/snap_rounding.h"

namespace {

using Kernel = CGAL::Exact_predicates_exact_constructions_kernel;
using Point = Kernel::Point_2;
using Segment = Kernel::Segment_2;

// The distinct pieces of the chains (each undirected piece once).
std::vector<std::pair<int, int>> piecesOf(const std::vector<int>& chainStart, const std::vector<int>& chainPoints) {
  std::set<std::pair<int, int>> pieces;
  for (size_t k = 0; k + 1 < chainStart.size(); ++k)
    for (int c = chainStart[k]; c + 1 < chainStart[k + 1]; ++c) {
      const int a = chainPoints[size_t(c)], b = chainPoints[size_t(c) + 1];
      if (a != b) pieces.insert(std::make_pair(std::min(a, b), std::max(a, b)));
    }
  return std::vector<std::pair<int, int>>(pieces.begin(), pieces.end());
}

// Pairs of pieces that meet anywhere but at an end they share.
int improperMeetings(const std::vector<double>& points, const std::vector<std::pair<int, int>>& pieces) {
  auto p = [&](int i) { return Point(points[2 * size_t(i)], points[2 * size_t(i) + 1]); };
  int bad = 0;
  for (size_t i = 0; i < pieces.size(); ++i)
    for (size_t j = i + 1; j < pieces.size(); ++j) {
      const auto [a, b] = pieces[i];
      const auto [c, d] = pieces[j];
      const Segment s(p(a), p(b)), t(p(c), p(d));
      const auto hit = CGAL::intersection(s, t);
      if (!hit) continue;
      const Point* x = boost::get<Point>(&*hit);
      const bool shared = (a == c || a == d || b == c || b == d);
      if (!x || !shared || !(*x == p(a) || *x == p(b))) ++bad;
    }
  return bad;
}

// Random segments over a small square: end points on a coarse grid (shared
// ends, points on segments, collinear overlaps) or anywhere (crossings at
// awkward places, nearly parallel segments).
void randomSegments(std::mt19937& rng, bool grid, std::vector<double>& points, std::vector<int>& segments) {
  std::uniform_real_distribution<double> any(-1.0, 1.0);
  std::uniform_int_distribution<int> coarse(-3, 3), count(2, 24);
  points.clear();
  segments.clear();
  const int n = count(rng);
  for (int k = 0; k < n; ++k) {
    for (int e = 0; e < 2; ++e) {
      points.push_back(grid ? coarse(rng) / 3.0 : any(rng));
      points.push_back(grid ? coarse(rng) / 3.0 : any(rng));
    }
    if (points[points.size() - 4] == points[points.size() - 2] && points[points.size() - 3] == points.back()) {
      points.resize(points.size() - 4);  // no zero-length segments
      continue;
    }
    segments.push_back(int(points.size() / 2) - 2);
    segments.push_back(int(points.size() / 2) - 1);
  }
}

}  // namespace

TEST(SnapRounding, ChainsMeetOnlyAtSharedEndsAndStayNearTheirSegments) {
  std::mt19937 rng(7u);
  const double cell = std::ldexp(1.0, -20);
  for (int round = 0; round < 300; ++round) {
    std::vector<double> points, out;
    std::vector<int> segments, chainStart, chainPoints;
    randomSegments(rng, round % 2 == 0, points, segments);
    ASSERT_TRUE(snapRoundGraph(points, segments, cell, out, chainStart, chainPoints));
    ASSERT_EQ(chainStart.size(), segments.size() / 2 + 1);
    EXPECT_EQ(improperMeetings(out, piecesOf(chainStart, chainPoints)), 0) << "round " << round;
    for (size_t k = 0; k + 1 < chainStart.size(); ++k) {
      // A chain runs from its segment's first end to its second, each
      // within half a cell diagonal, and never strays further than that.
      const double* a = &points[2 * size_t(segments[2 * k])];
      const double* b = &points[2 * size_t(segments[2 * k + 1])];
      const double* first = &out[2 * size_t(chainPoints[size_t(chainStart[k])])];
      const double* last = &out[2 * size_t(chainPoints[size_t(chainStart[k + 1] - 1)])];
      EXPECT_LE(std::hypot(first[0] - a[0], first[1] - a[1]), 0.71 * cell);
      EXPECT_LE(std::hypot(last[0] - b[0], last[1] - b[1]), 0.71 * cell);
      const Segment s(Point(a[0], a[1]), Point(b[0], b[1]));
      for (int c = chainStart[k]; c < chainStart[k + 1]; ++c) {
        const double* q = &out[2 * size_t(chainPoints[size_t(c)])];
        EXPECT_LE(std::sqrt(CGAL::to_double(CGAL::squared_distance(s, Point(q[0], q[1])))), 0.71 * cell);
      }
    }
  }
  // Coordinates the grid cannot hold are refused.
  std::vector<double> out;
  std::vector<int> chainStart, chainPoints;
  EXPECT_FALSE(snapRoundGraph({0, 0, std::ldexp(1.0, 60), 1}, {0, 1}, cell, out, chainStart, chainPoints));
  EXPECT_FALSE(snapRoundGraph({0, 0, std::nan(""), 1}, {0, 1}, cell, out, chainStart, chainPoints));
}

TEST(CrossingSplit, SegmentsAreSplitWhereTheyMeet) {
  // End points on a coarse grid: shared ends, ends on other segments,
  // collinear overlaps and crossings. Every input end point that lies on a
  // segment becomes a point of its chain, and two segments that cross share
  // a point of their chains (the crossing, rounded).
  std::mt19937 rng(11u);
  for (int round = 0; round < 300; ++round) {
    std::vector<double> points, out;
    std::vector<int> segments, chainStart, chainPoints;
    randomSegments(rng, true, points, segments);
    splitAtCrossings(points, segments, out, chainStart, chainPoints);
    ASSERT_EQ(chainStart.size(), segments.size() / 2 + 1);
    auto p = [&](int i) { return Point(points[2 * size_t(i)], points[2 * size_t(i) + 1]); };
    const size_t n = segments.size() / 2;
    std::vector<std::set<int>> chain(n);
    for (size_t k = 0; k < n; ++k) {
      chain[k].insert(chainPoints.begin() + chainStart[k], chainPoints.begin() + chainStart[k + 1]);
      // Chains run from their segment's first end to its second.
      EXPECT_EQ(chainPoints[size_t(chainStart[k])], segments[2 * k]);
      EXPECT_EQ(chainPoints[size_t(chainStart[k + 1] - 1)], segments[2 * k + 1]);
    }
    for (size_t k = 0; k < n; ++k) {
      const Segment s(p(segments[2 * k]), p(segments[2 * k + 1]));
      for (size_t v = 0; v < points.size() / 2; ++v)
        if (s.has_on(p(int(v))) && p(int(v)) != s.source() && p(int(v)) != s.target()) {
          // The chain holds this point or an equal one (points may repeat).
          bool held = false;
          for (int c : chain[k]) held = held || p(c) == p(int(v));
          EXPECT_TRUE(held) << "round " << round;
        }
      for (size_t j = k + 1; j < n; ++j) {
        const Segment t(p(segments[2 * j]), p(segments[2 * j + 1]));
        const auto hit = CGAL::intersection(s, t);
        const Point* x = hit ? boost::get<Point>(&*hit) : nullptr;
        if (!x || *x == s.source() || *x == s.target() || *x == t.source() || *x == t.target()) continue;
        bool shared = false;
        for (int c : chain[k]) shared = shared || chain[j].count(c) > 0;
        EXPECT_TRUE(shared) << "round " << round;
      }
    }
  }
}
