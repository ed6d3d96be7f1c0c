#include "view/bin_space_guides.h"

#include <GL/gl.h>

#include <QFont>
#include <QFontMetrics>
#include <QGLWidget>
#include <QString>

#include "engine/palette.h"
#include "view/bin_space_drawing.h"

namespace {

// Bin-index box: theta 0..360, phi 0..180, d 0..100.
constexpr float kTheta = 360.0f, kPhi = 180.0f, kD = 100.0f;
// Axes run a little past the box so that their ends and labels stand clear.
constexpr float kOvershoot = 24.0f;

void colourOf(const unsigned char c[3]) { glColor3ub(c[0], c[1], c[2]); }

// Index space to side-view units (as the cubes are placed).
void indexToView(float t, float p, float k, double& x, double& y, double& z) {
  x = (t - kTheta / 2) * kBinSpaceScale;
  y = (p - kPhi / 2) * kBinSpaceScale;
  z = (k - kD / 2) * kBinSpaceScale;
}

void label(QGLWidget* widget, float t, float p, float k, const QString& text, const unsigned char c[3]) {
  double x, y, z;
  indexToView(t, p, k, x, y, z);
  QFont font = widget->font();
  font.setBold(true);
  colourOf(c);
  widget->renderText(x, y, z, text, font);
}

}  // namespace

void drawBinSpaceAxes(QGLWidget* widget) {
  glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glPushMatrix();
  glScalef(kBinSpaceScale, kBinSpaceScale, kBinSpaceScale);
  glTranslatef(-kTheta / 2, -kPhi / 2, -kD / 2);
  glLineWidth(3.0f);
  glBegin(GL_LINES);
  colourOf(binguide::kThetaAxis);
  glVertex3f(0, 0, 0);
  glVertex3f(kTheta + kOvershoot, 0, 0);
  colourOf(binguide::kPhiAxis);
  glVertex3f(0, 0, 0);
  glVertex3f(0, kPhi + kOvershoot, 0);
  colourOf(binguide::kDAxis);
  glVertex3f(0, 0, 0);
  glVertex3f(0, 0, kD + kOvershoot);
  glEnd();
  // Ticks every 90 degrees and every 50 d steps.
  glLineWidth(2.0f);
  glBegin(GL_LINES);
  colourOf(binguide::kThetaAxis);
  for (float t = 90; t <= kTheta; t += 90) glVertex3f(t, -6, 0), glVertex3f(t, 6, 0);
  colourOf(binguide::kPhiAxis);
  for (float p = 90; p <= kPhi; p += 90) glVertex3f(-6, p, 0), glVertex3f(6, p, 0);
  colourOf(binguide::kDAxis);
  for (float k = 50; k <= kD; k += 50) glVertex3f(-6, 0, k), glVertex3f(6, 0, k);
  glEnd();
  glPopMatrix();
  glPopAttrib();

  label(widget, kTheta + kOvershoot + 4, 0, 0, QObject::tr("theta"), binguide::kThetaAxis);
  label(widget, 0, kPhi + kOvershoot + 4, 0, QObject::tr("phi"), binguide::kPhiAxis);
  label(widget, 0, 0, kD + kOvershoot + 4, QObject::tr("d"), binguide::kDAxis);
  label(widget, 180, -10, 0, QStringLiteral("180"), binguide::kThetaAxis);
  label(widget, -10, 90, 0, QStringLiteral("90"), binguide::kPhiAxis);
}

void drawBinSpaceLegend(QGLWidget* widget, const char* const* names, int count) {
  const int w = widget->width(), h = widget->height();
  if (w <= 0 || h <= 0) return;
  QFont font = widget->font();
  font.setPointSizeF(qMax(6.0, font.pointSizeF() * 0.85));
  const QFontMetrics metrics(font);
  const int line = metrics.height() + 2;
  const int swatch = metrics.ascent();
  const int rows = count + 1;
  int textWidth = metrics.horizontalAdvance(QObject::tr("votes all counting"));
  for (int i = 0; i < count; ++i) textWidth = qMax(textWidth, metrics.horizontalAdvance(QString::fromLatin1(names[i])));
  const int boxW = 6 + swatch + 6 + textWidth + 6;
  const int boxH = 4 + rows * line + 4;
  const int left = qMax(0, w - boxW - 6), top = 6;

  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, h, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  const auto rect = [](int x0, int y0, int x1, int y1) {
    glVertex2i(x0, y0);
    glVertex2i(x1, y0);
    glVertex2i(x1, y1);
    glVertex2i(x0, y1);
  };
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0.96f, 0.96f, 0.96f, 0.9f);
  glBegin(GL_QUADS);
  rect(left, top, left + boxW, top + boxH);
  glEnd();
  glDisable(GL_BLEND);
  glBegin(GL_QUADS);
  for (int r = 0; r < rows; ++r) {
    const int y = top + 4 + r * line + (line - swatch) / 2;
    glColor3f(0.2f, 0.2f, 0.2f);
    rect(left + 5, y - 1, left + 7 + swatch, y + swatch + 1);
    // Row 0: bins whose votes all still count (white); then kind r - 1.
    const Vec3 c = r == 0 ? Vec3(1, 1, 1) : paletteEntry(unsigned(r - 1) % 12);
    glColor3f(c.x, c.y, c.z);
    rect(left + 6, y, left + 6 + swatch, y + swatch);
  }
  glEnd();
  glColor3f(0.1f, 0.1f, 0.1f);
  for (int r = 0; r < rows; ++r) {
    const int baseline = top + 4 + r * line + (line + metrics.ascent() - metrics.descent()) / 2;
    const QString text = r == 0 ? QObject::tr("votes all counting") : QString::fromLatin1(names[r - 1]);
    widget->renderText(left + 6 + swatch + 6, baseline, text, font);
  }
  glPopAttrib();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}
