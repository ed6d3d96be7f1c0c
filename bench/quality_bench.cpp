// Coverage of slabs over the surface (engine/coverage.h).
//
// BM_MeasureCoverage: measureCoverage at 20,000 samples on the slabs of the
// three principal planes of model 66 subdivided 0 to 3 times (9k to 578k
// faces); the time is the measure alone (sampling, trees over the slabs,
// distances), the fitted line shows how it grows with the mesh.
// BM_BundledModelQuality: every bundled model through the batch tool's model
// job (default options, exports into a temporary folder), then the quality
// report of its planes; the time is the report alone (run coverage and both
// baselines with their 45 sections), the counters are the figures:
// run03/run06 for the run's planes, principal03/06 and greedy03/06 for the
// baselines, and the plane counts.

#include <benchmark/benchmark.h>

#include <QJsonObject>
#include <QTemporaryDir>
#include <QtGlobal>
#include <memory>

#include "batch/batch_options.h"
#include "batch/model_job.h"
#include "batch/quality_report.h"
#include "engine/coverage.h"
#include "engine/coverage_baselines.h"
#include "engine/sorvex.h"
#include "large_models.h"
#include "model/render_mesh.h"

namespace {

void quietLog(QtMsgType, const QMessageLogContext&, const QString&) {}

void BM_MeasureCoverage(benchmark::State& state) {
  qInstallMessageHandler(quietLog);
  const QByteArray path = largemodels::subdividedModel("66", int(state.range(0)));
  QVector<Vec3> vertices;
  RenderFaces faces;
  if (path.isEmpty() || !readOff(path.constData(), vertices, faces)) {
    state.SkipWithError("bundled model missing (build korvane_models first)");
    qInstallMessageHandler(nullptr);
    return;
  }
  Sorvex engine(nullptr);
  engine.renderMesh->setGeometry(vertices, faces);
  engine.renderMesh->flipFaceNormals();
  const QList<SectionPlane> planes = principalPlanesBaseline(engine).planes;
  int slabTriangles = 0;
  for (const SectionPlane& p : planes) slabTriangles += p.triangles.size();
  double covered = 0;
  for (auto _ : state) covered = measureCoverage(*engine.renderMesh, planes).at03;
  state.SetComplexityN(faces.size());
  state.counters["faces"] = faces.size();
  state.counters["slabTriangles"] = slabTriangles;
  state.counters["coverage03"] = covered;
  qInstallMessageHandler(nullptr);
}

void BM_BundledModelQuality(benchmark::State& state, const char* model) {
  const QString path = QStringLiteral(KORVANE_SOURCE_DIR "/objs/") + QLatin1String(model) + QStringLiteral(".off");
  QTemporaryDir out;
  BatchOptions options;
  options.outDir = out.path();
  options.force = true;
  std::unique_ptr<Sorvex> engine(new Sorvex(nullptr));
  const ModelJobResult job = runModelJob(path, options, nullptr, [&] { return engine.get(); });
  if (job.status != ModelJobResult::Done) {
    state.SkipWithError(("the model job failed: " + job.reason).toLocal8Bit().constData());
    return;
  }
  qInstallMessageHandler(quietLog);
  QJsonObject q;
  for (auto _ : state) q = qualityReport(*engine);
  const auto figure = [&](const char* key, const char* which) {
    return q.value(QLatin1String(key)).toObject().value(QLatin1String(which)).toDouble();
  };
  state.counters["planes"] = figure("total", "planeCount");
  state.counters["run03"] = figure("total", "coverage03");
  state.counters["run06"] = figure("total", "coverage06");
  state.counters["principal03"] = figure("principalPlanes", "coverage03");
  state.counters["principal06"] = figure("principalPlanes", "coverage06");
  state.counters["greedyPlanes"] = figure("greedyAxisPlanes", "planeCount");
  state.counters["greedy03"] = figure("greedyAxisPlanes", "coverage03");
  state.counters["greedy06"] = figure("greedyAxisPlanes", "coverage06");
  state.counters["runSeconds"] = job.seconds;
  qInstallMessageHandler(nullptr);
}

}  // namespace

BENCHMARK(BM_MeasureCoverage)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Complexity();

#define KORVANE_QUALITY_MODEL(name) \
  BENCHMARK_CAPTURE(BM_BundledModelQuality, model_##name, #name)->Unit(benchmark::kMillisecond)->Iterations(1)
KORVANE_QUALITY_MODEL(2);
KORVANE_QUALITY_MODEL(21);
KORVANE_QUALITY_MODEL(22);
KORVANE_QUALITY_MODEL(24);
KORVANE_QUALITY_MODEL(25);
KORVANE_QUALITY_MODEL(30);
KORVANE_QUALITY_MODEL(62);
KORVANE_QUALITY_MODEL(63);
KORVANE_QUALITY_MODEL(64);
KORVANE_QUALITY_MODEL(65);
KORVANE_QUALITY_MODEL(66);
KORVANE_QUALITY_MODEL(105);
KORVANE_QUALITY_MODEL(141);
KORVANE_QUALITY_MODEL(142);
KORVANE_QUALITY_MODEL(143);
KORVANE_QUALITY_MODEL(144);
KORVANE_QUALITY_MODEL(145);
KORVANE_QUALITY_MODEL(342);
KORVANE_QUALITY_MODEL(385);
