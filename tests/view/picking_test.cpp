// Picking and hand manipulation of planes in the main view, driven by real
// mouse and key events on a shown view with the unit cube loaded.
#include <QCoreApplication>
#include <QListWidget>
#include <QPushButton>
#include <QWindow>
#include <cmath>

#include "app/panel_fixture.h"
#include "app/study_mode.h"
#include "support/test_support.h"
#include "view/glyph_colours.h"
#include "view/picking.h"
#include "view/plane_manipulation.h"
#include "view/render_fixture.h"

using namespace viewtest;

namespace {

// The main view with frames kept in the back buffer (so a test can read
// what the last paint left there) and a switch that makes it behave as if a
// plane-selection run were in progress.
class ManipulatedView : public GLWidget {
 public:
  ManipulatedView() {
    setAutoBufferSwap(false);
    setMouseTracking(true);
  }
  bool simulatedRun = false;

 protected:
  bool selectionRunActive() const override { return simulatedRun || GLWidget::selectionRunActive(); }
};

QPoint pixelOf(QPointF p) { return QPoint(int(std::floor(p.x())), int(std::floor(p.y()))); }

void settle() {
  for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
}

bool sameHead(const CutPlane& a, const CutPlane& b) {
  return a.normal == b.normal && a.r1 == b.r1 && a.r2 == b.r2 && a.point == b.point && a.d == b.d &&
         a.handles[0] == b.handles[0] && a.handles[1] == b.handles[1] && a.handles[2] == b.handles[2];
}

void expectNear(const Vec3& a, const Vec3& b, float tol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

// Mouse events through the window system interface, so that moves carry
// the buttons held since the press.
void pressAt(QWindow* window, QPoint p, Qt::MouseButton button) {
  QTest::mousePress(window, button, Qt::NoModifier, p);
  settle();
}
void releaseAt(QWindow* window, QPoint p, Qt::MouseButton button) {
  QTest::mouseRelease(window, button, Qt::NoModifier, p);
  settle();
}
// Moves in `steps` equal steps from `from` to `to` (the button stays down).
void moveAlong(QWindow* window, QPoint from, QPoint to, int steps) {
  for (int i = 1; i <= steps; ++i) {
    QTest::mouseMove(window, from + (to - from) * i / steps);
    settle();
  }
}

class PickingTest : public RenderTest {
 protected:
  void SetUp() override {
    auto manipulatedView = std::make_unique<ManipulatedView>();
    manipulated = manipulatedView.get();
    view = std::move(manipulatedView);
    view->resize(400, 300);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    engine = view->engine();
    loadUnitCube();
    R = engine->renderMesh->radius();
  }
  void TearDown() override {
    // Leave no button held for the next test.
    QTest::mouseRelease(view->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(view->windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    RenderTest::TearDown();
  }

  QWindow* window() { return view->windowHandle(); }

  void press(QPoint p, Qt::MouseButton b = Qt::LeftButton) { pressAt(window(), p, b); }
  void release(QPoint p, Qt::MouseButton b = Qt::LeftButton) { releaseAt(window(), p, b); }
  void drag(QPoint from, QPoint to, int steps, Qt::MouseButton b = Qt::LeftButton) {
    press(from, b);
    moveAlong(window(), from, to, steps);
    release(to, b);
  }

  // Adds `plane` with its section and makes it current.
  void addCurrent(SectionPlane plane) {
    engine->updateSection(plane);
    engine->planes.append(plane);
    engine->currentPlane = engine->planes.size() - 1;
  }
  // The plane z = 0.5 through the cube's centre, seen straight from the front.
  void facingPlane(float eyeZ = 3.5f) {
    addCurrent(makePlane(Vec3(0.5f, 0.5f, 0.5f), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0)));
    look(Vec3(0.5f, 0.5f, eyeZ), Vec3(0.5f, 0.5f, 0.5f));
  }
  const SectionPlane& current() const { return engine->planes[0]; }
  // A point of the current glyph: its centre + R (a r1 + b r2).
  Vec3 glyphPoint(float a, float b) const {
    const SectionPlane& p = current();
    return p.point + (p.r1 * a + p.r2 * b) * R;
  }

  ManipulatedView* manipulated = nullptr;
  float R = 1.0f;
};

}  // namespace

TEST_F(PickingTest, EdgeDragTurnsThePlaneAndChangesItsArea) {
  facingPlane();
  ASSERT_NEAR(current().area, 1.0f, 1e-4f);
  // The top edge runs along r1; a point on it away from the green axis.
  const QPoint onEdge = pixelOf(at(glyphPoint(0.4f, 1.0f)));
  ASSERT_TRUE(hasColour(frame(), at(glyphPoint(0.4f, 1.0f)), 254, 254, 254));

  // Hover first, so that the press itself is the last event to repaint.
  QTest::mouseMove(window(), onEdge);
  settle();
  press(onEdge);
  EXPECT_EQ(engine->pickState[0], 1);
  // The pick frame (cyan background) was replaced by a normal frame.
  const QImage shown = view->grabFrameBuffer();
  EXPECT_TRUE(isWhite(rgbAt(shown, 5, 5)));

  // 30 pixels down on a 300-pixel view: 0.4 rad about r1, in three steps.
  moveAlong(window(), onEdge, onEdge + QPoint(0, 30), 3);
  release(onEdge + QPoint(0, 30));
  EXPECT_EQ(engine->pickState[0], 0);
  expectNear(current().normal, Vec3(0, std::sin(0.4f), std::cos(0.4f)), 1e-4f);
  expectNear(current().r1, Vec3(1, 0, 0), 1e-5f);
  expectNear(current().point, Vec3(0.5f, 0.5f, 0.5f), 1e-6f);
  EXPECT_NEAR(current().d, current().normal.dot(current().point), 1e-6f);
  // A tilted cut through the cube's centre is a 1 x 1/cos(a) rectangle.
  EXPECT_NEAR(current().area, 1.0f / std::cos(0.4f), 1e-3f);

  // 20 pixels right on a 400-pixel view is the same fraction as 15 down:
  // another 0.2 rad, adding up to 0.6.
  const QPoint onTurnedEdge = pixelOf(at(glyphPoint(0.4f, 1.0f)));
  press(onTurnedEdge);
  ASSERT_EQ(engine->pickState[0], 1);
  moveAlong(window(), onTurnedEdge, onTurnedEdge + QPoint(20, 0), 2);
  release(onTurnedEdge + QPoint(20, 0));
  expectNear(current().normal, Vec3(0, std::sin(0.6f), std::cos(0.6f)), 1e-4f);
  EXPECT_NEAR(current().d, current().normal.dot(current().point), 1e-6f);
  EXPECT_NEAR(current().area, 1.0f / std::cos(0.6f), 1e-3f);

  // A person looks at this one: the glyph and the contour of the turned cut.
  look(Vec3(2.2f, 1.6f, 2.6f), Vec3(0.5f, 0.5f, 0.5f));
  const QImage turned = frame();
  EXPECT_TRUE(turned.save(testsupport::outputDir() + QStringLiteral("/turned_plane.png")));
}

TEST_F(PickingTest, EdgesAlongR2TurnAboutR2) {
  facingPlane();
  // The right edge runs along r2 (grey 253).
  const QPoint onEdge = pixelOf(at(glyphPoint(1.0f, -0.4f)));
  press(onEdge);
  ASSERT_EQ(engine->pickState[0], 2);
  moveAlong(window(), onEdge, onEdge + QPoint(-40, 0), 2);  // 0.1 of the width to the left: +0.4 rad
  release(onEdge + QPoint(-40, 0));
  // z turned about y by +0.4: (sin, 0, cos).
  expectNear(current().normal, Vec3(std::sin(0.4f), 0, std::cos(0.4f)), 1e-4f);
  expectNear(current().r2, Vec3(0, 1, 0), 1e-5f);
  EXPECT_NEAR(current().area, 1.0f / std::cos(0.4f), 1e-3f);
}

TEST_F(PickingTest, PressBeyondThePickRadiusPicksNothingAndOrbitsTheCamera) {
  facingPlane();
  const QImage img = frame();
  const QPoint onEdge = pixelOf(at(glyphPoint(0.4f, 1.0f)));
  // Outside the glyph, above the light edge: the first pixel farther than
  // the pick radius from every grabbable pixel (the edge's black border lies
  // within the radius and now grabs the edge).
  auto grabbable = [](const Rgb& c) { return modeForPickedColour(0, c.r, c.g, c.b) >= 0; };
  QPoint away;
  for (int off = 1; off <= 20 && away.isNull(); ++off) {
    const QPoint p(onEdge.x(), onEdge.y() - off);
    if (!anyNear(img, p, kPickRadius + 1, grabbable)) away = p;
  }
  ASSERT_FALSE(away.isNull());

  const SectionPlane before = current();
  const Vec3 eyeBefore = view->camera().eye;
  press(away);
  EXPECT_EQ(engine->pickState[0], 0);
  moveAlong(window(), away, away + QPoint(40, 0), 2);
  release(away + QPoint(40, 0));
  EXPECT_TRUE(sameHead(current(), before));
  // The drag turned the camera about its centre instead.
  EXPECT_GT((view->camera().eye - eyeBefore).length(), 0.1f);
  EXPECT_NEAR((view->camera().eye - view->camera().centre).length(), 3.0f, 1e-4f);
}

TEST_F(PickingTest, APressAFewPixelsOffTheAxisStillSlidesAndTheCursorShowsIt) {
  // The plane x = 0.5 seen from the front right, as in the slide test below.
  addCurrent(makePlane(Vec3(0.5f, 0.5f, 0.5f), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1)));
  look(Vec3(3.5f, 0.5f, 3.5f), Vec3(0.5f, 0.5f, 0.5f));
  // Step sideways from the red r1 line (it runs up the screen here) to the
  // first pixel where a one-pixel pick finds nothing: a press there grabbed
  // nothing before.
  const QPoint onAxis = pixelOf(at(glyphPoint(0.5f, 0.0f)));
  view->makeCurrent();
  view->camera().applyView();
  const PickContext context = view->pickContext();
  ASSERT_EQ(glyphModeNear(context, onAxis.x(), onAxis.y(), 0), 3);
  QPoint off;
  for (int dx = 1; dx <= kPickRadius && off.isNull(); ++dx)
    if (glyphModeNear(context, onAxis.x() + dx, onAxis.y(), 0) < 0) off = QPoint(onAxis.x() + dx, onAxis.y());
  ASSERT_FALSE(off.isNull());
  ASSERT_EQ(engine->pickState[0], 0);  // looking changed nothing

  // Hovering there shows the four-way arrow; far away, the normal pointer.
  QTest::mouseMove(window(), off);
  EXPECT_TRUE(QTest::qWaitFor([&] { return view->cursor().shape() == Qt::SizeAllCursor; }, 2000));
  QTest::mouseMove(window(), QPoint(5, 5));
  EXPECT_TRUE(QTest::qWaitFor([&] { return view->cursor().shape() == Qt::ArrowCursor; }, 2000));

  const Vec3 eye = view->camera().eye;
  press(off);
  ASSERT_EQ(engine->pickState[0], 3);
  moveAlong(window(), off, off + QPoint(30, 0), 3);
  release(off + QPoint(30, 0));
  // The plane slid as from the line itself, and the camera stayed.
  const float expectedX = 0.5f + R * 0.2f / std::sqrt(2.0f);
  expectNear(current().point, Vec3(expectedX, 0.5f, 0.5f), 1e-4f);
  EXPECT_EQ(view->camera().eye, eye);
}

TEST_F(PickingTest, RightDragOverTheBackgroundDolliesTheCamera) {
  facingPlane();
  const Vec3 eye = view->camera().eye;
  // 30 pixels down on a 300-pixel view moves a tenth of |eye| (the eye's
  // distance from the world origin) towards the centre.
  drag(QPoint(20, 20), QPoint(20, 50), 1, Qt::RightButton);
  const float step = 0.1f * eye.length();
  EXPECT_NEAR((view->camera().eye - view->camera().centre).length(), 3.0f - step, 1e-4f);
  expectNear((view->camera().centre - view->camera().eye).normalized(), Vec3(0, 0, -1), 1e-5f);
  EXPECT_EQ(engine->pickState[0], 0);
}

TEST_F(PickingTest, AManipulationWhoseReleaseWasLostEndsOnHover) {
  facingPlane();
  const SectionPlane before = current();
  engine->pickState[0] = 1;  // as if the release had gone elsewhere
  engine->pickState[1] = 100;
  engine->pickState[2] = 100;
  QTest::mouseMove(window(), QPoint(150, 180));
  settle();
  EXPECT_EQ(engine->pickState[0], 0);
  EXPECT_TRUE(sameHead(current(), before));
}

TEST_F(PickingTest, AxisLineDragSlidesThePlaneAlongItsNormal) {
  // The plane x = 0.5, seen from the front right: screen-left is
  // (-1, 0, 1)/sqrt 2, so a drag to the right pushes it towards +x.
  addCurrent(makePlane(Vec3(0.5f, 0.5f, 0.5f), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1)));
  look(Vec3(3.5f, 0.5f, 3.5f), Vec3(0.5f, 0.5f, 0.5f));
  const QPoint onAxis = pixelOf(at(glyphPoint(0.5f, 0.0f)));  // on the red r1 line
  press(onAxis);
  ASSERT_EQ(engine->pickState[0], 3);
  // 30 right and 30 down; the normal is level, so only the horizontal part
  // moves it: by R * (2 * 30 / 300) / sqrt 2.
  moveAlong(window(), onAxis, onAxis + QPoint(30, 30), 3);
  release(onAxis + QPoint(30, 30));
  EXPECT_EQ(engine->pickState[0], 0);
  const float expectedX = 0.5f + R * 0.2f / std::sqrt(2.0f);
  expectNear(current().point, Vec3(expectedX, 0.5f, 0.5f), 1e-4f);
  expectNear(current().normal, Vec3(1, 0, 0), 0.0f);
  EXPECT_NEAR(current().d, expectedX, 1e-4f);
  EXPECT_NEAR(current().area, 1.0f, 1e-3f);  // still a full square of the cube
}

