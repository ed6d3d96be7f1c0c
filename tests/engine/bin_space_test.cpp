#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "engine/bin_space.h"

namespace {

constexpr float kPi = 3.14159265f;

struct Index {
  int i, j, k;
};

Index toBin(const Vec3& n, float d) {
  Index r{};
  BinSpace::planeToBin(n, d, r.i, r.j, r.k);
  return r;
}

// The single space shared by the tests: constructing one allocates 800k bins.
BinSpace& space() {
  static BinSpace* s = new BinSpace();
  s->clearBins();
  return *s;
}

std::vector<int> featureIndices(const QVector<Vote>& votes) {
  std::vector<int> out;
  for (const Vote& v : votes) out.push_back(v.featureIndex);
  return out;
}

}  // namespace

TEST(BinSpaceMapping, KnownPlanesMapToTheirBins) {
  Index a = toBin(Vec3(0, 1, 0), 0.5f);
  EXPECT_EQ(a.i, 0);
  EXPECT_EQ(a.j, 0);
  EXPECT_EQ(a.k, 50);
  Index b = toBin(Vec3(-1, 0, 0), 0.25f);
  EXPECT_EQ(b.i, 180);
  EXPECT_EQ(b.j, 90);
  EXPECT_EQ(b.k, 25);
  // A negative offset stands for the flipped plane (-1, 0, 0), 0.3.
  Index c = toBin(Vec3(1, 0, 0), -0.3f);
  EXPECT_EQ(c.i, 180);
  EXPECT_EQ(c.j, 90);
  EXPECT_EQ(c.k, 30);
  // The normal need not be unit length.
  Index e = toBin(Vec3(0, 0, 3), 0.129f);
  EXPECT_EQ(e.i, 90);
  EXPECT_EQ(e.j, 90);
  EXPECT_EQ(e.k, 12);  // truncated, not rounded
  // theta below zero wraps: -45 degrees is bin 315.
  Index f = toBin(Vec3(1, 0, -1), 0.0f);
  EXPECT_EQ(f.i, 315);
}

TEST(BinSpaceMapping, EveryBinPlaneMapsBackToItsBin) {
  for (int i = 0; i < BinSpace::kCountTheta; ++i) {
    for (int j = 1; j < BinSpace::kCountPhi; ++j) {  // at j = 0 theta is undefined
      Vec3 n;
      float d;
      BinSpace::binPlane(i, j, 0, n, d);
      Index r = toBin(n, 0.0f);
      ASSERT_EQ(r.i, i) << "j " << j;
      ASSERT_EQ(r.j, j) << "i " << i;
    }
  }
  for (int k = 0; k < BinSpace::kCountD; ++k) {
    Vec3 n;
    float d;
    BinSpace::binPlane(20, 30, k, n, d);
    EXPECT_EQ(toBin(n, d).k, k);
  }
}

TEST(BinSpaceMapping, CoordinatesAreTheUntruncatedBin) {
  const Vec3 n = Vec3(0.3f, 0.5f, -0.8f).normalized();
  float theta, phi, k;
  ASSERT_TRUE(BinSpace::planeToBinCoords(n, 0.337f, theta, phi, k));
  const float expectTheta = std::atan2(n.z, n.x) * 180.0f / kPi + 360.0f;
  EXPECT_NEAR(theta, expectTheta, 1e-3f);
  EXPECT_NEAR(phi, std::acos(n.y) * 180.0f / kPi, 1e-3f);
  EXPECT_NEAR(k, 33.7f, 1e-4f);
  // Back to the plane.
  Vec3 m;
  float d;
  BinSpace::binCoordsToPlane(theta, phi, k, m, d);
  EXPECT_NEAR(m.x, n.x, 1e-5f);
  EXPECT_NEAR(m.y, n.y, 1e-5f);
  EXPECT_NEAR(m.z, n.z, 1e-5f);
  EXPECT_NEAR(d, 0.337f, 1e-6f);
  // Negative offset: the flipped plane's coordinates.
  float t2, p2, k2;
  ASSERT_TRUE(BinSpace::planeToBinCoords(-n, -0.337f, t2, p2, k2));
  EXPECT_NEAR(t2, theta, 1e-3f);
  EXPECT_NEAR(p2, phi, 1e-3f);
  EXPECT_NEAR(k2, k, 1e-4f);
}

