#include "engine/sorvex.h"

// Placeholder until the section computation lands.
void Sorvex::updateSection(SectionPlane& plane) {
  plane.segments.clear();
  plane.contours.clear();
  plane.triangles.clear();
  plane.area = 0.0f;
}
