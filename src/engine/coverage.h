#pragma once

#include <QList>
#include <QVector>
#include <cstdint>

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
