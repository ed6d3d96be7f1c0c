#include "sections/contours_reference.h"

#include <cfloat>
#include <cmath>
#include <utility>

#include "model/render_mesh.h"
#include "sections/section_segments.h"

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
  const QVector<QVector<int>>& faces = mesh.faces();
  const bool restrict = useSegmentation && !faceSegment.isEmpty() && plane.segmentIndex != kEverySegment;
  for (int i = 0; i < faces.size(); ++i) {
    if (restrict && (i >= faceSegment.size() || faceSegment[i] != plane.segmentIndex)) continue;
    const QVector<int>& f = faces[i];
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
