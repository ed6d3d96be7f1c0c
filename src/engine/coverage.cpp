#include "engine/coverage.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "engine/triangle_distance_tree.h"
#include "model/render_mesh.h"

namespace {

// A double in [0, 1) from two draws of the 32-bit generator (53 random
// bits), the same on every standard library.
double uniform01(std::mt19937& generator) {
  const uint32_t a = generator() >> 5;  // 27 bits
  const uint32_t b = generator() >> 6;  // 26 bits
  return (double(a) * 67108864.0 + double(b)) / 9007199254740992.0;
}

double triangleArea(const Vec3& a, const Vec3& b, const Vec3& c) {
  const double ux = double(b.x) - a.x, uy = double(b.y) - a.y, uz = double(b.z) - a.z;
  const double vx = double(c.x) - a.x, vy = double(c.y) - a.y, vz = double(c.z) - a.z;
  const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
  return 0.5 * std::sqrt(nx * nx + ny * ny + nz * nz);
}

double share(int count, int samples) { return samples > 0 ? double(count) / double(samples) : 0.0; }

}  // namespace

QVector<Vec3> sampleSurface(const RenderMesh& mesh, int count, uint32_t seed) {
  QVector<Vec3> out;
  if (count <= 0) return out;
  const QVector<Vec3>& vertices = mesh.vertices();
  const RenderFaces& faces = mesh.faces();
  // Faces that can be chosen, with the running sum of their areas.
  std::vector<int> chosenFace;
  std::vector<double> running;
  chosenFace.reserve(size_t(faces.size()));
  running.reserve(size_t(faces.size()));
  double total = 0.0;
  for (int f = 0; f < faces.size(); ++f) {
    const RenderFace& face = faces[f];
    if (face.size() < 3) continue;
    bool inRange = true;
    for (int c = 0; c < 3; ++c) inRange = inRange && face[c] >= 0 && face[c] < vertices.size();
    if (!inRange) continue;
    const double area = triangleArea(vertices[face[0]], vertices[face[1]], vertices[face[2]]);
    if (!(area > 0.0) || !std::isfinite(area) || !std::isfinite(total + area)) continue;
    total += area;
    chosenFace.push_back(f);
    running.push_back(total);
  }
  if (chosenFace.empty()) return out;

  std::mt19937 generator(seed);
  out.reserve(count);
  for (int i = 0; i < count; ++i) {
    const double r = uniform01(generator) * total;
    size_t k = size_t(std::upper_bound(running.begin(), running.end(), r) - running.begin());
    if (k >= running.size()) k = running.size() - 1;  // r rounded up to the total
    const RenderFace& face = faces[chosenFace[k]];
    const Vec3& a = vertices[face[0]];
    const Vec3& b = vertices[face[1]];
    const Vec3& c = vertices[face[2]];
    // Uniform in the triangle: the square root spreads the first draw
    // evenly over the area between the corner a and the edge bc.
    const double s = std::sqrt(uniform01(generator));
    const double t = uniform01(generator);
    const double wa = 1.0 - s, wb = s * (1.0 - t), wc = s * t;
    out.append(Vec3(float(wa * a.x + wb * b.x + wc * c.x), float(wa * a.y + wb * b.y + wc * c.y),
                    float(wa * a.z + wb * b.z + wc * c.z)));
  }
  return out;
}

QVector<double> slabDistances(const QVector<Vec3>& samples, const QList<SlabTriangle>& triangles, double reach) {
  QVector<double> out(samples.size(), std::numeric_limits<double>::infinity());
  if (triangles.isEmpty() || samples.isEmpty()) return out;
  std::vector<Vec3> corners;
  corners.reserve(3 * size_t(triangles.size()));
  for (const SlabTriangle& t : triangles)
    for (const Vec3& c : t.corners) corners.push_back(c);
  const TriangleDistanceTree tree(corners);
  for (int i = 0; i < samples.size(); ++i) out[i] = tree.nearestWithin(samples[i], reach);
  return out;
}

