#pragma once

#include <vector>

// Splits the segments of a planar straight-line graph where they cross,
// touch or overlap: a crossing becomes a new point (its coordinates rounded
// to double) shared by both segments, an end point lying on another segment
// splits that segment, and collinear segments that overlap are split at each
// other's ends so that the overlap becomes the same pieces. Whether segments
// meet is decided with exact predicates; only the new crossing points are
// rounded, so the result is usually, not always, free of crossings (the
// caller checks, and rounds onto a grid where it is not).
//
// points: x, y pairs; segments: pairs of point indices, on merged points.
// On return outPoints holds the input points followed by the crossings, and
// input segment k became the chain chainPoints[chainStart[k] ..
// chainStart[k + 1]) of point indices, in order from its first end to its
// second. Cost: O(n log n + m) for n segments and m pairs whose boxes
// overlap.
void splitAtCrossings(const std::vector<double>& points, const std::vector<int>& segments,
                      std::vector<double>& outPoints, std::vector<int>& chainStart, std::vector<int>& chainPoints);
