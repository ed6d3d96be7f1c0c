// The research window on a laptop screen: it fits, its panel scrolls to every
// button, its controls are grouped; the bin-space window opens beside it with
// axes and a legend; a failed load says why; the path field names no model
// that is not loaded.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QPixmap>
#include <QScrollBar>
#include <QTemporaryDir>

#include "app/panel_fixture.h"
#include "app/study_mode.h"
#include "support/test_support.h"
#include "view/bin_space_guides.h"

namespace {

class ResearchWindow : public paneltest::WindowFixture {
 protected:
  void SetUp() override {
    if (studyMode) GTEST_SKIP() << "the research window only";
    WindowFixture::SetUp();
  }
};

// Pixels of `img` within `tolerance` of the colour.
int countColour(const QImage& img, const unsigned char c[3], int tolerance) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const QRgb p = img.pixel(x, y);
      n += (std::abs(qRed(p) - c[0]) <= tolerance && std::abs(qGreen(p) - c[1]) <= tolerance &&
            std::abs(qBlue(p) - c[2]) <= tolerance)
               ? 1
               : 0;
    }
  return n;
}

}  // namespace

TEST_F(ResearchWindow, At1366x768EveryButtonCanBeScrolledToAndTheControlsAreGrouped) {
  // A laptop screen less a task bar and a title bar.
  const QSize laptop(1366, 768 - 60);
  EXPECT_LE(window->minimumSizeHint().width(), laptop.width());
  EXPECT_LE(window->minimumSizeHint().height(), laptop.height());
  window->resize(laptop);
  QTRY_COMPARE(window->size(), laptop);
  QScrollArea* scroll = window->panelScroll();
  ASSERT_NE(scroll, nullptr);
  const QRect inside = window->rect();
  QStringList names;
  for (QAbstractButton* button : window->controlPanel()->findChildren<QAbstractButton*>()) {
    if (!button->isVisibleTo(window.get())) continue;
    scroll->ensureWidgetVisible(button, 0, 0);
    QCoreApplication::processEvents();
    const QRect at(button->mapTo(window.get(), QPoint(0, 0)), button->size());
    EXPECT_TRUE(inside.contains(at)) << button->text().toStdString() << " at " << at.x() << "," << at.y() << " "
                                     << at.width() << "x" << at.height();
    names << button->text();
  }
  for (const char* label : {"Export Contours", "Export Matrix", "Export SVG", "Cuts Segmentify", "Mesh Decimate"})
    EXPECT_TRUE(names.contains(label)) << label;
  // The screenshot after scrolling to the bottom shows the last buttons.
  scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
  QCoreApplication::processEvents();
  const QImage shot = window->grab().toImage();
  QDir().mkpath(testsupport::outputDir());
  EXPECT_TRUE(shot.save(QDir(testsupport::outputDir()).filePath("research_1366x768_scrolled.png")));
  EXPECT_EQ(shot.size(), laptop);

  QStringList groups;
  for (QGroupBox* box : window->controlPanel()->findChildren<QGroupBox*>()) groups << box->title();
  EXPECT_EQ(groups, QStringList({"Model", "Planes", "Export", "Run", "Features", "Display", "Mesh Tools"}));
  EXPECT_TRUE(qobject_cast<QGroupBox*>(view->exportMatrixButton->parentWidget()));
  EXPECT_EQ(view->exportMatrixButton->parentWidget()->property("title").toString(), "Export");

  // With a model on screen (the view is drawn by GL: the screen is grabbed).
  nextFile = QStringLiteral(KORVANE_SOURCE_DIR "/objs/105.off");
  paneltest::press(view->loadButton);
  ASSERT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
  scroll->verticalScrollBar()->setValue(0);
  QTest::qWait(200);
  const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(window->winId());
  EXPECT_TRUE(screen.save(QDir(testsupport::outputDir()).filePath("research_1366x768_model.png")));

  // Weights keep their seven decimals but show three.
  EXPECT_EQ(view->featureWeightSpin[0]->text(), "0.679");
  EXPECT_DOUBLE_EQ(view->featureWeightSpin[0]->value(), 0.6794463);
  view->featureWeightSpin[0]->setFocus();
  view->binningButton->setFocus();  // leaving the field does not round the weight
  EXPECT_DOUBLE_EQ(view->featureWeightSpin[0]->value(), 0.6794463);
}

