// Coverage of slabs over the surface (engine/coverage.h) and its baselines
// (engine/coverage_baselines.h): known bands on a sphere, a torus and a box
// against their areas worked out here, the distance against CGAL's, and the
// rules of the greedy baseline.

#include <gtest/gtest.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>

#include <QtGlobal>
#include <cmath>
#include <random>
#include <vector>

#include "engine/coverage.h"
#include "engine/coverage_baselines.h"
#include "engine/sorvex.h"
#include "engine/triangle_distance_tree.h"
#include "model/render_mesh.h"
#include "support/meshedit_support.h"
#include "support/sections_support.h"

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;

void quietLog(QtMsgType, const QMessageLogContext&, const QString&) {}

// Sampling error allowed on a share p of kCoverageSamples samples: 4.5
// standard deviations, plus a little for the faceted surface.
double tolerance(double p) { return 4.5 * std::sqrt(p * (1.0 - p) / kCoverageSamples) + 0.002; }

// The test meshes' sphere (an even number of rings puts one ring of
// vertices on the equator) and box, as render meshes.
RenderMesh sphereMesh(float radius, int segments, int rings) {
  const meshedit::Mesh m = meshedit::uvSphere(radius, segments, rings);
  return sectionsupport::makeMesh(m.vertices, m.faces);
}
RenderMesh boxMesh(const Vec3& lo, const Vec3& hi) {
  const meshedit::Mesh m = meshedit::box(lo, hi);
  return sectionsupport::makeMesh(m.vertices, m.faces);
}

// Torus around the z axis: ring radius `ring`, tube radius `tube`; vertex
// rings at tube angles 0 and pi lie in z = 0.
RenderMesh torusMesh(float ring, float tube, int around, int across) {
  QVector<Vec3> v;
  RenderFaces f;
  for (int i = 0; i < around; ++i) {
    const double u = 2 * M_PI * i / around;
    for (int j = 0; j < across; ++j) {
      const double w = 2 * M_PI * j / across;
      const double rho = ring + tube * std::cos(w);
      v << Vec3(float(rho * std::cos(u)), float(rho * std::sin(u)), float(tube * std::sin(w)));
    }
  }
  const auto at = [&](int i, int j) { return (i % around) * across + (j % across); };
  for (int i = 0; i < around; ++i)
    for (int j = 0; j < across; ++j) {
      f << RenderFace{at(i, j), at(i + 1, j), at(i + 1, j + 1)};
      f << RenderFace{at(i, j), at(i + 1, j + 1), at(i, j + 1)};
    }
  return sectionsupport::makeMesh(v, f);
}

// An engine holding `mesh`, its log silenced.
struct EngineOn {
  explicit EngineOn(const RenderMesh& mesh) : engine(nullptr) {
    qInstallMessageHandler(quietLog);
    *engine.renderMesh = mesh;
  }
  ~EngineOn() { qInstallMessageHandler(nullptr); }
  SectionPlane cut(const Vec3& point, const Vec3& normal) {
    SectionPlane plane = sectionsupport::planeThrough(point, normal);
    engine.updateSection(plane);
    return plane;
  }
  Sorvex engine;
};

double angleDegrees(const Vec3& a, const Vec3& b) {
  const double c = std::fabs(double(a.normalized().dot(b.normalized())));
  return std::acos(std::min(1.0, c)) * 180.0 / M_PI;
}

Kernel::Point_3 cgal(const Vec3& p) { return Kernel::Point_3(p.x, p.y, p.z); }

}  // namespace

