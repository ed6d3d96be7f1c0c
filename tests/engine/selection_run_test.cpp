#include <gtest/gtest.h>

#include <cmath>

#include "engine/coverage.h"
#include "engine/coverage_baselines.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

// Appends an axis-aligned box [lo, hi] as 12 outward-facing triangles, all
// in segment `segment`.
void addBox(QVector<Vec3>& v, RenderFaces& f, QVector<int>& seg, const Vec3& lo, const Vec3& hi,
            int segment) {
  const int b = v.size();
  for (int i = 0; i < 8; ++i) v.append(Vec3(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z));
  const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& q : quads) {
    f.append({b + q[0], b + q[1], b + q[2]});
    f.append({b + q[0], b + q[2], b + q[3]});
    seg.append(segment);
    seg.append(segment);
  }
}

// Engine holding a model and only symmetry-plane features.
struct RunFixture {
  Sorvex engine{nullptr};
  QVector<int> progress;
  int finished = 0;

  RunFixture() {
    for (int t = 0; t < kFeatureTypeCount; ++t) {
      engine.featureEnabled[t] = (t == FeatureSymmetryPlanes || t == FeatureSymmetryAxes);
      engine.featureWeight[t] = 1.0f;
      engine.featureRadius[t] = 0.1f;
    }
    engine.bins.setBinSelectThreshold(1.0f);
    QObject::connect(&engine, &Sorvex::percentComplete, [this](int p) { progress.append(p); });
    QObject::connect(&engine, &Sorvex::algoFinished, [this]() { ++finished; });
  }

  void setMesh(const QVector<Vec3>& v, const RenderFaces& f, const QVector<int>& seg) {
    engine.renderMesh->setGeometry(v, f);
    engine.renderMesh->flipFaceNormals();
    engine.faceSegment = seg;
    QSet<int> ids;
    for (int s : seg) ids.insert(s);
    engine.segmentCount = ids.size();
  }

  void singleBox() {
    QVector<Vec3> v;
    RenderFaces f;
    QVector<int> seg;
    addBox(v, f, seg, Vec3(-0.4f, -0.2f, -0.3f), Vec3(0.4f, 0.2f, 0.3f), 0);
    setMesh(v, f, seg);
  }

  void addSymmetryPlane(const Vec3& n, float d) {
    CutPlane p;
    p.normal = n.normalized();
    p.d = d;
    normalizePlane(p);
    engine.symmetryPlanes.append(p);
  }
};

float angleDeg(const Vec3& a, const Vec3& b) {
  return std::acos(std::min(1.0f, std::fabs(a.normalized().dot(b.normalized())))) * 180.0f / float(M_PI);
}

}  // namespace

TEST(SelectionRun, BoxWithSymmetryFileGivesItsSymmetryPlanes) {
  RunFixture fx;
  fx.singleBox();
  fx.addSymmetryPlane(Vec3(1, 0, 0), 0);
  fx.addSymmetryPlane(Vec3(0, 1, 0), 0);
  fx.addSymmetryPlane(Vec3(0, 0, 1), 0);
  fx.engine.runSelection();

  ASSERT_EQ(fx.engine.planes.size(), 3);
  ASSERT_EQ(fx.engine.selectedBins.size(), 3);
  // Each symmetry plane is found once; the local search may tilt a plane by
  // less than a degree towards a larger cut.
  const Vec3 axes[3] = {Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1)};
  const float areas[3] = {0.4f * 0.6f, 0.8f * 0.6f, 0.8f * 0.4f};
  for (int a = 0; a < 3; ++a) {
    int found = 0;
    for (const SectionPlane& p : fx.engine.planes) {
      if (angleDeg(p.normal, axes[a]) < 1.5f) {
        ++found;
        EXPECT_LT(std::fabs(p.d), 0.02f);
        EXPECT_NEAR(p.area, areas[a], 0.05f * areas[a]);
        EXPECT_FALSE(p.triangles.isEmpty());
      }
    }
    EXPECT_EQ(found, 1) << "axis " << a;
  }
  EXPECT_EQ(fx.engine.currentPlane, Sorvex::kNoPlane);
  EXPECT_EQ(fx.finished, 1);
  ASSERT_FALSE(fx.progress.isEmpty());
  EXPECT_EQ(fx.progress.last(), 1000);
  EXPECT_EQ(fx.progress.mid(0, 5), (QVector<int>{50, 100, 150, 200, 250}));
}

