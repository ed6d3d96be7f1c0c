#include <gtest/gtest.h>

#include <QRegularExpression>
#include <cmath>

#include "engine/sorvex.h"
#include "export/user_cut_analysis.h"
#include "model/human_cuts.h"
#include "support/humancuts_support.h"

using humancutsupport::cutFile;
using humancutsupport::cutLine;

namespace {

const float kDegree = 3.14159265f / 180.0f;

// Cube [-0.5, 0.5]^3 loaded with participants' cuts; only the Global XYZ
// feature votes (weight 1, radius 0.1), so a cut is covered exactly when its
// normal lies within 9 degrees of an axis.
class UserCutAnalysis : public ::testing::Test {
 protected:
  humancutsupport::StudyTree tree;
  Sorvex engine{nullptr};
  QByteArray model;

  void SetUp() override {
    ASSERT_TRUE(tree.ok());
    model = tree.writeModel(QStringLiteral("cube.off"), humancutsupport::centredCubeOff());
    bool enabled[kFeatureTypeCount] = {};
    float weights[kFeatureTypeCount] = {};
    float radii[kFeatureTypeCount] = {};
    for (int t = 0; t < kFeatureTypeCount; ++t) radii[t] = 0.1f;
    enabled[FeatureGlobalXYZ] = true;
    weights[FeatureGlobalXYZ] = 1.0f;
    engine.setFeatureEnabled(enabled);
    engine.setFeatureWeights(weights);
    engine.setFeatureRadii(radii);
  }
  void load() {
    ASSERT_TRUE(tree.writeCutFile(1, QStringLiteral("cube.off"), cutFile(user1, 4)));
    ASSERT_TRUE(tree.writeCutFile(2, QStringLiteral("cube.off"), cutFile(user2, 1)));
    ASSERT_TRUE(engine.loadModel(model.constData(), "Cube", nullptr, true));
    QList<int> counts{4, 1};
    while (counts.size() < humancuts::kUserCount) counts.append(humancuts::kMissingUserCount);
    ASSERT_EQ(engine.humanCutCountTable, QList<QList<int>>{counts});
  }
  void disableAllFeatures() {
    bool none[kFeatureTypeCount] = {};
    engine.setFeatureEnabled(none);
  }

  // User 1: 45 degrees between x and y (uncovered), x = 0.2, 45 degrees
  // between x and z (uncovered), y = 0.1. User 2: z = 0.3.
  const std::string user1 = cutLine(Vec3(1, 1, 0), Vec3(0.1f, 0, 0)) + cutLine(Vec3(1, 0, 0), Vec3(0.2f, 0, 0)) +
                            cutLine(Vec3(1, 0, 1), Vec3(0, 0, 0.1f)) + cutLine(Vec3(0, 1, 0), Vec3(0, 0.1f, 0));
  const std::string user2 = cutLine(Vec3(0, 0, 1), Vec3(0, 0, 0.3f));
};

// The "distance" value of an uncovered-cut line.
double distanceIn(const QString& line) {
  const QRegularExpressionMatch m = QRegularExpression(QStringLiteral(", distance  ([0-9.e+-]+) \\.$")).match(line);
  return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
}

}  // namespace

TEST_F(UserCutAnalysis, CoveredCutsLeaveAndUncoveredOnesBringTheNearestVotedPlane) {
  load();
  engine.addPlane(SectionPlane());  // replaced by the analysis
  humancutsupport::DebugCapture log;
  UserCutCounts counts;
  ASSERT_TRUE(engine.analyzeUserCuts(&counts));

  EXPECT_EQ(counts.runCuts, 5);
  EXPECT_EQ(counts.runUncovered, 2);
  ASSERT_EQ(engine.humanCuts.size(), 2);
  ASSERT_EQ(engine.humanCuts[0].size(), 2);
  EXPECT_NEAR(engine.humanCuts[0][0].normal.y, std::sqrt(0.5f), 1e-5f);
  EXPECT_NEAR(engine.humanCuts[0][1].normal.z, std::sqrt(0.5f), 1e-5f);
  EXPECT_TRUE(engine.humanCuts[1].isEmpty());

  // The walk re-examines a position after a removal: the second uncovered cut
  // is reported at position 1, where it moved when x = 0.2 left.
  const QStringList lines = log.matching(QStringLiteral("has no feature coverage.   Nearest feature is"));
  ASSERT_EQ(lines.size(), 2);
  const QString prefix = QStringLiteral("Model  ") + engine.modelPath;
  EXPECT_TRUE(lines[0].startsWith(prefix + QStringLiteral("  User  0  Cut  0  has no feature coverage.")));
  EXPECT_TRUE(lines[1].startsWith(prefix + QStringLiteral("  User  0  Cut  1  has no feature coverage.")));
  for (const QString& line : lines) {
    EXPECT_TRUE(line.contains(QStringLiteral("Nearest feature is  Global XYZ , distance  "))) << line.toStdString();
    // The cut's own bin (45 degrees, k = 7, not snapped to the lattice) is 45
    // degrees from either axis; voted bins lie on even degrees within 9 of an
    // axis, so the nearest is 8 degrees off: 37/90 units, plus 0.01 to the
    // nearest even offset (0.06 or 0.08).
    EXPECT_NEAR(distanceIn(line), 37.0 / 90.0 + 0.01, 1e-4) << line.toStdString();
  }
  EXPECT_EQ(log.matching(QStringLiteral(",  2  of  5  have no feature coverage.")).size(), 1);
  EXPECT_EQ(log.matching(QStringLiteral("Across all models ")).size(), 1);

  // One plane per uncovered cut, in the order the cuts were examined, each on
  // a voted bin 8 degrees off an axis, with its section.
  ASSERT_EQ(engine.planes.size(), 2);
  EXPECT_EQ(engine.currentPlane, Sorvex::kNoPlane);
  for (const SectionPlane& p : engine.planes) {
    const float offAxis = std::acos(std::max({std::fabs(p.normal.x), std::fabs(p.normal.y), std::fabs(p.normal.z)}));
    EXPECT_NEAR(offAxis, 8.0f * kDegree, 0.5f * kDegree);
    EXPECT_FALSE(p.segments.isEmpty());
    int i = 0, j = 0, k = 0;
    BinSpace::planeToBin(p.normal, p.d, i, j, k);
    EXPECT_FALSE(engine.bins.binAt(i, j, k).votes.isEmpty());
  }
  EXPECT_GT(engine.planes[0].normal.y, 0.9f);  // the x-y cut turns towards y first
}

