#include "engine/coverage_baselines.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/principal_axes.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

// Per sample: covered (1) or not (0) by one plane's slab within `distance`.
std::vector<char> coveredWithin(const QVector<Vec3>& samples, const SectionPlane& plane, double distance) {
  std::vector<char> covered(size_t(samples.size()), 0);
  if (plane.triangles.isEmpty()) return covered;
  const QVector<double> d = slabDistances(samples, plane.triangles, distance);
  for (int i = 0; i < d.size(); ++i) covered[size_t(i)] = d[i] <= distance ? 1 : 0;
  return covered;
}

// The principal planes' unit normals and centroid of the samples; false for
// an empty or non-finite sample set.
bool sampleAxes(const QVector<Vec3>& samples, Vec3 normals[3], Vec3& centroid) {
  PrincipalAxes axes;
  if (samples.isEmpty() || !principalAxes(samples, axes)) return false;
  for (int k = 0; k < 3; ++k) {
    normals[k] = axes.unitAxes[k];
    if (!(normals[k].lengthSquared() > 0.0f)) return false;
  }
  centroid = axes.centroid;
  return true;
}

// The samples and the two distances of the engine's mesh, as measureCoverage
// takes them.
struct Measure {
  QVector<Vec3> points;
  double near = 0.0, far = 0.0;
};
Measure measureOf(const RenderMesh& mesh, int samples, uint32_t seed) {
  Measure m;
  m.points = sampleSurface(mesh, samples, seed);
  coverageDistances(mesh, m.near, m.far);
  return m;
}

}  // namespace

SectionPlane baselinePlane(const Vec3& normal, double d) {
  SectionPlane plane;
  plane.normal = normal.normalized();
  plane.d = float(d);
  normalizePlane(plane);
  plane.segmentIndex = kEverySegment;
  return plane;
}

CoverageBaseline principalPlanesBaseline(Sorvex& engine, int samples, uint32_t seed) {
  CoverageBaseline out;
  if (!engine.renderMesh) return out;
  const RenderMesh& mesh = *engine.renderMesh;
  const Measure m = measureOf(mesh, samples, seed);
  Vec3 normals[3], centroid;
  if (sampleAxes(m.points, normals, centroid)) {
    for (int k = 0; k < 3; ++k) {
      SectionPlane plane = baselinePlane(normals[k], double(normals[k].dot(centroid)));
      engine.updateSection(plane);
      out.planes.append(plane);
    }
  }
  out.figures = coverageOfSamples(m.points, out.planes, m.near, m.far);
  return out;
}

QList<SectionPlane> greedyCandidatePlanes(const RenderMesh& mesh, const QVector<Vec3>& samples) {
  QList<SectionPlane> out;
  QVector<Vec3> directions;
  Vec3 normals[3], centroid;
  if (sampleAxes(samples, normals, centroid)) directions << normals[0] << normals[1] << normals[2];
  directions << Vec3(1, 0, 0) << Vec3(0, 1, 0) << Vec3(0, 0, 1);
  for (const Vec3& n : directions) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const Vec3& v : mesh.vertices()) {
      if (!v.isFinite()) continue;
      const double s = double(n.x) * v.x + double(n.y) * v.y + double(n.z) * v.z;
      lo = std::min(lo, s);
      hi = std::max(hi, s);
    }
    if (!(lo <= hi) || !std::isfinite(hi - lo)) continue;  // no finite vertex
    for (int k = 1; k <= kGreedyOffsets; ++k)
      out.append(baselinePlane(n, lo + (hi - lo) * double(k) / double(kGreedyOffsets + 1)));
  }
  return out;
}

CoverageBaseline greedyAxisBaseline(Sorvex& engine, int planeCount, int samples, uint32_t seed) {
  CoverageBaseline out;
  if (!engine.renderMesh) return out;
  const RenderMesh& mesh = *engine.renderMesh;
  const Measure m = measureOf(mesh, samples, seed);
  QList<SectionPlane> candidates;
  std::vector<std::vector<char>> covers;
  if (planeCount > 0 && !m.points.isEmpty()) {
    candidates = greedyCandidatePlanes(mesh, m.points);
    for (SectionPlane& plane : candidates) {
      engine.updateSection(plane);
      covers.push_back(coveredWithin(m.points, plane, m.near));
    }
  }

  const double maxCos = std::cos(kGreedyMinAngleDegrees * M_PI / 180.0);
  std::vector<char> covered(size_t(m.points.size()), 0);
  std::vector<char> taken(size_t(candidates.size()), 0);
  while (out.planes.size() < planeCount) {
    int best = -1;
    long bestGain = -1;
    for (int c = 0; c < candidates.size(); ++c) {
      if (taken[size_t(c)]) continue;
      bool allowed = true;
      for (const SectionPlane& chosen : out.planes)
        allowed = allowed && std::fabs(double(chosen.normal.dot(candidates[c].normal))) <= maxCos;
      if (!allowed) continue;
      long gain = 0;
      const std::vector<char>& cover = covers[size_t(c)];
      for (size_t i = 0; i < covered.size(); ++i) gain += cover[i] && !covered[i];
      if (gain > bestGain) {
        bestGain = gain;
        best = c;
      }
    }
    if (best < 0) break;
    taken[size_t(best)] = 1;
    const std::vector<char>& cover = covers[size_t(best)];
    for (size_t i = 0; i < covered.size(); ++i) covered[i] = covered[i] || cover[i];
    out.planes.append(candidates[best]);
  }
  out.figures = coverageOfSamples(m.points, out.planes, m.near, m.far);
  return out;
}
