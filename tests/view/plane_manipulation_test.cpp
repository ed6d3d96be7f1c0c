// The geometry behind hand manipulation of planes, without a window.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/sorvex.h"
#include "sections/section_plane.h"
#include "view/camera.h"
#include "view/plane_manipulation.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

void expectNear(const Vec3& a, const Vec3& b, float tol = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

bool sameHead(const CutPlane& a, const CutPlane& b) {
  return a.normal == b.normal && a.r1 == b.r1 && a.r2 == b.r2 && a.point == b.point && a.d == b.d &&
         a.handles[0] == b.handles[0] && a.handles[1] == b.handles[1] && a.handles[2] == b.handles[2];
}

CutPlane frame(const Vec3& point, const Vec3& normal, const Vec3& r1, const Vec3& r2) {
  CutPlane p;
  p.point = point;
  p.normal = normal;
  p.r1 = r1;
  p.r2 = r2;
  p.d = normal.dot(point);
  return p;
}

}  // namespace

TEST(PlaneGeometry, RotationFollowsTheRightHandRule) {
  const float halfPi = 1.57079633f;
  expectNear(rotateAboutAxis(Vec3(1, 0, 0), halfPi, Vec3(0, 0, 1)), Vec3(0, 1, 0));
  expectNear(rotateAboutAxis(Vec3(0, 1, 0), halfPi, Vec3(1, 0, 0)), Vec3(0, 0, 1));
  // A vector along the axis stays; a quarter turn the other way undoes one.
  expectNear(rotateAboutAxis(Vec3(0, 0, 2), 0.7f, Vec3(0, 0, 1)), Vec3(0, 0, 2));
  const Vec3 v(0.3f, -0.4f, 0.8f);
  expectNear(rotateAboutAxis(rotateAboutAxis(v, 0.9f, Vec3(0.6f, 0.8f, 0)), -0.9f, Vec3(0.6f, 0.8f, 0)), v);
  // An angle of exactly zero hands the vector back bit for bit, even one
  // that no rotation formula would keep intact.
  const Vec3 odd(1e30f, -3.0f, kNaN);
  const Vec3 same = rotateAboutAxis(odd, 0.0f, Vec3(0, 1, 0));
  EXPECT_EQ(same.x, odd.x);
  EXPECT_EQ(same.y, odd.y);
  EXPECT_TRUE(std::isnan(same.z));
}

TEST(PlaneGeometry, DragAngleCountsFractionsOfTheViewInBothDirections) {
  // A quarter of the width or a quarter of the height both turn by 1 rad;
  // together by 2 rad; right and down turn negatively.
  EXPECT_FLOAT_EQ(dragTurnAngle(100, 0, 400, 300), -1.0f);
  EXPECT_FLOAT_EQ(dragTurnAngle(0, 75, 400, 300), -1.0f);
  EXPECT_FLOAT_EQ(dragTurnAngle(100, 75, 400, 300), -2.0f);
  EXPECT_FLOAT_EQ(dragTurnAngle(-100, 0, 400, 300), 1.0f);
  // A view without area turns nothing instead of dividing by zero.
  EXPECT_EQ(dragTurnAngle(10, 10, 0, 300), 0.0f);
  EXPECT_EQ(dragTurnAngle(10, 10, 400, 0), 0.0f);
}

