#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>

#include "app/panel_fixture.h"
#include "app/study_mode.h"
#include "engine/sorvex.h"
#include "model/companion_files.h"
#include "model/render_mesh.h"
#include "support/debug_capture.h"
#include "support/export_support.h"
#include "support/test_support.h"

using paneltest::press;

namespace {

class PanelActions : public paneltest::WindowFixture {
 protected:
  void clickRow(int row) {
    QListWidget* list = view->planeList;
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
  }
  QStringList rowTexts() const {
    QStringList texts;
    for (int i = 0; i < view->planeList->count(); ++i) texts << view->planeList->item(i)->text();
    return texts;
  }
};

// The unit cube halved, [0, 0.5]^3: inside the unit ball, so loading it
// brings no warning.
std::string halfCubeOff() {
  QStringList lines = QString::fromStdString(testsupport::unitCubeOff()).split(QLatin1Char('\n'));
  for (int i = 2; i < 10; ++i) {
    QStringList v = lines[i].split(QLatin1Char(' '));
    for (QString& x : v) x = QString::number(x.toDouble() * 0.5);
    lines[i] = v.join(QLatin1Char(' '));
  }
  return lines.join(QLatin1Char('\n')).toStdString();
}

}  // namespace

TEST_F(PanelActions, PlaneListShowsAreasAndRewritesInPlace) {
  Sorvex* engine = view->engine();
  press(view->addNewButton);
  press(view->addNewButton);
  ASSERT_EQ(engine->planes.size(), 2);
  ASSERT_EQ(view->planeList->count(), 2);
  // A new plane becomes the selected row and the engine's current plane.
  EXPECT_EQ(view->planeList->currentRow(), 1);
  EXPECT_EQ(engine->currentPlane, 1);

  clickRow(0);
  EXPECT_EQ(view->planeList->currentRow(), 0);
  EXPECT_EQ(engine->currentPlane, 0);

  QListWidgetItem* firstItem = view->planeList->item(0);
  engine->planes[0].area = 0.25f;
  engine->planes[1].area = 1234567.0f;
  view->UpdatePlaneList();
  EXPECT_EQ(rowTexts(), QStringList({"Plane0 (Area: 0.25)", "Plane1 (Area: 1.23457e+06)"}));
  // Same count: the rows are rewritten, not rebuilt, and the selection stays.
  EXPECT_EQ(view->planeList->item(0), firstItem);
  EXPECT_EQ(view->planeList->currentRow(), 0);
  EXPECT_EQ(engine->currentPlane, 0);
}

TEST_F(PanelActions, EraseAndClearActOnExistingPlanesOnly) {
  Sorvex* engine = view->engine();
  // Nothing to erase: the button does nothing.
  press(view->eraseCurrentButton);
  EXPECT_TRUE(engine->planes.isEmpty());
  EXPECT_TRUE(messages.isEmpty());

  for (int i = 0; i < 3; ++i) press(view->addNewButton);
  ASSERT_EQ(engine->planes.size(), 3);
  for (int i = 0; i < 3; ++i) engine->planes[i].area = float(i + 1);

  // No row selected: erase must not remove some other plane.
  view->planeList->setCurrentRow(-1);
  press(view->eraseCurrentButton);
  EXPECT_EQ(engine->planes.size(), 3);

  // Erase the middle plane: the one with area 2 goes, the list renumbers.
  clickRow(1);
  press(view->eraseCurrentButton);
  ASSERT_EQ(engine->planes.size(), 2);
  EXPECT_FLOAT_EQ(engine->planes[0].area, 1.0f);
  EXPECT_FLOAT_EQ(engine->planes[1].area, 3.0f);
  EXPECT_EQ(rowTexts(), QStringList({"Plane0 (Area: 1)", "Plane1 (Area: 3)"}));
  // The engine follows the list's selection.
  EXPECT_EQ(engine->currentPlane, view->planeList->currentRow() < 0 ? Sorvex::kNoPlane : view->planeList->currentRow());

  press(view->clearAllButton);
  EXPECT_TRUE(engine->planes.isEmpty());
  EXPECT_EQ(view->planeList->count(), 0);
  EXPECT_FALSE(engine->hasCurrentPlane());
}

