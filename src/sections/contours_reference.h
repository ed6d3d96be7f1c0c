#pragma once

#include <QList>

#include "sections/section_plane.h"

// Plain quadratic scans of duplicate removal and chaining. They define the
// results that removeDuplicateSegments and linkSegments must reproduce
// exactly; the tests and the benchmark compare against them. Not used by the
// engine.

void removeDuplicateSegmentsReference(QList<SectionSegment>& segments);

void linkSegmentsReference(QList<SectionSegment>& segments, QList<SectionContour>& contours);
