#include "sections/contour_chaining.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "sections/contour_shape.h"
#include "sections/section_segments.h"

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
      slot.begin = next;
      next += slot.liveEnd;
      slot.liveEnd = slot.begin;  // fill cursor
    }
    ids_.resize(next);
    for (size_t id = 0; id < points.size(); ++id)
      if (slotOf[id] != kNoSlot) ids_[slots_[slotOf[id]].liveEnd++] = uint32_t(id);
  }

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
};

}  // namespace

void linkSegments(QList<SectionSegment>& segments, QList<SectionContour>& contours) {
  contours.clear();
  const int n = segments.size();
  if (n == 0) return;

  std::vector<Vec3> ends(size_t(n) * 2);
  for (int i = 0; i < n; ++i) {
    ends[size_t(i) * 2] = segments[i].start;
    ends[size_t(i) * 2 + 1] = segments[i].end;
  }
  EndpointGrid grid(ends);
  std::vector<char> alive(size_t(n), 1);
  int firstAlive = 0;
  int remaining = n;

  // A new chain always starts with the first segment not used yet.
  auto openContour = [&]() {
    while (!alive[size_t(firstAlive)]) ++firstAlive;
    alive[size_t(firstAlive)] = 0;
    --remaining;
    SectionContour c;
    c.segments.append(segments[firstAlive]);
    contours.append(c);
  };
  openContour();

  // Nearest live end to the head and to the tail. A result stays valid while
  // its point is unchanged and its segment unused: removing any other
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
    r.found = grid.nearest(p, alive, r.d2, r.id);
    r.valid = true;
  };

  while (remaining > 0) {
    SectionContour& current = contours.last();
    refresh(atHeadEnd, current.segments.first().start);
    refresh(atTailEnd, current.segments.last().end);
    if (!atHeadEnd.found && !atTailEnd.found) {
      openContour();
      atHeadEnd.valid = atTailEnd.valid = false;
      continue;
    }

    // The tail wins ties with the head.
    const bool atHead = atHeadEnd.found && (!atTailEnd.found || atTailEnd.d2 > atHeadEnd.d2);
    const uint32_t id = atHead ? atHeadEnd.id : atTailEnd.id;
    const int s = int(id >> 1);
    const bool isEnd = (id & 1u) != 0;
    // At the head the picked segment must end there; at the tail it must start there.
    const bool flip = atHead ? !isEnd : isEnd;
    SectionSegment& picked = segments[s];
    if (flip) std::swap(picked.start, picked.end);
    if ((picked.end - picked.start).length() > 0.0f) {
      if (atHead) {
        current.segments.prepend(picked);
        atHeadEnd.valid = false;
      } else {
        current.segments.append(picked);
        atTailEnd.valid = false;
      }
    }
    alive[size_t(s)] = 0;
    --remaining;
    if ((current.segments.first().start - current.segments.last().end).length() < joinTolerance) {
      current.isClosed = true;
      if (remaining > 0) {
        openContour();
        atHeadEnd.valid = atTailEnd.valid = false;
      }
    }
  }
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

float finishContours(QList<SectionContour>& contours, const Vec3& r1, const Vec3& r2, const SectionOptions& options) {
  if (options.useSegmentation) closeOpenContours(contours, options);
  for (SectionContour& c : contours) c.isHole = isHoleContour(c);
  float area = 0.0f;
  for (const SectionContour& c : contours) {
    if (!c.isClosed) continue;
    const float a = std::fabs(contourArea(c, r1, r2));
    if (c.isHole)
      area -= a;
    else
      area += a;
  }
  return area;
}

void chainContours(SectionPlane& plane, const SectionOptions& options) {
  plane.area = 0.0f;
  plane.contours.clear();
  if (plane.segments.isEmpty()) return;
  linkSegments(plane.segments, plane.contours);
  plane.area = finishContours(plane.contours, plane.r1, plane.r2, options);
}
