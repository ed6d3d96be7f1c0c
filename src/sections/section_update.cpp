#include <QDebug>
#include <QHash>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "sections/contour_chaining.h"
#include "sections/section_segments.h"
#include "sections/slab_triangulation.h"

namespace {

SectionOptions optionsOf(const Sorvex& engine) {
  SectionOptions options;
  options.useSegmentation = engine.useSegmentation;
  options.hermiteInterp = engine.hermiteInterp;
  options.hermiteTanFactor = engine.hermiteTanFactor;
  return options;
}

// Mesh segment of a contour made in segmentation mode: that of its first
// crossing segment (bridges have no face normal).
int contourSegment(const SectionContour& c, const QVector<int>& faceSegment) {
  for (const SectionSegment& s : c.segments)
    if (!(s.normal == Vec3(0.0f, 0.0f, 0.0f)) && s.face >= 0 && s.face < faceSegment.size()) return faceSegment[s.face];
  return kEverySegment;
}

// The slab of `plane` with the engine's settings. In segmentation mode a
// plane that cuts every segment has one slab per segment, each from that
// segment's contours alone.
bool makeSlab(const Sorvex& engine, SectionPlane& plane, double* area) {
  const QVector<int>& faceSegment = engine.faceSegment;
  if (!(engine.useSegmentation && !faceSegment.isEmpty() && plane.segmentIndex == kEverySegment))
    return ::triangulateSlab(plane, area);
  QList<int> order;
  QHash<int, QList<SectionContour>> bySegment;
  for (const SectionContour& c : plane.contours) {
    const int s = contourSegment(c, faceSegment);
    if (!bySegment.contains(s)) order.append(s);
    bySegment[s].append(c);
  }
  if (order.size() <= 1) return ::triangulateSlab(plane, area);
  bool ok = true;
  double total = 0.0;
  QList<SlabTriangle> triangles;
  for (int s : order) {
    SectionPlane part(plane.head());
    part.contours = bySegment.value(s);
    double a = 0.0;
    ok = ::triangulateSlab(part, &a) && ok;
    triangles.append(part.triangles);
    total += a;
  }
  plane.triangles = triangles;
  if (area) *area = total;
  return ok;
}

}  // namespace

void Sorvex::computeSegments(SectionPlane& plane) {
  if (!renderMesh) {
    plane.segments.clear();
    return;
  }
  ::computeSegments(plane, *renderMesh, faceSegment, useSegmentation);
}

void Sorvex::chainContours(SectionPlane& plane) {
  if (renderMesh)
    ::chainContours(plane, *renderMesh, faceSegment, optionsOf(*this));
  else
    ::chainContours(plane, optionsOf(*this));
}

void Sorvex::triangulateSlab(SectionPlane& plane) { makeSlab(*this, plane, nullptr); }

void Sorvex::updateSection(SectionPlane& plane) {
  computeSegments(plane);
  chainContours(plane);
  // The area a plane reports is that of the slab it exports (0 when there is
  // none). They differ from the contours' net area only where contours
  // overlap (parts of a model that run into each other): the slab covers
  // their union. A slab that cannot be made is left out whole, and the plane
  // keeps its contours and their net area.
  double slabArea = 0.0;
  if (makeSlab(*this, plane, &slabArea)) {
    plane.area = float(slabArea);
  } else {
    plane.triangles.clear();
    qDebug("Section has no slab: it could not be triangulated; the plane keeps its contours' area");
  }
}

void Sorvex::triangulateAllSlabs() {
  for (int i = 0; i < planes.size(); ++i) {
    SectionPlane& plane = planes[i];
    if (plane.contours.isEmpty()) continue;
    plane.triangles.clear();
    triangulateSlab(plane);
  }
}
