// Section of a closed sphere-like mesh of about 200,000 faces cut through its
// middle: the contour step (duplicate removal plus chaining) on the grid path
// and on the plain quadratic scans (manual time = thread CPU time of the step
// alone), and the whole updateSection.

#include <benchmark/benchmark.h>

#include <time.h>

#include <cmath>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "sections/contour_chaining.h"
#include "sections/contours_reference.h"
#include "sections/section_segments.h"

namespace {

// UV sphere of radius about 1 with a deterministic bumpy surface;
// 2 * sectors * (rings - 1) faces.
RenderMesh bumpySphere(int rings, int sectors) {
  QVector<Vec3> v;
  QVector<QVector<int>> f;
  v << Vec3(0, 1, 0);
  for (int r = 1; r < rings; ++r) {
    const double phi = M_PI * r / rings;
    for (int s = 0; s < sectors; ++s) {
      const double theta = 2 * M_PI * s / sectors;
      const double bump = 1.0 + 0.03 * std::sin(7 * theta) * std::sin(5 * phi) + 0.01 * std::cos(23 * theta + 3 * phi);
      v << Vec3(float(bump * std::sin(phi) * std::cos(theta)), float(bump * std::cos(phi)),
                float(bump * std::sin(phi) * std::sin(theta)));
    }
  }
  v << Vec3(0, -1, 0);
  const int south = v.size() - 1;
  auto at = [&](int r, int s) { return 1 + (r - 1) * sectors + (s % sectors); };
  for (int s = 0; s < sectors; ++s) f << QVector<int>{0, at(1, s + 1), at(1, s)};
  for (int r = 1; r + 1 < rings; ++r)
    for (int s = 0; s < sectors; ++s) {
      f << QVector<int>{at(r, s), at(r, s + 1), at(r + 1, s + 1)};
      f << QVector<int>{at(r, s), at(r + 1, s + 1), at(r + 1, s)};
    }
  for (int s = 0; s < sectors; ++s) f << QVector<int>{south, at(rings - 1, s), at(rings - 1, s + 1)};
  RenderMesh mesh;
  mesh.setGeometry(v, f);
  mesh.flipFaceNormals();
  return mesh;
}

// CPU time of this thread, in seconds: steadier than wall time on a shared machine.
double threadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

struct Fixture {
  RenderMesh mesh = bumpySphere(200, 512);
  SectionPlane plane;
  QList<SectionSegment> rawSegments;  // crossings in face order, before duplicate removal

  Fixture() {
    plane.normal = Vec3(0.3f, 1.0f, 0.2f).normalized();
    planeAxesFromNormal(plane.normal, plane.r1, plane.r2);
    plane.point = Vec3(0.01f, 0.02f, -0.01f);
    plane.d = plane.normal.dot(plane.point);
    const QVector<Vec3>& vs = mesh.vertices();
    const QVector<QVector<int>>& fs = mesh.faces();
    for (int i = 0; i < fs.size(); ++i) {
      Vec3 a, b;
      if (!intersectTriangle(plane, vs[fs[i][0]], vs[fs[i][1]], vs[fs[i][2]], a, b)) continue;
      if (!((a - b).length() > minSegmentLength)) continue;
      SectionSegment s;
      s.start = a;
      s.end = b;
      s.normal = mesh.faceNormals()[i];
      s.face = i;
      rawSegments.append(s);
    }
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

template <bool kReference>
void contourStep(benchmark::State& state) {
  Fixture& fx = fixture();
  for (auto _ : state) {
    QList<SectionSegment> segments = fx.rawSegments;
    segments.detach();
    QList<SectionContour> contours;
    const double t0 = threadSeconds();
    if (kReference) {
      removeDuplicateSegmentsReference(segments);
      linkSegmentsReference(segments, contours);
    } else {
      removeDuplicateSegments(segments);
      linkSegments(segments, contours);
    }
    const double t1 = threadSeconds();
    benchmark::DoNotOptimize(contours.size());
    state.SetIterationTime(t1 - t0);
  }
  state.counters["segments"] = fx.rawSegments.size();
  state.counters["faces"] = fx.mesh.faces().size();
}

void BM_SectionContourStep_Grid(benchmark::State& state) { contourStep<false>(state); }
void BM_SectionContourStep_PlainScan(benchmark::State& state) { contourStep<true>(state); }

void BM_SectionUpdate(benchmark::State& state) {
  Fixture& fx = fixture();
  static Sorvex* engine = nullptr;  // never deleted, as in the application
  if (!engine) {
    engine = new Sorvex(nullptr);
    *engine->renderMesh = fx.mesh;
  }
  SectionPlane plane = fx.plane;
  for (auto _ : state) {
    engine->updateSection(plane);
    benchmark::DoNotOptimize(plane.triangles.size());
  }
  state.counters["segments"] = plane.segments.size();
  state.counters["contours"] = plane.contours.size();
  state.counters["triangles"] = plane.triangles.size();
}

}  // namespace

BENCHMARK(BM_SectionContourStep_Grid)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SectionContourStep_PlainScan)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SectionUpdate)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
