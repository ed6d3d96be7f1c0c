#pragma once

#include <QList>
#include <QVector>

#include "engine/cut_plane.h"
#include "engine/vec3.h"
#include "sections/section_plane.h"

class RenderMesh;

// Distances in model units.
// A crossing of length minSegmentLength or shorter is dropped.
constexpr float minSegmentLength = 1e-5f;
// Largest gap between chained segment ends, and between the ends of a contour
// that counts as closed.
constexpr float joinTolerance = 0.001f;
// Search radius when open contours are joined (segmentation mode only).
constexpr float partnerRadius = 0.5f;

// Crossing of the plane through `plane.point` with normal `plane.normal` and
// the triangle (q0, q1, q2). An edge crosses when its parameter lies in
// [0, 1]; an edge parallel to the plane never does. The end points come from
// the first two crossing edges in the order q0q1, q1q2, q2q0, except when the
// plane passes through q1 and all three edges cross: the two q1 crossings then
// coincide and the q0q1 / q2q0 pair is used so that the real crossing through
// the triangle is not lost.
bool intersectTriangle(const CutPlane& plane, const Vec3& q0, const Vec3& q1, const Vec3& q2, Vec3& a, Vec3& b);

// The same, also telling which edges the end points lie on: edge k runs from
// corner k to corner (k + 1) mod 3.
bool intersectTriangleEdges(const CutPlane& plane, const Vec3& q0, const Vec3& q1, const Vec3& q2, Vec3& a, Vec3& b,
                            int& edgeA, int& edgeB);

// Replaces plane.segments by the crossings of the plane with the mesh faces,
// in face order, followed by duplicate removal. With `useSegmentation` on, a
// non-empty `faceSegment` and a plane.segmentIndex other than kEverySegment,
// only faces whose id equals plane.segmentIndex are cut (a face without an id
// is skipped). Faces wholly on one side of the plane are passed over through
// the mesh's face tree; the result is that of testing every face. Faces with fewer than three indices or
// indices outside the vertex list are skipped; crossings shorter than
// minSegmentLength or with non-finite coordinates are dropped. A face without
// an entry in the mesh's faceNormals gets the normal (0, 0, 0).
void computeSegments(SectionPlane& plane, const RenderMesh& mesh, const QVector<int>& faceSegment,
                     bool useSegmentation);

// Removes every segment equal to an earlier kept one, either way round (all
// six coordinates compared exactly); the first occurrence stays and the order
// of the kept segments is unchanged. Expected O(n) through a hash set.
void removeDuplicateSegments(QList<SectionSegment>& segments);
