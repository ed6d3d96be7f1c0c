#include "sections/contours_reference.h"

#include <cfloat>
#include <cmath>
#include <utility>

#include "model/render_mesh.h"
#include "sections/section_segments.h"
#include "sections/section_topology.h"

void removeDuplicateSegmentsReference(QList<SectionSegment>& segments) {
  for (int i = 0; i < segments.size(); ++i) {
    int j = i + 1;
    while (j < segments.size()) {
      const SectionSegment& a = segments[i];
      const SectionSegment& b = segments[j];
      const bool same = b.start == a.start && b.end == a.end;
      const bool reversed = b.start == a.end && b.end == a.start;
      if (same || reversed)
        segments.removeAt(j);  // the next segment moves into position j
      else
        ++j;
    }
  }
}

void linkSegmentsReference(QList<SectionSegment>& segments, QList<SectionContour>& contours) {
  contours.clear();
  if (segments.isEmpty()) return;

  QList<int> remaining;
  for (int i = 0; i < segments.size(); ++i) remaining.append(i);

  auto openContour = [&]() {
    SectionContour c;
    c.segments.append(segments[remaining.takeFirst()]);
    contours.append(c);
  };
  openContour();

  while (!remaining.isEmpty()) {
    SectionContour& current = contours.last();
    const Vec3 head = current.segments.first().start;
    const Vec3 tail = current.segments.last().end;

    float D = FLT_MAX, E = FLT_MAX;
    int headPos = -1, tailPos = -1;
    bool headFlip = false, tailFlip = false;
    for (int i = 0; i < remaining.size(); ++i) {
      const SectionSegment& s = segments[remaining[i]];
      float d = (s.start - head).lengthSquared();
      if (d < D) {
        D = d;
        headPos = i;
        headFlip = true;
      }
      d = (s.end - head).lengthSquared();
      if (d < D) {
        D = d;
        headPos = i;
        headFlip = false;
      }
      d = (s.start - tail).lengthSquared();
      if (d < E) {
        E = d;
        tailPos = i;
        tailFlip = false;
      }
      d = (s.end - tail).lengthSquared();
      if (d < E) {
        E = d;
        tailPos = i;
        tailFlip = true;
      }
    }

    const bool atHead = E > D;
    const float best = atHead ? D : E;
    if (std::sqrt(best) < joinTolerance) {
      const int pos = atHead ? headPos : tailPos;
      const bool flip = atHead ? headFlip : tailFlip;
      SectionSegment& picked = segments[remaining[pos]];
      if (flip) std::swap(picked.start, picked.end);
      if ((picked.end - picked.start).length() > 0.0f) {
        if (atHead)
          current.segments.prepend(picked);
        else
          current.segments.append(picked);
      }
      remaining.removeAt(pos);
      if ((current.segments.first().start - current.segments.last().end).length() < joinTolerance) {
        current.isClosed = true;
        if (!remaining.isEmpty()) openContour();
      }
    } else {
      openContour();
    }
  }
}

void computeSegmentsReference(SectionPlane& plane, const RenderMesh& mesh, const QVector<int>& faceSegment,
                              bool useSegmentation) {
  plane.segments.clear();
  const QVector<Vec3>& v = mesh.vertices();
  const RenderFaces& faces = mesh.faces();
  const bool restrict = useSegmentation && !faceSegment.isEmpty() && plane.segmentIndex != kEverySegment;
  for (int i = 0; i < faces.size(); ++i) {
    if (restrict && (i >= faceSegment.size() || faceSegment[i] != plane.segmentIndex)) continue;
    const RenderFace& f = faces[i];
    if (f.size() < 3) continue;
    bool inRange = true;
    for (int c = 0; c < 3; ++c) inRange = inRange && f[c] >= 0 && f[c] < v.size();
    if (!inRange) continue;
    Vec3 a, b;
    if (!intersectTriangle(plane, v[f[0]], v[f[1]], v[f[2]], a, b)) continue;
    if (!((a - b).length() > minSegmentLength) || !a.isFinite() || !b.isFinite()) continue;
    SectionSegment s;
    s.start = a;
    s.end = b;
    s.normal = i < mesh.faceNormals().size() ? mesh.faceNormals()[i] : Vec3(0, 0, 0);
    s.face = i;
    plane.segments.append(s);
  }
  removeDuplicateSegmentsReference(plane.segments);
}

