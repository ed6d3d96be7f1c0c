#include "batch/model_job.h"
#include "batch/quality_report.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "batch/batch_options.h"
#include "batch/model_normalisation.h"
#include "engine/sorvex.h"
#include "export/atomic_text_file.h"
#include "export/contour_export.h"
#include "export/export_paths.h"
#include "export/matrix_export.h"
#include "export/obj_export.h"
#include "export/svg_export.h"
#include "model/loaded_model.h"
#include "model/render_mesh.h"
#include "model/unit_ball.h"
#include "trimesh/trimesh.h"

namespace {

// Companion-file problems listed one by one in the summary's warnings.
constexpr int kCompanionWarningsShown = 10;

// The debug log of one job: every qDebug line and every message of the mesh
// library, in order. The vote threads may log too, hence the lock.
class JobLog {
 public:
  JobLog() {
    instance_ = this;
    previous_ = qInstallMessageHandler(&JobLog::onMessage);
    TriMesh::set_progress_callback(&JobLog::onMeshMessage);
    TriMesh::set_error_callback(&JobLog::onMeshMessage);
  }
  ~JobLog() {
    TriMesh::set_progress_callback(nullptr);
    TriMesh::set_error_callback(nullptr);
    qInstallMessageHandler(previous_);
    instance_ = nullptr;
  }
  JobLog(const JobLog&) = delete;
  JobLog& operator=(const JobLog&) = delete;

  // Lines logged since `from` (a value of lineCount()), newest last.
  QStringList linesSince(int from) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.mid(from);
  }
  int lineCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
  }
  QByteArray text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.join(QLatin1Char('\n')).toUtf8() + '\n';
  }
  // Called once, when a line starting with `prefix` is logged.
  void watchFor(const QString& prefix, std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    watchPrefix_ = prefix;
    watchCallback_ = std::move(callback);
  }

 private:
  void add(const QString& line) {
    std::function<void()> fire;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.append(line);
      if (watchCallback_ && line.startsWith(watchPrefix_)) std::swap(fire, watchCallback_);
    }
    if (fire) fire();
  }
  static void onMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (instance_) instance_->add(text);
  }
  static void onMeshMessage(const char* text) {
    if (instance_) instance_->add(QString::fromLocal8Bit(text).trimmed());
  }

  static JobLog* instance_;
  QtMessageHandler previous_ = nullptr;
  mutable std::mutex mutex_;
  QStringList lines_;
  QString watchPrefix_;
  std::function<void()> watchCallback_;
};
JobLog* JobLog::instance_ = nullptr;

QJsonArray vec(const Vec3& v) { return QJsonArray{double(v.x), double(v.y), double(v.z)}; }


QJsonObject parametersJson(const BatchOptions& o) {
  QJsonArray families;
  for (int t = 0; t < kFeatureTypeCount; ++t)
    families.append(QJsonObject{{QStringLiteral("name"), QLatin1String(kFeatureTypeNames[t])},
                                {QStringLiteral("enabled"), o.featureEnabled[t]},
                                {QStringLiteral("weight"), o.featureWeight[t]},
                                {QStringLiteral("radius"), o.featureRadius[t]}});
  return QJsonObject{{QStringLiteral("features"), families},
                     {QStringLiteral("binSelectThreshold"), o.binSelectThreshold},
                     {QStringLiteral("curvatureThreshold"), o.curvatureThreshold},
                     {QStringLiteral("curvatureSmooth"), o.curvatureSmooth},
                     {QStringLiteral("smoothing"), QLatin1String(smoothing_method_name(o.smoothing))},
                     {QStringLiteral("useSegmentation"), o.useSegmentation},
                     {QStringLiteral("coverAllSegments"), o.coverAllSegments},
                     {QStringLiteral("planes"), o.planes},
                     {QStringLiteral("autoSegmentation"), o.autoSegmentation},
                     {QStringLiteral("autoSymmetry"), o.autoSymmetry},
                     {QStringLiteral("hermiteInterp"), o.hermiteInterp},
                     {QStringLiteral("hermiteTanFactor"), o.hermiteTanFactor},
                     {QStringLiteral("normalize"), o.normalize}};
}

