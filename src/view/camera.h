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
};