CoverageFigures coverageOfSamples(const QVector<Vec3>& samples, const QList<SectionPlane>& planes, double near,
                                  double far) {
  CoverageFigures figures;
  figures.samples = samples.size();
  figures.distance03 = near;
  figures.distance06 = far;
  const double reach = std::max(near, far);
  std::vector<char> nearAny(size_t(samples.size()), 0), farAny(size_t(samples.size()), 0);
  for (const SectionPlane& plane : planes) {
    int nearCount = 0, farCount = 0;
    if (!plane.triangles.isEmpty()) {
      const QVector<double> d = slabDistances(samples, plane.triangles, reach);
      for (int i = 0; i < d.size(); ++i) {
        if (d[i] <= near) {
          ++nearCount;
          nearAny[size_t(i)] = 1;
        }
        if (d[i] <= far) {
          ++farCount;
          farAny[size_t(i)] = 1;
        }
      }
    }
    figures.perPlane03.append(share(nearCount, samples.size()));
    figures.perPlane06.append(share(farCount, samples.size()));
  }
  figures.at03 = share(int(std::count(nearAny.begin(), nearAny.end(), 1)), samples.size());
  figures.at06 = share(int(std::count(farAny.begin(), farAny.end(), 1)), samples.size());
  return figures;
}

void coverageDistances(const RenderMesh& mesh, double& near, double& far) {
  const double radius = mesh.radius();
  const double r = std::isfinite(radius) && radius > 0.0 ? radius : 0.0;
  near = kCoverageNear * r;
  far = kCoverageFar * r;
}

CoverageFigures measureCoverage(const RenderMesh& mesh, const QList<SectionPlane>& planes, int samples, uint32_t seed) {
  double near = 0.0, far = 0.0;
  coverageDistances(mesh, near, far);
  return coverageOfSamples(sampleSurface(mesh, samples, seed), planes, near, far);
}

SlabReach slabReach(const QVector<Vec3>& samples, const QList<SlabTriangle>& triangles, double reach) {
  SlabReach out;
  const QVector<double> d = slabDistances(samples, triangles, reach);
  for (int i = 0; i < d.size(); ++i)
    if (d[i] <= reach) {
      out.samples.push_back(i);
      out.distances.push_back(d[i]);
    }
  return out;
}

CoverageTally::CoverageTally(int sampleCount, double tolerance, int leastNew, int maxHalvings)
    : nearest_(size_t(std::max(sampleCount, 0)), std::numeric_limits<double>::infinity()),
      tolerance_(std::isfinite(tolerance) && tolerance > 0.0 ? tolerance : 0.0),
      leastNew_(std::max(leastNew, 1)),
      maxHalvings_(std::max(maxHalvings, 0)) {}

int CoverageTally::added(const SlabReach& slab) const {
  int count = 0;
  const size_t n = std::min(slab.samples.size(), slab.distances.size());
  for (size_t k = 0; k < n; ++k) {
    const int i = slab.samples[k];
    if (i < 0 || size_t(i) >= nearest_.size()) continue;
    if (slab.distances[k] <= tolerance_ && !(nearest_[size_t(i)] <= tolerance_)) ++count;
  }
  return count;
}

void CoverageTally::cover(const SlabReach& slab) {
  const size_t n = std::min(slab.samples.size(), slab.distances.size());
  for (size_t k = 0; k < n; ++k) {
    const int i = slab.samples[k];
    if (i < 0 || size_t(i) >= nearest_.size() || !(slab.distances[k] >= 0.0)) continue;
    nearest_[size_t(i)] = std::min(nearest_[size_t(i)], slab.distances[k]);
  }
  settle();
}

bool CoverageTally::finer() {
  if (halvings_ >= maxHalvings_ || !(tolerance_ > 0.0)) return false;
  tolerance_ *= 0.5;
  ++halvings_;
  return true;
}

int CoverageTally::coveredWithin(double distance) const {
  return int(std::count_if(nearest_.begin(), nearest_.end(), [&](double d) { return d <= distance; }));
}

int CoverageTally::leastNew() const {
  // leastNew_ >= 1 and halvings_ <= maxHalvings_; the shift stays below 31.
  const int scale = 1 << std::min(halvings_, 30);
  return std::max(1, (leastNew_ + scale - 1) / scale);
}

void CoverageTally::settle() {
  while (!nearest_.empty() && int(nearest_.size()) - coveredWithin(tolerance_) < leastNew())
    if (!finer()) return;
}
