#pragma once

// The shape diameter function segmentation of CGAL on a triangle soup. This
// is the only file pair that includes CGAL's 3-D mesh headers (they compile
// slowly); it takes and gives standard containers only.
//
// WARNING: CGAL may assert, throw or run long on hostile input. Call this only
// through computeAutoSegmentation (model/auto_segmentation.h), which runs it
// in a child process with time and memory limits.

#include <string>
#include <vector>

namespace sdfseg {

struct Params {
  int rays = 25;              // rays cast into the cone of each face
  double coneAngle = 2.0944;  // opening angle of that cone, radians (CGAL's default, 2/3 pi)
  int clusters = 5;           // levels of the shape diameter mixture fitted before the graph cut
  double smoothing = 0.26;    // weight of the surface's dihedral angles in the graph cut, in [0, 1]
};

struct Result {
  // The mesh that was segmented: the soup repaired, made manifold and
  // oriented outward. Per face: its centroid and unit normal (three floats
  // each; a zero normal for a face without area) and its segment id.
  std::vector<float> centroids;
  std::vector<float> normals;
  std::vector<int> faceSegment;  // 0 .. segmentCount - 1
  int segmentCount = 0;
  // No ray cast from the surface met it again (an open sheet, say): the
  // shape diameter is undefined and every face is in segment 0.
  bool noInside = false;
};

// Repairs the soup (`points`: three coordinates each; `triangles`: three
// point indices each) with CGAL's polygon soup functions (merged duplicate
// points, no degenerate or duplicate triangles, non-manifold vertices
// duplicated, consistent orientation), turns it into a surface mesh whose
// connected components face outward (by the sign of their enclosed volume),
// computes the shape diameter of every face and segments the mesh by it.
// Segments are connected. False, with a reason in `why`, when nothing of the
// soup is left or it cannot be made a mesh.
bool segmentSoup(const std::vector<double>& points, const std::vector<int>& triangles, const Params& params,
                 Result& out, std::string& why);

}  // namespace sdfseg
