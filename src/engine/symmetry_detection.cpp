#include "engine/symmetry_detection.h"

#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "engine/principal_axes.h"
#include "engine/surface_probe.h"
#include "model/companion_files.h"

namespace {

// All lengths below are in the probe's normalised frame: fractions of the
// bounding-box diagonal.
constexpr int kSampleCount = 4000;       // scoring samples
constexpr int kRefineSamples = 800;      // the first ones, used while fitting
constexpr int kScreenSamples = 400;      // the first ones, used to drop hopeless candidates
constexpr int kAxisSamples = 2000;       // the first ones, used per rotation angle
constexpr int kDenseAreaPoints = 30000;  // besides one point per triangle, up to kDenseCentroids
// Beyond this many triangles, the centroids of this many (spread evenly) are
// indexed: with the area points they are already far denser than the
// tolerances below, and a scan's index stays as cheap as a 30k-face model's.
constexpr int kDenseCentroids = 30000;
constexpr unsigned kSampleSeed = 20261207u, kDenseSeed = 7u, kPairSeed = 99u;
constexpr float kMeanTolerance = 0.005f;   // mean distance of the mirrored samples
constexpr float kHighTolerance = 0.0075f;  // their 98th percentile
constexpr float kScreenTolerance = 0.02f;  // mean distance of an unrefined candidate worth refining
constexpr float kRefineGiveUp = 0.01f;     // mean distance after two rounds of a candidate not worth more
constexpr float kDistanceCap = 0.1f;       // distances are clamped here; farther points find no partner
constexpr int kRefineRounds = 6;
constexpr int kVotePairs = 300000;
constexpr float kMinPairDistance = 0.02f;
constexpr float kMirrorNormalCos = 0.978f;  // cos 12 degrees: normals must be mirror images this closely
constexpr int kPeakCount = 30;
constexpr int kMaxAxisCandidates = 40;
constexpr float kSameCos = 0.99939f;  // cos 2 degrees: one plane / one axis
constexpr float kSameOffset = 0.01f;
constexpr float kContainsSin = 0.0349f;  // sin 2 degrees: a plane contains an axis
constexpr float kDegree = 0.017453293f;
// Rotation angles (degrees) for the continuous-axis test. Their greatest
// common divisor with 360 is 1, so an axis of finite order k passes them all
// only when k is 360 or more (or its shape is that close to round).
constexpr float kRotationAngles[] = {29, 67, 101, 143, 197, 241, 311};

struct Plane {
  Vec3 n;  // unit
  float d = 0.0f;
};

struct Line {
  Vec3 point;
  Vec3 dir;  // unit
};

struct Fit {
  bool ok = false;  // within the limits asked for
  float mean = 0.0f, high = 0.0f;
};

using Samples = std::vector<SurfaceProbe::Sample>;

bool cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

Vec3 reflect(const Vec3& p, const Plane& pl) { return p - pl.n * (2.0f * (pl.n.dot(p) - pl.d)); }

Vec3 rotate(const Vec3& p, const Line& l, float cosA, float sinA) {
  const Vec3 v = p - l.point;
  return l.point + v * cosA + l.dir.cross(v) * sinA + l.dir * (l.dir.dot(v) * (1.0f - cosA));
}

// Distances of the images of the first `count` samples to the surface. Gives
// up (ok = false) as soon as the mean cannot stay within `meanLimit`; the
// 98th percentile is compared with `highLimit`. O(count log D).
template <typename Map>
Fit scoreImages(const SurfaceProbe& probe, const Samples& samples, int count, Map image, float meanLimit,
                float highLimit) {
  count = std::min<int>(count, int(samples.size()));
  Fit fit;
  if (count <= 0) return fit;
  std::vector<float> dist;
  dist.reserve(size_t(count));
  double sum = 0.0;
  const double budget = double(meanLimit) * count;
  for (int i = 0; i < count; ++i) {
    const float d = probe.distanceTo(image(samples[size_t(i)].position), kDistanceCap);
    dist.push_back(d);
    sum += d;
    if (sum > budget) return fit;
  }
  fit.mean = float(sum / count);
  auto at = dist.begin() + (count * 49) / 50;
  std::nth_element(dist.begin(), at, dist.end());
  fit.high = *at;
  fit.ok = fit.mean <= meanLimit && fit.high <= highLimit;
  return fit;
}

Fit scorePlane(const SurfaceProbe& probe, const Samples& samples, int count, const Plane& p, float meanLimit,
               float highLimit) {
  return scoreImages(
      probe, samples, count, [&](const Vec3& s) { return reflect(s, p); }, meanLimit, highLimit);
}

// Solves the 3 x 3 system a x = b by elimination with partial pivoting;
// false when it is (nearly) singular.
bool solve3(double a[3][3], double b[3], double x[3]) {
  for (int c = 0; c < 3; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 3; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    if (!(std::fabs(a[pivot][c]) > 1e-15)) return false;
    std::swap(a[c], a[pivot]);
    std::swap(b[c], b[pivot]);
    for (int r = c + 1; r < 3; ++r) {
      const double f = a[r][c] / a[c][c];
      for (int k = c; k < 3; ++k) a[r][k] -= f * a[c][k];
      b[r] -= f * b[c];
    }
  }
  for (int r = 2; r >= 0; --r) {
    double v = b[r];
    for (int k = r + 1; k < 3; ++k) v -= a[r][k] * x[k];
    x[r] = v / a[r][r];
  }
  return std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2]);
}

