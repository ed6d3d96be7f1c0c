#pragma once

#include <QList>
#include <QVector>

#include "sections/section_plane.h"

class RenderMesh;

// Plain scans of the crossing test over every face, of duplicate removal and
// of chaining by distance. They define the results that computeSegments,
// removeDuplicateSegments and linkSegments must reproduce exactly; the tests
// and the benchmark compare against them. Not used by the engine.

void computeSegmentsReference(SectionPlane& plane, const RenderMesh& mesh, const QVector<int>& faceSegment,
                              bool useSegmentation);

void removeDuplicateSegmentsReference(QList<SectionSegment>& segments);

void linkSegmentsReference(QList<SectionSegment>& segments, QList<SectionContour>& contours);
