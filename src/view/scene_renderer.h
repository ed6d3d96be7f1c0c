#pragma once

#include "engine/cut_plane.h"
#include "engine/vec3.h"
#include "view/glyph_colours.h"
#include "view/draw_options.h"

class Camera;
class Sorvex;
struct SectionContour;
struct SectionPlane;

// Draws the main view's scene from the engine's state with the fixed-function
// pipeline: ground grid, mesh (points, edges, shaded or segment-coloured
// triangles), section planes with slabs and contours, the current plane's
// glyph, the mesh features and the annotation strokes. It reads the engine
// and never changes it, except that the palette is filled on first use.
//
// Locking: paintFrame takes the engine's stateMutex for the whole frame. The
// individual passes do not lock; a caller that uses one of them outside
// paintFrame (the glyph picking does) holds the mutex itself while it reads
// the plane it hands in.
//
// Every pass needs the widget's GL context to be current.
class SceneRenderer {
 public:
  SceneRenderer(Sorvex* engine, const Camera& camera, const DrawOptions& options);

  // The whole frame: clear to white, camera, passes in order, matrices back
  // to identity, then the error check that logs "GLproblem\n".
  void paintFrame();

  // ---- passes ----
  // 20 x 20 grid of unit squares at the model's lowest Y.
  void drawGrid();
  void drawVertices();
  void drawEdges();
  // Shaded surface, or segment-coloured when segmentation is in use.
  void drawSurface(float alpha);
  // The slabs of every plane in their palette colours. The study window
  // draws them flat; the research window lights them from the eye on both
  // sides and pushes them back a little, so that their contours stay on top.
  void drawSlabs();
  // Slabs (optional) and contours of every plane, then the current glyph.
  // In the research window a coloured contour has a dark border, so that
  // light palette colours (yellow) show on a light surface.
  void drawPlanes(bool withSlabs, bool colouredContours);
  // One contour, each point pushed `offset` along its segment's normal.
  void drawContour(const SectionContour& contour, float offset);
  // The manipulation glyph: light edges with black borders, red and green
  // axis lines and, in the 3-Ball modes, the three handle balls. Its exact
  // byte colours are what the picking reads back. The balls are drawn
  // without the depth test: a handle dragged onto the surface lies just
  // behind it and would otherwise be hidden by it.
  void drawPlaneGlyph(const SectionPlane& plane);
  void drawAnnotations();
  void drawFeatures();
  void drawFeaturePlane(const CutPlane& plane, const Vec3& colour);
  void drawFeatureAxis(const Axis& axis, const Vec3& colour);

  // Palette entry i mod 36, which also becomes the current GL colour.
  Vec3 paletteColour(unsigned i);

  // Light 0 at the eye (the camera applied), grey ambient and diffuse
  // intensities; the surface and the slabs.
  void setHeadLight(float ambient, float diffuse);

  // Research surface colour, and its opacity over slabs drawn inside it.
  static constexpr float kSurfaceOverSlabsAlpha = 0.35f;
  static const Vec3 kResearchSurface;

  // The model's bounding radius (1 without a render mesh).
  float modelRadius() const;

 private:
  Sorvex* engine_;
  const Camera& camera_;
  DrawOptions options_;
};
