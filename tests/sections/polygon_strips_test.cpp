// A polygon's strips answer every point exactly as its plain even-odd test:
// on long wavy outlines, combs whose teeth span many strips, outlines with
// horizontal runs and repeated corners, and one flat polygon; at corners, on
// edges, on the lines of the corners, outside, and at points that are not
// finite.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sections/contour_area.h"
#include "sections/polygon_strips.h"
#include "support/sections_support.h"

using sectionsupport::polygonOf;

TEST(PolygonStrips, AnswerAsThePlainTest) {
  std::mt19937 rng(17);
  auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  int inside = 0, outside = 0;
  for (int shape = 0; shape < 40; ++shape) {
    SCOPED_TRACE("shape " + std::to_string(shape));
    std::vector<double> xy;
    const int n = 40 + int(rng() % 2000);
    switch (shape % 5) {
      case 0:  // wavy outline, far from the origin in some rounds
        for (int k = 0; k < n; ++k) {
          const double a = 2 * M_PI * k / n, r = 1.0 + 0.3 * std::sin(17 * a);
          xy.insert(xy.end(), {(shape % 2 ? 1e4 : 0.0) + r * std::cos(a), r * std::sin(a)});
        }
        break;
      case 1:  // a comb: every tooth spans almost the whole height
        for (int k = 0; k < n / 2; ++k) xy.insert(xy.end(), {double(k), 0.0, k + 0.5, 10.0});
        xy.insert(xy.end(), {double(n / 2), -1.0, 0.0, -1.0});
        break;
      case 2:  // a staircase on a lattice, with horizontal runs and repeated corners
        for (int k = 0; k < n / 2; ++k) xy.insert(xy.end(), {0.25 * k, 0.25 * k, 0.25 * (k + 1), 0.25 * k});
        xy.insert(xy.end(), {0.25 * (n / 2), 0.25 * (n / 2), 0.25 * (n / 2), 0.25 * (n / 2), 0.0, 0.25 * (n / 2)});
        break;
      case 3:  // flat: every point on one line
        for (int k = 0; k < n; ++k) xy.insert(xy.end(), {uniform(-1, 1), 0.5});
        break;
      default:  // a random star that crosses itself
        for (int k = 0; k < n; ++k) {
          const double a = uniform(0, 2 * M_PI), r = uniform(0.1, 1.0);
          xy.insert(xy.end(), {r * std::cos(a), r * std::sin(a)});
        }
        break;
    }
    const ContourPolygon p = polygonOf(xy);
    const PolygonStrips strips(p);
    ASSERT_TRUE(strips.built());
    const int m = p.size();
    std::vector<std::pair<double, double>> points;
    for (int t = 0; t < 3000; ++t) {
      const int i = int(rng() % unsigned(m)), j = (i + 1) % m;
      const double xi = p.xy[2 * size_t(i)], yi = p.xy[2 * size_t(i) + 1];
      const double xj = p.xy[2 * size_t(j)], yj = p.xy[2 * size_t(j) + 1];
      const double w = 0.1 * (p.maxX - p.minX + 1.0), h = 0.1 * (p.maxY - p.minY + 1.0);
      switch (t % 5) {
        case 0:  // a corner
          points.emplace_back(xi, yi);
          break;
        case 1: {  // on an edge
          const double s = uniform(0, 1);
          points.emplace_back(xi + s * (xj - xi), yi + s * (yj - yi));
          break;
        }
        case 2:  // on the line of a corner, anywhere across
          points.emplace_back(uniform(p.minX - w, p.maxX + w), yi);
          break;
        case 3:
          points.emplace_back(uniform(p.minX - w, p.maxX + w), uniform(p.minY - h, p.maxY + h));
          break;
        default: {
          const double odd[] = {nan, inf, -inf, p.minY, p.maxY, xi};
          points.emplace_back(odd[rng() % 6], odd[rng() % 6]);
          break;
        }
      }
    }
    for (const auto& q : points) {
      const bool expected = p.contains(q.first, q.second);
      ASSERT_EQ(strips.contains(p, q.first, q.second), expected) << q.first << " " << q.second;
      (expected ? inside : outside) += 1;
    }
  }
  EXPECT_GT(inside, 10000);
  EXPECT_GT(outside, 10000);
  // Unbuilt strips (a polygon with points that are not finite) fall back to
  // the plain test.
  const ContourPolygon odd = polygonOf({0, 0, 1, 0, nan, 1, 0, 1});
  const PolygonStrips none(odd);
  EXPECT_FALSE(none.built());
  EXPECT_EQ(none.contains(odd, 0.2, 0.5), odd.contains(0.2, 0.5));
  EXPECT_EQ(PolygonStrips().contains(polygonOf({0, 0, 1, 0, 0, 1}), 0.2, 0.2), true);
}
