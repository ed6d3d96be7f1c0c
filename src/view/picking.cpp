#include "view/picking.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QDebug>
#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "sections/section_plane.h"
#include "view/camera.h"
#include "view/plane_manipulation.h"
#include "view/scene_renderer.h"

namespace {

// How long a pick waits for the plane-selection run to release the engine.
constexpr int kStateLockTimeoutMs = 50;
// Depth added before unprojecting a surface pick: the point lands just
// behind the visible surface.
constexpr double kSurfaceDepthBias = 0.00025;

bool insideView(const PickContext& c, int x, int y) {
  return c.width > 0 && c.height > 0 && x >= 0 && y >= 0 && x < c.width && y < c.height;
}

// Stores the current viewport and matrices in the engine for unprojection.
void captureView(Sorvex& engine) {
  glGetIntegerv(GL_VIEWPORT, engine.viewport.rect);
  glGetDoublev(GL_MODELVIEW_MATRIX, engine.viewport.modelView);
  glGetDoublev(GL_PROJECTION_MATRIX, engine.viewport.projection);
}

// Window point (GL convention, y upwards) to world coordinates through the
// captured matrices; false when they are singular or the result not finite.
bool unproject(const Sorvex& engine, double wx, double wy, double wz, Vec3& out) {
  double ox = 0.0, oy = 0.0, oz = 0.0;
  if (gluUnProject(wx, wy, wz, engine.viewport.modelView, engine.viewport.projection, engine.viewport.rect, &ox, &oy,
                   &oz) != GL_TRUE)
    return false;
  const Vec3 p{float(ox), float(oy), float(oz)};
  if (!p.isFinite()) return false;
  out = p;
  return true;
}

// A pass that draws only what is being picked: no lighting, blending,
// smoothing or dithering may change the colours or depths read back.
class PickPass {
 public:
  PickPass() {
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_LINE_BIT | GL_POINT_BIT |
                 GL_CURRENT_BIT | GL_PIXEL_MODE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_POINT_SMOOTH);
    glDisable(GL_DITHER);
    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LINE_STIPPLE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    GLboolean doubleBuffered = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    const GLenum buffer = doubleBuffered ? GL_BACK : GL_FRONT;
    glDrawBuffer(buffer);
    glReadBuffer(buffer);
  }
  ~PickPass() { glPopAttrib(); }
};

float readDepth(int x, int y, int height) {
  float z = 1.0f;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, height - 1 - y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &z);
  return z;
}

}  // namespace

namespace {

// Draws the current plane's glyph alone over cyan and returns the mode the
// nearest grabbable pixel within `radius` of (x, y) starts from `mode`
// (ties: the first in row order), or -1.
int nearestGlyphMode(const PickContext& context, int x, int y, int radius, int mode) {
  Sorvex* engine = context.engine;
  // The run may be changing the plane list: wait a moment for it, and pick
  // nothing rather than freeze the view when it stays busy.
  if (!engine->stateMutex.tryLock(kStateLockTimeoutMs)) return -1;
  if (!engine->hasCurrentPlane()) {
    engine->stateMutex.unlock();
    return -1;
  }
  radius = std::max(0, std::min(radius, 16));
  const int x0 = std::max(0, x - radius), x1 = std::min(context.width - 1, x + radius);
  const int y0 = std::max(0, y - radius), y1 = std::min(context.height - 1, y + radius);
  const int bw = x1 - x0 + 1, bh = y1 - y0 + 1;
  std::vector<unsigned char> block(size_t(bw) * size_t(bh) * 3, 0);
  {
    PickPass pass;
    glClearColor(0.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.8f, 0.8f, 0.8f, 1.0f);
    SceneRenderer(engine, *context.camera, context.options).drawPlaneGlyph(engine->planes[engine->currentPlane]);
    glLineWidth(1.0f);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    // GL rows run upwards: row 0 of the block is window row y1.
    glReadPixels(x0, context.height - 1 - y1, bw, bh, GL_RGB, GL_UNSIGNED_BYTE, block.data());
  }
  engine->stateMutex.unlock();

  int best = -1;
  int bestDistance = radius * radius + 1;
  for (int wy = y0; wy <= y1; ++wy) {
    const int row = y1 - wy;
    for (int wx = x0; wx <= x1; ++wx) {
      const int d2 = (wx - x) * (wx - x) + (wy - y) * (wy - y);
      if (d2 >= bestDistance) continue;
      const unsigned char* c = &block[(size_t(row) * size_t(bw) + size_t(wx - x0)) * 3];
      const int picked = modeForPickedColour(mode, c[0], c[1], c[2]);
      if (picked < 0) continue;
      best = picked;
      bestDistance = d2;
    }
  }
  return best;
}

}  // namespace

int glyphModeNear(const PickContext& context, int x, int y, int radius) {
  Sorvex* engine = context.engine;
  if (!engine || !context.camera || !insideView(context, x, y)) return -1;
  const int mode = engine->pickState[0];
  if (mode != manipmode::kDefaultIdle && mode != manipmode::kThreeBallIdle) return -1;
  return nearestGlyphMode(context, x, y, radius, mode);
}

