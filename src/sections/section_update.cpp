#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "sections/contour_chaining.h"
#include "sections/section_segments.h"
#include "sections/slab_triangulation.h"

void Sorvex::computeSegments(SectionPlane& plane) {
  if (!renderMesh) {
    plane.segments.clear();
    return;
  }
  ::computeSegments(plane, *renderMesh, faceSegment, useSegmentation);
}

void Sorvex::chainContours(SectionPlane& plane) {
  SectionOptions options;
  options.useSegmentation = useSegmentation;
  options.hermiteInterp = hermiteInterp;
  options.hermiteTanFactor = hermiteTanFactor;
  ::chainContours(plane, options);
}

void Sorvex::triangulateSlab(SectionPlane& plane) { ::triangulateSlab(plane); }

void Sorvex::updateSection(SectionPlane& plane) {
  computeSegments(plane);
  chainContours(plane);
  triangulateSlab(plane);
}

void Sorvex::triangulateAllSlabs() {
  for (int i = 0; i < planes.size(); ++i) {
    SectionPlane& plane = planes[i];
    if (plane.contours.isEmpty()) continue;
    plane.triangles.clear();
    triangulateSlab(plane);
  }
}
