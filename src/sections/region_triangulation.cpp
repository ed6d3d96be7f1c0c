#include "sections/region_triangulation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <numeric>
#include <utility>

#include "sections/crossing_split.h"
#include "sections/planar_graph.h"
#include "sections/planar_triangulation.h"
#include "sections/snap_rounding.h"

namespace {

// The budget of segment pairs with overlapping boxes: a base plus an
// allowance per segment, far above what a section of a real surface has.
constexpr size_t kOverlapBudgetBase = size_t(1) << 22;
constexpr size_t kOverlapBudgetPerSegment = 256;

uint64_t edgeKey(int a, int b) {
  if (a > b) std::swap(a, b);
  return (uint64_t(uint32_t(a)) << 32) | uint32_t(b);
}
int keyLow(uint64_t key) { return int(key >> 32); }
int keyHigh(uint64_t key) { return int(key & 0xffffffffu); }

// The graph handed to the triangulation: segments (a < b, sorted, each once)
// and, for segment k, the polygons whose boundary crosses it an odd number of
// times: toggles[toggleStart[k] .. toggleStart[k + 1]), ascending.
struct Graph {
  std::vector<double> points;
  std::vector<int> segments;
  std::vector<int> toggleStart, toggles;

  int segmentCount() const { return int(segments.size() / 2); }
};

// Builds the segments from (edge key, polygon) pairs: each undirected edge
// once, with the polygons that run along it an odd number of times. Edges no
// polygon runs along an odd number of times separate nothing and are left
// out. O(E log E).
void collectSegments(std::vector<std::pair<uint64_t, int>>& runs, Graph& g) {
  std::sort(runs.begin(), runs.end());
  g.segments.clear();
  g.toggleStart.assign(1, 0);
  g.toggles.clear();
  size_t i = 0;
  while (i < runs.size()) {
    const uint64_t key = runs[i].first;
    const size_t first = g.toggles.size();
    while (i < runs.size() && runs[i].first == key) {
      size_t j = i;
      while (j < runs.size() && runs[j] == runs[i]) ++j;
      if ((j - i) % 2 == 1) g.toggles.push_back(runs[i].second);
      i = j;
    }
    if (g.toggles.size() == first) continue;
    g.segments.push_back(keyLow(key));
    g.segments.push_back(keyHigh(key));
    g.toggleStart.push_back(int(g.toggles.size()));
  }
}

// Drops the points no segment uses and renumbers the segments (in point
// order, so that a < b still holds).
void dropUnusedPoints(Graph& g) {
  const int n = int(g.points.size() / 2);
  std::vector<int> index(size_t(n), -1);
  for (int v : g.segments) index[size_t(v)] = 0;
  std::vector<double> kept;
  int next = 0;
  for (int k = 0; k < n; ++k) {
    if (index[size_t(k)] < 0) continue;
    index[size_t(k)] = next++;
    kept.push_back(g.points[2 * size_t(k)]);
    kept.push_back(g.points[2 * size_t(k) + 1]);
  }
  g.points.swap(kept);
  for (int& v : g.segments) v = index[size_t(v)];
}

// Rebuilds the graph from chains of new points, one chain per segment: each
// piece of a chain toggles the polygons its segment toggled.
void rebuildFromChains(Graph& g, std::vector<double>& points, const std::vector<int>& chainStart,
                       const std::vector<int>& chainPoints) {
  const std::vector<int> merged = mergeRepeatedPoints(points);
  std::vector<std::pair<uint64_t, int>> runs;
  for (int k = 0; k < g.segmentCount(); ++k)
    for (int c = chainStart[size_t(k)]; c + 1 < chainStart[size_t(k) + 1]; ++c) {
      const int a = merged[size_t(chainPoints[size_t(c)])], b = merged[size_t(chainPoints[size_t(c) + 1])];
      if (a == b) continue;
      for (int t = g.toggleStart[size_t(k)]; t < g.toggleStart[size_t(k) + 1]; ++t)
        runs.emplace_back(edgeKey(a, b), g.toggles[size_t(t)]);
    }
  g.points.swap(points);
  collectSegments(runs, g);
  dropUnusedPoints(g);
}

// Splits the segments where they cross, touch or overlap.
void splitCrossings(Graph& g) {
  std::vector<double> points;
  std::vector<int> chainStart, chainPoints;
  splitAtCrossings(g.points, g.segments, points, chainStart, chainPoints);
  rebuildFromChains(g, points, chainStart, chainPoints);
}

// Rounds the graph onto a grid fine against its extent (coordinates are
// about the origin, so the cell centres are exact). False when the grid
// cannot hold the coordinates.
bool snapRound(Graph& g) {
  double reach = 0.0;
  for (double v : g.points) reach = std::max(reach, std::fabs(v));
  if (!(reach > 0.0)) return false;
  const double cell = std::ldexp(1.0, std::ilogb(reach) + 1 - 32);
  std::vector<double> points;
  std::vector<int> chainStart, chainPoints;
  if (!snapRoundGraph(g.points, g.segments, cell, points, chainStart, chainPoints)) return false;
  rebuildFromChains(g, points, chainStart, chainPoints);
  return true;
}

int findRoot(std::vector<int>& parent, int x) {
  while (parent[size_t(x)] != x) {
    parent[size_t(x)] = parent[size_t(parent[size_t(x)])];
    x = parent[size_t(x)];
  }
  return x;
}

// Marks the triangles that lie in the region. The triangles form faces,
// joined across edges that are not segments; crossing segment k from one
// face to the next toggles its polygons. The outside of the triangulation
// (what the library removed beyond the outermost segments) lies in no
// polygon. False when the faces cannot be given one consistent set of
// polygons (a triangulation that does not respect its segments).
bool classifyTriangles(const Graph& g, const std::vector<int>& triangles, const std::vector<int>& weights,
                       std::vector<char>& inRegion) {
  const int count = int(triangles.size() / 3);
  // Every edge once in an open-addressing table: the segment it is (-1 for
  // none) and the triangles on its two sides. O(n) expected.
  struct Slot {
    uint64_t key = 0;  // 0: empty (a key has a < b, so it is never 0)
    int segment = -1, t1 = -1, t2 = -1;
  };
  size_t size = 16;
  while (size < 2 * (triangles.size() + g.segments.size() / 2)) size *= 2;
  std::vector<Slot> table(size);
  auto slotOf = [&](uint64_t key) -> Slot& {
    uint64_t h = key * 0x9E3779B97F4A7C15ull;
    h ^= h >> 31;
    size_t i = size_t(h) & (size - 1);
    while (table[i].key != 0 && table[i].key != key) i = (i + 1) & (size - 1);
    table[i].key = key;
    return table[i];
  };
  for (int k = 0; k < g.segmentCount(); ++k)
    slotOf(edgeKey(g.segments[2 * size_t(k)], g.segments[2 * size_t(k) + 1])).segment = k;
  for (int t = 0; t < count; ++t)
    for (int s = 0; s < 3; ++s) {
      Slot& e = slotOf(edgeKey(triangles[3 * size_t(t) + size_t(s)], triangles[3 * size_t(t) + size_t((s + 1) % 3)]));
      if (e.t1 < 0)
        e.t1 = t;
      else if (e.t2 < 0)
        e.t2 = t;
      else
        return false;  // an edge with more than two triangles
    }

  // Faces: triangles joined across edges that are not segments.
  std::vector<int> parent(static_cast<size_t>(count));
  std::iota(parent.begin(), parent.end(), 0);
  struct Crossing {
    int t1, t2, segment;  // t2 = -1: the outside
  };
  std::vector<Crossing> crossings;
  std::vector<int> openSides;  // triangles with an edge to the outside that is no segment
  for (const Slot& e : table) {
    if (e.key == 0 || e.t1 < 0) continue;  // empty, or a segment the library removed with the outside
    if (e.segment >= 0)
      crossings.push_back(Crossing{e.t1, e.t2, e.segment});
    else if (e.t2 >= 0)
      parent[size_t(findRoot(parent, e.t1))] = findRoot(parent, e.t2);
    else
      openSides.push_back(e.t1);
  }

  // Each face's polygons, spread from the outside across the segments.
  std::vector<std::vector<std::pair<int, int>>> links(static_cast<size_t>(count));  // per root: (other root, segment)
  std::vector<std::vector<int>> polygons(static_cast<size_t>(count));
  std::vector<char> known(static_cast<size_t>(count), 0);
  std::vector<int> queue;
  auto toggled = [&](const std::vector<int>& from, int k) {
    std::vector<int> out;
    std::set_symmetric_difference(from.begin(), from.end(), g.toggles.begin() + g.toggleStart[size_t(k)],
                                  g.toggles.begin() + g.toggleStart[size_t(k) + 1], std::back_inserter(out));
    return out;
  };
  auto reach = [&](int face, std::vector<int>&& set) {
    if (known[size_t(face)]) return polygons[size_t(face)] == set;
    known[size_t(face)] = 1;
    polygons[size_t(face)] = std::move(set);
    queue.push_back(face);
    return true;
  };
  const std::vector<int> none;
  for (int t : openSides)
    if (!reach(findRoot(parent, t), std::vector<int>())) return false;
  for (const Crossing& c : crossings) {
    const int f1 = findRoot(parent, c.t1);
    if (c.t2 < 0) {
      if (!reach(f1, toggled(none, c.segment))) return false;
    } else {
      const int f2 = findRoot(parent, c.t2);
      links[size_t(f1)].emplace_back(f2, c.segment);
      links[size_t(f2)].emplace_back(f1, c.segment);
    }
  }
  for (size_t q = 0; q < queue.size(); ++q) {
    const int face = queue[q];
    for (const auto& link : links[size_t(face)])
      if (!reach(link.first, toggled(polygons[size_t(face)], link.second))) return false;
  }

  inRegion.assign(size_t(count), 0);
  for (int t = 0; t < count; ++t) {
    const int face = findRoot(parent, t);
    if (!known[size_t(face)]) return false;  // a face cut off from the outside
    int sum = 0;
    for (int c : polygons[size_t(face)]) sum += weights[size_t(c)];
    inRegion[size_t(t)] = sum > 0 ? 1 : 0;
  }
  return true;
}

bool fail(std::string* why, const char* text, std::vector<double>& outPoints, std::vector<int>& outTriangles) {
  if (why) *why = text;
  outPoints.clear();
  outTriangles.clear();
  return false;
}

}  // namespace