TEST(PlaneGeometry, TurnKeepsTheFrameOrthonormalAndRefreshesTheOffset) {
  CutPlane plane = frame(Vec3(0.2f, 0.5f, 0.7f), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0));
  ASSERT_TRUE(turnPlane(plane, 1, 0.5f));
  // About r1 = x: the normal z turns towards -y (right-hand rule).
  expectNear(plane.normal, Vec3(0, -std::sin(0.5f), std::cos(0.5f)));
  expectNear(plane.r1, Vec3(1, 0, 0));
  expectNear(plane.r2, Vec3(0, std::cos(0.5f), std::sin(0.5f)));
  expectNear(plane.point, Vec3(0.2f, 0.5f, 0.7f));
  EXPECT_NEAR(plane.d, plane.normal.dot(plane.point), 1e-6f);
  EXPECT_NEAR(plane.d, -0.5f * std::sin(0.5f) + 0.7f * std::cos(0.5f), 1e-5f);

  // About r2: r2 stays, the others stay perpendicular to it and each other.
  ASSERT_TRUE(turnPlane(plane, 2, -1.1f));
  EXPECT_NEAR(plane.normal.dot(plane.r1), 0.0f, 1e-5f);
  EXPECT_NEAR(plane.normal.dot(plane.r2), 0.0f, 1e-5f);
  EXPECT_NEAR(plane.r1.dot(plane.r2), 0.0f, 1e-5f);
  EXPECT_NEAR(plane.normal.length(), 1.0f, 1e-5f);
  EXPECT_NEAR(plane.d, plane.normal.dot(plane.point), 1e-6f);

  // No turn, a NaN angle or a bad axis leave the plane as it was.
  const CutPlane before = plane;
  EXPECT_FALSE(turnPlane(plane, 1, 0.0f));
  EXPECT_FALSE(turnPlane(plane, 1, kNaN));
  EXPECT_FALSE(turnPlane(plane, 3, 0.5f));
  EXPECT_TRUE(sameHead(plane, before));
}

TEST(PlaneGeometry, SlideFollowsTheScreenAndNeedsAViewHeight) {
  Camera camera;
  camera.setFrame(Vec3(3, 0, 3), Vec3(0, 0, 0), Vec3(0, 1, 0));
  // Screen-left from this eye is (-1, 0, 1)/sqrt 2.
  CutPlane plane = frame(Vec3(0.5f, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1));
  ASSERT_TRUE(slidePlane(plane, camera, 2.0f, 30, 0, 300));
  // A drag to the right moves the plane by R * (2 * 30 / 300) / sqrt 2 towards +x.
  expectNear(plane.point, Vec3(0.5f + 2.0f * 0.2f / std::sqrt(2.0f), 0, 0));
  EXPECT_NEAR(plane.d, plane.point.x, 1e-6f);

  // The normal is level: a vertical drag does not move it.
  EXPECT_FALSE(slidePlane(plane, camera, 2.0f, 0, 50, 300));

  // A plane facing up follows vertical drags: down moves it down.
  CutPlane floor = frame(Vec3(0, 1, 0), Vec3(0, 1, 0), Vec3(0, 0, -1), Vec3(-1, 0, 0));
  ASSERT_TRUE(slidePlane(floor, camera, 1.0f, 0, 15, 300));
  EXPECT_NEAR(floor.point.y, 1.0f - 0.1f, 1e-6f);
  EXPECT_NEAR(floor.d, 0.9f, 1e-6f);

  // Zero height, no motion, or a camera whose up runs along the line of
  // sight (no left axis): nothing divides by zero and nothing turns NaN.
  const CutPlane before = plane;
  EXPECT_FALSE(slidePlane(plane, camera, 2.0f, 30, 30, 0));
  EXPECT_FALSE(slidePlane(plane, camera, 2.0f, 0, 0, 300));
  Camera degenerate;
  degenerate.setFrame(Vec3(0, 5, 0), Vec3(0, 0, 0), Vec3(0, 1, 0));
  EXPECT_FALSE(slidePlane(plane, degenerate, 2.0f, 30, 0, 300));
  Camera collapsed;
  collapsed.setFrame(Vec3(1, 1, 1), Vec3(1, 1, 1), Vec3(0, 0, 0));
  EXPECT_FALSE(slidePlane(plane, collapsed, 2.0f, 30, 30, 300));
  EXPECT_TRUE(sameHead(plane, before));
}

