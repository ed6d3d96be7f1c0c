#include "sections/contour_chaining.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include <QHash>

#include "model/render_mesh.h"
#include "sections/contour_area.h"
#include "sections/contour_shape.h"
#include "sections/section_segments.h"
#include "sections/section_topology.h"

namespace {

// Uniform grid over the segment ends, hashed by cell. A query visits the
// cells overlapping the box of half-width joinTolerance around the point:
// one or two cells usually, at most eight.
class EndpointGrid {
 public:
  // points[id] with id = 2 * segment + (0 for start, 1 for end). Non-finite
  // points are left out: they are never within the tolerance of anything.
  explicit EndpointGrid(const std::vector<Vec3>& points) : points_(points) {
    size_t size = 16;
    while (size < points.size() * 2) size *= 2;  // load factor at most 1/2
    slots_.assign(size, Slot{kEmpty, 0, 0});
    mask_ = size - 1;

    // Count the points per cell, then lay the cells out one after the other.
    std::vector<uint32_t> slotOf(points.size(), kNoSlot);
    std::vector<uint32_t> used;
    for (size_t id = 0; id < points.size(); ++id) {
      const Vec3& p = points[id];
      if (!p.isFinite()) continue;
      const uint64_t key = packCell(cellCoord(p.x), cellCoord(p.y), cellCoord(p.z));
      size_t s = hash(key) & mask_;
      while (slots_[s].key != kEmpty && slots_[s].key != key) s = (s + 1) & mask_;
      if (slots_[s].key == kEmpty) used.push_back(uint32_t(s));
      slots_[s].key = key;
      ++slots_[s].liveEnd;  // count for now
      slotOf[id] = uint32_t(s);
    }
    uint32_t next = 0;
    for (uint32_t u : used) {
      Slot& slot = slots_[u];
      mostInOneCell_ = std::max(mostInOneCell_, size_t(slot.liveEnd));
      slot.begin = next;
      next += slot.liveEnd;
      slot.liveEnd = slot.begin;  // fill cursor
    }
    ids_.resize(next);
    for (size_t id = 0; id < points.size(); ++id)
      if (slotOf[id] != kNoSlot) ids_[slots_[slotOf[id]].liveEnd++] = uint32_t(id);
  }

  // The most ends in one cell: a query costs up to eight cells' worth.
  size_t mostInOneCell() const { return mostInOneCell_; }

  // The live end nearest to p with sqrt(d^2) < joinTolerance; on equal squared
  // distance the smaller id wins (earlier segment, start before end). Returns
  // false when there is none. Ends of used segments are dropped from their
  // cells as they are met.
  bool nearest(const Vec3& p, const std::vector<char>& alive, float& bestD2, uint32_t& bestId) {
    if (!p.isFinite()) return false;
    const int64_t x0 = cellCoord(double(p.x) - kReach), x1 = cellCoord(double(p.x) + kReach);
    const int64_t y0 = cellCoord(double(p.y) - kReach), y1 = cellCoord(double(p.y) + kReach);
    const int64_t z0 = cellCoord(double(p.z) - kReach), z1 = cellCoord(double(p.z) + kReach);
    bool found = false;
    for (int64_t ix = x0; ix <= x1; ++ix)
      for (int64_t iy = y0; iy <= y1; ++iy)
        for (int64_t iz = z0; iz <= z1; ++iz) {
          Slot* slot = find(packCell(ix, iy, iz));
          if (!slot) continue;
          uint32_t k = slot->begin;
          while (k < slot->liveEnd) {
            const uint32_t id = ids_[k];
            if (!alive[id >> 1]) {
              ids_[k] = ids_[--slot->liveEnd];
              continue;
            }
            const float d2 = (points_[id] - p).lengthSquared();
            if (std::sqrt(d2) < joinTolerance && (!found || d2 < bestD2 || (d2 == bestD2 && id < bestId))) {
              found = true;
              bestD2 = d2;
              bestId = id;
            }
            ++k;
          }
        }
    return found;
  }

