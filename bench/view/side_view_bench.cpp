// The bin-space side view after a run on the bundled chair: the time and the
// memory it takes to show the bins, and the time of a repaint. Needs a
// display (run under xvfb-run -s -noreset like the GUI tests).

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "engine/sorvex.h"
#include "trimesh/trimesh.h"
#include "view/side_glwidget.h"

namespace {

double residentMiB() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

Sorvex& chairAfterRun() {
  static Sorvex* engine = [] {
    TriMesh::set_verbose(0);
    auto* e = new Sorvex(nullptr);
    float w[kFeatureTypeCount], r[kFeatureTypeCount];
    for (int t = 0; t < kFeatureTypeCount; ++t) w[t] = float(kStartFeatureWeights[t]), r[t] = 0.1f;
    e->setFeatureWeights(w);
    e->setFeatureRadii(r);
    e->setCurvatureSmooth(0.01);
    e->loadModel(KORVANE_SOURCE_DIR "/objs/105.off", "chair", nullptr, false);
    e->runSelection();
    return e;
  }();
  return *engine;
}

double cpuMs() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

// Ticking "Draw Bin Space" after the run: until the first frame is on screen.
void BM_SideViewShowAfterRun(benchmark::State& state) {
  Sorvex& engine = chairAfterRun();
  double geometryMiB = 0.0;
  int faceCubes = 0, pointCubes = 0;
  double showMs = 0.0, grewMiB = 0.0, repaintMs = 0.0, showCpuMs = 0.0, repaintCpuMs = 0.0;
  for (auto _ : state) {
    SideGLWidget side(&engine);
    side.resize(800, 600);
    side.show();
    QElapsedTimer wait;
    wait.start();
    while ((!side.windowHandle() || !side.windowHandle()->isExposed() || !side.isValid()) && wait.elapsed() < 10000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // Measure from a drawing without the bins: the toggle rebuilds them.
    const double before = residentMiB();
    QElapsedTimer clock;
    clock.start();
    double cpu0 = cpuMs();
    side.setBinSpaceShown(true);
    side.updateGL();
    glFinish();
    showMs = clock.nsecsElapsed() / 1e6;
    grewMiB = residentMiB() - before;
    showCpuMs = cpuMs() - cpu0;
    geometryMiB = double(side.binGeometryBytes()) / (1024.0 * 1024.0);
    clock.restart();
    cpu0 = cpuMs();
    const int frames = 20;
    for (int i = 0; i < frames; ++i) {
      side.updateGL();
      glFinish();
    }
    repaintMs = clock.nsecsElapsed() / 1e6 / frames;
    repaintCpuMs = (cpuMs() - cpu0) / frames;
    faceCubes = side.lastFrameCounts().faceCubes;
    pointCubes = side.lastFrameCounts().pointCubes;
    side.setBinSpaceShown(false);
  }
  state.counters["show_ms"] = showMs;
  state.counters["grew_MiB"] = grewMiB;
  state.counters["repaint_ms"] = repaintMs;
  state.counters["show_cpu_ms"] = showCpuMs;
  state.counters["repaint_cpu_ms"] = repaintCpuMs;
  state.counters["geometry_MiB"] = geometryMiB;
  state.counters["face_cubes"] = faceCubes;
  state.counters["point_cubes"] = pointCubes;
  state.counters["voted_bins"] = engine.bins.nonEmptyBins().size();
}
BENCHMARK(BM_SideViewShowAfterRun)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