TEST_F(PanelActions, CancelledLoadDoesNothing) {
  nextFile.clear();
  press(view->loadButton);
  ASSERT_EQ(dialogCalls.size(), 1);
  // The filter offers OFF and OBJ first, then the formats of the assimp reader.
  EXPECT_TRUE(dialogCalls[0].startsWith("Load Model|../objs|Model Files (*.off *.obj *."))
      << dialogCalls[0].toStdString();
  for (const char* ext : {" *.ply", " *.stl", " *.gltf", " *.glb"})
    EXPECT_TRUE(dialogCalls[0].contains(QLatin1String(ext))) << ext;
  EXPECT_TRUE(dialogCalls[0].endsWith(")"));
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PanelActions, FailedLoadNamesTheFileThatFailed) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString before = view->modelPathEdit->text();

  // When loading works, load a real model first.
  const QString cube = dir.filePath("cube.off");
  ASSERT_TRUE(testsupport::writeTextFile(cube, halfCubeOff()));
  nextFile = cube;
  press(view->loadButton);
  const bool loaderWorks = messages.isEmpty();
  const QString previous = loaderWorks ? cube : before;
  if (loaderWorks) {
    EXPECT_EQ(view->modelPathEdit->text(), cube);
    EXPECT_EQ(view->engine()->renderMesh->faces().size(), 12);
    // The view frames the new model: eye at 2R from the cube's centre.
    const Vec3 c = view->camera().centre;
    EXPECT_NEAR(c.x, 0.25f, 1e-5f);
    EXPECT_NEAR(c.y, 0.25f, 1e-5f);
    // Its warnings: no companion files, and (research) what was computed instead.
    const QString notes = view->modelWarningsLabel->text();
    EXPECT_TRUE(notes.contains("No segmentation file (cube_0.seg)")) << notes.toStdString();
    EXPECT_EQ(notes.contains("computed one"), view->engine()->autoSegmentation) << notes.toStdString();
  }
  messages.clear();

  // The message names the file that failed; the field keeps the model that
  // stays loaded.
  const QString missing = dir.filePath("no such model.off");
  nextFile = missing;
  press(view->loadButton);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "Unable to load input " + missing + ".\nno such file");
  EXPECT_EQ(view->modelPathEdit->text(), previous);
}

TEST_F(PanelActions, BinningRunReportsProgressToTheEnd) {
  Sorvex* engine = view->engine();
  press(view->binningButton);
  EXPECT_EQ(view->progressBar->maximum(), 1000);
  EXPECT_TRUE(view->progressBar->isTextVisible());
  ASSERT_TRUE(engine->wait(30000));
  QTRY_COMPARE_WITH_TIMEOUT(view->progressBar->value(), 1000, 5000);
  EXPECT_TRUE(messages.isEmpty());
}

namespace {

// A main view whose "run in progress" state the test decides, so that the
// refusals can be checked without racing a real run.
class RunStateView : public GLWidget {
 public:
  bool running = false;

 protected:
  bool selectionRunActive() const override { return running; }
};

class DuringARun : public ::testing::Test {
 protected:
  void SetUp() override {
    view = std::make_unique<RunStateView>();
    panel = view->buildControlPanel();  // the view's until a layout adopts it
    view->showMessage = [this](QWidget*, const QString& text) { messages << text; };
    view->chooseModelFile = [this](QWidget*, const QString&, const QString&, const QString&) {
      ++dialogCalls;
      return QString("../objs/2.off");
    };
  }
  void TearDown() override { view.reset(); }
  std::unique_ptr<RunStateView> view;
  QWidget* panel = nullptr;
  QStringList messages;
  int dialogCalls = 0;
};

}  // namespace