 private:
  struct Slot {
    uint64_t key;
    uint32_t begin;
    uint32_t liveEnd;
  };
  static constexpr uint64_t kEmpty = ~uint64_t(0);
  static constexpr uint32_t kNoSlot = ~uint32_t(0);
  static constexpr double kCell = 8.0 * double(joinTolerance);
  static constexpr double kInvCell = 1.0 / kCell;
  // Slightly more than the tolerance, so that rounding in the distance test
  // can never accept a point outside the visited cells.
  static constexpr double kReach = 1.001 * double(joinTolerance);
  // Cell coordinates are clamped to 21 bits each; far-away points share the
  // border cells, which costs time but never misses a neighbour (the clamp is
  // monotone).
  static constexpr int64_t kCellLimit = (int64_t(1) << 20) - 1;

  static int64_t cellCoord(double x) {
    double c = std::floor(x * kInvCell);
    if (c < double(-kCellLimit)) c = double(-kCellLimit);
    if (c > double(kCellLimit)) c = double(kCellLimit);
    return int64_t(c);
  }
  static uint64_t packCell(int64_t ix, int64_t iy, int64_t iz) {
    return (uint64_t(ix + kCellLimit) << 42) | (uint64_t(iy + kCellLimit) << 21) | uint64_t(iz + kCellLimit);
  }
  static size_t hash(uint64_t key) {
    key ^= key >> 31;
    key *= 0x7FB5D329728EA185ull;
    key ^= key >> 27;
    key *= 0x81DADEF4BC2DD44Dull;
    key ^= key >> 33;
    return size_t(key);
  }
  Slot* find(uint64_t key) {
    size_t s = hash(key) & mask_;
    while (slots_[s].key != kEmpty) {
      if (slots_[s].key == key) return &slots_[s];
      s = (s + 1) & mask_;
    }
    return nullptr;
  }

