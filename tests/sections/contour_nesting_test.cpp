// The count of polygons holding each point must be that of testing every
// pair, however the polygons lie: nested, overlapping, crossing themselves,
// meeting at one hub, sharing edges, with points on edges, at corners and
// between them.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "sections/contour_area.h"
#include "sections/contour_nesting.h"
#include "support/sections_support.h"

using sectionsupport::polygonOf;

namespace {

std::vector<int> everyPair(const std::vector<ContourPolygon>& polygons, const std::vector<int>& members,
                           const std::vector<double>& points) {
  std::vector<int> counts(members.size(), 0);
  for (size_t t = 0; t < members.size(); ++t)
    for (size_t u = 0; u < members.size(); ++u) {
      const ContourPolygon& p = polygons[size_t(members[u])];
      if (u != t && p.boxContains(points[2 * t], points[2 * t + 1]) && p.contains(points[2 * t], points[2 * t + 1]))
        ++counts[t];
    }
  return counts;
}

}  // namespace

TEST(ContainingCounts, MatchTestingEveryPair) {
  std::mt19937 rng(11);
  auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
  int held = 0;
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const double cx = round % 3 == 0 ? 1000.0 : 0.0;  // some far from the origin
    std::vector<ContourPolygon> polygons;
    const int count = 30 + int(rng() % 200);
    for (int k = 0; k < count; ++k) {
      std::vector<double> xy;
      switch ((round + k) % 5) {
        case 0: {  // a thin wedge from a common hub out to a circle
          const double a = uniform(0, 2 * M_PI), b = a + uniform(0.001, 0.05), r = uniform(0.3, 1.0);
          xy = {cx + r * std::cos(a), r * std::sin(a), cx, 0.0, cx + r * std::cos(b), r * std::sin(b)};
          break;
        }
        case 1: {  // squares round a common centre, each inside the next
          const double h = 0.01 * (k + 1);
          xy = {cx - h, -h, cx + h, -h, cx + h, h, cx - h, h};
          break;
        }
        case 2: {  // a star that crosses itself
          const int n = 5 + int(rng() % 4);
          const double x = cx + uniform(-1, 1), y = uniform(-1, 1), r = uniform(0.05, 0.6);
          for (int i = 0; i < n; ++i) {
            const double a = 2 * M_PI * 2 * i / n;
            xy.push_back(x + r * std::cos(a));
            xy.push_back(y + r * std::sin(a));
          }
          break;
        }
        case 3: {  // a triangle on a coarse lattice: shared corners and edges
          for (int i = 0; i < 3; ++i) {
            xy.push_back(cx + 0.25 * double(int(rng() % 9) - 4));
            xy.push_back(0.25 * double(int(rng() % 9) - 4));
          }
          break;
        }
        default: {  // a long thin strip across everything
          const double y = uniform(-1, 1);
          xy = {cx - 1.2, y, cx + 1.2, y + uniform(-0.3, 0.3), cx + 1.2, y + 0.01, cx - 1.2, y + 0.02};
          break;
        }
      }
      polygons.push_back(polygonOf(xy));
    }
    std::vector<int> members;
    for (int k = 0; k < count; ++k)
      if (k % 7 != 3) members.push_back(k);  // not every polygon takes part
    // Points on the members' edges (the midpoint of one), at their corners,
    // at the hub, and anywhere.
    std::vector<double> points;
    for (size_t t = 0; t < members.size(); ++t) {
      const ContourPolygon& p = polygons[size_t(members[t])];
      const int m = p.size(), i = int(rng() % unsigned(m)), j = (i + 1) % m;
      double x = 0, y = 0;
      switch (rng() % 4) {
        case 0:
          x = p.xy[2 * size_t(i)] + 0.5 * (p.xy[2 * size_t(j)] - p.xy[2 * size_t(i)]);
          y = p.xy[2 * size_t(i) + 1] + 0.5 * (p.xy[2 * size_t(j) + 1] - p.xy[2 * size_t(i) + 1]);
          break;
        case 1:
          x = p.xy[2 * size_t(i)], y = p.xy[2 * size_t(i) + 1];
          break;
        case 2:
          x = cx, y = 0.0;
          break;
        default:
          x = cx + uniform(-1.2, 1.2), y = uniform(-1.2, 1.2);
          break;
      }
      points.push_back(x);
      points.push_back(y);
    }
    const std::vector<int> expected = everyPair(polygons, members, points);
    ASSERT_EQ(containingCounts(polygons, members, points), expected);
    for (int c : expected) held += c > 0 ? 1 : 0;
  }
  EXPECT_GT(held, 1000);  // many points are held, by one polygon or several
}