TEST(Coverage, PointTriangleDistanceMatchesCgal) {
  std::mt19937 generator(7);
  std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
  const auto point = [&] { return Vec3(coordinate(generator), coordinate(generator), coordinate(generator)); };
  for (int k = 0; k < 3000; ++k) {
    const Vec3 a = point(), b = point(), c = point();
    // Points around the triangle, many projecting inside it.
    const Vec3 p = k % 2 ? point() : (a + b + c) / 3.0f + point() * 0.3f;
    const double ours = pointTriangleSquaredDistance(p, a, b, c);
    const double peer = CGAL::squared_distance(cgal(p), Kernel::Triangle_3(cgal(a), cgal(b), cgal(c)));
    ASSERT_NEAR(ours, peer, 1e-9 + 1e-9 * peer) << k;
  }
  // Degenerate triangles are the segment or point they collapse to.
  for (int k = 0; k < 500; ++k) {
    const Vec3 a = point(), b = point(), p = point();
    const Vec3 mid = a + (b - a) * 0.25f;
    const double segment = CGAL::squared_distance(cgal(p), Kernel::Segment_3(cgal(a), cgal(b)));
    const double onCorner = CGAL::squared_distance(cgal(p), cgal(a));
    // The middle corner lies on ab up to float rounding of its position.
    EXPECT_NEAR(pointTriangleSquaredDistance(p, a, mid, b), segment, 1e-6) << k;
    EXPECT_NEAR(pointTriangleSquaredDistance(p, a, a, a), onCorner, 1e-12) << k;
  }
  const float nan = std::nanf("");
  EXPECT_TRUE(std::isnan(pointTriangleSquaredDistance(Vec3(nan, 0, 0), Vec3(), Vec3(1, 0, 0), Vec3(0, 1, 0))));
}

TEST(Coverage, TreeFindsTheNearestTriangleWithinReach) {
  std::mt19937 generator(11);
  std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f), small(-0.08f, 0.08f);
  std::vector<Vec3> corners;
  for (int t = 0; t < 800; ++t) {
    const Vec3 centre(coordinate(generator), coordinate(generator), coordinate(generator));
    for (int c = 0; c < 3; ++c) corners.push_back(centre + Vec3(small(generator), small(generator), small(generator)));
  }
  // A triangle with a non-finite corner is left out, whatever its other corners.
  corners.push_back(Vec3(0, 0, 0));
  corners.push_back(Vec3(std::nanf(""), 0, 0));
  corners.push_back(Vec3(0, 1, 0));
  const TriangleDistanceTree tree(corners);
  EXPECT_EQ(tree.triangleCount(), 800);
  for (int k = 0; k < 2000; ++k) {
    const Vec3 p(coordinate(generator), coordinate(generator), coordinate(generator));
    double nearest = INFINITY;
    for (size_t t = 0; t < 800; ++t)
      nearest = std::min(
          nearest,
          std::sqrt(CGAL::squared_distance(
              cgal(p), Kernel::Triangle_3(cgal(corners[3 * t]), cgal(corners[3 * t + 1]), cgal(corners[3 * t + 2])))));
    for (double reach : {0.05, 0.2}) {
      const double found = tree.nearestWithin(p, reach);
      if (nearest <= reach)
        ASSERT_NEAR(found, nearest, 1e-9) << k;
      else
        ASSERT_TRUE(std::isinf(found)) << k << " " << nearest;
    }
  }
  EXPECT_TRUE(std::isinf(tree.nearestWithin(Vec3(std::nanf(""), 0, 0), 1.0)));
  EXPECT_TRUE(std::isinf(TriangleDistanceTree({}).nearestWithin(Vec3(), 10.0)));
}

TEST(Coverage, SamplingIsAreaWeightedDeterministicAndSkipsBadFaces) {
  // Triangles of area 1 (z = 0) and 3 (z = 1), a degenerate face and a face
  // with a non-finite corner.
  const float nan = std::nanf("");
  const RenderMesh mesh = sectionsupport::makeMesh({Vec3(0, 0, 0), Vec3(2, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1),
                                                    Vec3(3, 0, 1), Vec3(0, 2, 1), Vec3(5, 5, 5), Vec3(nan, 0, 0)},
                                                   {{0, 1, 2}, {3, 4, 5}, {6, 6, 6}, {0, 1, 7}});
  const QVector<Vec3> samples = sampleSurface(mesh, kCoverageSamples, 3);
  ASSERT_EQ(samples.size(), kCoverageSamples);
  int upper = 0;
  for (const Vec3& s : samples) {
    ASSERT_TRUE(s.isFinite());
    const double d0 = pointTriangleSquaredDistance(s, Vec3(0, 0, 0), Vec3(2, 0, 0), Vec3(0, 1, 0));
    const double d1 = pointTriangleSquaredDistance(s, Vec3(0, 0, 1), Vec3(3, 0, 1), Vec3(0, 2, 1));
    ASSERT_LT(std::min(d0, d1), 1e-12);
    upper += d1 < d0;
  }
  EXPECT_NEAR(double(upper) / kCoverageSamples, 0.75, tolerance(0.75));
  // Uniform inside a face: the mean of the large triangle's samples is its centroid.
  double mx = 0, my = 0;
  for (const Vec3& s : samples)
    if (s.z > 0.5f) {
      mx += s.x;
      my += s.y;
    }
  EXPECT_NEAR(mx / upper, 1.0, 0.02);
  EXPECT_NEAR(my / upper, 2.0 / 3.0, 0.015);

  EXPECT_EQ(sampleSurface(mesh, kCoverageSamples, 3), samples);
  EXPECT_NE(sampleSurface(mesh, kCoverageSamples, 4), samples);
  EXPECT_TRUE(sampleSurface(mesh, 0, 3).isEmpty());
  EXPECT_TRUE(sampleSurface(mesh, -5, 3).isEmpty());
  EXPECT_TRUE(sampleSurface(RenderMesh(), 100, 3).isEmpty());
}

