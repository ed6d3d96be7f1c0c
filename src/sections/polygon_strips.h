#pragma once

#include <vector>

#include "sections/contour_area.h"

// The edges of one ContourPolygon sorted into horizontal strips, for many
// even-odd tests against the same long polygon. An edge is listed in every
// strip its y range meets; edges with both ends at the same y are left out,
// as they never span a ray. A test at (x, y) then walks only the edges of
// the strip that holds y: O(edges near the line y) instead of O(edges).
//
// contains(polygon, x, y) gives exactly ContourPolygon::contains(x, y) for
// the polygon the strips were built from, for every x and y (boundary,
// corners, non-finite numbers), as it tests the same edges that can cross
// the ray, each by crossesRayRight. Memory: at most about nine ints per edge.
class PolygonStrips {
 public:
  PolygonStrips() = default;
  explicit PolygonStrips(const ContourPolygon& polygon);

  bool contains(const ContourPolygon& polygon, double x, double y) const;
  bool built() const { return !start_.empty(); }

 private:
  int strip(double y) const;

  double y0_ = 0, y1_ = 0, scale_ = 0;
  int strips_ = 0;
  std::vector<int> start_;  // strips_ + 1 offsets into edges_
  std::vector<int> edges_;  // edge i runs from point i - 1 (the last for 0) to point i
};