  const std::vector<Vec3>& points_;
  std::vector<Slot> slots_;
  size_t mask_ = 0;
  std::vector<uint32_t> ids_;
  size_t mostInOneCell_ = 0;
};

// The same queries where ends crowd: ends at exactly the same point form one
// run, ordered by id, so that a place where
// thousands of ends meet costs a query one distance. The runs sit in the
// leaves of a k-d tree whose nodes count the runs below them that may still
// have a live end, so that dense places (thousands of distinct ends within
// the tolerance, as where a plane grazes a non-manifold fan) cost a query a
// few leaves rather than every end nearby.
class EndpointTree {
 public:
  // points[id] with id = 2 * segment + (0 for start, 1 for end). Non-finite
  // points are left out: they are never within the tolerance of anything.
  explicit EndpointTree(const std::vector<Vec3>& points) : points_(points) {
    struct Entry {
      Vec3 p;
      uint32_t id;
    };
    std::vector<Entry> entries;
    entries.reserve(points.size());
    for (size_t id = 0; id < points.size(); ++id)
      if (points[id].isFinite()) entries.push_back(Entry{points[id], uint32_t(id)});
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
      if (a.p.x != b.p.x) return a.p.x < b.p.x;
      if (a.p.y != b.p.y) return a.p.y < b.p.y;
      if (a.p.z != b.p.z) return a.p.z < b.p.z;
      return a.id < b.id;
    });
    ids_.resize(entries.size());
    for (size_t k = 0; k < entries.size();) {
      size_t e = k;
      for (; e < entries.size() && entries[e].p == entries[k].p; ++e) ids_[e] = entries[e].id;
      runs_.push_back(Run{{entries[k].p.x, entries[k].p.y, entries[k].p.z}, uint32_t(k), uint32_t(e)});
      k = e;
    }
    if (!runs_.empty()) build(0, uint32_t(runs_.size()), -1);
  }

  // The live end nearest to p with sqrt(d^2) < joinTolerance; on equal squared
  // distance the smaller id wins (earlier segment, start before end). Returns
  // false when there is none. Ends of used segments are dropped as they are
  // met.
  bool nearest(const Vec3& p, const std::vector<char>& alive, float& bestD2, uint32_t& bestId) {
    if (!p.isFinite() || nodes_.empty()) return false;
    Query q{p, alive, false, 0.0f, 0};
    visit(0, q);
    if (q.found) bestD2 = q.d2, bestId = q.id;
    return q.found;
  }

 private:
  // ids_[live, end) are the ends at one point, by increasing id; those before
  // `live` are used.
  struct Run {
    float at[3];  // the point
    uint32_t live;
    uint32_t end;
  };
  struct Node {
    float lo[3], hi[3];
    uint32_t begin, liveEnd;  // leaves: runs_[begin, liveEnd) may have live ends
    int32_t left = -1, right = -1, parent = -1;
    uint32_t live = 0;  // runs below that may have live ends
  };
  struct Query {
    const Vec3& p;
    const std::vector<char>& alive;
    bool found;
    float d2;
    uint32_t id;
  };
  static constexpr uint32_t kLeafSize = 8;
  // Slightly more than the tolerance, so that rounding in the distance test
  // can never accept a point in a box this rejects.
  static constexpr double kReach = 1.001 * double(joinTolerance);

  int32_t build(uint32_t begin, uint32_t end, int32_t parent) {
    const int32_t index = int32_t(nodes_.size());
    nodes_.emplace_back();
    Node node;
    node.begin = begin;
    node.liveEnd = end;
    node.parent = parent;
    node.live = end - begin;
    for (int a = 0; a < 3; ++a) node.lo[a] = node.hi[a] = runs_[begin].at[a];
    for (uint32_t r = begin + 1; r < end; ++r)
      for (int a = 0; a < 3; ++a) {
        node.lo[a] = std::min(node.lo[a], runs_[r].at[a]);
        node.hi[a] = std::max(node.hi[a], runs_[r].at[a]);
      }
    if (end - begin > kLeafSize) {
      int axis = 0;
      for (int a = 1; a < 3; ++a)
        if (double(node.hi[a]) - node.lo[a] > double(node.hi[axis]) - node.lo[axis]) axis = a;
      const uint32_t mid = begin + (end - begin) / 2;
      std::nth_element(runs_.begin() + begin, runs_.begin() + mid, runs_.begin() + end,
                       [&](const Run& a, const Run& b) { return a.at[axis] < b.at[axis]; });
      node.left = build(begin, mid, index);
      node.right = build(mid, end, index);
    }
    nodes_[size_t(index)] = node;
    return index;
  }

  double boxDistance2(const Node& n, const Vec3& p) const {
    double d2 = 0.0;
    for (int a = 0; a < 3; ++a) {
      const double v = p[a];
      const double gap = v < n.lo[a] ? n.lo[a] - v : (v > n.hi[a] ? v - n.hi[a] : 0.0);
      d2 += gap * gap;
    }
    return d2;
  }

  // Whether a box at squared distance boxD2 may hold a better end than the
  // best so far. Ties matter (a smaller id wins), and the float distance of
  // an end may come out a little below its exact distance.
  static bool mayHold(double boxD2, const Query& q) {
    const double bound = q.found ? double(q.d2) : kReach * kReach;
    return boxD2 <= bound * (1.0 + 1e-5);
  }

  void visit(int32_t index, Query& q) {
    Node& n = nodes_[size_t(index)];
    if (n.live == 0 || !mayHold(boxDistance2(n, q.p), q)) return;
    if (n.left < 0) {
      uint32_t r = n.begin;
      while (r < n.liveEnd) {
        Run& run = runs_[r];
        while (run.live < run.end && !q.alive[ids_[run.live] >> 1]) ++run.live;
        if (run.live == run.end) {
          std::swap(runs_[r], runs_[--n.liveEnd]);
          for (int32_t k = index; k >= 0; k = nodes_[size_t(k)].parent) --nodes_[size_t(k)].live;
          continue;
        }
        const uint32_t id = ids_[run.live];
        const float d2 = (points_[id] - q.p).lengthSquared();
        if (std::sqrt(d2) < joinTolerance && (!q.found || d2 < q.d2 || (d2 == q.d2 && id < q.id))) {
          q.found = true;
          q.d2 = d2;
          q.id = id;
        }
        ++r;
      }
      return;
    }
    const int32_t left = n.left, right = n.right;
    const bool leftFirst = boxDistance2(nodes_[size_t(left)], q.p) <= boxDistance2(nodes_[size_t(right)], q.p);
    visit(leftFirst ? left : right, q);
    visit(leftFirst ? right : left, q);
  }

  const std::vector<Vec3>& points_;
  std::vector<uint32_t> ids_;
  std::vector<Run> runs_;
  std::vector<Node> nodes_;
};

}  // namespace

