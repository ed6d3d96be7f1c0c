#include "view/scene_renderer.h"

#include <GL/gl.h>

#include <QDebug>

#include "app/study_mode.h"
#include "engine/palette.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "view/camera.h"

const Vec3 SceneRenderer::kResearchSurface(0.58f, 0.64f, 0.76f);

SceneRenderer::SceneRenderer(Sorvex* engine, const Camera& camera, const DrawOptions& options)
    : engine_(engine), camera_(camera), options_(options) {}

float SceneRenderer::modelRadius() const {
  return (engine_ && engine_->renderMesh) ? engine_->renderMesh->radius() : 1.0f;
}

Vec3 SceneRenderer::paletteColour(unsigned i) {
  const Vec3 c = engine_ ? ::paletteColour(engine_->palette, i) : paletteEntry(i);
  glColor3f(c.x, c.y, c.z);
  return c;
}

void SceneRenderer::paintFrame() {
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glPushMatrix();
  // applyView only touches the camera's own light arrays; the camera record
  // is the widget's, so a copy keeps this renderer read-only.
  Camera view = camera_;
  view.applyView();

  if (engine_) {
    std::lock_guard<StateLock> lock(engine_->stateMutex);
    if (studyMode) drawGrid();
    if (options_.drawVertices) drawVertices();
    if (options_.drawEdges) drawEdges();
    // Research: slabs asked for while the surface is shown are drawn first
    // and seen through a translucent surface, instead of hidden inside it.
    const bool slabsThroughSurface =
        !studyMode && !options_.annotateMode && options_.drawOutput && options_.outputTriangulate &&
        options_.drawTriangles;
    if (slabsThroughSurface) {
      drawSlabs();
      glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT);
      glEnable(GL_CULL_FACE);
      glDepthMask(GL_FALSE);
      drawSurface(kSurfaceOverSlabsAlpha);
      glPopAttrib();
    } else if (options_.drawTriangles) {
      drawSurface(1.0f);
    }
    if (options_.drawHumanCuts) {
      // The participants' planes themselves reach the view as the consensus
      // planes of the plane list; this only smooths the lines from here on.
      glEnable(GL_LINE_SMOOTH);
      glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    }
    // "Annotate Mode" draws the strokes over the planes, which stay shown.
    if (studyMode) {
      if (options_.drawTriangles)
        drawPlanes(false, true);
      else
        drawPlanes(true, false);
    } else if (options_.drawOutput) {
      drawPlanes(options_.outputTriangulate && !slabsThroughSurface, options_.outputColoured);
    }
    if (options_.annotateMode) drawAnnotations();
    if (options_.drawMeshFeatures) drawFeatures();
  }

  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  // Report once per frame, and drain every pending flag so that one fault
  // is not reported again by the frames after it.
  bool problem = false;
  for (int guard = 0; guard < 32 && glGetError() != GL_NO_ERROR; ++guard) problem = true;
  if (problem) qDebug("GLproblem\n");
}

void SceneRenderer::drawGrid() {
  const float y = (engine_ && engine_->renderMesh) ? engine_->renderMesh->bboxMin().y : 0.0f;
  glDisable(GL_LIGHTING);
  glPushMatrix();
  glTranslatef(0.0f, y, 0.0f);
  glBegin(GL_LINES);
  for (int a = -10; a <= 10; ++a) {
    if (a == 0)
      glColor3f(0.0f, 0.0f, 0.0f);
    else
      glColor3f(0.7f, 0.7f, 0.7f);
    glVertex3f(float(a), 0.0f, 10.0f);
    glVertex3f(float(a), 0.0f, -10.0f);
    glVertex3f(10.0f, 0.0f, float(a));
    glVertex3f(-10.0f, 0.0f, float(a));
  }
  glEnd();
  glColor3f(1.0f, 1.0f, 1.0f);
  glPopMatrix();
}

void SceneRenderer::drawVertices() {
  if (!engine_ || !engine_->renderMesh) return;
  glDisable(GL_LIGHTING);
  glPointSize(4.0f);
  glColor3f(0.0f, 0.0f, 0.0f);
  glBegin(GL_POINTS);
  for (const Vec3& v : engine_->renderMesh->vertices()) glVertex3f(v.x, v.y, v.z);
  glEnd();
  glColor3f(1.0f, 1.0f, 1.0f);
  glPointSize(1.0f);
}

