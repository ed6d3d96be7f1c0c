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
  float a = 0.0f;
  for (const SectionSegment& s : contour.segments) {
    const float xs = r1.dot(s.start), ys = r2.dot(s.start);
    const float xe = r1.dot(s.end), ye = r2.dot(s.end);
    a += xs * ye - xe * ys;
  }
  return 0.5f * a;
}

bool isHoleContour(const SectionContour& contour) {
  if (!contour.isClosed || contour.segments.isEmpty()) return false;
  Vec3 c(0.0f, 0.0f, 0.0f);
  for (const SectionSegment& s : contour.segments) c += s.start;
  c = c / float(contour.segments.size());
  float sum = 0.0f;
  for (const SectionSegment& s : contour.segments) {
    const float len = (s.end - s.start).length();
    const Vec3 mid = (s.start + s.end) * 0.5f;
    if ((c - mid).dot(s.normal) <= 0.0f)
      sum += len;
    else
      sum -= len;
  }
  return sum < 0.0f;
}