TEST(BinSpaceMapping, UnusableAndFarPlanesAreReportedOutOfRange) {
  int i, j, k;
  EXPECT_FALSE(BinSpace::planeToBin(Vec3(NAN, 0, 1), 0.2f, i, j, k));
  EXPECT_FALSE(BinSpace::inRange(i, j, k));
  EXPECT_FALSE(BinSpace::planeToBin(Vec3(0, 0, 0), 0.2f, i, j, k));
  EXPECT_FALSE(BinSpace::inRange(i, j, k));
  EXPECT_FALSE(BinSpace::planeToBin(Vec3(0, 0, 1), INFINITY, i, j, k));
  EXPECT_FALSE(BinSpace::inRange(i, j, k));
  // d >= 1 lies beyond the offsets covered.
  EXPECT_FALSE(BinSpace::planeToBin(Vec3(0, 0, 1), 1.5f, i, j, k));
  EXPECT_EQ(k, 150);
  EXPECT_FALSE(BinSpace::planeToBin(Vec3(0, 0, 1), 1e30f, i, j, k));
  EXPECT_GE(k, 100);
  // Straight down is phi 180, one past the last phi bin.
  EXPECT_FALSE(BinSpace::planeToBin(Vec3(0, -1, 0), 0.5f, i, j, k));
  EXPECT_EQ(j, 180);
  float t, p, kk;
  EXPECT_FALSE(BinSpace::planeToBinCoords(Vec3(NAN, 0, 0), 0.1f, t, p, kk));
  EXPECT_TRUE(std::isfinite(t) && std::isfinite(p) && std::isfinite(kk));
  Vec3 n;
  float d;
  BinSpace::binCoordsToPlane(NAN, 3.0f, 1.0f, n, d);
  EXPECT_TRUE(n.isFinite());
  EXPECT_TRUE(std::isfinite(d));
}

TEST(PlaneDistance, MeasuresAnglesAndOffsetsAndIgnoresOrientation) {
  const Vec3 n = Vec3(0.3f, 0.4f, 0.866f).normalized();
  EXPECT_EQ(planeDistance(n, 0.4f, n, 0.4f), 0.0f);
  EXPECT_EQ(planeDistance(n, 0.4f, -n, -0.4f), 0.0f);
  // 90 degrees counts as 1, like an offset difference of 1.
  EXPECT_NEAR(planeDistance(Vec3(1, 0, 0), 0.2f, Vec3(0, 1, 0), 0.2f), 1.0f, 1e-6f);
  EXPECT_NEAR(planeDistance(Vec3(1, 0, 0), 0.2f, Vec3(1, 0, 0), 0.5f), 0.3f, 1e-6f);
  // 45 degrees and an offset of 0.1: 0.5 + 0.1.
  EXPECT_NEAR(planeDistance(Vec3(1, 0, 0), 0.2f, Vec3(1, 1, 0).normalized(), 0.3f), 0.6f, 1e-5f);
  // Opposite normals with opposite offsets are the same plane; with equal
  // offsets they are 2d apart.
  EXPECT_NEAR(planeDistance(Vec3(0, 0, 1), 0.25f, Vec3(0, 0, -1), 0.25f), 0.5f, 1e-6f);
  EXPECT_TRUE(std::isnan(planeDistance(Vec3(NAN, 0, 0), 0.1f, n, 0.1f)));
  // Exactly 0 for every bin plane with itself and its flipped twin (the arc
  // cosine of a rounded unit dot product would give up to 0.0002 or NaN).
  for (int i = 0; i < 360; i += 7) {
    for (int j = 0; j < 180; j += 3) {
      Vec3 m;
      float d;
      BinSpace::binPlane(i, j, 31, m, d);
      ASSERT_EQ(planeDistance(m, d, m, d), 0.0f) << i << " " << j;
      ASSERT_EQ(planeDistance(m, d, -m, -d), 0.0f) << i << " " << j;
    }
  }
  // A zero normal is 90 degrees from everything.
  EXPECT_NEAR(planeDistance(Vec3(0, 0, 0), 0.1f, n, 0.1f), 1.0f, 1e-6f);
}

