#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include "app/panel_fixture.h"
#include "engine/sorvex.h"
#include "export/plane_journal.h"
#include "model/render_mesh.h"
#include "support/foreign_files.h"
#include "support/test_support.h"

using paneltest::press;
using paneltest::waitForLoads;

namespace {

class PlaneSafety : public paneltest::WindowFixture {
 protected:
  void SetUp() override {
    paneltest::WindowFixture::SetUp();
    ASSERT_TRUE(dir.isValid());
    cube = dir.filePath("cube.off");
    ASSERT_TRUE(testsupport::writeTextFile(cube, testsupport::unitCubeOff()));
  }
  // Loads the cube through the file dialog and puts two planes on it.
  bool cubeWithTwoPlanes() {
    nextFile = cube;
    view->LoadInputMesh();
    waitForLoads();
    if (view->engine()->renderMesh->faces().size() != 12) return false;
    press(view->addNewButton);
    press(view->addNewButton);
    return view->engine()->planes.size() == 2;
  }
  QString write(const char* name, const std::string& text) {
    return testsupport::writeFileIn(dir, QLatin1String(name), text);
  }
  QTemporaryDir dir;
  QString cube;
};

}  // namespace

// A foreign file that crashes its reader and one that makes it read forever
// leave the window, the model and the planes as they were; the crash is
// named in the message, the endless read ends at once on "Cancel Loading"
// and when the window closes.
TEST_F(PlaneSafety, ForeignFilesThatCrashOrHangKeepTheWindowAndItsPlanes) {
  ASSERT_TRUE(cubeWithTwoPlanes());
  messages.clear();
  Sorvex* engine = view->engine();
  const float area = engine->planes[1].area;

  const QString deep = write("deep.gltf", testsupport::nodeChainGltf(100000, 1));
  nextFile = deep;
  view->LoadInputMesh();
  waitForLoads();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "Unable to load input " + deep + ".\nthe reader stopped with signal 11");
  EXPECT_EQ(engine->modelPathString(), cube);
  ASSERT_EQ(engine->planes.size(), 2);
  EXPECT_EQ(engine->planes[1].area, area);
  EXPECT_EQ(view->planeList->count(), 2);

  // The second press of the load action is its cancel.
  messages.clear();
  nextFile = write("endless.ply", testsupport::endlessPlyHeader());
  view->LoadInputMesh();
  QTest::qWait(500);
  ASSERT_TRUE(view->loadActive());
  view->LoadInputMesh();
  QTRY_VERIFY_WITH_TIMEOUT(!view->loadActive(), 5000);
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(engine->modelPathString(), cube);
  EXPECT_EQ(engine->planes.size(), 2);
  EXPECT_EQ(view->planeList->count(), 2);

  // Closing the window with the endless read under way does not wait for it.
  view->LoadInputMesh();
  QTest::qWait(200);
  ASSERT_TRUE(view->loadActive());
  QElapsedTimer closing;
  closing.start();
  window.reset();
  EXPECT_LT(closing.elapsed(), 10000);
}

// The planes on screen are in the journal a moment after each change; an
// export clears it; a journal left by a process that ended is offered back
// at the next start and restores the model and its planes.
TEST_F(PlaneSafety, PlanesAreJournalledAndOfferedBackAfterAnAbnormalEnd) {
  ASSERT_TRUE(cubeWithTwoPlanes());
  PlaneJournalRecord record;
  const PlaneJournal* journal = paneltest::readKeptJournal(view, record);
  ASSERT_NE(journal, nullptr);
  EXPECT_EQ(record.modelPath, cube);
  ASSERT_EQ(record.planes.size(), 2);

  // A plane moved: the journal follows within the timer's interval.
  Sorvex* engine = view->engine();
  engine->planes[0].d = 0.25f;
  engine->planes[0].point = engine->planes[0].normal * 0.25f;
  QString error;
  QTRY_VERIFY_WITH_TIMEOUT(
      PlaneJournal::read(journal->path(), record, error) && record.planes.size() == 2 && record.planes[0].d == 0.25f,
      3000);

  // Exported: nothing left to restore.
  const QString previousDir = QDir::currentPath();
  ASSERT_TRUE(QDir().mkpath(dir.filePath("work")));
  ASSERT_TRUE(QDir::setCurrent(dir.filePath("work")));
  view->exportFolderEdit->setText(dir.filePath("out"));
  messages.clear();
  view->ExportOBJ();
  QDir::setCurrent(previousDir);
  ASSERT_EQ(messages.size(), 1);
  ASSERT_TRUE(messages[0].endsWith(" successful.")) << messages[0].toStdString();
  view->keepJournal();
  EXPECT_FALSE(QFile::exists(journal->path()));

  // The journal of a process that ended without clearing it.
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  const QString folder = QFileInfo(journal->path()).absolutePath();
  const QString orphan = QDir(folder).filePath(QStringLiteral("planes-%1.journal").arg(pid));
  record.planes[1].d = -0.2f;
  record.planes[1].point = record.planes[1].normal * -0.2f;
  {
    // Written as that process would have written it.
    ASSERT_TRUE(PlaneJournal(folder).write(record));
    ASSERT_TRUE(QFile::rename(journal->path(), orphan));
  }
  ASSERT_TRUE(testsupport::writeTextFile(cube + ".other.off", testsupport::unitCubeOff()));
  nextFile = cube + ".other.off";
  view->LoadInputMesh();
  waitForLoads();
  ASSERT_EQ(engine->planes.size(), 0);

  QStringList asked;
  view->askQuestion = [&asked](QWidget*, const QString& text) {
    asked << text;
    return true;
  };
  ASSERT_TRUE(view->offerPlaneRestore());
  waitForLoads();
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked[0].contains(QStringLiteral("2 planes"))) << asked[0].toStdString();
  EXPECT_EQ(engine->modelPathString(), cube);
  ASSERT_EQ(engine->planes.size(), 2);
  EXPECT_EQ(engine->planes[0].d, 0.25f);
  EXPECT_EQ(engine->planes[1].d, record.planes[1].d);
  EXPECT_GT(engine->planes[0].area, 0.0f);
  EXPECT_FALSE(QFile::exists(orphan));
  EXPECT_FALSE(view->offerPlaneRestore());
  EXPECT_EQ(asked.size(), 1);
}
