#include <gtest/gtest.h>

#include <QRegularExpression>

#include "engine/sorvex.h"
#include "export/matrix_export.h"
#include "support/export_support.h"

using namespace exportsupport;

namespace {

// An engine whose selected planes derive no support features, so that the
// bins hold exactly the votes a test puts there.
std::unique_ptr<Sorvex> quietEngine() {
  auto engine = std::make_unique<Sorvex>(nullptr);
  engine->featureEnabled[FeaturePerpendicularSupport] = false;
  engine->featureEnabled[FeatureSymmetricSupport] = false;
  engine->modelPath = QStringLiteral("../objs/385.off");
  return engine;
}

// Ten "%f " values and the row end.
QString row(std::initializer_list<std::pair<int, float>> entries) {
  float v[10] = {};
  for (const auto& e : entries) v[e.first] = e.second;
  QString s;
  for (float x : v) s += QString::asprintf("%f ", double(x));
  return s + QStringLiteral(" ;");
}

}  // namespace

TEST(MatrixExport, ModelNameDropsFoldersAndExtensions) {
  EXPECT_EQ(matrixModelName(QStringLiteral("../objs/385.off")), QStringLiteral("385"));
  EXPECT_EQ(matrixModelName(QStringLiteral("dir.v2/m.tar.gz")), QStringLiteral("m"));
  EXPECT_EQ(matrixModelName(QStringLiteral("model")), QStringLiteral("model"));
  EXPECT_EQ(matrixModelName(QStringLiteral("a.b/c")), QStringLiteral("c"));
}

TEST(MatrixExport, NoPlanesAndNoVotesGiveEmptyBlocks) {
  QTemporaryDir dir;
  auto engine = quietEngine();
  const QString path = dir.filePath(QStringLiteral("AandC.m"));
  ASSERT_TRUE(writeMatrix(*engine, path));
  EXPECT_EQ(readText(path), QStringLiteral("A = [ ];\nC = [ ];\n"));
}

TEST(MatrixExport, SingleTypeBinsGiveMaximaAndMixedBinsTheirWeights) {
  QTemporaryDir dir;
  auto engine = quietEngine();
  BinSpace& bins = engine->bins;
  // Ridges alone: 0.7 + 0.4 in one bin, 0.5 in another -> e[2] = 1.1.
  bins.addVote(10, 20, 30, 0, FeatureRidges, 0.7f);
  bins.addVote(10, 20, 30, 1, FeatureRidges, 0.4f);
  bins.addVote(60, 20, 30, 2, FeatureRidges, 0.5f);
  // Two types compete: a second-group row, and no single-type maximum for
  // either of them.
  bins.addVote(40, 40, 40, 3, FeatureSegmentPCAPlanes, 0.3f);
  bins.addVote(40, 40, 40, 4, FeatureSymmetryPlanes, 0.2f);
  // A later bin with two types, to show the order of the second group.
  bins.addVote(200, 40, 40, 5, FeatureGlobalXYZ, 0.25f);
  bins.addVote(200, 40, 40, 6, FeatureGlobalPCA, 0.125f);

  const QString path = dir.filePath(QStringLiteral("AandC.m"));
  ASSERT_TRUE(writeMatrix(*engine, path));
  const QStringList lines = readLines(path);
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0], QStringLiteral("A = [ ];"));
  EXPECT_EQ(lines[1], QStringLiteral("C = [ ") + row({{2, 1.1f}}));
  EXPECT_EQ(lines[2], row({{0, 0.3f}, {4, 0.2f}}));
  EXPECT_EQ(lines[3], row({{6, 0.25f}, {7, 0.125f}}));
  EXPECT_EQ(lines[4], QStringLiteral("];"));
}

TEST(MatrixExport, TwoPlanesInOneBinSeeTheVotesLeftByTheFirst) {
  QTemporaryDir dir;
  auto engine = quietEngine();
  BinSpace& bins = engine->bins;
  // Plane (0, 1, 0) at d = 0.405 falls into bin (0, 0, 40).
  bins.addVote(0, 0, 40, 0, FeatureSegmentPCAPlanes, 0.5f);
  bins.addVote(0, 0, 40, 1, FeatureSymmetryPlanes, 0.25f);
  // Feature 0 also votes elsewhere, beside a valley: once feature 0 is
  // covered, that bin is a valleys-only bin.
  bins.addVote(100, 100, 60, 0, FeatureSegmentPCAPlanes, 0.5f);
  bins.addVote(100, 100, 60, 7, FeatureValleys, 0.1f);

  SectionPlane p;
  p.normal = Vec3(0, 1, 0);
  p.d = 0.405f;
  p.voteScore = 2.5f;
  p.voteCount = 3;
  engine->planes << p;
  p.voteScore = 0.0f;
  p.voteCount = 0;
  engine->planes << p;

  const QString path = dir.filePath(QStringLiteral("AandC.m"));
  ASSERT_TRUE(writeMatrix(*engine, path));
  const QStringList lines = readLines(path);
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0], QStringLiteral("A = [ 385 2.500000 3 0.750000 2 ") + row({{0, 0.5f}, {4, 0.25f}}));
  EXPECT_EQ(lines[1], QStringLiteral("385 0.000000 0 0.000000 0 ") + row({}));
  EXPECT_EQ(lines[2], QStringLiteral("];"));
  EXPECT_EQ(lines[3], QStringLiteral("C = [ ") + row({{3, 0.1f}}));
  EXPECT_EQ(lines[4], QStringLiteral("];"));
  ASSERT_EQ(engine->selectedBins.size(), 2);
  EXPECT_EQ(engine->selectedBins[0].votes.size(), 2);
  EXPECT_TRUE(engine->selectedBins[1].votes.isEmpty());
}

