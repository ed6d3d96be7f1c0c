#include "engine/ridge_features.h"

#include <cmath>

#include "engine/principal_axes.h"
#include "engine/sorvex.h"
#include "trimesh/trimesh.h"

namespace {

struct TraceContext {
  const TriMesh& mesh;
  bool ridge;
  float threshold;
  QVector<Vec3>& points;
  QVector<Vec3>& normals;
};

// Appends the segment between the zero crossings of the derivative on edges
// ab and bc when the interpolated curvature exceeds the threshold there.
void emitCurvatureSegment(TraceContext& ctx, int a, int b, int c, float ea, float eb, float ec, float ka, float kb,
                          float kc) {
  const float sab = std::fabs(ea) + std::fabs(eb);
  const float sbc = std::fabs(eb) + std::fabs(ec);
  // Both derivatives zero on an edge: no crossing position, skip.
  if (!(sab > 0.0f) || !(sbc > 0.0f)) return;
  const std::vector<Vec3>& P = ctx.mesh.vertices;
  const std::vector<Vec3>& N = ctx.mesh.normals;
  const float w = std::fabs(ea) / sab;
  const Vec3 pab = P[a] * (1.0f - w) + P[b] * w;
  const float kab = std::fabs((1.0f - w) * ka + w * kb);
  const float u = std::fabs(eb) / sbc;
  const Vec3 pbc = P[b] * (1.0f - u) + P[c] * u;
  const float kbc = std::fabs((1.0f - u) * kb + u * kc);
  if (kab <= ctx.threshold && kbc <= ctx.threshold) return;
  if (!pab.isFinite() || !pbc.isFinite()) return;
  const Vec3 n = (N[a] + N[b] + N[c]).normalized();
  ctx.points.append(pab);
  ctx.points.append(pbc);
  ctx.normals.append(n);
  ctx.normals.append(n);
}

void faceCurvatureLine(TraceContext& ctx, int i0, int i1, int i2) {
  const TriMesh& m = ctx.mesh;
  const int nv = int(m.vertices.size());
  if (i0 < 0 || i1 < 0 || i2 < 0 || i0 >= nv || i1 >= nv || i2 >= nv) return;
  const float k0 = m.principal_curv1[i0], k1 = m.principal_curv1[i1], k2 = m.principal_curv1[i2];
  float s;
  if (ctx.ridge) {
    if (!(k0 > 0.0f && k1 > 0.0f && k2 > 0.0f)) return;
    s = 1.0f;
  } else {
    if (!(k0 < 0.0f && k1 < 0.0f && k2 < 0.0f)) return;
    s = -1.0f;
  }
  const float e0 = m.curv_derivs[i0][0], e1 = m.curv_derivs[i1][0], e2 = m.curv_derivs[i2][0];
  const Vec3 T0 = m.principal_dir1[i0] * (s * e0);
  const Vec3 T1 = m.principal_dir1[i1] * (s * e1);
  const Vec3 T2 = m.principal_dir1[i2] * (s * e2);
  const bool z01 = T0.dot(T1) <= 0.0f;
  const bool z12 = T1.dot(T2) <= 0.0f;
  const bool z20 = T2.dot(T0) <= 0.0f;
  if (int(z01) + int(z12) + int(z20) < 2) return;
  if (!z01)
    emitCurvatureSegment(ctx, i1, i2, i0, e1, e2, e0, k1, k2, k0);
  else if (!z12)
    emitCurvatureSegment(ctx, i2, i0, i1, e2, e0, e1, k2, k0, k1);
  else if (!z20)
    emitCurvatureSegment(ctx, i0, i1, i2, e0, e1, e2, k0, k1, k2);
}

float totalLength(const QList<SectionSegment>& segments) {
  float L = 0.0f;
  for (const SectionSegment& s : segments) L += (s.end - s.start).length();
  return L;
}

}  // namespace

