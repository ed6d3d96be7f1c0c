#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/sorvex.h"
#include "support/voting_support.h"
#include "engine/voting.h"
#include "engine/voting_reference.h"

namespace {

Sorvex& engine() { return testsupport::votingEngine(); }

Feature planeFeature(FeatureType type, const Vec3& normal, float d, float extent = 0.0f) {
  Feature f;
  f.type = type;
  f.plane.normal = normal;
  f.plane.d = d;
  f.plane.point = normal * d;
  f.plane.extent = extent;
  return f;
}

Feature axisFeature(FeatureType type, const Vec3& direction, const Vec3& point, int index = 0) {
  Feature f;
  f.type = type;
  f.index = index;
  f.axis.direction = direction;
  f.axis.point = point;
  return f;
}

QList<SectionSegment> piece(const Vec3& a, const Vec3& b) {
  SectionSegment s;
  s.start = a;
  s.end = b;
  return {s};
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof(float)) == 0; }

// Every cell of two spaces holds the same votes, in the same order, with the
// same weights and totals bit for bit.
void expectSameBins(const BinSpace& a, const BinSpace& b) {
  long votes = 0;
  for (int c = 0; c < BinSpace::kCellCount; ++c) {
    const Bin& x = a.cell(c);
    const Bin& y = b.cell(c);
    ASSERT_EQ(x.votes.size(), y.votes.size()) << "cell " << c;
    ASSERT_EQ(x.removedVotes.size(), y.removedVotes.size()) << "cell " << c;
    ASSERT_TRUE(sameBits(x.total, y.total)) << "cell " << c << ": " << x.total << " vs " << y.total;
    for (int v = 0; v < x.votes.size(); ++v) {
      ASSERT_EQ(x.votes[v].featureIndex, y.votes[v].featureIndex) << "cell " << c;
      ASSERT_EQ(x.votes[v].featureType, y.votes[v].featureType) << "cell " << c;
      ASSERT_TRUE(sameBits(x.votes[v].weight, y.votes[v].weight)) << "cell " << c;
    }
    for (int v = 0; v < x.removedVotes.size(); ++v) {
      ASSERT_EQ(x.removedVotes[v].featureIndex, y.removedVotes[v].featureIndex) << "cell " << c;
      ASSERT_TRUE(sameBits(x.removedVotes[v].weight, y.removedVotes[v].weight)) << "cell " << c;
    }
    votes += x.votes.size();
  }
  EXPECT_GT(votes, 0);
}

// Runs populateBins and the plain transcription on the engine's features and
// requires identical bins, also after the votes of two winners are removed.
void expectFastMatchesPlain(Sorvex& e) {
  e.populateBins();
  std::unique_ptr<BinSpace> fast(new BinSpace());
  std::swap(*fast, e.bins);  // keep the fast result, vote again plainly
  voting::populateBinsPlain(e);
  expectSameBins(*fast, e.bins);
  for (int round = 0; round < 2; ++round) {
    const Bin winner = fast->maxBin();
    fast->removeFeatureVotes(winner);
    e.bins.removeFeatureVotes(e.bins.maxBin());
    expectSameBins(*fast, e.bins);
  }
}

void addRandomFeatures(Sorvex& e, std::mt19937& rng, int perKind) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::uniform_real_distribution<float> pos(0.0f, 1.0f);
  auto dir = [&]() { return Vec3(u(rng), u(rng), u(rng)).normalized(); };
  auto point = [&]() { return Vec3(u(rng), u(rng), u(rng)) * 0.5f; };
  for (int n = 0; n < perKind; ++n) {
    const Vec3 p = point();
    Vec3 nrm = dir();
    // Segment planes in both slab cases: a band clear of offset 0 and one across it.
    CutPlane sp;
    sp.normal = nrm;
    sp.d = nrm.dot(p);
    sp.extent = n % 2 == 0 ? 0.02f : 0.4f;
    normalizePlane(sp);
    Feature f0;
    f0.type = FeatureSegmentPCAPlanes;
    f0.plane = sp;
    e.features.append(f0);
    e.features.append(axisFeature(FeatureSegmentPCAAxes, dir(), point()));
    e.ridgePieces.append(piece(p, p + dir() * 0.3f * pos(rng)));
    e.features.append(axisFeature(FeatureRidges, dir(), point(), e.ridgePieces.size() - 1));
    e.valleyPieces.append(piece(p, p + dir() * 0.2f));
    e.features.append(axisFeature(FeatureValleys, dir(), point(), e.valleyPieces.size() - 1));
    e.features.append(planeFeature(FeatureSymmetryPlanes, dir(), 0.6f * u(rng)));
    e.features.append(axisFeature(FeatureSymmetryAxes, dir(), point()));
    e.features.append(planeFeature(FeatureGlobalXYZ, dir(), 0.1f));
    e.features.append(planeFeature(FeatureGlobalPCA, dir() * (0.2f + pos(rng)), 0.2f * u(rng)));
  }
}

}  // namespace

