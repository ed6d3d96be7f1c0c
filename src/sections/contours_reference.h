#pragma once

#include <QList>
#include <QVector>
#include <cstdint>
#include <vector>

#include "sections/section_plane.h"
#include "sections/section_topology.h"

class RenderMesh;

// Plain scans of the crossing test over every face, of duplicate removal, of
// chaining by distance and of chaining through the mesh. They define the
// results that computeSegments, removeDuplicateSegments, linkSegments and
// chainThroughMesh (where at most eight ends meet at one place, or more that
// alternate between arriving and leaving segments) must reproduce exactly;
// the tests and the benchmark compare against them. Not used by the engine.

void computeSegmentsReference(SectionPlane& plane, const RenderMesh& mesh, const QVector<int>& faceSegment,
                              bool useSegmentation);

void removeDuplicateSegmentsReference(QList<SectionSegment>& segments);

void linkSegmentsReference(QList<SectionSegment>& segments, QList<SectionContour>& contours);

// Chaining through the mesh as chainThroughMesh describes it, with the
// sharpest left turn taken at every place whatever the number of ends there:
// each step scans every segment, O(n^2).
std::vector<SegmentChain> chainThroughMeshReference(QList<SectionSegment>& segments, std::vector<uint64_t>& places,
                                                    const std::vector<int>& subset, const Vec3& normal);
