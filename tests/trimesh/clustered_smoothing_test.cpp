// The clustered (fast) curvature smoothing against known curvature fields and
// against the exact filter, its independence from the thread count, its
// cancellation, and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "mesh_fixtures.h"
#include "trimesh/smoothing_method.h"

namespace {

double percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0.0;
  const size_t k = std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5));
  std::nth_element(v.begin(), v.begin() + long(k), v.end());
  return v[k];
}

void prepare(TriMesh& m) {
  m.compute_normals();
  m.compute_curvatures();
  m.compute_curv_derivs();
}

template <class T>
bool sameBytes(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

}  // namespace

TEST(ClusteredSmoothing, KeepsKnownCurvatureFieldsAndStaysCloseToTheExactFilter) {
  fixtures::MessageCapture quiet;
  // Sphere of radius 1, about 0.03 between vertices, in cells of 0.05 (about
  // two vertices each, so that most vertices share their cluster's gather).
  TriMesh sphere = fixtures::sphere(5, 1.0f);
  prepare(sphere);
  const float sigma = 0.05f / kSmoothingCellFraction;
  TriMesh exact = sphere, fast = sphere;
  exact.smooth_curvatures(sigma);
  exact.smooth_curv_derivs(sigma);
  fast.smooth_curvatures_fast(sigma);
  fast.smooth_curv_derivs_fast(sigma);
  ASSERT_TRUE(fast.last_smoothing.fast);
  EXPECT_FALSE(exact.last_smoothing.fast);
  // Clusters, not vertices: about two vertices each here.
  EXPECT_GT(fast.last_smoothing.clusters, int(sphere.vertices.size()) / 8);
  EXPECT_LT(fast.last_smoothing.clusters, int(sphere.vertices.size()) * 2 / 3);
  std::vector<double> relToExact, deriv;
  for (size_t i = 0; i < sphere.vertices.size(); ++i) {
    // 1 / r, the same sign for both (convex), as the exact filter gives.
    EXPECT_NEAR(fast.principal_curv1[i], 1.0f, 0.05f) << i;
    EXPECT_NEAR(fast.principal_curv2[i], 1.0f, 0.05f) << i;
    relToExact.push_back(std::fabs(fast.principal_curv1[i] - exact.principal_curv1[i]) /
                         std::fabs(exact.principal_curv1[i]));
    for (float d : fast.curv_derivs[i]) deriv.push_back(std::fabs(d));
  }
  EXPECT_LT(percentile(relToExact, 0.5), 0.01);
  EXPECT_LT(percentile(relToExact, 0.95), 0.03);
  EXPECT_LT(percentile(deriv, 0.95), 0.1);

  // A bumpy sphere: the smoothed field varies, so every cluster the exact
  // filter gathers must be there (mean curvature against the exact filter's,
  // over the largest exact value).
  TriMesh bumpy = fixtures::sphere(5, 1.0f);
  for (Vec3& v : bumpy.vertices) v = v * (1.0f + 0.05f * std::sin(9.0f * v.x) * std::cos(7.0f * v.y));
  prepare(bumpy);
  TriMesh bumpyExact = bumpy, bumpyFast = bumpy;
  bumpyExact.smooth_curvatures(sigma);
  bumpyFast.smooth_curvatures_fast(sigma);
  double largest = 0.0;
  for (size_t i = 0; i < bumpy.vertices.size(); ++i)
    largest = std::max(largest, std::fabs(double(bumpyExact.principal_curv1[i])));
  std::vector<double> meanDiff;
  for (size_t i = 0; i < bumpy.vertices.size(); ++i)
    meanDiff.push_back(std::fabs(double(bumpyFast.principal_curv1[i]) + bumpyFast.principal_curv2[i] -
                                 bumpyExact.principal_curv1[i] - bumpyExact.principal_curv2[i]) /
                       largest);
  EXPECT_LT(percentile(meanDiff, 0.95), 0.01);
  EXPECT_LT(percentile(meanDiff, 1.0), 0.03);

  // Open cylinder of radius 0.5 along z: |k1| = 2 around the axis, k2 = 0
  // along it. Vertices about 0.025 apart, in cells of 0.04.
  TriMesh cylinder = fixtures::cylinder(0.5f, 2.0f, 128, 81);
  prepare(cylinder);
  const float cylSigma = 0.04f / kSmoothingCellFraction;
  TriMesh cylExact = cylinder, cylFast = cylinder;
  cylExact.smooth_curvatures(cylSigma);
  cylFast.smooth_curvatures_fast(cylSigma);
  ASSERT_TRUE(cylFast.last_smoothing.fast);
  EXPECT_LT(cylFast.last_smoothing.clusters, int(cylinder.vertices.size()) / 2);
  std::vector<double> k1Diff, angle;
  int checked = 0;
  for (size_t i = 0; i < cylinder.vertices.size(); ++i) {
    const float z = cylinder.vertices[i].z;
    if (z < 0.5f || z > 1.5f) continue;  // away from the open ends
    ++checked;
    EXPECT_NEAR(std::fabs(cylFast.principal_curv1[i]), 2.0f, 0.1f) << i;
    EXPECT_NEAR(cylFast.principal_curv2[i], 0.0f, 0.1f) << i;
    EXPECT_LT(std::fabs(cylFast.principal_dir1[i].z), 0.05f) << i;  // around the axis
    EXPECT_GT(std::fabs(cylFast.principal_dir2[i].z), 0.99f) << i;  // along it
    k1Diff.push_back(std::fabs(cylFast.principal_curv1[i] - cylExact.principal_curv1[i]) / 2.0);
    angle.push_back(std::acos(std::min(1.0f, std::fabs(cylFast.principal_dir1[i].dot(cylExact.principal_dir1[i])))));
  }
  EXPECT_GT(checked, 1000);
  EXPECT_LT(percentile(k1Diff, 0.95), 0.02);
  EXPECT_LT(percentile(angle, 0.95), 0.02);  // radians
}