TEST(MatrixExport, UnwritableFileIsReported) {
  QTemporaryDir dir;
  auto engine = quietEngine();
  EXPECT_FALSE(writeMatrix(*engine, dir.filePath(QStringLiteral("missing/AandC.m"))));
}

TEST(MatrixExport, OctaveReadsTheMatrices) {
  const QString octave = findTool(QStringLiteral("octave-cli"));
  if (octave.isEmpty()) GTEST_SKIP() << "octave-cli (Debian package octave) is not installed";
  ScopedWorkDir work;
  ASSERT_TRUE(work.ok());

  // Two symmetry planes vote; the plane list holds the first of them.
  auto engine = quietEngine();
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    engine->featureEnabled[t] = t == FeatureSymmetryPlanes;
    engine->featureWeight[t] = 1.0f;
    engine->featureRadius[t] = 0.1f;
  }
  CutPlane a;
  a.normal = Vec3(1, 0, 0);
  a.d = 0.3f;
  normalizePlane(a);
  CutPlane b;
  b.normal = Vec3(0, 1, 0);
  b.d = 0.6f;
  normalizePlane(b);
  engine->symmetryPlanes << a << b;
  engine->planes << SectionPlane(a);

  ASSERT_TRUE(exportMatrix(*engine));
  QString out;
  ASSERT_EQ(runTool(octave,
                    {QStringLiteral("--norc"), QStringLiteral("--quiet"), QStringLiteral("--eval"),
                     QStringLiteral("source('AandC.m'); printf('SIZES %d %d %d %d NAME %d TOTAL %g W4 %g\\n', "
                                    "size(A), size(C), A(1,1), A(1,4), A(1,10));")},
                    out),
            0)
      << out.toStdString();
  const QRegularExpressionMatch m =
      QRegularExpression(QStringLiteral("SIZES (\\d+) (\\d+) (\\d+) (\\d+) NAME (\\d+) TOTAL (\\S+) W4 (\\S+)"))
          .match(out);
  ASSERT_TRUE(m.hasMatch()) << out.toStdString();
  EXPECT_EQ(m.captured(1), QStringLiteral("1"));   // one plane
  EXPECT_EQ(m.captured(2), QStringLiteral("15"));  // name, score, count, total, votes, 10 types
  EXPECT_GE(m.captured(3).toInt(), 1);             // the uncovered plane still votes alone
  EXPECT_EQ(m.captured(4), QStringLiteral("10"));
  EXPECT_EQ(m.captured(5), QStringLiteral("385"));
  // The plane's bin holds the symmetry plane's own vote: total = type 4 weight.
  EXPECT_GT(m.captured(6).toDouble(), 0.0);
  EXPECT_EQ(m.captured(6), m.captured(7));
}

TEST(MatrixExport, NamesThatAreNotNumbersRunInOctave) {
  EXPECT_EQ(matrixNameField(QStringLiteral("385")).field, QByteArray("385"));
  EXPECT_EQ(matrixNameField(QStringLiteral("-2.5e3")).field, QByteArray("-2.5e3"));
  EXPECT_TRUE(matrixNameField(QStringLiteral("385")).comment.isEmpty());
  EXPECT_EQ(matrixNameField(QStringLiteral("bull")).field, QByteArray("NaN"));
  EXPECT_EQ(matrixNameField(QStringLiteral("a\nb")).comment, QByteArray(" % a b"));

  const QString octave = findTool(QStringLiteral("octave-cli"));
  if (octave.isEmpty()) GTEST_SKIP() << "octave-cli (Debian package octave) is not installed";
  ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  auto engine = quietEngine();
  engine->modelPath = QStringLiteral("../objs/bull 2; x=[.off");
  CutPlane a;
  a.normal = Vec3(1, 0, 0);
  a.d = 0.3f;
  normalizePlane(a);
  engine->planes << SectionPlane(a) << SectionPlane(a);
  ASSERT_TRUE(exportMatrix(*engine));
  EXPECT_TRUE(readText(QStringLiteral("AandC.m")).contains(QStringLiteral(" ; % bull 2; x=[\n")));
  QString out;
  ASSERT_EQ(
      runTool(octave,
              {QStringLiteral("--norc"), QStringLiteral("--quiet"), QStringLiteral("--eval"),
               QStringLiteral("source('AandC.m'); printf('SIZES %d %d NAN %d\\n', size(A), all(isnan(A(:,1))));")},
              out),
      0)
      << out.toStdString();
  EXPECT_TRUE(out.contains(QStringLiteral("SIZES 2 15 NAN 1"))) << out.toStdString();
}
