#pragma once

#include "sections/section_plane.h"

// Replaces plane.triangles by a triangulation of the region enclosed by the
// plane's contours. Every contour whose polygon has at least three points
// takes part (the polygons of contourPolygon: the same contours and closing
// as the area), each closed in the graph whether or not its isClosed flag is
// set. Every hole contour contributes one point proven to lie inside it and in
// no material (holePoint). Triangles of zero area are not kept; a slab
// without area has no triangles. The 2-D frame is that of SectionFrame
// (r1 / |r1|, r2 / |r2| around o = normal * (normal . point)); the triangle
// corners are lifted back as o + x r1' + y r2', in the order the
// triangulation returns them.
//
// `area`, when given, receives the slab's area (0 without triangles).
// Returns false when the triangulation could not be made (non-finite plane
// coordinates, or the library failed on crossing contours); the slab is then
// empty and a debug line says why.
bool triangulateSlab(SectionPlane& plane, double* area = nullptr);
