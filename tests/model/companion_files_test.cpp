#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <climits>
#include <cmath>

#include "model/companion_files.h"
#include "support/debug_capture.h"
#include "support/test_support.h"

namespace {

class CompanionFiles : public ::testing::Test {
 protected:
  QTemporaryDir dir;

  QByteArray write(const char* name, const std::string& text) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(testsupport::writeTextFile(path, text));
    return path.toLocal8Bit();
  }
};

}  // namespace

TEST(CompanionPath, ReplacesTheLastFourCharacters) {
  EXPECT_EQ(companionPath("../objs/2.off", "_0.seg"), QString("../objs/2_0.seg"));
  EXPECT_EQ(companionPath("a/Model.OBJ", ".sym"), QString("a/Model.sym"));
  EXPECT_EQ(companionPath("ab", ".sym"), QString(".sym"));
}

TEST_F(CompanionFiles, SegmentCountIsTheNumberOfDistinctIds) {
  QVector<int> seg;
  ASSERT_TRUE(readSegmentation(write("s.seg", "0\n0\n3\n3\n7\n").constData(), 5, seg));
  EXPECT_EQ(seg, (QVector<int>{0, 0, 3, 3, 7}));
  EXPECT_EQ(countSegments(seg), 3);
  EXPECT_EQ(countSegments(QVector<int>(4, 0)), 1);
  EXPECT_EQ(countSegments(QVector<int>()), 0);
}

TEST_F(CompanionFiles, SegmentationAlwaysHasOneEntryPerFace) {
  QVector<int> seg;
  ASSERT_TRUE(readSegmentation(write("short.seg", "2\n5\n").constData(), 4, seg));
  EXPECT_EQ(seg, (QVector<int>{2, 5, 0, 0}));  // missing lines padded with 0

  ASSERT_TRUE(readSegmentation(write("long.seg", "1\n2\n3\n4\n5\n").constData(), 2, seg));
  EXPECT_EQ(seg, (QVector<int>{1, 2}));  // extra lines dropped

  ASSERT_TRUE(readSegmentation(write("empty.seg", "").constData(), 3, seg));
  EXPECT_EQ(seg, (QVector<int>{0, 0, 0}));

  ASSERT_TRUE(readSegmentation(write("none.seg", "1\n").constData(), 0, seg));
  EXPECT_TRUE(seg.isEmpty());
}

TEST_F(CompanionFiles, SegmentIdsParseLikeAtoiAndSaturate) {
  QVector<int> seg;
  ASSERT_TRUE(readSegmentation(
      write("odd.seg", "  12abc\n-3\n\nxyz\n99999999999999999999\n-99999999999999999999\n+4\n").constData(), 7, seg));
  EXPECT_EQ(seg, (QVector<int>{12, -3, 0, 0, INT_MAX, INT_MIN, 4}));
  EXPECT_EQ(countSegments(seg), 6);
}

TEST_F(CompanionFiles, MissingSegmentationFileLeavesTheListAlone) {
  QVector<int> seg = {9};
  EXPECT_FALSE(readSegmentation(dir.filePath("nope.seg").toLocal8Bit().constData(), 3, seg));
  EXPECT_EQ(seg, QVector<int>{9});
}

TEST_F(CompanionFiles, SymmetryPlaneAndAxisRecords) {
  QList<CutPlane> planes;
  QList<Axis> axes;
  ASSERT_TRUE(
      readSymmetry(write("m.sym", "P 0 1 0 0.5\nA 0 0 2 1 1 1\n# comment\nX 1 2 3\n").constData(), planes, axes));
  ASSERT_EQ(planes.size(), 1);
  EXPECT_EQ(planes[0].normal, Vec3(0, 1, 0));
  EXPECT_FLOAT_EQ(planes[0].d, 0.5f);
  EXPECT_EQ(planes[0].point, Vec3(0, 0.5f, 0));
  EXPECT_EQ(planes[0].r1, Vec3(0, 0, -1));  // normalised: x is the reference axis
  ASSERT_EQ(axes.size(), 1);
  EXPECT_EQ(axes[0].point, Vec3(1, 1, 1));
  EXPECT_EQ(axes[0].direction, Vec3(0, 0, 1));
  EXPECT_FLOAT_EQ(axes[0].halfLength, 2.0f);
}

TEST_F(CompanionFiles, SymmetryRecordKindsAndNormalisation) {
  QList<CutPlane> planes;
  QList<Axis> axes;
  // "PA" is a plane (P wins); "SymA" is an axis; a negative offset flips the plane.
  ASSERT_TRUE(readSymmetry(write("k.sym", "PA 0 0 -1 -0.3\nSymA 3 0 4 0 0 0\np 1 0 0 1\n").constData(), planes, axes));
  ASSERT_EQ(planes.size(), 1);
  EXPECT_EQ(planes[0].normal, Vec3(0, 0, 1));
  EXPECT_FLOAT_EQ(planes[0].d, 0.3f);
  ASSERT_EQ(axes.size(), 1);
  EXPECT_NEAR(axes[0].direction.x, 0.6f, 1e-6f);
  EXPECT_NEAR(axes[0].direction.z, 0.8f, 1e-6f);
  EXPECT_FLOAT_EQ(axes[0].halfLength, 5.0f);
}