TEST(VoteKernels, RadiusTestIsStrict) {
  Sorvex& e = engine();
  const Bin bin = e.bins.binAt(0, 90, 40);  // normal (1, 0, 0), d = 0.4
  const float d = 0.5f;
  const float r = d - bin.d;  // bin (0, 90, 40) lies at distance exactly r
  e.votePlane(bin.normal, d, r, 3, FeatureSymmetryPlanes, 2.0f);
  EXPECT_TRUE(e.bins.binAt(0, 90, 40).votes.isEmpty());
  // Offsets strictly between 0.4 and 0.6 are reached in this column: k = 42 .. 58.
  int reached = 0;
  for (int k = 0; k < 100; k += 2) reached += e.bins.binAt(0, 90, k).votes.size();
  EXPECT_EQ(reached, 9);
  EXPECT_TRUE(e.bins.binAt(0, 90, 60).votes.isEmpty());
  // Full weight on the plane itself, falling off linearly.
  EXPECT_EQ(e.bins.binAt(0, 90, 50).votes[0].weight, 2.0f);
  EXPECT_NEAR(e.bins.binAt(0, 90, 46).votes[0].weight, 2.0f * (r - 0.04f) / r, 1e-5f);
  EXPECT_EQ(e.bins.binAt(0, 90, 46).votes[0].featureType, int(FeatureSymmetryPlanes));
}

TEST(VoteKernels, AxisSkipsBinsWithin30DegreesOfIt) {
  Sorvex& e = engine();
  e.voteAxis(Vec3(0, 1, 0), Vec3(0, 0, 0), 1.0f, 0, FeatureSymmetryAxes, 1.0f);
  int voted = 0;
  for (Bin* bin : e.bins.nonEmptyBins()) {
    ++voted;
    ASSERT_LE(std::fabs(bin->normal.y), 0.8660256f);
  }
  EXPECT_GT(voted, 0);
  // phi = 28 degrees is 62 degrees from the planes through the axis (distance
  // 0.69 < 1) but within 30 degrees of the axis: skipped. phi = 32: reached.
  EXPECT_TRUE(e.bins.binAt(0, 28, 0).votes.isEmpty());
  EXPECT_TRUE(e.bins.binAt(40, 152, 10).votes.isEmpty());
  EXPECT_FALSE(e.bins.binAt(0, 32, 0).votes.isEmpty());
  EXPECT_FALSE(e.bins.binAt(40, 148, 10).votes.isEmpty());
  // A plane containing the axis gets the full weight.
  EXPECT_EQ(e.bins.binAt(0, 90, 0).votes[0].weight, 1.0f);
  // The same votes as the plain kernel.
  std::unique_ptr<BinSpace> plain(new BinSpace());
  voting::VoteJob job;
  job.kernel = voting::Kernel::Axis;
  job.normal = Vec3(0, 1, 0);
  job.radius = 1.0f;
  job.featureType = FeatureSymmetryAxes;
  job.weight = 1.0f;
  voting::castVotesPlain(*plain, job);
  expectSameBins(*plain, e.bins);
}

