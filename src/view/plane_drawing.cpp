// Section planes: slabs, contours, the current plane's glyph and the
// annotation strokes.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "app/study_mode.h"
#include "engine/sorvex.h"
#include "sections/section_plane.h"
#include "view/camera.h"
#include "view/scene_renderer.h"

namespace {

void vertex(const Vec3& v) { glVertex3f(v.x, v.y, v.z); }

// sin 15 degrees: planes seen closer than this to edge-on hide their strokes.
constexpr float kEdgeOnLimit = 0.25881907f;

}  // namespace

void SceneRenderer::drawPlanes(bool withSlabs, bool colouredContours) {
  if (!engine_) return;
  const QList<SectionPlane>& planes = engine_->planes;
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);

  if (withSlabs) drawSlabs();
  glDisable(GL_LIGHTING);

  const bool outlined = !studyMode && colouredContours;
  for (int i = 0; i < planes.size(); ++i) {
    const SectionPlane& plane = planes[i];
    if (outlined) {
      // A dark border first, then the colour over it. The border is tested
      // against the surface but leaves the depth buffer alone: a wide
      // segment's border would otherwise stand in front of the neighbouring
      // segment's colour wherever the contour runs away from the eye, and
      // cut the coloured line into dashes.
      glLineWidth(8.0f);
      glPointSize(8.0f);
      glColor3f(0.1f, 0.1f, 0.1f);
      glDepthMask(GL_FALSE);
      for (const SectionContour& contour : plane.contours) drawContour(contour, 0.0025f);
      glDepthMask(GL_TRUE);
      glDepthFunc(GL_LEQUAL);
    }
    glLineWidth(5.0f);
    glPointSize(5.0f);
    for (const SectionContour& contour : plane.contours) {
      if (colouredContours)
        paletteColour(unsigned(i));
      else
        glColor3f(0.0f, 0.0f, 0.0f);
      drawContour(contour, 0.0025f);
    }
    glDepthFunc(GL_LESS);
    glLineWidth(1.0f);
    glPointSize(1.0f);
  }
  // The glyph last, so that no later plane's contours cover its handles.
  if (engine_->hasCurrentPlane()) drawPlaneGlyph(planes[engine_->currentPlane]);

  glEnable(GL_LIGHTING);
}

void SceneRenderer::drawSlabs() {
  if (!engine_) return;
  const QList<SectionPlane>& planes = engine_->planes;
  glDisable(GL_CULL_FACE);
  if (!studyMode) {
    glEnable(GL_LIGHTING);
    // With the scene's ambient 0.2, a slab facing the eye shows its palette
    // colour; one seen at a slant is darker.
    setHeadLight(0.3f, 0.5f);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 1.0f);
  } else {
    glDisable(GL_LIGHTING);
  }
  for (int i = 0; i < planes.size(); ++i) {
    const SectionPlane& plane = planes[i];
    paletteColour(unsigned(i));
    glBegin(GL_TRIANGLES);
    for (const SlabTriangle& t : plane.triangles) {
      for (const Vec3& corner : t.corners) {
        glNormal3f(plane.normal.x, plane.normal.y, plane.normal.z);
        vertex(corner);
      }
    }
    glEnd();
  }
  if (!studyMode) {
    glDisable(GL_POLYGON_OFFSET_FILL);
    glDisable(GL_COLOR_MATERIAL);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
  }
  glDisable(GL_LIGHTING);
}

void SceneRenderer::drawContour(const SectionContour& contour, float offset) {
  glBegin(GL_POINTS);
  for (const SectionSegment& s : contour.segments) {
    vertex(s.start + s.normal * offset);
    vertex(s.end + s.normal * offset);
  }
  glEnd();
  glBegin(contour.isClosed ? GL_LINE_LOOP : GL_LINE_STRIP);
  for (const SectionSegment& s : contour.segments) vertex(s.start + s.normal * offset);
  glEnd();
}

