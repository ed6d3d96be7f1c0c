#include "view/bin_space_drawing.h"

#include <GL/gl.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

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
const int kFaceAxis[6] = {1, 2, 0, 2, 0, 1};  // the axis of each normal
const float kFaceCorners[6][4][3] = {
    {{1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {0, 0, 0}},  // y = 0
    {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}},  // z = 0
    {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}},  // x = 1
    {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},  // z = 1
    {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}},  // x = 0
    {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},  // y = 1
};

// The twelve kind colours, built on first use.
const QVector<Vec3>& kindColours(BinSpace& bins) {
  if (bins.typeColours.size() != 12) {
    bins.typeColours.clear();
    for (int h = 0; h < 12; ++h) bins.typeColours.append(paletteEntry(unsigned(h)));
  }
  return bins.typeColours;
}

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
    colourClass = 1 + ((kind % 12) + 12) % 12;
    colour = kindColours(bins)[colourClass - 1];
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
  const Vec3 c = kindColours(bins)[((kind % 12) + 12) % 12];
  glColor4f(c.x, c.y, c.z, alpha);
  return c;
}

void drawBin(BinSpace& bins, const Bin& bin, int t, int p, int k) {
  float s;
  Vec3 colour;
  int colourClass;
  if (!cubeOf(bins, bin, s, colour, colourClass)) return;  // no vote with a usable weight
  glColor3f(colour.x, colour.y, colour.z);
  for (int f = 0; f < 6; ++f) {
    glNormal3f(kFaceNormals[f][0], kFaceNormals[f][1], kFaceNormals[f][2]);
    for (const float* c : kFaceCorners[f]) glVertex3f(float(t) + c[0] * s, float(p) + c[1] * s, float(k) + c[2] * s);
  }
}

void deleteBinDisplayList(BinSpace& bins) {
  if (bins.displayList > 0) glDeleteLists(GLuint(bins.displayList), 1);
  bins.displayList = 0;
}

size_t BinCubes::bytes() const { return cubes.capacity() * sizeof(Cube); }

void BinCubes::clear() {
  std::vector<Cube>().swap(cubes);
  for (int c = 0; c < kClasses; ++c) classFirst[c] = classCount[c] = 0;
  built = false;
}

void buildBinCubes(BinSpace& bins, BinCubes& cubes) {
  cubes.clear();
  // Count the cubes of each colour first, so that the array is allocated
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
  cubes.cubes.assign(size_t(total), BinCubes::Cube{{0, 0, 0}, 0});
  int next[BinCubes::kClasses];
  for (int k = 0; k < BinCubes::kClasses; ++k) next[k] = cubes.classFirst[k];
  int t, p, k;
  for (int c = 0; c < BinSpace::kCellCount; ++c) {
    if (!cubeOf(bins, bins.cell(c), s, colour, cls)) continue;
    BinSpace::cellIndices(c, t, p, k);
    // Corners stay within the fixed-point range: cubes of weights far above
    // the panel's limit are clamped. A negative weight's cube reaches back
    // from the bin's corner.
    const double reach = std::min(std::fabs(double(s)) * kBinCubeUnits, 32767.0);
    long lower[3] = {long(t) * kBinCubeUnits, long(p) * kBinCubeUnits, long(k) * kBinCubeUnits};
    if (s < 0.0f)
      for (long& v : lower) v = std::max(-32768L, v - std::lround(reach));
    const long size = std::max(0L, std::min(std::lround(reach), 32767L - std::max({lower[0], lower[1], lower[2]})));
    cubes.cubes[size_t(next[cls]++)] =
        BinCubes::Cube{{short(lower[0]), short(lower[1]), short(lower[2])}, short(size)};
  }
  cubes.built = true;
}

