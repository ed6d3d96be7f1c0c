#include "engine/ridge_features.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <vector>

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

}  // namespace

void traceCurvatureLines(const TriMesh& mesh, bool ridge, float threshold, QVector<Vec3>& points,
                         QVector<Vec3>& normals) {
  const size_t nv = mesh.vertices.size();
  if (mesh.principal_curv1.size() != nv || mesh.curv_derivs.size() != nv || mesh.principal_dir1.size() != nv ||
      mesh.normals.size() != nv)
    return;
  TraceContext ctx{mesh, ridge, threshold, points, normals};
  const std::vector<int>& strips = mesh.strips;
  if (strips.empty()) {
    for (const TriMesh::Face& f : mesh.faces) faceCurvatureLine(ctx, f[0], f[1], f[2]);
    return;
  }
  size_t pos = 0;
  while (pos < strips.size()) {
    const int n = strips[pos++];
    if (n < 0 || size_t(n) > strips.size() - pos) break;  // malformed strip list
    for (int w = 0; w + 2 < n; ++w) faceCurvatureLine(ctx, strips[pos + w], strips[pos + w + 1], strips[pos + w + 2]);
    pos += size_t(n);
  }
}

Axis fitAxis(const QList<SectionSegment>& segments) { return fitAxis(segments, 0, segments.size()); }