TEST_F(UserCutAnalysis, SecondRunSeesOnlyWhatTheFirstLeftAndCountsItAgain) {
  load();
  UserCutCounts first, second;
  ASSERT_TRUE(engine.analyzeUserCuts(&first));
  humancutsupport::DebugCapture log;
  ASSERT_TRUE(engine.analyzeUserCuts(&second));
  EXPECT_EQ(second.runCuts, 2);
  EXPECT_EQ(second.runUncovered, 2);
  EXPECT_EQ(second.cutsSeen, first.cutsSeen + 2);
  EXPECT_EQ(second.cutsUncovered, first.cutsUncovered + 2);
  EXPECT_EQ(engine.planes.size(), 2);  // replaced, not added to
  EXPECT_EQ(log.matching(QStringLiteral(",  2  of  2  have no feature coverage.")).size(), 1);
  EXPECT_EQ(log.matching(QStringLiteral("Across all models  %1  of  %2  have no feature coverage.")
                             .arg(second.cutsUncovered)
                             .arg(second.cutsSeen))
                .size(),
            1);
}

TEST_F(UserCutAnalysis, EveryCutCoveredEmptiesTheListsAndAddsNoPlane) {
  ASSERT_TRUE(tree.writeCutFile(
      1, QStringLiteral("cube.off"),
      cutFile(cutLine(Vec3(1, 0, 0), Vec3(0.2f, 0, 0)) + cutLine(Vec3(0, 0, -1), Vec3(0, 0, 0.1f)), 2)));
  ASSERT_TRUE(engine.loadModel(model.constData(), "Cube", nullptr, true));
  humancutsupport::DebugCapture log;
  UserCutCounts counts;
  ASSERT_TRUE(engine.analyzeUserCuts(&counts));
  EXPECT_EQ(counts.runCuts, 2);
  EXPECT_EQ(counts.runUncovered, 0);
  ASSERT_EQ(engine.humanCuts.size(), 1);
  EXPECT_TRUE(engine.humanCuts[0].isEmpty());
  EXPECT_TRUE(engine.planes.isEmpty());
  EXPECT_EQ(log.matching(QStringLiteral(",  0  of  2  have no feature coverage.")).size(), 1);
}

TEST_F(UserCutAnalysis, WithoutAnyVoteTheLineNamesAPlaceholderAndNoPlaneIsAdded) {
  load();
  disableAllFeatures();
  humancutsupport::DebugCapture log;
  UserCutCounts counts;
  ASSERT_TRUE(engine.analyzeUserCuts(&counts));
  EXPECT_EQ(counts.runUncovered, 5);
  EXPECT_EQ(engine.humanCuts[0].size(), 4);
  EXPECT_EQ(engine.humanCuts[1].size(), 1);
  EXPECT_TRUE(engine.planes.isEmpty());
  const QStringList lines = log.matching(QStringLiteral("Nearest feature is  ") + QLatin1String(kNoVotedBinName));
  EXPECT_EQ(lines.size(), 5);
}

TEST_F(UserCutAnalysis, RefusesWhileTheSelectionRuns) {
  load();
  const QList<QList<HumanCut>> before = engine.humanCuts;
  humancutsupport::DebugCapture log;
  engine.start();
  const bool analysed = engine.analyzeUserCuts();
  engine.wait();
  EXPECT_FALSE(analysed);
  EXPECT_EQ(log.matching(QStringLiteral("user cuts are not analysed")).size(), 1);
  ASSERT_EQ(engine.humanCuts.size(), before.size());
  EXPECT_EQ(engine.humanCuts[0].size(), 4);
  EXPECT_EQ(engine.humanCuts[1].size(), 1);
}
