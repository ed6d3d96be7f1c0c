// Segment PCA features: every mesh segment is summarised by the principal
// axes of its face corners and classified as a blob (three planes), a flat
// patch (one plane) or an elongated part (one axis).

#include <QDebug>
#include <QHash>
#include <algorithm>
#include <cmath>

#include "engine/principal_axes.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

// The corner positions of one segment's faces, in face and corner order.
struct SegmentCorners {
  int id = 0;
  QVector<Vec3> points;
};

// Every distinct segment id that a face carries, in increasing order, with
// its faces' corners; one pass over the faces whatever the ids are (any int,
// not necessarily 0 .. count - 1).
QVector<SegmentCorners> cornersBySegment(const RenderMesh& mesh, const QVector<int>& faceSegment) {
  const QVector<Vec3>& vertices = mesh.vertices();
  const RenderFaces& faces = mesh.faces();
  QVector<SegmentCorners> segments;
  QHash<int, int> slotOf;
  const int n = qMin(faces.size(), faceSegment.size());
  for (int i = 0; i < n; ++i) {
    const RenderFace& f = faces[i];
    if (f.size() < 3) continue;
    auto slot = slotOf.constFind(faceSegment[i]);
    if (slot == slotOf.constEnd()) {
      slot = slotOf.insert(faceSegment[i], segments.size());
      segments.append(SegmentCorners{faceSegment[i], {}});
    }
    QVector<Vec3>& points = segments[*slot].points;
    for (int c = 0; c < 3; ++c) {
      const int v = f[c];
      if (v >= 0 && v < vertices.size()) points.append(vertices[v]);
    }
  }
  std::sort(segments.begin(), segments.end(),
            [](const SegmentCorners& a, const SegmentCorners& b) { return a.id < b.id; });
  return segments;
}

}  // namespace

QVector<Vec3> Sorvex::segmentVertices(int segment) const {
  QVector<Vec3> points;
  if (!renderMesh) return points;
  const QVector<Vec3>& vertices = renderMesh->vertices();
  const RenderFaces& faces = renderMesh->faces();
  // faceSegment has one entry per face after loading; a shorter list (for
  // example after an edit elsewhere) simply leaves the remaining faces out.
  const int n = qMin(faces.size(), faceSegment.size());
  for (int i = 0; i < n; ++i) {
    if (faceSegment[i] != segment) continue;
    const RenderFace& f = faces[i];
    if (f.size() < 3) continue;
    for (int c = 0; c < 3; ++c) {
      const int v = f[c];
      if (v >= 0 && v < vertices.size()) points.append(vertices[v]);
    }
  }
  return points;
}

void Sorvex::extractSegmentFeatures() {
  segmentPlanes.clear();
  segmentAxes.clear();
  const bool planesOn = featureEnabled[FeatureSegmentPCAPlanes];
  const bool axesOn = featureEnabled[FeatureSegmentPCAAxes];
  if ((!planesOn && !axesOn) || segmentCount <= 0 || !renderMesh) return;

  QList<CutPlane> planesOut;
  QList<Axis> axesOut;
  const QVector<SegmentCorners> segments = cornersBySegment(*renderMesh, faceSegment);
  for (const SegmentCorners& segment : segments) {
    if (stopRequested()) return;  // the lists stay empty
    const int s = segment.id;
    const QVector<Vec3>& P = segment.points;
    PrincipalAxes pa;
    if (!principalAxes(P, pa)) {
      if (!P.isEmpty()) qDebug("Segment %i has non-finite coordinates; skipped", s);
      continue;
    }
    if (!(pa.maxDistance > 0.0f)) {
      qDebug("Segment %i collapses to one point; skipped", s);
      continue;
    }
    const float l0 = pa.values[0], l1 = pa.values[1], l2 = pa.values[2];
    const Vec3 c = pa.centroid;

    if (l1 > 0.25f * l0 && l2 > 0.25f * l0) {
      // Blob: the three principal planes through the centroid.
      float m = 0.0f;
      for (const Vec3& v : P) m = qMax(m, (v - c).length());
      for (int k = 0; k < 3; ++k) {
        CutPlane plane;
        plane.normal = pa.unitAxes[k];
        plane.d = plane.normal.dot(c);
        plane.extent = 0.95f * m;
        normalizePlane(plane);
        if (planesOn) planesOut.append(plane);
      }
    } else if (l1 > 0.25f * l0) {
      // Flat: the plane across the smallest principal direction. The spread
      // is measured along the scaled axis (length R / sqrt 2).
      const Vec3& e2 = pa.axes[2];
      const float ce = c.dot(e2);
      float m = 0.0f;
      for (const Vec3& v : P) m = qMax(m, std::fabs(v.dot(e2) - ce));
      CutPlane plane;
      plane.normal = pa.unitAxes[2];
      plane.d = plane.normal.dot(c);
      plane.extent = 0.95f * m;
      normalizePlane(plane);
      if (planesOn) planesOut.append(plane);
    } else {
      // Elongated: one axis along the largest principal direction.
      Axis axis;
      axis.point = c;
      axis.direction = pa.unitAxes[0];
      axis.halfLength = pa.axes[0].length();
      if (axesOn) axesOut.append(axis);
    }
  }
  segmentPlanes = planesOut;
  segmentAxes = axesOut;
}
