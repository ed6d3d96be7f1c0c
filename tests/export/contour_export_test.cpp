#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "engine/sorvex.h"
#include "export/contour_export.h"
#include "support/export_support.h"

using namespace exportsupport;


// Export messages name a file by its absolute path.
inline QString shownPath(const char* relative) { return QDir::cleanPath(QDir::current().absoluteFilePath(relative)); }

namespace {

SectionPlane flatPlane(float d) {
  SectionPlane p;
  p.normal = Vec3(0, 0, 1);
  p.r1 = Vec3(1, 0, 0);
  p.r2 = Vec3(0, 1, 0);
  p.point = Vec3(0, 0, d);
  p.d = d;
  return p;
}

// The unit square at height z, counter-clockwise seen from +z.
QList<Vec3> square(float z = 0.0f) { return {Vec3(0, 0, z), Vec3(1, 0, z), Vec3(1, 1, z), Vec3(0, 1, z)}; }

QList<Vec3> reversed(QList<Vec3> points) {
  std::reverse(points.begin(), points.end());
  return points;
}

// The label suffix of the edge lines of a one-contour plane.
QString labelsOf(const SectionContour& contour) {
  QTemporaryDir dir;
  SectionPlane p = flatPlane(0);
  p.contours << contour;
  const QString path = dir.filePath(QStringLiteral("c.contour"));
  if (!writeContours({p}, path)) return QStringLiteral("unwritten");
  const QStringList lines = readLines(path);
  const QString last = lines.last();
  return last.section(QLatin1Char(' '), 2);
}

}  // namespace

TEST(ContourExport, PlanesWithoutContoursWriteZeroCounts) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("c.contour"));
  SectionPlane a = flatPlane(0.25f);
  SectionPlane b;
  b.normal = Vec3(1, 0, 0);
  b.d = 0.5f;
  ASSERT_TRUE(writeContours({a, b}, path));
  EXPECT_EQ(readText(path), QStringLiteral("2\n"
                                           "0.000000 0.000000 1.000000 0.250000\n"
                                           "0 0\n"
                                           "1.000000 0.000000 0.000000 0.500000\n"
                                           "0 0\n"));
}

TEST(ContourExport, PointsAreScaledAndEveryContourIsClosed) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("c.contour"));
  SectionPlane p = flatPlane(0.5f);
  SectionContour open = loop(square(0.5f));
  open.isClosed = false;  // written as a loop all the same
  p.contours << open;
  p.contours << loop({Vec3(0.25f, 0.25f, 0.5f), Vec3(0.75f, 0.25f, 0.5f), Vec3(0.5f, 0.75f, 0.5f)}, true);
  SectionPlane q = flatPlane(0.0f);
  SectionSegment dot;
  dot.start = Vec3(0.001f, 0, 0);
  dot.end = Vec3(0.002f, 0, 0);
  SectionContour one;
  one.segments << dot;
  q.contours << one;
  ASSERT_TRUE(writeContours({p, q}, path));

  const QStringList lines = readLines(path);
  ASSERT_EQ(lines.size(), 1 + (2 + 7 + 7) + (2 + 1 + 1));
  EXPECT_EQ(lines[0], QStringLiteral("2"));
  EXPECT_EQ(lines[1], QStringLiteral("0.000000 0.000000 1.000000 0.500000"));  // d is not scaled
  EXPECT_EQ(lines[2], QStringLiteral("7 7"));
  EXPECT_EQ(lines[3], QStringLiteral("0.000000 0.000000 500.000000"));
  EXPECT_EQ(lines[4], QStringLiteral("1000.000000 0.000000 500.000000"));
  EXPECT_EQ(lines[7], QStringLiteral("250.000000 250.000000 500.000000"));
  QStringList edges;
  for (int i = 10; i < 17; ++i) edges << lines[i].section(QLatin1Char(' '), 0, 1);
  EXPECT_EQ(edges, (QStringList{"0 1", "1 2", "2 3", "3 0", "4 5", "5 6", "6 4"}));

  // The second plane: indices start again at 0; a one-segment contour is one
  // point and an edge from it to itself; 0.001 is written as 1.
  EXPECT_EQ(lines[18], QStringLiteral("1 1"));
  EXPECT_EQ(lines[19], QStringLiteral("1.000000 0.000000 0.000000"));
  EXPECT_TRUE(lines[20].startsWith(QStringLiteral("0 0 "))) << lines[20].toStdString();
}

TEST(ContourExport, LabelsFollowOrientationAndHoles) {
  // Counter-clockwise about the normal (0, 0, 1): walking from p_k to
  // p_k+1, the edge e = p_k - p_k+1 crossed with n points away from the
  // centre, so every step subtracts: " 1 0".
  EXPECT_EQ(labelsOf(loop(square())), QStringLiteral("1 0"));
  EXPECT_EQ(labelsOf(loop(reversed(square()))), QStringLiteral("0 1"));
  EXPECT_EQ(labelsOf(loop(square(), true)), QStringLiteral("0 1"));
  EXPECT_EQ(labelsOf(loop(reversed(square()), true)), QStringLiteral("1 0"));

  // The same holds for contours whose segments have no length (a chain of
  // points): the centre is then the plain mean instead of 0 / 0.
  SectionContour points = loop(reversed(square()));
  for (SectionSegment& s : points.segments) s.end = s.start;
  EXPECT_EQ(labelsOf(points), QStringLiteral("0 1"));
}

TEST(ContourExport, EmptyContourAddsNoEdge) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("c.contour"));
  SectionPlane p = flatPlane(0);
  p.contours << SectionContour() << loop(square());
  ASSERT_TRUE(writeContours({p}, path));
  const QStringList lines = readLines(path);
  // Four points and four edges, all within the plane's block.
  ASSERT_EQ(lines.size(), 1 + 2 + 4 + 4);
  EXPECT_EQ(lines[2], QStringLiteral("4 4"));
  EXPECT_EQ(lines[7], QStringLiteral("0 1 1 0"));
  EXPECT_EQ(lines[10], QStringLiteral("3 0 1 0"));
}

TEST(ContourExport, ActionNamesTheFileAndReportsFailure) {
  ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  Sorvex engine(nullptr);
  SectionPlane p = flatPlane(0);
  p.contours << loop(square());
  engine.planes << p;

  ExportResult r = exportContours(engine, QStringLiteral("../objs/385.off"), QStringLiteral("yournamehere"));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.message, QString("Exporting " + shownPath("../yournamehere/385.off.contour") + " successful."));
  EXPECT_EQ(readLines(work.parent() + QStringLiteral("/yournamehere/385.off.contour")).size(), 1 + 2 + 4 + 4);

  ASSERT_TRUE(QDir().mkpath(work.parent() + QStringLiteral("/yournamehere/x.off.contour")));
  r = exportContours(engine, QStringLiteral("x.off"), QStringLiteral("yournamehere"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, QString("Exporting " + shownPath("../yournamehere/x.off.contour") + " failed."));
}