namespace {

// One frame's vertex arrays of one colour class, reused from class to class.
struct FrameArrays {
  std::vector<short> faces[6];   // quads of each face orientation
  std::vector<short> points[4];  // centres of the cubes drawn as points of size 1 to 3
  void clear() {
    for (auto& f : faces) f.clear();
    for (auto& q : points) q.clear();
  }
};

// The eye's position in the current model-view coordinates, the row that
// gives a point's depth and the pixels per unit at depth 1.
struct FrameView {
  double eye[3];
  double depthRow[4];
  double scale;  // eye units per unit
  double pixelsAtDepthOne;
};

FrameView currentFrameView() {
  double m[16], proj[16];
  GLint viewport[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, m);
  glGetDoublev(GL_PROJECTION_MATRIX, proj);
  glGetIntegerv(GL_VIEWPORT, viewport);
  FrameView v{};
  // The model-view is a rotation times a uniform scale plus a translation:
  // its inverse maps the eye (origin) back as -A^T t / scale^2.
  const double scale2 = m[0] * m[0] + m[1] * m[1] + m[2] * m[2];
  for (int a = 0; a < 3; ++a)
    v.eye[a] = scale2 > 0.0 ? -(m[4 * a] * m[12] + m[4 * a + 1] * m[13] + m[4 * a + 2] * m[14]) / scale2 : 0.0;
  for (int j = 0; j < 4; ++j) v.depthRow[j] = -m[4 * j + 2];
  v.scale = std::sqrt(scale2);
  v.pixelsAtDepthOne = v.scale * std::fabs(proj[5]) * 0.5 * double(viewport[3]);
  return v;
}

// Head-light shading of an axis-aligned face seen along direction `light`
// (unit vector from the bin space towards the eye): the fixed pipeline's
// global ambient 0.2 plus diffuse 0.9 of the material colour.
float faceShade(const double light[3], int face) {
  const float n = float(kFaceNormals[face][0] * light[0] + kFaceNormals[face][1] * light[1] +
                        kFaceNormals[face][2] * light[2]);
  return 0.2f + 0.9f * std::max(0.0f, n);
}

void setShadedColour(const Vec3& c, float shade) {
  glColor3f(std::min(1.0f, c.x * shade), std::min(1.0f, c.y * shade), std::min(1.0f, c.z * shade));
}

double apply(const double row[4], const double p[3]) { return row[0] * p[0] + row[1] * p[1] + row[2] * p[2] + row[3]; }

uint32_t cornerHash(const BinCubes::Cube& c) {
  uint32_t h = 2166136261u;
  for (short v : c.corner) h = (h ^ uint32_t(uint16_t(v))) * 16777619u;
  return h ^ (h >> 15);
}

// Sorts one class's cubes into faces that face the eye and points.
void fillFrameArrays(const BinCubes::Cube* first, int count, const FrameView& view, FrameArrays& out,
                     BinFrameCounts& counts) {
  for (int i = 0; i < count; ++i) {
    const BinCubes::Cube& c = first[i];
    const double e = double(c.size) / kBinCubeUnits;
    const double lo[3] = {double(c.corner[0]) / kBinCubeUnits, double(c.corner[1]) / kBinCubeUnits,
                          double(c.corner[2]) / kBinCubeUnits};
    const double centre[3] = {lo[0] + 0.5 * e, lo[1] + 0.5 * e, lo[2] + 0.5 * e};
    const double depth = apply(view.depthRow, centre);
    if (depth > e * view.scale) {  // wholly in front of the eye
      const double size = e * view.pixelsAtDepthOne / depth;
      if (size < double(kPointCubePixels)) {
        // A cube this small would cover a pixel's centre about as often as
        // its area in pixels: keep that share of them, chosen by position
        // so that the same cubes stay from frame to frame.
        if (size < 1.0 && double(cornerHash(c) >> 8) >= size * size * double(1u << 24)) continue;
        ++counts.pointCubes;
        const short half = short(c.size / 2);
        const short middle[3] = {short(c.corner[0] + half), short(c.corner[1] + half), short(c.corner[2] + half)};
        std::vector<short>& points = out.points[size < 1.5 ? 1 : size < 2.5 ? 2 : 3];
        points.insert(points.end(), middle, middle + 3);
        continue;
      }
    }
    // A face faces the eye when the eye lies beyond its plane.
    ++counts.faceCubes;
    for (int f = 0; f < 6; ++f) {
      const int axis = kFaceAxis[f];
      const bool outer = kFaceNormals[f][axis] > 0;
      const double plane = outer ? lo[axis] + e : lo[axis];
      if (outer ? !(view.eye[axis] > plane) : !(view.eye[axis] < plane)) continue;
      for (const float* corner : kFaceCorners[f])
        for (int a = 0; a < 3; ++a) out.faces[f].push_back(short(corner[a] != 0.0f ? c.corner[a] + c.size : c.corner[a]));
    }
  }
}

void drawPoints(const std::vector<short>& positions, float size) {
  if (positions.empty()) return;
  glPointSize(size);
  glVertexPointer(3, GL_SHORT, 0, positions.data());
  glDrawArrays(GL_POINTS, 0, GLsizei(positions.size() / 3));
}

void drawCubes(const BinCubes& cubes, BinFrameCounts& counts) {
  if (cubes.cubes.empty()) return;
  const FrameView view = currentFrameView();
  // The light sits at the eye; faces are shaded for the direction from the
  // middle of the index box.
  double light[3] = {view.eye[0] - BinSpace::kCountTheta * 0.5, view.eye[1] - BinSpace::kCountPhi * 0.5,
                     view.eye[2] - BinSpace::kCountD * 0.5};
  const double length = std::sqrt(light[0] * light[0] + light[1] * light[1] + light[2] * light[2]);
  for (double& l : light) l = length > 0.0 ? l / length : 0.0;
  float pointShade = 0.0f, weightSum = 0.0f;  // a point mixes the faces it would show
  for (int f = 0; f < 6; ++f) {
    const float w = std::max(0.0f, float(kFaceNormals[f][0] * light[0] + kFaceNormals[f][1] * light[1] +
                                         kFaceNormals[f][2] * light[2]));
    pointShade += w * faceShade(light, f);
    weightSum += w;
  }
  pointShade = weightSum > 0.0f ? pointShade / weightSum : 0.2f;

  glPushMatrix();
  glScalef(1.0f / float(kBinCubeUnits), 1.0f / float(kBinCubeUnits), 1.0f / float(kBinCubeUnits));
  glEnableClientState(GL_VERTEX_ARRAY);
  static thread_local FrameArrays arrays;
  for (int k = 0; k < BinCubes::kClasses; ++k) {
    if (cubes.classCount[k] == 0) continue;
    arrays.clear();
    fillFrameArrays(cubes.cubes.data() + cubes.classFirst[k], cubes.classCount[k], view, arrays, counts);
    const Vec3& c = cubes.classColour[k];
    for (int f = 0; f < 6; ++f) {
      if (arrays.faces[f].empty()) continue;
      setShadedColour(c, faceShade(light, f));
      glVertexPointer(3, GL_SHORT, 0, arrays.faces[f].data());
      glDrawArrays(GL_QUADS, 0, GLsizei(arrays.faces[f].size() / 3));
    }
    setShadedColour(c, pointShade);
    drawPoints(arrays.points[1], 1.0f);
    drawPoints(arrays.points[2], 2.0f);
    drawPoints(arrays.points[3], 3.0f);
  }
  glPointSize(1.0f);
  glDisableClientState(GL_VERTEX_ARRAY);
  glPopMatrix();
}

}  // namespace

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

void drawBinSpace(const BinCubes& cubes, bool highlight, const int highlightIndex[3], BinFrameCounts* counts) {
  glEnable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glPushMatrix();
  glScalef(kBinSpaceScale, kBinSpaceScale, kBinSpaceScale);
  glTranslatef(-180.0f, -90.0f, -50.0f);
  drawGrid();
  BinFrameCounts drawn;
  drawCubes(cubes, drawn);
  if (counts) *counts = drawn;
  glPopMatrix();
  glColor3f(1.0f, 1.0f, 1.0f);
  if (highlight) drawHighlight(highlightIndex);
}
