// Responsiveness on large models: loading finer versions of a bundled model,
// the longest event-loop gap while a run proceeds with a repaint every 10 ms,
// and ridge splitting on long straight chains.

#include <benchmark/benchmark.h>

#include <atomic>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <mutex>

#include "engine/ridge_features.h"
#include "engine/sorvex.h"
#include "large_models.h"
#include "model/model_loader.h"
#include "model/render_mesh.h"
#include "trimesh/trimesh.h"

namespace {

QCoreApplication& app() {
  static int argc = 1;
  static char name[] = "bench";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* a = new QCoreApplication(argc, argv);
  return *a;
}

// Longest gap between the ticks of a 10 ms timer whose slot does what a
// repaint of the main view does with the engine: take the state lock and
// read the plane list. Runs the event loop until `done` fires.
template <class Start>
double longestGapMs(Sorvex& engine, const QObject* sender, const char* doneSignal, Start start) {
  QEventLoop loop;
  QObject::connect(sender, doneSignal, &loop, SLOT(quit()), Qt::QueuedConnection);
  QElapsedTimer clock;
  qint64 last = 0, worst = 0;
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    worst = std::max(worst, now - last);
    last = now;
    std::lock_guard<StateLock> lock(engine.stateMutex);
    float total = 0.0f;
    for (const SectionPlane& p : engine.planes) total += p.area;
    benchmark::DoNotOptimize(total);
  });
  clock.start();
  timer.start();
  start();
  loop.exec();
  const qint64 now = clock.nsecsElapsed();
  worst = std::max(worst, now - last);
  return worst / 1e6;
}

QList<SectionSegment> straightChain(int n) {
  QList<SectionSegment> chain;
  for (int k = 0; k < n; ++k) {
    SectionSegment s;
    s.start = Vec3(0.001f * k, 0.0005f * k, 0.0f);
    s.end = Vec3(0.001f * (k + 1), 0.0005f * (k + 1), 0.0f);
    chain.append(s);
  }
  return chain;
}


// Loads `path` at smoothing 0.01 with every feature weight 1 and radius 0.1,
// as the run benches here use the engine.
bool loadForRuns(Sorvex& engine, const char* path) {
  engine.setCurvatureSmooth(0.01);
  float w[kFeatureTypeCount], r[kFeatureTypeCount];
  for (int t = 0; t < kFeatureTypeCount; ++t) w[t] = 1.0f, r[t] = 0.1f;
  engine.setFeatureWeights(w);
  engine.setFeatureRadii(r);
  return engine.loadModel(path, "m", nullptr, false);
}

// Milliseconds from a stop request to the end of the run.
double stopAndWait(Sorvex& engine) {
  QElapsedTimer clock;
  clock.start();
  engine.requestStop();
  engine.wait();
  return clock.nsecsElapsed() / 1e6;
}
}  // namespace

void BM_SplitPolylineStraight(benchmark::State& state) {
  const QList<SectionSegment> chain = straightChain(int(state.range(0)));
  for (auto _ : state) {
    QList<Axis> axes;
    QList<QList<SectionSegment>> pieces;
    splitPolyline(chain, 0.001f, axes, pieces);
    benchmark::DoNotOptimize(axes);
  }
}
BENCHMARK(BM_SplitPolylineStraight)->Arg(100)->Arg(200)->Arg(400)->Arg(800)->Unit(benchmark::kMillisecond);

// Bundled model 66 (9,032 faces) subdivided twice (144,512 faces) or three
// times (578,048 faces), at the control panel's smoothing of 0.01.
void BM_LoadSubdivided(benchmark::State& state) {
  TriMesh::set_verbose(0);
  const QByteArray path = largemodels::subdividedModel("66", int(state.range(0)));
  if (path.isEmpty()) return state.SkipWithError("bundled model 66 missing");
  Sorvex engine(nullptr);
  engine.setCurvatureSmooth(0.01);
  for (auto _ : state)
    if (!engine.loadModel(path.constData(), "m", nullptr, false)) state.SkipWithError("load failed");
  state.counters["faces"] = engine.renderMesh->faces().size();
}
BENCHMARK(BM_LoadSubdivided)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();