TEST(BinSpaceConstruction, BinsHoldTheirFixedPlanesAndNoVotes) {
  BinSpace& s = space();
  for (int i : {0, 36, 180, 358}) {
    for (int j : {0, 2, 90, 178}) {
      for (int k : {0, 44, 98}) {
        const Bin& b = s.latticeBin(i, j, k);
        const float th = i * kPi / 180.0f, ph = j * kPi / 180.0f;
        EXPECT_NEAR(b.normal.x, std::cos(th) * std::sin(ph), 1e-6f);
        EXPECT_NEAR(b.normal.y, std::cos(ph), 1e-6f);
        EXPECT_NEAR(b.normal.z, std::sin(th) * std::sin(ph), 1e-6f);
        EXPECT_NEAR(b.normal.length(), 1.0f, 1e-6f);
        EXPECT_FLOAT_EQ(b.d, k / 100.0f);
        EXPECT_TRUE(b.votes.isEmpty());
        EXPECT_EQ(b.total, 0.0f);
      }
    }
  }
  EXPECT_TRUE(s.nonEmptyBins().isEmpty());
  EXPECT_EQ(s.stride(), 2);
}

TEST(BinSpaceVotes, DuplicateVotesCountOnce) {
  BinSpace& s = space();
  s.addVote(10, 40, 20, 7, 2, 0.5f);
  s.addVote(10, 40, 20, 7, 3, 0.9f);  // same feature: ignored even with other fields
  s.addVote(10, 40, 20, 8, 2, 0.25f);
  const Bin b = s.binAt(10, 40, 20);
  ASSERT_EQ(b.votes.size(), 2);
  EXPECT_EQ(b.votes[0].featureIndex, 7);
  EXPECT_EQ(b.votes[0].featureType, 2);
  EXPECT_EQ(b.votes[0].weight, 0.5f);
  EXPECT_EQ(b.votes[1].featureIndex, 8);
  EXPECT_FLOAT_EQ(b.total, 0.75f);
}

TEST(BinSpaceVotes, ZeroOffsetVotesReachTheTwinBin) {
  BinSpace& s = space();
  s.addVote(10, 40, 0, 1, 0, 0.5f);
  EXPECT_EQ(s.binAt(190, 140, 0).votes.size(), 1);
  EXPECT_FLOAT_EQ(s.binAt(190, 140, 0).total, 0.5f);
  // The twin of a bin past 180 degrees wraps around.
  s.addVote(200, 20, 0, 2, 0, 0.25f);
  EXPECT_EQ(s.binAt(20, 160, 0).votes.size(), 1);
  // phi 0 has no twin in range; a vote there lands only there.
  s.addVote(10, 0, 0, 3, 0, 1.0f);
  EXPECT_EQ(s.nonEmptyBins().size(), 5);
  // Off zero offset there is no twin.
  s.addVote(10, 40, 2, 4, 0, 1.0f);
  EXPECT_TRUE(s.binAt(190, 140, 2).votes.isEmpty());
  // The twin really is the same plane.
  const Bin a = s.binAt(10, 40, 0), b = s.binAt(190, 140, 0);
  EXPECT_NEAR(planeDistance(a.normal, a.d, b.normal, b.d), 0.0f, 1e-3f);
}