TEST_F(DuringARun, ModelAndPlaneEditsAreRefusedWithAMessage) {
  Sorvex* engine = view->engine();
  view->addNewButton->click();
  ASSERT_EQ(engine->planes.size(), 1);
  view->progressBar->setRange(0, 1000);
  view->progressBar->setValue(500);

  view->running = true;
  // During a run the button stops it instead of starting another.
  view->binningButton->click();
  EXPECT_EQ(view->progressBar->value(), 500);
  view->addNewButton->click();
  view->planeList->setCurrentRow(0);
  view->eraseCurrentButton->click();
  view->clearAllButton->click();
  EXPECT_EQ(engine->planes.size(), 1);
  view->loadButton->click();
  EXPECT_EQ(dialogCalls, 0);
  view->loadFromSequenceButton->click();
  EXPECT_TRUE(view->sequencePaths.isEmpty());
  EXPECT_EQ(view->sequenceIndex, 0);
  {
    // The matrix export rebuilds the bins the run is voting into.
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString previousDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    view->exportMatrixButton->click();
    EXPECT_FALSE(QFile::exists(QDir(work.path()).filePath("AandC.m")));
    QDir::setCurrent(previousDir);
  }

  ASSERT_EQ(messages.size(), 6);
  for (const QString& m : messages)
    EXPECT_TRUE(m.startsWith("A plane-selection run is in progress")) << m.toStdString();
}

TEST_F(DuringARun, ParameterChangesWaitForTheRunToEnd) {
  Sorvex* engine = view->engine();
  view->running = true;
  view->featureWeightSpin[2]->setValue(4.5);
  view->featureCheck[7]->click();
  view->curvatureThresholdSpin->setValue(30);
  view->hermiteInterpCheck->click();
  // The fields answer at once; the engine, which the run reads, does not.
  EXPECT_FALSE(view->featureWeightSpin[7]->isEnabled());
  EXPECT_FLOAT_EQ(engine->featureWeight[2], 0.3657238f);
  EXPECT_TRUE(engine->featureEnabled[7]);
  EXPECT_FLOAT_EQ(engine->curvatureThreshold, 15.0f);
  EXPECT_TRUE(engine->hermiteInterp);

  view->UpdateUI();  // the run's end signal comes before its thread has ended
  EXPECT_FLOAT_EQ(engine->featureWeight[2], 0.3657238f);
  view->running = false;
  view->ApplyPendingParameters();  // what the thread's end delivers
  EXPECT_FLOAT_EQ(engine->featureWeight[2], 4.5f);
  EXPECT_FALSE(engine->featureEnabled[7]);
  EXPECT_FLOAT_EQ(engine->curvatureThreshold, 30.0f);
  EXPECT_FALSE(engine->hermiteInterp);
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PanelActions, ExportWritesIntoTheNamedFolderAndReports) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  QDir dir(root.path());
  ASSERT_TRUE(dir.mkpath("work"));
  const QString previousDir = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.filePath("work")));

  const QString cube = dir.filePath("cube.off");
  ASSERT_TRUE(testsupport::writeTextFile(cube, halfCubeOff()));
  nextFile = cube;
  press(view->loadButton);
  const bool loaded = messages.isEmpty();
  messages.clear();
  if (loaded) {
    press(view->addNewButton);
    view->exportFolderEdit->setText("participant7");
    press(view->exportObjButton);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Exporting ")) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].endsWith(" successful.")) << messages[0].toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("participant7/cube.off.obj")));
    EXPECT_TRUE(QFile::exists(dir.filePath("participant7/cube.off_slab.obj")));
    EXPECT_TRUE(QFile::exists(dir.filePath("participant7/cube.off_inputmesh.obj")));

    // The model's segmentation and symmetry, in their file formats, read back.
    messages.clear();
    press(view->saveSegmentationButton);
    press(view->saveSymmetryButton);
    ASSERT_EQ(messages.size(), 2);
    for (const QString& m : messages) EXPECT_TRUE(m.endsWith(" successful.")) << m.toStdString();
    QVector<int> ids;
    EXPECT_TRUE(readSegmentation(QFile::encodeName(dir.filePath("participant7/cube_0.seg")).constData(), 12, ids));
    EXPECT_EQ(ids, view->engine()->faceSegment);
    QList<CutPlane> planes;
    QList<Axis> axes;
    EXPECT_TRUE(readSymmetry(QFile::encodeName(dir.filePath("participant7/cube.sym")).constData(), planes, axes));
    EXPECT_EQ(planes.size(), view->engine()->symmetryPlanes.size());
    EXPECT_EQ(axes.size(), view->engine()->symmetryAxes.size());
  }
  QDir::setCurrent(previousDir);
  if (!loaded) GTEST_SKIP() << "model loading not available in this build";
}

