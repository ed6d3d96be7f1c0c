#include "sections/slab_triangulation.h"

#include <QDebug>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "sections/contour_area.h"
#include "sections/region_triangulation.h"

bool triangulateSlab(SectionPlane& plane, double* area) {
  plane.triangles.clear();
  if (area) *area = 0.0;
  if (plane.contours.isEmpty()) return true;

  const SectionFrame frame(plane);
  std::vector<ContourPolygon> polygons;
  std::vector<int> weights;
  polygons.reserve(size_t(plane.contours.size()));
  weights.reserve(size_t(plane.contours.size()));
  for (const SectionContour& c : plane.contours) {
    polygons.push_back(contourPolygon(c, frame));
    if (!c.segments.isEmpty() && !polygons.back().takesPart && polygons.back().size() >= 3) {
      qDebug("Slab left empty: a contour point has no finite plane coordinates");
      return false;
    }
    weights.push_back(polygons.back().takesPart ? (c.isHole ? -1 : 1) : 0);
  }

  // A section without area has no slab: what its contours enclose is no
  // more than their length times the rounding of single-precision points.
  double minX = 0, minY = 0, maxX = 0, maxY = 0, noise = 0;
  bool any = false;
  {
    double enclosed = 0.0, length = 0.0;
    for (const ContourPolygon& p : polygons) {
      if (!p.takesPart) continue;
      minX = any ? std::min(minX, p.minX) : p.minX, maxX = any ? std::max(maxX, p.maxX) : p.maxX;
      minY = any ? std::min(minY, p.minY) : p.minY, maxY = any ? std::max(maxY, p.maxY) : p.maxY;
      any = true;
      // A bound on what the contour encloses however it crosses itself: the
      // absolute areas of the triangles fanning out from its first point.
      for (int k = 1; k + 1 < p.size(); ++k) {
        const double* a = &p.xy[0];
        const double* b = &p.xy[2 * size_t(k)];
        const double* c = &p.xy[2 * size_t(k) + 2];
        enclosed += 0.5 * std::fabs((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
      }
      const int m = p.size();
      for (int k = 0; k < m; ++k) {
        const int l = (k + 1) % m;
        length +=
            std::hypot(p.xy[2 * size_t(l)] - p.xy[2 * size_t(k)], p.xy[2 * size_t(l) + 1] - p.xy[2 * size_t(k) + 1]);
      }
    }
    if (!any) return true;
    const double* o = frame.origin();
    const double magnitude =
        std::max(std::max(std::fabs(minX), std::fabs(maxX)), std::max(std::fabs(minY), std::fabs(maxY))) +
        std::fabs(o[0]) + std::fabs(o[1]) + std::fabs(o[2]);
    noise = 8.0 * double(FLT_EPSILON) * magnitude * length;
    if (!(enclosed > noise)) return true;
  }

  std::vector<double> outPoints;
  std::vector<int> outTriangles;
  std::string why;
  if (!triangulateRegion(polygons, weights, outPoints, outTriangles, &why)) {
    qDebug("Slab left empty: %s", why.c_str());
    return false;
  }

  // Triangles whose area is lost in the rounding of their corners are
  // degenerate: a tiny fraction of the square of the slab's extent.
  const double extent = std::max(maxX - minX, maxY - minY);
  const double tiny = 1e-12 * extent * extent;
  const double* o = frame.origin();
  const double* e1 = frame.axis1();
  const double* e2 = frame.axis2();
  double total = 0.0;
  const int triangleCount = int(outTriangles.size() / 3);
  plane.triangles.reserve(triangleCount);
  for (int t = 0; t < triangleCount; ++t) {
    const double* c[3];
    for (int k = 0; k < 3; ++k) c[k] = &outPoints[size_t(outTriangles[size_t(t) * 3 + size_t(k)]) * 2];
    const double a =
        0.5 * std::fabs((c[1][0] - c[0][0]) * (c[2][1] - c[0][1]) - (c[1][1] - c[0][1]) * (c[2][0] - c[0][0]));
    if (!(a > tiny)) continue;
    SlabTriangle tri;
    for (int k = 0; k < 3; ++k) {
      const double x = c[k][0], y = c[k][1];
      tri.corners[k] = Vec3(float(o[0] + x * e1[0] + y * e2[0]), float(o[1] + x * e1[1] + y * e2[1]),
                            float(o[2] + x * e1[2] + y * e2[2]));
    }
    // Corners that coincide or line up once written in single precision.
    if (!((tri.corners[1] - tri.corners[0]).cross(tri.corners[2] - tri.corners[0]).length() > 0.0f)) continue;
    plane.triangles.append(tri);
    total += a;
  }
  // The same test on what the slab covers: contours that cross themselves
  // can fan out over far more than they enclose.
  if (!(total > noise)) total = 0.0;
  total *= frame.areaScale();
  if (!(total > 0.0)) {
    plane.triangles.clear();
    total = 0.0;
  }
  if (area) *area = total;
  return true;
}
