#pragma once

#include <QList>
#include <vector>

#include "engine/cut_plane.h"
#include "sections/section_plane.h"

// The contours of a section as polygons in the plane's 2-D frame, shared by
// the area and the slab so that both see the same contours with the same
// closing. Frame: n = normal as stored, e1 = r1 / |r1|, e2 = r2 / |r2|; a
// point p maps to ((p - (p . n) n) . e1, (p - (p . n) n) . e2), in double.
//
// A contour's polygon is the start point of every segment, followed by the
// last segment's end point when the contour is open; the closing edge runs
// from the last point back to the first. A contour takes part in the area and
// in the slab when its polygon has at least three points.
struct ContourPolygon {
  std::vector<double> xy;  // x, y pairs
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  double signedArea = 0;  // shoelace, counter-clockwise positive
  bool takesPart = false;

  int size() const { return int(xy.size() / 2); }
  bool boxContains(double x, double y) const { return x >= minX && x <= maxX && y >= minY && y <= maxY; }
  // Even-odd test; points on the boundary may go either way.
  bool contains(double x, double y) const;
};

// Whether the edge from (xj, yj) to (xi, yi) crosses the ray from (x, y)
// towards +x, as ContourPolygon::contains counts crossings: the edge spans y
// (one end above, the other at or below) and meets the line y right of x.
// Every even-odd test of a contour goes through here, so that all of them
// round alike.
inline bool crossesRayRight(double xi, double yi, double xj, double yj, double x, double y) {
  if ((yi > y) == (yj > y)) return false;
  const double cx = xj + (y - yj) / (yi - yj) * (xi - xj);
  return x < cx;
}

class SectionFrame {
 public:
  explicit SectionFrame(const CutPlane& plane);
  void project(const Vec3& p, double& x, double& y) const;
  // Component of a direction in the frame (no offset).
  void projectDirection(const Vec3& v, double& x, double& y) const;
  // Area of the unit square of the frame in the plane (1 for orthonormal axes).
  double areaScale() const { return areaScale_; }
  const double* origin() const { return o_; }
  const double* axis1() const { return e1_; }
  const double* axis2() const { return e2_; }

 private:
  double n_[3], e1_[3], e2_[3], o_[3];
  double areaScale_ = 1.0;
};

ContourPolygon contourPolygon(const SectionContour& contour, const SectionFrame& frame);

// Decides isHole for every contour and returns the net area (outer contours
// add, holes subtract), in double. A contour inside no other contour is never
// a hole. Inside another, it is a hole when the material lies outside it:
// the face normals of its segments (pointing away from the material) vote,
// weighted by length; when the outer contours of the section all vote the
// wrong way round the mesh is taken to be inside out. Contours without a
// usable vote (bridges only) are holes at odd nesting depth.
double classifyContours(QList<SectionContour>& contours, const SectionFrame& frame);
