// The packed, threaded curvature smoothing against the plain one-thread
// filter: every float must be the same, on any number of threads.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "mesh_fixtures.h"

namespace {

// A sphere with a bumpy, noisy surface, so that curvatures and their
// derivatives vary from vertex to vertex and neighbourhoods overlap.
TriMesh bumpySphere() {
  TriMesh m = fixtures::sphere(4, 1.0f);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> noise(-0.004f, 0.004f);
  for (Vec3& v : m.vertices) v = v * (1.0f + 0.05f * std::sin(7.0f * v.x) * std::cos(5.0f * v.y) + noise(rng));
  m.compute_curvatures();
  m.compute_curv_derivs();
  return m;
}

template <class T>
bool sameBytes(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

void expectSameCurvature(const TriMesh& a, const TriMesh& b) {
  EXPECT_TRUE(sameBytes(a.principal_curv1, b.principal_curv1));
  EXPECT_TRUE(sameBytes(a.principal_curv2, b.principal_curv2));
  EXPECT_TRUE(sameBytes(a.principal_dir1, b.principal_dir1));
  EXPECT_TRUE(sameBytes(a.principal_dir2, b.principal_dir2));
  EXPECT_TRUE(sameBytes(a.curv_derivs, b.curv_derivs));
}

}  // namespace

TEST(Smoothing, ThreadedPackedFilterMatchesThePlainOneBitForBit) {
  fixtures::MessageCapture quiet;
  const TriMesh original = bumpySphere();
  TriMesh plain = original;
  // Wide enough that every vertex gathers dozens of neighbours.
  plain.smooth_curvatures_plain(0.08f);
  plain.smooth_curv_derivs_plain(0.08f);
  ASSERT_FALSE(sameBytes(plain.principal_curv1, original.principal_curv1)) << "smoothing changed nothing";
  for (int threads : {1, 2, 5}) {
    TriMesh fast = original;
    fast.smooth_curvatures(0.08f, threads);
    fast.smooth_curv_derivs(0.08f, threads);
    SCOPED_TRACE(threads);
    expectSameCurvature(fast, plain);
  }
}

TEST(Smoothing, CancelledFilterLeavesTheDataUnchanged) {
  fixtures::MessageCapture quiet;
  const TriMesh original = bumpySphere();
  TriMesh m = original;
  std::atomic<bool> cancel{true};
  m.smooth_curvatures(0.08f, 2, &cancel);
  m.smooth_curv_derivs(0.08f, 2, &cancel);
  expectSameCurvature(m, original);
  EXPECT_EQ(fixtures::count_of(fixtures::MessageCapture::progress(), "cancelled"), 2);
}
