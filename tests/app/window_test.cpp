#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

#include "app/panel_fixture.h"
#include "app/study_mode.h"
#include "engine/sorvex.h"
#include "support/test_support.h"

namespace {

class MainWindow : public paneltest::WindowFixture {};

}  // namespace

TEST_F(MainWindow, TitleAndDefaultFraming) {
  EXPECT_EQ(window->windowTitle(), "Korvane");
  // No model yet: framed on the default bounds, radius 1 about (0, 1, 0).
  const Camera& camera = view->camera();
  EXPECT_NEAR(camera.eye.x, 1.1547f, 1e-4f);
  EXPECT_NEAR(camera.eye.y, 2.1547f, 1e-4f);
  EXPECT_NEAR(camera.eye.z, 1.1547f, 1e-4f);
  EXPECT_FLOAT_EQ(camera.centre.x, 0.0f);
  EXPECT_FLOAT_EQ(camera.centre.y, 1.0f);
  EXPECT_FLOAT_EQ(camera.centre.z, 0.0f);
  EXPECT_FLOAT_EQ(camera.up.x, 0.0f);
  EXPECT_FLOAT_EQ(camera.up.y, 1.0f);
  EXPECT_FLOAT_EQ(camera.up.z, 0.0f);
  // The side view is a separate window, not shown at start.
  EXPECT_FALSE(window->sideView()->isVisible());
  EXPECT_FALSE(window->isAncestorOf(window->sideView()));
}

TEST_F(MainWindow, ViewsNeverShrinkBelowTheirMinimum) {
  EXPECT_EQ(view->minimumSizeHint(), QSize(400, 300));
  EXPECT_EQ(window->sideView()->minimumSizeHint(), QSize(400, 300));
  window->resize(50, 50);
  QTest::qWait(50);
  EXPECT_GE(view->width(), 400);
  EXPECT_GE(view->height(), 300);
  EXPECT_GE(window->width(), 400);

  // The side view is a window of its own: the limit holds for it too, and
  // the window system is told about it.
  SideGLWidget* side = window->sideView();
  paneltest::press(view->drawBinSpaceCheck);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(side));
  side->resize(50, 50);
  QTest::qWait(50);
  EXPECT_GE(side->width(), 400);
  EXPECT_GE(side->height(), 300);
  ASSERT_NE(side->windowHandle(), nullptr);
  EXPECT_EQ(side->windowHandle()->minimumSize(), QSize(400, 300));
}

TEST(MainWindowLayout, OpensWithAViewAsWideAsThePanelThatTakesExtraWidth) {
  Window window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QWidget* panel = window.controlPanel();
  GLWidget* view = window.mainView();
  ASSERT_NE(panel, nullptr);
  EXPECT_GE(view->width(), panel->width());
  EXPECT_GE(view->width(), 400);
  // The window fits the screen.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(window.width(), screen.width());
  EXPECT_LE(window.height(), screen.height());

  // Widening the window widens the view, not the panel.
  const int viewBefore = view->width(), panelBefore = panel->width();
  window.resize(window.width() + 150, window.height());
  QTRY_COMPARE(view->width(), viewBefore + 150);
  EXPECT_EQ(panel->width(), panelBefore);
}

TEST_F(MainWindow, Screenshot) {
  QTest::qWait(200);
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QPixmap shot = screen->grabWindow(window->winId());
  ASSERT_FALSE(shot.isNull());
  const QString name = studyMode ? "window_study.png" : "window_research.png";
  QDir().mkpath(testsupport::outputDir());
  ASSERT_TRUE(shot.save(QDir(testsupport::outputDir()).filePath(name)));
  EXPECT_EQ(shot.size(), window->size());
}

// Closing with planes that no file holds asks first: cancel keeps the window
// and the planes, "Export, Then Close" writes them and closes, "Close
// Without Exporting" closes and writes nothing; exported planes close
// without a question.
TEST_F(MainWindow, ClosingWithUnexportedPlanesAsksFirst) {
  QTemporaryDir root;
  // A closed last window would end the event loops the boxes run in; the
  // export writes beside the working directory.
  struct Restore {
    QString dir = QDir::currentPath();
    bool quitOnClose = QApplication::quitOnLastWindowClosed();
    ~Restore() {
      QDir::setCurrent(dir);
      QApplication::setQuitOnLastWindowClosed(quitOnClose);
    }
  } restore;
  QApplication::setQuitOnLastWindowClosed(false);
  ASSERT_TRUE(root.isValid());
  const QDir dir(root.path());
  ASSERT_TRUE(dir.mkpath("work"));
  ASSERT_TRUE(QDir::setCurrent(dir.filePath("work")));
  const QString cube = dir.filePath("cube.off");
  ASSERT_TRUE(testsupport::writeTextFile(cube, testsupport::unitCubeOff()));
  ASSERT_TRUE(view->loadModelFile(cube));
  paneltest::waitForLoads();
  view->exportFolderEdit->setText("out");
  const QString planesFile = dir.filePath("out/cube.off.obj");
  const auto reopen = [this] {
    window->show();
    return QTest::qWaitForWindowExposed(window.get());
  };
  {
    // Nothing on the model: no question.
    paneltest::BoxAnswer noBox("Cancel");
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(noBox.text().isEmpty());
  }
  ASSERT_TRUE(reopen());
  paneltest::press(view->addNewButton);
  {
    paneltest::BoxAnswer cancel("Cancel");
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(cancel.clicked());
    EXPECT_TRUE(cancel.text().contains("1 plane")) << cancel.text().toStdString();
  }
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(view->engine()->planes.size(), 1);
  EXPECT_FALSE(QFile::exists(planesFile));
  {
    paneltest::BoxAnswer exportFirst("Export, Then Close");
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(exportFirst.clicked());
  }
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(QFile::exists(planesFile));
  ASSERT_TRUE(reopen());
  {
    paneltest::BoxAnswer noBox("Cancel");
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(noBox.text().isEmpty());
  }
  ASSERT_TRUE(reopen());
  paneltest::press(view->addNewButton);
  {
    paneltest::BoxAnswer leave("Close Without Exporting");
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(leave.clicked());
    EXPECT_TRUE(leave.text().contains("2 planes")) << leave.text().toStdString();
  }
  EXPECT_FALSE(window->isVisible());
  QFile planes(planesFile);
  ASSERT_TRUE(planes.open(QIODevice::ReadOnly));
  EXPECT_EQ(planes.readLine(), QByteArray("# 1 Plane Parameters:\n"));
}