TEST(ClusteredSmoothing, GivesTheExactFiltersFloatsWhereEveryClusterIsOneVertex) {
  fixtures::MessageCapture quiet;
  // A bumpy sphere (about 0.06 between vertices) and a copy of it scaled by
  // 1.004: a double sheet whose twin vertices share grid cells and facing
  // but no edge. In cells of 0.025 every piece of a cell is one
  // vertex, so the fast filter must give the exact filter's floats:
  // curvatures, directions, and the derivatives read in those directions.
  TriMesh m = fixtures::sphere(4, 1.0f);
  for (Vec3& v : m.vertices) v = v * (1.0f + 0.05f * std::sin(7.0f * v.x) * std::cos(5.0f * v.y));
  const int n = int(m.vertices.size());
  const size_t faces = m.faces.size();
  for (int i = 0; i < n; ++i) m.vertices.push_back(m.vertices[size_t(i)] * 1.004f);
  for (size_t f = 0; f < faces; ++f) m.faces.emplace_back(m.faces[f][0] + n, m.faces[f][1] + n, m.faces[f][2] + n);
  prepare(m);
  const float sigma = 0.025f / kSmoothingCellFraction;
  TriMesh exact = m, fast = m;
  exact.smooth_curvatures(sigma);
  exact.smooth_curv_derivs(sigma);
  fast.smooth_curvatures_fast(sigma, 2);
  fast.smooth_curv_derivs_fast(sigma, 2);
  ASSERT_EQ(fast.last_smoothing.clusters, 2 * n);
  ASSERT_FALSE(sameBytes(exact.curv_derivs, m.curv_derivs)) << "smoothing changed nothing";
  EXPECT_TRUE(sameBytes(fast.principal_curv1, exact.principal_curv1));
  EXPECT_TRUE(sameBytes(fast.principal_curv2, exact.principal_curv2));
  EXPECT_TRUE(sameBytes(fast.principal_dir1, exact.principal_dir1));
  EXPECT_TRUE(sameBytes(fast.principal_dir2, exact.principal_dir2));
  EXPECT_TRUE(sameBytes(fast.curv_derivs, exact.curv_derivs));
}