TEST_F(PickingTest, ThreeBallHandleFollowsTheSurfaceAndCarriesThePlane) {
  facingPlane(2.5f);
  engine->planes[0].handles[0] = Vec3(0.5f, 0.5f, 0.5f);
  engine->planes[0].handles[1] = Vec3(0.8f, 0.5f, 0.5f);
  engine->planes[0].handles[2] = Vec3(0.5f, 0.8f, 0.5f);
  view->SetPlaneManipulation_ThreeBall();
  ASSERT_EQ(engine->pickState[0], 4);

  // An edge does nothing in 3-Ball; the third ball is handle 3.
  press(pixelOf(at(glyphPoint(0.4f, 1.0f))));
  EXPECT_EQ(engine->pickState[0], 4);
  release(pixelOf(at(glyphPoint(0.4f, 1.0f))));
  const QPoint ball = pixelOf(at(current().handles[2]));
  press(ball);
  ASSERT_EQ(engine->pickState[0], 7);

  // Onto the cube's front face z = 1.
  const QPoint target = pixelOf(at(Vec3(0.5f, 0.8f, 1.0f)));
  moveAlong(window(), ball, target, 3);
  release(target);
  EXPECT_EQ(engine->pickState[0], 4);

  // The handle lies on the ray through the pixel, just behind the face: the
  // depth read back is pushed by 0.00025 in window depth, which in eye
  // distance is n / (1 - (zw + 0.00025)(f - n) / f) with zw the face's depth.
  const Camera& c = view->camera();
  const double n = c.zNear, f = c.zFar, faceDistance = 1.5;
  const double zw = f / (f - n) * (1.0 - n / faceDistance);
  const double handleDistance = n / (1.0 - (zw + 0.00025) * (f - n) / f);
  const Vec3 eye = c.eye;
  const Vec3 expected = eye + (Vec3(0.5f, 0.8f, 1.0f) - eye) * float(handleDistance / faceDistance);
  const Vec3 b3 = current().handles[2];
  expectNear(b3, expected, 0.012f);
  EXPECT_LT(b3.z, 1.0f);

  // The plane passes through all three handles, with its point on handle 1.
  for (const Vec3& h : current().handles) EXPECT_NEAR(current().normal.dot(h), current().d, 1e-4f);
  expectNear(current().point, Vec3(0.5f, 0.5f, 0.5f), 0.0f);
  EXPECT_NEAR(current().normal.length(), 1.0f, 1e-5f);
  EXPECT_NEAR(current().d, current().normal.dot(current().point), 1e-6f);
  EXPECT_GT(current().area, 1.05f);  // tilted: a longer cut than the square
}

