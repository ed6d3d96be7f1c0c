#pragma once

#include <QList>
#include <QVector>

#include "engine/cut_plane.h"
#include "sections/section_plane.h"

class TriMesh;

// Ridge and valley lines from principal curvature, cut into straight pieces.

// Segments of the ridge (or valley) lines of `mesh`, traced triangle by
// triangle over its strips when it has them, else over its faces in order:
// entries 2k and 2k+1 of `points` form one segment, `normals` holds the mean
// vertex normal of the triangle it came from, twice. `mesh` needs normals,
// principal curvatures and their derivatives.
void traceCurvatureLines(const TriMesh& mesh, bool ridge, float threshold, QVector<Vec3>& points,
                         QVector<Vec3>& normals);

// Axis through the piece: direction of largest spread of its points, centred
// at the length-weighted midpoint; halfLength is half the total length. A piece
// of zero length gets its first point and a zero direction.
Axis fitAxis(const QList<SectionSegment>& segments);
// The same for segments[begin .. begin + count).
Axis fitAxis(const QList<SectionSegment>& segments, int begin, int count);

// Distance of x from the line through axis.point along axis.direction (0 for a
// zero direction... the distance from the point then).
float pointLineDistance(const Vec3& x, const Axis& axis);

// Cuts a polyline into pieces that are straight within `tolerance`
// (length-weighted distance of the starts from the fitted axis). Straight
// tails produce no piece. Greedy growth from each start; a scan that reaches
// the end without a cut starts again one segment later. Running sums bound
// the error of a piece in constant time, so only pieces near the tolerance
// are measured segment by segment: near-linear in the chain length.
void splitPolyline(const QList<SectionSegment>& segments, float tolerance, QList<Axis>& axesOut,
                   QList<QList<SectionSegment>>& piecesOut);
// The same pieces and axes, measuring every grown piece segment by segment
// (cubic on long straight chains): the yardstick for tests and benchmarks.
void splitPolylinePlain(const QList<SectionSegment>& segments, float tolerance, QList<Axis>& axesOut,
                        QList<QList<SectionSegment>>& piecesOut);
