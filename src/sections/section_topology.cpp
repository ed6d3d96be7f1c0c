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

  // Ends grouped by place: sorted (place, half) pairs, half = 2 * local + end.
  std::vector<std::pair<uint64_t, int>> ends;
  ends.reserve(size_t(n) * 2);
  for (int j = 0; j < n; ++j) {
    const int s = subset[size_t(j)];
    for (int e = 0; e < 2; ++e)
      if (places[2 * size_t(s) + size_t(e)] != kNoPlace)
        ends.emplace_back(places[2 * size_t(s) + size_t(e)], 2 * j + e);
  }
  std::sort(ends.begin(), ends.end());
  // node[half]: index of the first entry of its place group in `ends`; -1 without a place.
  std::vector<int> node(size_t(n) * 2, -1);
  for (size_t k = 0; k < ends.size(); ++k) {
    const size_t first = (k > 0 && ends[k - 1].first == ends[k].first) ? size_t(node[size_t(ends[k - 1].second)]) : k;
    node[size_t(ends[k].second)] = int(first);
  }
  auto swapNodes = [&](int local) { std::swap(node[2 * size_t(local)], node[2 * size_t(local) + 1]); };

  std::vector<char> used(size_t(n), 0);
  // A second segment between the same two places is the same crossing met
  // from another face (a mesh edge lying in the plane, computed from both
  // faces along it with different rounding): it is consumed without being
  // added, as an exact duplicate would have been removed.
  {
    std::vector<std::pair<std::pair<uint64_t, uint64_t>, int>> pairs;
    for (int j = 0; j < n; ++j) {
      const int s = subset[size_t(j)];
      uint64_t a = places[2 * size_t(s)], b = places[2 * size_t(s) + 1];
      if (a == kNoPlace || b == kNoPlace) continue;
      if (a > b) std::swap(a, b);
      pairs.push_back({{a, b}, j});
    }
    std::sort(pairs.begin(), pairs.end());
    for (size_t k = 1; k < pairs.size(); ++k)
      if (pairs[k].first == pairs[k - 1].first) used[size_t(pairs[k].second)] = 1;
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
    for (size_t k = size_t(at); k < ends.size() && ends[k].first == ends[size_t(at)].first; ++k) {
      const int half = ends[k].second;
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
