#pragma once

#include <vector>

// Rounds a planar straight-line graph whose segments may cross, touch or
// overlap onto a square grid, so that what comes out can be triangulated as
// it stands (iterated snap rounding). The cells that hold an end point or a
// crossing are "hot"; every segment becomes the chain of the centres of the
// hot cells it passes through, in order along it, and this is repeated on
// the chains until no chain passes through a hot cell it does not visit.
// Crossings, points lying on segments and overlaps thus all become shared
// vertices and shared segments, and every vertex keeps half a cell of
// clearance from the chain pieces that do not end at it. The geometry
// (crossings, cells a segment passes through) is decided with exact
// arithmetic; points move by at most half a cell diagonal.
//
// points: x, y pairs; segments: pairs of point indices; cell: the grid's
// spacing, a power of two, with coordinates below 2^50 cells so that every
// cell centre is exact in double. On success outPoints holds the centres the
// chains pass through and, for input segment k, the chain is
// chainPoints[chainStart[k] .. chainStart[k + 1]) (indices into outPoints;
// a single point for a segment within one cell). False (outputs empty) when
// the input is not usable: a non-finite coordinate, or one beyond 2^50 cells.
//
// Cost: about O((n + k) log n + n h) for n segments, k crossings and h hot
// cells in a segment's box; it is meant for the few sections whose contours
// cross, not for every cut.
bool snapRoundGraph(const std::vector<double>& points, const std::vector<int>& segments, double cell,
                    std::vector<double>& outPoints, std::vector<int>& chainStart, std::vector<int>& chainPoints);
