#include "sections/slab_triangulation.h"

#include <QDebug>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "sections/planar_triangulation.h"

namespace {

bool finite(float x) { return std::isfinite(x); }

}  // namespace

void triangulateSlab(SectionPlane& plane) {
  plane.triangles.clear();
  if (plane.contours.isEmpty()) return;

  const Vec3 n = plane.normal;
  const Vec3 e1 = plane.r1.normalized();
  const Vec3 e2 = plane.r2.normalized();
  const Vec3 o = n * n.dot(plane.point);
  auto project = [&](const Vec3& p, float& x, float& y) {
    const Vec3 q = p - n * p.dot(n);
    x = q.dot(e1);
    y = q.dot(e2);
  };

  std::vector<double> points;
  std::vector<int> segments;
  std::vector<double> holes;
  for (const SectionContour& c : plane.contours) {
    const int m = c.segments.size();
    if (m < 4) continue;  // too small to bound a region worth a slab
    const int b = int(points.size() / 2);
    float minX = FLT_MAX, minY = FLT_MAX, maxX = -FLT_MAX, maxY = -FLT_MAX;
    for (const SectionSegment& s : c.segments) {
      float x, y;
      project(s.start, x, y);
      if (!finite(x) || !finite(y)) {
        qDebug("Slab left empty: a contour point has no finite plane coordinates");
        return;
      }
      points.push_back(double(x));
      points.push_back(double(y));
      minX = std::min(minX, x);
      minY = std::min(minY, y);
      maxX = std::max(maxX, x);
      maxY = std::max(maxY, y);
    }
    for (int k = 0; k + 1 < m; ++k) {
      segments.push_back(b + k);
      segments.push_back(b + k + 1);
    }
    segments.push_back(b + m - 1);
    segments.push_back(b);
    if (c.isHole) {
      const float hx = (minX + maxX) * 0.5f;
      const float hy = (minY + maxY) * 0.5f;
      if (!finite(hx) || !finite(hy)) {
        qDebug("Slab left empty: a hole point has no finite plane coordinates");
        return;
      }
      holes.push_back(double(hx));
      holes.push_back(double(hy));
    }
  }
  if (points.size() / 2 <= 2) return;

  std::vector<double> outPoints;
  std::vector<int> outTriangles;
  if (!triangulateGraph(points, segments, holes, outPoints, outTriangles)) return;

  const int triangleCount = int(outTriangles.size() / 3);
  plane.triangles.reserve(triangleCount);
  for (int t = 0; t < triangleCount; ++t) {
    SlabTriangle tri;
    for (int c = 0; c < 3; ++c) {
      const int idx = outTriangles[size_t(t) * 3 + size_t(c)];
      const float x = float(outPoints[size_t(idx) * 2]);
      const float y = float(outPoints[size_t(idx) * 2 + 1]);
      tri.corners[c] = o + e1 * x + e2 * y;
    }
    plane.triangles.append(tri);
  }
}
