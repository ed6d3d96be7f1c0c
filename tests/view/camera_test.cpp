// Camera arithmetic (no GL needed) and the camera as the views use it.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QTest>
#include <cmath>

#include "app/glwidget.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "view/camera.h"
#include "view/side_glwidget.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void expectVec(const Vec3& v, double x, double y, double z, double tol = 1e-5) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

// Rotation about world Y by angle a (right-hand rule).
Vec3 turnY(const Vec3& v, double a) {
  return Vec3(float(v.x * std::cos(a) + v.z * std::sin(a)), v.y, float(-v.x * std::sin(a) + v.z * std::cos(a)));
}

}  // namespace

TEST(Camera, StartsWithTheDocumentedFrameAndLens) {
  Camera c;
  expectVec(c.eye, 100, 100, 100);
  expectVec(c.centre, 0, 0, 0);
  // (-1, 2, -1) / sqrt(6)
  expectVec(c.up, -1.0 / std::sqrt(6.0), 2.0 / std::sqrt(6.0), -1.0 / std::sqrt(6.0), 1e-6);
  EXPECT_EQ(c.halfFovX, 35.0);
  EXPECT_EQ(c.halfFovY, 35.0);
  EXPECT_EQ(c.aspect, 1.0);
  EXPECT_EQ(c.zNear, 0.01);
  EXPECT_EQ(c.zFar, 100.0);
}

TEST(Camera, AspectKeepsTheHorizontalOpening) {
  Camera c;
  c.setAspect(2.0);
  // tan 35 deg = 0.7002075; atan(0.3501038) = 19.2948 deg.
  EXPECT_NEAR(c.halfFovY, 19.29, 0.01);
  EXPECT_NEAR(std::tan(c.halfFovY * kPi / 180.0) * c.aspect, std::tan(35.0 * kPi / 180.0), 1e-12);
  EXPECT_EQ(c.halfFovX, 35.0);

  // A zero-height viewport must not poison the lens with inf or NaN.
  c.setAspect(1.0 / 0.0);
  c.setAspect(0.0);
  c.setAspect(std::nan(""));
  EXPECT_EQ(c.aspect, 2.0);
  EXPECT_TRUE(std::isfinite(c.halfFovY));
}

TEST(Camera, OrbitWithoutTravelOnlyStraightensUp) {
  Camera c;
  c.setFrame(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 2, 1));  // up leans towards the eye
  c.orbit(0.0, 0.0);
  expectVec(c.eye, 0, 0, 5);
  expectVec(c.centre, 0, 0, 0);
  expectVec(c.up, 0, 1, 0);
}

TEST(Camera, OrbitOverTheFullHeightLooksFromTheOtherSide) {
  Camera c;
  c.setFrame(Vec3(1, 2, 6), Vec3(1, 2, 1), Vec3(0, 1, 0));
  c.orbit(0.0, 1.0);
  expectVec(c.eye, 1, 2, -4);  // offset (0, 0, 5) turned by 180 degrees
  expectVec(c.centre, 1, 2, 1);
  expectVec(c.up, 0, -1, 0);  // upside down
}

TEST(Camera, OrbitTiltsAboutTheRightHandAxisWhateverTheHeading) {
  // Right-hand axis exactly world X: eye (0, 0, 5) looking at the origin.
  Camera x;
  x.setFrame(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 1, 0));
  x.orbit(0.0, 0.5);  // a drag down half the view raises the eye over the model
  expectVec(x.eye, 0, 5, 0);
  expectVec(x.up, 0, 0, -1);

  // The same frame turned about Y must give the same move, turned alike.
  for (double heading : {0.3, 1.2, 2.5, -2.0}) {
    Camera t;
    t.setFrame(turnY(Vec3(0, 0, 5), heading), Vec3(0, 0, 0), Vec3(0, 1, 0));
    t.orbit(0.0, 0.5);
    const Vec3 eye = turnY(x.eye, heading), up = turnY(x.up, heading);
    expectVec(t.eye, eye.x, eye.y, eye.z);
    expectVec(t.up, up.x, up.y, up.z);
  }

  // A smaller tilt combined with a turntable step.
  Camera a, b;
  a.setFrame(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 1, 0));
  b.setFrame(turnY(Vec3(0, 0, 5), 0.7), Vec3(0, 0, 0), Vec3(0, 1, 0));
  a.orbit(0.1, 0.2);
  b.orbit(0.1, 0.2);
  const Vec3 eye = turnY(a.eye, 0.7), up = turnY(a.up, 0.7);
  expectVec(b.eye, eye.x, eye.y, eye.z);
  expectVec(b.up, up.x, up.y, up.z);
  EXPECT_NEAR((a.eye - a.centre).length(), 5.0, 1e-5);
  EXPECT_NEAR(a.up.length(), 1.0, 1e-6);
  EXPECT_NEAR(a.up.dot(a.eye - a.centre), 0.0, 1e-5);
}