TEST(PlaneGeometry, HandlesRebuildThePlaneUnlessTheyCoincide) {
  CutPlane plane = frame(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0));
  plane.handles[0] = Vec3(1, 1, 1);
  plane.handles[1] = Vec3(1, 3, 1);  // r1 along +y
  plane.handles[2] = Vec3(2, 5, 1);  // r2 along +x after removing the r1 part
  ASSERT_TRUE(planeThroughHandles(plane, 1.0f));
  expectNear(plane.point, Vec3(1, 1, 1));
  expectNear(plane.r1, Vec3(0, 1, 0));
  expectNear(plane.r2, Vec3(1, 0, 0));
  expectNear(plane.normal, Vec3(0, 0, -1));  // y x x = -z
  EXPECT_NEAR(plane.d, -1.0f, 1e-6f);
  for (const Vec3& h : plane.handles) EXPECT_NEAR(plane.normal.dot(h), plane.d, 1e-5f);

  const CutPlane before = plane;
  // Handle 2 on handle 1: no r1.
  plane.handles[1] = plane.handles[0];
  EXPECT_FALSE(planeThroughHandles(plane, 1.0f));
  // Handle 3 on the line through the other two: no r2.
  plane.handles[1] = Vec3(1, 3, 1);
  plane.handles[2] = Vec3(1, 7, 1);
  EXPECT_FALSE(planeThroughHandles(plane, 1.0f));
  // Not finite.
  plane.handles[2] = Vec3(kNaN, 0, 0);
  EXPECT_FALSE(planeThroughHandles(plane, 1.0f));
  plane.handles[2] = before.handles[2];
  EXPECT_TRUE(sameHead(plane, before));
  EXPECT_TRUE(isUsablePlane(plane));
}

TEST(PlaneGeometry, StrokePointsAreInPlaneCoordinatesOrMissed) {
  const CutPlane plane = frame(Vec3(1, 2, 0.5f), Vec3(0, 0, 1), Vec3(0, 1, 0), Vec3(-1, 0, 0));
  Vec3 uv(9, 9, 9);
  // From above, straight down onto (1.5, 2.25, 0.5).
  ASSERT_TRUE(strokePointOnPlane(plane, Vec3(1.5f, 2.25f, 4), Vec3(0, 0, -1), uv));
  expectNear(uv, Vec3(0.25f, -0.5f, 0));
  EXPECT_EQ(uv.z, 0.0f);
  // Parallel, away from the plane, or NaN: nothing, and uv untouched.
  uv = Vec3(9, 9, 9);
  EXPECT_FALSE(strokePointOnPlane(plane, Vec3(0, 0, 4), Vec3(1, 0, 0), uv));
  EXPECT_FALSE(strokePointOnPlane(plane, Vec3(0, 0, 4), Vec3(0, 0, 1), uv));
  EXPECT_FALSE(strokePointOnPlane(plane, Vec3(0, 0, 4), Vec3(kNaN, 0, -1), uv));
  expectNear(uv, Vec3(9, 9, 9));
}

TEST(PlaneGeometry, PlanesSwingAboutTheSymmetryAxisWithTheView) {
  const Vec3 axis(0, 2, 0);  // not unit: only its direction counts
  const Vec3 eye(0, 0, 5);   // k = y x z = +x

  // A plane containing the axis turns to face the eye, still containing it.
  CutPlane containing = frame(Vec3(0.3f, 0, 0), Vec3(1, 0, 0), Vec3(0, 0, -1), Vec3(0, 1, 0));
  containing.handles[0] = containing.point;
  containing.handles[1] = containing.point + Vec3(0, 0, -0.2f);
  containing.handles[2] = containing.point + Vec3(0, 0.3f, 0);
  ASSERT_TRUE(swingAboutSymmetryAxis(containing, axis, eye));
  expectNear(containing.normal, Vec3(0, 0, 1));
  EXPECT_NEAR(containing.d, 0.3f, 1e-6f);  // the offset is kept
  expectNear(containing.point, Vec3(0, 0, 0.3f));
  // The 3-Ball handles swing with it: in the new plane, as far apart as before.
  for (const Vec3& h : containing.handles) EXPECT_NEAR(containing.normal.dot(h), containing.d, 1e-5f);
  expectNear(containing.handles[0], containing.point);
  EXPECT_NEAR((containing.handles[2] - containing.handles[1]).length(), std::sqrt(0.13f), 1e-5f);

  // A plane at 45 degrees to the axis keeps that angle and comes to contain
  // the direction perpendicular to axis and view.
  const float s = std::sqrt(0.5f);
  CutPlane oblique = frame(Vec3(0, 0, 0), Vec3(s, s, 0), Vec3(0, 0, 1), Vec3(-s, s, 0));
  ASSERT_TRUE(swingAboutSymmetryAxis(oblique, axis, eye));
  EXPECT_NEAR(oblique.normal.dot(Vec3(0, 1, 0)), s, 1e-5f);
  EXPECT_NEAR(oblique.normal.dot(Vec3(1, 0, 0)), 0.0f, 1e-5f);
  // Swinging again from the same view changes nothing.
  EXPECT_FALSE(swingAboutSymmetryAxis(oblique, axis, eye));

  // A plane perpendicular to the axis keeps its normal and offset; its
  // in-plane axes turn, staying an orthonormal frame.
  CutPlane across = frame(Vec3(0, 0.4f, 0), Vec3(0, 1, 0), Vec3(1, 0, 0), Vec3(0, 0, -1));
  EXPECT_FALSE(swingAboutSymmetryAxis(across, axis, eye));
  expectNear(across.normal, Vec3(0, 1, 0));
  EXPECT_NEAR(across.d, 0.4f, 1e-6f);
  EXPECT_NEAR(std::fabs(across.r1.dot(Vec3(0, 0, 1))), 1.0f, 1e-5f);  // r1 points towards the viewer's side
  EXPECT_NEAR(across.r1.dot(across.r2), 0.0f, 1e-5f);
  EXPECT_NEAR(across.r2.dot(across.normal), 0.0f, 1e-5f);

  // Looking along the axis there is no swing direction: nothing changes.
  CutPlane still = frame(Vec3(0.3f, 0, 0), Vec3(1, 0, 0), Vec3(0, 0, -1), Vec3(0, 1, 0));
  EXPECT_FALSE(swingAboutSymmetryAxis(still, axis, Vec3(0, 7, 0)));
  expectNear(still.normal, Vec3(1, 0, 0));
  // Nor with a degenerate axis or an eye at the origin.
  EXPECT_FALSE(swingAboutSymmetryAxis(still, Vec3(), eye));
  EXPECT_FALSE(swingAboutSymmetryAxis(still, axis, Vec3()));
  expectNear(still.normal, Vec3(1, 0, 0));
}