void SceneRenderer::drawPlaneGlyph(const SectionPlane& plane) {
  const float R = modelRadius();
  const Vec3 p1 = plane.r1 - plane.r2;
  const Vec3 p2 = -plane.r1 - plane.r2;
  const Vec3 p3 = plane.r2 - plane.r1;
  const Vec3 p4 = plane.r1 + plane.r2;

  glDisable(GL_LIGHTING);
  glPushMatrix();
  glTranslatef(plane.point.x, plane.point.y, plane.point.z);
  glScalef(R, R, R);

  glLineWidth(5.0f);
  glBegin(GL_LINES);
  glColor3ub(glyphcolour::kEdgeR1, glyphcolour::kEdgeR1, glyphcolour::kEdgeR1);
  vertex(p1);
  vertex(p2);
  vertex(p3);
  vertex(p4);
  glColor3ub(glyphcolour::kEdgeR2, glyphcolour::kEdgeR2, glyphcolour::kEdgeR2);
  vertex(p4);
  vertex(p1);
  vertex(p2);
  vertex(p3);
  glColor3ub(255, 0, 0);
  vertex(Vec3());
  vertex(plane.r1);
  glColor3ub(0, 255, 0);
  vertex(Vec3());
  vertex(plane.r2);
  glEnd();

  // Same edges, wider and black, at the same depth: with the depth test
  // they only show as a border around the light edges.
  glLineWidth(7.0f);
  glColor3f(0.0f, 0.0f, 0.0f);
  glBegin(GL_LINES);
  vertex(p1);
  vertex(p2);
  vertex(p3);
  vertex(p4);
  vertex(p4);
  vertex(p1);
  vertex(p2);
  vertex(p3);
  glEnd();
  glPopMatrix();

  const int mode = engine_ ? engine_->pickState[0] : 0;
  if (mode >= 4 && mode <= 7) {
    GLUquadric* quadric = gluNewQuadric();
    if (quadric) {
      // A handle placed on the surface lies a little behind it (the surface
      // pick unprojects a biased depth): without the depth test the balls
      // always show, in front of the mesh and of each other by drawing order.
      glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT);
      glDisable(GL_DEPTH_TEST);
      for (int k = 1; k <= 3; ++k) {
        const Vec3& h = plane.handles[k - 1];
        const unsigned char* c = glyphcolour::kHandle[k - 1];
        glPushMatrix();
        glTranslatef(h.x, h.y, h.z);
        if (mode == 4 + k)
          glColor3ub(glyphcolour::draggedChannel(c[0]), glyphcolour::draggedChannel(c[1]),
                     glyphcolour::draggedChannel(c[2]));
        else
          glColor3ub(c[0], c[1], c[2]);
        gluSphere(quadric, R / 40.0f, 20, 20);
        glPopMatrix();
      }
      glPopAttrib();
      gluDeleteQuadric(quadric);
    }
  }
  glLineWidth(1.0f);
}

void SceneRenderer::drawAnnotations() {
  if (!engine_) return;
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glLineWidth(3.0f);
  // Strokes lie in their plane, where the plane pass may have drawn already.
  glDepthFunc(GL_LEQUAL);
  for (const SectionPlane& plane : engine_->planes) {
    // normalized() gives (0, 0, 0) for an eye on the plane's point or a
    // zero normal, which counts as edge-on: nothing to divide by zero.
    const Vec3 v = (camera_.eye - plane.point).normalized();
    const Vec3 n = plane.normal.normalized();
    if (!(std::fabs(v.dot(n)) >= kEdgeOnLimit)) continue;
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    for (const QList<Vec3>& stroke : plane.annotations) {
      glBegin(GL_LINE_STRIP);
      for (const Vec3& uv : stroke) vertex(plane.point + plane.r1 * uv.x + plane.r2 * uv.y);
      glEnd();
    }
  }
  glDepthFunc(GL_LESS);
  glDisable(GL_BLEND);
  glColor3f(1.0f, 1.0f, 1.0f);
  glLineWidth(1.0f);
}
