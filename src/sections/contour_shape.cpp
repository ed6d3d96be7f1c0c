#include "sections/contour_shape.h"

#include <algorithm>
#include <utility>

void reverseContour(SectionContour& contour) {
  QList<SectionSegment>& s = contour.segments;
  std::reverse(s.begin(), s.end());
  for (SectionSegment& seg : s) std::swap(seg.start, seg.end);
}

Vec3 hermitePoint(const Vec3& p0, const Vec3& p1, const Vec3& m0, const Vec3& m1, float t) {
  const float t2 = t * t;
  const float t3 = t2 * t;
  const float h00 = 2.0f * t3 - 3.0f * t2 + 1.0f;
  const float h10 = t3 - 2.0f * t2 + t;
  const float h01 = -2.0f * t3 + 3.0f * t2;
  const float h11 = t3 - t2;
  return p0 * h00 + m0 * h10 + p1 * h01 + m1 * h11;
}

namespace {

SectionSegment bridgeSegment(const Vec3& a, const Vec3& b) {
  SectionSegment s;
  s.start = a;
  s.end = b;
  s.normal = Vec3(0.0f, 0.0f, 0.0f);
  return s;
}

}  // namespace

void hermiteBridge(SectionContour& from, const SectionContour& to, float tanFactor) {
  if (from.segments.isEmpty() || to.segments.isEmpty()) return;
  // Read everything from `to` before `from` grows: they may be the same contour.
  const SectionSegment last = from.segments.last();
  const SectionSegment first = to.segments.first();
  const Vec3 p0 = last.end;
  const Vec3 p1 = first.start;
  const float length = (p0 - p1).length() * tanFactor;
  const Vec3 m0 = (last.end - last.start).normalized() * length;
  const Vec3 m1 = (first.end - first.start).normalized() * length;

  Vec3 prev = p0;
  float t = 0.05f;
  for (int k = 0; k < 10; ++k) {
    const Vec3 q = hermitePoint(p0, p1, m0, m1, t);
    from.segments.append(bridgeSegment(prev, q));
    prev = q;
    t += 0.1f;
  }
  from.segments.append(bridgeSegment(prev, p1));
}

void straightBridge(SectionContour& from, const SectionContour& to) {
  if (from.segments.isEmpty() || to.segments.isEmpty()) return;
  const Vec3 a = from.segments.last().end;
  const Vec3 b = to.segments.first().start;
  from.segments.append(bridgeSegment(a, b));
}

float contourArea(const SectionContour& contour, const Vec3& r1, const Vec3& r2) {
  const QList<SectionSegment>& s = contour.segments;
  if (s.isEmpty()) return 0.0f;
  // Points relative to the first one, in double, so that the loop's distance
  // from the origin costs no precision; the closing edge back to the first
  // point is part of the sum.
  const double ax[3] = {r1.x, r1.y, r1.z}, ay[3] = {r2.x, r2.y, r2.z};
  const Vec3 origin = s.first().start;
  auto coords = [&](const Vec3& p, double& x, double& y) {
    const double d[3] = {double(p.x) - origin.x, double(p.y) - origin.y, double(p.z) - origin.z};
    x = ax[0] * d[0] + ax[1] * d[1] + ax[2] * d[2];
    y = ay[0] * d[0] + ay[1] * d[1] + ay[2] * d[2];
  };
  double twice = 0.0;
  double px = 0.0, py = 0.0;  // the first point
  auto edge = [&](const Vec3& p) {
    double x, y;
    coords(p, x, y);
    twice += px * y - x * py;
    px = x;
    py = y;
  };
  for (int k = 1; k < s.size(); ++k) edge(s[k].start);
  if (!contour.isClosed) edge(s.last().end);
  edge(origin);
  return float(0.5 * twice);
}