TEST_F(PickingTest, DraggedHandleStaysInSightInItsOwnColourOverTheSurface) {
  // "Tri" on: the cube's surface is drawn, and the glyph lies inside it.
  ASSERT_TRUE(view->drawOptions.drawTriangles);
  facingPlane(2.5f);
  engine->planes[0].handles[0] = Vec3(0.5f, 0.5f, 0.5f);
  engine->planes[0].handles[1] = Vec3(0.8f, 0.5f, 0.5f);
  engine->planes[0].handles[2] = Vec3(0.5f, 0.8f, 0.5f);
  view->SetPlaneManipulation_ThreeBall();

  // The three balls and the red axis line: four colours, none alike.
  const Rgb red{255, 0, 0};
  Rgb balls[3];
  for (int k = 0; k < 3; ++k)
    balls[k] = Rgb{glyphcolour::kHandle[k][0], glyphcolour::kHandle[k][1], glyphcolour::kHandle[k][2]};
  for (int k = 0; k < 3; ++k) {
    EXPECT_FALSE(same(balls[k], red.r, red.g, red.b, 40)) << k;
    for (int j = k + 1; j < 3; ++j) EXPECT_FALSE(same(balls[k], balls[j].r, balls[j].g, balls[j].b, 40)) << k << j;
  }

  // Handle 3 dragged onto the front face z = 1: it lands just behind the
  // face, and is seen there in its lighter dragged colour while held ...
  const QPoint ball = pixelOf(at(current().handles[2]));
  press(ball);
  ASSERT_EQ(engine->pickState[0], 7);
  const QPoint target = pixelOf(at(Vec3(0.3f, 0.7f, 1.0f)));
  moveAlong(window(), ball, target, 3);
  const Vec3 held = current().handles[2];
  ASSERT_LT(held.z, 1.0f);
  ASSERT_GT(held.z, 0.8f);
  QImage img = frame();
  const unsigned char* c3 = glyphcolour::kHandle[2];
  EXPECT_TRUE(hasColour(img, at(held), glyphcolour::draggedChannel(c3[0]), glyphcolour::draggedChannel(c3[1]),
                        glyphcolour::draggedChannel(c3[2])));
  release(target);

  // ... and in its own colour after the release; the other two balls, inside
  // the cube, show too, each in its colour.
  img = frame();
  EXPECT_TRUE(img.save(testsupport::outputDir() + "/three_ball_after_drag.png"));
  for (int k = 0; k < 3; ++k)
    EXPECT_TRUE(hasColour(img, at(current().handles[k]), balls[k].r, balls[k].g, balls[k].b)) << "handle " << k + 1;
  // The ball covers only its own disc: a little beside it the surface shows.
  const Vec3 beside = current().handles[2] + Vec3(0.12f, 0, 0);
  // (light grey in the study window, blue-grey in the research window).
  EXPECT_TRUE(anyNear(img, at(beside), 1, [](const Rgb& c) {
    return studyMode ? (c.r == c.g && c.g == c.b && c.r > 150) : (c.b > c.r + 20 && c.r > 100);
  }));
  // A press on the moved ball grabs handle 3 again.
  press(pixelOf(at(current().handles[2])));
  EXPECT_EQ(engine->pickState[0], 7);
  release(pixelOf(at(current().handles[2])));
}

