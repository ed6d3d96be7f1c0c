#pragma once

#include <QList>
#include <QVector>
#include <cstdint>

#include "engine/coverage.h"
#include "sections/section_plane.h"

class RenderMesh;
class Sorvex;

// Two yardsticks for the coverage of a selection run's planes (coverage.h),
// computed on the same mesh, with the same samples and distances, and with
// the engine's own sections (Sorvex::updateSection: the engine's mesh,
// segmentation and contour settings; every plane cuts every segment).
//
// WARNING: both read the engine's model and call its section code without
// the state lock. Call them on the engine's own thread while no run or load
// is active on it (as the batch tool does after its run).

struct CoverageBaseline {
  CoverageFigures figures;
  // The baseline's planes with their sections, in the order chosen.
  QList<SectionPlane> planes;
};

// Candidate offsets per direction of the greedy baseline, and the smallest
// angle allowed between two of its planes.
constexpr int kGreedyOffsets = 7;
constexpr double kGreedyMinAngleDegrees = 45.0;

// Plane { x : normal . x = d } with a unit normal, normalised as the engine
// keeps planes (d >= 0, point and in-plane axes), cutting every segment.
// The section is not computed.
SectionPlane baselinePlane(const Vec3& normal, double d);

// The three principal planes of the model: through the centroid of the
// area-weighted surface samples (sampleSurface with this count and seed),
// normal to each principal axis of those samples (largest spread first).
// Sampling the surface makes the axes independent of how finely each part
// is tessellated, which the vertices are not. No planes for a mesh without
// surface.
CoverageBaseline principalPlanesBaseline(Sorvex& engine, int samples = kCoverageSamples, uint32_t seed = kCoverageSeed);

// The candidate planes of the greedy baseline, heads only: for each of six
// directions, the three principal axes of the samples (as above) and then
// x, y and z, kGreedyOffsets planes spread evenly over the extent of the
// mesh's vertices along it, at fractions 1/8, 2/8, ..., 7/8 (the extreme
// planes would only graze the model). Directions in that order, offsets
// increasing.
QList<SectionPlane> greedyCandidatePlanes(const RenderMesh& mesh, const QVector<Vec3>& samples);

// Greedy choice of up to `planeCount` planes among greedyCandidatePlanes: at
// each step the candidate that adds most samples covered at the near
// distance (ties: the earlier candidate), among those at least
// kGreedyMinAngleDegrees from every plane chosen so far (the angle between
// planes is that between their unoriented normals). Stops early when no
// candidate is allowed any more: with six directions, an axis-aligned model
// typically allows three planes. O(candidates x (section + coverage) +
// planeCount x candidates x samples).
CoverageBaseline greedyAxisBaseline(Sorvex& engine, int planeCount, int samples = kCoverageSamples,
                                    uint32_t seed = kCoverageSeed);