TEST(Coverage, SphereCutAtItsEquatorCoversTheBandOfTheDistance) {
  const float R = 0.8f;
  EngineOn on(sphereMesh(R, 128, 64));
  const SectionPlane equator = on.cut(Vec3(0, 0, 0), Vec3(0, 0, 1));
  ASSERT_FALSE(equator.triangles.isEmpty());
  const CoverageFigures figures = measureCoverage(*on.engine.renderMesh, {equator});
  ASSERT_EQ(figures.samples, kCoverageSamples);
  // The band |z| <= t of a sphere has the area 2 pi R (2 t): the share t / R.
  const double radius = on.engine.renderMesh->radius();
  const double near = kCoverageNear * radius, far = kCoverageFar * radius;
  EXPECT_DOUBLE_EQ(figures.distance03, near);
  EXPECT_NEAR(figures.at03, near / R, tolerance(near / R));
  EXPECT_NEAR(figures.at06, far / R, tolerance(far / R));
  ASSERT_EQ(figures.perPlane03.size(), 1);
  EXPECT_EQ(figures.perPlane03[0], figures.at03);
  EXPECT_EQ(figures.perPlane06[0], figures.at06);
}

TEST(Coverage, TorusCutThroughItsRingCoversTheBandOfTheDistance) {
  const double ring = 0.6, tube = 0.25;
  EngineOn on(torusMesh(float(ring), float(tube), 192, 96));
  const SectionPlane plane = on.cut(Vec3(0, 0, 0), Vec3(0, 0, 1));
  ASSERT_FALSE(plane.triangles.isEmpty());
  const CoverageFigures figures = measureCoverage(*on.engine.renderMesh, {plane});
  // Every point of the torus projects into the ring-shaped section, so it is
  // covered when |z| = tube |sin w| <= t. The area element at tube angle w
  // is proportional to ring + tube cos w; integrated by the midpoint rule.
  const auto band = [&](double t) {
    const int steps = 200000;
    double inside = 0, all = 0;
    for (int k = 0; k < steps; ++k) {
      const double w = 2 * M_PI * (k + 0.5) / steps;
      const double element = ring + tube * std::cos(w);
      all += element;
      if (tube * std::fabs(std::sin(w)) <= t) inside += element;
    }
    return inside / all;
  };
  const double radius = on.engine.renderMesh->radius();
  const double near = band(kCoverageNear * radius), far = band(kCoverageFar * radius);
  EXPECT_NEAR(figures.at03, near, tolerance(near));
  EXPECT_NEAR(figures.at06, far, tolerance(far));
}

TEST(Coverage, NoPlanesAndEmptySlabsAddNothing) {
  EngineOn on(sphereMesh(0.8f, 64, 32));
  const RenderMesh& mesh = *on.engine.renderMesh;
  const CoverageFigures none = measureCoverage(mesh, {});
  EXPECT_EQ(none.samples, kCoverageSamples);
  EXPECT_EQ(none.at03, 0.0);
  EXPECT_EQ(none.at06, 0.0);
  EXPECT_TRUE(none.perPlane03.isEmpty());

  const SectionPlane equator = on.cut(Vec3(0, 0, 0), Vec3(0, 0, 1));
  const SectionPlane outside = on.cut(Vec3(0, 0, 2), Vec3(0, 0, 1));
  ASSERT_TRUE(outside.triangles.isEmpty());
  // A plane that keeps its contours but has no slab covers nothing either.
  SectionPlane noSlab = on.cut(Vec3(0, 0, 0.3f), Vec3(0, 0, 1));
  ASSERT_FALSE(noSlab.contours.isEmpty());
  noSlab.triangles.clear();
  const CoverageFigures alone = measureCoverage(mesh, {equator});
  const CoverageFigures padded = measureCoverage(mesh, {outside, equator, noSlab});
  ASSERT_GT(alone.at03, 0.0);
  EXPECT_EQ(padded.at03, alone.at03);
  EXPECT_EQ(padded.at06, alone.at06);
  EXPECT_EQ(padded.perPlane03, QVector<double>({0.0, alone.at03, 0.0}));
  EXPECT_EQ(padded.perPlane06, QVector<double>({0.0, alone.at06, 0.0}));

  // A mesh without surface has no samples and no coverage.
  const CoverageFigures empty = measureCoverage(RenderMesh(), {equator});
  EXPECT_EQ(empty.samples, 0);
  EXPECT_EQ(empty.at03, 0.0);
  EXPECT_EQ(empty.perPlane03, QVector<double>({0.0}));
}

