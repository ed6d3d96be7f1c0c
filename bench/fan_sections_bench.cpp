// Sections through a non-manifold fan: n triangles that all share one edge
// (apexes on a wavy circle of radius 0.5 around it), cut by planes that cross
// the shared edge, so that all n crossings meet at one place.
//
// BM_FanSectionContours: crossing segments and contours (what every candidate
// of a local search costs). BM_FanSectionWithSlab: the whole updateSection,
// slab included. BM_DenseFanSectionContours: contours of fans whose apexes
// stay on the circle of radius 0.5 however many there are, so that from 4k
// on thousands of outer ends lie within the joining distance of each other.
// All for fans of 1k, 4k and 16k triangles (dense: also 64k); the fitted
// complexity line shows how the time per cut grows with the fan's degree.
// Manual time = thread CPU time of the cuts alone, per cut; the counters are
// per cut too.

#include <benchmark/benchmark.h>

#include <time.h>

#include <QtGlobal>
#include <cmath>
#include <map>
#include <memory>
#include <utility>

#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

void quietLog(QtMsgType, const QMessageLogContext&, const QString&) {}

double threadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// The fan of the batch tool's timeout test (1,000 triangles round the edge
// from (0, 0, -0.5) to (0, 0, 0.5), apex k at angle 2 pi k / n on a wavy
// circle of radius 0.5) with n triangles, scaled by n / 1000 so that
// neighbouring apexes stay as far apart: the crossings' outer ends are then
// never joined by distance, and every section has about n / 2 contours.
// Dense: not scaled. Face normals as after loading.
RenderMesh fanMesh(int n, bool dense) {
  const double scale = dense ? 1.0 : n / 1000.0;
  QVector<Vec3> v;
  RenderFaces f;
  v << Vec3(0, 0, float(-0.5 * scale)) << Vec3(0, 0, float(0.5 * scale));
  for (int k = 0; k < n; ++k) {
    const double t = 2 * M_PI * k / n;
    v << Vec3(float(0.5 * scale * std::cos(t)), float(0.5 * scale * std::sin(t)),
              float(0.05 * scale * std::sin(7 * t)));
    f << RenderFace{0, 1, k + 2};
  }
  RenderMesh mesh;
  mesh.setGeometry(v, f);
  mesh.flipFaceNormals();
  return mesh;
}

// Eight planes through points of the shared edge, tilted either way (the
// crossings then all run into the shared edge or all away from it), for the
// fan of that many triangles.
QList<SectionPlane> fanPlanes(int triangles, bool dense) {
  const float scale = dense ? 1.0f : float(triangles) / 1000.0f;
  QList<SectionPlane> planes;
  for (int k = 0; k < 8; ++k) {
    const float a = 0.7f * float(k);
    const Vec3 n = Vec3(0.4f * std::cos(a), 0.4f * std::sin(a), k % 2 ? 1.0f : -1.0f).normalized();
    SectionPlane p;
    p.normal = n;
    p.point = Vec3(0, 0, 0.05f * float(k - 4) * scale);
    p.d = n.dot(p.point);
    planeAxesFromNormal(p.normal, p.r1, p.r2);
    planes << p;
  }
  return planes;
}

Sorvex& fanEngine(int n, bool dense) {
  static std::map<std::pair<int, bool>, std::unique_ptr<Sorvex>> engines;  // kept to the end, as in the application
  std::unique_ptr<Sorvex>& slot = engines[{n, dense}];
  if (!slot) {
    slot.reset(new Sorvex(nullptr));
    *slot->renderMesh = fanMesh(n, dense);
  }
  return *slot;
}

// One iteration cuts the fan by all eight planes; the time reported is the
// mean per cut.
template <bool kSlab, bool kDense = false>
void fanSection(benchmark::State& state) {
  qInstallMessageHandler(quietLog);
  const int n = int(state.range(0));
  Sorvex& engine = fanEngine(n, kDense);
  const QList<SectionPlane> planes = fanPlanes(n, kDense);
  double area = 0.0, contours = 0.0, triangles = 0.0;
  for (auto _ : state) {
    double seconds = 0.0;
    for (const SectionPlane& p : planes) {
      SectionPlane plane = p;
      const double t0 = threadSeconds();
      if (kSlab) {
        engine.updateSection(plane);
      } else {
        engine.computeSegments(plane);
        engine.chainContours(plane);
      }
      seconds += threadSeconds() - t0;
      area += plane.area;
      contours += plane.contours.size();
      triangles += plane.triangles.size();
    }
    state.SetIterationTime(seconds / planes.size());
  }
  benchmark::DoNotOptimize(area);
  state.SetComplexityN(n);
  const double cuts = double(state.iterations()) * planes.size();
  state.counters["contours"] = contours / cuts;
  if (kSlab) state.counters["slabTriangles"] = triangles / cuts;
  qInstallMessageHandler(nullptr);
}

void BM_FanSectionContours(benchmark::State& state) { fanSection<false>(state); }
void BM_FanSectionWithSlab(benchmark::State& state) { fanSection<true>(state); }
void BM_DenseFanSectionContours(benchmark::State& state) { fanSection<false, true>(state); }

void fanSizes(benchmark::internal::Benchmark* b) {
  for (int n : {1000, 4000, 16000}) b->Arg(n);
  b->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5)->Complexity();
}

void denseFanSizes(benchmark::internal::Benchmark* b) {
  for (int n : {1000, 4000, 16000, 64000}) b->Arg(n);
  b->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5)->Complexity();
}

}  // namespace

BENCHMARK(BM_FanSectionContours)->Apply(fanSizes);
BENCHMARK(BM_FanSectionWithSlab)->Apply(fanSizes);
BENCHMARK(BM_DenseFanSectionContours)->Apply(denseFanSizes);