namespace {

constexpr size_t kCrowdedCell = 16;

// Joins chains end to end by distance. Each chain is a list of indices into
// `segments`; it is turned round (its order reversed and each of its
// segments' ends swapped, in `segments` itself) when taken the other way.
// A single zero-length segment is consumed without being added. A chain
// whose ends come within joinTolerance is closed; with `nearestOnly` only when
// no other live end lies closer to its head or tail (on a fine mesh the ends
// of a short open chain are close together, and the gap to the next chain
// closer still).
void joinChains(QList<SectionSegment>& segments, std::vector<std::vector<int>>& chains, QList<SectionContour>& contours,
                bool nearestOnly) {
  const int n = int(chains.size());
  if (n == 0) return;
  auto head = [&](int c) { return segments[chains[size_t(c)].front()].start; };
  auto tail = [&](int c) { return segments[chains[size_t(c)].back()].end; };
  auto turnRound = [&](int c) {
    std::vector<int>& ids = chains[size_t(c)];
    std::reverse(ids.begin(), ids.end());
    for (int id : ids) std::swap(segments[id].start, segments[id].end);
  };

  std::vector<Vec3> ends(size_t(n) * 2);
  for (int c = 0; c < n; ++c) {
    ends[size_t(c) * 2] = head(c);
    ends[size_t(c) * 2 + 1] = tail(c);
  }
  // Ends crowd where a plane meets many faces at one place or along a short
  // stretch (a fan of thousands of triangles on one edge): there a cell holds
  // thousands of ends and the grid's query cost grows with them.
  EndpointGrid grid(ends);
  std::unique_ptr<EndpointTree> tree;
  if (grid.mostInOneCell() > kCrowdedCell) tree.reset(new EndpointTree(ends));
  auto nearest = [&](const Vec3& p, const std::vector<char>& live, float& d2, uint32_t& id) {
    return tree ? tree->nearest(p, live, d2, id) : grid.nearest(p, live, d2, id);
  };
  std::vector<char> alive(size_t(n), 1);
  int firstAlive = 0;
  int remaining = n;

  // The chain being built, as segment indices; flushed into `contours`.
  std::deque<int> current;
  bool currentClosed = false;
  auto flush = [&]() {
    if (current.empty()) return;
    SectionContour c;
    c.isClosed = currentClosed;
    for (int id : current) c.segments.append(segments[id]);
    contours.append(c);
    current.clear();
    currentClosed = false;
  };
  // A new chain always starts with the first one not used yet.
  auto open = [&]() {
    flush();
    while (!alive[size_t(firstAlive)]) ++firstAlive;
    alive[size_t(firstAlive)] = 0;
    --remaining;
    const std::vector<int>& ids = chains[size_t(firstAlive)];
    current.assign(ids.begin(), ids.end());
  };
  open();

  // Nearest live end to the head and to the tail. A result stays valid while
  // its point is unchanged and its chain unused: removing any other
  // candidate cannot change a minimum (or create one where there was none).
  struct Nearest {
    bool valid = false;
    bool found = false;
    float d2 = 0.0f;
    uint32_t id = 0;
  };
  Nearest atHeadEnd, atTailEnd;
  auto refresh = [&](Nearest& r, const Vec3& p) {
    if (r.valid && (!r.found || alive[r.id >> 1])) return;
    r.found = nearest(p, alive, r.d2, r.id);
    r.valid = true;
  };

  // Whether the current chain closes on itself.
  auto selfCloses = [&]() {
    const Vec3 gap = segments[current.front()].start - segments[current.back()].end;
    if (!(gap.length() < joinTolerance)) return false;
    if (!nearestOnly) return true;
    refresh(atHeadEnd, segments[current.front()].start);
    refresh(atTailEnd, segments[current.back()].end);
    const float self = gap.lengthSquared();
    return !(atHeadEnd.found && atHeadEnd.d2 < self) && !(atTailEnd.found && atTailEnd.d2 < self);
  };

  while (remaining > 0) {
    if (nearestOnly && !currentClosed && current.size() >= 2 && selfCloses()) {
      // A chain whose own ends are nearest each other closes before it grows.
      currentClosed = true;
      open();
      atHeadEnd.valid = atTailEnd.valid = false;
      continue;
    }
    refresh(atHeadEnd, segments[current.front()].start);
    refresh(atTailEnd, segments[current.back()].end);
    if (!atHeadEnd.found && !atTailEnd.found) {
      open();
      atHeadEnd.valid = atTailEnd.valid = false;
      continue;
    }

    // The tail wins ties with the head.
    const bool atHead = atHeadEnd.found && (!atTailEnd.found || atTailEnd.d2 > atHeadEnd.d2);
    const uint32_t id = atHead ? atHeadEnd.id : atTailEnd.id;
    const int c = int(id >> 1);
    const bool isEnd = (id & 1u) != 0;
    // At the head the picked chain must end there; at the tail it must start there.
    const bool flip = atHead ? !isEnd : isEnd;
    if (flip) turnRound(c);
    const std::vector<int>& ids = chains[size_t(c)];
    const bool empty = ids.size() == 1 && !((segments[ids[0]].end - segments[ids[0]].start).length() > 0.0f);
    if (!empty) {
      if (atHead) {
        current.insert(current.begin(), ids.begin(), ids.end());
        atHeadEnd.valid = false;
      } else {
        current.insert(current.end(), ids.begin(), ids.end());
        atTailEnd.valid = false;
      }
    }
    alive[size_t(c)] = 0;
    --remaining;
    const bool closes = selfCloses();
    if (closes) {
      currentClosed = true;
      if (remaining > 0) {
        open();
        atHeadEnd.valid = atTailEnd.valid = false;
      }
    }
  }
  if (nearestOnly && !currentClosed && current.size() >= 2 && selfCloses()) currentClosed = true;
  flush();
}

}  // namespace

