#pragma once

#include <QList>

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

// Rebuilds plane.contours and plane.area from plane.segments: chains the
// segments end to start within joinTolerance (flipping entries of
// plane.segments in place where a segment is taken the other way round),
// closes the open chains in segmentation mode, marks holes and sums the area
// of the closed contours (holes subtract). Works on any plane record, also
// scratch ones holding polyline pieces that do not come from a mesh cut.
void chainContours(SectionPlane& plane, const SectionOptions& options);

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
// contour and returns the net area in the frame (r1, r2).
float finishContours(QList<SectionContour>& contours, const Vec3& r1, const Vec3& r2, const SectionOptions& options);

// Closing of open contours alone (segmentation mode), see finishContours.
void closeOpenContours(QList<SectionContour>& contours, const SectionOptions& options);
