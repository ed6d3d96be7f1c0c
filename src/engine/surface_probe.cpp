#include "engine/surface_probe.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "trimesh/kdtree.h"

namespace {

// Triangles with less area than this (normalised frame: the bounding-box
// diagonal is 1) are degenerate; they get no samples.
constexpr double kMinTriangleArea = 1e-14;

// Uniform in [0, 1) from the generator's raw output (std distributions are
// implementation-defined; this keeps the samples reproducible).
double uniform01(std::mt19937& rng) { return (double(rng()) + 0.5) / 4294967296.0; }

// Closest point of triangle abc to p: the region test over the vertices,
// edges and interior, O(1).
Vec3 closestOnTriangle(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 ab = b - a, ac = c - a, ap = p - a;
  const float d1 = ab.dot(ap), d2 = ac.dot(ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const Vec3 bp = p - b;
  const float d3 = ab.dot(bp), d4 = ac.dot(bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const float vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) {
    const float v = d1 / (d1 - d3);
    return a + ab * v;
  }
  const Vec3 cp = p - c;
  const float d5 = ab.dot(cp), d6 = ac.dot(cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const float vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) {
    const float w = d2 / (d2 - d6);
    return a + ac * w;
  }
  const float va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
    const float w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
    return b + (c - b) * w;
  }
  const float denom = va + vb + vc;
  if (!(denom > 0)) return a;  // degenerate: no interior
  const float v = vb / denom, w = vc / denom;
  return a + ab * v + ac * w;
}

}  // namespace

SurfaceProbe::SurfaceProbe(const QVector<Vec3>& vertices, const RenderFaces& faces) {
  const int nv = vertices.size();
  // Usable corner triples (fans of polygons), before the frame is known.
  std::vector<int> corners;
  std::vector<char> used(size_t(nv), 0);
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  auto usable = [&](int i) { return i >= 0 && i < nv && vertices[i].isFinite(); };
  for (const RenderFace& f : faces) {
    if (f.size() < 3 || !usable(f[0])) continue;
    for (int k = 1; k + 1 < f.size(); ++k) {
      if (!usable(f[k]) || !usable(f[k + 1])) continue;
      for (int i : {f[0], f[k], f[k + 1]}) {
        corners.push_back(i);
        if (used[size_t(i)]) continue;
        used[size_t(i)] = 1;
        for (int c = 0; c < 3; ++c) {
          lo[c] = std::min(lo[c], double(vertices[i][c]));
          hi[c] = std::max(hi[c], double(vertices[i][c]));
        }
      }
    }
  }
  if (corners.empty()) {
    failure_ = "the mesh has no triangle with valid, finite vertices";
    return;
  }
  double diag2 = 0.0;
  for (int c = 0; c < 3; ++c) {
    centre_[c] = 0.5 * lo[c] + 0.5 * hi[c];
    diag2 += (hi[c] - lo[c]) * (hi[c] - lo[c]);
  }
  size_ = std::sqrt(diag2);
  if (!(size_ > 0.0) || !std::isfinite(size_)) {
    failure_ = "the mesh has no triangle of positive area";
    return;
  }
  auto normalised = [&](int i) {
    const Vec3& v = vertices[i];
    return Vec3(float((double(v.x) - centre_[0]) / size_), float((double(v.y) - centre_[1]) / size_),
                float((double(v.z) - centre_[2]) / size_));
  };
  for (int i = 0; i < nv; ++i)
    if (used[size_t(i)]) usedVertices_.push_back(normalised(i));

  // Triangles with area; area centroid and second moments, in double.
  double total = 0.0, centroid[3] = {0, 0, 0}, moment[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  triangles_.reserve(corners.size() / 3);
  cumulativeArea_.reserve(corners.size() / 3);
  for (size_t t = 0; t + 2 < corners.size(); t += 3) {
    const Triangle tri{normalised(corners[t]), normalised(corners[t + 1]), normalised(corners[t + 2])};
    const double area = 0.5 * double((tri.b - tri.a).cross(tri.c - tri.a).length());
    if (!(area > kMinTriangleArea)) continue;
    triangles_.push_back(tri);
    total += area;
    cumulativeArea_.push_back(total);
    // Over a triangle, the integral of x x^T is area / 12 (a a^T + b b^T + c c^T + 9 g g^T), g its centroid.
    const Vec3 g = (tri.a + tri.b + tri.c) / 3.0f;
    for (int i = 0; i < 3; ++i) {
      centroid[i] += area * g[i];
      for (int j = 0; j < 3; ++j)
        moment[i][j] += area / 12.0 *
                        (double(tri.a[i]) * tri.a[j] + double(tri.b[i]) * tri.b[j] + double(tri.c[i]) * tri.c[j] +
                         9.0 * double(g[i]) * g[j]);
    }
  }
  if (triangles_.empty() || !(total > 0.0) || !std::isfinite(total)) {
    failure_ = "the mesh has no triangle of positive area";
    return;
  }
  for (int i = 0; i < 3; ++i) centroid[i] /= total;
  areaCentroid_ = Vec3(float(centroid[0]), float(centroid[1]), float(centroid[2]));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) covariance_[i][j] = moment[i][j] / total - centroid[i] * centroid[j];
  ok_ = true;
}

