// What a user meets between the panel and the view: which presses export,
// where the keys go after a button, what "Annotate Mode" shows at once and
// which plane the list offers for erasing. Real mouse and key events on the
// shown window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

#include "app/panel_fixture.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "sections/section_plane.h"
#include "support/export_support.h"

using paneltest::press;

namespace {

class PanelInteraction : public paneltest::WindowFixture {
 protected:
  void SetUp() override {
    paneltest::WindowFixture::SetUp();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // The unit cube, with outward face normals as a load leaves them.
    const QVector<Vec3> v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const QVector<QVector<int>> f = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                     {3, 7, 6}, {3, 6, 2}, {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}};
    view->engine()->renderMesh->setGeometry(v, f);
    view->engine()->renderMesh->flipFaceNormals();
  }

  QWindow* handle() { return window->windowHandle(); }
  QPoint inWindow(QWidget* w, QPoint p) { return w->mapTo(window.get(), p); }
  QPoint centreOf(QWidget* w) { return inWindow(w, w->rect().center()); }
  // The view is a native window of its own: the window system hands it the
  // moves over it directly. Waits for the frame that answers the move.
  void hover(QPoint inView) {
    const int before = view->planeListRefreshCount();
    QTest::mouseMove(view->windowHandle(), inView);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->planeListRefreshCount() > before; }, 5000));
  }

  // What the screen shows of the main view.
  QImage shownView() {
    const QPoint origin = inWindow(view, QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(window->winId(), origin.x(), origin.y(), view->width(), view->height())
        .toImage();
  }
  // The same once pending paints have reached the screen: two looks 50 ms
  // apart agree.
  QImage settledView() {
    QImage last = shownView();
    for (int i = 0; i < 40; ++i) {
      QTest::qWait(50);
      const QImage next = shownView();
      if (next == last) break;
      last = next;
    }
    return last;
  }
};

}  // namespace

TEST_F(PanelInteraction, ExportOnlyOnACompletedClick) {
  exportsupport::ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  QDir dir(work.parent());

  press(view->addNewButton);
  view->modelPathEdit->setText("cube.off");
  view->exportFolderEdit->setText("participant3");
  const QString planesFile = dir.filePath("participant3/cube.off.obj");

  // Pressed on the button, dragged off it into the view, released there.
  const QPoint onButton = centreOf(view->exportObjButton);
  QTest::mousePress(handle(), Qt::LeftButton, Qt::NoModifier, onButton);
  QTest::mouseMove(handle(), onButton + QPoint(-40, 0));
  QTest::mouseMove(handle(), centreOf(view));
  QTest::mouseRelease(handle(), Qt::LeftButton, Qt::NoModifier, centreOf(view));
  QTest::qWait(20);
  EXPECT_TRUE(messages.isEmpty()) << messages.join("; ").toStdString();
  EXPECT_FALSE(QFile::exists(planesFile));

  // A click exports.
  QTest::mouseClick(handle(), Qt::LeftButton, Qt::NoModifier, onButton);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].endsWith(" successful.")) << messages[0].toStdString();
  EXPECT_TRUE(QFile::exists(planesFile));
}

TEST_F(PanelInteraction, KeysReachTheViewAfterAPanelButtonButNotWhileTyping) {
  Sorvex* engine = view->engine();
  // "Add New" puts the plane beside the cube; X then cuts it through the
  // middle, which the list shows as the area.
  press(view->addNewButton);
  ASSERT_EQ(view->planeList->count(), 1);
  EXPECT_EQ(view->planeList->item(0)->text(), "Plane0 (Area: 0)");
  QTest::keyClick(handle(), Qt::Key_X);
  EXPECT_EQ(view->planeList->item(0)->text(), "Plane0 (Area: 1)");

  // After a radio button too.
  press(view->threeBallManipulationRadio);
  QTest::keyClick(handle(), Qt::Key_Z);
  EXPECT_EQ(engine->planes[0].normal, Vec3(0, 0, 1));

  // Letters typed into a field stay there.
  view->exportFolderEdit->clear();
  QTest::mouseClick(handle(), Qt::LeftButton, Qt::NoModifier, centreOf(view->exportFolderEdit));
  for (Qt::Key key : {Qt::Key_X, Qt::Key_Y, Qt::Key_A}) QTest::keyClick(handle(), key);
  EXPECT_EQ(view->exportFolderEdit->text().toLower(), "xya");
  EXPECT_EQ(engine->planes[0].normal, Vec3(0, 0, 1));
  // A button used while the field holds the keyboard from elsewhere (a
  // button that takes no focus) leaves the field with it.
  view->addNewButton->setFocusPolicy(Qt::NoFocus);
  press(view->addNewButton);
  EXPECT_EQ(QApplication::focusWidget(), view->exportFolderEdit);
  QTest::keyClick(handle(), Qt::Key_Y);
  EXPECT_EQ(view->exportFolderEdit->text().toLower(), "xyay");
}