void traceCurvatureLines(const TriMesh& mesh, bool ridge, float threshold, QVector<Vec3>& points,
                         QVector<Vec3>& normals) {
  const size_t nv = mesh.vertices.size();
  if (mesh.principal_curv1.size() != nv || mesh.curv_derivs.size() != nv || mesh.principal_dir1.size() != nv ||
      mesh.normals.size() != nv)
    return;
  TraceContext ctx{mesh, ridge, threshold, points, normals};
  const std::vector<int>& strips = mesh.strips;
  size_t pos = 0;
  while (pos < strips.size()) {
    const int n = strips[pos++];
    if (n < 0 || size_t(n) > strips.size() - pos) break;  // malformed strip list
    for (int w = 0; w + 2 < n; ++w) faceCurvatureLine(ctx, strips[pos + w], strips[pos + w + 1], strips[pos + w + 2]);
    pos += size_t(n);
  }
}

Axis fitAxis(const QList<SectionSegment>& segments) {
  Axis axis;
  if (segments.isEmpty()) return axis;
  QVector<Vec3> pts;
  pts.reserve(segments.size() + 1);
  pts.append(segments.first().start);
  for (const SectionSegment& s : segments) pts.append(s.end);
  PrincipalAxes pca;
  if (principalAxes(pts, pca)) axis.direction = pca.axes[0].normalized();
  const float L = totalLength(segments);
  if (L > 0.0f) {
    Vec3 p;
    for (const SectionSegment& s : segments) p += (s.start + s.end) * (0.5f * (s.end - s.start).length());
    axis.point = p / L;
  } else {
    axis.point = segments.first().start;
  }
  axis.halfLength = 0.5f * L;
  return axis;
}

float pointLineDistance(const Vec3& x, const Axis& axis) {
  const Vec3 A = axis.point;
  const Vec3 B = axis.point + axis.direction;
  const float len = (B - A).length();
  if (!(len > 0.0f)) return (x - A).length();
  return (x - A).cross(x - B).length() / len;
}

void splitPolyline(const QList<SectionSegment>& segments, float tolerance, QList<Axis>& axesOut,
                   QList<QList<SectionSegment>>& piecesOut) {
  const int n = segments.size();
  int i = 0;
  while (i < n) {
    QList<SectionSegment> piece{segments[i]};
    const int restart = i + 1;
    if (restart >= n) {
      i = restart;
      continue;
    }
    for (int j = i + 1;; ++j) {
      piece.append(segments[j]);
      Axis axis = fitAxis(piece);
      float err = 0.0f;
      for (const SectionSegment& s : piece) err += (s.end - s.start).length() * pointLineDistance(s.start, axis);
      if (err > tolerance) {
        piece.removeLast();
        axesOut.append(fitAxis(piece));
        piecesOut.append(piece);
        i = j;
        break;
      }
      if (j == n - 1) {
        i = restart;
        break;
      }
    }
  }
}

namespace {

void extractCurvatureFamily(Sorvex& e, bool ridge) {
  SectionPlane& chainer = ridge ? e.ridgeChainer : e.valleyChainer;
  QList<Axis>& axes = ridge ? e.ridgeAxes : e.valleyAxes;
  QList<QList<SectionSegment>>& pieces = ridge ? e.ridgePieces : e.valleyPieces;
  QList<Vec3>& normals = ridge ? e.ridgeNormals : e.valleyNormals;
  chainer.segments.clear();
  chainer.contours.clear();
  axes.clear();
  pieces.clear();
  normals.clear();
  if (!e.featureEnabled[ridge ? FeatureRidges : FeatureValleys] || !e.triMesh) return;

  QVector<Vec3> points, pointNormals;
  traceCurvatureLines(*e.triMesh, ridge, e.curvatureThreshold, points, pointNormals);
  for (int k = 0; k + 1 < points.size(); k += 2) {
    SectionSegment s;
    s.start = points[k];
    s.end = points[k + 1];
    s.normal = pointNormals[k];
    s.face = 0;
    chainer.segments.append(s);
  }
  e.chainContours(chainer);
  for (const SectionContour& c : chainer.contours) splitPolyline(c.segments, 0.001f, axes, pieces);
  for (const QList<SectionSegment>& piece : pieces) {
    Vec3 n;
    for (const SectionSegment& s : piece) n += s.normal * (s.end - s.start).length();
    normals.append(n.normalized());
  }
}

}  // namespace

void Sorvex::extractRidges() { extractCurvatureFamily(*this, true); }
void Sorvex::extractValleys() { extractCurvatureFamily(*this, false); }
