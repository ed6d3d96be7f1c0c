// Whole plane-selection runs with the fast paths (threaded curvature
// smoothing, ridge splitting by running sums, fast vote kernels, the run on
// its own thread publishing step by step) and with the plain ones (one-thread
// smoothing, piece-by-piece splitting, plain kernels, called directly) must
// agree exactly: the same curvatures, features, bins after voting and
// support, accepted planes and winning bins.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "support/debug_capture.h"
#include "trimesh/trimesh.h"

namespace {

struct Setting {
  const char* model;
  float radius;
  float threshold;
  bool ridges;
  bool coverAll;
};

void configure(Sorvex& engine, const Setting& s) {
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    engine.featureWeight[t] = float(kStartFeatureWeights[t]);
    engine.featureRadius[t] = s.radius;
    engine.featureEnabled[t] = true;
  }
  engine.featureEnabled[FeatureRidges] = s.ridges;
  engine.featureEnabled[FeatureValleys] = s.ridges;
  engine.curvatureSmooth = 0.01f;
  engine.curvatureThreshold = 15.0f;
  engine.bins.setBinSelectThreshold(s.threshold);
  engine.setCoverAllSegments(s.coverAll);
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expectSameVotes(const QVector<Vote>& a, const QVector<Vote>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (int v = 0; v < a.size(); ++v) {
    EXPECT_EQ(a[v].featureIndex, b[v].featureIndex) << what;
    EXPECT_EQ(a[v].featureType, b[v].featureType) << what;
    EXPECT_TRUE(sameBits(a[v].weight, b[v].weight)) << what;
  }
}

void expectSameBin(const Bin& a, const Bin& b) {
  expectSameVotes(a.votes, b.votes, "votes");
  expectSameVotes(a.removedVotes, b.removedVotes, "removed votes");
  EXPECT_TRUE(sameBits(a.total, b.total));
  EXPECT_EQ(a.normal, b.normal);
  EXPECT_TRUE(sameBits(a.d, b.d));
}

class RunEquivalence : public ::testing::TestWithParam<Setting> {};

}  // namespace

TEST_P(RunEquivalence, FastAndPlainKernelsSelectTheSamePlanes) {
  const Setting s = GetParam();
  const QByteArray path = QByteArray(KORVANE_SOURCE_DIR "/objs/") + s.model + ".off";
  Sorvex fast(nullptr), plain(nullptr);
  testsupport::DebugCapture quiet;
  plain.plainVoting = true;
  plain.plainSmoothing = true;
  plain.plainSplitting = true;
  for (Sorvex* e : {&fast, &plain}) {
    configure(*e, s);
    ASSERT_TRUE(e->loadModel(path.constData(), s.model, nullptr, false)) << path.constData();
  }
  ASSERT_EQ(fast.triMesh->principal_curv1.size(), plain.triMesh->principal_curv1.size());
  for (size_t v = 0; v < fast.triMesh->principal_curv1.size(); ++v) {
    ASSERT_TRUE(sameBits(fast.triMesh->principal_curv1[v], plain.triMesh->principal_curv1[v])) << v;
    ASSERT_EQ(fast.triMesh->principal_dir1[v], plain.triMesh->principal_dir1[v]) << v;
    ASSERT_TRUE(sameBits(fast.triMesh->curv_derivs[v][0], plain.triMesh->curv_derivs[v][0])) << v;
  }
  fast.start();
  ASSERT_TRUE(fast.wait(120000));
  plain.runSelection();

  ASSERT_EQ(fast.features.size(), plain.features.size());
  ASSERT_GT(fast.features.size(), 3);
  ASSERT_EQ(fast.ridgeAxes.size(), plain.ridgeAxes.size());
  for (int r = 0; r < fast.ridgeAxes.size(); ++r) EXPECT_EQ(fast.ridgeAxes[r].point, plain.ridgeAxes[r].point);
  for (int f = 0; f < fast.features.size(); ++f) {
    EXPECT_EQ(fast.features[f].type, plain.features[f].type);
    EXPECT_EQ(fast.features[f].axis.direction, plain.features[f].axis.direction);
    EXPECT_EQ(fast.features[f].plane.normal, plain.features[f].plane.normal);
  }
  ASSERT_EQ(fast.planes.size(), plain.planes.size());
  EXPECT_GT(fast.planes.size(), 0);
  ASSERT_EQ(fast.selectedBins.size(), plain.selectedBins.size());
  for (int p = 0; p < fast.planes.size(); ++p) {
    EXPECT_EQ(fast.planes[p].normal, plain.planes[p].normal) << "plane " << p;
    EXPECT_TRUE(sameBits(fast.planes[p].d, plain.planes[p].d)) << "plane " << p;
    EXPECT_TRUE(sameBits(fast.planes[p].area, plain.planes[p].area)) << "plane " << p;
    expectSameBin(fast.selectedBins[p], plain.selectedBins[p]);
  }
  // The bins as the run left them, with every removal and support vote.
  const QList<Bin*> a = fast.bins.nonEmptyBins(), b = plain.bins.nonEmptyBins();
  ASSERT_EQ(a.size(), b.size());
  for (int i = 0; i < a.size(); ++i) expectSameBin(*a[i], *b[i]);
}

INSTANTIATE_TEST_SUITE_P(BundledModels, RunEquivalence,
                         ::testing::Values(Setting{"145", 0.1f, 1.0f, false, false},
                                           Setting{"63", 0.15f, 0.6f, true, true},
                                           Setting{"22", 0.05f, 1.0f, true, false}));