TEST(Camera, OrbitTurntableTurnsAboutWorldY) {
  Camera c;
  c.setFrame(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 1, 0));
  c.orbit(0.5, 0.0);  // theta = -pi/2: x' = z sin(theta) = -5
  expectVec(c.eye, -5, 0, 0);
  expectVec(c.up, 0, 1, 0);
}

TEST(Camera, OrbitAndRollKeepAUsableUpWhenTheFrameIsDegenerate) {
  Camera c;
  c.setFrame(Vec3(0, 5, 0), Vec3(0, 0, 0), Vec3(0, 1, 0));  // up along the line of sight
  c.orbit(0.0, 0.3);
  c.roll(0.2);
  EXPECT_TRUE(c.up.isFinite());
  EXPECT_NEAR(c.up.length(), 1.0, 1e-6);

  Camera d;
  d.setFrame(Vec3(1, 1, 1), Vec3(1, 1, 1), Vec3(0, 1, 0));  // eye on the centre
  d.orbit(0.2, 0.2);
  d.dolly(1.0);
  EXPECT_TRUE(d.eye.isFinite());
  EXPECT_TRUE(d.up.isFinite());
  EXPECT_NEAR(d.up.length(), 1.0, 1e-6);
}

TEST(Camera, DollyMovesAlongTheLineOfSightAndPastTheCentre) {
  Camera c;
  c.setFrame(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 1, 0));
  c.dolly(2.0);
  expectVec(c.eye, 0, 0, 3);
  c.dolly(-1.0);
  expectVec(c.eye, 0, 0, 4);
  c.dolly(7.0);  // farther than the centre: the eye ends beyond it
  expectVec(c.eye, 0, 0, -3);
  expectVec(c.centre, 0, 0, 0);
}

TEST(Camera, RollTurnsUpAboutTheLineOfSightAndBack) {
  Camera c;
  c.setFrame(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 1, 0));
  c.roll(0.05);  // key A; right-hand axis is +x, so up leans towards -x
  expectVec(c.up, -std::sin(0.05), std::cos(0.05), 0, 1e-6);
  c.roll(-0.05);  // key S
  expectVec(c.up, 0, 1, 0, 1e-6);

  // After an orbit up is perpendicular to the line of sight; A then S
  // restores it for any heading.
  Camera o;
  o.setFrame(Vec3(1.1547f, 2.1547f, 1.1547f), Vec3(0, 1, 0), Vec3(0, 1, 0));
  o.orbit(0.13, -0.07);
  const Vec3 before = o.up;
  o.roll(0.05);
  EXPECT_GT((o.up - before).length(), 0.04f);
  o.roll(-0.05);
  expectVec(o.up, before.x, before.y, before.z, 1e-6);
}

// ---- the camera inside the views ----