// Closest-point reflection fitting: reflect the samples, pair each image with
// the closest surface point m and its surface normal t, and move the plane to
// shrink the distances t . (reflected sample - m) (a distance along the
// surface normal, so an image that slides along the surface costs nothing, as
// it should). One Gauss-Newton step per round on the plane's two tilt angles
// and its offset, with the pairs far worse than the median left out. Stops when
// the plane settles or has turned by more than 10 degrees in all (a candidate
// sliding away to something else), and gives up (false) when the mean
// distance after two rounds shows that the candidate is not converging.
bool refinePlane(const SurfaceProbe& probe, const Samples& samples, Plane& p) {
  const int count = std::min<int>(kRefineSamples, int(samples.size()));
  const Vec3 start = p.n;
  struct Pair {
    Vec3 s, m, t;
    float dist;
  };
  std::vector<Pair> pairs;
  std::vector<float> sorted;
  for (int round = 0; round < kRefineRounds; ++round) {
    pairs.clear();
    for (int i = 0; i < count; ++i) {
      Pair q;
      q.s = samples[size_t(i)].position;
      q.dist = probe.distanceTo(reflect(q.s, p), kDistanceCap, &q.m, &q.t);
      if (q.dist < kDistanceCap) pairs.push_back(q);
    }
    double total = double(kDistanceCap) * (count - int(pairs.size()));
    for (const Pair& q : pairs) total += q.dist;
    if (round >= 2 && total > double(kRefineGiveUp) * count) return false;
    if (pairs.size() < 16) break;
    sorted.clear();
    for (const Pair& q : pairs) sorted.push_back(q.dist);
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const float keep = std::max(3.0f * sorted[sorted.size() / 2], 0.02f);
    // Tangent frame of the normal; unknowns x = (tilt along t1, tilt along t2, offset change).
    Vec3 t1, t2;
    planeAxesFromNormal(p.n, t1, t2);
    double jtj[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, jte[3] = {0, 0, 0};
    for (const Pair& q : pairs) {
      if (q.dist > keep) continue;
      const Vec3 image = reflect(q.s, p);
      const float e = q.t.dot(image - q.m), tn = q.t.dot(p.n), h = p.n.dot(q.s) - p.d;
      // d(image)/dx = -2 [ (x . s-part) n + h (tilt) ]: the residual's derivative, row J.
      const double j[3] = {2.0 * (double(t1.dot(q.s)) * tn + double(h) * q.t.dot(t1)),
                           2.0 * (double(t2.dot(q.s)) * tn + double(h) * q.t.dot(t2)), -2.0 * tn};
      for (int r = 0; r < 3; ++r) {
        jte[r] += j[r] * e;
        for (int c = 0; c < 3; ++c) jtj[r][c] += j[r] * j[c];
      }
    }
    const double damping = 1e-9 + 1e-6 * (jtj[0][0] + jtj[1][1] + jtj[2][2]);
    for (int r = 0; r < 3; ++r) jtj[r][r] += damping;
    double x[3] = {0, 0, 0};
    if (!solve3(jtj, jte, x)) break;
    const Plane next{(p.n + t1 * float(x[0]) + t2 * float(x[1])).normalized(), p.d + float(x[2])};
    if (!next.n.isFinite() || next.n.dot(start) < std::cos(10.0f * kDegree)) break;
    const bool settled = std::fabs(x[0]) + std::fabs(x[1]) < 1e-6 && std::fabs(x[2]) < 1e-6;
    p = next;
    if (settled) break;
  }
  return true;
}

// Within 4 degrees and 2% of the size: the reach of one vote peak.
bool nearPlane(const Plane& a, const Plane& b) {
  const float c = a.n.dot(b.n);
  return std::fabs(c) > 0.99756f && std::fabs((c > 0 ? a.d : -a.d) - b.d) < 0.02f;
}

bool samePlane(const Plane& a, const Plane& b) {
  const float c = a.n.dot(b.n);
  if (std::fabs(c) < kSameCos) return false;
  return std::fabs((c > 0 ? a.d : -a.d) - b.d) < kSameOffset;
}

// Accumulator over planes: the normal's direction on a cube map (three faces
// after the sign is fixed), 24 x 24 cells per face, times the offset in 120
// cells of 0.01 over [-0.6, 0.6]. Normals are turned by a fixed generic
// rotation first, so the axis-aligned and diagonal normals that models often
// have do not fall on cell or face borders. Each cell keeps its vote count and
// the sum of its votes' planes, whose mean becomes the candidate.
class PlaneVotes {
 public:
  static constexpr int kSide = 24, kOffsets = 120;
  PlaneVotes() : count_(size_t(3 * kSide * kSide * kOffsets), 0), sum_(count_.size() * 4, 0.0f) {}

  void add(Vec3 n, float d) {
    Vec3 m = turn(n);
    int k = 0;
    for (int i = 1; i < 3; ++i)
      if (std::fabs(m[i]) > std::fabs(m[k])) k = i;
    if (m[k] < 0) {
      m = -m;
      n = -n;
      d = -d;
    }
    const float u = m[(k + 1) % 3] / m[k], v = m[(k + 2) % 3] / m[k];
    const int iu = std::clamp(int((u + 1.0f) * 0.5f * kSide), 0, kSide - 1);
    const int iv = std::clamp(int((v + 1.0f) * 0.5f * kSide), 0, kSide - 1);
    const int id = int(std::floor((d + 0.6f) / 0.01f));
    if (id < 0 || id >= kOffsets) return;
    const size_t cell = ((size_t(k) * kSide + size_t(iu)) * kSide + size_t(iv)) * kOffsets + size_t(id);
    ++count_[cell];
    float* s = &sum_[cell * 4];
    s[0] += n.x;
    s[1] += n.y;
    s[2] += n.z;
    s[3] += d;
  }

  // Mean planes of the fullest cells, strongest first, skipping any within
  // 4 degrees and 0.02 of a stronger one.
  std::vector<Plane> peaks(int wanted) const {
    std::vector<size_t> cells;
    for (size_t c = 0; c < count_.size(); ++c)
      if (count_[c] >= 3) cells.push_back(c);
    std::sort(cells.begin(), cells.end(), [&](size_t a, size_t b) { return count_[a] > count_[b]; });
    std::vector<Plane> out;
    for (size_t c : cells) {
      if (int(out.size()) >= wanted) break;
      const float* s = &sum_[c * 4];
      const Plane p{Vec3(s[0], s[1], s[2]).normalized(), s[3] / float(count_[c])};
      if (p.n.lengthSquared() < 0.5f) continue;
      if (std::none_of(out.begin(), out.end(), [&](const Plane& q) { return nearPlane(p, q); })) out.push_back(p);
    }
    return out;
  }

 private:
  static Vec3 turn(const Vec3& n) {
    // A fixed rotation (about a generic axis by about 0.7 rad), applied as three plane rotations.
    const float a = 0.37f, b = 0.53f, c = 0.29f;
    Vec3 r(n.x, n.y * std::cos(a) - n.z * std::sin(a), n.y * std::sin(a) + n.z * std::cos(a));
    r = Vec3(r.x * std::cos(b) + r.z * std::sin(b), r.y, -r.x * std::sin(b) + r.z * std::cos(b));
    return Vec3(r.x * std::cos(c) - r.y * std::sin(c), r.x * std::sin(c) + r.y * std::cos(c), r.z);
  }
  std::vector<int> count_;
  std::vector<float> sum_;
};

// Random pairs of samples whose normals are mirror images across their
// bisector plane (up to the normals' sign) vote for that plane. O(pairs).
std::vector<Plane> votedPlanes(const Samples& samples) {
  PlaneVotes votes;
  const int n = int(samples.size());
  if (n < 2) return {};
  std::mt19937 rng(kPairSeed);
  for (int k = 0; k < kVotePairs; ++k) {
    const SurfaceProbe::Sample& a = samples[size_t(rng() % unsigned(n))];
    const SurfaceProbe::Sample& b = samples[size_t(rng() % unsigned(n))];
    const Vec3 w = a.position - b.position;
    const float len = w.length();
    if (!(len > kMinPairDistance)) continue;
    const Vec3 u = w / len;
    const Vec3 mirrored = a.normal - u * (2.0f * a.normal.dot(u));
    if (std::fabs(mirrored.dot(b.normal)) < kMirrorNormalCos) continue;
    votes.add(u, u.dot((a.position + b.position) * 0.5f));
  }
  return votes.peaks(kPeakCount);
}

// The line where two planes meet, through the point of it nearest to `near`;
// false for (nearly) parallel planes.
bool meet(const Plane& a, const Plane& b, const Vec3& near, Line& out) {
  const Vec3 dir = a.n.cross(b.n);
  if (dir.length() < 0.1f) return false;
  // x = near + s a.n + t b.n with a.n . x = a.d and b.n . x = b.d.
  const float c = a.n.dot(b.n), ra = a.d - a.n.dot(near), rb = b.d - b.n.dot(near);
  const float det = 1.0f - c * c;
  const float s = (ra - c * rb) / det, t = (rb - c * ra) / det;
  out = {near + a.n * s + b.n * t, dir.normalized()};
  return out.point.isFinite();
}

bool sameLine(const Line& a, const Line& b) {
  if (std::fabs(a.dir.dot(b.dir)) < kSameCos) return false;
  const Vec3 v = b.point - a.point;
  return (v - a.dir * a.dir.dot(v)).length() < kSameOffset;
}

bool continuousAxis(const SurfaceProbe& probe, const Samples& samples, const Line& l) {
  for (float degrees : kRotationAngles) {
    const float cosA = std::cos(degrees * kDegree), sinA = std::sin(degrees * kDegree);
    const Fit fit = scoreImages(
        probe, samples, kAxisSamples, [&](const Vec3& s) { return rotate(s, l, cosA, sinA); }, kMeanTolerance,
        kHighTolerance);
    if (!fit.ok) return false;
  }
  return true;
}

struct Found {
  Plane plane;
  float mean;
};

QString count(int n, const char* one, const char* many) { return QString("%1 %2").arg(n).arg(n == 1 ? one : many); }

}  // namespace