TEST_F(PickingTest, HandlesTravelWithTheTurnedAndSlidPlane) {
  // The plane x = 0.5 seen from the front right, handles at the plane's
  // point and half a unit along r1 and r2.
  addCurrent(makePlane(Vec3(0.5f, 0.5f, 0.5f), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1)));
  look(Vec3(3.5f, 0.5f, 3.5f), Vec3(0.5f, 0.5f, 0.5f));
  const Vec3 inPlane[3] = {{0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}};  // (along r1, along r2, along the normal)
  const auto expectHandlesInPlace = [&](const char* after) {
    const SectionPlane& p = current();
    for (int k = 0; k < 3; ++k) {
      const Vec3 offset = p.handles[k] - p.point;
      expectNear(Vec3(offset.dot(p.r1), offset.dot(p.r2), offset.dot(p.normal)), inPlane[k], 1e-4f);
      EXPECT_NEAR(p.normal.dot(p.handles[k]), p.d, 1e-4f) << after << ", handle " << k + 1;
    }
  };

  // Slide along the normal by the red axis line.
  const QPoint onAxis = pixelOf(at(glyphPoint(0.5f, 0.0f)));
  press(onAxis);
  ASSERT_EQ(engine->pickState[0], 3);
  moveAlong(window(), onAxis, onAxis + QPoint(30, 0), 3);
  release(onAxis + QPoint(30, 0));
  ASSERT_GT(current().point.x, 0.6f);
  expectHandlesInPlace("slide");

  // Turn about r1 by an edge.
  const QPoint onEdge = pixelOf(at(glyphPoint(0.4f, 1.0f)));
  press(onEdge);
  ASSERT_EQ(engine->pickState[0], 1);
  moveAlong(window(), onEdge, onEdge + QPoint(0, 30), 3);
  release(onEdge + QPoint(0, 30));
  ASSERT_LT(current().normal.x, 0.95f);
  expectHandlesInPlace("turn");

  // In 3-Ball the balls are where the plane is now: each is picked at its
  // place on screen, and grabbing one without moving it keeps the plane.
  const SectionPlane placed = current();
  view->SetPlaneManipulation_ThreeBall();
  for (int k = 0; k < 3; ++k) {
    const QPoint ball = pixelOf(at(placed.handles[k]));
    press(ball);
    EXPECT_EQ(engine->pickState[0], 5 + k) << "handle " << k + 1;
    release(ball);
  }
  EXPECT_TRUE(sameHead(current(), placed));
  EXPECT_NEAR(current().area, placed.area, 1e-6f);
}