TEST(ClusteredSmoothing, GivesTheSameFloatsOnAnyThreadCountAndStopsWhenCancelled) {
  fixtures::MessageCapture quiet;
  // About 0.03 between vertices, cells of 0.06: clusters of one vertex and
  // of several.
  TriMesh original = fixtures::sphere(5, 1.0f);
  for (Vec3& v : original.vertices) v = v * (1.0f + 0.05f * std::sin(7.0f * v.x) * std::cos(5.0f * v.y));
  prepare(original);
  const float sigma = 0.06f / kSmoothingCellFraction;
  TriMesh one = original;
  one.smooth_curvatures_fast(sigma, 1);
  one.smooth_curv_derivs_fast(sigma, 1);
  ASSERT_FALSE(sameBytes(one.principal_curv1, original.principal_curv1)) << "smoothing changed nothing";
  EXPECT_LT(one.last_smoothing.clusters, int(original.vertices.size()) / 2);
  for (int threads : {2, 5}) {
    TriMesh m = original;
    m.smooth_curvatures_fast(sigma, threads);
    m.smooth_curv_derivs_fast(sigma, threads);
    SCOPED_TRACE(threads);
    EXPECT_TRUE(sameBytes(m.principal_curv1, one.principal_curv1));
    EXPECT_TRUE(sameBytes(m.principal_curv2, one.principal_curv2));
    EXPECT_TRUE(sameBytes(m.principal_dir1, one.principal_dir1));
    EXPECT_TRUE(sameBytes(m.curv_derivs, one.curv_derivs));
  }

  fixtures::MessageCapture messages;
  TriMesh cancelled = original;
  std::atomic<bool> cancel{true};
  cancelled.smooth_curvatures_fast(0.08f, 2, &cancel);
  cancelled.smooth_curv_derivs_fast(0.08f, 2, &cancel);
  EXPECT_TRUE(sameBytes(cancelled.principal_curv1, original.principal_curv1));
  EXPECT_TRUE(sameBytes(cancelled.principal_dir1, original.principal_dir1));
  EXPECT_TRUE(sameBytes(cancelled.curv_derivs, original.curv_derivs));
  EXPECT_EQ(fixtures::count_of(fixtures::MessageCapture::progress(), "cancelled"), 2);
  EXPECT_EQ(fixtures::count_of(fixtures::MessageCapture::progress(), "fast: "), 2);
}

TEST(ClusteredSmoothing, BadInputNeitherCrashesNorSpreadsNonFiniteValues) {
  fixtures::MessageCapture quiet;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (float sigma : {0.0f, -0.1f, nan, std::numeric_limits<float>::infinity(), 1e-9f, 0.3f}) {
    TriMesh m = fixtures::sphere(3, 1.0f);
    m.vertices[5] = Vec3(nan, 0.0f, 0.0f);  // one broken vertex
    prepare(m);
    m.smooth_curvatures_fast(sigma);
    m.smooth_curv_derivs_fast(sigma);
    SCOPED_TRACE(sigma);
    ASSERT_EQ(m.principal_curv1.size(), m.vertices.size());
    // Vertices away from the broken one keep finite values.
    int finite = 0;
    for (size_t i = 0; i < m.vertices.size(); ++i)
      if (std::isfinite(m.principal_curv1[i]) && m.principal_dir1[i].isFinite()) ++finite;
    EXPECT_GT(finite, int(m.vertices.size()) * 9 / 10);
  }
  TriMesh empty;
  empty.smooth_curvatures_fast(0.1f);
  empty.smooth_curv_derivs_fast(0.1f);
  EXPECT_TRUE(empty.principal_curv1.empty());
  EXPECT_EQ(empty.expected_smoothing_neighbours(0.1f), 0.0);
}
