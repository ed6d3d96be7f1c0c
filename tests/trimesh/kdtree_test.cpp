#include "trimesh/kdtree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <vector>

namespace {

float dist2(const float* a, const float* b) {
  float d = 0;
  for (int k = 0; k < 3; k++) d += (a[k] - b[k]) * (a[k] - b[k]);
  return d;
}

// Plain linear scan: the accepted point nearest to q strictly within maxDist2.
const float* brute_nearest(const std::vector<float>& pts, const float* q, float maxDist2,
                           const KDtree::CompatFunc* ok) {
  const float* best = nullptr;
  float b2 = maxDist2;
  for (size_t i = 0; i < pts.size(); i += 3) {
    const float* p = &pts[i];
    float d = dist2(p, q);
    if (d < b2 && (!ok || (*ok)(p))) {
      b2 = d;
      best = p;
    }
  }
  return best;
}

class RejectAll : public KDtree::CompatFunc {
 public:
  bool operator()(const float*) const override { return false; }
};

}  // namespace

TEST(KDtree, MatchesALinearScanWithAndWithoutPredicate) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1, 1);
  std::vector<float> pts(3 * 2000);
  for (float& x : pts) x = u(rng);
  pts[3 * 5 + 0] = pts[3 * 6 + 0];  // a few coincident coordinates
  KDtree kd(pts.data(), pts.size() / 3);
  std::set<int> excluded;
  for (int i = 0; i < 300; i += 3) excluded.insert(3 * i);
  NotInSet not_excluded(pts.data(), excluded);
  for (int t = 0; t < 300; t++) {
    float q[3] = {u(rng) * 1.2f, u(rng) * 1.2f, u(rng) * 1.2f};
    EXPECT_EQ(kd.nearest(q, 10.0f), brute_nearest(pts, q, 10.0f, nullptr));
    EXPECT_EQ(kd.nearest(q, 0.01f), brute_nearest(pts, q, 0.01f, nullptr));
    EXPECT_EQ(kd.nearest(q, 10.0f, &not_excluded), brute_nearest(pts, q, 10.0f, &not_excluded));
  }
}

TEST(KDtree, SmallSetsAreOneLeafAndStillHaveARadius) {
  std::vector<float> pts = {0, 0, 0, 2, 0, 0, 0, 2, 0};
  KDtree kd(pts.data(), 3);
  // Half the box diagonal of (0..2, 0..2, 0): sqrt(8) / 2.
  EXPECT_FLOAT_EQ(kd.root_radius2(), 2.0f);
  const float q[3] = {1.9f, 0.1f, 0};
  EXPECT_EQ(kd.nearest(q), &pts[3]);
  // Far outside the set with no limit: nothing is within the root radius.
  const float far[3] = {100, 100, 100};
  EXPECT_EQ(kd.nearest(far), nullptr);
  // With a large enough limit the nearest is (2, 0, 0) or (0, 2, 0), equally far.
  const float* p = kd.nearest(far, 1e6f);
  EXPECT_TRUE(p == &pts[3] || p == &pts[6]);
}

TEST(KDtree, AllPointsEqualTerminatesAndFindsThem) {
  std::vector<float> pts(3 * 1000, 0.5f);
  KDtree kd(pts.data(), 1000);
  const float q[3] = {0.5f, 0.5f, 1.5f};
  const float* p = kd.nearest(q, 4.0f);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[2], 0.5f);
  // The root radius is 0, so without a limit nothing lies strictly within it.
  EXPECT_EQ(kd.nearest(q), nullptr);
}

TEST(KDtree, PredicateRejectingEverythingFindsNothing) {
  std::vector<float> pts;
  for (int i = 0; i < 100; i++) pts.insert(pts.end(), {float(i), float(i % 7), 0.0f});
  KDtree kd(pts.data(), 100);
  RejectAll reject;
  const float q[3] = {50, 3, 0};
  EXPECT_EQ(kd.nearest(q, 1e9f, &reject), nullptr);
  EXPECT_NE(kd.nearest(q, 1e9f), nullptr);
}

TEST(KDtree, EmptyTreeAndNonFinitePointsAreHarmless) {
  KDtree empty(nullptr, 0);
  const float q[3] = {0, 0, 0};
  EXPECT_EQ(empty.nearest(q), nullptr);

  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> pts;
  for (int i = 0; i < 50; i++) pts.insert(pts.end(), {float(i), 0.0f, i % 3 == 0 ? nan : 0.0f});
  KDtree kd(pts.data(), 50);
  const float q2[3] = {10.2f, 0, 0};
  const float* p = kd.nearest(q2, 100.0f);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 10.0f);  // 10 is not a NaN point (10 % 3 != 0)
  const float qn[3] = {nan, 0, 0};
  EXPECT_EQ(kd.nearest(qn, 100.0f), nullptr);
}

TEST(KDtree, RepeatedBuildsWithManyTiesAgreeWithALinearScan) {
  std::vector<float> pts(3 * 5000);
  for (size_t i = 0; i < pts.size(); i++) pts[i] = static_cast<float>((i * 7919) % 1000);
  for (int round = 0; round < 20; round++) {
    KDtree kd(pts.data(), 5000);
    const float q[3] = {500, 500, 500};
    // Many points tie at the same distance: compare distances.
    const float* p = kd.nearest(q, 1e9f);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(dist2(p, q), dist2(brute_nearest(pts, q, 1e9f, nullptr), q));
  }
}
