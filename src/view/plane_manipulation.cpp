#include "view/plane_manipulation.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "engine/sorvex.h"
#include "sections/section_plane.h"
#include "view/camera.h"
#include "view/glyph_colours.h"

namespace {

// Handles closer than this fraction of the model radius define no plane.
constexpr float kHandleTolerance = 1e-5f;
// How far from unit length a normal may be and still count as unit.
constexpr float kUnitTolerance = 1e-3f;
// |cos| above which two directions count as parallel for the swing.
constexpr float kParallelCos = 0.99f;
// Changes below this count as rounding when deciding whether a swing moved
// the plane.
constexpr float kSwingChange = 1e-5f;

bool finite(float f) { return std::isfinite(f); }

float safeAcos(float c) { return std::acos(std::max(-1.0f, std::min(1.0f, c))); }

bool differs(const Vec3& a, const Vec3& b, float tolerance) {
  return std::fabs(a.x - b.x) > tolerance || std::fabs(a.y - b.y) > tolerance || std::fabs(a.z - b.z) > tolerance;
}

}  // namespace

void carryHandles(const CutPlane& from, CutPlane& to) {
  for (int k = 0; k < 3; ++k) {
    const Vec3 offset = from.handles[k] - from.point;
    const Vec3 moved =
        to.point + to.r1 * offset.dot(from.r1) + to.r2 * offset.dot(from.r2) + to.normal * offset.dot(from.normal);
    // A handle that cannot be carried stays where it was.
    to.handles[k] = moved.isFinite() ? moved : from.handles[k];
  }
}

int modeForPickedColour(int mode, int r, int g, int b) {
  if (mode == manipmode::kDefaultIdle) {
    if (r == 254 && g == 254 && b == 254) return manipmode::kTurnAboutR1;
    if (r == 253 && g == 253 && b == 253) return manipmode::kTurnAboutR2;
    if ((r == 255 && g == 0 && b == 0) || (r == 0 && g == 255 && b == 0)) return manipmode::kSlide;
    return -1;
  }
  if (mode == manipmode::kThreeBallIdle) {
    for (int k = 0; k < 3; ++k) {
      const unsigned char* c = glyphcolour::kHandle[k];
      if (r == c[0] && g == c[1] && b == c[2]) return manipmode::kDragHandle1 + k;
    }
    return -1;
  }
  return -1;
}

Vec3 rotateAboutAxis(const Vec3& v, float angle, const Vec3& k) {
  if (angle == 0.0f) return v;
  const double c = std::cos(double(angle)), s = std::sin(double(angle));
  const double vx = v.x, vy = v.y, vz = v.z, kx = k.x, ky = k.y, kz = k.z;
  const double kv = kx * vx + ky * vy + kz * vz;
  const double cx = ky * vz - kz * vy, cy = kz * vx - kx * vz, cz = kx * vy - ky * vx;
  return Vec3(float(vx * c + cx * s + kx * kv * (1.0 - c)), float(vy * c + cy * s + ky * kv * (1.0 - c)),
              float(vz * c + cz * s + kz * kv * (1.0 - c)));
}

float dragTurnAngle(int dx, int dy, int w, int h) {
  if (w <= 0 || h <= 0) return 0.0f;
  return -(4.0f * float(dy) / float(h) + 4.0f * float(dx) / float(w));
}

bool isUsablePlane(const CutPlane& plane) {
  if (!plane.normal.isFinite() || !plane.point.isFinite() || !plane.r1.isFinite() || !plane.r2.isFinite()) return false;
  if (!finite(plane.d)) return false;
  return std::fabs(plane.normal.length() - 1.0f) < kUnitTolerance;
}

bool turnPlane(CutPlane& plane, int axis, float angle) {
  if (angle == 0.0f || !finite(angle) || (axis != 1 && axis != 2)) return false;
  CutPlane turned = plane;
  const Vec3 k = (axis == 1 ? plane.r1 : plane.r2).normalized();
  if (k == Vec3()) return false;
  turned.normal = rotateAboutAxis(plane.normal, angle, k).normalized();
  if (axis == 1)
    turned.r2 = rotateAboutAxis(plane.r2, angle, k).normalized();
  else
    turned.r1 = rotateAboutAxis(plane.r1, angle, k).normalized();
  // The offset follows the turn, so nothing reads the one from before it.
  turned.d = turned.normal.dot(turned.point);
  if (!isUsablePlane(turned)) return false;
  carryHandles(plane, turned);
  plane = turned;
  return true;
}

bool slidePlane(CutPlane& plane, const Camera& camera, float radius, int dx, int dy, int h) {
  if (h <= 0 || (dx == 0 && dy == 0) || !finite(radius)) return false;
  const Vec3 f = camera.centre - camera.eye;
  const Vec3 left = camera.up.cross(f);
  const float leftLength = left.length();
  const Vec3 up = camera.up.normalized();
  const float s = -2.0f / float(h);
  const Vec3& n = plane.normal;

  CutPlane slid = plane;
  // Each screen direction only contributes where it is defined.
  if (leftLength > 0.0f && finite(leftLength)) slid.point += n * (radius * s * float(dx) * (n.dot(left) / leftLength));
  if (up != Vec3()) slid.point += n * (radius * s * float(dy) * n.dot(up));
  slid.d = slid.point.dot(slid.normal);
  if (!isUsablePlane(slid) || slid.point == plane.point) return false;
  carryHandles(plane, slid);
  plane = slid;
  return true;
}

