#include "view/bin_space_drawing.h"

#include <GL/gl.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "engine/bin_space.h"
#include "engine/palette.h"
#include "engine/sorvex.h"

namespace {

void gridColour(int index) {
  if (index % 10 == 0)
    glColor3f(0.0f, 0.0f, 0.0f);
  else
    glColor3f(0.9f, 0.9f, 0.9f);
}

// Lines on the three faces of the index box that meet at the origin.
void drawGrid() {
  const int s = BinSpace::kStride;
  const int nT = BinSpace::kCountTheta, nP = BinSpace::kCountPhi, nD = BinSpace::kCountD;
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

// Face order and normals of a cube, as drawBin emits them.
const float kFaceNormals[6][3] = {{0, -1, 0}, {0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 1, 0}};
const float kFaceCorners[6][4][3] = {
    {{1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {0, 0, 0}},  // y = 0
    {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}},  // z = 0
    {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}},  // x = 1
    {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},  // z = 1
    {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}},  // x = 0
    {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},  // y = 1
};

// Edge, colour and colour class of a bin's cube (drawBin's choice); false
// for none.
bool cubeOf(BinSpace& bins, const Bin& bin, float& edge, Vec3& colour, int& colourClass) {
  if (bin.votes.isEmpty() && bin.removedVotes.isEmpty()) return false;
  float m = -FLT_MAX;
  if (bin.removedVotes.isEmpty()) {
    for (const Vote& v : bin.votes)
      if (v.weight > m) m = v.weight;
    colour = Vec3(1.0f, 1.0f, 1.0f);
    colourClass = 0;
  } else {
    int kind = 0;
    for (const Vote& v : bin.removedVotes)
      if (v.weight > m) {
        m = v.weight;
        kind = v.featureType;
      }
    if (bins.typeColours.size() != 12) {
      bins.typeColours.clear();
      for (int h = 0; h < 12; ++h) bins.typeColours.append(paletteEntry(unsigned(h)));
    }
    colourClass = 1 + ((kind % 12) + 12) % 12;
    colour = bins.typeColours[colourClass - 1];
  }
  edge = m * float(bins.stride());
  return std::isfinite(edge) && edge != 0.0f;
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
void drawHighlight(const int index[3]) {
  const int t = index[0], p = index[1], k = index[2];
  const int nT = BinSpace::kCountTheta, nP = BinSpace::kCountPhi, nD = BinSpace::kCountD;
  glPushMatrix();
  glScalef(kBinSpaceScale, kBinSpaceScale, kBinSpaceScale);
  glTranslatef(-180.0f, -90.0f, -50.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);
  glLineWidth(5.0f);
  highlightLines(t, p, k, nT, nP, nD, 1.0f);
  glDepthFunc(GL_GREATER);
  highlightLines(t, p, k, nT, nP, nD, 0.5f);
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

size_t BinCubes::bytes() const {
  size_t n = 0;
  for (int f = 0; f < 6; ++f) n += positions[f].capacity() * sizeof(short);
  return n;
}

void BinCubes::clear() {
  for (int f = 0; f < 6; ++f) std::vector<short>().swap(positions[f]);
  for (int c = 0; c < kClasses; ++c) classFirst[c] = classCount[c] = 0;
  built = false;
}

void buildBinCubes(BinSpace& bins, BinCubes& cubes) {
  cubes.clear();
  // Count the cubes of each colour first, so that every array is allocated
  // once at its size and each class gets its own stretch.
  float s;
  Vec3 colour;
  int cls = 0;
  for (int c = 0; c < BinSpace::kCellCount; ++c)
    if (cubeOf(bins, bins.cell(c), s, colour, cls)) {
      ++cubes.classCount[cls];
      cubes.classColour[cls] = colour;
    }
  int total = 0;
  for (int k = 0; k < BinCubes::kClasses; ++k) {
    cubes.classFirst[k] = total;
    total += cubes.classCount[k];
  }
  for (int f = 0; f < 6; ++f) cubes.positions[f].assign(size_t(total) * 12, 0);
  int next[BinCubes::kClasses];
  for (int k = 0; k < BinCubes::kClasses; ++k) next[k] = cubes.classFirst[k];
  // Beyond the fixed-point range (cubes of weights far above the panel's
  // limit) corners are clamped.
  const auto fixed = [](float v) { return short(std::max(-32768L, std::min(32767L, std::lround(v * kBinCubeUnits)))); };
  int t, p, k;
  for (int c = 0; c < BinSpace::kCellCount; ++c) {
    if (!cubeOf(bins, bins.cell(c), s, colour, cls)) continue;
    BinSpace::cellIndices(c, t, p, k);
    const float x = float(t), y = float(p), z = float(k);
    const size_t at = size_t(next[cls]++) * 12;
    for (int f = 0; f < 6; ++f) {
      short* out = &cubes.positions[f][at];
      for (const float* corner : kFaceCorners[f]) {
        *out++ = fixed(x + corner[0] * s);
        *out++ = fixed(y + corner[1] * s);
        *out++ = fixed(z + corner[2] * s);
      }
    }
  }
  cubes.built = true;
}

void updateBinHighlight(Sorvex& engine) {
  BinSpace& bins = engine.bins;
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

void drawBinSpace(const BinCubes& cubes, bool highlight, const int highlightIndex[3]) {
  glEnable(GL_CULL_FACE);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);

  glDisable(GL_LIGHTING);
  glPushMatrix();
  glScalef(kBinSpaceScale, kBinSpaceScale, kBinSpaceScale);
  glTranslatef(-180.0f, -90.0f, -50.0f);
  drawGrid();
  glEnable(GL_LIGHTING);
  glPushMatrix();
  glScalef(1.0f / kBinCubeUnits, 1.0f / kBinCubeUnits, 1.0f / kBinCubeUnits);
  glEnableClientState(GL_VERTEX_ARRAY);
  for (int f = 0; f < 6; ++f) {
    if (cubes.positions[f].empty()) continue;
    glNormal3f(kFaceNormals[f][0], kFaceNormals[f][1], kFaceNormals[f][2]);
    glVertexPointer(3, GL_SHORT, 0, cubes.positions[f].data());
    for (int k = 0; k < BinCubes::kClasses; ++k) {
      if (cubes.classCount[k] == 0) continue;
      const Vec3& c = cubes.classColour[k];
      glColor3f(c.x, c.y, c.z);
      glDrawArrays(GL_QUADS, GLint(cubes.classFirst[k]) * 4, GLsizei(cubes.classCount[k]) * 4);
    }
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glPopMatrix();
  glDisable(GL_LIGHTING);
  glPopMatrix();

  glDisable(GL_COLOR_MATERIAL);
  glDisable(GL_LIGHTING);
  if (highlight) drawHighlight(highlightIndex);
}