TEST(Coverage, TallyJudgesFinerOnceTheSlabsLeaveTooFewSamples) {
  // The sparse reach of a slab is the dense distances cut at the reach.
  EngineOn on(sphereMesh(0.8f, 64, 32));
  const QVector<Vec3> samples = sampleSurface(*on.engine.renderMesh, 2000, 3);
  const SectionPlane equator = on.cut(Vec3(0, 0, 0), Vec3(0, 0, 1));
  const QVector<double> dense = slabDistances(samples, equator.triangles, 0.05);
  const SlabReach reach = slabReach(samples, equator.triangles, 0.05);
  int within = 0;
  for (int i = 0; i < dense.size(); ++i)
    if (dense[i] <= 0.05) {
      ASSERT_LT(size_t(within), reach.samples.size());
      EXPECT_EQ(reach.samples[size_t(within)], i);
      EXPECT_EQ(reach.distances[size_t(within)], dense[i]);
      ++within;
    }
  EXPECT_GT(within, 0);
  EXPECT_EQ(reach.samples.size(), size_t(within));
  EXPECT_TRUE(slabReach(samples, {}, 0.05).isEmpty());

  // Ten samples, a distance of 1, at least two new samples wanted.
  const auto slab = [](std::vector<int> at, std::vector<double> distance) {
    SlabReach r;
    r.samples = std::move(at);
    r.distances = std::move(distance);
    return r;
  };
  CoverageTally tally(10, 1.0, 2, 2);
  const SlabReach wide = slab({0, 1, 2, 3, 4, 5, 6, 7}, {0.6, 0.6, 0.6, 0.6, 0.6, 0.6, 0.6, 0.2});
  EXPECT_EQ(tally.added(wide), 8);
  tally.cover(wide);
  // Two samples are left: not yet saturated.
  EXPECT_EQ(tally.tolerance(), 1.0);
  const SlabReach onTop = slab({0, 7}, {0.1, 0.1});
  EXPECT_EQ(tally.added(onTop), 0);
  const SlabReach rest = slab({8, 11, -1}, {0.9, 0.0, 0.0});  // indices outside are ignored
  EXPECT_EQ(tally.added(rest), 1);
  tally.cover(rest);
  // One sample left within 1: judged within 0.5, where the first slab's 0.6
  // no longer counts and a slab lying closer adds.
  EXPECT_EQ(tally.tolerance(), 0.5);
  EXPECT_EQ(tally.halvings(), 1);
  EXPECT_EQ(tally.leastNew(), 1);
  EXPECT_EQ(tally.coveredWithin(1.0), 9);
  EXPECT_EQ(tally.coveredWithin(0.5), 1);
  EXPECT_EQ(tally.added(onTop), 1);
  EXPECT_EQ(tally.added(slab({9}, {0.7})), 0);
  // Halving stops at the limit.
  EXPECT_TRUE(tally.finer());
  EXPECT_EQ(tally.tolerance(), 0.25);
  EXPECT_FALSE(tally.finer());
  EXPECT_EQ(tally.tolerance(), 0.25);
  // A tally of no samples never halves; a non-finite distance is never taken.
  CoverageTally empty(0, 1.0, 2, 4);
  empty.cover(slab({0}, {0.0}));
  EXPECT_EQ(empty.tolerance(), 1.0);
  EXPECT_EQ(empty.coveredWithin(1.0), 0);
  CoverageTally nan(3, 1.0, 1, 0);
  nan.cover(slab({0, 1}, {std::nan(""), -1.0}));
  EXPECT_EQ(nan.coveredWithin(1.0), 0);
}

