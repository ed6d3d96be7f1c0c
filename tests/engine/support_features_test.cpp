#include <gtest/gtest.h>

#include <cmath>

#include "engine/sorvex.h"
#include "support/voting_support.h"

namespace {

Sorvex& engine() { return testsupport::votingEngine(); }

SectionPlane selectedPlane(const Vec3& normal, float d) {
  SectionPlane p;
  p.normal = normal.normalized();
  p.d = d;
  normalizePlane(p);
  return p;
}

Feature axisFeature(FeatureType type, const Vec3& direction, const Vec3& point) {
  Feature f;
  f.type = type;
  f.axis.direction = direction;
  f.axis.point = point;
  return f;
}

Feature symmetryPlane(const Vec3& normal, float d) {
  Feature f;
  f.type = FeatureSymmetryPlanes;
  f.plane.normal = normal.normalized();
  f.plane.d = d;
  normalizePlane(f.plane);
  return f;
}

Bin binWithVotes(std::initializer_list<Vote> votes) {
  Bin b;
  for (const Vote& v : votes) b.votes.append(v);
  return b;
}

void expectNear(const Vec3& v, const Vec3& w) {
  EXPECT_NEAR(v.x, w.x, 1e-5f);
  EXPECT_NEAR(v.y, w.y, 1e-5f);
  EXPECT_NEAR(v.z, w.z, 1e-5f);
}

}  // namespace

TEST(PerpendicularSupport, OnePlanePerAxisPerRun) {
  Sorvex& e = engine();
  // An axis along z through (0.2, 0, 0) lies in the selected plane y = 0.
  e.features.append(axisFeature(FeatureSegmentPCAAxes, Vec3(0, 0, 2), Vec3(0.2f, 0, 0)));
  // An axis along y crosses that plane: no support from it.
  e.features.append(axisFeature(FeatureSymmetryAxes, Vec3(0, 1, 0), Vec3(0, 0, 0)));
  // Ridges are not used for support.
  e.features.append(axisFeature(FeatureRidges, Vec3(1, 0, 0), Vec3(0, 0, 0.3f)));
  const SectionPlane selected = selectedPlane(Vec3(0, 1, 0), 0.0f);
  const Bin winning = binWithVotes({Vote{0, 1, 0.5f}, Vote{1, 5, 0.5f}, Vote{2, 2, 0.5f}});
  e.addPerpendicularSupport(selected, winning);

  ASSERT_EQ(e.perpendicularSupportPlanes.size(), 1);
  const CutPlane& q = e.perpendicularSupportPlanes[0];
  // z x y = (-1, 0, 0) with d = -0.2, normalised to (1, 0, 0), 0.2.
  expectNear(q.normal, Vec3(1, 0, 0));
  EXPECT_NEAR(q.d, 0.2f, 1e-6f);
  ASSERT_EQ(e.features.size(), 4);
  EXPECT_EQ(e.features[3].type, FeaturePerpendicularSupport);
  EXPECT_EQ(e.features[3].index, 0);
  EXPECT_TRUE(e.features[0].covered);
  EXPECT_FALSE(e.features[1].covered);
  // Its votes carry its feature position and type, at full weight on its plane.
  const Bin own = e.bins.binAt(0, 90, 20);
  ASSERT_EQ(own.votes.size(), 1);
  EXPECT_EQ(own.votes[0].featureIndex, 3);
  EXPECT_EQ(own.votes[0].featureType, int(FeaturePerpendicularSupport));
  EXPECT_NEAR(own.votes[0].weight, 1.0f, 1e-3f);

  // The same axis voting for a later plane spawns nothing more.
  e.addPerpendicularSupport(selectedPlane(Vec3(1, 1, 0), 0.1f), winning);
  EXPECT_EQ(e.perpendicularSupportPlanes.size(), 1);
  EXPECT_EQ(e.features.size(), 4);
}

