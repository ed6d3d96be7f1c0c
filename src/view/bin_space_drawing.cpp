#include "view/bin_space_drawing.h"

#include <GL/gl.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "engine/bin_space.h"
#include "engine/palette.h"
#include "engine/sorvex.h"

namespace {

// How long a frame waits for a plane-selection run to let go of the bins.
constexpr int kStateLockTimeoutMs = 50;

void gridColour(int index) {
  if (index % 10 == 0)
    glColor3f(0.0f, 0.0f, 0.0f);
  else
    glColor3f(0.9f, 0.9f, 0.9f);
}

// Lines on the three faces of the index box that meet at the origin.
void drawGrid(const BinSpace& bins) {
  const int s = bins.stride();
  const int nT = bins.countTheta, nP = bins.countPhi, nD = bins.countD;
  glBegin(GL_LINES);
  for (int t = 0; t < nT; t += s) {
    gridColour(t);
    glVertex3i(t, 0, 0);
    glVertex3i(t, nP, 0);
  }
  for (int p = 0; p < nP; p += s) {
    gridColour(p);
    glVertex3i(0, p, 0);
    glVertex3i(nT, p, 0);
  }
  for (int p = 0; p < nP; p += s) {
    gridColour(p);
    glVertex3i(0, p, 0);
    glVertex3i(0, p, nD);
  }
  for (int k = 0; k < nD; k += s) {
    gridColour(k);
    glVertex3i(0, 0, k);
    glVertex3i(0, nP, k);
  }
  for (int t = 0; t < nT; t += s) {
    gridColour(t);
    glVertex3i(t, 0, 0);
    glVertex3i(t, 0, nD);
  }
  for (int k = 0; k < nD; k += s) {
    gridColour(k);
    glVertex3i(0, 0, k);
    glVertex3i(nT, 0, k);
  }
  glEnd();
}

// Grid and cubes, in index space (the caller sets up the scale).
void drawBinGeometry(BinSpace& bins) {
  glDisable(GL_LIGHTING);
  glPushMatrix();
  glScalef(kBinSpaceScale, kBinSpaceScale, kBinSpaceScale);
  glTranslatef(-180.0f, -90.0f, -50.0f);
  drawGrid(bins);
  glEnable(GL_LIGHTING);
  glBegin(GL_QUADS);
  int t, p, k;
  for (int c = 0; c < BinSpace::kCellCount; ++c) {
    const Bin& bin = bins.cell(c);
    if (bin.votes.isEmpty() && bin.removedVotes.isEmpty()) continue;
    BinSpace::cellIndices(c, t, p, k);
    drawBin(bins, bin, t, p, k);
  }
  glEnd();
  glDisable(GL_LIGHTING);
  glPopMatrix();
}

void highlightLines(int t, int p, int k, int nT, int nP, int nD, float alpha) {
  glBegin(GL_LINES);
  glColor4f(1.0f, 0.6f, 0.6f, alpha);
  glVertex3i(0, p, k);
  glVertex3i(std::max(nT, t), p, k);
  glColor4f(0.6f, 1.0f, 0.6f, alpha);
  glVertex3i(t, 0, k);
  glVertex3i(t, std::max(nP, p), k);
  glColor4f(0.6f, 0.6f, 1.0f, alpha);
  glVertex3i(t, p, 0);
  glVertex3i(t, p, std::max(nD, k));
  glEnd();
}

// The current plane's bin as three cross-hair lines; they reach the bin
// even when it lies outside the index box, and show half transparent where
// cubes hide them.
void drawHighlight(const BinSpace& bins) {
  const int t = bins.highlightIndex[0], p = bins.highlightIndex[1], k = bins.highlightIndex[2];
  glPushMatrix();
  glScalef(kBinSpaceScale, kBinSpaceScale, kBinSpaceScale);
  glTranslatef(-180.0f, -90.0f, -50.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);
  glLineWidth(5.0f);
  highlightLines(t, p, k, bins.countTheta, bins.countPhi, bins.countD, 1.0f);
  glDepthFunc(GL_GREATER);
  highlightLines(t, p, k, bins.countTheta, bins.countPhi, bins.countD, 0.5f);
  glDepthMask(GL_TRUE);
  glDepthFunc(GL_LESS);
  glDisable(GL_BLEND);
  glPopMatrix();
  glColor3f(1.0f, 1.0f, 1.0f);
  glLineWidth(1.0f);
}

}  // namespace