bool triangulateRegion(const std::vector<ContourPolygon>& polygons, const std::vector<int>& weights,
                       std::vector<double>& outPoints, std::vector<int>& outTriangles, std::string* why) {
  outPoints.clear();
  outTriangles.clear();
  if (why) why->clear();

  // The polygons' points, about the middle of their box: the grid of the
  // rounding then needs no more bits than the extent.
  auto takesPart = [&](size_t c) { return c < weights.size() && weights[c] != 0 && polygons[c].size() >= 3; };
  Graph g;
  std::vector<int> first(polygons.size(), 0);
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (size_t c = 0; c < polygons.size(); ++c) {
    first[c] = int(g.points.size() / 2);
    if (!takesPart(c)) continue;
    for (size_t k = 0; k + 1 < polygons[c].xy.size(); k += 2) {
      const double x = polygons[c].xy[k], y = polygons[c].xy[k + 1];
      if (!std::isfinite(x) || !std::isfinite(y))
        return fail(why, "a contour point is not finite", outPoints, outTriangles);
      const bool any = !g.points.empty();
      minX = any ? std::min(minX, x) : x, maxX = any ? std::max(maxX, x) : x;
      minY = any ? std::min(minY, y) : y, maxY = any ? std::max(maxY, y) : y;
      g.points.push_back(x);
      g.points.push_back(y);
    }
  }
  if (g.points.empty()) return true;
  const double cx = 0.5 * (minX + maxX), cy = 0.5 * (minY + maxY);
  for (size_t k = 0; k + 1 < g.points.size(); k += 2) g.points[k] -= cx, g.points[k + 1] -= cy;
  const std::vector<int> merged = mergeRepeatedPoints(g.points);
  std::vector<std::pair<uint64_t, int>> runs;
  for (size_t c = 0; c < polygons.size(); ++c) {
    if (!takesPart(c)) continue;
    const int m = polygons[c].size();
    for (int k = 0; k < m; ++k) {
      const int a = merged[size_t(first[c] + k)], b = merged[size_t(first[c] + (k + 1) % m)];
      if (a != b) runs.emplace_back(edgeKey(a, b), int(c));
    }
  }
  collectSegments(runs, g);
  dropUnusedPoints(g);
  if (g.points.size() < 6 || !spansArea(g.points)) return true;

  // Checking and splitting crossings costs time in the number of segment
  // pairs whose boxes overlap. Contours have a few per segment; thousands of
  // long edges over each other (the section of a fan of triangles on one
  // edge) have a number that grows with the square of their count, and so
  // would the work, so such a graph is refused.
  const size_t pairLimit = kOverlapBudgetBase + kOverlapBudgetPerSegment * size_t(g.segmentCount());
  if (countOverlappingPairs(g.points, g.segments, pairLimit) >= pairLimit)
    return fail(why, "the contours' edges lie over each other too densely to triangulate", outPoints,
                outTriangles);

  // Contours that cross, touch or overlap: split where they meet; where the
  // rounding of the new points leaves doubt, round everything onto a grid.
  auto empty = [](const Graph& h) { return h.points.size() < 6 || !spansArea(h.points); };
  ProvenGraph proven;
  if (!proveGraph(g.points, g.segments, proven)) {
    Graph split = g;
    splitCrossings(split);
    if (empty(split)) return true;
    if (proveGraph(split.points, split.segments, proven)) {
      g = std::move(split);
    } else {
      if (!snapRound(g)) return fail(why, "crossing contours could not be rounded", outPoints, outTriangles);
      if (empty(g)) return true;
      if (!proveGraph(g.points, g.segments, proven))
        return fail(why, "crossing contours could not be resolved", outPoints, outTriangles);
    }
  }

  std::vector<double> points;
  std::vector<int> triangles;
  triangulateProvenGraph(proven, points, triangles);
  // Without crossings the library adds no point, and the segments are edges
  // between the same indices.
  if (points.size() != g.points.size()) return fail(why, "the triangulation added points", outPoints, outTriangles);
  std::vector<char> inRegion;
  if (!classifyTriangles(g, triangles, weights, inRegion))
    return fail(why, "the triangulation does not follow the contours", outPoints, outTriangles);

  outPoints.resize(points.size());
  for (size_t k = 0; k + 1 < points.size(); k += 2) {
    outPoints[k] = points[k] + cx;
    outPoints[k + 1] = points[k + 1] + cy;
  }
  for (size_t t = 0; t < inRegion.size(); ++t)
    if (inRegion[t]) outTriangles.insert(outTriangles.end(), triangles.begin() + 3 * t, triangles.begin() + 3 * t + 3);
  return true;
}
