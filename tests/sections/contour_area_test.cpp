// classifyContours against a plain classification that tests every contour's
// sample point against every other contour: the same holes and the same net
// area, bit for bit, on random sets of nested rings, squares that touch or
// share edges, duplicates, open chains, long outlines and degenerate contours.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sections/contour_area.h"

namespace {

// The plain classification: the rules of classifyContours with the nesting
// depth of a contour counted by testing its sample point (the midpoint of its
// longest edge) against every other contour that takes part.
double plainClassify(QList<SectionContour>& contours, const SectionFrame& frame) {
  const int k = contours.size();
  std::vector<ContourPolygon> polys(static_cast<size_t>(k));
  std::vector<double> vote(size_t(k), 0.0);
  std::vector<int> depth(size_t(k), 0);
  std::vector<int> byX;
  for (int i = 0; i < k; ++i) {
    contours[i].isHole = false;
    polys[size_t(i)] = contourPolygon(contours[i], frame);
    if (!polys[size_t(i)].takesPart) continue;
    for (const SectionSegment& s : contours[i].segments) {
      double sx, sy, ex, ey, fx, fy;
      frame.project(s.start, sx, sy);
      frame.project(s.end, ex, ey);
      frame.projectDirection(s.normal, fx, fy);
      const double d = -(ey - sy) * fx + (ex - sx) * fy;
      if (std::isfinite(d)) vote[size_t(i)] -= d;
    }
    byX.push_back(i);
  }
  std::sort(byX.begin(), byX.end(), [&](int a, int b) { return polys[size_t(a)].minX < polys[size_t(b)].minX; });
  for (int i : byX) {
    const ContourPolygon& p = polys[size_t(i)];
    const int m = p.size();
    double best = -1.0, x = p.xy[0], y = p.xy[1];
    for (int a = 0; a < m; ++a) {
      const int b = (a + 1) % m;
      const double dx = p.xy[2 * size_t(b)] - p.xy[2 * size_t(a)],
                   dy = p.xy[2 * size_t(b) + 1] - p.xy[2 * size_t(a) + 1];
      if (dx * dx + dy * dy > best) {
        best = dx * dx + dy * dy;
        x = p.xy[2 * size_t(a)] + 0.5 * dx;
        y = p.xy[2 * size_t(a) + 1] + 0.5 * dy;
      }
    }
    for (int j : byX)
      if (j != i && polys[size_t(j)].boxContains(x, y) && polys[size_t(j)].contains(x, y)) ++depth[size_t(i)];
  }
  auto materialInside = [&](int i) { return (polys[size_t(i)].signedArea > 0) == (vote[size_t(i)] > 0); };
  double outerVote = 0.0;
  for (int i : byX)
    if (depth[size_t(i)] == 0 && vote[size_t(i)] != 0.0)
      outerVote += std::fabs(polys[size_t(i)].signedArea) * (materialInside(i) ? 1.0 : -1.0);
  const bool insideOut = outerVote < 0.0;
  double area = 0.0;
  for (int i : byX) {
    bool hole = false;
    if (depth[size_t(i)] > 0) {
      if (vote[size_t(i)] != 0.0 && polys[size_t(i)].signedArea != 0.0)
        hole = materialInside(i) == insideOut;
      else
        hole = depth[size_t(i)] % 2 == 1;
    }
    contours[i].isHole = hole;
    area += hole ? -std::fabs(polys[size_t(i)].signedArea) : std::fabs(polys[size_t(i)].signedArea);
  }
  return std::max(area, 0.0);
}

SectionSegment segment(float x0, float y0, float x1, float y1, const Vec3& normal) {
  SectionSegment s;
  s.start = Vec3(x0, y0, 0.0f);
  s.end = Vec3(x1, y1, 0.0f);
  s.normal = normal;
  return s;
}

// A closed chain through the corners, each segment's normal pointing to its
// right (material on the left) or left, or zero (a bridge).
SectionContour through(const std::vector<float>& xy, int normals, bool closed = true) {
  SectionContour c;
  c.isClosed = closed;
  const int m = int(xy.size() / 2);
  for (int k = 0; k < (closed ? m : m - 1); ++k) {
    const int l = (k + 1) % m;
    const float dx = xy[2 * size_t(l)] - xy[2 * size_t(k)], dy = xy[2 * size_t(l) + 1] - xy[2 * size_t(k) + 1];
    const Vec3 right = Vec3(dy, -dx, 0.0f).normalized() * float(normals);
    c.segments << segment(xy[2 * size_t(k)], xy[2 * size_t(k) + 1], xy[2 * size_t(l)], xy[2 * size_t(l) + 1], right);
  }
  return c;
}

std::vector<float> circle(float cx, float cy, float r, int n, float wobble = 0.0f) {
  std::vector<float> xy;
  for (int k = 0; k < n; ++k) {
    const double a = 2 * M_PI * k / n, rr = r * (1.0 + wobble * std::sin(9 * a));
    xy.push_back(cx + float(rr * std::cos(a)));
    xy.push_back(cy + float(rr * std::sin(a)));
  }
  return xy;
}

std::vector<float> reversed(const std::vector<float>& xy) {
  std::vector<float> r;
  for (size_t k = xy.size(); k >= 2; k -= 2) r.insert(r.end(), {xy[k - 2], xy[k - 1]});
  return r;
}

}  // namespace

