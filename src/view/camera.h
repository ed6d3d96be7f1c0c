#pragma once

#include "engine/vec3.h"

// Look-at camera with a head light, one per view. Angles: halfFovX/Y in
// degrees; orbit takes mouse travel as fractions of the viewport; roll takes
// radians. The arithmetic needs no GL context; only applyView does.
class Camera {
 public:
  Vec3 eye{100.0f, 100.0f, 100.0f};
  Vec3 centre{0.0f, 0.0f, 0.0f};
  Vec3 up{-0.4082483f, 0.8164966f, -0.4082483f};
  double halfFovX = 35.0;
  double halfFovY = 35.0;
  double aspect = 1.0;
  double zNear = 0.01;
  double zFar = 100.0;
  float lightDiffuse[4] = {0.9f, 0.9f, 0.9f, 0.8f};
  float lightSpecular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  float lightPosition[4] = {0.0f, 0.0f, 0.0f, 1.0f};

  void setFrame(const Vec3& eye, const Vec3& centre, const Vec3& up);
  // halfFovY = atan(tan(halfFovX) / aspect). A non-finite or non-positive
  // aspect (zero-sized viewport) is ignored.
  void setAspect(double aspect);
  // Loads projection, head light and look-at; leaves GL_MODELVIEW current.
  void applyView();
  // Moves the eye towards the centre by `distance` (no clamp).
  void dolly(double distance);
  // Tilt about the right-hand axis by -pi*ay, then turntable about world Y
  // by -pi*ax. Without a right-hand axis (eye on the centre, or up along the
  // line of sight) the tilt is skipped rather than producing a zero up.
  void orbit(double ax, double ay);
  // Turns the up vector about the line of sight; does nothing where there
  // is no right-hand axis.
  void roll(double radians);

  // ---- navigation beyond the three moves above ----
  // Distance from the eye to the centre, world units.
  double distance() const;
  // Scales the eye's distance from the centre by `factor` (< 1 comes
  // closer), keeping the line of sight. A non-finite or non-positive factor,
  // or a distance that would leave (minDistance, maxDistance), is clamped or
  // ignored; the centre never moves.
  void zoom(double factor);
  // Moves eye and centre together across the screen so that a point at the
  // centre's depth follows a drag of (fx, fy) viewport fractions (x to the
  // right, y downwards). Nothing moves without a right-hand axis.
  void pan(double fx, double fy);
  // Frames a sphere (centre c, radius r): the centre moves to c and the eye
  // backs off along the current line of sight until the sphere fits the
  // narrower opening. Up and the direction stay. r <= 0 or non-finite
  // input: nothing changes.
  void fit(const Vec3& c, float r);
  // Looks at the sphere (c, r) from `direction` (from the centre towards the
  // eye) with the given up, at the distance fit() uses.
  void lookFrom(const Vec3& direction, const Vec3& up, const Vec3& c, float r);
  // The distance at which a sphere of radius r fills the narrower opening.
  double fitDistance(float r) const;

  static constexpr double kMinDistance = 1e-4;
};
