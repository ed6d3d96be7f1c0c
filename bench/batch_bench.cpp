// What the batch tool costs on top of the engine: the engine's own load and
// selection run, the same model as one batch job in this process (load, run,
// exports, summary), and the korvane-batch program run on it (a parent and a
// worker process around the jobs).
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtGlobal>
#include <sys/resource.h>

#include "batch/batch_options.h"
#include "batch/model_job.h"
#include "engine/sorvex.h"
#include "large_models.h"

namespace {

// CPU seconds (user and system) of this process and of its finished
// children: on a shared machine the wall time also counts other people's
// work, the CPU time of the job does not.
double cpuSeconds() {
  double total = 0.0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage u{};
    getrusage(who, &u);
    total += u.ru_utime.tv_sec + u.ru_stime.tv_sec + 1e-6 * (u.ru_utime.tv_usec + u.ru_stime.tv_usec);
  }
  return total;
}

void reportCpu(benchmark::State& state, double startCpu) {
  state.counters["cpu_ms"] = benchmark::Counter(1000.0 * (cpuSeconds() - startCpu), benchmark::Counter::kAvgIterations);
}

void quietLog(QtMsgType, const QMessageLogContext&, const QString&) {}

QString modelPath(const char* model) { return QStringLiteral(KORVANE_SOURCE_DIR "/objs/%1.off").arg(model); }

void BM_EngineLoadAndRun(benchmark::State& state, const char* model) {
  qInstallMessageHandler(quietLog);
  const QByteArray path = QFile::encodeName(modelPath(model));
  const BatchOptions defaults;
  const double cpu = cpuSeconds();
  for (auto _ : state) {
    Sorvex engine(nullptr);
    bool enabled[kFeatureTypeCount];
    float weights[kFeatureTypeCount], radii[kFeatureTypeCount];
    for (int t = 0; t < kFeatureTypeCount; ++t) {
      enabled[t] = true;
      weights[t] = float(kStartFeatureWeights[t]);
      radii[t] = 0.1f;
    }
    engine.setFeatureEnabled(enabled);
    engine.setFeatureWeights(weights);
    engine.setFeatureRadii(radii);
    engine.setCurvatureSmooth(defaults.curvatureSmooth);
    if (!engine.loadModel(path.constData(), path.constData(), nullptr, false)) {
      state.SkipWithError("bundled model missing (build korvane_models first)");
      break;
    }
    engine.runSelection();
    state.counters["planes"] = engine.planes.size();
  }
  reportCpu(state, cpu);
  qInstallMessageHandler(nullptr);
}

void BM_BatchJobInProcess(benchmark::State& state, const char* model) {
  QTemporaryDir out;
  BatchOptions options;
  options.outDir = out.path();
  options.force = true;
  const double cpu = cpuSeconds();
  for (auto _ : state) {
    const ModelJobResult r = runModelJob(modelPath(model), options);
    if (r.status != ModelJobResult::Done) {
      state.SkipWithError(r.reason.toLocal8Bit().constData());
      break;
    }
    state.counters["planes"] = r.planeCount;
  }
  reportCpu(state, cpu);
}

// The program under test: the one built beside this bench, or another
// build of it (to compare two versions on the same machine state).
QString batchProgram() {
  const QString other = qEnvironmentVariable("KORVANE_BATCH_BENCH_EXE");
  return other.isEmpty() ? QStringLiteral(KORVANE_BATCH_EXE) : other;
}

// The model and its companion files under `copies` names in `dir`, so that
// one batch runs the same model `copies` times.
QStringList copiesOf(const char* model, int copies, const QString& dir) {
  QStringList paths;
  const QString from = QStringLiteral(KORVANE_SOURCE_DIR "/objs/%1").arg(model);
  for (int c = 0; c < copies; ++c) {
    const QString to = QStringLiteral("%1/%2c%3").arg(dir).arg(model).arg(c);
    for (const char* suffix : {".off", ".sym", "_0.seg"})
      if (QFile::exists(from + QLatin1String(suffix)))
        QFile::copy(from + QLatin1String(suffix), to + QLatin1String(suffix));
    paths << to + QStringLiteral(".off");
  }
  return paths;
}

// What the program adds to the engine, per model. The program runs over the
// models with one job; its wall time is compared with the engine's own load
// and selection run of each model, as the summaries of the same run give them
// (stages "load", "features", "voting", "selection"), so the ratio holds even
// when other work slows the machine down. Everything else is added: process
// start-ups, the engine's construction, the exports (a model's exports
// overlap the next model's load), the debug log and the summary.
// exports_pct: the exports' own time, for comparison.
void measureProgram(benchmark::State& state, const QStringList& models) {
  const double cpu = cpuSeconds();
  double wall = 0.0, engine = 0.0, exports = 0.0;
  for (auto _ : state) {
    // A new output folder each time, as a batch over a collection writes.
    QTemporaryDir out;
    QElapsedTimer timer;
    timer.start();
    QProcess p;
    p.start(batchProgram(), QStringList{QStringLiteral("--quiet"), QStringLiteral("--out"), out.path()} + models);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
      state.SkipWithError("korvane-batch failed");
      break;
    }
    wall += timer.nsecsElapsed() * 1e-9;
    for (const QString& m : models) {
      QFile f(out.path() + QLatin1Char('/') + QFileInfo(m).completeBaseName() + QStringLiteral("/summary.json"));
      f.open(QIODevice::ReadOnly);
      const QJsonObject t = QJsonDocument::fromJson(f.readAll()).object()[QStringLiteral("timings")].toObject();
      for (const char* stage : {"load", "features", "voting", "selection"})
        engine += t[QLatin1String(stage)].toDouble();
      exports += t[QStringLiteral("export")].toDouble();
    }
  }
  reportCpu(state, cpu);
  if (engine > 0.0) {
    state.counters["engine_ms_per_model"] =
        benchmark::Counter(1000.0 * engine / models.size(), benchmark::Counter::kAvgIterations);
    state.counters["added_pct"] = 100.0 * (wall - engine) / engine;
    state.counters["exports_pct"] = 100.0 * exports / engine;
  }
}

void BM_BatchProgram(benchmark::State& state, const char* model) {
  QTemporaryDir in;
  measureProgram(state, copiesOf(model, int(state.range(0)), in.path()));
}

// One finer model (every triangle of table 145 into 16, 80k faces), where the
// fixed cost of the processes weighs less.
void BM_BatchProgramFiner(benchmark::State& state) {
  const QByteArray path = largemodels::subdividedModel("145", 2);
  if (path.isEmpty()) return state.SkipWithError("bundled model 145 missing");
  measureProgram(state, QStringList{QFile::decodeName(path)});
}

}  // namespace

BENCHMARK_CAPTURE(BM_EngineLoadAndRun, table_145, "145")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_BatchJobInProcess, table_145, "145")->Unit(benchmark::kMillisecond)->Iterations(5);
// One model a program run, and four models through one worker.
BENCHMARK_CAPTURE(BM_BatchProgram, table_145, "145")->Unit(benchmark::kMillisecond)->Arg(1)->Arg(4)->Iterations(3);
BENCHMARK_CAPTURE(BM_EngineLoadAndRun, cup_21, "21")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_BatchJobInProcess, cup_21, "21")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_BatchProgram, cup_21, "21")->Unit(benchmark::kMillisecond)->Arg(1)->Arg(4)->Iterations(3);
BENCHMARK(BM_BatchProgramFiner)->Unit(benchmark::kMillisecond)->Iterations(3);