TEST(PerpendicularSupport, DisabledOrDegenerateAxesAddNothing) {
  Sorvex& e = engine();
  e.features.append(axisFeature(FeatureSegmentPCAAxes, Vec3(0, 0, 1), Vec3(0.2f, 0, 0)));
  e.features.append(axisFeature(FeatureSegmentPCAAxes, Vec3(0, 0, 0), Vec3(0.2f, 0, 0)));  // no direction
  const SectionPlane selected = selectedPlane(Vec3(0, 1, 0), 0.0f);
  e.featureEnabled[FeaturePerpendicularSupport] = false;
  e.addPerpendicularSupport(selected, binWithVotes({Vote{0, 1, 0.5f}}));
  EXPECT_TRUE(e.perpendicularSupportPlanes.isEmpty());
  e.featureEnabled[FeaturePerpendicularSupport] = true;
  // A vote naming a feature that does not exist, and the axis without direction.
  e.addPerpendicularSupport(selected, binWithVotes({Vote{57, 1, 0.5f}, Vote{1, 1, 0.5f}}));
  EXPECT_TRUE(e.perpendicularSupportPlanes.isEmpty());
  EXPECT_TRUE(e.bins.nonEmptyBins().isEmpty());
}

TEST(SymmetricSupport, MirrorsTheSelectedPlaneInSymmetryPlanes) {
  Sorvex& e = engine();
  e.features.append(symmetryPlane(Vec3(1, 0, 0), 0.0f));  // x = 0
  // About 87 degrees from the selected plane: mirrors onto itself, skipped.
  const float a = 87.0f * 3.14159265f / 180.0f;
  e.features.append(symmetryPlane(Vec3(std::cos(a + 0.78539816f), std::sin(a + 0.78539816f), 0), 0.1f));
  const SectionPlane selected = selectedPlane(Vec3(1, 1, 0), 0.3f);
  e.addSymmetricSupport(selected, binWithVotes({Vote{5, 0, 1.0f}}));

  ASSERT_EQ(e.symmetricSupportPlanes.size(), 1);
  const CutPlane& q = e.symmetricSupportPlanes[0];
  // The mirror image of (1, 1, 0)/sqrt 2, 0.3 in x = 0 is (-1, 1, 0)/sqrt 2, 0.3.
  expectNear(q.normal, Vec3(-1, 1, 0).normalized());
  EXPECT_NEAR(q.d, 0.3f, 1e-5f);
  ASSERT_EQ(e.features.size(), 3);
  EXPECT_EQ(e.features[2].type, FeatureSymmetricSupport);
  EXPECT_EQ(e.features[2].index, 0);
  int i, j, k;
  BinSpace::planeToBin(q.normal, q.d, i, j, k);
  const Bin own = e.bins.binAt(i, j, k);
  ASSERT_FALSE(own.votes.isEmpty());
  EXPECT_EQ(own.votes[0].featureIndex, 2);
  EXPECT_EQ(own.votes[0].featureType, int(FeatureSymmetricSupport));
}

TEST(SymmetricSupport, NothingWhenTheWinnerCameFromSymmetry) {
  Sorvex& e = engine();
  e.features.append(symmetryPlane(Vec3(1, 0, 0), 0.0f));
  const SectionPlane selected = selectedPlane(Vec3(1, 1, 0), 0.3f);
  e.addSymmetricSupport(selected, binWithVotes({Vote{3, 0, 1.0f}, Vote{0, int(FeatureSymmetryPlanes), 1.0f}}));
  e.addSymmetricSupport(selected, binWithVotes({Vote{7, int(FeatureSymmetricSupport), 1.0f}}));
  EXPECT_TRUE(e.symmetricSupportPlanes.isEmpty());
  EXPECT_EQ(e.features.size(), 1);
  e.featureEnabled[FeatureSymmetricSupport] = false;
  e.addSymmetricSupport(selected, binWithVotes({Vote{3, 0, 1.0f}}));
  EXPECT_TRUE(e.symmetricSupportPlanes.isEmpty());
  EXPECT_TRUE(e.bins.nonEmptyBins().isEmpty());
}