TEST(PlaneGeometry, AutomaticChoicePrefersPlanesFacingAndNearTheEye) {
  Camera camera;
  camera.setFrame(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 1, 0));
  Sorvex engine(&camera);
  // 0: seen edge-on (score 0); 1: facing, 4.5 from the eye; 2: facing, 1 away.
  engine.planes.append(SectionPlane(frame(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1))));
  engine.planes.append(SectionPlane(frame(Vec3(0, 0, 0.5f), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0))));
  engine.planes.append(SectionPlane(frame(Vec3(0, 0, 4), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0))));
  float score = 0.0f;
  ASSERT_TRUE(annotationScore(engine.planes[1], camera.eye, camera.centre, score));
  EXPECT_NEAR(score, 100.0f - 4.5f, 1e-4f);
  EXPECT_EQ(autoSelectPlane(engine, camera), 2);
  EXPECT_EQ(engine.currentPlane, 2);

  // Looking away from the planes' side, none of the facing planes
  // qualifies (the edge-on one, with its score of 0, would): no current plane.
  engine.planes.removeFirst();
  camera.setFrame(Vec3(0, 0, 5), Vec3(0, 0, 10), Vec3(0, 1, 0));
  EXPECT_EQ(autoSelectPlane(engine, camera), Sorvex::kNoPlane);
  EXPECT_EQ(engine.currentPlane, Sorvex::kNoPlane);

  // No planes at all: none.
  engine.planes.clear();
  engine.currentPlane = 0;
  EXPECT_EQ(autoSelectPlane(engine, camera), Sorvex::kNoPlane);
}

TEST(PlaneGeometry, AutomaticChoiceSwingsPlanesOnlyWithASymmetryAxis) {
  Camera camera;
  camera.setFrame(Vec3(0, 0, 5), Vec3(0, 0, 0), Vec3(0, 1, 0));
  Sorvex engine(&camera);
  const SectionPlane side(frame(Vec3(0.3f, 0, 0), Vec3(1, 0, 0), Vec3(0, 0, -1), Vec3(0, 1, 0)));
  engine.planes.append(side);
  autoSelectPlane(engine, camera);
  expectNear(engine.planes[0].normal, Vec3(1, 0, 0));  // scored only

  Axis axis;
  axis.direction = Vec3(0, 1, 0);
  engine.symmetryAxes.append(axis);
  EXPECT_EQ(autoSelectPlane(engine, camera), 0);
  expectNear(engine.planes[0].normal, Vec3(0, 0, 1));  // swung to face the eye
}
