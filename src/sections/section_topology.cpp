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
  const QVector<QVector<int>>& faces = mesh.faces();
  const int vertexCount = vertices.size();
  for (int i = 0; i < segments.size(); ++i) {
    const SectionSegment& s = segments[i];
    if (s.face < 0 || s.face >= faces.size()) continue;
    const QVector<int>& f = faces[s.face];
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
  auto swapNodes = [&](int local) { std::swap(node[2 * size_t(local)], node[2 * size_t(local) + 1]); };

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
    if (best >= 0 && bestTurned) {
      turn(best);
      swapNodes(best);
    }
    return best;
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
      const int next = pick(at, true, direction(last));
      if (next < 0) break;
      used[size_t(next)] = 1;
      forwardIds.push_back(next);
      last = next;
      closed = headNode >= 0 && node[2 * size_t(last) + 1] == headNode;
    }
    int first = seed;
    while (!closed) {
      const int at = node[2 * size_t(first)];
      if (at < 0) break;
      const int next = pick(at, false, direction(first));
      if (next < 0) break;
      used[size_t(next)] = 1;
      backwardIds.push_back(next);
      first = next;
      closed = node[2 * size_t(first)] >= 0 && node[2 * size_t(first)] == node[2 * size_t(last) + 1];
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