TEST(VoteKernels, ZeroLengthRidgeVotesWithWeightZero) {
  Sorvex& e = engine();
  e.ridgePieces.append(piece(Vec3(0.1f, 0.2f, 0.3f), Vec3(0.1f, 0.2f, 0.3f)));
  e.features.append(axisFeature(FeatureRidges, Vec3(0, 0, 1), Vec3(0.1f, 0.2f, 0.3f), 0));
  e.populateBins();
  const QList<Bin*> voted = e.bins.nonEmptyBins();
  ASSERT_FALSE(voted.isEmpty());
  for (Bin* bin : voted) {
    ASSERT_EQ(bin->votes.size(), 1);
    EXPECT_EQ(bin->votes[0].weight, 0.0f);
    EXPECT_EQ(bin->total, 0.0f);
  }
  // A piece of length 0.5 scales the weight by 0.5 instead.
  e.ridgePieces[0] = piece(Vec3(0, 0, 0), Vec3(0, 0, 0.5f));
  e.populateBins();
  EXPECT_EQ(e.bins.maxBin().total, 0.5f);
}

TEST(VoteKernels, GlobalXYZVotesFullStrengthAcrossTheUnitBall) {
  Sorvex& e = engine();
  e.featureWeight[FeatureGlobalXYZ] = 0.7f;
  e.features.append(planeFeature(FeatureGlobalXYZ, Vec3(1, 0, 0), 0.37f));
  e.populateBins();
  for (int k = 0; k < 100; k += 2) {
    const Bin a = e.bins.binAt(0, 90, k);  // normal (1, 0, 0)
    ASSERT_EQ(a.votes.size(), 1) << k;
    EXPECT_EQ(a.votes[0].weight, 0.7f) << k;
    const Bin b = e.bins.binAt(180, 90, k);  // normal (-1, 0, 0): the same planes
    ASSERT_EQ(b.votes.size(), 1) << k;
    EXPECT_EQ(b.votes[0].weight, 0.7f) << k;
  }
  // 10 degrees off: weight falls to w * (0.1 - 1/9) / 0.1 < 0 -> no vote.
  EXPECT_TRUE(e.bins.binAt(10, 90, 20).votes.isEmpty());
  // 4 degrees off (theta bin 4): w * (0.1 - 4/90) / 0.1.
  EXPECT_NEAR(e.bins.binAt(4, 90, 20).votes[0].weight, 0.7f * (0.1f - 4.0f / 90.0f) / 0.1f, 1e-5f);
}

TEST(VoteKernels, PopulateBinsReportsProgressPerFeature) {
  Sorvex& e = engine();
  std::mt19937 rng(3);
  addRandomFeatures(e, rng, 1);
  const int n = e.features.size();
  std::vector<int> progress;
  QMetaObject::Connection c =
      QObject::connect(&e, &Sorvex::percentComplete, [&progress](int p) { progress.push_back(p); });
  e.populateBins();
  QObject::disconnect(c);
  ASSERT_EQ(int(progress.size()), n);
  EXPECT_EQ(progress.front(), 250);
  EXPECT_EQ(progress[n / 2], int(std::lround(250.0 + 500.0 * (n / 2) / n)));
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i], progress[i - 1]);
  EXPECT_LT(progress.back(), 750);
}

TEST(VoteKernelsEquivalence, FastVotesEqualPlainVotesForEveryKind) {
  Sorvex& e = engine();
  std::mt19937 rng(11);
  addRandomFeatures(e, rng, 2);
  expectFastMatchesPlain(e);
}

TEST(VoteKernelsEquivalence, WideRadiiAndPlanesThroughTheOrigin) {
  Sorvex& e = engine();
  for (int t = 0; t < kFeatureTypeCount; ++t) e.featureRadius[t] = 0.45f;
  // Offsets at and near 0 exercise the twin bins; 0.97 and 1.3 the far end.
  e.features.append(planeFeature(FeatureSymmetryPlanes, Vec3(0.3f, 0.5f, 0.2f).normalized(), 0.0f));
  e.features.append(planeFeature(FeatureSymmetryPlanes, Vec3(0, 1, 0), 0.005f));
  e.features.append(planeFeature(FeatureSymmetryPlanes, Vec3(-1, 0, 0), 0.97f));
  e.features.append(planeFeature(FeatureSymmetryPlanes, Vec3(0, 0, 1), 1.3f));
  e.features.append(axisFeature(FeatureSymmetryAxes, Vec3(1, 0, 0), Vec3(0, 0, 0)));
  e.features.append(axisFeature(FeatureSegmentPCAAxes, Vec3(0.2f, 0.1f, 0.9f), Vec3(0.4f, -0.3f, 0.1f)));
  Feature slab = planeFeature(FeatureSegmentPCAPlanes, Vec3(0, 0, 1), -0.1f, 0.3f);  // band across 0
  e.features.append(slab);
  e.features.append(planeFeature(FeatureGlobalXYZ, Vec3(0, 1, 0), 0.0f));
  e.features.append(planeFeature(FeatureGlobalPCA, Vec3(0.0f, 0.3f, 0.4f), 0.1f));
  e.features.append(planeFeature(FeaturePerpendicularSupport, Vec3(1, 0, 0), 0.2f));  // no vote here
  expectFastMatchesPlain(e);
}

