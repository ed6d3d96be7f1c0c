#include "marching_tetrahedra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <utility>

namespace {

using isosurface::Surface;
using isosurface::Volume;

Volume sample(int n, double spacing, const std::function<double(double, double, double)>& f) {
  Volume v;
  v.nx = v.ny = v.nz = n;
  v.spacing = {{spacing, spacing, spacing}};
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) v.values.push_back(float(f(x * spacing, y * spacing, z * spacing)));
  return v;
}

// Every directed edge once and its reverse once: closed and consistently
// oriented. Returns the Euler characteristic V - E + F.
int expectClosedOriented(const Surface& s) {
  std::map<std::pair<int, int>, int> directed;
  for (const auto& t : s.triangles)
    for (int k = 0; k < 3; ++k) ++directed[{t[k], t[(k + 1) % 3]}];
  int bad = 0;
  for (const auto& [edge, count] : directed) {
    auto reverse = directed.find({edge.second, edge.first});
    if (count != 1 || reverse == directed.end() || reverse->second != 1) ++bad;
  }
  EXPECT_EQ(bad, 0) << "edges that are open, repeated or turned";
  return int(s.vertices.size()) - int(directed.size() / 2) + int(s.triangles.size());
}

// Signed enclosed volume by the divergence theorem: positive when the
// triangles face outwards.
double enclosedVolume(const Surface& s) {
  double sum = 0;
  for (const auto& t : s.triangles) {
    const auto &a = s.vertices[t[0]], &b = s.vertices[t[1]], &c = s.vertices[t[2]];
    sum += a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
  }
  return sum / 6.0;
}

TEST(MarchingTetrahedra, SphereIsClosedOutwardAndOnTheSphere) {
  const double r = 0.8;
  const Volume v = sample(33, 1.0 / 16, [&](double x, double y, double z) {
    return r - std::sqrt((x - 1) * (x - 1) + (y - 1) * (y - 1) + (z - 1) * (z - 1));
  });
  const Surface s = isosurface::marchingTetrahedra(v, 0.0f);
  ASSERT_GT(s.triangles.size(), 1000u);
  EXPECT_EQ(expectClosedOriented(s), 2);
  EXPECT_NEAR(enclosedVolume(s), 4.0 / 3.0 * M_PI * r * r * r, 0.02 * 4.0 / 3.0 * M_PI * r * r * r);
  double worst = 0;
  for (const auto& p : s.vertices)
    worst = std::max(
        worst, std::abs(std::sqrt((p[0] - 1) * (p[0] - 1) + (p[1] - 1) * (p[1] - 1) + (p[2] - 1) * (p[2] - 1)) - r));
  EXPECT_LT(worst, 0.01);
}

TEST(MarchingTetrahedra, TorusHasGenusOneAndItsVolume) {
  const double big = 0.6, small = 0.25;
  const Volume v = sample(41, 1.0 / 20, [&](double x, double y, double z) {
    const double ring = std::sqrt((x - 1) * (x - 1) + (y - 1) * (y - 1)) - big;
    return small - std::sqrt(ring * ring + (z - 1) * (z - 1));
  });
  const Surface s = isosurface::marchingTetrahedra(v, 0.0f);
  EXPECT_EQ(expectClosedOriented(s), 0);
  const double exact = 2 * M_PI * M_PI * big * small * small;
  EXPECT_NEAR(enclosedVolume(s), exact, 0.03 * exact);
}

TEST(MarchingTetrahedra, RegionOnTheSidesAndNonFiniteSamplesStayClosed) {
  // Everything at x below 0.55 is inside: the region is cut by five sides of
  // the volume, and scattered NaN and infinite samples punch holes in it.
  Volume v = sample(12, 0.1, [](double x, double, double) { return 0.55 - x; });
  v.spacing = {{0.1, 0.2, 0.3}};
  for (std::size_t k = 0; k < v.values.size(); k += 37) v.values[k] = (k % 2) ? NAN : INFINITY;
  const Surface s = isosurface::marchingTetrahedra(v, 0.0f);
  ASSERT_FALSE(s.triangles.empty());
  expectClosedOriented(s);
  EXPECT_GT(enclosedVolume(s), 0.0);
  for (const auto& p : s.vertices) {
    EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
    EXPECT_GE(p[0], -0.1);
    EXPECT_LE(p[0], 0.6);
    EXPECT_GE(p[1], -0.2);
    EXPECT_LE(p[2], 12 * 0.3);
  }
  EXPECT_TRUE(isosurface::marchingTetrahedra(v, NAN).triangles.empty());
  Volume wrong = v;
  wrong.values.pop_back();
  EXPECT_TRUE(isosurface::marchingTetrahedra(wrong, 0.0f).triangles.empty());
}

TEST(MarchingTetrahedra, DownsampleAveragesBlocks) {
  // A linear ramp's block means are the ramp at the block centres; the last
  // block along each axis holds one sample of 5.
  const Volume v = sample(5, 1.0, [](double x, double y, double z) { return x + 10 * y + 100 * z; });
  const Volume d = isosurface::downsample(v, 2);
  ASSERT_EQ(d.nx, 3);
  ASSERT_EQ(d.values.size(), 27u);
  EXPECT_DOUBLE_EQ(d.spacing[1], 2.0);
  EXPECT_FLOAT_EQ(d.values[0], 0.5f + 5.0f + 50.0f);
  EXPECT_FLOAT_EQ(d.values[2], 4.0f + 5.0f + 50.0f);
  EXPECT_FLOAT_EQ(d.values[26], 4.0f + 40.0f + 400.0f);
}

}  // namespace
