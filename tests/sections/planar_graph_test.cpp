// The crossing check of a graph where many segments share an end (the hub of
// a fan, swept in order instead of by boxes) against exact predicates: it
// must find every pair that meets anywhere but at a shared end, and pass
// graphs in which none does.

#include <gtest/gtest.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "sections/planar_graph.h"

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;

// Whether any two segments meet other than at an end they share (by index),
// decided exactly.
bool exactlyMeet(const std::vector<double>& p, const std::vector<int>& s) {
  auto point = [&](int v) { return Kernel::Point_2(p[2 * size_t(v)], p[2 * size_t(v) + 1]); };
  const size_t n = s.size() / 2;
  for (size_t j = 0; j < n; ++j)
    for (size_t k = j + 1; k < n; ++k) {
      const int a = s[2 * j], b = s[2 * j + 1], c = s[2 * k], d = s[2 * k + 1];
      const bool ca = c == a || c == b, cb = d == a || d == b;
      if (ca && cb) return true;
      if (ca || cb) {
        const int shared = ca ? c : d, u = shared == a ? b : a, v = ca ? d : c;
        if (CGAL::collinear(point(shared), point(u), point(v)) &&
            CGAL::angle(point(u), point(shared), point(v)) == CGAL::ACUTE)
          return true;
        continue;
      }
      if (CGAL::do_intersect(Kernel::Segment_2(point(a), point(b)), Kernel::Segment_2(point(c), point(d)))) return true;
    }
  return false;
}

}  // namespace

TEST(MayHaveCrossings, AroundHubsFindsEveryPairThatMeets) {
  std::mt19937 rng(3);
  auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
  int meeting = 0, clear = 0;
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<double> p;
    std::vector<int> s;
    auto add = [&](double x, double y) {
      p.push_back(x), p.push_back(y);
      return int(p.size() / 2) - 1;
    };
    // One or two hubs, each with 9 to 40 spokes at distinct angles to
    // distinct far ends; every other pair of neighbouring ends closed by a
    // chord, as the wedges of a fan's section.
    const int hubs = 1 + round % 2;
    for (int h = 0; h < hubs; ++h) {
      const double hx = h * 3.0, hy = h * 0.5;
      const int hub = add(hx, hy);
      const int spokes = 9 + int(rng() % 32);
      const double turn = uniform(0, 2 * M_PI);
      std::vector<int> ends;
      for (int k = 0; k < spokes; ++k) {
        const double a = turn + 2 * M_PI * (k + uniform(0.1, 0.9)) / spokes, r = uniform(0.3, 1.0);
        ends.push_back(add(hx + r * std::cos(a), hy + r * std::sin(a)));
        s.push_back(hub), s.push_back(ends.back());
      }
      for (int k = 0; k + 1 < spokes; k += 2) s.push_back(ends[size_t(k)]), s.push_back(ends[size_t(k) + 1]);
      // Axis-aligned spokes too (vertical ones in particular).
      if (round % 3 == 0) {
        s.push_back(hub), s.push_back(add(hx, hy + 1.25));
        s.push_back(hub), s.push_back(add(hx, hy - 1.25));
      }
    }
    // What may spoil the graph (the first hub is at the origin): a segment
    // across the spokes, one ending exactly on a spoke, one through a hub, a
    // second spoke along a first one (collinear, the same way), two segments
    // that cross beyond a third, or a segment well clear of everything.
    switch (round % 6) {
      case 0:
        s.push_back(add(uniform(-0.5, 0.5), 1.6)), s.push_back(add(uniform(-0.5, 0.5), -1.6));
        break;
      case 1: {
        // A spoke along x from the first hub, and a segment from its middle.
        const int hub = s[0];
        s.push_back(hub), s.push_back(add(1.0, 0.0));
        s.push_back(add(0.5, 0.0)), s.push_back(add(0.7, 2.0));
        break;
      }
      case 2:
        s.push_back(add(-0.25, 0.0)), s.push_back(add(0.25, 0.0));  // through the first hub at (0, 0)
        break;
      case 3: {
        const int hub = s[0];
        s.push_back(hub), s.push_back(add(0.0, 0.625));
        s.push_back(hub), s.push_back(add(0.0, 0.9375));  // along the first one
        break;
      }
      case 4: {
        // Two segments that cross once a third, between them where they
        // start, has ended.
        const double lift = uniform(0, 0.5);
        s.push_back(add(5.0, lift)), s.push_back(add(7.0, 1.0));
        s.push_back(add(5.0, 1.0)), s.push_back(add(7.0, lift));
        s.push_back(add(5.0, 0.75)), s.push_back(add(5.5, 0.8));
        break;
      }
      default:
        s.push_back(add(-4.0, uniform(-1, 1))), s.push_back(add(-3.0, uniform(-1, 1)));
        break;
    }
    const bool expected = exactlyMeet(p, s);
    EXPECT_EQ(mayHaveCrossings(p, s), expected);
    (expected ? meeting : clear) += 1;
  }
  EXPECT_GT(meeting, 100);
  EXPECT_GT(clear, 50);
}
