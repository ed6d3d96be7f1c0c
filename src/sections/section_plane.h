#pragma once

#include <QList>
#include <QVector>

#include "engine/cut_plane.h"
#include "engine/vec3.h"

// One piece of a plane's crossing with the mesh. `normal` is the unit normal
// of the cut face, (0, 0, 0) for bridge segments made while closing contours.
struct SectionSegment {
  Vec3 start;
  Vec3 end;
  Vec3 normal;
  int face = 0;
};

// Segments chained end to start. `isHole` is decided for closed contours only.
struct SectionContour {
  QList<SectionSegment> segments;
  bool isHole = false;
  bool isClosed = false;
};

// segmentIndex of a plane that cuts every mesh segment in segmentation mode,
// each segment's contours closed on their own (the planes of a selection run).
constexpr int kEverySegment = -2147483647 - 1;

// Three corners, in the order the triangulation returns them.
struct SlabTriangle {
  Vec3 corners[3];
};

// A cut plane with everything derived from it on the render mesh. The head
// (the CutPlane base) is copied first whenever a plane is derived from
// another; updateSection replaces segments, contours, triangles and area.
struct SectionPlane : CutPlane {
  QList<SectionSegment> segments;
  QList<SectionContour> contours;
  QList<SlabTriangle> triangles;
  // Polylines drawn on the plane, as (u, v, 0) plane coordinates.
  QList<QList<Vec3>> annotations;
  float area = 0.0f;
  int segmentIndex = 0;
  unsigned int voteCount = 0;
  float voteScore = 0.0f;

  SectionPlane() = default;
  explicit SectionPlane(const CutPlane& head) : CutPlane(head) {}

  const CutPlane& head() const { return *this; }
  CutPlane& head() { return *this; }
};

// A plane drawn by a study participant.
using HumanCut = SectionPlane;

// Intersection of the ray origin + t * direction with the plane. Returns true
// only for t >= 0; `hit` receives the point whenever the ray is not parallel.
bool intersectRay(const CutPlane& plane, const Vec3& origin, const Vec3& direction, Vec3& hit);