bool planeThroughHandles(CutPlane& plane, float radius) {
  const Vec3& b1 = plane.handles[0];
  const Vec3& b2 = plane.handles[1];
  const Vec3& b3 = plane.handles[2];
  if (!b1.isFinite() || !b2.isFinite() || !b3.isFinite()) return false;
  const float tolerance = kHandleTolerance * ((radius > 0.0f && finite(radius)) ? radius : 1.0f);

  const Vec3 e1 = b2 - b1;
  if (!(e1.length() > tolerance)) return false;  // handle 2 on handle 1: no direction r1
  const Vec3 r1 = e1.normalized();
  const Vec3 e2 = b3 - b1;
  const Vec3 across = e2 - r1 * e2.dot(r1);
  if (!(across.length() > tolerance)) return false;  // handle 3 on the line of the others

  CutPlane rebuilt = plane;
  rebuilt.point = b1;
  rebuilt.r1 = r1;
  rebuilt.r2 = across.normalized();
  rebuilt.normal = rebuilt.r1.cross(rebuilt.r2).normalized();
  rebuilt.d = rebuilt.normal.dot(rebuilt.point);
  if (!isUsablePlane(rebuilt)) return false;
  plane = rebuilt;
  return true;
}

bool strokePointOnPlane(const CutPlane& plane, const Vec3& origin, const Vec3& direction, Vec3& uv) {
  if (!origin.isFinite() || !direction.isFinite() || !isUsablePlane(plane)) return false;
  Vec3 hit;
  if (!intersectRay(plane, origin, direction, hit) || !hit.isFinite()) return false;
  const Vec3 offset = hit - plane.point;
  const Vec3 result(offset.dot(plane.r1), offset.dot(plane.r2), 0.0f);
  if (!result.isFinite()) return false;
  uv = result;
  return true;
}

bool swingAboutSymmetryAxis(CutPlane& plane, const Vec3& axis, const Vec3& eye) {
  const Vec3 a = axis.normalized();
  const Vec3 e = eye.normalized();
  if (a == Vec3() || e == Vec3() || !isUsablePlane(plane)) return false;
  if (!(std::fabs(e.dot(a)) < kParallelCos)) return false;  // looking along the axis: no swing direction
  const Vec3 k = a.cross(e).normalized();
  if (k == Vec3()) return false;

  CutPlane swung = plane;
  if (std::fabs(plane.normal.dot(a)) >= kParallelCos) {
    // Perpendicular to the axis: the normal stays, the in-plane axes turn.
    swung.r1 = rotateAboutAxis(a, safeAcos(a.dot(plane.r1)), k).normalized();
    swung.r2 = swung.normal.cross(swung.r1).normalized();
    // r1 was only nearly in the plane; make the frame orthonormal again.
    swung.r1 = swung.r2.cross(swung.normal).normalized();
    if (swung.r1 == Vec3() || swung.r2 == Vec3()) return false;
  } else {
    swung.normal = rotateAboutAxis(a, safeAcos(plane.normal.dot(a)), k).normalized();
    normalizePlane(swung);
  }
  if (!isUsablePlane(swung)) return false;
  const bool moved = differs(swung.normal, plane.normal, kSwingChange) || std::fabs(swung.d - plane.d) > kSwingChange ||
                     differs(swung.point, plane.point, kSwingChange);
  carryHandles(plane, swung);
  plane = swung;
  return moved;
}

bool annotationScore(const CutPlane& plane, const Vec3& eye, const Vec3& centre, float& score) {
  const Vec3 v = (centre - eye).normalized();
  const Vec3& n = plane.normal;
  const float s = n.dot(eye);
  if (!(s * n.dot(v) <= 0.0f)) return false;  // the normal faces away (or NaN)
  const float value = std::fabs(v.dot(n)) * (100.0f - std::fabs(n.dot(eye) - plane.d));
  if (!finite(value)) return false;
  score = value;
  return true;
}

int autoSelectPlane(Sorvex& engine, const Camera& camera) {
  const bool swing = !engine.symmetryAxes.isEmpty();
  const Vec3 axis = swing ? engine.symmetryAxes.first().direction : Vec3();
  float best = -FLT_MAX;
  int result = Sorvex::kNoPlane;
  for (int i = 0; i < engine.planes.size(); ++i) {
    SectionPlane& plane = engine.planes[i];
    if (swing && swingAboutSymmetryAxis(plane, axis, camera.eye)) engine.updateSection(plane);
    float score = 0.0f;
    if (annotationScore(plane, camera.eye, camera.centre, score) && score > best) {
      best = score;
      result = i;
    }
  }
  engine.currentPlane = result;
  return result;
}