TEST(CoverageBaselines, PrincipalPlanesOfABoxCoverTheirBands) {
  // A box 2 x 1 x 0.5 off the origin: its surface's principal axes are x, y,
  // z in that order, through its centre.
  const Vec3 lo(-0.9f, -0.3f, 0.05f), hi(1.1f, 0.7f, 0.55f);
  const Vec3 centre = (lo + hi) * 0.5f;
  EngineOn on(boxMesh(lo, hi));
  const CoverageBaseline principal = principalPlanesBaseline(on.engine);
  ASSERT_EQ(principal.planes.size(), 3);
  const Vec3 axes[3] = {Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1)};
  for (int k = 0; k < 3; ++k) {
    const SectionPlane& p = principal.planes[k];
    EXPECT_LT(angleDegrees(p.normal, axes[k]), 1.0) << k;
    EXPECT_NEAR(p.normal.dot(centre), p.d, 0.01) << k;
    EXPECT_FALSE(p.triangles.isEmpty()) << k;
  }
  // The band |x - cx| <= t of the box's surface around the section normal to
  // x runs along the section's perimeter (3): area 2 t * 3 of 7. Likewise 5
  // and 6 for y and z; bands of two planes overlap in 2 t x 2 t squares on
  // two faces.
  const double area = 7.0;
  const double perimeter[3] = {3.0, 5.0, 6.0};
  const double radius = on.engine.renderMesh->radius();
  for (double t : {kCoverageNear * radius, kCoverageFar * radius}) {
    const bool isNear = t == kCoverageNear * radius;
    double sum = 0;
    for (int k = 0; k < 3; ++k) {
      const double expected = 2 * t * perimeter[k] / area;
      sum += expected;
      EXPECT_NEAR(isNear ? principal.figures.perPlane03[k] : principal.figures.perPlane06[k], expected,
                  tolerance(expected))
          << k;
    }
    const double total = sum - 3 * 2 * (2 * t) * (2 * t) / area;
    EXPECT_NEAR(isNear ? principal.figures.at03 : principal.figures.at06, total, tolerance(total));
  }
}

TEST(CoverageBaselines, GreedyKeepsPlanesApartAndStartsWithTheBestCandidate) {
  EngineOn on(torusMesh(0.6f, 0.25f, 64, 32));
  const RenderMesh& mesh = *on.engine.renderMesh;
  // The best single candidate, from the candidates cut and measured one by one.
  const QVector<Vec3> samples = sampleSurface(mesh, kCoverageSamples, kCoverageSeed);
  const QList<SectionPlane> candidates = greedyCandidatePlanes(mesh, samples);
  ASSERT_EQ(candidates.size(), 6 * kGreedyOffsets);
  double bestSingle = 0;
  for (SectionPlane c : candidates) {
    on.engine.updateSection(c);
    bestSingle = std::max(bestSingle, measureCoverage(mesh, {c}).at03);
  }
  ASSERT_GT(bestSingle, 0.0);

  for (int count : {1, 3, 6}) {
    const CoverageBaseline greedy = greedyAxisBaseline(on.engine, count);
    ASSERT_GE(greedy.planes.size(), 1) << count;
    ASSERT_LE(greedy.planes.size(), count);
    for (int a = 0; a < greedy.planes.size(); ++a)
      for (int b = a + 1; b < greedy.planes.size(); ++b)
        EXPECT_GE(angleDegrees(greedy.planes[a].normal, greedy.planes[b].normal), kGreedyMinAngleDegrees - 1e-4)
            << count << ": " << a << " " << b;
    EXPECT_DOUBLE_EQ(greedy.figures.perPlane03[0], bestSingle) << count;
    EXPECT_GE(greedy.figures.at03, greedy.figures.perPlane03[0]) << count;
    EXPECT_GE(greedy.figures.at06, greedy.figures.at03) << count;
  }
  // Six directions allow more than one plane: a second plane adds coverage.
  const CoverageBaseline three = greedyAxisBaseline(on.engine, 3);
  ASSERT_GE(three.planes.size(), 2);
  EXPECT_GT(three.figures.at03, three.figures.perPlane03[0]);
  EXPECT_TRUE(greedyAxisBaseline(on.engine, 0).planes.isEmpty());
}
