#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include "engine/cut_plane.h"
#include "export/plane_journal.h"
#include "support/test_support.h"

namespace {

SectionPlane planeAt(const Vec3& normal, float d, int segment) {
  SectionPlane p;
  p.normal = normal.normalized();
  p.d = d;
  normalizePlane(p);
  for (int k = 0; k < 3; ++k) p.handles[k] = p.point + p.r1 * float(k) * 0.1f;
  p.extent = 0.3f;
  p.segmentIndex = segment;
  return p;
}

// The id of a process that has ended.
pid_t endedPid() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

}  // namespace

// A journal reads back what was written, bit for bit; only journals of
// processes that no longer run count as orphaned; an unreadable or hostile
// journal is refused or skipped line by line without harm.
TEST(PlaneJournal, RoundTripsPlanesAndFindsOnlyJournalsOfEndedProcesses) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  PlaneJournal journal(dir.filePath("j"));
  PlaneJournalRecord record;
  record.modelPath = QStringLiteral("/models/cup 1.off");
  record.label = QStringLiteral("Cup 1");
  record.segmentationPath = QStringLiteral("/models/cup_0.seg");
  record.seed = 7;
  record.sequenceIndex = 4;
  record.planes = {planeAt(Vec3(1, 2, 3), 0.123456789f, 0), planeAt(Vec3(-0.3f, 0.1f, 1), 1e-7f, 5)};
  ASSERT_TRUE(journal.write(record));

  PlaneJournalRecord back;
  QString error;
  ASSERT_TRUE(PlaneJournal::read(journal.path(), back, error)) << error.toStdString();
  EXPECT_EQ(back.modelPath, record.modelPath);
  EXPECT_EQ(back.label, record.label);
  EXPECT_EQ(back.segmentationPath, record.segmentationPath);
  EXPECT_EQ(back.seed, 7);
  EXPECT_EQ(back.sequenceIndex, 4);
  ASSERT_EQ(back.planes.size(), 2);
  for (int i = 0; i < 2; ++i) {
    const SectionPlane &a = record.planes[i], &b = back.planes[i];
    EXPECT_EQ(a.normal, b.normal);
    EXPECT_EQ(a.r1, b.r1);
    EXPECT_EQ(a.r2, b.r2);
    EXPECT_EQ(a.d, b.d);
    EXPECT_EQ(a.point, b.point);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(a.handles[k], b.handles[k]);
    EXPECT_EQ(a.extent, b.extent);
    EXPECT_EQ(a.segmentIndex, b.segmentIndex);
  }

  // This process runs: its journal is not an orphan. A copy under the id of
  // an ended process is.
  EXPECT_TRUE(PlaneJournal::orphaned(dir.filePath("j")).isEmpty());
  const QString orphan = dir.filePath(QStringLiteral("j/planes-%1.journal").arg(endedPid()));
  ASSERT_TRUE(QFile::copy(journal.path(), orphan));
  EXPECT_EQ(PlaneJournal::orphaned(dir.filePath("j")), QStringList{orphan});
  journal.clear();
  EXPECT_FALSE(QFile::exists(journal.path()));

  // Hostile journals: wrong first line, no model, broken and non-finite
  // plane lines between good ones, a line far over the bound.
  const QString hostile = dir.filePath("hostile.journal");
  ASSERT_TRUE(testsupport::writeTextFile(hostile, "not a journal\nmodel /m.off\n"));
  EXPECT_FALSE(PlaneJournal::read(hostile, back, error));
  ASSERT_TRUE(testsupport::writeTextFile(hostile, "korvane plane journal 1\nplanes 0\n"));
  EXPECT_FALSE(PlaneJournal::read(hostile, back, error));
  EXPECT_EQ(error, QStringLiteral("the journal names no model"));
  const std::string good = "plane 0 0 1 1 0 0 0 1 0 0.5 0 0 0.5 0 0 0.5 0 0 0.5 0 0 0.5 0.2 3";
  ASSERT_TRUE(testsupport::writeTextFile(hostile, "korvane plane journal 1\nmodel /m.off\nplanes 5\n" + good +
                                                      "\nplane 0 0 1 nan" + good.substr(13) + "\nplane 1 2 3\nplane " +
                                                      std::string(100000, '9') + "\n" + good + "\n"));
  ASSERT_TRUE(PlaneJournal::read(hostile, back, error));
  EXPECT_EQ(back.modelPath, QStringLiteral("/m.off"));
  ASSERT_EQ(back.planes.size(), 2);
  EXPECT_EQ(back.planes[1].segmentIndex, 3);
  EXPECT_EQ(back.planes[1].d, 0.5f);
}