DetectedSymmetry detectSymmetry(const QVector<Vec3>& vertices, const RenderFaces& faces,
                                const std::atomic<bool>* cancel) {
  DetectedSymmetry out;
  auto stopped = [&out] {
    out.failure = "cancelled";
    return out;
  };
  SurfaceProbe probe(vertices, faces);
  if (!probe.ok()) {
    out.failure = probe.failure();
    return out;
  }
  const Samples samples = probe.samples(kSampleCount, kSampleSeed);
  if (cancelled(cancel)) return stopped();
  probe.buildDistanceIndex(kDenseAreaPoints, kDenseSeed, kDenseCentroids);
  if (cancelled(cancel)) return stopped();

  // Candidates: the principal planes through the area centroid, then the vote's peaks.
  const Vec3 centroid = probe.areaCentroid();
  double covariance[3][3];
  probe.areaCovariance(covariance);
  double values[3];
  Vec3 principal[3];
  symmetricEigen3(covariance, values, principal);
  std::vector<Plane> candidates;
  for (const Vec3& e : principal)
    if (e.isFinite() && e.lengthSquared() > 0.5f) candidates.push_back({e.normalized(), e.normalized().dot(centroid)});
  for (const Plane& p : votedPlanes(samples)) candidates.push_back(p);

  // The hopeless are dropped on a few samples; the rest are refined best first, so that a
  // candidate close to a plane already found (which would only find it again) can be skipped.
  std::vector<Found> promising;
  for (const Plane& c : candidates) {
    if (cancelled(cancel)) return stopped();
    const Fit fit = scorePlane(probe, samples, kScreenSamples, c, kScreenTolerance, 1.0f);
    if (fit.ok) promising.push_back({c, fit.mean});
  }
  std::stable_sort(promising.begin(), promising.end(), [](const Found& a, const Found& b) { return a.mean < b.mean; });
  std::vector<Found> found;
  for (const Found& start : promising) {
    if (cancelled(cancel)) return stopped();
    if (std::any_of(found.begin(), found.end(), [&](const Found& f) { return nearPlane(f.plane, start.plane); }))
      continue;
    Plane p = start.plane;
    if (!refinePlane(probe, samples, p)) continue;
    const Fit fit = scorePlane(probe, samples, kSampleCount, p, kMeanTolerance, kHighTolerance);
    if (!fit.ok) continue;
    auto same = std::find_if(found.begin(), found.end(), [&](const Found& f) { return samePlane(f.plane, p); });
    if (same == found.end())
      found.push_back({p, fit.mean});
    else if (fit.mean < same->mean)
      *same = {p, fit.mean};
  }

  // Axis candidates: principal axes through the centroid, and where symmetry planes meet.
  std::vector<Line> lines;
  auto addLine = [&](const Line& l) {
    if (int(lines.size()) >= kMaxAxisCandidates) return;
    for (const Line& o : lines)
      if (sameLine(o, l)) return;
    lines.push_back(l);
  };
  for (const Vec3& e : principal)
    if (e.isFinite() && e.lengthSquared() > 0.5f) addLine({centroid, e.normalized()});
  const size_t principalLines = lines.size();
  for (size_t i = 0; i < found.size(); ++i)
    for (size_t j = i + 1; j < found.size(); ++j) {
      Line l;
      if (meet(found[i].plane, found[j].plane, centroid, l)) addLine(l);
    }
  std::vector<Line> axes;
  for (size_t k = 0; k < lines.size(); ++k) {
    if (cancelled(cancel)) return stopped();
    // Two continuous principal axes make a sphere, where every line through the centre is one:
    // its principal axes stand for them all.
    if (k == principalLines && axes.size() >= 2) break;
    if (continuousAxis(probe, samples, lines[k])) axes.push_back(lines[k]);
  }

  // Back to model units. Planes containing a continuous axis are implied by it; with two
  // axes (a sphere) so is every plane through the centre.
  const double* c0 = probe.centre();
  const double size = probe.size();
  for (const Found& f : found) {
    const Plane& p = f.plane;
    bool implied = false;
    for (const Line& l : axes)
      implied = implied || (std::fabs(p.n.dot(l.point) - p.d) < kSameOffset &&
                            (axes.size() >= 2 || std::fabs(p.n.dot(l.dir)) < kContainsSin));
    if (implied) continue;
    CutPlane cp;
    cp.normal = p.n;
    cp.d = float(size * p.d + p.n.x * c0[0] + p.n.y * c0[1] + p.n.z * c0[2]);
    if (!std::isfinite(cp.d)) continue;
    normalizePlane(cp);
    out.planes.append(cp);
  }
  for (const Line& l : axes) {
    float lo = 0.0f, hi = 0.0f;
    probe.extentAlong(l.point, l.dir, lo, hi);
    Axis a;
    a.point = Vec3(float(c0[0] + size * l.point.x), float(c0[1] + size * l.point.y), float(c0[2] + size * l.point.z));
    a.direction = l.dir;
    a.halfLength = float(size * 0.5 * (double(hi) - lo));
    if (a.point.isFinite() && std::isfinite(a.halfLength)) out.axes.append(a);
  }
  out.method = QString("%1, %2 (tolerance 0.5% of the size; 4,000 samples)")
                   .arg(count(out.planes.size(), "plane", "planes"), count(out.axes.size(), "axis", "axes"));
  return out;
}

