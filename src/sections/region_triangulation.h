#pragma once

#include <string>
#include <vector>

#include "sections/contour_area.h"

// Triangulates a region of the plane bounded by closed polygons.
//
// polygons[c].xy is a closed polygon as x, y pairs (the closing edge runs
// from the last point back to the first; it may touch or cross itself and
// the other polygons); weights[c] is what it adds where it encloses a point:
// +1 for a boundary with the material inside, -1 for a hole, 0 when it takes
// no part. A polygon encloses a point when a ray from the point crosses its
// edges an odd number of times, and the region is where the weights of the
// enclosing polygons add up above 0: an island in a hole counts, two outer
// polygons that overlap cover their union once, and a hole larger than what
// holds it removes no more than there is.
//
// Method: the polygons' edges become one planar straight-line graph (equal
// points merged; an edge that a polygon runs along an even number of times
// bounds nothing and is dropped). When two edges might cross or touch, the
// graph is snap-rounded onto a grid about 2^-32 of its extent, so the graph
// handed to the constrained Delaunay triangulation is always valid: no
// crossings, no point on a segment, no hole points. Every triangle lies in
// one face of the graph; faces are told apart by walking across the
// triangles' shared edges, starting from the outside, and a face's polygons
// are those whose edges were crossed an odd number of times on the way.
//
// On return outPoints holds x, y pairs and outTriangles three point indices
// per triangle, counter-clockwise, covering the region and nothing else.
// Returns false (outputs empty, `why` says what happened) when the graph
// could not be triangulated, or when more than 2^22 + 256 per segment pairs
// of its segments have overlapping boxes (the work would grow with the
// square of the segment count); a region without area gives true and nothing.
bool triangulateRegion(const std::vector<ContourPolygon>& polygons, const std::vector<int>& weights,
                       std::vector<double>& outPoints, std::vector<int>& outTriangles, std::string* why = nullptr);
