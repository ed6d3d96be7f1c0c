#pragma once

#include <vector>

// Constrained Delaunay triangulation of a planar straight-line graph by the
// Triangle library, switches "pzQ": the triangles inside the region bounded by
// the segments, with the regions around the hole points carved away.
//
// points: x, y pairs; segments: pairs of zero-based point indices; holes: x, y
// pairs. On return outPoints holds Triangle's output points (the input points
// first, then any it added where segments cross) and outTriangles three point
// indices per triangle.
//
// Input Triangle cannot take without ending the process is refused (returns
// false, outputs empty): a non-finite coordinate or one beyond the float
// range, a segment index out of range, fewer than three points, or all points
// on one line (which has no triangles anyway). Repeated points are merged
// before the call (Triangle mishandles segments that end at a repeated point).
// A graph whose segments may cross or touch away from their shared ends is
// triangulated in a child process, because Triangle can end the process (or
// hang) while it resolves such crossings; if the child fails or takes longer
// than 10 s the result is false. Calls in this process are serialised: the
// library keeps global state.
bool triangulateGraph(const std::vector<double>& points, const std::vector<int>& segments,
                      const std::vector<double>& holes, std::vector<double>& outPoints, std::vector<int>& outTriangles);
