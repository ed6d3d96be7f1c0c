#pragma once

#include "sections/section_plane.h"

// Replaces plane.triangles by a triangulation of the region enclosed by the
// plane's contours. Contours with at least four segments take part, each
// closed in the graph whether or not its isClosed flag is set; every hole
// contour contributes its bounding-box centre as a hole point. The 2-D frame
// is (r1 / |r1|, r2 / |r2|) around the origin o = normal * (normal . point);
// the triangle corners are lifted back as o + x r1' + y r2', in the order the
// triangulation returns them.
//
// When a contour point or hole point has no finite plane coordinates the slab
// is left empty (a debug line says so).
void triangulateSlab(SectionPlane& plane);
