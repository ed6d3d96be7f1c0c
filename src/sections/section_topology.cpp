#include "sections/section_topology.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "model/render_mesh.h"
#include "sections/section_segments.h"

namespace {

bool sameBits(const Vec3& a, const Vec3& b) { return std::memcmp(&a, &b, sizeof(Vec3)) == 0; }

constexpr uint64_t kVertexFlag = uint64_t(1) << 63;

uint64_t vertexPlace(int v) { return kVertexFlag | uint32_t(v); }

uint64_t edgePlace(int u, int w) {
  if (u > w) std::swap(u, w);
  return (uint64_t(uint32_t(u)) << 32) | uint32_t(w);
}

// Open-addressing map from 64-bit keys to consecutive numbers.
class KeyTable {
 public:
  explicit KeyTable(size_t expected) {
    size_t size = 16;
    while (size < expected * 2) size *= 2;
    keys_.assign(size, kNoPlace);
    values_.assign(size, -1);
    mask_ = size - 1;
  }
  // The number of `key`; a new key gets `next`, which is then increased.
  int findOrAdd(uint64_t key, int& next) {
    uint64_t h = key * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    size_t slot = size_t(h) & mask_;
    while (keys_[slot] != kNoPlace) {
      if (keys_[slot] == key) return values_[slot];
      slot = (slot + 1) & mask_;
    }
    keys_[slot] = key;
    values_[slot] = next;
    return next++;
  }

 private:
  std::vector<uint64_t> keys_;
  std::vector<int> values_;
  size_t mask_ = 0;
};

}  // namespace

std::vector<uint64_t> segmentPlaces(const SectionPlane& plane, const RenderMesh& mesh) {
  const QList<SectionSegment>& segments = plane.segments;
  std::vector<uint64_t> places(size_t(segments.size()) * 2, kNoPlace);
  const QVector<Vec3>& vertices = mesh.vertices();
  const RenderFaces& faces = mesh.faces();
  const int vertexCount = vertices.size();
  for (int i = 0; i < segments.size(); ++i) {
    const SectionSegment& s = segments[i];
    if (s.face < 0 || s.face >= faces.size()) continue;
    const RenderFace& f = faces[s.face];
    if (f.size() < 3) continue;
    const int idx[3] = {f[0], f[1], f[2]};
    if (idx[0] < 0 || idx[0] >= vertexCount || idx[1] < 0 || idx[1] >= vertexCount || idx[2] < 0 ||
        idx[2] >= vertexCount)
      continue;
    const Vec3 q[3] = {vertices[idx[0]], vertices[idx[1]], vertices[idx[2]]};
    Vec3 a, b;
    int edgeA = 0, edgeB = 0;
    if (!intersectTriangleEdges(plane, q[0], q[1], q[2], a, b, edgeA, edgeB)) continue;
    bool reversed = false;
    if (sameBits(a, s.start) && sameBits(b, s.end))
      reversed = false;
    else if (sameBits(a, s.end) && sameBits(b, s.start))
      reversed = true;
    else
      continue;
    // The same signed distances the crossing test divides.
    auto place = [&](int edge) {
      const int u = edge, w = (edge + 1) % 3;
      if (plane.normal.dot(q[u] - plane.point) == 0.0f) return vertexPlace(idx[u]);
      if (plane.normal.dot(q[w] - plane.point) == 0.0f) return vertexPlace(idx[w]);
      return edgePlace(idx[u], idx[w]);
    };
    places[2 * size_t(i) + (reversed ? 1 : 0)] = place(edgeA);
    places[2 * size_t(i) + (reversed ? 0 : 1)] = place(edgeB);
  }
  return places;
}