TEST(BinSpaceVotes, BadIndicesAndWeightsAreIgnored) {
  BinSpace& s = space();
  s.addVote(-2, 0, 0, 1, 0, 1.0f);
  s.addVote(360, 0, 0, 1, 0, 1.0f);
  s.addVote(0, 180, 0, 1, 0, 1.0f);
  s.addVote(0, 0, 100, 1, 0, 1.0f);
  s.addVote(0, 0, 2147483646, 1, 0, 1.0f);
  s.addVote(11, 40, 20, 1, 0, 1.0f);  // off the lattice: such bins never hold votes
  s.addVote(10, 40, 20, 1, 0, NAN);
  s.addVote(10, 40, 20, 2, 0, INFINITY);
  EXPECT_TRUE(s.nonEmptyBins().isEmpty());
  s.addVote(10, 40, 20, 3, 0, 0.0f);  // weight 0 is a real vote
  ASSERT_EQ(s.nonEmptyBins().size(), 1);
  EXPECT_EQ(s.nonEmptyBins()[0]->total, 0.0f);
}

TEST(BinSpaceRemoval, CoveredVotesMoveToRemovedVotes) {
  BinSpace& s = space();
  // Features 1, 2, 3 share bin A; feature 2 alone in B; 3 and 1 in C.
  s.addVote(4, 6, 8, 1, 0, 0.1f);
  s.addVote(4, 6, 8, 2, 1, 0.7f);
  s.addVote(4, 6, 8, 3, 2, 0.2f);
  s.addVote(100, 50, 20, 2, 1, 0.4f);
  s.addVote(50, 50, 50, 3, 2, 0.3f);
  s.addVote(50, 50, 50, 1, 0, 0.6f);
  Bin winner;
  winner.votes = {Vote{2, 1, 0.7f}, Vote{1, 0, 0.1f}};
  s.removeFeatureVotes(winner);

  const Bin a = s.binAt(4, 6, 8);
  EXPECT_EQ(featureIndices(a.votes), std::vector<int>({3}));
  EXPECT_EQ(featureIndices(a.removedVotes), std::vector<int>({2, 1}));  // in the winner's order
  EXPECT_NEAR(a.total, 0.2f, 1e-6f);
  const Bin b = s.binAt(100, 50, 20);
  EXPECT_TRUE(b.votes.isEmpty());
  EXPECT_EQ(b.total, 0.0f);
  const Bin c = s.binAt(50, 50, 50);
  EXPECT_EQ(featureIndices(c.votes), std::vector<int>({3}));
  EXPECT_EQ(c.removedVotes[0].weight, 0.6f);
  // Removing again changes nothing.
  s.removeFeatureVotes(winner);
  EXPECT_EQ(s.binAt(4, 6, 8).removedVotes.size(), 2);
}

TEST(BinSpaceRemoval, EmptiedBinHasTotalExactlyZero) {
  BinSpace& s = space();
  const float w1 = 0.3f, w2 = 0.6f, w3 = 0.1f;
  // Adding and then subtracting these in float leaves a negative residue.
  volatile float residue = 0.0f;
  residue = residue + w1;
  residue = residue + w2;
  residue = residue + w3;
  residue = residue - w1;
  residue = residue - w2;
  residue = residue - w3;
  ASSERT_LT(residue, 0.0f);
  s.addVote(2, 2, 2, 1, 0, w1);
  s.addVote(2, 2, 2, 2, 0, w2);
  s.addVote(2, 2, 2, 3, 0, w3);
  Bin winner;
  winner.votes = {Vote{1, 0, w1}, Vote{2, 0, w2}, Vote{3, 0, w3}};
  s.removeFeatureVotes(winner);
  const Bin b = s.binAt(2, 2, 2);
  EXPECT_TRUE(b.votes.isEmpty());
  EXPECT_EQ(b.removedVotes.size(), 3);
  EXPECT_EQ(b.total, 0.0f);
  EXPECT_FALSE(std::signbit(b.total));
}

