#pragma once

#include <QList>
#include <QVector>
#include <cstdint>
#include <vector>

#include "engine/vec3.h"
#include "sections/section_plane.h"

class RenderMesh;

// Coverage: how well a set of slabs reads as the shape, as one number.
//
// The model's surface is sampled uniformly (area-weighted, a fixed number of
// samples from a fixed seed). Coverage at distance t is the share of the
// samples that lie within t (Euclidean, model units) of some slab triangle
// (SectionPlane::triangles). It is reported at two distances, 0.03 and 0.06
// times the model's radius (RenderMesh::radius(), half the diagonal of its
// bounding box), so that the figures do not change when a model is scaled.
// NOTE: the bundled models' boxes reach about radius 1, where these are
// close to the absolute 0.03 and 0.06; a model the batch tool normalises
// (farthest vertex 0.9 from the box centre) has a radius between 0.9 and
// 0.9 * sqrt(3), and its distances scale with it.
//
// Shares are in [0, 1]. A mesh without surface (no faces, or only
// degenerate or non-finite ones) has no samples and every figure is 0.

// Relative distances: multiples of the model's radius.
constexpr double kCoverageNear = 0.03;
constexpr double kCoverageFar = 0.06;
constexpr int kCoverageSamples = 20000;
constexpr uint32_t kCoverageSeed = 1;

struct CoverageFigures {
  double at03 = 0;  // share of samples within the near distance of some slab
  double at06 = 0;  // the same within the far distance
  // Share of the samples each plane's own slab covers, one per plane in the
  // order given (the shares overlap, so they may add up to more than the
  // total).
  QVector<double> perPlane03, perPlane06;
  int samples = 0;
  // The two distances in model units (kCoverageNear / kCoverageFar times
  // the radius).
  double distance03 = 0, distance06 = 0;
};

// `count` points on the mesh surface: a face is chosen with probability
// proportional to its area, then a point uniformly inside it. The same
// mesh, count and seed give the same points on every platform (the
// generator is the standard 32-bit Mersenne twister, turned into numbers
// without the library's distributions). Faces with a non-finite corner and
// degenerate faces are never chosen; empty when the mesh has no area or
// count <= 0. O(count log faces + faces).
QVector<Vec3> sampleSurface(const RenderMesh& mesh, int count, uint32_t seed);

// For every sample, its distance to the nearest of `triangles` when that is
// at most `reach`, +infinity otherwise (also for a non-finite sample).
// Exact point-triangle distances through a bounding-volume tree over the
// triangles: O(t log t + s log t) for t triangles and s samples on
// surface-like input.
QVector<double> slabDistances(const QVector<Vec3>& samples, const QList<SlabTriangle>& triangles, double reach);

// Coverage of the planes' slabs over given samples at the two distances
// (model units, near <= far). A plane without slab triangles covers nothing.
CoverageFigures coverageOfSamples(const QVector<Vec3>& samples, const QList<SectionPlane>& planes, double near,
                                  double far);

// The two distances of the mesh: kCoverageNear and kCoverageFar times its
// radius.
void coverageDistances(const RenderMesh& mesh, double& near, double& far);

// The whole measure: sampleSurface(mesh, samples, seed), then
// coverageOfSamples at the mesh's two distances.
CoverageFigures measureCoverage(const RenderMesh& mesh, const QList<SectionPlane>& planes,
                                int samples = kCoverageSamples, uint32_t seed = kCoverageSeed);

// The samples one slab reaches within a distance: their indices (increasing)
// and their distances to the slab.
struct SlabReach {
  std::vector<int> samples;
  std::vector<double> distances;
  bool isEmpty() const { return samples.empty(); }
};

// slabDistances kept sparse: only the samples within `reach`.
SlabReach slabReach(const QVector<Vec3>& samples, const QList<SlabTriangle>& triangles, double reach);

// What a growing set of slabs covers of a fixed set of samples, and the
// distance at which a further slab is judged: a slab adds the samples within
// that distance of it that no slab taken so far comes as close to.
//
// The distance starts at `tolerance`, and the least number of new samples
// worth a slab at `leastNew`. Once the slabs taken leave fewer than that
// number farther than the distance (no slab could add that many any more),
// the distance is halved, up to `maxHalvings` times, so that a further slab
// is judged by what it brings closer rather than by nothing at all; the
// least number is halved with it (rounded up, at least 1), as the band a
// slab covers around its section narrows with the distance. finer() halves
// both once on request. Slabs must be reached within the starting tolerance
// (slabReach with reach >= tolerance).
class CoverageTally {
 public:
  CoverageTally(int sampleCount, double tolerance, int leastNew, int maxHalvings);

  // Samples `slab` covers within the current distance that no slab taken
  // covers within it. Indices outside the samples are ignored.
  int added(const SlabReach& slab) const;
  // Takes the slab, then halves the distance while the rest is saturated.
  void cover(const SlabReach& slab);
  // Halves the distance once; false (and nothing changes) at the finest.
  bool finer();

  double tolerance() const { return tolerance_; }
  int leastNew() const;
  int halvings() const { return halvings_; }
  int sampleCount() const { return int(nearest_.size()); }
  // Samples within `distance` of some slab taken (distance at most the
  // starting tolerance).
  int coveredWithin(double distance) const;

 private:
  void settle();
  std::vector<double> nearest_;  // per sample, distance to the nearest slab taken (infinity: none in reach)
  double tolerance_;
  int leastNew_, maxHalvings_, halvings_ = 0;
};