TEST(SelectionRun, ThresholdAndItsSlack) {
  // Above every total: nothing is accepted, but the run still ends properly.
  {
    RunFixture fx;
    fx.singleBox();
    fx.addSymmetryPlane(Vec3(1, 0, 0), 0);
    fx.engine.bins.setBinSelectThreshold(3.0f);
    fx.engine.addPlane(SectionPlane());  // the run starts by clearing the list
    fx.engine.runSelection();
    EXPECT_TRUE(fx.engine.planes.isEmpty());
    EXPECT_EQ(fx.finished, 1);
    EXPECT_EQ(fx.progress.last(), 1000);
  }
  // A total exactly 0.00001 below the threshold is accepted, a little less is not.
  for (float weight : {1.0f - 0.00001f, 1.0f - 0.00003f}) {
    RunFixture fx;
    fx.singleBox();
    fx.addSymmetryPlane(Vec3(1, 0, 0), 0);
    fx.engine.featureWeight[FeatureSymmetryPlanes] = weight;
    fx.engine.runSelection();
    EXPECT_EQ(fx.engine.planes.size(), weight == 1.0f - 0.00001f ? 1 : 0) << weight;
  }
}

TEST(SelectionRun, ProgressStopsAt990AfterTheTenthPlane) {
  RunFixture fx;
  fx.singleBox();
  fx.engine.bins.setBinSelectThreshold(0.5f);
  // Twelve planes through the origin, 15 degrees apart: none shares a bin reach.
  for (int a = 0; a < 12; ++a) {
    const float t = a * 15.0f * float(M_PI) / 180.0f;
    fx.addSymmetryPlane(Vec3(std::cos(t), std::sin(t), 0), 0);
  }
  fx.engine.runSelection();
  ASSERT_EQ(fx.engine.planes.size(), 12);
  QVector<int> after;
  for (int p : fx.progress)
    if (p > 750) after.append(p);
  QVector<int> expected;
  for (int n = 1; n <= 12; ++n) expected.append(std::min(750 + 25 * n, 990));
  expected.append(1000);
  EXPECT_EQ(after, expected);
}

TEST(SelectionRun, CoverAllSegmentsThrowsAwayAndAcceptsBelowThreshold) {
  RunFixture fx;
  QVector<Vec3> v;
  RenderFaces f;
  QVector<int> seg;
  addBox(v, f, seg, Vec3(0.2f, -0.2f, -0.2f), Vec3(0.6f, 0.2f, 0.2f), 0);
  addBox(v, f, seg, Vec3(-0.6f, -0.2f, -0.2f), Vec3(-0.2f, 0.2f, 0.2f), 1);
  fx.setMesh(v, f, seg);
  fx.engine.featureRadius[FeatureSymmetryPlanes] = 0.02f;
  fx.engine.bins.setBinSelectThreshold(0.9f);
  fx.engine.setCoverAllSegments(true);
  fx.addSymmetryPlane(Vec3(1, 0, 0), 0.4f);     // on a bin: total 1, accepted, cuts segment 0
  fx.addSymmetryPlane(Vec3(1, 0, 0), 0.455f);   // best bin 0.75: cuts segment 0 only, thrown away
  fx.addSymmetryPlane(Vec3(-1, 0, 0), 0.405f);  // best bin 0.75: cuts segment 1, accepted anyway
  fx.engine.runSelection();

  ASSERT_EQ(fx.engine.planes.size(), 2);
  EXPECT_LT(angleDeg(fx.engine.planes[0].normal, Vec3(1, 0, 0)), 1.5f);
  EXPECT_NEAR(fx.engine.planes[0].d, 0.4f, 0.01f);
  EXPECT_LT(fx.engine.planes[1].normal.x, -0.99f);
  // Parallel cuts of a box have equal area, so the local search may slide the
  // plane; it must still cut the second box only.
  EXPECT_GT(fx.engine.planes[1].d, 0.2f);
  EXPECT_LT(fx.engine.planes[1].d, 0.6f);

  // Without the option the run stops at the first bin under the threshold.
  RunFixture plain;
  plain.setMesh(v, f, seg);
  plain.engine.featureRadius[FeatureSymmetryPlanes] = 0.02f;
  plain.engine.bins.setBinSelectThreshold(0.9f);
  plain.engine.symmetryPlanes = fx.engine.symmetryPlanes;
  plain.engine.runSelection();
  EXPECT_EQ(plain.engine.planes.size(), 1);
}

