#pragma once

#include <vector>

// Helpers on a planar straight-line graph given as flat arrays: points as
// x, y pairs (double) and segments as pairs of zero-based point indices.

// Merges points with equal coordinates (-0 and +0 alike) into the first of
// them, keeping first-seen order. Returns, for every input point, the index
// it has in the merged list. O(n) expected.
std::vector<int> mergeRepeatedPoints(std::vector<double>& points);

// Whether two segments may cross or touch anywhere other than at a shared
// end point (a shared index: call it on merged points). Exact in one
// direction: false proves that no two segments meet, since every sign it
// trusts is far above the rounding error of its formula; true may be a
// doubtful pair. A point lying on another segment, collinear overlaps and
// crossings all count. A sweep over x: about O(n log n) for contours.
bool mayHaveCrossings(const std::vector<double>& points, const std::vector<int>& segments);

// False only when the segments ab and cd certainly do not meet (one lies on
// one side of the other's line by far more than the rounding of the test);
// a, b, c, d are x, y pairs.
bool segmentsMayMeet(const double* a, const double* b, const double* c, const double* d);

// True when some point lies off the line through two distinct points: the
// graph's points span an area.
bool spansArea(const std::vector<double>& points);
