#pragma once

#include "engine/vec3.h"
#include "view/draw_options.h"

class Camera;
class Sorvex;

// What the picking needs to know about the main view: the engine, its
// camera, the drawing options and the viewport size in pixels.
//
// Every function here needs the view's GL context to be current with the
// camera's matrices loaded (Camera::applyView). The passes draw into the back
// buffer and read it back; the caller repaints afterwards, so the pick frame
// is never shown. Window coordinates have their origin at the top left with
// y downwards.
struct PickContext {
  Sorvex* engine = nullptr;
  Camera* camera = nullptr;
  DrawOptions options;
  int width = 0;
  int height = 0;
};

// How far from the cursor, in pixels, a press still grabs a part of the
// glyph: the nearest grabbable pixel within this radius wins.
constexpr int kPickRadius = 3;

// The manipulation a press at (x, y) would start from the engine's current
// idle mode (see modeForPickedColour), looking up to `radius` pixels away
// for the nearest grabbable pixel; -1 for none, in a non-idle mode, without
// a current plane or while the engine's state is busy. Changes no state
// (the pass draws into the back buffer, which the next paint overwrites).
int glyphModeNear(const PickContext& context, int x, int y, int radius = kPickRadius);

// Press in the manipulation styles: draws the current plane's glyph alone
// over a cyan background, reads the pixels within kPickRadius of (x, y) and
// starts the manipulation the nearest grabbable colour names (see
// modeForPickedColour). Stores (x, y) as
// the last manipulation position. Returns false when no part of the glyph
// was hit (the mode stays idle), when there is no current plane or when the
// engine's state is busy; true when a manipulation started or one was
// already in progress.
bool pickGlyph(const PickContext& context, int x, int y);

// One drag step at (x, y) in the active manipulation mode: turns, slides or
// moves a handle and rebuilds the plane, then recomputes its section and
// stores (x, y) as the last manipulation position. Returns true when the
// move belongs to the manipulation (even if the step had to be skipped:
// a handle over the background, coincident handles), false in the idle modes
// or without a current plane (the move is then the camera's).
bool dragPlane(const PickContext& context, int x, int y);

// Release: 3-Ball modes return to 4, all others to 0.
void endManipulation(Sorvex& engine);

// The 3-D point of the render mesh under (x, y), just behind the visible
// surface. Captures the view's matrices into the engine. Returns false and
// leaves `out` unchanged over the background or when the unprojection fails.
bool pickSurfacePoint(const PickContext& context, int x, int y, Vec3& out);

// Adds the point of the current plane under (x, y) to its strokes, as plane
// coordinates (u, v, 0). A new stroke is started when `startNewStroke` is set
// or when `openStrokePlane` (the plane the running stroke belongs to, -1 for
// none) is not the current plane; `openStrokePlane` is updated. Returns false
// when nothing was added (no current plane, the ray misses the plane).
bool addAnnotationPoint(const PickContext& context, int x, int y, bool startNewStroke, int& openStrokePlane);