TEST_F(PickingTest, CoincidentHandleStepIsSkippedAndTheDragGoesOn) {
  facingPlane(2.5f);
  engine->planes[0].handles[0] = Vec3(0.5f, 0.5f, 0.5f);
  engine->planes[0].handles[1] = Vec3(0.8f, 0.5f, 0.5f);
  engine->planes[0].handles[2] = Vec3(0.5f, 0.8f, 0.5f);
  view->SetPlaneManipulation_ThreeBall();

  // Handle 1 onto the front face at pixel P.
  const QPoint p = pixelOf(at(Vec3(0.3f, 0.3f, 1.0f)));
  const QPoint ball1 = pixelOf(at(current().handles[0]));
  press(ball1);
  ASSERT_EQ(engine->pickState[0], 5);
  moveAlong(window(), ball1, p, 2);
  release(p);
  const SectionPlane afterFirst = current();
  ASSERT_GT(afterFirst.handles[0].z, 0.8f);  // it did land on the face

  // Handle 2 onto the same pixel lands exactly on handle 1: no direction
  // r1, so that step is skipped and the plane stays as it was.
  const QPoint ball2 = pixelOf(at(current().handles[1]));
  const Vec3 eyeBefore = view->camera().eye;
  press(ball2);
  ASSERT_EQ(engine->pickState[0], 6);
  moveAlong(window(), ball2, p, 1);
  EXPECT_TRUE(sameHead(current(), afterFirst));
  EXPECT_TRUE(isUsablePlane(current()));
  EXPECT_EQ(view->camera().eye, eyeBefore);  // the skipped step did not orbit either

  // Further along the face the drag carries the plane again.
  const QPoint q = pixelOf(at(Vec3(0.7f, 0.3f, 1.0f)));
  moveAlong(window(), p, q, 1);
  release(q);
  EXPECT_FALSE(sameHead(current(), afterFirst));
  EXPECT_GT((current().handles[1] - afterFirst.handles[0]).length(), 0.3f);
  for (const Vec3& h : current().handles) EXPECT_NEAR(current().normal.dot(h), current().d, 1e-4f);
}