// Why loadModel refused: its last log line, with the mesh library's reason
// when it gave one.
QString loadFailureReason(const QStringList& lines, const QString& path) {
  QString reason = lines.isEmpty() ? QStringLiteral("cannot be loaded") : lines.last();
  for (const QString& l : lines)
    if (!l.isEmpty() && l != reason && !l.startsWith(QLatin1String("Loading")) &&
        !l.startsWith(QLatin1String("Reading")) && !l.endsWith(QLatin1String("...")))
      reason += QStringLiteral(" (") + l + QStringLiteral(")");
  // The path is on the line already.
  reason = reason.simplified();
  const QString own = QStringLiteral("Unable to load ") + path + QStringLiteral(": ");
  if (reason.startsWith(own)) reason = reason.mid(own.size());
  return reason;
}

// Why a run accepted no plane, for the summary's warnings.
QString noPlaneWarning(const BatchOptions& o, const QString& stopRule) {
  if (o.planes > 0)
    return QStringLiteral("No plane was accepted: %1 (no bin with votes gave a section that encloses area).")
        .arg(stopRule);
  return QStringLiteral("No plane was accepted: no bin reached the threshold %1 (lower --bin-select-threshold or "
                        "give --planes N).")
      .arg(o.binSelectThreshold);
}

bool writeWhole(const QString& path, const QByteArray& bytes) {
  AtomicTextFile f;
  if (!f.open(path)) return false;
  f.write(bytes);
  return f.commit();
}

// The debug log: through a temporary name and renamed, as the other files,
// but not synced to the disk first: it is no result, and the sync costs more
// than the rest of the writing.
void writeLog(const QString& path, const QByteArray& bytes) {
  const QString temporary = path + QStringLiteral(".writing");
  QFile f(temporary);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  const bool ok = f.write(bytes) == bytes.size();
  f.close();
  if (!ok || f.error() != QFileDevice::NoError ||
      std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
    QFile::remove(temporary);
}

}  // namespace

// Panel values into the engine, in the order the panel hands them over.
void applyBatchOptions(Sorvex& engine, const BatchOptions& o) {
  bool enabled[kFeatureTypeCount];
  float weights[kFeatureTypeCount];
  float radii[kFeatureTypeCount];
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    enabled[t] = o.featureEnabled[t];
    weights[t] = float(o.featureWeight[t]);
    radii[t] = float(o.featureRadius[t]);
  }
  engine.setFeatureEnabled(enabled);
  engine.setFeatureWeights(weights);
  engine.setFeatureRadii(radii);
  engine.setBinSelectThreshold(float(o.binSelectThreshold));
  engine.setCurvatureSmooth(o.curvatureSmooth);
  engine.setSmoothingMethod(o.smoothing);
  engine.setCurvatureThreshold(o.curvatureThreshold);
  engine.setUseSegmentation(o.useSegmentation);
  engine.setHermiteInterp(o.hermiteInterp);
  engine.setHermiteTanFactor(float(o.hermiteTanFactor));
  engine.setTargetPlaneCount(o.planes);
}

QString modelOutputName(const QString& modelPath) {
  const QString name = QFileInfo(modelPath).completeBaseName();
  return name.isEmpty() ? QFileInfo(modelPath).fileName() : name;
}

QString modelOutputDir(const QString& outDir, const QString& modelPath) {
  return QDir(outDir).filePath(modelOutputName(modelPath));
}

QString modelSummaryPath(const QString& outDir, const QString& modelPath) {
  return QDir(modelOutputDir(outDir, modelPath)).filePath(QStringLiteral("summary.json"));
}

