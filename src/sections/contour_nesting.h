#pragma once

#include <vector>

#include "sections/contour_area.h"

// How many of the polygons hold each of a set of points: for every t, the
// number of polygons u in `members` other than members[t] whose box holds
// (x, y) = (points[2t], points[2t + 1]) and which contain it
// (ContourPolygon::boxContains and ContourPolygon::contains). `members` are
// indices into `polygons` of polygons that take part (finite points, at least
// three).
//
// A few polygons are tested pair by pair. With many, equal points are settled
// once (a degenerate frame maps every contour to one point), and the distinct
// points go through a quadtree over the polygons' box, split only where points
// are: each part keeps the edges that come near it, and a polygon none of
// whose edges comes near a part holds all of it or none of it, as it holds the
// part's centre; it is then counted once for all the points in that part. A
// part with one point or few edges left tests its points against the polygons
// whose edges are near. "Near" is by far more than the rounding of the
// crossing test, so a part away from a polygon's edges gets the answer that
// test gives at any of its points, and the counts are those of testing every
// pair. A polygon of many edges is tested through its strips (PolygonStrips),
// which give the same answer as its plain test. About O((E + P) log) for E
// edges and P points spread along them, also where many polygons meet at one
// point (the hub of a fan) and their boxes all overlap, which costs the
// pairwise test k^2 for k polygons.
std::vector<int> containingCounts(const std::vector<ContourPolygon>& polygons, const std::vector<int>& members,
                                  const std::vector<double>& points);