TEST(ClassifyContours, MatchThePlainAllPairsClassification) {
  std::mt19937 rng(29);
  auto uniform = [&](double a, double b) { return float(std::uniform_real_distribution<double>(a, b)(rng)); };
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  int holes = 0, outers = 0, pairwiseRounds = 0;
  for (int round = 0; round < 80; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    QList<SectionContour> contours;
    const int count = round % 4 == 0 ? 5 + pick(40) : 50 + pick(250);
    pairwiseRounds += count <= 48 ? 1 : 0;
    for (int k = 0; k < count; ++k) {
      const int sign = pick(2) ? 1 : -1;
      switch (pick(9)) {
        case 0: {  // nested rings round one centre, turning either way
          const float r = 0.05f * float(1 + pick(40));
          std::vector<float> xy = circle(0, 0, r, 8 + pick(60), 0.05f * float(pick(2)));
          contours << through(pick(2) ? xy : reversed(xy), sign);
          break;
        }
        case 1: {  // a lattice square: shared corners and edges
          const float x = 0.25f * float(pick(17) - 8), y = 0.25f * float(pick(17) - 8), h = 0.25f * float(1 + pick(3));
          contours << through({x, y, x + h, y, x + h, y + h, x, y + h}, sign);
          break;
        }
        case 2:  // a copy, or a reversed copy, of an earlier contour
          if (!contours.isEmpty()) {
            SectionContour c = contours[pick(contours.size())];
            if (pick(2)) {
              std::reverse(c.segments.begin(), c.segments.end());
              for (SectionSegment& s : c.segments) std::swap(s.start, s.end);
            }
            contours << c;
          }
          break;
        case 3: {  // an open chain (closed by its closing edge)
          std::vector<float> xy;
          float x = uniform(-2, 2), y = uniform(-2, 2);
          for (int s = 0, n = 2 + pick(8); s < n; ++s, x += uniform(-0.5, 0.5), y += uniform(-0.5, 0.5))
            xy.insert(xy.end(), {x, y});
          contours << through(xy, sign, false);
          break;
        }
        case 4: {  // a long wavy outline round much of the set
          const std::vector<float> xy =
              circle(uniform(-0.3, 0.3), uniform(-0.3, 0.3), uniform(1, 2.5), 100 + pick(400), 0.1f);
          contours << through(pick(2) ? xy : reversed(xy), sign);
          break;
        }
        case 5: {  // a long staircase on the lattice, from (-2, -2) round to (2, 2)
          std::vector<float> xy;
          const int steps = 16;
          for (int s = 0; s < steps; ++s) {
            const float a = -2.0f + 0.25f * float(s);
            xy.insert(xy.end(), {a, -2.0f + 0.25f * float(s + 1), a + 0.25f, -2.0f + 0.25f * float(s + 1)});
          }
          xy.insert(xy.end(), {2.0f, -2.0f});
          contours << through(xy, sign);
          break;
        }
        case 6: {  // bridges only: no vote
          contours << through(circle(uniform(-1, 1), uniform(-1, 1), uniform(0.05f, 1), 3 + pick(10)), 0);
          break;
        }
        case 7: {  // degenerate: too short, collinear, one point, or not finite
          const float x = uniform(-1, 1), y = uniform(-1, 1);
          switch (pick(5)) {
            case 0:
              contours << through({x, y, x + 0.1f, y}, sign);
              break;
            case 1:
              contours << through({x, y, x + 0.1f, y + 0.1f, x + 0.3f, y + 0.3f}, sign);
              break;
            case 2:
              contours << through({x, y, x, y, x, y, x, y}, sign);
              break;
            case 3:
              contours << through({x, y, std::numeric_limits<float>::quiet_NaN(), y, x, y + 0.2f}, sign);
              break;
            default:
              contours << through({x, y, std::numeric_limits<float>::infinity(), y, x, y + 0.2f}, sign);
              break;
          }
          break;
        }
        default: {  // a small square anywhere, or one of the fine nested squares at the centre
          const float h = pick(2) ? 0.01f * float(1 + pick(50)) : uniform(0.01f, 0.2f);
          const float x = pick(2) ? 0.0f : uniform(-2, 2), y = pick(2) ? 0.0f : uniform(-2, 2);
          contours << through({x - h, y - h, x + h, y - h, x + h, y + h, x - h, y + h}, sign);
          break;
        }
      }
    }
    if (round % 10 == 9) contours << SectionContour();  // no segments at all
    CutPlane plane;
    switch (round % 5) {
      case 0:  // a frame that maps every point to the origin
        break;
      case 1:  // turned and far from the origin
        plane.normal = Vec3(0.0f, 0.0f, 1.0f);
        plane.r1 = Vec3(0.6f, 0.8f, 0.0f);
        plane.r2 = Vec3(-0.8f, 0.6f, 0.0f);
        plane.point = Vec3(0.0f, 0.0f, 3.0f);
        break;
      default:
        plane.normal = Vec3(0.0f, 0.0f, 1.0f);
        plane.r1 = Vec3(1.0f, 0.0f, 0.0f);
        plane.r2 = Vec3(0.0f, 1.0f, 0.0f);
        break;
    }
    const SectionFrame frame(plane);
    QList<SectionContour> plain = contours;
    const double expectedArea = plainClassify(plain, frame);
    const double area = classifyContours(contours, frame);
    EXPECT_EQ(area, expectedArea);
    ASSERT_EQ(contours.size(), plain.size());
    for (int i = 0; i < contours.size(); ++i) {
      ASSERT_EQ(contours[i].isHole, plain[i].isHole) << "contour " << i;
      holes += plain[i].isHole ? 1 : 0;
      outers += plain[i].isHole ? 0 : 1;
    }
  }
  // The sets hold both kinds, and both paths (pairs and quadtree) ran.
  EXPECT_GT(holes, 500);
  EXPECT_GT(outers, 500);
  EXPECT_GT(pairwiseRounds, 5);
  EXPECT_LT(pairwiseRounds, 40);
}
