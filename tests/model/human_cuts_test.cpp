#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <thread>

#include "engine/palette.h"
#include "engine/sorvex.h"
#include "model/human_cuts.h"
#include "model/loaded_model.h"
#include "support/humancuts_support.h"
#include "support/test_support.h"

using humancutsupport::cutFile;
using humancutsupport::cutLine;

namespace {

using humancuts::kMissingUserCount;

// A study-table row: the given counts for users 1, 2, ..., and the mark of a
// missing file for the users after them.
QList<int> row(QList<int> counts) {
  while (counts.size() < humancuts::kUserCount) counts.append(kMissingUserCount);
  return counts;
}

class HumanCuts : public ::testing::Test {
 protected:
  humancutsupport::StudyTree tree;
  Sorvex engine{nullptr};
  QByteArray model;

  void SetUp() override {
    ASSERT_TRUE(tree.ok());
    model = tree.writeModel(QStringLiteral("cube.off"), humancutsupport::centredCubeOff());
  }
  void cuts(int user, const std::string& text) {
    ASSERT_TRUE(tree.writeCutFile(user, QStringLiteral("cube.off"), text));
  }
  bool load(const char* label = "Cube") { return engine.loadModel(model.constData(), label, nullptr, true); }
  QString report() const {
    QFile f(tree.workDir() + QStringLiteral("/usercuts-stats.html"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }
};

const float kPi = 3.14159265f;

}  // namespace

TEST(HumanCutFiles, PathsFollowTheModelFileName) {
  EXPECT_EQ(humancuts::cutFilePath(QStringLiteral("../objs/2.off"), 1),
            QStringLiteral("../../userstudy/user1/2.off.obj"));
  EXPECT_EQ(humancuts::cutFilePath(QStringLiteral("/data/models/x/385.off"), 12),
            QStringLiteral("../../userstudy/user12/385.off.obj"));
  // A bare file name still gets its separating "/".
  EXPECT_EQ(humancuts::cutFilePath(QStringLiteral("7.off"), 3), QStringLiteral("../../userstudy/user3/7.off.obj"));
}

TEST(HumanCutFiles, CutLineGivesUnitNormalAndOffsetThroughThePoint) {
  HumanCut cut;
  ASSERT_TRUE(humancuts::parseCutLine("c 0 2 0 5 0.25 7 ignored 1 0 0 0 0 1\r\n", cut));
  EXPECT_EQ(cut.normal, Vec3(0, 1, 0));
  EXPECT_FLOAT_EQ(cut.d, 0.25f);
  EXPECT_EQ(cut.point, Vec3(5, 0.25f, 7));
  EXPECT_EQ(cut.r1, Vec3(1, 0, 0));
  EXPECT_EQ(cut.r2, Vec3(0, 0, 1));
  // Field 7 is not read at all, however it looks.
  EXPECT_TRUE(humancuts::parseCutLine("c 0 0 -1 0 0 0.5 nan 1 0 0 0 1 0", cut));
  EXPECT_FLOAT_EQ(cut.d, -0.5f);

  const HumanCut before = cut;
  QString why;
  for (const char* bad : {"c 1 0 0 0 0 0 x 0 1 0 0 0",        // 13 fields
                          "c  1 0 0 0 0 0 x 0 1 0 0 0 1",     // empty field shifts the rest
                          "c nan 0 0 0 0 0 x 0 1 0 0 0 1",    // NaN
                          "c 1 0 0 inf 0 0 x 0 1 0 0 0 1",    // infinite
                          "c 1 0 0 1e999 0 0 x 0 1 0 0 0 1",  // overflows
                          "c 1 0 0 0 0 0 x 0 1 0 0 0 one",    // not a number
                          "c 0 0 0 0 0 0 x 0 1 0 0 0 1",      // no direction
                          ""}) {
    EXPECT_FALSE(humancuts::parseCutLine(bad, cut, &why)) << bad;
    EXPECT_FALSE(why.isEmpty()) << bad;
    EXPECT_EQ(cut.normal, before.normal) << bad;
    EXPECT_EQ(cut.d, before.d) << bad;
  }
}

TEST(HumanCutFiles, DistanceCountsAnglesInRadians) {
  const Vec3 x(1, 0, 0), y(0, 1, 0);
  EXPECT_NEAR(humancuts::planeDistanceRadians(x, 0.3f, x, 0.3f), 0.0f, 1e-6f);
  EXPECT_NEAR(humancuts::planeDistanceRadians(x, 0.3f, -x, -0.3f), 0.0f, 1e-6f);
  EXPECT_NEAR(humancuts::planeDistanceRadians(x, 0.1f, y, 0.4f), kPi / 2 + 0.3f, 1e-5f);
  const Vec3 tilted(std::cos(0.13f), std::sin(0.13f), 0);
  EXPECT_NEAR(humancuts::planeDistanceRadians(x, 0.2f, tilted, 0.2f), 0.13f, 1e-5f);
}

TEST_F(HumanCuts, TwelveMissingFilesLeaveEmptyRowsAndStillWriteTheReport) {
  humancutsupport::DebugCapture log;
  ASSERT_TRUE(load("Lonely cube"));
  EXPECT_EQ(log.matching(QStringLiteral("Failed to load file ../../userstudy/user")).size(), 12);
  EXPECT_EQ(log.matching(QStringLiteral("Loading human cuts...")).size(), 1);
  EXPECT_TRUE(engine.humanCuts.isEmpty());
  EXPECT_TRUE(engine.humanCutColours.isEmpty());
  EXPECT_TRUE(engine.planes.isEmpty());
  EXPECT_TRUE(engine.uniqueHumanCuts.isEmpty());
  // Every user keeps a column, marked as without a file.
  EXPECT_EQ(engine.humanCutCountTable, QList<QList<int>>{row({})});
  EXPECT_EQ(engine.uniqueCutCountTable, QList<QList<int>>{row({})});
  EXPECT_EQ(engine.modelLabels, QList<QString>{QStringLiteral("Lonely cube")});
  ASSERT_EQ(engine.userNames.size(), 12);
  EXPECT_EQ(engine.userNames.first(), QStringLiteral("User 1"));
  EXPECT_EQ(engine.userNames.last(), QStringLiteral("User 12"));

  const QString html = report();
  EXPECT_TRUE(html.contains(QStringLiteral("<th width=80px>User 12</th>")));
  EXPECT_TRUE(html.contains(QStringLiteral("<tr>\n<td><center>Lonely cube</center></td>\n") +
                            QStringLiteral("<td></td>\n").repeated(12) + QStringLiteral("</tr>\n")));
  EXPECT_TRUE(html.endsWith(QStringLiteral("</html>\n")));
}

TEST_F(HumanCuts, CutsThatMissTheMeshAreDroppedAndColoursFollowTheFilesRead) {
  cuts(1, cutFile(cutLine(Vec3(1, 0, 0), Vec3(0.2f, 0, 0)) + cutLine(Vec3(1, 0, 0), Vec3(0.9f, 0, 0)), 2));
  cuts(3, cutFile(cutLine(Vec3(0, 1, 0), Vec3(0, 0.1f, 0)), 1));
  humancutsupport::DebugCapture log;
  ASSERT_TRUE(load());

  EXPECT_EQ(log.matching(QStringLiteral("Failed to load file")).size(), 10);
  ASSERT_EQ(engine.humanCuts.size(), 2);
  ASSERT_EQ(engine.humanCuts[0].size(), 1);  // x = 0.9 lies outside the cube
  ASSERT_EQ(engine.humanCuts[1].size(), 1);
  const HumanCut& kept = engine.humanCuts[0][0];
  EXPECT_FLOAT_EQ(kept.d, 0.2f);
  EXPECT_FALSE(kept.segments.isEmpty());
  ASSERT_EQ(kept.contours.size(), 1);
  EXPECT_TRUE(kept.contours[0].isClosed);
  EXPECT_TRUE(kept.triangles.isEmpty());  // cuts carry no slab
  EXPECT_NEAR(kept.area, 1.0f, 1e-4f);

  // Users 1 and 3 were read: the first and third palette colours.
  EXPECT_EQ(engine.humanCutColours, (QList<Vec3>{paletteEntry(0), paletteEntry(2)}));
  // Their counts stay in the columns of users 1 and 3.
  EXPECT_EQ(engine.humanCutCountTable, QList<QList<int>>{row({1, kMissingUserCount, 1})});
  EXPECT_EQ(engine.uniqueCutCountTable, QList<QList<int>>{row({1, kMissingUserCount, 1})});
  EXPECT_TRUE(
      report().contains(QStringLiteral("<td bgcolor=#FF0000>1 / 1</td>\n<td></td>\n<td bgcolor=#FF0000>1 / 1</td>")));
}

TEST_F(HumanCuts, FewerThanThreeAgreeingCutsGiveNoConsensusAndAllAreUnique) {
  cuts(1, cutFile(cutLine(Vec3(1, 0, 0), Vec3(0.22f, 0, 0)), 1));
  cuts(2, cutFile(cutLine(Vec3(1, 0, 0), Vec3(0.22f, 0, 0)), 1));
  ASSERT_TRUE(load());
  EXPECT_TRUE(engine.planes.isEmpty());
  EXPECT_EQ(engine.uniqueHumanCuts.size(), 2);
  EXPECT_EQ(engine.uniqueCutCountTable, QList<QList<int>>{row({1, 1})});
  EXPECT_EQ(engine.humanCutCountTable, QList<QList<int>>{row({1, 1})});
}

TEST_F(HumanCuts, ThreeAgreeingCutsGiveOneConsensusPlaneWithTheSignedMeanOffset) {
  // Offsets 0.215, 0.22 and 0.225; the third is written with the opposite
  // normal (d = -0.225), which must count as +0.225 towards the mean.
  cuts(1, cutFile(cutLine(Vec3(1, 0, 0), Vec3(0.215f, 0.1f, 0)), 1));
  cuts(2, cutFile(cutLine(Vec3(1, 0, 0), Vec3(0.22f, 0, 0.3f)), 1));
  cuts(3, cutFile(cutLine(Vec3(-1, 0, 0), Vec3(0.225f, 0, 0)), 1));
  // User 4: a cut turned 0.13 rad away from the others (unique in radians,
  // though under 0.1 in right-angle units) and one across them.
  const float a = 0.13f;
  cuts(4,
       cutFile(cutLine(Vec3(std::cos(a), std::sin(a), 0), Vec3(0.22f, 0, 0)) + cutLine(Vec3(0, 1, 0), Vec3(0, 0.1f, 0)),
               2));
  ASSERT_TRUE(load());

  ASSERT_EQ(engine.planes.size(), 1);
  const SectionPlane& p = engine.planes[0];
  EXPECT_NEAR(p.normal.x, 1.0f, 1e-5f);
  EXPECT_NEAR(p.normal.y, 0.0f, 1e-5f);
  EXPECT_NEAR(p.normal.z, 0.0f, 1e-5f);
  EXPECT_NEAR(p.d, 0.22f, 1e-5f);
  EXPECT_EQ(p.voteCount, 3u);
  // Bin (0, 90, 22) is 0.005 from two cuts and 0 from the third:
  // 2 * (0.08 - 0.005) / 0.08 + 1.
  EXPECT_NEAR(p.voteScore, 2.875f, 1e-3f);
  EXPECT_FALSE(p.triangles.isEmpty());  // a full section with its slab
  EXPECT_NEAR(p.area, 1.0f, 1e-4f);
  EXPECT_EQ(engine.currentPlane, Sorvex::kNoPlane);

  EXPECT_EQ(engine.uniqueCutCountTable, QList<QList<int>>{row({0, 0, 0, 2})});
  EXPECT_EQ(engine.humanCutCountTable, QList<QList<int>>{row({1, 1, 1, 2})});
  ASSERT_EQ(engine.uniqueHumanCuts.size(), 2);
  EXPECT_NEAR(engine.uniqueHumanCuts[0].normal.y, std::sin(a), 1e-5f);
  EXPECT_EQ(engine.uniqueHumanCuts[1].normal, Vec3(0, 1, 0));

  // A second load adds a row to every table and rewrites the report with both.
  ASSERT_TRUE(load("Cube again"));
  EXPECT_EQ(engine.planes.size(), 1);
  EXPECT_EQ(engine.humanCuts.size(), 4);
  EXPECT_EQ(engine.uniqueCutCountTable, (QList<QList<int>>{row({0, 0, 0, 2}), row({0, 0, 0, 2})}));
  EXPECT_EQ(engine.modelLabels, (QList<QString>{QStringLiteral("Cube"), QStringLiteral("Cube again")}));
  EXPECT_EQ(engine.userNames.size(), 12);
  const QString html = report();
  EXPECT_TRUE(html.contains(QStringLiteral("<td><center>Cube again</center></td>")));
  EXPECT_EQ(html.count(QStringLiteral("<td bgcolor=#FF0000>2 / 2</td>")), 2);
  EXPECT_EQ(html.count(QStringLiteral("<td bgcolor=#FFFFFF>0 / 1</td>")), 6);
}

TEST_F(HumanCuts, GatheredBesideTheBuildTheyInstallAsIfReadAfterTheInstall) {
  cuts(1, cutFile(cutLine(Vec3(1, 0, 0), Vec3(0.215f, 0.1f, 0)) + cutLine(Vec3(0, 0, 1), Vec3(0, 0, 0.1f)), 2));
  cuts(2, cutFile(cutLine(Vec3(1, 0, 0), Vec3(0.22f, 0, 0.3f)) + cutLine(Vec3(0, 0, -1), Vec3(0, 0, 0.1f)), 2));
  cuts(3, cutFile(cutLine(Vec3(-1, 0, 0), Vec3(0.225f, 0, 0)) + cutLine(Vec3(0, 0, 1), Vec3(0, 0.2f, 0.11f)), 2));
  cuts(5, cutFile(cutLine(Vec3(0, 1, 0), Vec3(0, 0.1f, 0)), 1));
  // Read after the install, on this thread (a model built without gathering).
  Sorvex after(nullptr);
  {
    LoadedModel built;
    ASSERT_TRUE(buildModel(model.constData(), nullptr, after.curvatureSmooth, built));
    ASSERT_TRUE(after.installModel(built, QStringLiteral("Cube"), true));
  }
  // Gathered on the building thread, then installed.
  Sorvex beside(nullptr);
  LoadedModel built;
  const humancuts::HumanCutSettings settings = humanCutSettingsOf(beside);
  std::thread builder([&] {
    if (buildModel(model.constData(), nullptr, 0.05f, built)) gatherHumanCuts(built, settings);
  });
  builder.join();
  ASSERT_TRUE(built.humanCuts.gathered);
  ASSERT_TRUE(beside.installModel(built, QStringLiteral("Cube"), true));

  ASSERT_EQ(after.planes.size(), 2);
  ASSERT_EQ(beside.planes.size(), after.planes.size());
  for (int p = 0; p < after.planes.size(); ++p) {
    EXPECT_EQ(beside.planes[p].normal, after.planes[p].normal);
    EXPECT_EQ(beside.planes[p].d, after.planes[p].d);
    EXPECT_EQ(beside.planes[p].area, after.planes[p].area);
    EXPECT_EQ(beside.planes[p].voteScore, after.planes[p].voteScore);
    EXPECT_EQ(beside.planes[p].triangles.size(), after.planes[p].triangles.size());
  }
  ASSERT_EQ(beside.humanCuts.size(), 4);
  for (int u = 0; u < 4; ++u) {
    ASSERT_EQ(beside.humanCuts[u].size(), after.humanCuts[u].size());
    for (int c = 0; c < after.humanCuts[u].size(); ++c)
      EXPECT_EQ(beside.humanCuts[u][c].segments.size(), after.humanCuts[u][c].segments.size());
  }
  EXPECT_EQ(beside.humanCutColours, after.humanCutColours);
  EXPECT_EQ(beside.uniqueHumanCuts.size(), after.uniqueHumanCuts.size());
  EXPECT_EQ(beside.humanCutCountTable, after.humanCutCountTable);
  EXPECT_EQ(beside.uniqueCutCountTable, after.uniqueCutCountTable);
  EXPECT_EQ(beside.modelLabels, after.modelLabels);
  EXPECT_EQ(beside.bins.nonEmptyBins().size(), after.bins.nonEmptyBins().size()) << "the remaining votes came along";
  EXPECT_GT(beside.bins.nonEmptyBins().size(), 0);
}

TEST_F(HumanCuts, HostileLinesAreSkippedWithADebugLine) {
  const std::string good = cutLine(Vec3(0, 0, 1), Vec3(0, 0, 0.1f));
  // User 1: five bad lines, one good one, and two promised lines missing.
  cuts(1, cutFile("c 1 0 0 0 0 0 x 0 1 0 0 0\n"
                  "c  1 0 0 0 0 0 x 0 1 0 0 0 1\n"
                  "c nan 0 0 0 0 0 x 0 1 0 0 0 1\n"
                  "c 1 0 0 inf 0 0 x 0 1 0 0 0 1\n"
                  "c 0 0 0 0 0 0 x 0 1 0 0 0 1\n" +
                      good,
                  8));
  // User 2: no count; user 3: Windows line ends and an extra field; user 4:
  // an empty file.
  cuts(2, "cuts many\nnotes\n" + good);
  cuts(3, "cuts 2\r\nnotes\r\nc 0 0 1 0 0 0.2 x 1 0 0 0 1 0\r\nc 0 0 1 0 0 -0.2 x 1 0 0 0 1 0 extra\r\n");
  cuts(4, "");
  humancutsupport::DebugCapture log;
  ASSERT_TRUE(load());

  EXPECT_EQ(log.matching(QStringLiteral("skipped")).size(), 5);
  EXPECT_EQ(log.matching(QStringLiteral("ends after 6 of its 8 cut lines")).size(), 1);
  EXPECT_EQ(log.matching(QStringLiteral("no cut count")).size(), 2);
  EXPECT_EQ(engine.humanCutCountTable, QList<QList<int>>{row({1, 0, 2, 0})});
  ASSERT_EQ(engine.humanCuts.size(), 4);
  EXPECT_FLOAT_EQ(engine.humanCuts[2][1].d, -0.2f);
  EXPECT_EQ(engine.humanCutColours.size(), 4);
}

TEST(HumanCutFiles, OverlongLinesAreCutAtTheLineLimitWithADebugLine) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("cuts.obj"));
  const std::string junk(1 << 20, 'x');
  const std::string good = cutLine(Vec3(0, 0, 1), Vec3(0, 0, 0.1f));
  ASSERT_TRUE(testsupport::writeTextFile(
      path, "cuts 2 " + junk + "\nnotes " + junk + "\n" + good + good.substr(0, good.size() - 1) + " " + junk + "\n"));
  humancutsupport::DebugCapture log;
  QList<HumanCut> cuts;
  ASSERT_TRUE(humancuts::readCutFile(path.toLocal8Bit().constData(), cuts));
  ASSERT_EQ(cuts.size(), 2);
  EXPECT_FLOAT_EQ(cuts[1].d, 0.1f);
  EXPECT_EQ(log.matching(QStringLiteral("longer than 499 characters; the rest of it is skipped")).size(), 3);
}