Vec3 typeColour(BinSpace& bins, int kind, float alpha) {
  if (bins.typeColours.size() != 12) {
    bins.typeColours.clear();
    for (int h = 0; h < 12; ++h) bins.typeColours.append(paletteEntry(unsigned(h)));
  }
  const int i = ((kind % 12) + 12) % 12;
  const Vec3 c = bins.typeColours[i];
  glColor4f(c.x, c.y, c.z, alpha);
  return c;
}

void drawBin(BinSpace& bins, const Bin& bin, int t, int p, int k) {
  if (bin.votes.isEmpty() && bin.removedVotes.isEmpty()) return;
  float m = -FLT_MAX;
  if (bin.removedVotes.isEmpty()) {
    for (const Vote& v : bin.votes)
      if (v.weight > m) m = v.weight;
    glColor3f(1.0f, 1.0f, 1.0f);
  } else {
    int kind = 0;
    for (const Vote& v : bin.removedVotes)
      if (v.weight > m) {
        m = v.weight;
        kind = v.featureType;
      }
    typeColour(bins, kind, 1.0f);
  }
  const float s = m * float(bins.stride());
  if (!std::isfinite(s)) return;  // no vote with a usable weight

  const float x = float(t), y = float(p), z = float(k);
  auto corner = [&](float cx, float cy, float cz) { glVertex3f(x + cx * s, y + cy * s, z + cz * s); };
  glNormal3f(0, -1, 0);  // y = 0
  corner(1, 0, 0), corner(1, 0, 1), corner(0, 0, 1), corner(0, 0, 0);
  glNormal3f(0, 0, -1);  // z = 0
  corner(0, 0, 0), corner(0, 1, 0), corner(1, 1, 0), corner(1, 0, 0);
  glNormal3f(1, 0, 0);  // x = 1
  corner(1, 0, 0), corner(1, 1, 0), corner(1, 1, 1), corner(1, 0, 1);
  glNormal3f(0, 0, 1);  // z = 1
  corner(0, 0, 1), corner(1, 0, 1), corner(1, 1, 1), corner(0, 1, 1);
  glNormal3f(-1, 0, 0);  // x = 0
  corner(0, 0, 0), corner(0, 0, 1), corner(0, 1, 1), corner(0, 1, 0);
  glNormal3f(0, 1, 0);  // y = 1
  corner(0, 1, 0), corner(0, 1, 1), corner(1, 1, 1), corner(1, 1, 0);
}

void deleteBinDisplayList(BinSpace& bins) {
  if (bins.displayList > 0) glDeleteLists(GLuint(bins.displayList), 1);
  bins.displayList = 0;
}

bool drawBinSpace(Sorvex& engine) {
  BinSpace& bins = engine.bins;
  const bool locked = engine.stateMutex.tryLock(kStateLockTimeoutMs);

  // The current plane's bin; without the lock the last one stays marked.
  if (locked) {
    int t = 0, p = 0, k = 0;
    bool valid = false;
    if (engine.hasCurrentPlane()) {
      const SectionPlane& plane = engine.planes[engine.currentPlane];
      BinSpace::planeToBin(plane.normal, plane.d, t, p, k);
      valid = t >= 0 && p >= 0 && k >= 0;  // a plane without a direction has no bin
    }
    bins.setHighlight(valid);
    if (valid) bins.setHighlightIndex(t, p, k);
  }

  glEnable(GL_CULL_FACE);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);

  if (bins.displayList != 0) {
    glCallList(GLuint(bins.displayList));
  } else if (locked) {
    const GLuint list = glGenLists(1);
    if (list != 0) {
      bins.displayList = int(list);
      glNewList(list, GL_COMPILE_AND_EXECUTE);
      drawBinGeometry(bins);
      glEndList();
    } else {
      drawBinGeometry(bins);  // no list name to be had: draw directly this time
    }
  }
  if (locked) engine.stateMutex.unlock();

  glDisable(GL_COLOR_MATERIAL);
  glDisable(GL_LIGHTING);
  if (bins.highlight) drawHighlight(bins);
  return locked;
}
