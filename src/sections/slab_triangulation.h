#pragma once

#include "sections/section_plane.h"

// Replaces plane.triangles by a triangulation of the region enclosed by the
// plane's contours (triangulateRegion): every contour whose polygon has at
// least three points takes part (the polygons of contourPolygon: the same
// contours and closing as the area), each closed whether or not its isClosed
// flag is set; outer contours add material inside them and hole contours
// remove it, so crossing and overlapping contours are resolved as well.
// Triangles of zero area are not kept; a slab without area has no triangles.
// The 2-D frame is that of SectionFrame (r1 / |r1|, r2 / |r2| around
// o = normal * (normal . point)); the triangle corners are lifted back as
// o + x r1' + y r2', counter-clockwise in the frame.
//
// `area`, when given, receives the slab's area (0 without triangles).
// Returns false when the triangulation could not be made (non-finite plane
// coordinates, or contours the triangulation could not resolve); the slab is
// then empty and a debug line says why.
bool triangulateSlab(SectionPlane& plane, double* area = nullptr);
