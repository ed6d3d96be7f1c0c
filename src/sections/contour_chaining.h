#pragma once

#include <QList>
#include <QVector>
#include <cstdint>
#include <vector>

#include "sections/section_plane.h"

// Engine settings that steer the contour step.
struct SectionOptions {
  // Restrict the cut to plane.segmentIndex and close the open chains.
  bool useSegmentation = false;
  // Close gaps with Hermite curves instead of straight segments.
  bool hermiteInterp = true;
  // Tangent length factor of the Hermite bridges.
  float hermiteTanFactor = 1.0f;
};

class RenderMesh;

// Rebuilds plane.contours and plane.area from plane.segments, chaining by
// distance alone: for records that do not come from a cut of the mesh (the
// ridge and valley chainers) or when there is no mesh. Segments are chained
// end to start within joinTolerance (flipping entries of plane.segments in
// place where a segment is taken the other way round), open chains are
// closed in segmentation mode, and holes and area follow classifyContours.
void chainContours(SectionPlane& plane, const SectionOptions& options);

// The same for a section of `mesh`: segments are consecutive when they cross
// the same mesh edge or pass through the same vertex, so a section of a
// closed manifold mesh is a set of closed loops whatever the size of its
// faces. Only the ends the mesh leaves open (its boundary, non-manifold
// places, faces left out of the cut) are joined by distance. In segmentation
// mode each mesh segment's crossings are chained, closed and measured on
// their own and the areas are summed.
void chainContours(SectionPlane& plane, const RenderMesh& mesh, const QVector<int>& faceSegment,
                   const SectionOptions& options);

// Chains the segments `subset` of `segments` through the mesh (places from
// segmentPlaces, turned ends written back) and joins the open chains by
// distance; appends the contours.
void linkSectionSegments(QList<SectionSegment>& segments, std::vector<uint64_t>& places, const std::vector<int>& subset,
                         const Vec3& normal, QList<SectionContour>& contours);

// The chaining step alone: rebuilds `contours` from `segments`. At every step
// the segment end nearest to the current chain's head or tail is taken (ties:
// the earlier segment, its start before its end; the tail wins over the head
// on equal distance) if it lies within joinTolerance; otherwise a new chain
// starts with the first segment not used yet. A chain whose ends meet is
// closed and the next one starts. Zero-length segments are consumed without
// being added. Candidates are found through a uniform grid of the segment
// ends, so the cost grows about linearly with the number of segments.
void linkSegments(QList<SectionSegment>& segments, QList<SectionContour>& contours);

// The steps after chaining: closes open contours when options.useSegmentation
// is on (joining partners whose tail or head lies within partnerRadius of the
// chain's tail, bridging the rest to themselves), then sets isHole on every
// contour and returns the net area in the plane's frame (classifyContours).
float finishContours(QList<SectionContour>& contours, const CutPlane& frame, const SectionOptions& options);

// Closing of open contours alone (segmentation mode), see finishContours.
void closeOpenContours(QList<SectionContour>& contours, const SectionOptions& options);
