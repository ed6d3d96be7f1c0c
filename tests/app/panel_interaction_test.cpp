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
#include "app/undo_history.h"
#include "view/picking.h"
#include "view/render_fixture.h"
#include <QStatusBar>
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
    const RenderFaces f = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
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

namespace {

bool samePlane(const SectionPlane& a, const SectionPlane& b) {
  return a.normal == b.normal && a.r1 == b.r1 && a.r2 == b.r2 && a.point == b.point && a.d == b.d &&
         a.handles[0] == b.handles[0] && a.handles[1] == b.handles[1] && a.handles[2] == b.handles[2] &&
         a.area == b.area && a.contours.size() == b.contours.size();
}

bool samePlanes(const QList<SectionPlane>& a, const QList<SectionPlane>& b) {
  if (a.size() != b.size()) return false;
  for (int i = 0; i < a.size(); ++i)
    if (!samePlane(a[i], b[i])) return false;
  return true;
}

}  // namespace

TEST_F(PanelInteraction, CtrlZAndCtrlShiftZUndoAndRedoPlaneEditsExactlyADragBeingOneStep) {
  Sorvex* engine = view->engine();
  const QList<SectionPlane> none = engine->planes;
  press(view->addNewButton);
  const QList<SectionPlane> one = engine->planes;
  press(view->addNewButton);
  const QList<SectionPlane> two = engine->planes;
  ASSERT_EQ(two.size(), 2);
  ASSERT_EQ(engine->currentPlane, 1);

  // Slide the current plane by dragging its r1 line in four moves: the
  // first point along the line (projected from the camera record) where a
  // press grabs the line.
  // The cube framed from a little farther, so that the plane beside it is
  // in sight in either window's shape.
  view->initView();
  view->camera().zoom(1.6);
  view->makeCurrent();
  view->camera().applyView();
  const PickContext context = view->pickContext();
  const SectionPlane& plane = engine->planes[1];
  QPoint onAxis(-1, -1);
  for (int k = 1; k <= 9 && onAxis.x() < 0; ++k) {
    const QPointF p = viewtest::project(view->camera(), plane.point + plane.r1 * (0.1f * k * engine->modelRadius()),
                                        view->width(), view->height());
    const QPoint pixel(int(p.x()), int(p.y()));
    if (glyphModeNear(context, pixel.x(), pixel.y(), 0) == 3) onAxis = pixel;
  }
  ASSERT_GE(onAxis.x(), 0) << "no point of the r1 line grabs";
  QTest::mousePress(view->windowHandle(), Qt::LeftButton, Qt::NoModifier, onAxis);
  ASSERT_EQ(engine->pickState[0], 3);
  for (int i = 1; i <= 4; ++i) QTest::mouseMove(view->windowHandle(), onAxis + QPoint(10 * i, 0));
  QTest::mouseRelease(view->windowHandle(), Qt::LeftButton, Qt::NoModifier, onAxis + QPoint(40, 0));
  const QList<SectionPlane> slid = engine->planes;
  ASSERT_FALSE(samePlanes(slid, two));
  EXPECT_EQ(view->undoHistory().undoCount(), 3);  // add, add, one drag

  // Keys go to the window from the view; the Z of Ctrl+Z aligns nothing.
  QTest::keyClick(handle(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(samePlanes(engine->planes, two));
  EXPECT_EQ(engine->currentPlane, 1);
  QTest::keyClick(handle(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(samePlanes(engine->planes, one));
  EXPECT_EQ(view->planeList->count(), 1);
  QTest::keyClick(handle(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(samePlanes(engine->planes, two));
  QTest::keyClick(handle(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(samePlanes(engine->planes, slid));
  EXPECT_TRUE(view->statusBar->currentMessage().contains(QStringLiteral("Redone")));

  // Erase, then undo: the plane is back where it was; an edit after an undo
  // drops what could be redone.
  view->planeList->setCurrentRow(0);
  press(view->eraseCurrentButton);
  EXPECT_EQ(engine->planes.size(), 1);
  QTest::keyClick(handle(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(samePlanes(engine->planes, slid));
  press(view->addNewButton);
  EXPECT_FALSE(view->undoHistory().canRedo());
  QTest::keyClick(handle(), Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(handle(), Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(handle(), Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(handle(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(samePlanes(engine->planes, none));
  // Nothing left: a further Ctrl+Z says so and changes nothing.
  QTest::keyClick(handle(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(samePlanes(engine->planes, none));
  EXPECT_TRUE(view->statusBar->currentMessage().contains(QStringLiteral("Nothing to undo")));

  // In a text field Ctrl+Z is the field's own.
  press(view->addNewButton);
  QLineEdit* field = view->exportFolderEdit;
  QTest::mouseClick(field, Qt::LeftButton);
  field->selectAll();
  QTest::keyClicks(field, QStringLiteral("ab"));
  QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(engine->planes.size(), 1);
}
