// Loading on a worker and the run's button in the real window: a load can be
// cancelled and keeps the previous model, a run is refused during a load, and
// parameters changed during a run reach the engine once its thread has ended.
#include <gtest/gtest.h>

#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "app/panel_fixture.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

class LoadAndRun : public paneltest::WindowFixture {};

QString bundled(const char* name) { return QStringLiteral(KORVANE_SOURCE_DIR "/objs/") + name + ".off"; }

}  // namespace

TEST_F(LoadAndRun, CancelledLoadKeepsThePreviousModelAndARunWaitsForTheLoad) {
  Sorvex* engine = view->engine();
  nextFile = bundled("145");
  view->LoadInputMesh();
  paneltest::waitForLoads();
  ASSERT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
  const int faces = engine->renderMesh->faces().size();
  ASSERT_GT(faces, 1000);
  const QString loadText = view->loadButton->text();

  nextFile = bundled("105");
  view->LoadInputMesh();  // starts the load and returns at once
  ASSERT_TRUE(view->loadActive());
  EXPECT_EQ(view->loadButton->text(), "Cancel Loading");
  EXPECT_EQ(engine->renderMesh->faces().size(), faces) << "the previous model stays until the new one is built";
  view->DoBinningAlgorithm();
  EXPECT_FALSE(engine->isRunning());
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("A model is being loaded"));
  view->LoadInputMesh();  // the same button now cancels
  paneltest::waitForLoads();
  EXPECT_FALSE(view->loadActive());
  EXPECT_EQ(view->loadButton->text(), loadText);
  EXPECT_EQ(engine->renderMesh->faces().size(), faces);
  EXPECT_EQ(view->modelPathEdit->text(), bundled("145"));
  EXPECT_EQ(messages.size(), 1) << "a cancelled load is no failure";

  // Loading again installs the new model and clears the progress of the last run.
  view->progressBar->setValue(1000);
  view->LoadInputMesh();
  paneltest::waitForLoads();
  EXPECT_EQ(view->modelPathEdit->text(), bundled("105"));
  EXPECT_NE(engine->renderMesh->faces().size(), faces);
  EXPECT_NE(view->progressBar->value(), 1000);
}

TEST_F(LoadAndRun, ParametersChangedDuringARunReachTheEngineAfterEveryRun) {
  // Runs on an empty engine end within moments: the end signal of the run and
  // the end of its thread come close together, which is where a hand-over
  // that looks at the thread too early loses the change.
  Sorvex* engine = view->engine();
  view->planeCountSpin->setValue(3);  // handed over as each run starts
  for (int i = 1; i <= 30; ++i) {
    view->DoBinningAlgorithm();
    ASSERT_TRUE(engine->isRunning() || engine->isFinished());
    const bool during = engine->isRunning();
    view->curvatureThresholdSpin->setValue(10.0 + i);
    QEventLoop loop;
    QObject::connect(engine, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (engine->isRunning()) loop.exec();
    QCoreApplication::processEvents();
    ASSERT_TRUE(engine->isFinished());
    EXPECT_FLOAT_EQ(engine->curvatureThreshold, float(10.0 + i))
        << "run " << i << (during ? " (changed during it)" : "");
    EXPECT_EQ(view->binningButton->text(), "Binning Algorithm");
  }
  EXPECT_EQ(engine->targetPlaneCount, 3);
}