bool pickGlyph(const PickContext& context, int x, int y) {
  Sorvex* engine = context.engine;
  if (!engine || !context.camera || !insideView(context, x, y)) return false;
  if (!engine->hasCurrentPlane()) return false;

  const int mode = engine->pickState[0];
  const bool idle = mode == manipmode::kDefaultIdle || mode == manipmode::kThreeBallIdle;
  const int picked = idle ? nearestGlyphMode(context, x, y, kPickRadius, mode) : -1;
  engine->pickState[1] = x;
  engine->pickState[2] = y;
  if (!idle) return true;
  if (picked < 0) return false;  // the mode stays idle
  engine->pickState[0] = picked;
  return true;
}

bool dragPlane(const PickContext& context, int x, int y) {
  Sorvex* engine = context.engine;
  if (!engine || !context.camera) return false;
  const int mode = engine->pickState[0];
  if (!manipmode::isDragging(mode) || !engine->hasCurrentPlane()) return false;

  SectionPlane& plane = engine->planes[engine->currentPlane];
  const int dx = x - engine->pickState[1];
  const int dy = y - engine->pickState[2];
  bool changed = false;
  switch (mode) {
    case manipmode::kTurnAboutR1:
    case manipmode::kTurnAboutR2:
      changed = turnPlane(plane, mode, dragTurnAngle(dx, dy, context.width, context.height));
      break;
    case manipmode::kSlide:
      changed = slidePlane(plane, *context.camera, engine->modelRadius(), dx, dy, context.height);
      break;
    default: {
      // A handle follows the surface under the cursor; over the background,
      // or where it would make the handles coincide, the step is skipped and
      // the plane stays as it was.
      const int k = mode - manipmode::kDragHandle1;
      Vec3 onSurface;
      if (pickSurfacePoint(context, x, y, onSurface)) {
        const Vec3 previous = plane.handles[k];
        plane.handles[k] = onSurface;
        changed = planeThroughHandles(plane, engine->modelRadius());
        if (!changed) plane.handles[k] = previous;
      }
      break;
    }
  }
  if (changed) engine->updateSection(plane);
  engine->pickState[1] = x;
  engine->pickState[2] = y;
  return true;
}

void endManipulation(Sorvex& engine) { engine.pickState[0] = manipmode::afterRelease(engine.pickState[0]); }

bool pickSurfacePoint(const PickContext& context, int x, int y, Vec3& out) {
  Sorvex* engine = context.engine;
  if (!engine || !engine->renderMesh || !insideView(context, x, y)) return false;
  captureView(*engine);

  const RenderMesh& mesh = *engine->renderMesh;
  const QVector<Vec3>& vertices = mesh.vertices();
  const int vertexCount = vertices.size();
  float z = 1.0f;
  {
    PickPass pass;
    glDisable(GL_CULL_FACE);  // whichever side faces the viewer hides what is behind
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(0.0f, 0.0f, 0.0f);
    glBegin(GL_TRIANGLES);
    for (const RenderFace& face : mesh.faces()) {
      if (face.size() < 3) continue;
      bool valid = true;
      for (int c = 0; c < 3; ++c) valid = valid && face[c] >= 0 && face[c] < vertexCount;
      if (!valid) continue;
      for (int c = 0; c < 3; ++c) glVertex3f(vertices[face[c]].x, vertices[face[c]].y, vertices[face[c]].z);
    }
    glEnd();
    z = readDepth(x, y, context.height);
  }
  if (!(z < 1.0f)) return false;  // background (or no depth at all)
  return unproject(*engine, double(x), double(context.height - 1 - y), double(z) + kSurfaceDepthBias, out);
}

bool addAnnotationPoint(const PickContext& context, int x, int y, bool startNewStroke, int& openStrokePlane) {
  // A press starts afresh even when it misses: the drag after it must not
  // extend a stroke from before.
  if (startNewStroke) openStrokePlane = -1;
  Sorvex* engine = context.engine;
  if (!engine || !context.camera || context.width <= 0 || context.height <= 0) return false;
  if (!engine->hasCurrentPlane()) return false;
  captureView(*engine);

  Vec3 q;
  if (!unproject(*engine, double(x), double(context.height - y), 0.5, q)) return false;
  const Vec3 eye = context.camera->eye;
  const Vec3 direction = (q - eye).normalized();
  if (direction == Vec3()) return false;

  const int index = engine->currentPlane;
  SectionPlane& plane = engine->planes[index];
  Vec3 uv;
  if (!strokePointOnPlane(plane, eye, direction, uv)) return false;
  // A stroke continues only on the plane it was started on; after the
  // current plane changed, or without a stroke to extend, a new one begins.
  if (startNewStroke || openStrokePlane != index || plane.annotations.isEmpty())
    plane.annotations.append(QList<Vec3>());
  plane.annotations.last().append(uv);
  openStrokePlane = index;
  return true;
}