namespace {

// Places with at most this many ends are decided by the sharpest left turn at
// each visit; a visit then costs at most this many angles.
constexpr int kTurnScanEnds = 8;

// One segment end at a place: half = 2 * local + (0 for the segment's start,
// 1 for its end); its direction leads away from the place along the segment.
struct PlaceEnd {
  int half = 0;
  bool arriving = false;  // the segment ends here
  double angle = 0.0;     // of the direction, counter-clockwise about the normal, in [-pi, pi]
  uint32_t key[6] = {};   // bits of the far end and of the face normal: the order of equal directions
};

// Clockwise order round the place, seen from the tip of the normal. Ends in
// the same direction are ordered by their geometry, arriving ends first, so
// that the order does not depend on the order of the segments (the index
// decides only between segments equal in every coordinate).
bool clockwiseBefore(const PlaceEnd& a, const PlaceEnd& b) {
  if (a.angle != b.angle) return a.angle > b.angle;
  if (a.arriving != b.arriving) return a.arriving;
  for (int k = 0; k < 6; ++k)
    if (a.key[k] != b.key[k]) return a.key[k] < b.key[k];
  return a.half < b.half;
}

// Pairs ends[rest[i]] with its clockwise neighbour ends[rest[i + 1]] in the
// phase whose pairs enclose the smallest total angle; with an odd count one
// end stays single. `rest` is in clockwise order. O(r).
void pairNeighbours(const std::vector<PlaceEnd>& ends, const std::vector<int>& rest, std::vector<int>& partner) {
  const int r = int(rest.size());
  if (r < 2) return;
  // Clockwise angle from rest[i] to rest[i + 1]; the angles fall along the list.
  auto gap = [&](int i) {
    const int j = (i + 1) % r;
    double g = ends[size_t(rest[size_t(i)])].angle - ends[size_t(rest[size_t(j)])].angle;
    if (j == 0) g += 2.0 * M_PI;
    return g;
  };
  auto pair = [&](int i, int j) {
    const int a = ends[size_t(rest[size_t(i % r)])].half, b = ends[size_t(rest[size_t(j % r)])].half;
    partner[size_t(a)] = b;
    partner[size_t(b)] = a;
  };
  if (r % 2 == 0) {
    double even = 0.0, odd = 0.0;
    for (int i = 0; i < r; i += 2) {
      even += gap(i);
      odd += gap(i + 1);
    }
    const int phase = odd < even ? 1 : 0;
    for (int i = phase; i < r + phase; i += 2) pair(i, i + 1);
    return;
  }
  // Odd: the pairs (u + 1, u + 2), (u + 3, u + 4), ... leave u single; their
  // total angle for u + 2 follows from that for u by one step.
  double total = 0.0;
  for (int i = 1; i + 1 < r; i += 2) total += gap(i);
  int single = 0;
  double best = total;
  for (int step = 1, u = 0; step < r; ++step) {
    total += gap(u) - gap((u + 1) % r);
    u = (u + 2) % r;
    if (total < best) {
      best = total;
      single = u;
    }
  }
  for (int i = single + 1; i + 1 < single + r; i += 2) pair(i, i + 1);
}

// Pairs the ends of one place, given in clockwise order. An arriving end is
// paired with a leaving one as brackets are: each leaving end with the
// nearest unpaired arriving end anticlockwise of it, round the full circle.
// Where arriving and leaving ends alternate, that is the leaving end with the
// sharpest left turn for each arriving one. What is left is all arriving or all leaving
// (more segments run into the place than out of it, as at an edge that many
// faces share); those ends are paired with a neighbour by pairNeighbours.
// O(k) for k ends.
void matchPlace(const std::vector<PlaceEnd>& ends, std::vector<int>& partner, std::vector<int>& open,
                std::vector<int>& unpaired) {
  open.clear();
  unpaired.clear();
  auto pair = [&](int i, int j) {
    partner[size_t(ends[size_t(i)].half)] = ends[size_t(j)].half;
    partner[size_t(ends[size_t(j)].half)] = ends[size_t(i)].half;
  };
  for (int i = 0; i < int(ends.size()); ++i) {
    if (ends[size_t(i)].arriving) {
      open.push_back(i);
    } else if (!open.empty()) {
      pair(open.back(), i);
      open.pop_back();
    } else {
      unpaired.push_back(i);
    }
  }
  // Round the circle: the arriving ends still open come after every leaving
  // end met with none open.
  size_t u = 0;
  while (!open.empty() && u < unpaired.size()) {
    pair(open.back(), unpaired[u++]);
    open.pop_back();
  }
  if (open.empty()) open.assign(unpaired.begin() + std::ptrdiff_t(u), unpaired.end());
  pairNeighbours(ends, open, partner);
}

// Pairs the unused ends at every place where more than kTurnScanEnds of them
// meet (matchPlace) and marks those places in `paired`; partner[half] is
// then the half an end is paired with, -1 for none. The places' halves are
// halves[first[k] .. first[k + 1]), as in chainThroughMesh. O(n log n).
void pairCrowdedPlaces(const QList<SectionSegment>& segments, const std::vector<int>& subset, const Vec3& normal,
                       const std::vector<int>& first, const std::vector<int>& halves, const std::vector<char>& used,
                       std::vector<char>& paired, std::vector<int>& partner) {
  // A frame of the plane for the angles; without a usable normal every
  // direction gets angle 0 and the geometry alone orders the ends.
  const double nl = std::sqrt(double(normal.x) * normal.x + double(normal.y) * normal.y + double(normal.z) * normal.z);
  const bool framed = std::isfinite(nl) && nl > 0.0;
  double e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0};
  if (framed) {
    const double nx = normal.x / nl, ny = normal.y / nl, nz = normal.z / nl;
    // The coordinate axis most nearly in the plane, its normal component removed.
    double a[3] = {0, 0, 0};
    const double ax = std::fabs(nx), ay = std::fabs(ny), az = std::fabs(nz);
    a[ax <= ay && ax <= az ? 0 : (ay <= az ? 1 : 2)] = 1.0;
    const double along = a[0] * nx + a[1] * ny + a[2] * nz;
    double t[3] = {a[0] - along * nx, a[1] - along * ny, a[2] - along * nz};
    const double tl = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
    for (double& c : t) c /= tl;
    e1[0] = t[0], e1[1] = t[1], e1[2] = t[2];
    e2[0] = ny * t[2] - nz * t[1], e2[1] = nz * t[0] - nx * t[2], e2[2] = nx * t[1] - ny * t[0];
  }
  auto bits = [](float f) {
    uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
  };
  std::vector<PlaceEnd> ends;
  std::vector<int> open, unpaired;
  const int places = int(first.size()) - 1;
  for (int k = 0; k < places; ++k) {
    if (first[size_t(k) + 1] - first[size_t(k)] <= kTurnScanEnds) continue;
    ends.clear();
    for (int i = first[size_t(k)]; i < first[size_t(k) + 1]; ++i) {
      const int h = halves[size_t(i)];
      if (used[size_t(h >> 1)]) continue;
      const SectionSegment& g = segments[subset[size_t(h >> 1)]];
      PlaceEnd e;
      e.half = h;
      e.arriving = (h & 1) != 0;
      const Vec3& near = e.arriving ? g.end : g.start;
      const Vec3& far = e.arriving ? g.start : g.end;
      if (framed) {
        const double w[3] = {double(far.x) - near.x, double(far.y) - near.y, double(far.z) - near.z};
        const double angle =
            std::atan2(w[0] * e2[0] + w[1] * e2[1] + w[2] * e2[2], w[0] * e1[0] + w[1] * e1[1] + w[2] * e1[2]);
        if (std::isfinite(angle)) e.angle = angle;
      }
      const float key[6] = {far.x, far.y, far.z, g.normal.x, g.normal.y, g.normal.z};
      for (int c = 0; c < 6; ++c) e.key[c] = bits(key[c]);
      ends.push_back(e);
    }
    if (int(ends.size()) <= kTurnScanEnds) continue;
    std::sort(ends.begin(), ends.end(), clockwiseBefore);
    paired[size_t(k)] = 1;
    matchPlace(ends, partner, open, unpaired);
  }
}

}  // namespace