TEST(SelectionRun, EmptyFeatureListEndsAtOnce) {
  RunFixture fx;
  fx.singleBox();
  fx.engine.runSelection();
  EXPECT_TRUE(fx.engine.planes.isEmpty());
  EXPECT_TRUE(fx.engine.features.isEmpty());
  EXPECT_EQ(fx.finished, 1);
}

TEST(SelectionRun, CoveredSegmentsIgnoresFacesOutsideTheSegmentation) {
  Sorvex engine(nullptr);
  engine.faceSegment = {4, 7};
  SectionPlane p;
  SectionSegment s;
  s.face = 1;
  p.segments.append(s);
  s.face = 99;  // a bridge or stale face index
  p.segments.append(s);
  s.face = -1;
  p.segments.append(s);
  QSet<int> covered;
  engine.coveredSegments(p, covered);
  EXPECT_EQ(covered, (QSet<int>{7}));
}

TEST(SelectionRun, PlaneCountRuleAndSectionsThatEncloseNothing) {
  // Three symmetry planes of the box and one beside it, strongest of all:
  // its section is empty, so neither rule ever accepts it.
  auto setUp = [](RunFixture& fx) {
    fx.singleBox();
    fx.addSymmetryPlane(Vec3(1, 0, 0), 0);
    fx.addSymmetryPlane(Vec3(0, 1, 0), 0);
    fx.addSymmetryPlane(Vec3(0, 0, 1), 0);
    fx.addSymmetryPlane(Vec3(0, 1, 1), 0.9f);
  };
  const auto allEnclose = [](const Sorvex& e) {
    for (const SectionPlane& p : e.planes)
      if (!(p.area > 0.0f) || p.triangles.isEmpty()) return false;
    return true;
  };
  {
    RunFixture fx;
    setUp(fx);
    fx.engine.runSelection();
    EXPECT_EQ(fx.engine.planes.size(), 3);
    EXPECT_TRUE(allEnclose(fx.engine));
    EXPECT_EQ(fx.engine.runStopRule, QStringLiteral("below threshold"));
  }
  // A count below what the votes offer stops at the count, whatever the
  // threshold; one above it is made up from principal and axis planes.
  for (int count : {2, 8}) {
    RunFixture fx;
    setUp(fx);
    fx.engine.bins.setBinSelectThreshold(3.0f);
    fx.engine.setTargetPlaneCount(count);
    fx.engine.runSelection();
    EXPECT_TRUE(allEnclose(fx.engine)) << count;
    if (count == 2) {
      EXPECT_EQ(fx.engine.planes.size(), 2);
      EXPECT_EQ(fx.engine.runStopRule, QStringLiteral("plane count reached"));
    } else {
      EXPECT_EQ(fx.engine.planes.size(), count);
      EXPECT_EQ(fx.engine.runStopRule, QStringLiteral("plane count reached"));
      EXPECT_GT(measureCoverage(*fx.engine.renderMesh, fx.engine.planes).at03,
                principalPlanesBaseline(fx.engine).figures.at03);
    }
    EXPECT_EQ(fx.finished, 1);
  }
}

