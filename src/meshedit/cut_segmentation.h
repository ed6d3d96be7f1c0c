#pragma once

#include <QList>
#include <QVector>
#include <functional>

#include "sections/section_plane.h"

// Number of segments a cut is split into: the largest id in `faceSegment`
// (at least 0) plus one, or 1 for an empty list.
int cutSegmentCount(const QVector<int>& faceSegment);

// The segment ids a cut is split into, increasing: those of 0 ..
// cutSegmentCount - 1 that some face carries ({0} for an empty list). Ids
// no face carries cannot give a section, so they are not tried.
QVector<int> cutSegmentIds(const QVector<int>& faceSegment);

// Splits every plane along the mesh segmentation. For each plane in list
// order (debug line "Working cut  i  across segments. ") and each id s of
// cutSegmentIds in increasing order, a new plane gets a copy of the plane's
// head (the CutPlane part) with segmentIndex s, empty lists, area 0 and no
// votes; `updateSection` computes its section, which the caller restricts to
// segment s. It is kept when its slab has at least one triangle. Annotations
// are not carried over.
QList<SectionPlane> splitPlanesBySegment(const QList<SectionPlane>& planes, const QVector<int>& faceSegment,
                                         const std::function<void(SectionPlane&)>& updateSection);