std::vector<SegmentChain> chainThroughMesh(QList<SectionSegment>& segments, std::vector<uint64_t>& places,
                                           const std::vector<int>& subset, const Vec3& normal) {
  const int n = int(subset.size());
  std::vector<SegmentChain> chains;
  if (n == 0) return chains;

  // Material on the left: the face normal points away from the material, so
  // it must point to the right of the direction of travel.
  auto turn = [&](int local) {
    const int s = subset[size_t(local)];
    std::swap(segments[s].start, segments[s].end);
    std::swap(places[2 * size_t(s)], places[2 * size_t(s) + 1]);
  };
  for (int j = 0; j < n; ++j) {
    const int s = subset[size_t(j)];
    if (places[2 * size_t(s)] == kNoPlace) continue;
    const SectionSegment& g = segments[s];
    const Vec3 left = normal.cross(g.end - g.start);
    if (left.dot(g.normal) > 0.0f) turn(j);
  }

  // Ends grouped by place: node[half] is the place's number (in order of
  // first appearance), half = 2 * local + end; -1 without a place. The halves
  // at place k are halves[first[k] .. first[k + 1]), in increasing order.
  std::vector<int> node(size_t(n) * 2, -1);
  int nodeCount = 0;
  {
    KeyTable table(size_t(n) * 2);
    for (int h = 0; h < 2 * n; ++h) {
      const uint64_t p = places[2 * size_t(subset[size_t(h >> 1)]) + size_t(h & 1)];
      if (p != kNoPlace) node[size_t(h)] = table.findOrAdd(p, nodeCount);
    }
  }
  std::vector<int> first(size_t(nodeCount) + 1, 0), halves;
  for (int h = 0; h < 2 * n; ++h)
    if (node[size_t(h)] >= 0) ++first[size_t(node[size_t(h)]) + 1];
  for (int k = 0; k < nodeCount; ++k) first[size_t(k) + 1] += first[size_t(k)];
  halves.resize(size_t(first[size_t(nodeCount)]));
  {
    std::vector<int> fill(first.begin(), first.end() - 1);
    for (int h = 0; h < 2 * n; ++h)
      if (node[size_t(h)] >= 0) halves[size_t(fill[size_t(node[size_t(h)])]++)] = h;
  }

  std::vector<char> used(size_t(n), 0);
  // A second segment between the same two places is the same crossing met
  // from another face (a mesh edge lying in the plane, computed from both
  // faces along it with different rounding): it is consumed without being
  // added, as an exact duplicate would have been removed.
  {
    KeyTable seen(static_cast<size_t>(n));
    int count = 0;
    for (int j = 0; j < n; ++j) {
      int a = node[2 * size_t(j)], b = node[2 * size_t(j) + 1];
      if (a < 0 || b < 0) continue;
      if (a > b) std::swap(a, b);
      const int before = count;
      seen.findOrAdd((uint64_t(uint32_t(a)) << 32) | uint32_t(b), count);
      if (count == before) used[size_t(j)] = 1;
    }
  }

  // How the next segment is found at each place. Where at most kTurnScanEnds
  // ends meet, the sharpest left turn is measured at each visit (pick below).
  // Elsewhere the ends are paired once, from their clockwise order
  // (matchPlace), and a visit looks its partner up: O(k log k) per place of k
  // ends instead of O(k) per visit.
  std::vector<char> paired(size_t(nodeCount), 0);
  std::vector<int> partner(size_t(n) * 2, -1);
  pairCrowdedPlaces(segments, subset, normal, first, halves, used, paired, partner);

  // Segments turned round while chaining (their halves keep their numbers).
  std::vector<char> flipped(size_t(n), 0);
  auto turnWhileChaining = [&](int local) {
    turn(local);
    std::swap(node[2 * size_t(local)], node[2 * size_t(local) + 1]);
    flipped[size_t(local)] ^= 1;
  };
  auto direction = [&](int local) {
    const SectionSegment& g = segments[subset[size_t(local)]];
    return g.end - g.start;
  };
  // Turn angle from travel direction u to v, left positive.
  auto turnAngle = [&](const Vec3& u, const Vec3& v) {
    return std::atan2(double(normal.dot(u.cross(v))), double(u.dot(v)));
  };

  // The next segment at place group `at`: forwards it should start there,
  // backwards end there; one that must be turned round comes second. Among
  // several, the sharpest left turn wins, then the lower index.
  std::vector<std::pair<int, bool>> candidates;
  auto pick = [&](int at, bool forwards, const Vec3& along) {
    candidates.clear();
    bool anyUnturned = false;
    for (int k = first[size_t(at)]; k < first[size_t(at) + 1]; ++k) {
      const int half = halves[size_t(k)];
      const int local = half >> 1;
      if (used[size_t(local)]) continue;
      const bool isStart = (half & 1) == 0;
      const bool turned = forwards ? !isStart : isStart;
      candidates.emplace_back(local, turned);
      anyUnturned = anyUnturned || !turned;
    }
    int best = -1;
    bool bestTurned = false;
    double bestAngle = 0.0;
    for (const auto& c : candidates) {
      if (anyUnturned && c.second) continue;
      double angle = 0.0;
      if (candidates.size() > 1) {
        Vec3 d = direction(c.first);
        if (c.second) d = -d;
        angle = forwards ? turnAngle(along, d) : turnAngle(d, along);
      }
      if (best < 0 || angle > bestAngle || (angle == bestAngle && c.first < best)) {
        best = c.first;
        bestTurned = c.second;
        bestAngle = angle;
      }
    }
    if (best >= 0 && bestTurned) turnWhileChaining(best);
    return best;
  };
  // The segment after `from` (forwards) or before it (backwards) at place
  // `at`. At a paired place it is the partner of from's end there, if that is
  // still free; it is turned round when it runs the wrong way.
  auto next = [&](int at, bool forwards, int from) {
    if (!paired[size_t(at)]) return pick(at, forwards, direction(from));
    const int end = (forwards ? 1 : 0) ^ (flipped[size_t(from)] ? 1 : 0);
    const int p = partner[2 * size_t(from) + size_t(end)];
    if (p < 0 || used[size_t(p >> 1)]) return -1;
    // An unused segment was never turned while chaining: its halves still
    // say which end is which.
    const int local = p >> 1;
    const bool isStart = (p & 1) == 0;
    if (forwards ? !isStart : isStart) turnWhileChaining(local);
    return local;
  };

  for (int seed = 0; seed < n; ++seed) {
    if (used[size_t(seed)]) continue;
    used[size_t(seed)] = 1;
    std::vector<int> forwardIds{seed}, backwardIds;
    const int headNode = node[2 * size_t(seed)];
    bool closed = false;
    int last = seed;
    while (!closed) {
      const int at = node[2 * size_t(last) + 1];
      if (at < 0) break;
      const int following = next(at, true, last);
      if (following < 0) break;
      used[size_t(following)] = 1;
      forwardIds.push_back(following);
      last = following;
      closed = headNode >= 0 && node[2 * size_t(last) + 1] == headNode;
    }
    int head = seed;
    while (!closed) {
      const int at = node[2 * size_t(head)];
      if (at < 0) break;
      const int preceding = next(at, false, head);
      if (preceding < 0) break;
      used[size_t(preceding)] = 1;
      backwardIds.push_back(preceding);
      head = preceding;
      closed = node[2 * size_t(head)] >= 0 && node[2 * size_t(head)] == node[2 * size_t(last) + 1];
    }
    SegmentChain chain;
    chain.closed = closed;
    chain.ids.reserve(backwardIds.size() + forwardIds.size());
    for (auto it = backwardIds.rbegin(); it != backwardIds.rend(); ++it) chain.ids.push_back(subset[size_t(*it)]);
    for (int local : forwardIds) chain.ids.push_back(subset[size_t(local)]);
    chains.push_back(std::move(chain));
  }
  return chains;
}
