#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "meshedit/nearest_point_grid.h"

namespace {

QVector<Vec3> randomPoints(std::mt19937& rng, int n, float flatten) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  QVector<Vec3> points;
  for (int i = 0; i < n; ++i) points << Vec3(u(rng), u(rng), flatten * u(rng));
  return points;
}

}  // namespace

TEST(NearestPointGrid, AgreesWithTheFullScan) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.5f, 1.5f);
  for (float flatten : {1.0f, 0.01f, 0.0f}) {
    const QVector<Vec3> points = randomPoints(rng, 3000, flatten);
    const NearestPointGrid grid(points);
    for (int q = 0; q < 2000; ++q) {
      const Vec3 p(u(rng), u(rng), u(rng));
      ASSERT_EQ(grid.nearest(p), NearestPointGrid::nearestByScan(points, p)) << "flatten " << flatten;
    }
    // Queries at the points themselves find them.
    for (int i = 0; i < points.size(); i += 97) EXPECT_EQ(grid.nearest(points[i]), i);
  }
}

TEST(NearestPointGrid, TiesGoToTheLowestIndex) {
  QVector<Vec3> points;
  // Index 0 far away; 1 and 3 coincide; 2 sits at the same distance from the
  // query as 1 and 3 on the other side; 4 coincides with 1 too.
  points << Vec3(10, 10, 10) << Vec3(1, 0, 0) << Vec3(-1, 0, 0) << Vec3(1, 0, 0) << Vec3(1, 0, 0);
  const NearestPointGrid grid(points);
  EXPECT_EQ(grid.nearest(Vec3(0, 0, 0)), 1);
  EXPECT_EQ(NearestPointGrid::nearestByScan(points, Vec3(0, 0, 0)), 1);
  EXPECT_EQ(grid.nearest(Vec3(1, 0, 0)), 1);
  EXPECT_EQ(grid.nearest(Vec3(-0.9f, 0, 0)), 2);

  // Many duplicates of one point on a regular lattice of ties.
  QVector<Vec3> lattice;
  for (int k = 0; k < 5; ++k)
    for (int j = 0; j < 20; ++j)
      for (int i = 0; i < 20; ++i) lattice << Vec3(float(i), float(j), 0);
  const NearestPointGrid latticeGrid(lattice);
  for (float x : {0.5f, 3.5f, 7.0f, 19.5f})
    for (float y : {0.5f, 2.0f, 11.5f})
      EXPECT_EQ(latticeGrid.nearest(Vec3(x, y, 0.25f)), NearestPointGrid::nearestByScan(lattice, Vec3(x, y, 0.25f)));
}

TEST(NearestPointGrid, FarQueriesAndBadValues) {
  std::mt19937 rng(11);
  QVector<Vec3> points = randomPoints(rng, 500, 1.0f);
  points[3] = Vec3(NAN, 0, 0);
  points[4] = Vec3(INFINITY, 0, 0);
  const NearestPointGrid grid(points);
  for (const Vec3& q : {Vec3(100, 0, 0), Vec3(-50, 80, 3), Vec3(0, 0, -1000)})
    EXPECT_EQ(grid.nearest(q), NearestPointGrid::nearestByScan(points, q));
  // A point with a non-finite coordinate is never the answer.
  EXPECT_NE(grid.nearest(Vec3(1e30f, 0, 0)), 4);
  EXPECT_EQ(grid.nearest(Vec3(NAN, 0, 0)), -1);

  EXPECT_EQ(NearestPointGrid(QVector<Vec3>()).nearest(Vec3()), -1);
  const QVector<Vec3> same(10, Vec3(2, 2, 2));
  EXPECT_EQ(NearestPointGrid(same).nearest(Vec3(0, 0, 0)), 0);
}