TEST(SelectionRun, WithoutCompanionFilesTheRunReachesThreePlanesAndThePrincipalCoverage) {
  // One symmetry plane votes: by threshold the run takes it alone. When the
  // symmetry was computed rather than read, the run goes on by count to three
  // planes and covers at least what the three principal planes cover.
  for (const CompanionSource source : {CompanionSource::File, CompanionSource::Computed}) {
    RunFixture fx;
    fx.singleBox();
    fx.addSymmetryPlane(Vec3(0, 0, 1), 0);
    fx.engine.companions.symmetry = source;
    fx.engine.runSelection();
    const double at03 = measureCoverage(*fx.engine.renderMesh, fx.engine.planes).at03;
    if (source == CompanionSource::File) {
      EXPECT_EQ(fx.engine.planes.size(), 1);
      EXPECT_LT(at03, principalPlanesBaseline(fx.engine).figures.at03);
    } else {
      EXPECT_GE(fx.engine.planes.size(), 3);
      EXPECT_GE(at03, principalPlanesBaseline(fx.engine).figures.at03);
    }
    EXPECT_EQ(fx.finished, 1);
  }
  // Three planes 12.6 degrees apart vote: the count of three takes them, and
  // their slabs cover less than the principal planes', so the run goes on
  // past the count.
  RunFixture fx;
  fx.singleBox();
  for (float tilt : {0.0f, 0.22f, -0.22f}) fx.addSymmetryPlane(Vec3(0, std::sin(tilt), std::cos(tilt)), 0.0f);
  fx.engine.companions.symmetry = CompanionSource::Computed;
  fx.engine.runSelection();
  EXPECT_GT(fx.engine.planes.size(), 3);
  EXPECT_GE(measureCoverage(*fx.engine.renderMesh, fx.engine.planes).at03,
            principalPlanesBaseline(fx.engine).figures.at03);
}

TEST(SelectionRun, PlaneCountIsReachedOnAPlateThatOneSlabCoversWhole) {
  // A plate thinner than the near coverage distance: its mid plane covers
  // every sample within it, so no further plane adds coverage there. The
  // count is made up all the same, each plane adding samples within a finer
  // distance, and the planes of a smaller count come first in a larger one.
  QList<SectionPlane> previous;
  double previousFine = -1.0;
  for (int count : {3, 5, 8}) {
    RunFixture fx;
    QVector<Vec3> v;
    RenderFaces f;
    QVector<int> seg;
    addBox(v, f, seg, Vec3(-0.4f, -0.4f, -0.006f), Vec3(0.4f, 0.4f, 0.006f), 0);
    fx.setMesh(v, f, seg);
    fx.addSymmetryPlane(Vec3(0, 0, 1), 0);
    fx.engine.setTargetPlaneCount(count);
    fx.engine.runSelection();
    ASSERT_EQ(fx.engine.planes.size(), count);
    EXPECT_EQ(fx.engine.runStopRule, QStringLiteral("plane count reached"));
    const RenderMesh& mesh = *fx.engine.renderMesh;
    double near = 0.0, far = 0.0;
    coverageDistances(mesh, near, far);
    ASSERT_GT(near, 0.012);  // thicker than the plate
    const QVector<Vec3> samples = sampleSurface(mesh, kCoverageSamples, kCoverageSeed);
    const CoverageFigures all = coverageOfSamples(samples, fx.engine.planes, near, far);
    EXPECT_EQ(all.at03, 1.0);
    // Every plane has a slab and adds samples within a sixteenth of the
    // near distance that the planes before it do not reach.
    const double fine = near / 16.0;
    for (int p = 0; p < count; ++p) {
      EXPECT_FALSE(fx.engine.planes[p].triangles.isEmpty()) << count << " " << p;
      const double before = coverageOfSamples(samples, fx.engine.planes.mid(0, p), fine, fine).at03;
      const double with = coverageOfSamples(samples, fx.engine.planes.mid(0, p + 1), fine, fine).at03;
      EXPECT_GT(with, before) << count << " " << p;
    }
    const double atFine = coverageOfSamples(samples, fx.engine.planes, fine, fine).at03;
    EXPECT_GT(atFine, previousFine) << count;
    previousFine = atFine;
    for (int p = 0; p < previous.size(); ++p) {
      EXPECT_EQ(fx.engine.planes[p].normal, previous[p].normal) << count << " " << p;
      EXPECT_EQ(fx.engine.planes[p].d, previous[p].d) << count << " " << p;
    }
    previous = fx.engine.planes;
    EXPECT_EQ(fx.finished, 1);
  }
}
