#include "batch/quality_report.h"

#include <QJsonArray>
#include <mutex>

#include "engine/coverage.h"
#include "engine/coverage_baselines.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

QJsonObject baselineJson(const CoverageBaseline& baseline) {
  QJsonArray planes;
  for (int p = 0; p < baseline.planes.size(); ++p) {
    const SectionPlane& plane = baseline.planes[p];
    planes.append(QJsonObject{
        {QStringLiteral("normal"), QJsonArray{double(plane.normal.x), double(plane.normal.y), double(plane.normal.z)}},
        {QStringLiteral("offset"), double(plane.d)},
        {QStringLiteral("coverage03"), baseline.figures.perPlane03.value(p)},
        {QStringLiteral("coverage06"), baseline.figures.perPlane06.value(p)}});
  }
  return QJsonObject{{QStringLiteral("planeCount"), int(baseline.planes.size())},
                     {QStringLiteral("coverage03"), baseline.figures.at03},
                     {QStringLiteral("coverage06"), baseline.figures.at06},
                     {QStringLiteral("planes"), planes}};
}

QString pair(const QJsonObject& o) {
  return QStringLiteral("%1/%2")
      .arg(o.value(QStringLiteral("coverage03")).toDouble(), 0, 'f', 3)
      .arg(o.value(QStringLiteral("coverage06")).toDouble(), 0, 'f', 3);
}

}  // namespace

QJsonObject qualityReport(Sorvex& engine) {
  QList<SectionPlane> planes;
  RenderMesh mesh;
  {
    std::lock_guard<StateLock> lock(engine.stateMutex);
    planes = engine.planes;
    if (engine.renderMesh) mesh = *engine.renderMesh;
  }
  const CoverageFigures run = measureCoverage(mesh, planes, kCoverageSamples, kCoverageSeed);
  QJsonArray perPlane;
  for (int p = 0; p < planes.size(); ++p)
    perPlane.append(QJsonObject{{QStringLiteral("index"), p},
                                {QStringLiteral("coverage03"), run.perPlane03.value(p)},
                                {QStringLiteral("coverage06"), run.perPlane06.value(p)}});
  QJsonObject greedy = baselineJson(greedyAxisBaseline(engine, planes.size(), kCoverageSamples, kCoverageSeed));
  greedy[QStringLiteral("requested")] = int(planes.size());
  return QJsonObject{{QStringLiteral("samples"), run.samples},
                     {QStringLiteral("seed"), int(kCoverageSeed)},
                     {QStringLiteral("distances"), QJsonArray{kCoverageNear, kCoverageFar}},
                     {QStringLiteral("radius"), double(mesh.radius())},
                     {QStringLiteral("absoluteDistances"), QJsonArray{run.distance03, run.distance06}},
                     {QStringLiteral("planes"), perPlane},
                     {QStringLiteral("total"), QJsonObject{{QStringLiteral("planeCount"), int(planes.size())},
                                                           {QStringLiteral("coverage03"), run.at03},
                                                           {QStringLiteral("coverage06"), run.at06}}},
                     {QStringLiteral("principalPlanes"),
                      baselineJson(principalPlanesBaseline(engine, kCoverageSamples, kCoverageSeed))},
                     {QStringLiteral("greedyAxisPlanes"), greedy}};
}

QString qualityLine(const QString& model, const QJsonObject& quality) {
  const QJsonObject total = quality.value(QStringLiteral("total")).toObject();
  const QJsonObject greedy = quality.value(QStringLiteral("greedyAxisPlanes")).toObject();
  // Concatenated rather than filled in with arg(), so that a model name
  // holding "%1" stays as it is.
  return model + QStringLiteral(": coverage ") + pair(total) + QStringLiteral(" with ") +
         QString::number(total.value(QStringLiteral("planeCount")).toInt()) + QStringLiteral(" planes; principal ") +
         pair(quality.value(QStringLiteral("principalPlanes")).toObject()) + QStringLiteral("; greedy ") +
         pair(greedy) + QStringLiteral(" with ") + QString::number(greedy.value(QStringLiteral("planeCount")).toInt());
}
