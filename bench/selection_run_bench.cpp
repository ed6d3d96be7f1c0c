// Whole plane-selection runs on bundled models with every feature kind on.
#include <benchmark/benchmark.h>

#include <QtGlobal>
#include <cstdio>

#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

void quietLog(QtMsgType, const QMessageLogContext&, const QString&) {}

void BM_SelectionRun(benchmark::State& state, const char* model, bool plain) {
  qInstallMessageHandler(quietLog);
  Sorvex engine(nullptr);
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    engine.featureWeight[t] = float(kStartFeatureWeights[t]);
    engine.featureRadius[t] = 0.1f;
    engine.featureEnabled[t] = true;
  }
  engine.curvatureSmooth = 0.01f;
  const QByteArray path = QByteArray(KORVANE_SOURCE_DIR "/objs/") + model + ".off";
  if (!engine.loadModel(path.constData(), model, nullptr, false)) {
    state.SkipWithError("bundled model missing (build korvane_models first)");
    qInstallMessageHandler(nullptr);
    return;
  }
  engine.plainVoting = plain;
  int planes = 0;
  for (auto _ : state) {
    engine.runSelection();
    planes = engine.planes.size();
  }
  // Votes cast by the last run's feature voting (the bins before any removal).
  engine.populateBins();
  double votes = 0;
  for (Bin* bin : engine.bins.nonEmptyBins()) votes += bin->votes.size();
  state.counters["faces"] = engine.renderMesh->faces().size();
  state.counters["features"] = engine.features.size();
  state.counters["votes"] = votes;
  state.counters["planes"] = planes;
  qInstallMessageHandler(nullptr);
}

}  // namespace

BENCHMARK_CAPTURE(BM_SelectionRun, chair_105, "105", false)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_SelectionRun, chair_105_plain, "105", true)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_SelectionRun, cup_21, "21", false)->Unit(benchmark::kMillisecond)->Iterations(3);