// Removal touches only the cells a feature voted into; it must end exactly
// like removing from every bin of the space.
TEST(BinSpaceRemoval, MatchesARemovalOverEveryBin) {
  BinSpace& s = space();
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> cellPick(0, 400);  // a small region so features overlap
  std::uniform_real_distribution<float> weight(0.0f, 1.0f);
  for (int f = 0; f < 30; ++f) {
    for (int n = 0; n < 60; ++n) {
      const int c = cellPick(rng) * 7;  // spread over columns, including d = 0 twins
      int i, j, k;
      BinSpace::cellIndices(c, i, j, k);
      s.addVote(i, j, k, f, f % 10, weight(rng));
    }
  }
  std::vector<Bin> expected(BinSpace::kCellCount);
  for (int c = 0; c < BinSpace::kCellCount; ++c) expected[c] = s.cell(c);
  const Bin winners[2] = {*s.nonEmptyBins()[0], s.maxBin()};
  for (const Bin& winner : winners) {
    ASSERT_FALSE(winner.votes.isEmpty());
    for (Bin& x : expected) {
      for (const Vote& v : winner.votes) {
        for (int q = 0; q < x.votes.size(); ++q) {
          if (x.votes[q].featureIndex != v.featureIndex) continue;
          x.total -= x.votes[q].weight;
          x.removedVotes.append(x.votes[q]);
          x.votes.remove(q);
          if (x.votes.isEmpty()) x.total = 0.0f;
          break;
        }
      }
    }
    s.removeFeatureVotes(winner);
  }
  for (int c = 0; c < BinSpace::kCellCount; ++c) {
    const Bin& got = s.cell(c);
    ASSERT_EQ(featureIndices(got.votes), featureIndices(expected[c].votes)) << c;
    ASSERT_EQ(featureIndices(got.removedVotes), featureIndices(expected[c].removedVotes)) << c;
    ASSERT_EQ(got.total, expected[c].total) << c;
  }
}

TEST(BinSpaceSearch, MaxBinTakesTheFirstOfEqualTotals) {
  BinSpace& s = space();
  int i, j, k;
  Bin none = s.maxBin(i, j, k);
  EXPECT_EQ(i, 0);
  EXPECT_EQ(j, 0);
  EXPECT_EQ(k, 0);
  EXPECT_EQ(none.total, 0.0f);
  EXPECT_NEAR(none.normal.y, 1.0f, 1e-6f);
  EXPECT_EQ(none.d, 0.0f);

  s.addVote(20, 30, 40, 1, 0, 0.5f);
  s.addVote(10, 90, 60, 2, 0, 0.5f);  // earlier in scan order (theta is outer)
  s.addVote(10, 90, 62, 3, 0, 0.25f);
  Bin best = s.maxBin(i, j, k);
  EXPECT_EQ(i, 10);
  EXPECT_EQ(j, 90);
  EXPECT_EQ(k, 60);
  EXPECT_EQ(best.votes[0].featureIndex, 2);
  s.addVote(300, 2, 2, 4, 0, 0.75f);
  best = s.maxBin(i, j, k);
  EXPECT_EQ(i, 300);
  EXPECT_FLOAT_EQ(best.total, 0.75f);
}

TEST(BinSpaceSearch, NearestNonEmptyBinWithAndWithoutVotes) {
  BinSpace& s = space();
  float dist = 0.0f;
  Bin none = s.nearestNonEmptyBin(40, 40, 40, dist);
  EXPECT_EQ(dist, FLT_MAX);
  EXPECT_TRUE(none.votes.isEmpty());
  EXPECT_NEAR(none.normal.y, 1.0f, 1e-6f);  // bin (0, 0, 0)

  s.addVote(40, 40, 40, 1, 0, 0.1f);
  s.addVote(40, 40, 60, 2, 0, 0.9f);
  Bin near = s.nearestNonEmptyBin(40, 40, 44, dist);
  EXPECT_EQ(near.votes[0].featureIndex, 1);
  EXPECT_NEAR(dist, 0.04f, 1e-5f);
  // Off-lattice and beyond-range queries use the plane of their own indices.
  near = s.nearestNonEmptyBin(41, 41, 57, dist);
  EXPECT_EQ(near.votes[0].featureIndex, 2);
  Vec3 qn;
  float qd;
  BinSpace::binPlane(41, 41, 57, qn, qd);
  EXPECT_EQ(dist, planeDistance(qn, qd, near.normal, near.d));
  near = s.nearestNonEmptyBin(40, 40, 150, dist);
  EXPECT_EQ(near.votes[0].featureIndex, 2);
  EXPECT_NEAR(dist, 0.9f, 1e-5f);
  near = s.nearestNonEmptyBin(-7, 9000, -3, dist);  // garbage indices: still a voted bin
  EXPECT_FALSE(near.votes.isEmpty());
  EXPECT_TRUE(std::isfinite(dist));
}