void SceneRenderer::drawEdges() {
  if (!engine_ || !engine_->renderMesh) return;
  const RenderMesh& mesh = *engine_->renderMesh;
  const QVector<Vec3>& vertices = mesh.vertices();
  const int vertexCount = vertices.size();
  glDisable(GL_LIGHTING);
  glColor3f(0.0f, 0.0f, 0.0f);
  glBegin(GL_LINES);
  for (const RenderFace& face : mesh.faces()) {
    const int n = face.size();
    for (int j = 0; j < n; ++j) {
      const int a = face[j], b = face[(j + 1) % n];
      if (a < 0 || a >= vertexCount || b < 0 || b >= vertexCount) continue;
      glVertex3f(vertices[a].x, vertices[a].y, vertices[a].z);
      glVertex3f(vertices[b].x, vertices[b].y, vertices[b].z);
    }
  }
  glEnd();
}

void SceneRenderer::setHeadLight(float ambient, float diffuse) {
  glEnable(GL_LIGHT0);
  const float lightAmbient[4] = {ambient, ambient, ambient, 1.0f};
  const float lightDiffuse[4] = {diffuse, diffuse, diffuse, 1.0f};
  const float lightSpecular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  const float lightPosition[4] = {camera_.eye.x, camera_.eye.y, camera_.eye.z, 1.0f};
  glLightfv(GL_LIGHT0, GL_AMBIENT, lightAmbient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, lightSpecular);
  glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, 1.0f);
  glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
}

void SceneRenderer::drawSurface(float alpha) {
  if (!engine_ || !engine_->renderMesh) return;
  const RenderMesh& mesh = *engine_->renderMesh;
  const QVector<Vec3>& vertices = mesh.vertices();
  const RenderFaces& faces = mesh.faces();
  const QVector<Vec3>& normals = mesh.faceNormals();
  const int vertexCount = vertices.size();

  glEnable(GL_LIGHTING);
  // The study window keeps its flat, bright light; the research window
  // shades more strongly so that the surface shows its shape.
  if (studyMode)
    setHeadLight(0.8f, 0.4f);
  else
    setHeadLight(0.35f, 0.75f);
  if (studyMode) {
    const float materialAmbient[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    const float materialDiffuse[4] = {0.4f, 0.4f, 0.4f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, materialAmbient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, materialDiffuse);
  } else {
    // A mid blue-grey that the light shades: it stands out from the white
    // background and the shape reads from its shading.
    const float material[4] = {kResearchSurface.x, kResearchSurface.y, kResearchSurface.z, alpha};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, material);
  }
  glColor3f(1.0f, 1.0f, 1.0f);

  // The first three corners of face f, skipped when one is out of range.
  auto emitFace = [&](int f) {
    const RenderFace& face = faces[f];
    if (face.size() < 3) return;
    for (int c = 0; c < 3; ++c)
      if (face[c] < 0 || face[c] >= vertexCount) return;
    const Vec3 n = f < normals.size() ? normals[f] : Vec3();
    glNormal3f(n.x, n.y, n.z);
    for (int c = 0; c < 3; ++c) {
      const Vec3& v = vertices[face[c]];
      glVertex3f(v.x, v.y, v.z);
    }
  };

  const QVector<int>& faceSegment = engine_->faceSegment;
  if (engine_->useSegmentation && !faceSegment.isEmpty()) {
    const float frontAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    glMaterialfv(GL_FRONT, GL_AMBIENT, frontAmbient);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    const bool hasCurrent = engine_->hasCurrentPlane();
    const int highlighted = hasCurrent ? engine_->planes[engine_->currentPlane].segmentIndex : 0;
    glBegin(GL_TRIANGLES);
    for (int f = 0; f < faces.size(); ++f) {
      // A face without an entry (the lists disagree after an edit) counts
      // as segment 0.
      const int segment = f < faceSegment.size() ? faceSegment[f] : 0;
      if (hasCurrent && segment == highlighted) {
        glColor3f(0.8f, 0.8f, 0.8f);
      } else {
        const Vec3 c = ::paletteColour(engine_->palette, unsigned(segment)) * 0.7f;
        glColor3f(c.x, c.y, c.z);
      }
      emitFace(f);
    }
    glEnd();
    glDisable(GL_COLOR_MATERIAL);
  } else {
    glColor4f(0.9f, 0.9f, 0.9f, alpha);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_TRIANGLES);
    for (int f = 0; f < faces.size(); ++f) emitFace(f);
    glEnd();
    glDisable(GL_BLEND);
  }
  glDisable(GL_LIGHTING);
}