TEST_F(CompanionFiles, SymmetryRecordsBeyondTheBudgetAreSkipped) {
  testsupport::DebugCapture log;
  std::string text;
  for (int k = 0; k < kMaxSymmetryRecords + 50; ++k) text += k % 2 ? "P 0 0 1 0.25\n" : "A 1 0 0 0 0 0\n";
  QList<CutPlane> planes;
  QList<Axis> axes;
  ASSERT_TRUE(readSymmetry(write("many.sym", text).constData(), planes, axes));
  EXPECT_EQ(planes.size() + axes.size(), kMaxSymmetryRecords);
  EXPECT_EQ(
      log.matching(QStringLiteral("records; line %1 and the rest are skipped").arg(kMaxSymmetryRecords + 1)).size(), 1);
}

TEST_F(CompanionFiles, ShortOrUnusableSymmetryRecordsAreSkipped) {
  QList<CutPlane> planes;
  QList<Axis> axes;
  ASSERT_TRUE(readSymmetry(write("bad.sym",
                                 "P 0 1 0\n"          // four fields: skipped
                                 "A 0 0 1 1 1\n"      // six fields: skipped
                                 "P 0 0 0 1\n"        // zero normal: skipped
                                 "A 0 0 0 1 1 1\n"    // zero direction: skipped
                                 "P nan 1 0 0\n"      // non-finite: skipped
                                 "A 1 0 0 inf 0 0\n"  // non-finite point: skipped
                                 "P  0 1 0 0.5\n"     // double space: fields shift, normal (0, 0, 1), d 0
                                 "P 1 x 0 2\n"        // unparsable field reads 0
                                 "A 1 0 0 1 2\n")     // too short
                               .constData(),
                           planes, axes));
  ASSERT_EQ(planes.size(), 2);
  EXPECT_EQ(planes[0].normal, Vec3(0, 0, 1));
  EXPECT_FLOAT_EQ(planes[0].d, 0.0f);
  EXPECT_EQ(planes[1].normal, Vec3(1, 0, 0));
  EXPECT_FLOAT_EQ(planes[1].d, 2.0f);
  EXPECT_TRUE(axes.isEmpty());

  EXPECT_FALSE(readSymmetry(dir.filePath("none.sym").toLocal8Bit().constData(), planes, axes));
  EXPECT_EQ(planes.size(), 2);
}

TEST_F(CompanionFiles, NonUnitNormalsAreNormalisedWithTheirOffsetAndLongLinesCut) {
  QList<CutPlane> planes;
  QList<Axis> axes;
  std::string text = "P 0 2 0 0.5\nP 3 0 -4 -10\nA 0 0 -0.5 1 2 3\nP 1e-30 0 0 1e30\nP";
  for (int i = 0; i < 300; ++i) text += " 7";  // a record of hundreds of numbers
  text += "\nA 4 0 3 0 0 0\n";
  testsupport::DebugCapture log;
  ASSERT_TRUE(readSymmetry(write("n.sym", text).constData(), planes, axes));
  // 2y = 0.5 is the plane y = 0.25.
  ASSERT_EQ(planes.size(), 3);
  EXPECT_EQ(planes[0].normal, Vec3(0, 1, 0));
  EXPECT_FLOAT_EQ(planes[0].d, 0.25f);
  EXPECT_EQ(planes[0].point, Vec3(0, 0.25f, 0));
  // 3x - 4z = -10 is -0.6x + 0.8z = 2.
  EXPECT_NEAR(planes[1].normal.x, -0.6f, 1e-6f);
  EXPECT_NEAR(planes[1].normal.z, 0.8f, 1e-6f);
  EXPECT_FLOAT_EQ(planes[1].d, 2.0f);
  // The long line's first 499 characters: normal (7, 7, 7), offset 7.
  EXPECT_NEAR(planes[2].normal.x, 1.0f / std::sqrt(3.0f), 1e-6f);
  EXPECT_NEAR(planes[2].d, 7.0f / std::sqrt(147.0f), 1e-5f);
  ASSERT_EQ(axes.size(), 2);
  EXPECT_EQ(axes[0].direction, Vec3(0, 0, -1));
  EXPECT_FLOAT_EQ(axes[0].halfLength, 0.5f);
  EXPECT_EQ(axes[1].point, Vec3(0, 0, 0));  // the line after the long one is its own record
  // The offset 1e30 / 1e-30 is not a float: skipped.
  EXPECT_EQ(log.matching(QStringLiteral("finite unit normal and offset; skipped")).size(), 1);
  EXPECT_EQ(log.matching(QStringLiteral("longer than 499 characters")).size(), 1);
}