TEST_F(ResearchWindow, BinSpaceOpensBesideWithAxesAndALegendAndClosingItUnticksTheBox) {
  SideGLWidget* side = window->sideView();
  paneltest::press(view->drawBinSpaceCheck);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(side));
  // A size of its own, well below the screen's.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(side->width(), 640);
  EXPECT_LE(side->height(), 480);
  EXPECT_LE(side->width(), screen.width() / 2);
  // Its camera starts outside the index box (+-2.5, +-1.25, +-0.69), looking
  // at its centre.
  const Vec3 eye = side->camera().eye;
  EXPECT_TRUE(std::fabs(eye.x) > 2.5f || std::fabs(eye.y) > 1.25f || std::fabs(eye.z) > 0.7f);
  EXPECT_EQ(side->camera().centre, Vec3(0, 0, 0));
  EXPECT_GT(eye.length(), 2.0f * 2.88f * 0.9f);

  // Axes in their three colours, and the legend's swatches in the kind
  // colours (red for "Segment PCA Planes", yellow for "Ridges").
  side->updateGL();
  const QImage img = side->grabFrameBuffer();
  EXPECT_TRUE(img.save(QDir(testsupport::outputDir()).filePath("research_bin_space.png")));
  EXPECT_GT(countColour(img, binguide::kThetaAxis, 8), 40);
  EXPECT_GT(countColour(img, binguide::kPhiAxis, 8), 40);
  EXPECT_GT(countColour(img, binguide::kDAxis, 8), 10);
  const unsigned char red[3] = {255, 0, 0}, yellow[3] = {255, 255, 0};
  EXPECT_GT(countColour(img, red, 4), 30);
  EXPECT_GT(countColour(img, yellow, 4), 30);

  // Closing the window unticks "Draw Bin Space"; ticking opens it again.
  EXPECT_TRUE(side->close());
  EXPECT_FALSE(side->isVisible());
  EXPECT_FALSE(view->drawBinSpaceCheck->isChecked());
  paneltest::press(view->drawBinSpaceCheck);
  EXPECT_TRUE(view->drawBinSpaceCheck->isChecked());
  EXPECT_TRUE(QTest::qWaitForWindowExposed(side));
}

TEST_F(ResearchWindow, NoModelIsNamedBeforeOneLoadsAndAFailedLoadSaysWhy) {
  EXPECT_TRUE(view->modelPathEdit->text().isEmpty());
  EXPECT_FALSE(view->modelPathEdit->placeholderText().isEmpty());

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString missing = dir.filePath("missing.off");
  nextFile = missing;
  paneltest::press(view->loadButton);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "Unable to load input " + QDir::cleanPath(missing) + ".\nno such file");
  EXPECT_TRUE(view->modelPathEdit->text().isEmpty());

  messages.clear();
  const QString bad = dir.filePath("bad.off");
  ASSERT_TRUE(testsupport::writeTextFile(bad, "OFF\n3 1 0\n0 0 0\n"));
  nextFile = bad;
  paneltest::press(view->loadButton);
  ASSERT_EQ(messages.size(), 1);
  const QStringList lines = messages[0].split('\n');
  ASSERT_EQ(lines.size(), 2) << messages[0].toStdString();
  EXPECT_EQ(lines[0], "Unable to load input " + QDir::cleanPath(bad) + ".");
  EXPECT_FALSE(lines[1].trimmed().isEmpty());
}