TEST(ViewCamera, MainViewFramesTheDefaultBoundsThenTheModel) {
  GLWidget view;
  // No model yet: radius 1 around (0, 1, 0), eye 2 away on the diagonal.
  expectVec(view.camera().eye, 1.1547, 2.1547, 1.1547, 1e-4);
  expectVec(view.camera().centre, 0, 1, 0);
  expectVec(view.camera().up, 0, 1, 0);
  EXPECT_EQ(view.engine()->camera, &view.camera());

  // Unit cube: centre (0.5, 0.5, 0.5), radius sqrt(3)/2, so the eye sits at
  // centre + (1, 1, 1).
  QVector<Vec3> v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  view.engine()->renderMesh->setGeometry(v, {{0, 2, 1}, {4, 5, 6}});
  view.initView();
  expectVec(view.camera().eye, 1.5, 1.5, 1.5, 1e-5);
  expectVec(view.camera().centre, 0.5, 0.5, 0.5);
}

TEST(ViewCamera, SideViewLooksAtTheOriginFromOutsideTheBox) {
  GLWidget main;
  SideGLWidget side(main.engine());
  // Outside the index box (+-2.5, +-1.25, +-0.69), in front of its theta-phi
  // face and above it.
  expectVec(side.camera().eye, 3.4, 2.4, 4.6);
  expectVec(side.camera().centre, 0, 0, 0);
  expectVec(side.camera().up, 0, 1, 0);
}

TEST(ViewCamera, ResizeSetsViewportAndAspect) {
  GLWidget view;
  view.resize(800, 400);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.updateGL();
  EXPECT_EQ(view.viewportWidth(), view.width());
  EXPECT_EQ(view.viewportHeight(), view.height());
  EXPECT_NEAR(view.camera().aspect, double(view.width()) / view.height(), 1e-12);

  SideGLWidget side(view.engine());
  side.resize(600, 300);
  side.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&side));
  side.updateGL();
  EXPECT_NEAR(side.camera().aspect, double(side.width()) / side.height(), 1e-12);
}

TEST(ViewCamera, ApplyViewLoadsPerspectiveHeadLightAndLookAt) {
  GLWidget view;
  view.resize(400, 300);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.makeCurrent();

  Camera c;
  c.setFrame(Vec3(3, 4, 5), Vec3(1, 1, 1), Vec3(0, 1, 0));
  c.setAspect(2.0);
  c.applyView();

  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);

  double projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  // gluPerspective(38.59, 2, ...): f = 1 / tan(19.295 deg).
  const double f = 1.0 / std::tan(std::atan(std::tan(35.0 * kPi / 180.0) / 2.0));
  EXPECT_NEAR(projection[5], f, 1e-4);
  EXPECT_NEAR(projection[0], f / 2.0, 1e-4);
  EXPECT_NEAR(projection[10], -(100.0 + 0.01) / (100.0 - 0.01), 1e-6);

  // The look-at takes the eye to the origin and the centre onto -z.
  double mv[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  auto apply = [&](double x, double y, double z, double out[3]) {
    for (int r = 0; r < 3; ++r) out[r] = mv[r] * x + mv[4 + r] * y + mv[8 + r] * z + mv[12 + r];
  };
  double e[3], ctr[3];
  apply(3, 4, 5, e);
  apply(1, 1, 1, ctr);
  EXPECT_NEAR(e[0], 0, 1e-5);
  EXPECT_NEAR(e[1], 0, 1e-5);
  EXPECT_NEAR(e[2], 0, 1e-5);
  EXPECT_NEAR(ctr[0], 0, 1e-5);
  EXPECT_NEAR(ctr[1], 0, 1e-5);
  EXPECT_NEAR(ctr[2], -std::sqrt(4.0 + 9.0 + 16.0), 1e-5);

  // Light 0 was placed with an identity model-view: it sits at the eye.
  float position[4], diffuse[4];
  glGetLightfv(GL_LIGHT0, GL_POSITION, position);
  glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  EXPECT_EQ(position[0], 0.0f);
  EXPECT_EQ(position[1], 0.0f);
  EXPECT_EQ(position[2], 0.0f);
  EXPECT_EQ(position[3], 1.0f);
  EXPECT_NEAR(diffuse[0], 0.9f, 1e-6);
  EXPECT_NEAR(diffuse[3], 0.8f, 1e-6);
}
