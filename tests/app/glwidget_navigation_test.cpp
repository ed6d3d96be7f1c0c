// Navigation of the main view by real wheel, mouse and key events: zoom,
// pan, fit, reset and the preset views.
#include <QCoreApplication>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>

#include "app/panel_fixture.h"
#include "view/render_fixture.h"

using namespace viewtest;

namespace {

void settle() {
  for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
}

void expectNear(const Vec3& a, const Vec3& b, float tol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

class Navigation : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    loadUnitCube();
    view->initView();
  }
  void TearDown() override {
    QTest::mouseRelease(window(), Qt::MiddleButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(window(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    RenderTest::TearDown();
  }
  QWindow* window() { return view->windowHandle(); }
  // One wheel turn of `notches` (positive: away from the user) over the view.
  void wheel(int notches) {
    const QPointF at(200, 150);
    QWheelEvent event(at, view->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view.get(), &event);
    settle();
  }
  void dragWith(Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint from, QPoint to) {
    QTest::mousePress(window(), button, mods, from);
    settle();
    for (int i = 1; i <= 2; ++i) {
      const QPoint p = from + (to - from) * i / 2;
      // A move carrying the held button and the modifier.
      QMouseEvent move(QEvent::MouseMove, p, view->mapToGlobal(p), Qt::NoButton, button, mods);
      QCoreApplication::sendEvent(view.get(), &move);
      settle();
    }
    QTest::mouseRelease(window(), button, mods, to);
    settle();
  }
  double distance() const { return double((view->camera().eye - view->camera().centre).length()); }
  Vec3 lineOfSight() const { return (view->camera().centre - view->camera().eye).normalized(); }
};

TEST_F(Navigation, WheelZoomsPanMovesTheTargetFitResetAndPresetsFrameTheModel) {
  const Camera opening = view->camera();
  const double d0 = distance();
  const Vec3 sight = lineOfSight();

  // Two notches forward come closer by 0.85 each, along the same line of
  // sight about the same centre; one back goes out again.
  wheel(2);
  EXPECT_NEAR(distance(), d0 * 0.85 * 0.85, 1e-4 * d0);
  expectNear(view->camera().centre, opening.centre, 1e-6f);
  expectNear(lineOfSight(), sight, 1e-5f);
  wheel(-1);
  EXPECT_NEAR(distance(), d0 * 0.85, 1e-4 * d0);

  // A middle drag of 40 px to the right moves the target, and with it the
  // eye, so that the old target lands 40 px right of the view's middle (the
  // projection here is computed from the camera record, not from GL).
  const Vec3 target = view->camera().centre;
  const double before = distance();
  dragWith(Qt::MiddleButton, Qt::NoModifier, QPoint(100, 100), QPoint(140, 100));
  EXPECT_GT((view->camera().centre - target).length(), 0.05f);
  EXPECT_NEAR(distance(), before, 1e-4 * before);
  expectNear(lineOfSight(), sight, 1e-5f);
  const QPointF moved = at(target);
  EXPECT_NEAR(moved.x(), 200.0 + 40.0, 0.5);
  EXPECT_NEAR(moved.y(), 150.0, 0.5);
  // Shift with the left button pans too (30 px down), and turns nothing.
  const Vec3 target2 = view->camera().centre;
  dragWith(Qt::LeftButton, Qt::ShiftModifier, QPoint(100, 100), QPoint(100, 130));
  expectNear(lineOfSight(), sight, 1e-5f);
  EXPECT_NEAR(at(target2).y(), 150.0 + 30.0, 0.5);
  EXPECT_NEAR(at(target2).x(), 200.0, 0.5);

  // F: the target back on the model's centre, the direction kept, the
  // bounding sphere just inside the narrower opening.
  QTest::keyClick(view.get(), Qt::Key_F);
  const float R = engine->renderMesh->radius();
  expectNear(view->camera().centre, engine->renderMesh->centre(), 1e-5f);
  expectNear(lineOfSight(), sight, 1e-5f);
  const double half = std::min(view->camera().halfFovX, view->camera().halfFovY) * M_PI / 180.0;
  EXPECT_NEAR(distance(), R / std::sin(half), 1e-4);

  // Presets: 1 from +Z, 3 from +X, 7 from +Y; Ctrl+1 from -Z.
  QTest::keyClick(view.get(), Qt::Key_1);
  expectNear(lineOfSight(), Vec3(0, 0, -1), 1e-6f);
  QTest::keyClick(view.get(), Qt::Key_3);
  expectNear(lineOfSight(), Vec3(-1, 0, 0), 1e-6f);
  QTest::keyClick(view.get(), Qt::Key_7);
  expectNear(lineOfSight(), Vec3(0, -1, 0), 1e-6f);
  QTest::keyClick(view.get(), Qt::Key_1, Qt::ControlModifier);
  expectNear(lineOfSight(), Vec3(0, 0, 1), 1e-6f);
  expectNear(view->camera().centre, engine->renderMesh->centre(), 1e-5f);

  // Home: the opening view exactly.
  QTest::keyClick(view.get(), Qt::Key_Home);
  EXPECT_EQ(view->camera().eye, opening.eye);
  EXPECT_EQ(view->camera().centre, opening.centre);
  EXPECT_EQ(view->camera().up, opening.up);
}

}  // namespace
