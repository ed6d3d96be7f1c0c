#include <gtest/gtest.h>

#include "engine/cut_plane.h"

namespace {

void expectVec(const Vec3& v, float x, float y, float z) {
  EXPECT_NEAR(v.x, x, 1e-6f);
  EXPECT_NEAR(v.y, y, 1e-6f);
  EXPECT_NEAR(v.z, z, 1e-6f);
}

}  // namespace

TEST(NormalizePlane, NegativeOffsetFlipsNormalAndRebuildsFrame) {
  CutPlane p;
  p.normal = Vec3(0, 0, -1);
  p.d = -0.3f;
  normalizePlane(p);
  EXPECT_FLOAT_EQ(p.d, 0.3f);
  expectVec(p.normal, 0, 0, 1);
  expectVec(p.point, 0, 0, 0.3f);
  expectVec(p.r1, -1, 0, 0);
  expectVec(p.r2, 0, -1, 0);
}

TEST(NormalizePlane, NormalAlongYUsesXAsReference) {
  CutPlane p;
  p.normal = Vec3(0, 1, 0);
  p.d = 0.5f;
  normalizePlane(p);
  expectVec(p.r1, 0, 0, -1);
  expectVec(p.point, 0, 0.5f, 0);
  // (r1, r2, normal) stays orthonormal.
  EXPECT_NEAR(p.r1.dot(p.r2), 0.0f, 1e-6f);
  EXPECT_NEAR(p.r2.length(), 1.0f, 1e-6f);
}

TEST(NormalizePlane, ZeroOffsetKeepsNormal) {
  CutPlane p;
  p.normal = Vec3(0, 0, -1);
  p.d = 0.0f;
  normalizePlane(p);
  expectVec(p.normal, 0, 0, -1);
  expectVec(p.point, 0, 0, 0);
}
