#pragma once

#include <algorithm>
#include <cstddef>
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

// Calls visit(j, k) once for every pair of segments j, k whose bounding
// boxes overlap (a sweep over x), until visit returns true; returns whether
// it did. About O(n log n + pairs) for contours.
template <typename Visit>
bool forEachOverlappingPair(const std::vector<double>& points, const std::vector<int>& segments, Visit visit) {
  struct Box {
    double minX, maxX, minY, maxY;
    int segment;
  };
  const size_t n = segments.size() / 2;
  std::vector<Box> boxes(n);
  for (size_t k = 0; k < n; ++k) {
    const size_t a = size_t(segments[2 * k]), b = size_t(segments[2 * k + 1]);
    boxes[k] =
        Box{std::min(points[2 * a], points[2 * b]), std::max(points[2 * a], points[2 * b]),
            std::min(points[2 * a + 1], points[2 * b + 1]), std::max(points[2 * a + 1], points[2 * b + 1]), int(k)};
  }
  std::sort(boxes.begin(), boxes.end(), [](const Box& x, const Box& y) { return x.minX < y.minX; });
  std::vector<size_t> active;
  for (size_t k = 0; k < n; ++k) {
    const Box& s = boxes[k];
    size_t w = 0;
    for (size_t r = 0; r < active.size(); ++r)
      if (boxes[active[r]].maxX >= s.minX) active[w++] = active[r];
    active.resize(w);
    for (size_t t : active) {
      const Box& o = boxes[t];
      if (o.maxY < s.minY || o.minY > s.maxY) continue;
      if (visit(s.segment, o.segment)) return true;
    }
    active.push_back(k);
  }
  return false;
}

// The number of segment pairs whose bounding boxes overlap, counted up to
// `limit` (the count stops there).
inline size_t countOverlappingPairs(const std::vector<double>& points, const std::vector<int>& segments,
                                    size_t limit) {
  size_t count = 0;
  if (limit == 0) return 0;
  forEachOverlappingPair(points, segments, [&](int, int) { return ++count >= limit; });
  return count;
}
