#include "sections/contour_area.h"

#include <algorithm>
#include <cmath>

#include "sections/contour_nesting.h"

bool ContourPolygon::contains(double x, double y) const {
  const int m = size();
  bool inside = false;
  for (int i = 0, j = m - 1; i < m; j = i++) {
    const double xi = xy[2 * size_t(i)], yi = xy[2 * size_t(i) + 1];
    const double xj = xy[2 * size_t(j)], yj = xy[2 * size_t(j) + 1];
    if (crossesRayRight(xi, yi, xj, yj, x, y)) inside = !inside;
  }
  return inside;
}

SectionFrame::SectionFrame(const CutPlane& plane) {
  const Vec3 e1 = plane.r1.normalized(), e2 = plane.r2.normalized();
  n_[0] = plane.normal.x, n_[1] = plane.normal.y, n_[2] = plane.normal.z;
  e1_[0] = e1.x, e1_[1] = e1.y, e1_[2] = e1.z;
  e2_[0] = e2.x, e2_[1] = e2.y, e2_[2] = e2.z;
  const double s = n_[0] * plane.point.x + n_[1] * plane.point.y + n_[2] * plane.point.z;
  for (int a = 0; a < 3; ++a) o_[a] = n_[a] * s;
  const double cx = e1_[1] * e2_[2] - e1_[2] * e2_[1];
  const double cy = e1_[2] * e2_[0] - e1_[0] * e2_[2];
  const double cz = e1_[0] * e2_[1] - e1_[1] * e2_[0];
  areaScale_ = std::sqrt(cx * cx + cy * cy + cz * cz);
}

void SectionFrame::project(const Vec3& p, double& x, double& y) const {
  const double q[3] = {p.x, p.y, p.z};
  const double pn = q[0] * n_[0] + q[1] * n_[1] + q[2] * n_[2];
  double r[3];
  for (int a = 0; a < 3; ++a) r[a] = q[a] - pn * n_[a];
  x = r[0] * e1_[0] + r[1] * e1_[1] + r[2] * e1_[2];
  y = r[0] * e2_[0] + r[1] * e2_[1] + r[2] * e2_[2];
}

void SectionFrame::projectDirection(const Vec3& v, double& x, double& y) const { project(v, x, y); }

ContourPolygon contourPolygon(const SectionContour& contour, const SectionFrame& frame) {
  ContourPolygon poly;
  const QList<SectionSegment>& s = contour.segments;
  if (s.isEmpty()) return poly;
  poly.xy.reserve(size_t(s.size() + 1) * 2);
  double x, y;
  for (const SectionSegment& seg : s) {
    frame.project(seg.start, x, y);
    poly.xy.push_back(x);
    poly.xy.push_back(y);
  }
  if (!contour.isClosed) {
    frame.project(s.last().end, x, y);
    poly.xy.push_back(x);
    poly.xy.push_back(y);
  }
  const int m = poly.size();
  for (double v : poly.xy)
    if (!std::isfinite(v)) return poly;  // takes no part
  poly.minX = poly.maxX = poly.xy[0];
  poly.minY = poly.maxY = poly.xy[1];
  // Shoelace relative to the first point, closing edge included.
  const double x0 = poly.xy[0], y0 = poly.xy[1];
  double twice = 0.0;
  for (int k = 0; k < m; ++k) {
    const double xk = poly.xy[2 * size_t(k)], yk = poly.xy[2 * size_t(k) + 1];
    poly.minX = std::min(poly.minX, xk), poly.maxX = std::max(poly.maxX, xk);
    poly.minY = std::min(poly.minY, yk), poly.maxY = std::max(poly.maxY, yk);
    const int l = (k + 1) % m;
    const double xl = poly.xy[2 * size_t(l)], yl = poly.xy[2 * size_t(l) + 1];
    twice += (xk - x0) * (yl - y0) - (xl - x0) * (yk - y0);
  }
  poly.signedArea = 0.5 * twice * frame.areaScale();
  poly.takesPart = m >= 3;
  return poly;
}