ModelJobResult runModelJob(const QString& modelPath, const BatchOptions& options,
                           const std::function<void(const char*)>& stage,
                           const std::function<Sorvex*()>& engineSource) {
  QElapsedTimer whole;
  whole.start();
  ModelJobResult result;
  const auto fail = [&](const QString& reason) {
    result.status = ModelJobResult::Failed;
    result.reason = reason;
    result.seconds = whole.nsecsElapsed() * 1e-9;
    return result;
  };
  const auto enter = [&](const char* name) {
    if (stage) stage(name);
  };

  const QString dir = modelOutputDir(options.outDir, modelPath);
  const QString summaryFile = modelSummaryPath(options.outDir, modelPath);
  if (!options.force && QFileInfo::exists(summaryFile)) {
    result.status = ModelJobResult::Skipped;
    return result;
  }
  const QFileInfo info(modelPath);
  if (!info.exists()) return fail(QStringLiteral("no such file"));
  if (!info.isFile()) return fail(QStringLiteral("not a regular file"));
  if (!info.isReadable()) return fail(QStringLiteral("the file cannot be read"));
  if (info.size() == 0) return fail(QStringLiteral("the file is empty"));

  QJsonObject timings;
  QElapsedTimer t;
  t.start();
  JobLog log;
  timings[QStringLiteral("setup")] = t.nsecsElapsed() * 1e-9;

  // ---- load: the engine's loadModel in its two steps, so that the engine
  // may still be in the making while the model is read ----
  enter("load");
  t.start();
  const QByteArray path8 = QFile::encodeName(modelPath);
  LoadedModel built;
  LoadControl control;
  control.autoSegmentation = options.autoSegmentation;
  control.autoSymmetry = options.autoSymmetry;
  control.smoothing = options.smoothing;
  const bool read = buildModel(path8.constData(), nullptr, float(options.curvatureSmooth), built, &control);
  qint64 loadNs = t.nsecsElapsed();
  // A wait for the engine is the worker's, not the load's.
  t.start();
  std::unique_ptr<Sorvex> owned;
  Sorvex* given = engineSource ? engineSource() : nullptr;
  if (!given) owned.reset(new Sorvex(nullptr));
  Sorvex& engine = given ? *given : *owned;
  applyBatchOptions(engine, options);
  timings[QStringLiteral("engineWait")] = t.nsecsElapsed() * 1e-9;
  t.start();
  if (!read || !engine.installModel(built, QString::fromLocal8Bit(path8), false))
    return fail(loadFailureReason(log.linesSince(0), modelPath));
  loadNs += t.nsecsElapsed();
  const RenderMesh& mesh = *engine.renderMesh;
  if (mesh.faces().isEmpty()) return fail(QStringLiteral("the file holds no triangles"));
  timings[QStringLiteral("load")] = loadNs * 1e-9;
  // What the companion files' readers skipped or could not read: the first
  // few lines as warnings, the rest counted (a hostile file may have many).
  {
    int companionProblems = 0;
    for (const QString& line : log.linesSince(0)) {
      if (!(line.startsWith(QLatin1String("Symmetry file ")) || line.startsWith(QLatin1String("Segmentation file ")) ||
            line.startsWith(QLatin1String("Error reading symmetry file ")) ||
            line.startsWith(QLatin1String("Error reading segmentation file "))))
        continue;
      if (++companionProblems <= kCompanionWarningsShown) result.warnings.append(line);
    }
    if (companionProblems > kCompanionWarningsShown)
      result.warnings.append(QStringLiteral("%1 more problems in the companion files (see debug.log)")
                                 .arg(companionProblems - kCompanionWarningsShown));
  }

  result.warnings.append(engine.companions.warnings);

  // ---- unit ball / normalisation ----
  QJsonValue normalisation = QJsonValue::Null;
  const float farthestBefore = farthestVertexDistance(mesh);
  if (options.normalize) {
    enter("normalize");
    t.start();
    ModelNormalisation n;
    if (!normaliseModel(engine, kNormalisedRadius, n)) return fail(QStringLiteral("the model has no extent to scale"));
    normalisation = QJsonObject{{QStringLiteral("centre"), vec(n.centre)},
                                {QStringLiteral("radiusBefore"), double(n.radiusBefore)},
                                {QStringLiteral("radiusAfter"), double(kNormalisedRadius)},
                                {QStringLiteral("scale"), double(n.scale)},
                                {QStringLiteral("offset"), vec(n.offset)},
                                {QStringLiteral("rule"), QStringLiteral("x' = scale * x + offset")}};
    timings[QStringLiteral("normalize")] = t.nsecsElapsed() * 1e-9;
  } else {
    const QString warning = unitBallWarning(farthestBefore);
    if (!warning.isEmpty()) result.warnings.append(warning);
  }

  // ---- the input mesh's export, beside the run ----
  // It needs the loaded mesh only: written on its own thread while the run
  // computes, from a copy that shares the mesh's arrays (the run never writes
  // them), it is mostly done by the time the run ends.
  if (!QDir().mkpath(dir)) return fail(QStringLiteral("cannot create the output folder ") + dir);
  const QString base = QDir(dir).filePath(exportPaths(modelPath, QString()).last);
  const QString meshFile = base + QStringLiteral("_inputmesh.obj");
  std::future<bool> meshWritten =
      std::async(std::launch::async, [copy = mesh, meshFile] { return writeMeshObj(copy, meshFile); });

  // ---- plane-selection run, on this thread ----
  // Stage ends: the features are built when progress first reaches 250; the
  // votes are cast when the run logs its human-cut statistics line.
  enter("features");
  QElapsedTimer runTimer;
  runTimer.start();
  std::atomic<qint64> featuresEnd{-1}, votingEnd{-1};
  std::mutex stageMutex;
  // The engine may outlive this job (a worker keeps it): the connection to
  // this job's locals ends with the run.
  struct Disconnect {
    QMetaObject::Connection c;
    ~Disconnect() { QObject::disconnect(c); }
  } stageWatch;
  stageWatch.c = QObject::connect(
      &engine, &Sorvex::percentComplete, &engine,
      [&](int thousandths) {
        if (thousandths < 250) return;
        qint64 expected = -1;
        if (featuresEnd.compare_exchange_strong(expected, runTimer.nsecsElapsed())) {
          std::lock_guard<std::mutex> lock(stageMutex);
          enter("voting");
        }
      },
      Qt::DirectConnection);
  log.watchFor(QStringLiteral("Human authored planes in feature volume"), [&] {
    votingEnd = runTimer.nsecsElapsed();
    std::lock_guard<std::mutex> lock(stageMutex);
    enter("selection");
  });
  engine.setCoverAllSegments(options.coverAllSegments);
  engine.runSelection();
  const qint64 runEnd = runTimer.nsecsElapsed();
  const qint64 f = featuresEnd >= 0 ? qint64(featuresEnd) : runEnd;
  const qint64 v = votingEnd >= 0 ? qint64(votingEnd) : f;
  timings[QStringLiteral("features")] = f * 1e-9;
  timings[QStringLiteral("voting")] = (v - f) * 1e-9;
  timings[QStringLiteral("selection")] = (runEnd - v) * 1e-9;

  if (engine.planes.isEmpty()) {
    const QString warning = noPlaneWarning(options, engine.runStopRule);
    qDebug("Warning: %s", warning.toLocal8Bit().constData());
    result.warnings.append(warning);
  }

  // ---- the measure, on the run's planes, before the exports ----
  QJsonValue quality = QJsonValue::Null;
  if (options.quality) {
    enter("quality");
    t.start();
    const QJsonObject q = qualityReport(engine);
    quality = q;
    const QString line = qualityLine(modelOutputName(modelPath), q);
    result.quality = line.mid(line.indexOf(QLatin1String(": ")) + 2);
    qDebug("Quality: %s", line.toLocal8Bit().constData());
    timings[QStringLiteral("quality")] = t.nsecsElapsed() * 1e-9;
  }

  // ---- what the run found, before the matrix export rebuilds the votes ----
  int perType[kFeatureTypeCount] = {};
  for (const Feature& feature : engine.features)
    if (feature.type >= 0 && feature.type < kFeatureTypeCount) ++perType[feature.type];
  QJsonObject featureCounts;
  for (int k = 0; k < kFeatureTypeCount; ++k) featureCounts[QLatin1String(kFeatureTypeNames[k])] = perType[k];

  // ---- exports, as the research window writes them ----
  enter("export");
  t.start();
  // The window triangulates every slab again before its exports, since the
  // planes may have been moved by hand since the run. Here they come straight
  // from the run, whose last update of each plane made its slab from the
  // same contours: the same triangles, without the second triangulation.
  QJsonArray planes;
  for (int p = 0; p < engine.planes.size(); ++p) {
    const SectionPlane& plane = engine.planes[p];
    planes.append(QJsonObject{{QStringLiteral("index"), p},
                              {QStringLiteral("normal"), vec(plane.normal)},
                              {QStringLiteral("offset"), double(plane.d)},
                              {QStringLiteral("area"), double(plane.area)},
                              {QStringLiteral("slabTriangles"), int(plane.triangles.size())}});
  }
  QStringList written;
  QString failedFile;
  const auto record = [&](bool ok, const QString& file) {
    if (ok)
      written.append(QFileInfo(file).fileName());
    else if (failedFile.isEmpty())
      failedFile = file;
  };
  // The writers only read the planes and the mesh, and most of their time
  // is the wait for the disk to take each file (written through a temporary
  // name and synced): they write side by side, one thread each.
  const QList<SectionPlane>& planesNow = engine.planes;
  struct Export {
    QString file;
    std::function<bool(const QString&)> write;
    std::future<bool> done;
  };
  std::vector<Export> exports;
  exports.push_back(
      {base + QStringLiteral(".obj"), [&](const QString& f) { return writePlanesObj(planesNow, f); }, {}});
  exports.push_back(
      {base + QStringLiteral("_slab.obj"), [&](const QString& f) { return writeSlabsObj(planesNow, f); }, {}});
  exports.push_back({meshFile, nullptr, std::move(meshWritten)});  // under way since the load
  exports.push_back(
      {base + QStringLiteral(".contour"), [&](const QString& f) { return writeContours(planesNow, f); }, {}});
  if (options.svg)
    exports.push_back(
        {base + QStringLiteral(".svg"), [&](const QString& f) { return writeSlabsSvg(planesNow, f); }, {}});
  for (Export& e : exports)
    if (e.write) e.done = std::async(std::launch::async, e.write, e.file);
  for (Export& e : exports) record(e.done.get(), e.file);
  // The matrix export casts the votes again: alone, after the others.
  if (options.matrix) {
    const QString matrixFile = QDir(dir).filePath(QLatin1String(kMatrixFileName));
    record(exportMatrix(engine, matrixFile), matrixFile);
  }
  timings[QStringLiteral("export")] = t.nsecsElapsed() * 1e-9;
  writeLog(QDir(dir).filePath(QStringLiteral("debug.log")), log.text());
  if (!failedFile.isEmpty()) return fail(QStringLiteral("cannot write ") + failedFile);

  // ---- summary, last ----
  result.seconds = whole.nsecsElapsed() * 1e-9;
  timings[QStringLiteral("total")] = result.seconds;
  QJsonArray warnings;
  for (const QString& w : result.warnings) warnings.append(w);
  // The filter of the curvature data the run used (after --normalize, that
  // of the rebuilt mesh).
  const TriMesh::SmoothingRecord smoothing =
      engine.triMesh ? engine.triMesh->last_smoothing : TriMesh::SmoothingRecord();
  const QJsonObject summary{
      {QStringLiteral("input"), modelPath},
      {QStringLiteral("absolutePath"), info.absoluteFilePath()},
      {QStringLiteral("vertices"), int(mesh.vertices().size())},
      {QStringLiteral("faces"), int(mesh.faces().size())},
      {QStringLiteral("segments"), engine.segmentCount},
      {QStringLiteral("segmentation"),
       QJsonObject{{QStringLiteral("source"), companionSourceName(engine.companions.segmentation)},
                   {QStringLiteral("method"), engine.companions.segmentationMethod},
                   {QStringLiteral("segments"), engine.segmentCount}}},
      {QStringLiteral("symmetry"),
       QJsonObject{{QStringLiteral("source"), companionSourceName(engine.companions.symmetry)},
                   {QStringLiteral("method"), engine.companions.symmetryMethod},
                   {QStringLiteral("planes"), int(engine.symmetryPlanes.size())},
                   {QStringLiteral("axes"), int(engine.symmetryAxes.size())}}},
      {QStringLiteral("smoothing"), QLatin1String(smoothing.fast ? "fast" : "exact")},
      {QStringLiteral("smoothingAsked"), QLatin1String(smoothing_method_name(options.smoothing))},
      {QStringLiteral("smoothingClusters"), smoothing.clusters},
      {QStringLiteral("farthestVertexFromOrigin"), double(farthestBefore)},
      {QStringLiteral("parameters"), parametersJson(options)},
      {QStringLiteral("normalisation"), normalisation},
      {QStringLiteral("featuresPerFamily"), featureCounts},
      {QStringLiteral("planes"), planes},
      {QStringLiteral("stopRule"), engine.runStopRule},
      {QStringLiteral("quality"), quality},
      {QStringLiteral("timings"), timings},
      {QStringLiteral("warnings"), warnings},
      {QStringLiteral("outputs"), QJsonArray::fromStringList(written)}};
  if (!writeWhole(summaryFile, QJsonDocument(summary).toJson(QJsonDocument::Indented)))
    return fail(QStringLiteral("cannot write ") + summaryFile);
  result.status = ModelJobResult::Done;
  result.planeCount = engine.planes.size();
  return result;
}
