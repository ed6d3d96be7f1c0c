#include <gtest/gtest.h>

#include <QVector>
#include <cmath>
#include <limits>
#include <random>

#include "engine/principal_axes.h"

namespace {

float det3(const Vec3& a, const Vec3& b, const Vec3& c) { return a.dot(b.cross(c)); }

// Rotation about a unit axis by an angle (Rodrigues).
Vec3 rotate(const Vec3& v, const Vec3& k, float angle) {
  return v * std::cos(angle) + k.cross(v) * std::sin(angle) + k * (k.dot(v) * (1.0f - std::cos(angle)));
}

}  // namespace

TEST(PrincipalAxes, AxisAlignedCrossGivesSortedValuesAndScaledAxes) {
  // Points on the three coordinate axes: covariance diag(18, 8, 2) / 6.
  const QVector<Vec3> pts = {{1, 0, 0},  {0, 2, 0},  {0, 0, 3},  // unsorted on purpose
                             {-1, 0, 0}, {0, -2, 0}, {0, 0, -3}};
  PrincipalAxes pa;
  ASSERT_TRUE(principalAxes(pts, pa));
  EXPECT_NEAR(pa.values[0], 18.0f / 6, 1e-5f);
  EXPECT_NEAR(pa.values[1], 8.0f / 6, 1e-5f);
  EXPECT_NEAR(pa.values[2], 2.0f / 6, 1e-5f);
  EXPECT_NEAR(pa.centroid.length(), 0.0f, 1e-6f);
  EXPECT_NEAR(pa.maxDistance, 3.0f, 1e-6f);
  EXPECT_NEAR(pa.spread, 3.0f / std::sqrt(2.0f), 1e-5f);
  // Largest variance along z, then y, then x.
  EXPECT_NEAR(std::fabs(pa.unitAxes[0].z), 1.0f, 1e-5f);
  EXPECT_NEAR(std::fabs(pa.unitAxes[1].y), 1.0f, 1e-5f);
  EXPECT_NEAR(std::fabs(pa.unitAxes[2].x), 1.0f, 1e-5f);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(pa.axes[k].length(), 3.0f / std::sqrt(2.0f), 1e-5f);
  EXPECT_NEAR(det3(pa.unitAxes[0], pa.unitAxes[1], pa.unitAxes[2]), 1.0f, 1e-5f);
}

TEST(PrincipalAxes, RandomRotatedCloudsGiveEigenpairsOfTheCovariance) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int trial = 0; trial < 25; ++trial) {
    const Vec3 k = Vec3(u(rng), u(rng), u(rng)).normalized();
    const float angle = 3.0f * u(rng);
    const Vec3 shift(u(rng), u(rng), u(rng));
    QVector<Vec3> pts;
    for (int i = 0; i < 200; ++i) pts.append(shift + rotate(Vec3(3 * u(rng), 1.5f * u(rng), 0.5f * u(rng)), k, angle));

    PrincipalAxes pa;
    ASSERT_TRUE(principalAxes(pts, pa));
    // Independent covariance, to check M v = lambda v for each returned pair.
    double c[3] = {0, 0, 0}, m[3][3] = {};
    for (const Vec3& p : pts)
      for (int a = 0; a < 3; ++a) c[a] += p[a] / pts.size();
    for (const Vec3& p : pts)
      for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) m[a][b] += (p[a] - c[a]) * (p[b] - c[b]) / pts.size();
    for (int e = 0; e < 3; ++e) {
      const Vec3 v = pa.unitAxes[e];
      EXPECT_NEAR(v.length(), 1.0f, 1e-4f);
      for (int a = 0; a < 3; ++a) {
        const double mv = m[a][0] * v.x + m[a][1] * v.y + m[a][2] * v.z;
        EXPECT_NEAR(mv, pa.values[e] * v[a], 2e-4);
      }
    }
    EXPECT_GE(pa.values[0], pa.values[1]);
    EXPECT_GE(pa.values[1], pa.values[2]);
    EXPECT_NEAR(det3(pa.unitAxes[0], pa.unitAxes[1], pa.unitAxes[2]), 1.0f, 1e-4f);
    // The dominant direction is the rotated x axis.
    EXPECT_NEAR(std::fabs(pa.unitAxes[0].dot(rotate(Vec3(1, 0, 0), k, angle))), 1.0f, 0.02f);
  }
}

TEST(PrincipalAxes, DegenerateAndUnusableInput) {
  PrincipalAxes pa;
  EXPECT_FALSE(principalAxes(QVector<Vec3>(), pa));

  // A single point: no spread, but a usable (zero-length) result.
  ASSERT_TRUE(principalAxes(QVector<Vec3>{{1, 2, 3}}, pa));
  EXPECT_EQ(pa.centroid, Vec3(1, 2, 3));
  EXPECT_EQ(pa.spread, 0.0f);
  EXPECT_EQ(pa.values[0], 0.0f);

  // Points on a line: one non-zero eigenvalue, its axis along the line.
  ASSERT_TRUE(principalAxes(QVector<Vec3>{{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}, pa));
  EXPECT_NEAR(pa.values[1], 0.0f, 1e-6f);
  EXPECT_NEAR(std::fabs(pa.unitAxes[0].dot(Vec3(1, 1, 0).normalized())), 1.0f, 1e-5f);

  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(principalAxes(QVector<Vec3>{{0, 0, 0}, {nan, 1, 0}}, pa));
  EXPECT_EQ(pa.spread, 0.0f);
}