bool writeSymmetryFile(const QString& path, const QList<CutPlane>& planes, const QList<Axis>& axes, QString* why) {
  auto fail = [&](const QString& reason) {
    if (why) *why = reason;
    return false;
  };
  if (planes.size() + axes.size() > kMaxSymmetryRecords)
    return fail(
        QString("%1 records; the reader takes at most %2").arg(planes.size() + axes.size()).arg(kMaxSymmetryRecords));
  auto num = [](float v) { return QByteArray::number(double(v), 'g', 9); };
  QByteArray text;
  for (int i = 0; i < planes.size(); ++i) {
    const CutPlane& p = planes[i];
    if (!p.normal.isFinite() || !(p.normal.length() > 0.0f) || !std::isfinite(p.d))
      return fail(QString("plane %1 has no finite normal and offset").arg(i + 1));
    text += "P " + num(p.normal.x) + ' ' + num(p.normal.y) + ' ' + num(p.normal.z) + ' ' + num(p.d) + '\n';
  }
  for (int i = 0; i < axes.size(); ++i) {
    const Axis& a = axes[i];
    const Vec3 v = a.direction.normalized() * a.halfLength;
    if (!a.point.isFinite() || !(a.halfLength > 0.0f) || !v.isFinite() || !(v.length() > 0.0f))
      return fail(QString("axis %1 has no finite direction, positive half length and point").arg(i + 1));
    text += "A " + num(v.x) + ' ' + num(v.y) + ' ' + num(v.z) + ' ' + num(a.point.x) + ' ' + num(a.point.y) + ' ' +
            num(a.point.z) + '\n';
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
  if (file.write(text) != text.size()) return fail(file.errorString());
  if (!file.commit()) return fail(file.errorString());
  return true;
}