namespace {

// Midpoint of the polygon's longest edge: a point on the contour that is
// unlikely to lie on another contour.
void samplePoint(const ContourPolygon& p, double& x, double& y) {
  const int m = p.size();
  double best = -1.0;
  x = p.xy[0], y = p.xy[1];
  for (int k = 0; k < m; ++k) {
    const int l = (k + 1) % m;
    const double dx = p.xy[2 * size_t(l)] - p.xy[2 * size_t(k)], dy = p.xy[2 * size_t(l) + 1] - p.xy[2 * size_t(k) + 1];
    const double len = dx * dx + dy * dy;
    if (len > best) {
      best = len;
      x = p.xy[2 * size_t(k)] + 0.5 * dx;
      y = p.xy[2 * size_t(k) + 1] + 0.5 * dy;
    }
  }
}

// Length-weighted vote of the face normals: positive when the material lies
// to the left of the contour's direction of travel.
double materialLeftVote(const SectionContour& c, const SectionFrame& frame) {
  double vote = 0.0;
  for (const SectionSegment& s : c.segments) {
    double sx, sy, ex, ey, fx, fy;
    frame.project(s.start, sx, sy);
    frame.project(s.end, ex, ey);
    frame.projectDirection(s.normal, fx, fy);
    const double lx = -(ey - sy), ly = ex - sx;  // left of travel, as long as the segment
    const double d = lx * fx + ly * fy;
    if (std::isfinite(d)) vote -= d;  // the normal points away from the material
  }
  return vote;
}

}  // namespace

double classifyContours(QList<SectionContour>& contours, const SectionFrame& frame) {
  const int k = contours.size();
  std::vector<ContourPolygon> polys(static_cast<size_t>(k));
  std::vector<double> vote(size_t(k), 0.0);
  std::vector<int> depth(size_t(k), 0);
  std::vector<int> byX;
  for (int i = 0; i < k; ++i) {
    contours[i].isHole = false;
    polys[size_t(i)] = contourPolygon(contours[i], frame);
    if (!polys[size_t(i)].takesPart) continue;
    vote[size_t(i)] = materialLeftVote(contours[i], frame);
    byX.push_back(i);
  }
  // Nesting depth of each contour: how many others contain a point of it.
  std::sort(byX.begin(), byX.end(), [&](int a, int b) { return polys[size_t(a)].minX < polys[size_t(b)].minX; });
  {
    std::vector<double> samples(2 * byX.size());
    for (size_t t = 0; t < byX.size(); ++t) samplePoint(polys[size_t(byX[t])], samples[2 * t], samples[2 * t + 1]);
    const std::vector<int> counts = containingCounts(polys, byX, samples);
    for (size_t t = 0; t < byX.size(); ++t) depth[size_t(byX[t])] = counts[t];
  }
  // Material inside a contour: it runs counter-clockwise with the material on
  // its left, or clockwise with the material on its right.
  auto materialInside = [&](int i) { return (polys[size_t(i)].signedArea > 0) == (vote[size_t(i)] > 0); };
  double outerVote = 0.0;
  for (int i : byX)
    if (depth[size_t(i)] == 0 && vote[size_t(i)] != 0.0)
      outerVote += std::fabs(polys[size_t(i)].signedArea) * (materialInside(i) ? 1.0 : -1.0);
  const bool insideOut = outerVote < 0.0;

  double area = 0.0;
  for (int i : byX) {
    bool hole = false;
    if (depth[size_t(i)] > 0) {
      if (vote[size_t(i)] != 0.0 && polys[size_t(i)].signedArea != 0.0)
        hole = materialInside(i) == insideOut;
      else
        hole = depth[size_t(i)] % 2 == 1;
    }
    contours[i].isHole = hole;
    const double a = std::fabs(polys[size_t(i)].signedArea);
    area += hole ? -a : a;
  }
  // Holes larger than what holds them (open chains closed by edges that
  // cross) never make a section negative.
  return std::max(area, 0.0);
}