void linkSegments(QList<SectionSegment>& segments, QList<SectionContour>& contours) {
  contours.clear();
  std::vector<std::vector<int>> chains(size_t(segments.size()));
  for (int i = 0; i < segments.size(); ++i) chains[size_t(i)].push_back(i);
  joinChains(segments, chains, contours, false);
}

void linkSectionSegments(QList<SectionSegment>& segments, std::vector<uint64_t>& places, const std::vector<int>& subset,
                         const Vec3& normal, QList<SectionContour>& contours) {
  std::vector<SegmentChain> chains = chainThroughMesh(segments, places, subset, normal);
  std::vector<std::vector<int>> open;
  for (SegmentChain& c : chains) {
    if (!c.closed) {
      open.push_back(std::move(c.ids));
      continue;
    }
    SectionContour contour;
    contour.isClosed = true;
    for (int id : c.ids) contour.segments.append(segments[id]);
    contours.append(contour);
  }
  // Ends the mesh leaves open (boundaries, non-manifold places, faces left
  // out of the cut) are joined by distance.
  joinChains(segments, open, contours, true);
}

void closeOpenContours(QList<SectionContour>& contours, const SectionOptions& options) {
  for (;;) {
    int g = -1;
    for (int k = 0; k < contours.size(); ++k)
      if (!contours[k].isClosed) {
        g = k;
        break;
      }
    if (g < 0) return;
    if (contours[g].segments.isEmpty()) {
      // Nothing to bridge; cannot come from chaining, but never loop on it.
      contours[g].isClosed = true;
      continue;
    }

    const Vec3 tail = contours[g].segments.last().end;
    int partner = -1;
    float best = 0.0f;
    bool reverse = false;
    for (int k = g + 1; k < contours.size(); ++k) {
      const SectionContour& c = contours[k];
      if (c.isClosed || c.segments.isEmpty()) continue;
      const float K = (tail - c.segments.first().start).length();
      const float L = (tail - c.segments.last().end).length();
      const float m = L < K ? L : K;
      if (m < partnerRadius && (partner < 0 || m < best)) {
        partner = k;
        best = m;
        reverse = K > L;
      }
    }

    SectionContour& G = contours[g];
    if (partner >= 0) {
      SectionContour J = contours[partner];
      if (reverse) reverseContour(J);
      if (options.hermiteInterp)
        hermiteBridge(G, J, options.hermiteTanFactor);
      else
        straightBridge(G, J);
      G.segments.append(J.segments);
      contours.removeAt(partner);
    } else {
      if (options.hermiteInterp)
        hermiteBridge(G, G, options.hermiteTanFactor);
      else
        straightBridge(G, G);
      G.isClosed = true;
    }
  }
}