TEST(VoteKernelsEquivalence, SmallRadiiManyFeatures) {
  Sorvex& e = engine();
  for (int t = 0; t < kFeatureTypeCount; ++t) e.featureRadius[t] = 0.03f + 0.01f * t;
  for (int t = 0; t < kFeatureTypeCount; ++t) e.featureWeight[t] = 0.5f + 0.25f * t;
  std::mt19937 rng(29);
  addRandomFeatures(e, rng, 2);
  expectFastMatchesPlain(e);
}

TEST(VoteKernelsBadInput, DegenerateFeaturesNeverPutNaNIntoBins) {
  Sorvex& e = engine();
  e.features.append(axisFeature(FeatureSegmentPCAAxes, Vec3(0, 0, 0), Vec3(0.1f, 0, 0)));  // no direction
  e.features.append(axisFeature(FeatureSymmetryAxes, Vec3(0, 1, 0), Vec3(NAN, 0, 0)));
  e.features.append(planeFeature(FeatureSymmetryPlanes, Vec3(NAN, 1, 0), 0.2f));
  e.features.append(planeFeature(FeatureSymmetryPlanes, Vec3(0, 0, 0), 0.2f));
  e.features.append(planeFeature(FeatureSymmetryPlanes, Vec3(1, 0, 0), 7.0f));  // far beyond the unit ball
  e.features.append(planeFeature(FeatureSegmentPCAPlanes, Vec3(0, 1, 0), 0.2f, NAN));
  e.features.append(planeFeature(FeatureGlobalPCA, Vec3(INFINITY, 0, 0), 0.2f));
  e.features.append(axisFeature(FeatureRidges, Vec3(0, 0, 1), Vec3(0, 0, 0), 5));  // no such piece
  e.ridgePieces.append(piece(Vec3(0, 0, 0), Vec3(NAN, 0, 0)));
  e.features.append(axisFeature(FeatureRidges, Vec3(0, 0, 1), Vec3(0, 0, 0), 0));  // NaN length
  e.populateBins();
  EXPECT_TRUE(e.bins.nonEmptyBins().isEmpty());
  // Radius and weight problems.
  e.votePlane(Vec3(1, 0, 0), 0.3f, NAN, 0, 4, 1.0f);
  e.votePlane(Vec3(1, 0, 0), 0.3f, 0.0f, 0, 4, 1.0f);
  e.votePlane(Vec3(1, 0, 0), 0.3f, -0.2f, 0, 4, 1.0f);
  e.votePlane(Vec3(1, 0, 0), 0.3f, 0.1f, 0, 4, INFINITY);
  e.voteSlab(Vec3(1, 0, 0), Vec3(0.3f, 0, 0), INFINITY, 0.1f, 0, 0, 1.0f);
  e.voteAxis(Vec3(0, 0, 1), Vec3(0, 1e30f, 0), 0.1f, 0, 1, 1.0f);
  for (Bin* bin : e.bins.nonEmptyBins()) {
    ASSERT_TRUE(std::isfinite(bin->total));
    for (const Vote& v : bin->votes) ASSERT_TRUE(std::isfinite(v.weight));
  }
  EXPECT_TRUE(e.bins.nonEmptyBins().isEmpty());
  // A plane just past d = 1 still reaches the last offsets, and nothing else.
  e.votePlane(Vec3(1, 0, 0), 1.05f, 0.1f, 1, 4, 1.0f);
  ASSERT_FALSE(e.bins.nonEmptyBins().isEmpty());
  for (Bin* bin : e.bins.nonEmptyBins()) EXPECT_GE(bin->d, 0.95f);
}
