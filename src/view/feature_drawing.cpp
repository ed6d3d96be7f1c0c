// The mesh features: planes as bordered squares, axes as bordered lines,
// ridge and valley polylines.
#include <GL/gl.h>

#include "engine/sorvex.h"
#include "view/scene_renderer.h"

namespace {

void vertex(const Vec3& v) { glVertex3f(v.x, v.y, v.z); }

const Vec3 kFeatureGrey(0.5f, 0.5f, 0.5f);
const Vec3 kRidgeAxisOrange(1.0f, 0.5f, 0.0f);
const Vec3 kSymmetryAxisGrey(0.3f, 0.3f, 0.3f);
// Feature plane squares: a quarter of the model's bounding radius across
// each half side.
constexpr float kFeaturePlaneScale = 0.25f;

// Each piece as one strip through the start and end of its segments.
void drawPieces(const QList<QList<SectionSegment>>& pieces) {
  glLineWidth(5.0f);
  glColor3f(kFeatureGrey.x, kFeatureGrey.y, kFeatureGrey.z);
  for (const QList<SectionSegment>& piece : pieces) {
    glBegin(GL_LINE_STRIP);
    for (const SectionSegment& s : piece) {
      vertex(s.start);
      vertex(s.end);
    }
    glEnd();
  }
  glLineWidth(1.0f);
}

}  // namespace

void SceneRenderer::drawFeatures() {
  if (!engine_) return;
  const Sorvex& e = *engine_;
  glDisable(GL_LIGHTING);

  if (e.featureEnabled[FeatureSegmentPCAPlanes])
    for (const CutPlane& p : e.segmentPlanes) drawFeaturePlane(p, kFeatureGrey);
  if (e.featureEnabled[FeatureSegmentPCAAxes])
    for (const Axis& a : e.segmentAxes) drawFeatureAxis(a, kFeatureGrey);
  if (e.featureEnabled[FeatureRidges]) {
    drawPieces(e.ridgePieces);
    for (const Axis& a : e.ridgeAxes) drawFeatureAxis(a, kRidgeAxisOrange);
  }
  if (e.featureEnabled[FeatureValleys]) {
    glLineStipple(1, 0x0F0F);
    glEnable(GL_LINE_STIPPLE);
    drawPieces(e.valleyPieces);
    glDisable(GL_LINE_STIPPLE);
    for (const Axis& a : e.valleyAxes) drawFeatureAxis(a, kRidgeAxisOrange);
  }
  if (e.featureEnabled[FeatureSymmetryPlanes])
    for (const CutPlane& p : e.symmetryPlanes) drawFeaturePlane(p, kFeatureGrey);
  if (e.featureEnabled[FeatureSymmetryAxes]) {
    for (const Axis& a : e.symmetryAxes) drawFeatureAxis(a, kSymmetryAxisGrey);
    glLineWidth(1.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
  }
  if (e.featureEnabled[FeatureGlobalXYZ])
    for (const CutPlane& p : e.globalXYZPlanes) drawFeaturePlane(p, kFeatureGrey);
  if (e.featureEnabled[FeatureGlobalPCA])
    for (const CutPlane& p : e.globalPCAPlanes) drawFeaturePlane(p, kFeatureGrey);
  // The support kinds exist only inside a run and are not drawn.
}

void SceneRenderer::drawFeaturePlane(const CutPlane& plane, const Vec3& colour) {
  // A small, thin, light square about the plane's point: a marker of where
  // and how the plane lies that leaves the model in view.
  const float R = modelRadius() * kFeaturePlaneScale;
  const Vec3 a = plane.r1, b = plane.r2;
  const Vec3 c1 = a - b, c2 = -a - b, c3 = b - a, c4 = a + b;
  const Vec3 light = colour * 0.5f + Vec3(0.5f, 0.5f, 0.5f);  // halfway to white
  glPushMatrix();
  glTranslatef(plane.point.x, plane.point.y, plane.point.z);
  glScalef(R, R, R);
  glLineWidth(2.0f);
  glColor3f(light.x, light.y, light.z);
  glBegin(GL_LINE_LOOP);
  vertex(c1);
  vertex(c2);
  vertex(c3);
  vertex(c4);
  glEnd();
  glPopMatrix();
  glLineWidth(1.0f);
  glColor3f(1.0f, 1.0f, 1.0f);
}

void SceneRenderer::drawFeatureAxis(const Axis& axis, const Vec3& colour) {
  const Vec3 from = axis.point - axis.direction * axis.halfLength;
  const Vec3 to = axis.point + axis.direction * axis.halfLength;
  glLineWidth(5.0f);
  glColor3f(colour.x, colour.y, colour.z);
  glBegin(GL_LINES);
  vertex(from);
  vertex(to);
  glEnd();
  glLineWidth(7.0f);
  glColor3f(0.0f, 0.0f, 0.0f);
  glBegin(GL_LINES);
  vertex(from);
  vertex(to);
  glEnd();
  glLineWidth(1.0f);
  glColor3f(1.0f, 1.0f, 1.0f);
}