float finishContours(QList<SectionContour>& contours, const CutPlane& frame, const SectionOptions& options) {
  if (options.useSegmentation) closeOpenContours(contours, options);
  return float(classifyContours(contours, SectionFrame(frame)));
}

void chainContours(SectionPlane& plane, const SectionOptions& options) {
  plane.area = 0.0f;
  plane.contours.clear();
  if (plane.segments.isEmpty()) return;
  linkSegments(plane.segments, plane.contours);
  plane.area = finishContours(plane.contours, plane, options);
}

void chainContours(SectionPlane& plane, const RenderMesh& mesh, const QVector<int>& faceSegment,
                   const SectionOptions& options) {
  plane.area = 0.0f;
  plane.contours.clear();
  if (plane.segments.isEmpty()) return;
  std::vector<uint64_t> places = segmentPlaces(plane, mesh);
  // Records that are no cut of this mesh (the ridge and valley chainers) are
  // chained by distance alone, as before.
  if (std::all_of(places.begin(), places.end(), [](uint64_t p) { return p == kNoPlace; })) {
    chainContours(plane, options);
    return;
  }

  // In segmentation mode every mesh segment is chained, closed and measured
  // on its own; segments that name no valid face form one more group.
  const int n = plane.segments.size();
  std::vector<std::vector<int>> groups;
  if (options.useSegmentation && !faceSegment.isEmpty()) {
    QHash<int, int> groupOf;
    std::vector<int> loose;
    for (int i = 0; i < n; ++i) {
      const int face = plane.segments[i].face;
      if (face < 0 || face >= faceSegment.size()) {
        loose.push_back(i);
        continue;
      }
      auto it = groupOf.find(faceSegment[face]);
      if (it == groupOf.end()) {
        it = groupOf.insert(faceSegment[face], int(groups.size()));
        groups.emplace_back();
      }
      groups[size_t(it.value())].push_back(i);
    }
    if (!loose.empty()) groups.push_back(loose);
  } else {
    groups.emplace_back(size_t(n));
    for (int i = 0; i < n; ++i) groups[0][size_t(i)] = i;
  }

  double area = 0.0;
  const SectionFrame frame(plane);
  for (const std::vector<int>& group : groups) {
    QList<SectionContour> contours;
    linkSectionSegments(plane.segments, places, group, plane.normal, contours);
    if (options.useSegmentation) closeOpenContours(contours, options);
    area += classifyContours(contours, frame);
    plane.contours.append(contours);
  }
  plane.area = float(area);
}