TEST_F(PickingTest, AnnotationStrokesLandInPlaneCoordinates) {
  facingPlane();
  view->drawOptions.annotateMode = true;

  const QPoint first = pixelOf(at(Vec3(0.8f, 0.7f, 0.5f)));
  const QPoint last = pixelOf(at(Vec3(0.6f, 0.3f, 0.5f)));
  press(first, Qt::RightButton);
  ASSERT_EQ(current().annotations.size(), 1);
  ASSERT_EQ(current().annotations[0].size(), 1);
  expectNear(current().annotations[0][0], Vec3(0.3f, 0.2f, 0.0f), 0.025f);
  moveAlong(window(), first, last, 2);
  release(last, Qt::RightButton);
  ASSERT_EQ(current().annotations.size(), 1);
  ASSERT_EQ(current().annotations[0].size(), 3);
  expectNear(current().annotations[0].last(), Vec3(0.1f, -0.2f, 0.0f), 0.025f);
  for (const Vec3& uv : current().annotations[0]) EXPECT_EQ(uv.z, 0.0f);
  EXPECT_EQ(engine->currentPlane, 0);  // the facing plane stays the chosen one

  // A second right drag is a second stroke; a left drag orbits and draws
  // nothing.
  drag(last, first, 2, Qt::RightButton);
  EXPECT_EQ(current().annotations.size(), 2);
  const Vec3 eyeBefore = view->camera().eye;
  drag(first, first + QPoint(30, 0), 2, Qt::LeftButton);
  EXPECT_EQ(current().annotations.size(), 2);
  EXPECT_GT((view->camera().eye - eyeBefore).length(), 0.1f);

  // The strokes show in the view, drawn back on the plane (with the surface
  // hidden, as the plane runs inside the cube).
  look(Vec3(0.5f, 0.5f, 3.5f), Vec3(0.5f, 0.5f, 0.5f));
  view->drawOptions.drawTriangles = false;
  const QImage img = frame();
  EXPECT_TRUE(anyNear(img, at(Vec3(0.8f, 0.7f, 0.5f)), 3, isBlack));
}