Axis fitAxis(const QList<SectionSegment>& segments, int begin, int count) {
  Axis axis;
  if (begin < 0 || count <= 0 || begin + count > segments.size()) return axis;
  const int end = begin + count;
  QVector<Vec3> pts;
  pts.reserve(count + 1);
  pts.append(segments[begin].start);
  for (int s = begin; s < end; ++s) pts.append(segments[s].end);
  PrincipalAxes pca;
  if (principalAxes(pts, pca)) axis.direction = pca.axes[0].normalized();
  float L = 0.0f;
  for (int s = begin; s < end; ++s) L += (segments[s].end - segments[s].start).length();
  if (L > 0.0f) {
    Vec3 p;
    for (int s = begin; s < end; ++s) {
      const SectionSegment& g = segments[s];
      p += (g.start + g.end) * (0.5f * (g.end - g.start).length());
    }
    axis.point = p / L;
  } else {
    axis.point = segments[begin].start;
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

namespace {

// Length-weighted distance of the segments' starts from the axis fitted to
// them: the straightness measure of a piece, summed exactly as the plain
// splitting does.
float pieceError(const QList<SectionSegment>& segments, int begin, int count) {
  const Axis axis = fitAxis(segments, begin, count);
  float err = 0.0f;
  for (int s = begin; s < begin + count; ++s)
    err += (segments[s].end - segments[s].start).length() * pointLineDistance(segments[s].start, axis);
  return err;
}

// Running sums over a connected polyline (every start equals the previous
// end) that bound the error of any piece in constant time.
//
// The points of piece [i, j] are start i and ends i .. j; its starts are a
// subset of them. With c their centroid, d the fitted direction and
// D^2 = sum of squared distances of the points from the line (c, d):
//  - D^2 = t - d'Cd <= t - v'Cv for every unit v (d maximises the Rayleigh
//    quotient of the scatter matrix C, t = trace C), and t - v'Cv of a
//    superset bounds that of a subset (the fitted line of the subset is the
//    best line for it);
//  - the fitted axis passes through the length-weighted midpoint, a convex
//    combination of the points, at most D from the line (c, d);
//  - so err <= sum len * (dist to (c, d) + D) <= 2 L D by Cauchy-Schwarz.
// Terms for the float rounding of the plain computation are added on top; a
// piece whose bound stays below the tolerance cannot exceed it, and every
// other piece is measured exactly.
class PieceBound {
 public:
  explicit PieceBound(const QList<SectionSegment>& segments) : n_(segments.size()) {
    usable_ = n_ > 0;
    for (int k = 1; k < n_ && usable_; ++k) usable_ = segments[k].start == segments[k - 1].end;
    if (!usable_) return;
    origin_[0] = segments[0].start.x;
    origin_[1] = segments[0].start.y;
    origin_[2] = segments[0].start.z;
    sums_.resize(size_t(n_) + 1);
    starts_.resize(size_t(n_));
    double m = 0.0;
    for (int k = 0; k < n_; ++k) {
      const SectionSegment& g = segments[k];
      if (!g.start.isFinite() || !g.end.isFinite()) {
        usable_ = false;
        return;
      }
      for (const Vec3& p : {g.start, g.end})
        m = std::max({m, double(std::fabs(p.x)), double(std::fabs(p.y)), double(std::fabs(p.z))});
      Sums s = sums_[size_t(k)];
      const double e[3] = {double(g.end.x) - origin_[0], double(g.end.y) - origin_[1], double(g.end.z) - origin_[2]};
      s.length += double((g.end - g.start).length());
      for (int a = 0; a < 3; ++a) s.first[a] += e[a];
      int q = 0;
      for (int a = 0; a < 3; ++a)
        for (int b = a; b < 3; ++b) s.second[q++] += e[a] * e[b];
      sums_[size_t(k) + 1] = s;
      starts_[size_t(k)] = {double(g.start.x) - origin_[0], double(g.start.y) - origin_[1],
                            double(g.start.z) - origin_[2]};
    }
    maxCoordinate_ = m;
  }

  bool usable() const { return usable_; }

  // True when piece [i, j] provably stays within the tolerance.
  bool withinTolerance(int i, int j, float tolerance) const {
    if (!usable_) return false;
    const Sums& a = sums_[size_t(i)];
    const Sums& b = sums_[size_t(j) + 1];
    const std::array<double, 3>& p0 = starts_[size_t(i)];
    const double count = double(j - i + 2);
    double first[3], second[6];
    for (int k = 0; k < 3; ++k) first[k] = b.first[k] - a.first[k] + p0[k];
    int q = 0;
    for (int r = 0; r < 3; ++r)
      for (int s = r; s < 3; ++s, ++q) second[q] = b.second[q] - a.second[q] + p0[r] * p0[s];
    const double L = b.length - a.length;
    // Scatter about the centroid, and its part along the chord of the piece.
    const double c[3] = {first[0] / count, first[1] / count, first[2] / count};
    const double C[3][3] = {
        {second[0] - count * c[0] * c[0], second[1] - count * c[0] * c[1], second[2] - count * c[0] * c[2]},
        {0, second[3] - count * c[1] * c[1], second[4] - count * c[1] * c[2]},
        {0, 0, second[5] - count * c[2] * c[2]}};
    const double t = C[0][0] + C[1][1] + C[2][2];
    const std::array<double, 3>& last = endPoint(j);
    double v[3] = {last[0] - p0[0], last[1] - p0[1], last[2] - p0[2]};
    const double vl = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (vl > 0.0) {
      for (double& x : v) x /= vl;
    } else {
      v[0] = 1.0, v[1] = 0.0, v[2] = 0.0;
    }
    const double along = C[0][0] * v[0] * v[0] + C[1][1] * v[1] * v[1] + C[2][2] * v[2] * v[2] +
                         2.0 * (C[0][1] * v[0] * v[1] + C[0][2] * v[0] * v[2] + C[1][2] * v[1] * v[2]);
    // Rounding: of these double sums (relative 1e-12 of the raw second
    // moment), and of the plain fit's eigenvector (solved in double, rounded
    // to float: its Rayleigh quotient falls short of the largest eigenvalue
    // by far less than 1e-10 of the trace).
    const double raw = second[0] + second[3] + second[5];
    const double D2 = std::max(0.0, t - along) + 1e-10 * std::fabs(t) + 1e-12 * raw;
    const double D = std::sqrt(D2);
    const double u = 0.5 * double(FLT_EPSILON);  // unit roundoff of float
    const double M = maxCoordinate_;
    // The plain fit's weighted midpoint, summed in float over the piece and
    // divided by a float length: each coordinate within (2n + 5) u M.
    const double pointError = 2.0 * std::sqrt(3.0) * (2.0 * count + 5.0) * u * M;
    // Each float distance |(x - A) x (x - B)| / |B - A|, and the float sum.
    const double termError = L * 32.0 * u * (2.0 * M + 1.0) * (2.0 * M + 1.0);
    const double sumError = 2.0 * count * u * double(tolerance);
    const double bound = 2.0 * L * D + L * pointError + termError + sumError;
    return bound < 0.99 * double(tolerance);
  }

 private:
  struct Sums {
    double length = 0.0;
    double first[3] = {0, 0, 0};
    double second[6] = {0, 0, 0, 0, 0, 0};
  };

  std::array<double, 3> endPoint(int j) const {
    if (j + 1 < n_) return starts_[size_t(j) + 1];
    // The last end: recover it from the first moments.
    std::array<double, 3> e;
    for (int k = 0; k < 3; ++k) e[k] = sums_[size_t(j) + 1].first[k] - sums_[size_t(j)].first[k];
    return e;
  }

  int n_ = 0;
  bool usable_ = false;
  double origin_[3] = {0, 0, 0};
  double maxCoordinate_ = 0.0;
  std::vector<Sums> sums_;
  std::vector<std::array<double, 3>> starts_;
};

}  // namespace

void splitPolyline(const QList<SectionSegment>& segments, float tolerance, QList<Axis>& axesOut,
                   QList<QList<SectionSegment>>& piecesOut) {
  const int n = segments.size();
  if (n == 0) return;
  const PieceBound bound(segments);
  int i = 0;
  while (i < n) {
    const int restart = i + 1;
    if (restart >= n) {
      i = restart;
      continue;
    }
    // The whole rest of the polyline within the tolerance bounds every piece
    // of it: the scan from i reaches the end without a cut.
    if (bound.withinTolerance(i, n - 1, tolerance)) {
      i = restart;
      continue;
    }
    for (int j = i + 1;; ++j) {
      if (!bound.withinTolerance(i, j, tolerance) && pieceError(segments, i, j - i + 1) > tolerance) {
        axesOut.append(fitAxis(segments, i, j - i));
        piecesOut.append(segments.mid(i, j - i));
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

void splitPolylinePlain(const QList<SectionSegment>& segments, float tolerance, QList<Axis>& axesOut,
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
  for (const SectionContour& c : chainer.contours) {
    if (e.plainSplitting)
      splitPolylinePlain(c.segments, 0.001f, axes, pieces);
    else
      splitPolyline(c.segments, 0.001f, axes, pieces);
  }
  for (const QList<SectionSegment>& piece : pieces) {
    Vec3 n;
    for (const SectionSegment& s : piece) n += s.normal * (s.end - s.start).length();
    normals.append(n.normalized());
  }
}

}  // namespace

void Sorvex::extractRidges() { extractCurvatureFamily(*this, true); }
void Sorvex::extractValleys() { extractCurvatureFamily(*this, false); }
