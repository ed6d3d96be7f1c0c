// Whole user journeys through the real window with the bundled models: a
// participant stepping through the sequence and placing planes, and a
// researcher running the automatic pipeline.
#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QEventLoop>
#include <QTimer>
#include <QSpinBox>
#include <QTest>

#include "app/panel_fixture.h"
#include "app/study_mode.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "support/test_support.h"

namespace {

// Runs the test in <source>/build-like folder so that "../objs" names the
// bundled models, and restores the working directory afterwards.
class ScopedModelsWorkDir {
 public:
  ScopedModelsWorkDir() : previous_(QDir::currentPath()) {
    QDir::setCurrent(QStringLiteral(KORVANE_SOURCE_DIR "/objs"));
  }
  ~ScopedModelsWorkDir() { QDir::setCurrent(previous_); }

 private:
  QString previous_;
};

class Workflow : public paneltest::WindowFixture {};

// Waits in the event loop for the run's thread to end; the view learns of it
// through the queued finished signal, like the window does.
bool waitForRun(Sorvex* engine) {
  QEventLoop loop;
  QObject::connect(engine, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
  QTimer::singleShot(120000, &loop, &QEventLoop::quit);
  if (engine->isRunning()) loop.exec();
  QCoreApplication::processEvents();  // deliver what the run queued before it ended
  return engine->isFinished();
}

}  // namespace

TEST_F(Workflow, ParticipantLoadsFromTheSequenceAndPlacesTwoPlanes) {
  ScopedModelsWorkDir dir;
  Sorvex* engine = view->engine();
  paneltest::press(view->loadFromSequenceButton);
  ASSERT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
  ASSERT_GT(engine->renderMesh->faces().size(), 1000);
  for (const Vec3& v : engine->renderMesh->vertices()) {
    ASSERT_LT(v.length(), 1.0f);
  }
  if (studyMode) {
    EXPECT_NE(view->modelPathEdit->text(), QStringLiteral("Specify seed #, then load"));
  }

  paneltest::press(view->addNewButton);
  paneltest::press(view->addNewButton);
  ASSERT_EQ(engine->planes.size(), 2);
  ASSERT_EQ(view->planeList->count(), 2);
  // Align the second plane with the model's centre so it cuts the model.
  view->setFocus();
  QTest::keyClick(view, Qt::Key_Y);
  QTest::keyClick(view, Qt::Key_X);
  ASSERT_EQ(engine->currentPlane, 1);
  EXPECT_GT(engine->planes[1].area, 0.0f);
  EXPECT_FALSE(engine->planes[1].triangles.isEmpty());
  EXPECT_TRUE(view->planeList->item(1)->text().startsWith(QStringLiteral("Plane1 (Area: ")));

  QTest::qWait(50);
  const QImage shot = view->grabFrameBuffer();
  ASSERT_FALSE(shot.isNull());
  EXPECT_TRUE(shot.save(testsupport::outputDir() +
                        (studyMode ? "/study_model_two_planes.png" : "/research_model_two_planes.png")));
  // Widgets grab without their GL content: paint the view's frame into place.
  QImage whole = window->grab().toImage();
  {
    QPainter painter(&whole);
    painter.drawImage(view->mapTo(window.get(), QPoint(0, 0)), shot);
  }
  EXPECT_TRUE(whole.save(testsupport::outputDir() +
                         (studyMode ? "/study_window_with_model.png" : "/research_window_with_model.png")));
}

TEST_F(Workflow, ResearcherRunsThePipelineOnABundledModel) {
  ScopedModelsWorkDir dir;
  Sorvex* engine = view->engine();
  nextFile = QStringLiteral("../objs/141.off");  // Table 1: segmentation and symmetry files
  view->LoadInputMesh();
  paneltest::waitForLoads();
  ASSERT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
  ASSERT_GT(engine->segmentCount, 1);
  ASSERT_FALSE(engine->symmetryPlanes.isEmpty());

  view->DoBinningAlgorithm();
  EXPECT_EQ(view->binningButton->text(), QStringLiteral("Stop Binning Algorithm"));
  ASSERT_TRUE(waitForRun(engine));
  EXPECT_EQ(view->binningButton->text(), QStringLiteral("Binning Algorithm"));

  EXPECT_EQ(view->progressBar->value(), 1000);
  ASSERT_GT(engine->planes.size(), 0);
  EXPECT_EQ(engine->selectedBins.size(), engine->planes.size());
  EXPECT_EQ(view->planeList->count(), engine->planes.size());
  // A table: the strongest plane cuts along its top (normal along y), and
  // its x = 0 symmetry plane is accepted too.
  EXPECT_GT(std::fabs(engine->planes[0].normal.y), 0.99f);
  bool symmetry = false;
  for (const SectionPlane& p : engine->planes)
    if (std::fabs(p.normal.x) > 0.99f && std::fabs(p.d) < 0.05f) symmetry = true;
  EXPECT_TRUE(symmetry);
  for (const SectionPlane& p : engine->planes) EXPECT_GT(p.area, 0.0f);

  QTest::qWait(50);
  EXPECT_TRUE(view->grabFrameBuffer().save(testsupport::outputDir() +
                                           (studyMode ? "/study_pipeline.png" : "/research_pipeline.png")));
}