// A whole run with "Cover all segments" on the 144,512-face model while a
// 10 ms timer repaints; counter gap_ms is the longest event-loop gap.
void BM_RunEventLoopGap(benchmark::State& state) {
  TriMesh::set_verbose(0);
  app();
  const QByteArray path = largemodels::subdividedModel("66", int(state.range(0)));
  if (path.isEmpty()) return state.SkipWithError("bundled model 66 missing");
  Sorvex engine(nullptr);
  if (!loadForRuns(engine, path.constData())) return state.SkipWithError("load failed");
  double gap = 0.0;
  for (auto _ : state) {
    engine.setCoverAllSegments(true);
    gap = longestGapMs(engine, &engine, SIGNAL(finished()), [&] { engine.start(); });
    engine.wait();
  }
  state.counters["gap_ms"] = gap;
  state.counters["planes"] = engine.planes.size();
}
BENCHMARK(BM_RunEventLoopGap)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same loads through the window's loader (worker thread, install in one
// step): wall time until installed, and the longest event-loop gap meanwhile.
void BM_LoaderEventLoopGap(benchmark::State& state) {
  TriMesh::set_verbose(0);
  app();
  const QByteArray path = largemodels::subdividedModel("66", int(state.range(0)));
  if (path.isEmpty()) return state.SkipWithError("bundled model 66 missing");
  Sorvex engine(nullptr);
  engine.setCurvatureSmooth(0.01);
  ModelLoader loader(&engine);
  double gap = 0.0;
  bool loaded = false;
  QObject::connect(&loader, &ModelLoader::finished, [&](bool ok, bool) { loaded = ok; });
  for (auto _ : state)
    gap = longestGapMs(engine, &loader, SIGNAL(finished(bool, bool)),
                       [&] { loader.start(QString::fromLocal8Bit(path), QStringLiteral("m"), QString(), false); });
  if (!loaded) state.SkipWithError("load failed");
  state.counters["gap_ms"] = gap;
  state.counters["faces"] = engine.renderMesh->faces().size();
}
BENCHMARK(BM_LoaderEventLoopGap)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();

// The same probe with nothing else to do, for comparison on a busy machine.
void BM_IdleEventLoopGap(benchmark::State& state) {
  app();
  Sorvex engine(nullptr);
  QTimer end;
  end.setSingleShot(true);
  double gap = 0.0;
  for (auto _ : state) gap = longestGapMs(engine, &end, SIGNAL(timeout()), [&] { end.start(int(state.range(0))); });
  state.counters["gap_ms"] = gap;
}
BENCHMARK(BM_IdleEventLoopGap)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);


// Time from a stop request to the end of the run, asked as soon as the
// first plane is accepted (inside the next local search).
void BM_StopLatency(benchmark::State& state) {
  TriMesh::set_verbose(0);
  const QByteArray path = largemodels::subdividedModel("66", int(state.range(0)));
  if (path.isEmpty()) return state.SkipWithError("bundled model 66 missing");
  Sorvex engine(nullptr);
  engine.setCoverAllSegments(true);
  if (!loadForRuns(engine, path.constData())) return state.SkipWithError("load failed");
  double latency = 0.0;
  for (auto _ : state) {
    engine.startRun();
    for (;;) {
      {
        std::lock_guard<StateLock> lock(engine.stateMutex);
        if (!engine.planes.isEmpty()) break;
      }
      if (!engine.isRunning()) break;
      QThread::msleep(1);
    }
    latency = stopAndWait(engine);
  }
  state.counters["stop_ms"] = latency;
  state.counters["planes_kept"] = engine.planes.size();
}
BENCHMARK(BM_StopLatency)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

// A stop while one segment per face votes (thousands of features): the time
// until the run has ended.
void BM_StopDuringVoting(benchmark::State& state) {
  TriMesh::set_verbose(0);
  Sorvex engine(nullptr);
  engine.setCurvatureSmooth(0.01);
  if (!engine.loadModel(KORVANE_SOURCE_DIR "/objs/105.off", "chair", nullptr, false))
    return state.SkipWithError("load failed");
  engine.segmentCount = engine.renderMesh->faces().size();
  engine.faceSegment.resize(engine.segmentCount);
  for (int f = 0; f < engine.segmentCount; ++f) engine.faceSegment[f] = f;
  std::atomic<int> percent{0};
  QObject::connect(&engine, &Sorvex::percentComplete, [&](int p) { percent = p; });
  double latency = 0.0;
  for (auto _ : state) {
    percent = 0;
    engine.startRun();
    while (percent < 300 && engine.isRunning()) QThread::msleep(1);
    latency = stopAndWait(engine);
  }
  state.counters["stop_ms"] = latency;
  state.counters["features"] = engine.features.size();
}
BENCHMARK(BM_StopDuringVoting)->Unit(benchmark::kMillisecond)->Iterations(1);
