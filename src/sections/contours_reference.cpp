#include "sections/contours_reference.h"

#include <cfloat>
#include <cmath>
#include <utility>

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