TEST_F(PanelActions, SecondPressDuringARealRunStopsIt) {
  Sorvex* engine = view->engine();
  press(view->addNewButton);
  ASSERT_EQ(engine->planes.size(), 1);

  // Hold the engine state so the run, once started, waits at its first step.
  // No events may be processed while this thread holds it (a paint would wait
  // for it), so the buttons are clicked programmatically here.
  engine->stateMutex.lock();
  view->binningButton->click();
  if (!engine->isRunning()) {
    engine->stateMutex.unlock();
    engine->wait(30000);
    GTEST_SKIP() << "the run finished before it needed the engine state";
  }
  EXPECT_EQ(view->binningButton->text(), "Stop Binning Algorithm");
  view->binningButton->click();  // stop
  EXPECT_TRUE(engine->stopRequested());
  view->addNewButton->click();
  view->clearAllButton->click();
  EXPECT_EQ(messages.size(), 2);
  for (const QString& m : messages) EXPECT_TRUE(m.startsWith("A plane-selection run is in progress"));
  EXPECT_EQ(engine->planes.size(), 1);  // untouched: the run has not got the lock yet
  engine->stateMutex.unlock();

  ASSERT_TRUE(engine->wait(5000));
  QTRY_COMPARE_WITH_TIMEOUT(view->progressBar->value(), 1000, 5000);
  QTRY_COMPARE_WITH_TIMEOUT(view->binningButton->text(), QString("Binning Algorithm"), 5000);
  // Stopped before any plane was accepted: the plane from before the run
  // stays (the run keeps earlier planes unless asked to clear), the bar says
  // "Stopped" rather than a percentage, and the end of the run refreshed the
  // widget from the engine.
  EXPECT_EQ(engine->planes.size(), 1);
  EXPECT_FALSE(engine->stopRequested());
  QTRY_COMPARE_WITH_TIMEOUT(view->planeList->count(), 1, 5000);
  EXPECT_EQ(view->progressBar->text(), QStringLiteral("Stopped"));
  EXPECT_TRUE(view->statusBar->currentMessage().startsWith("Run stopped: 0 new planes, 1 in the list"))
      << view->statusBar->currentMessage().toStdString();

  // Asked to clear, a run stopped at once leaves no plane.
  view->clearPlanesOnRunCheck->setChecked(true);
  engine->stateMutex.lock();
  view->binningButton->click();
  view->binningButton->click();  // stop
  engine->stateMutex.unlock();
  ASSERT_TRUE(engine->wait(5000));
  QTRY_COMPARE_WITH_TIMEOUT(view->binningButton->text(), QString("Binning Algorithm"), 5000);
  EXPECT_TRUE(engine->planes.isEmpty());
  QTRY_COMPARE_WITH_TIMEOUT(view->planeList->count(), 0, 5000);
  EXPECT_EQ(view->progressBar->text(), QStringLiteral("Stopped"));
}