TEST_F(PickingTest, StrokesNeedACurrentPlaneThatTheRayMeets) {
  facingPlane();
  view->drawOptions.annotateMode = true;
  const QPoint p = pixelOf(at(Vec3(0.8f, 0.7f, 0.5f)));
  const QPoint p2 = pixelOf(at(Vec3(0.6f, 0.3f, 0.5f)));
  // Hovering chooses the plane the view faces, at the next frame.
  engine->currentPlane = Sorvex::kNoPlane;
  QTest::mouseMove(window(), p);
  EXPECT_TRUE(QTest::qWaitFor([&] { return engine->currentPlane == 0; }, 5000));

  // A press without a current plane draws nothing; the drag after it, once
  // the move has chosen a plane again, starts a stroke of its own instead of
  // extending one that does not exist.
  engine->currentPlane = Sorvex::kNoPlane;
  press(p, Qt::RightButton);
  EXPECT_TRUE(current().annotations.isEmpty());
  moveAlong(window(), p, p2, 1);
  release(p2, Qt::RightButton);
  ASSERT_EQ(current().annotations.size(), 1);
  EXPECT_EQ(current().annotations[0].size(), 1);
  expectNear(current().annotations[0][0], Vec3(0.1f, -0.2f, 0.0f), 0.025f);

  // A plane behind the eye (z = 4, the eye at z = 3.5) is chosen, being the
  // nearest facing one, but the rays never meet it.
  addCurrent(makePlane(Vec3(0.5f, 0.5f, 4.0f), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0)));
  drag(p, p2, 2, Qt::RightButton);
  EXPECT_EQ(engine->currentPlane, 1);
  EXPECT_TRUE(engine->planes[1].annotations.isEmpty());
  EXPECT_EQ(current().annotations.size(), 1);
}

TEST_F(PickingTest, KeysAlignThePlaneAndRollTheCamera) {
  addCurrent(makePlane(Vec3(0.9f, 0.2f, 0.3f), Vec3(0, 0.6f, 0.8f), Vec3(1, 0, 0), Vec3(0, 0.8f, -0.6f)));
  // Up perpendicular to the line of sight, as every orbit leaves it.
  const Vec3 eye(2.5f, 2.0f, 3.0f), target(0.5f, 0.5f, 0.5f);
  const Vec3 sight = (target - eye).normalized();
  look(eye, target, (Vec3(0, 1, 0) - sight * sight.y).normalized());
  const Vec3 centre(0.5f, 0.5f, 0.5f);
  const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const Qt::Key keys[3] = {Qt::Key_X, Qt::Key_Y, Qt::Key_Z};
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(view.get(), keys[i]);
    expectNear(current().normal, axes[i], 0.0f);
    expectNear(current().point, centre, 1e-6f);
    EXPECT_NEAR(current().d, 0.5f, 1e-6f);
    expectNear(current().handles[0], centre, 1e-6f);
    expectNear(current().handles[1], centre + current().r1 * (0.5f * R), 1e-5f);
    // The cut through the centre follows at once: a full square.
    EXPECT_NEAR(current().area, 1.0f, 1e-3f);
  }

  // A rolls the up vector by 0.05 rad about the line of sight; S rolls back.
  const Vec3 up = view->camera().up.normalized();
  QTest::keyClick(view.get(), Qt::Key_A);
  const float turned = std::acos(std::min(1.0f, view->camera().up.normalized().dot(up)));
  EXPECT_NEAR(turned, 0.05f, 2e-3f);
  QTest::keyClick(view.get(), Qt::Key_S);
  expectNear(view->camera().up.normalized(), up, 1e-5f);
  // Shift does not matter.
  QTest::keyClick(view.get(), Qt::Key_A, Qt::ShiftModifier);
  EXPECT_NEAR(std::acos(std::min(1.0f, view->camera().up.normalized().dot(up))), 0.05f, 2e-3f);
}