SurfaceProbe::~SurfaceProbe() = default;

void SurfaceProbe::areaCovariance(double out[3][3]) const {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[i][j] = covariance_[i][j];
}

Vec3 SurfaceProbe::randomPoint(std::mt19937& rng, size_t& triangle) const {
  const double r = uniform01(rng) * cumulativeArea_.back();
  const size_t t =
      size_t(std::upper_bound(cumulativeArea_.begin(), cumulativeArea_.end(), r) - cumulativeArea_.begin());
  triangle = std::min(t, triangles_.size() - 1);
  const Triangle& tri = triangles_[triangle];
  float u = float(uniform01(rng)), v = float(uniform01(rng));
  if (u + v > 1.0f) {  // fold the unit square onto the triangle
    u = 1.0f - u;
    v = 1.0f - v;
  }
  return tri.a + (tri.b - tri.a) * u + (tri.c - tri.a) * v;
}

std::vector<SurfaceProbe::Sample> SurfaceProbe::samples(int count, unsigned seed) const {
  std::vector<Sample> out;
  if (!ok_ || count <= 0) return out;
  out.reserve(size_t(count));
  std::mt19937 rng(seed);
  for (int s = 0; s < count; ++s) {
    size_t t = 0;
    const Vec3 p = randomPoint(rng, t);
    const Triangle& tri = triangles_[t];
    out.push_back({p, (tri.b - tri.a).cross(tri.c - tri.a).normalized()});
  }
  return out;
}

void SurfaceProbe::buildDistanceIndex(int areaPoints, unsigned seed, int maxCentroids) {
  tree_.reset();
  densePoints_.clear();
  denseTriangle_.clear();
  if (!ok_) return;
  const size_t count = triangles_.size();
  const size_t centroids = maxCentroids > 0 ? std::min(count, size_t(maxCentroids)) : count;
  densePoints_.reserve(3 * (centroids + size_t(std::max(areaPoints, 0))));
  for (size_t t = 0; t < count; ++t) {
    // Evenly over the triangle order when there are more triangles than
    // centroids are wanted: t is taken when it starts a new share.
    if (centroids < count && (t + 1) * centroids / count == t * centroids / count) continue;
    const Vec3 g = (triangles_[t].a + triangles_[t].b + triangles_[t].c) / 3.0f;
    densePoints_.insert(densePoints_.end(), {g.x, g.y, g.z});
    denseTriangle_.push_back(int(t));
  }
  std::mt19937 rng(seed);
  for (int s = 0; s < areaPoints; ++s) {
    size_t t = 0;
    const Vec3 p = randomPoint(rng, t);
    densePoints_.insert(densePoints_.end(), {p.x, p.y, p.z});
    denseTriangle_.push_back(int(t));
  }
  tree_ = std::make_unique<KDtree>(densePoints_.data(), denseTriangle_.size());
}

float SurfaceProbe::distanceTo(const Vec3& q, float cap, Vec3* closest, Vec3* normal) const {
  if (!tree_ || !q.isFinite()) return cap;
  const float qa[3] = {q.x, q.y, q.z};
  const float* p = tree_->nearest(qa, cap * cap);
  if (!p) return cap;
  const Triangle& tri = triangles_[size_t(denseTriangle_[size_t((p - densePoints_.data()) / 3)])];
  const Vec3 c = closestOnTriangle(q, tri.a, tri.b, tri.c);
  if (closest) *closest = c;
  if (normal) *normal = (tri.b - tri.a).cross(tri.c - tri.a).normalized();
  return std::min((q - c).length(), cap);
}

void SurfaceProbe::extentAlong(const Vec3& origin, const Vec3& direction, float& lo, float& hi) const {
  lo = hi = 0.0f;
  bool first = true;
  for (const Vec3& v : usedVertices_) {
    const float t = direction.dot(v - origin);
    if (first || t < lo) lo = t;
    if (first || t > hi) hi = t;
    first = false;
  }
}