TEST_F(PanelActions, MeshUtilitiesAndMatrixReachTheEngine) {
  exportsupport::ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  QDir dir(work.parent());

  const QString cube = dir.filePath("cube.off");
  ASSERT_TRUE(testsupport::writeTextFile(cube, halfCubeOff()));
  nextFile = cube;
  press(view->loadButton);
  if (!messages.isEmpty()) GTEST_SKIP() << "model loading not available in this build";
  Sorvex* engine = view->engine();
  press(view->addNewButton);
  ASSERT_EQ(engine->planes.size(), 1);

  const QVector<Vec3> before = engine->renderMesh->vertices();
  press(view->meshNoisifyButton);
  const QVector<Vec3> after = engine->renderMesh->vertices();
  ASSERT_EQ(after.size(), before.size());
  int moved = 0;
  for (int i = 0; i < before.size(); ++i) {
    const float shift = (after[i] - before[i]).length();
    EXPECT_LT(shift, 0.02f);  // noise of sigma 0.001 per coordinate
    if (shift > 0.0f) ++moved;
  }
  EXPECT_GT(moved, before.size() / 2);

  press(view->cutsSegmentifyButton);
  EXPECT_TRUE(engine->useSegmentation);
  EXPECT_TRUE(view->useSegmentationCheck->isChecked());
  EXPECT_EQ(view->planeList->count(), engine->planes.size());

  // The matrix goes into the export folder, named by its whole path, with a
  // busy sign while it is computed.
  view->exportFolderEdit->setText("participant7");
  QStringList busy;
  QObject::connect(view, &GLWidget::busyChanged, [&](bool on, const QString& what) {
    busy << QString("%1 %2 %3").arg(on).arg(view->progressBar->maximum()).arg(what);
    if (on) {
      EXPECT_EQ(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1, Qt::WaitCursor);
    }
  });
  const int rangeBefore = view->progressBar->maximum();
  press(view->exportMatrixButton);
  const QString matrix = QDir::cleanPath(dir.absoluteFilePath("participant7/AandC.m"));
  EXPECT_TRUE(QFile::exists(matrix));
  EXPECT_FALSE(QFile::exists(dir.filePath("run/AandC.m")));
  EXPECT_EQ(messages, QStringList({"Exporting " + matrix + " successful."}));
  // Busy: a bar without an end while it works, its range back afterwards.
  EXPECT_EQ(busy, QStringList({"1 0 Exporting the matrix (rebuilding features and votes)...",
                               QString("0 %1 ").arg(rangeBefore)}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(view->statusBar->currentMessage(), messages.value(0));

  // Decimation says what it did.
  const int facesBefore = engine->renderMesh->faces().size();
  press(view->meshDecimateButton);
  const int facesAfter = engine->renderMesh->faces().size();
  EXPECT_LT(facesAfter, facesBefore);
  EXPECT_TRUE(view->statusBar->currentMessage().startsWith("Decimated: "))
      << view->statusBar->currentMessage().toStdString();
  EXPECT_TRUE(view->statusBar->currentMessage().contains(QString("%1 faces (were %2)").arg(facesAfter).arg(facesBefore)))
      << view->statusBar->currentMessage().toStdString();
}

TEST_F(PanelActions, ModelsOutsideTheUnitBallAreWarnedAboutAndSlabsExportAsSvg) {
  exportsupport::ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  QDir dir(work.parent());

  // The unit cube's far corner is sqrt(3) from the origin.
  const QString cube = dir.filePath("cube.off");
  ASSERT_TRUE(testsupport::writeTextFile(cube, testsupport::unitCubeOff()));
  testsupport::DebugCapture log;
  for (int load = 0; load < 2; ++load) {
    nextFile = cube;
    press(view->loadButton);
    ASSERT_EQ(view->modelPathEdit->text(), cube);
  }
  const QStringList logged = log.matching(QStringLiteral("The model reaches outside the unit ball"));
  EXPECT_EQ(logged.size(), 2);  // every load, in the debug log
  // The research configuration says it once in a message box as well.
  ASSERT_EQ(messages.size(), studyMode ? 0 : 1) << messages.join("; ").toStdString();
  if (!studyMode) {
    EXPECT_EQ(messages[0], logged.value(0));
  }
  messages.clear();

  press(view->addNewButton);
  view->engine()->alignCurrentPlane(Vec3(0, 0, 1));
  view->engine()->updateSection(view->engine()->planes[0]);
  view->exportFolderEdit->setText("participant7");
  press(view->exportSvgButton);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "Exporting " + QDir::cleanPath(dir.absoluteFilePath("participant7/cube.off.svg")) +
                            " successful.");
  QFile svg(dir.filePath("participant7/cube.off.svg"));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  const QByteArray text = svg.readAll();
  EXPECT_TRUE(text.contains("<g id=\"plane0\" class=\"slab\"")) << text.constData();
  EXPECT_TRUE(text.contains(">Plane0 (Area: 1)</text>")) << text.constData();
  EXPECT_EQ(view->exportSvgButton->text(), QStringLiteral("Export SVG"));
  EXPECT_EQ(view->exportSvgButton->isVisible(), !studyMode);
}