TEST(BinSpaceSearch, BinAtRoundsDownAndOffLatticeBinsAreUnvoted) {
  BinSpace& s = space();
  s.addVote(10, 40, 20, 1, 0, 0.5f);
  EXPECT_EQ(s.binAt(11, 41, 21).votes.size(), 1);
  EXPECT_EQ(s.binAt(10, 40, 22).votes.size(), 0);
  // Out of range: an empty bin with the plane of the rounded indices.
  Bin far = s.binAt(0, 90, 151);
  EXPECT_TRUE(far.votes.isEmpty());
  EXPECT_FLOAT_EQ(far.d, 1.5f);
  EXPECT_NEAR(far.normal.x, 1.0f, 1e-6f);
  Bin neg = s.binAt(-1, -1, -1);
  EXPECT_TRUE(neg.votes.isEmpty());
  EXPECT_FLOAT_EQ(neg.d, -0.02f);

  EXPECT_FALSE(s.isUnvotedBin(10, 40, 20));
  EXPECT_TRUE(s.isUnvotedBin(11, 40, 20));  // off the lattice: never written
  EXPECT_TRUE(s.isUnvotedBin(12, 40, 20));
  EXPECT_FALSE(s.isUnvotedBin(-1, 0, 0));
  EXPECT_FALSE(s.isUnvotedBin(0, 180, 0));
  EXPECT_FALSE(s.isUnvotedBin(0, 0, 100));
  // A bin whose votes were all removed is not unvoted.
  Bin winner;
  winner.votes = {Vote{1, 0, 0.5f}};
  s.removeFeatureVotes(winner);
  EXPECT_TRUE(s.binAt(10, 40, 20).votes.isEmpty());
  EXPECT_FALSE(s.isUnvotedBin(10, 40, 20));
}

TEST(BinSpaceSearch, ClearBinsForgetsVotesAndTheirFeatures) {
  BinSpace& s = space();
  s.addVote(10, 40, 20, 1, 0, 0.5f);
  s.addVote(12, 40, 20, 1, 0, 0.5f);
  s.clearBins();
  EXPECT_TRUE(s.nonEmptyBins().isEmpty());
  EXPECT_TRUE(s.isUnvotedBin(10, 40, 20));
  // Feature 1 votes anew elsewhere; removing it touches only the new bin.
  s.addVote(30, 30, 30, 1, 0, 0.5f);
  Bin winner;
  winner.votes = {Vote{1, 0, 0.5f}};
  s.removeFeatureVotes(winner);
  EXPECT_EQ(s.binAt(30, 30, 30).removedVotes.size(), 1);
  EXPECT_TRUE(s.isUnvotedBin(10, 40, 20));
}

TEST(BinSpaceSearch, NonEmptyBinsListsVotedBinsInScanOrder) {
  BinSpace& s = space();
  s.addVote(20, 2, 2, 1, 0, 0.5f);
  s.addVote(2, 20, 4, 2, 0, 0.5f);
  s.addVote(2, 20, 2, 3, 0, 0.5f);
  QList<Bin*> bins = s.nonEmptyBins();
  ASSERT_EQ(bins.size(), 3);
  EXPECT_EQ(bins[0]->votes[0].featureIndex, 3);
  EXPECT_EQ(bins[1]->votes[0].featureIndex, 2);
  EXPECT_EQ(bins[2]->votes[0].featureIndex, 1);
}