TEST_F(PanelInteraction, AnnotateModeShowsAtOnceAndTheListFollowsTheChosenPlane) {
  Sorvex* engine = view->engine();
  press(view->addNewButton);
  press(view->addNewButton);
  ASSERT_EQ(engine->planes.size(), 2);
  // Plane 0 through the cube facing +z, plane 1 facing +x; the camera looks
  // down -z, so hovering in "Annotate Mode" chooses plane 0.
  const auto place = [engine](int i, const Vec3& n, const Vec3& r1, const Vec3& r2) {
    SectionPlane& p = engine->planes[i];
    p.normal = n;
    p.r1 = r1;
    p.r2 = r2;
    p.point = Vec3(0.5f, 0.5f, 0.5f);
    p.d = n.dot(p.point);
    engine->updateSection(p);
  };
  place(0, Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0));
  place(1, Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1));
  engine->planes[1].area = 2.0f;  // to tell the rows apart
  view->UpdatePlaneList();
  view->camera().setFrame(Vec3(0.8f, 0.7f, 3.5f), Vec3(0.5f, 0.5f, 0.5f), Vec3(0, 1, 0));
  view->update();
  ASSERT_EQ(view->planeList->currentRow(), 1);

  // Toggled without a click (no focus change that would repaint anyway): the
  // planes leave the picture without any further event and come back when it
  // is switched off.
  const QImage planesShown = settledView();
  view->annotateModeCheck->setChecked(true);
  QTRY_VERIFY_WITH_TIMEOUT(shownView() != planesShown, 5000);
  view->annotateModeCheck->setChecked(false);
  QTRY_VERIFY_WITH_TIMEOUT(shownView() == planesShown, 5000);

  // Hovering chooses the facing plane; the list's row follows, so "Erase
  // Current" erases that one. A burst of moves faster than frames costs one
  // choice, one list refresh and one repaint.
  view->annotateModeCheck->setChecked(true);
  hover(view->rect().center() + QPoint(5, 5));
  const int refreshes = view->planeListRefreshCount();
  for (int i = 0; i < 40; ++i) {  // delivered back to back, as a fast mouse does between two frames
    QMouseEvent move(QEvent::MouseMove, view->rect().center() + QPoint(i % 7, i % 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view, &move);
  }
  EXPECT_EQ(view->planeListRefreshCount(), refreshes);
  hover(view->rect().center());
  EXPECT_EQ(view->planeListRefreshCount(), refreshes + 1);
  EXPECT_EQ(engine->currentPlane, 0);
  EXPECT_EQ(view->planeList->currentRow(), 0);
  ASSERT_EQ(view->planeList->selectedItems().size(), 1);
  EXPECT_EQ(view->planeList->selectedItems()[0], view->planeList->item(0));
  press(view->eraseCurrentButton);
  ASSERT_EQ(engine->planes.size(), 1);
  EXPECT_EQ(engine->planes[0].normal, Vec3(1, 0, 0));
  ASSERT_EQ(view->planeList->count(), 1);
  EXPECT_EQ(view->planeList->item(0)->text(), "Plane0 (Area: 2)");

  // Looking away, with the plane behind, there is no current plane and no row.
  view->camera().setFrame(Vec3(3.0f, 0.6f, 0.5f), Vec3(5.0f, 0.6f, 0.5f), Vec3(0, 1, 0));
  hover(view->rect().center() + QPoint(5, 5));
  EXPECT_FALSE(engine->hasCurrentPlane());
  EXPECT_EQ(view->planeList->currentRow(), -1);
  press(view->eraseCurrentButton);
  EXPECT_EQ(engine->planes.size(), 1);
}

TEST_F(PanelInteraction, F1OpensTheSheetOfMouseAndKeyActions) {
  EXPECT_EQ(window->shortcutSheet(), nullptr);
  // From the view, after a panel button, the key opens the sheet.
  press(view->addNewButton);
  QTest::keyClick(handle(), Qt::Key_F1);
  QDialog* sheet = window->shortcutSheet();
  ASSERT_NE(sheet, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
  QString text;
  for (QLabel* label : sheet->findChildren<QLabel*>()) text += label->text();
  for (const char* action : {"Drag a light edge", "red or green line", "blue ball", "amber ball", "violet ball",
                             "Right drag", "X, Y, Z", "A, S", "F1", "aeroplanes"})
    EXPECT_TRUE(text.contains(action)) << action;
  // Opening it leaves the planes alone, and its Close button closes it.
  EXPECT_EQ(view->engine()->planes.size(), 1);
  auto* buttons = sheet->findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  QAbstractButton* close = buttons->button(QDialogButtonBox::Close);
  ASSERT_NE(close, nullptr);
  QTest::mouseClick(close, Qt::LeftButton);
  EXPECT_FALSE(sheet->isVisible());
}
