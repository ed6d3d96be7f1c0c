#pragma once

#include <vector>

// Constrained Delaunay triangulation of a planar straight-line graph by the
// Triangle library, switches "pzQ": the triangles inside the region bounded by
// the segments, with the regions around the hole points carved away. This is
// the one door to the library.
//
// points: x, y pairs; segments: pairs of zero-based point indices; holes: x, y
// pairs. On return outPoints holds Triangle's output points (the input points
// first, repeated ones merged, then any it added where segments cross) and
// outTriangles three point indices per triangle.
//
// Input Triangle cannot take without ending the process is refused (returns
// false, outputs empty): a non-finite coordinate or one beyond the float
// range, a segment index out of range, fewer than three points, or all points
// on one line (which has no triangles anyway). Repeated points are merged
// before the call. Only a graph proven valid runs in this process: no hole
// points, and no two segments that may cross or touch away from a shared end.
// Anything else is triangulated in a child process, because the library can
// crash, end the process or hang while it resolves crossings or carves
// holes; if the child fails, takes longer than 10 s or needs more than 1 GiB
// the result is false. Calls in this process are serialised: the library
// keeps global state.
// A graph Triangle can take in this process: at least three distinct points
// that span an area, every coordinate finite and within the float range,
// segments between two different points in range, and no two segments that
// may cross or touch away from a shared end. Made only by proveGraph, which
// checks all of it.
class ProvenGraph {
 public:
  const std::vector<double>& points() const { return points_; }
  const std::vector<int>& segments() const { return segments_; }

 private:
  friend bool proveGraph(std::vector<double> points, std::vector<int> segments, ProvenGraph& out);
  std::vector<double> points_;
  std::vector<int> segments_;
};

// Checks a graph (no merging: repeated points fail) and, when it is proven,
// moves it into `out`. O(n log n) for contours.
bool proveGraph(std::vector<double> points, std::vector<int> segments, ProvenGraph& out);

// The triangulation of a proven graph, in this process: outPoints are the
// graph's points (the library adds none where no segments cross) and
// outTriangles three point indices per triangle, counter-clockwise.
void triangulateProvenGraph(const ProvenGraph& graph, std::vector<double>& outPoints, std::vector<int>& outTriangles);

bool triangulateGraph(const std::vector<double>& points, const std::vector<int>& segments,
                      const std::vector<double>& holes, std::vector<double>& outPoints, std::vector<int>& outTriangles);
