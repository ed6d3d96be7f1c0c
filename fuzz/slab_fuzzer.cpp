// libFuzzer target: the slab of arbitrary contours. The input chooses a plane
// (one of a few normals, an offset) and contours of points on it: small whole
// coordinates on a coarse grid (so points coincide, lie on each other's
// segments and segments overlap), or raw floats. Contours are classified as
// the sections do, or given random hole flags; the slab must never end the
// process, and what it returns must be finite, lie on the plane and account
// for its area.

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "sections/contour_area.h"
#include "sections/slab_triangulation.h"

namespace {

struct Reader {
  const uint8_t* data;
  size_t size, pos = 0;
  bool more() const { return pos < size; }
  uint8_t byte() { return pos < size ? data[pos++] : 0; }
  float raw() {
    uint32_t u = 0;
    for (int k = 0; k < 4; ++k) u = (u << 8) | byte();
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
  }
};

Vec3 unitOrZero(const Vec3& v) {
  const float l = v.length();
  return l > 0.0f ? v / l : Vec3(0, 0, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  const uint8_t mode = in.byte();
  static const Vec3 normals[] = {Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0.3f, -0.5f, 0.81f), Vec3(0.577f, 0.577f, 0.577f)};
  SectionPlane plane;
  plane.normal = unitOrZero(normals[mode & 3]);
  const Vec3 helper = std::fabs(plane.normal.x) < 0.9f ? Vec3(1, 0, 0) : Vec3(0, 1, 0);
  plane.r1 = unitOrZero(plane.normal.cross(helper));
  plane.r2 = plane.normal.cross(plane.r1);
  plane.point = plane.normal * (float(int8_t(in.byte())) * 0.25f);
  plane.d = plane.normal.dot(plane.point);
  const bool rawFloats = (mode & 4) != 0;
  const bool classify = (mode & 8) != 0;
  const float scale = (mode & 16) ? 1e-3f : 0.125f;

  while (in.more() && plane.contours.size() < 16) {
    const uint8_t head = in.byte();
    const int count = 1 + head % 24;
    SectionContour c;
    c.isHole = (head & 0x80) != 0;
    c.isClosed = (head & 0x40) != 0;
    Vec3 previous;
    for (int k = 0; k <= count && in.more(); ++k) {
      float u, v;
      if (rawFloats) {
        // Huge values are folded back (lifted corners would overflow the
        // float range); NaN and infinity stay.
        u = in.raw(), v = in.raw();
        if (std::fabs(u) > 1e15f) u = std::fmod(u, 1e15f);
        if (std::fabs(v) > 1e15f) v = std::fmod(v, 1e15f);
      } else {
        u = float(int8_t(in.byte()) % 16) * scale, v = float(int8_t(in.byte()) % 16) * scale;
      }
      const Vec3 p = plane.point + plane.r1 * u + plane.r2 * v;
      if (k > 0) {
        SectionSegment s;
        s.start = previous, s.end = p;
        // A face normal in the plane, to one side of the segment: the hole
        // vote of the classification reads it.
        s.normal = (head & 0x20) ? plane.normal.cross(p - previous) : Vec3(0, 0, 0);
        c.segments.append(s);
      }
      previous = p;
    }
    plane.contours.append(c);
  }
  if (classify) classifyContours(plane.contours, SectionFrame(plane));

  double area = -1.0;
  const bool made = triangulateSlab(plane, &area);
  if (!std::isfinite(area) || area < 0.0) __builtin_trap();
  if (!made && !plane.triangles.isEmpty()) __builtin_trap();
  double sum = 0.0, perimeters = 0.0;
  float reach = 1.0f;
  for (const SectionContour& c : plane.contours)
    for (const SectionSegment& s : c.segments)
      reach = std::fmax(reach, std::fmax(std::fabs(s.start.x), std::fmax(std::fabs(s.start.y), std::fabs(s.start.z))));
  for (const SlabTriangle& t : plane.triangles) {
    for (const Vec3& p : t.corners) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) __builtin_trap();
      // On the plane, up to the rounding of single-precision corners.
      if (std::fabs(plane.normal.dot(p) - plane.d) > 1e-4f * reach + 1e-6f) __builtin_trap();
    }
    double c[3][3];
    for (int k = 0; k < 3; ++k) c[k][0] = t.corners[k].x, c[k][1] = t.corners[k].y, c[k][2] = t.corners[k].z;
    const double u[3] = {c[1][0] - c[0][0], c[1][1] - c[0][1], c[1][2] - c[0][2]};
    const double v[3] = {c[2][0] - c[0][0], c[2][1] - c[0][1], c[2][2] - c[0][2]};
    const double w[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    sum += 0.5 * std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    perimeters +=
        std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]) + std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  }
  // The area is that of the triangles, computed in double in the plane; here
  // from the corners as stored in single precision.
  if (std::fabs(sum - area) > 1e-4 * area + 8.0 * FLT_EPSILON * double(reach) * perimeters) __builtin_trap();
  return 0;
}