TEST_F(PickingTest, ActionsOnAMissingPlaneDoNothing) {
  facingPlane();
  const SectionPlane before = current();
  const QPoint onEdge = pixelOf(at(glyphPoint(0.4f, 1.0f)));
  for (int missing : {Sorvex::kNoPlane, 1, 7, -3}) {
    engine->currentPlane = missing;
    engine->pickState[0] = 0;
    press(onEdge);
    EXPECT_EQ(engine->pickState[0], 0) << missing;
    moveAlong(window(), onEdge, onEdge + QPoint(0, 20), 1);
    release(onEdge + QPoint(0, 20));
    // Even a manipulation left over from before finds no plane to move.
    engine->pickState[0] = 1;
    press(onEdge);
    moveAlong(window(), onEdge, onEdge + QPoint(10, 10), 1);
    release(onEdge + QPoint(10, 10));
    QTest::keyClick(view.get(), Qt::Key_X);
    EXPECT_TRUE(sameHead(engine->planes[0], before)) << missing;
  }
}

TEST_F(PickingTest, PlaneEditsAreRefusedDuringASelectionRun) {
  facingPlane();
  manipulated->simulatedRun = true;
  const SectionPlane before = current();
  const QPoint onEdge = pixelOf(at(glyphPoint(0.4f, 1.0f)));

  // A press on the glyph starts nothing; the drag moves the camera.
  const Vec3 eyeBefore = view->camera().eye;
  press(onEdge);
  EXPECT_EQ(engine->pickState[0], 0);
  moveAlong(window(), onEdge, onEdge + QPoint(0, 30), 2);
  release(onEdge + QPoint(0, 30));
  EXPECT_TRUE(sameHead(current(), before));
  EXPECT_GT((view->camera().eye - eyeBefore).length(), 0.1f);

  // No alignment, and no strokes or automatic choice in "Annotate Mode".
  QTest::keyClick(view.get(), Qt::Key_X);
  EXPECT_TRUE(sameHead(current(), before));
  view->drawOptions.annotateMode = true;
  engine->currentPlane = 0;
  look(Vec3(0.5f, 0.5f, 3.5f), Vec3(0.5f, 0.5f, 0.5f));
  drag(pixelOf(at(Vec3(0.8f, 0.7f, 0.5f))), pixelOf(at(Vec3(0.6f, 0.3f, 0.5f))), 2, Qt::RightButton);
  EXPECT_TRUE(current().annotations.isEmpty());

  // The camera keys still work.
  const Vec3 up = view->camera().up;
  QTest::keyClick(view.get(), Qt::Key_A);
  EXPECT_NE(view->camera().up, up);

  // Once the run is over the same press turns the plane.
  manipulated->simulatedRun = false;
  view->drawOptions.annotateMode = false;
  look(Vec3(0.5f, 0.5f, 3.5f), Vec3(0.5f, 0.5f, 0.5f));
  view->camera().up = Vec3(0, 1, 0);
  press(pixelOf(at(glyphPoint(0.4f, 1.0f))));
  EXPECT_EQ(engine->pickState[0], 1);
  release(pixelOf(at(glyphPoint(0.4f, 1.0f))));
}

// The same, in the whole window: the plane list follows a key alignment.
class PickingWindowTest : public paneltest::WindowFixture {};

TEST_F(PickingWindowTest, PlaneListShowsTheAreaAfterAnAlignment) {
  const QVector<Vec3> v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const RenderFaces f = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                   {3, 7, 6}, {3, 6, 2}, {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}};
  view->engine()->renderMesh->setGeometry(v, f);
  view->engine()->renderMesh->flipFaceNormals();  // outward, as the view's fixture has them
  paneltest::press(view->addNewButton);
  ASSERT_EQ(view->planeList->count(), 1);
  // "Add New" puts the plane one radius beside the centre: outside the cube.
  EXPECT_EQ(view->planeList->item(0)->text(), QStringLiteral("Plane0 (Area: 0)"));
  QTest::keyClick(view, Qt::Key_X);
  EXPECT_EQ(view->planeList->item(0)->text(), QStringLiteral("Plane0 (Area: 1)"));
}
