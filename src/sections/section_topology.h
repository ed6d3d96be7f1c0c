#pragma once

#include <QList>
#include <cstdint>
#include <vector>

#include "sections/section_plane.h"

class RenderMesh;

// Where a segment end lies on the mesh: on a crossed edge (between two
// vertices strictly on either side of the plane) or at a vertex in the plane.
// Two crossing segments are consecutive exactly when they share such a place.
constexpr uint64_t kNoPlace = ~uint64_t(0);

// Places of the ends of plane.segments: places[2i] for the start of segment i,
// places[2i + 1] for its end. A segment that is not the crossing of its face
// with this plane (bit for bit, either way round) gets kNoPlace at both ends;
// such ends are joined by distance only.
std::vector<uint64_t> segmentPlaces(const SectionPlane& plane, const RenderMesh& mesh);

// One chain of segments, by index into the plane's segment list, in order.
struct SegmentChain {
  std::vector<int> ids;
  bool closed = false;
};

// Chains the segments `subset` (indices into `segments`) through their
// places. Each segment with a face normal is first turned so that the
// material lies on its left (seen along `normal`), then chains grow from the
// lowest unused index, forwards and then backwards, through shared places. A
// chain that returns to its first place is closed. Turned segments are
// written back into `segments` (and `places`).
//
// Where more than two segments meet, the way on is chosen in one of two ways:
// - At most eight ends (a vertex of an ordinary surface lying in the plane,
//   a small fan of faces round one edge): the sharpest left turn among the
//   unused segments there, measured as the chain arrives (then the lower
//   index).
// - More ends (an edge or vertex that many faces share, such as the edge of
//   a fan of triangles): the ends are paired once, from their clockwise order
//   round the place. Every leaving end is paired with the nearest unpaired
//   arriving end anticlockwise of it, as brackets are paired; where arriving
//   and leaving ends alternate round the place, that is the sharpest left
//   turn again (up to the rounding of nearly equal directions). The ends left
//   over all arrive or all leave; each is paired with its clockwise
//   neighbour, one of the two turned round, in the phase whose pairs enclose
//   the smallest total angle (with an odd count one end stays single). So a
//   fan gives thin wedges between neighbouring faces, whatever the order of
//   its faces.
// O(n log n) for n segments.
std::vector<SegmentChain> chainThroughMesh(QList<SectionSegment>& segments, std::vector<uint64_t>& places,
                                           const std::vector<int>& subset, const Vec3& normal);