std::vector<SegmentChain> chainThroughMeshReference(QList<SectionSegment>& segments, std::vector<uint64_t>& places,
                                                    const std::vector<int>& subset, const Vec3& normal) {
  const int n = int(subset.size());
  std::vector<SegmentChain> chains;
  // Place of the start (end 0) or end (end 1) of subset[local], as the
  // segment now runs.
  auto placeOf = [&](int local, int end) { return places[2 * size_t(subset[size_t(local)]) + size_t(end)]; };
  auto turn = [&](int local) {
    const int s = subset[size_t(local)];
    std::swap(segments[s].start, segments[s].end);
    std::swap(places[2 * size_t(s)], places[2 * size_t(s) + 1]);
  };
  for (int j = 0; j < n; ++j) {
    if (placeOf(j, 0) == kNoPlace) continue;
    const SectionSegment& g = segments[subset[size_t(j)]];
    if (normal.cross(g.end - g.start).dot(g.normal) > 0.0f) turn(j);
  }

  // A segment between the same two places as an earlier one is consumed.
  std::vector<char> used(size_t(n), 0);
  for (int j = 0; j < n; ++j) {
    if (placeOf(j, 0) == kNoPlace) continue;
    for (int i = 0; i < j && !used[size_t(j)]; ++i) {
      if (placeOf(i, 0) == kNoPlace) continue;
      const bool same = placeOf(i, 0) == placeOf(j, 0) && placeOf(i, 1) == placeOf(j, 1);
      const bool reversed = placeOf(i, 0) == placeOf(j, 1) && placeOf(i, 1) == placeOf(j, 0);
      if (same || reversed) used[size_t(j)] = 1;
    }
  }

  auto direction = [&](int local) {
    const SectionSegment& g = segments[subset[size_t(local)]];
    return g.end - g.start;
  };
  // Every unused segment with an end at `at` is a candidate, taken the way
  // round that continues the chain; those that must be turned come second.
  // Among several the sharpest left turn wins, then the lower index.
  auto pick = [&](uint64_t at, bool forwards, const Vec3& along) {
    std::vector<std::pair<int, bool>> candidates;
    bool anyUnturned = false;
    for (int local = 0; local < n; ++local) {
      if (used[size_t(local)]) continue;
      for (int end = 0; end < 2; ++end) {
        if (placeOf(local, end) != at) continue;
        const bool turned = forwards ? end == 1 : end == 0;
        candidates.emplace_back(local, turned);
        anyUnturned = anyUnturned || !turned;
      }
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
        const Vec3 u = forwards ? along : d, v = forwards ? d : along;
        angle = std::atan2(double(normal.dot(u.cross(v))), double(u.dot(v)));
      }
      if (best < 0 || angle > bestAngle || (angle == bestAngle && c.first < best)) {
        best = c.first;
        bestTurned = c.second;
        bestAngle = angle;
      }
    }
    if (best >= 0 && bestTurned) turn(best);
    return best;
  };

  for (int seed = 0; seed < n; ++seed) {
    if (used[size_t(seed)]) continue;
    used[size_t(seed)] = 1;
    std::vector<int> forwardIds{seed}, backwardIds;
    const uint64_t headPlace = placeOf(seed, 0);
    bool closed = false;
    int last = seed;
    while (!closed) {
      const uint64_t at = placeOf(last, 1);
      if (at == kNoPlace) break;
      const int next = pick(at, true, direction(last));
      if (next < 0) break;
      used[size_t(next)] = 1;
      forwardIds.push_back(next);
      last = next;
      closed = headPlace != kNoPlace && placeOf(last, 1) == headPlace;
    }
    int head = seed;
    while (!closed) {
      const uint64_t at = placeOf(head, 0);
      if (at == kNoPlace) break;
      const int next = pick(at, false, direction(head));
      if (next < 0) break;
      used[size_t(next)] = 1;
      backwardIds.push_back(next);
      head = next;
      closed = placeOf(head, 0) != kNoPlace && placeOf(head, 0) == placeOf(last, 1);
    }
    SegmentChain chain;
    chain.closed = closed;
    for (auto it = backwardIds.rbegin(); it != backwardIds.rend(); ++it) chain.ids.push_back(subset[size_t(*it)]);
    for (int local : forwardIds) chain.ids.push_back(subset[size_t(local)]);
    chains.push_back(std::move(chain));
  }
  return chains;
}
