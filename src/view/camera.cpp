#include "view/camera.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

namespace {

struct D3 {
  double x, y, z;
  D3 operator+(const D3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  D3 operator-(const D3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  D3 operator*(double s) const { return {x * s, y * s, z * s}; }
  double dot(const D3& o) const { return x * o.x + y * o.y + z * o.z; }
  D3 cross(const D3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
  D3 normalized() const {
    const double l = std::sqrt(dot(*this));
    return l > 0.0 ? D3{x / l, y / l, z / l} : D3{0, 0, 0};
  }
};

D3 toD(const Vec3& v) { return {v.x, v.y, v.z}; }
Vec3 toF(const D3& v) { return Vec3(float(v.x), float(v.y), float(v.z)); }

}  // namespace

void Camera::setFrame(const Vec3& e, const Vec3& c, const Vec3& u) {
  eye = e;
  centre = c;
  up = u;
}

void Camera::setAspect(double a) {
  if (!(a > 0.0) || !std::isfinite(a)) return;
  aspect = a;
  halfFovY = std::atan(std::tan(halfFovX * M_PI / 180.0) / aspect) * 180.0 / M_PI;
}

void Camera::applyView() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(2.0 * halfFovY, aspect, zNear, zFar);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const float diffuse[4] = {0.9f, 0.9f, 0.9f, 0.8f};
  const float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  const float position[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  for (int i = 0; i < 4; ++i) {
    lightDiffuse[i] = diffuse[i];
    lightSpecular[i] = specular[i];
    lightPosition[i] = position[i];
  }
  glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, lightSpecular);
  glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
  gluLookAt(eye.x, eye.y, eye.z, centre.x, centre.y, centre.z, up.x, up.y, up.z);
}

void Camera::dolly(double distance) {
  const D3 w = toD(centre) - toD(eye);
  const double l = std::sqrt(w.dot(w));
  if (!(l > 0.0)) return;  // eye on the centre: no line of sight to move along
  eye = toF(toD(eye) + w * (distance / l));
}

void Camera::orbit(double ax, double ay) {
  const D3 c = toD(centre);
  D3 r = toD(eye) - c;
  D3 u = toD(up);
  const D3 s = (c - toD(eye)).cross(u).normalized();
  if (s.dot(s) > 0.0) {
    // Tilt about the right-hand axis, then rebuild up perpendicular to the
    // new line of sight. Without a right-hand axis (eye on the centre, or up
    // along the line of sight) there is nothing to tilt about and up stays.
    const double phi = -M_PI * ay;
    const double cp = std::cos(phi), sp = std::sin(phi);
    r = r * cp + s.cross(r) * sp + s * (s.dot(r) * (1.0 - cp));
    const D3 rebuilt = r.cross(s).normalized();
    if (rebuilt.dot(rebuilt) > 0.0) u = rebuilt;
  }
  // Turntable about world Y.
  const double th = -M_PI * ax;
  const double ct = std::cos(th), st = std::sin(th);
  auto turn = [&](const D3& v) { return D3{v.x * ct + v.z * st, v.y, -v.x * st + v.z * ct}; };
  eye = toF(c + turn(r));
  up = toF(turn(u));
}

void Camera::roll(double a) {
  const D3 s = (toD(centre) - toD(eye)).cross(toD(up)).normalized();
  if (!(s.dot(s) > 0.0)) return;  // no line of sight to roll about
  up = toF((toD(up) * std::cos(a) - s * std::sin(a)).normalized());
}

double Camera::distance() const {
  const D3 w = toD(centre) - toD(eye);
  return std::sqrt(w.dot(w));
}

void Camera::zoom(double factor) {
  if (!(factor > 0.0) || !std::isfinite(factor)) return;
  const D3 c = toD(centre);
  const D3 r = toD(eye) - c;
  const double l = std::sqrt(r.dot(r));
  if (!(l > 0.0) || !std::isfinite(l)) return;
  // The eye stays in front of the near plane's reach and inside the far one.
  const double target = std::min(std::max(l * factor, kMinDistance), 0.9 * zFar);
  eye = toF(c + r * (target / l));
}

void Camera::pan(double fx, double fy) {
  if (!std::isfinite(fx) || !std::isfinite(fy)) return;
  const D3 f = toD(centre) - toD(eye);
  const double l = std::sqrt(f.dot(f));
  const D3 s = f.cross(toD(up)).normalized();
  if (!(l > 0.0) || !(s.dot(s) > 0.0)) return;
  const D3 u = s.cross(f).normalized();
  // The visible extent at the centre's depth.
  const double halfHeight = l * std::tan(halfFovY * M_PI / 180.0);
  const double halfWidth = l * std::tan(halfFovX * M_PI / 180.0);
  // Dragging to the right moves the scene to the right: the camera goes left.
  const D3 shift = s * (-2.0 * halfWidth * fx) + u * (2.0 * halfHeight * fy);
  eye = toF(toD(eye) + shift);
  centre = toF(toD(centre) + shift);
}

double Camera::fitDistance(float r) const {
  const double half = std::min(halfFovX, halfFovY) * M_PI / 180.0;
  const double s = std::sin(half);
  return s > 0.0 ? double(r) / s : double(r) * 2.0;
}

void Camera::fit(const Vec3& c, float r) {
  if (!c.isFinite() || !(r > 0.0f) || !std::isfinite(r)) return;
  D3 back = (toD(eye) - toD(centre)).normalized();
  if (!(back.dot(back) > 0.0)) back = D3{0.57735026, 0.57735026, 0.57735026};
  centre = c;
  eye = toF(toD(c) + back * std::min(fitDistance(r), 0.9 * zFar));
}

void Camera::lookFrom(const Vec3& direction, const Vec3& u, const Vec3& c, float r) {
  const D3 back = toD(direction).normalized();
  if (!(back.dot(back) > 0.0) || !c.isFinite() || !(r > 0.0f) || !std::isfinite(r)) return;
  centre = c;
  eye = toF(toD(c) + back * std::min(fitDistance(r), 0.9 * zFar));
  up = u;
}
