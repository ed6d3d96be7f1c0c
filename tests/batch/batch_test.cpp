// korvane-batch as a researcher runs it: the executable over folders of
// models, compared with the engine driven the way the research window
// drives it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <csignal>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <cmath>

#include "batch/batch_options.h"
#include "engine/sorvex.h"
#include "export/contour_export.h"
#include "export/matrix_export.h"
#include "export/obj_export.h"
#include "export/svg_export.h"
#include "model/render_mesh.h"
#include "support/bundled_models_support.h"
#include "support/debug_capture.h"
#include "support/test_support.h"

namespace {

struct ToolRun {
  int code = -1;
  QString out, err;
};

ToolRun run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  ToolRun r;
  if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
    p.kill();
    p.waitForFinished(5000);
    return r;
  }
  r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
  r.err = QString::fromLocal8Bit(p.readAllStandardError());
  return r;
}

ToolRun batch(const QStringList& args) { return run(QStringLiteral(KORVANE_BATCH_EXE), args); }

// Standard error lines without the models' warnings.
QStringList withoutWarnings(const QStringList& lines) {
  QStringList kept;
  for (const QString& l : lines)
    if (!l.contains(QLatin1String(": warning: "))) kept << l;
  return kept;
}

QByteArray bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing " + path.toUtf8() + ">");
}

QJsonObject summaryOf(const QString& path) { return QJsonDocument::fromJson(bytes(path)).object(); }

// A closed box of half-width h around the origin, 12 triangles facing out.
const Vec3 kBoxCorner[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                            {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const int kBoxFaces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                              {2, 3, 7}, {2, 7, 6}, {1, 2, 6}, {1, 6, 5}, {0, 4, 7}, {0, 7, 3}};

std::string boxOff(float h) {
  std::string s = "OFF\n8 12 0\n";
  for (const Vec3& c : kBoxCorner)
    s += QStringLiteral("%1 %2 %3\n").arg(c.x * h).arg(c.y * h).arg(c.z * h).toStdString();
  for (const auto& f : kBoxFaces) s += QStringLiteral("3 %1 %2 %3\n").arg(f[0]).arg(f[1]).arg(f[2]).toStdString();
  return s;
}

// The engine set up as the research window sets it up: the panel's values
// pushed in its order before the load, the section options, then the run
// that "Binning Algorithm" starts, then the exports' re-triangulation.
void runAsTheWindowDoes(Sorvex& engine, const BatchOptions& o, const QString& model) {
  bool enabled[kFeatureTypeCount];
  float weights[kFeatureTypeCount], radii[kFeatureTypeCount];
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
  engine.setCurvatureThreshold(o.curvatureThreshold);
  engine.setUseSegmentation(o.useSegmentation);
  engine.setHermiteInterp(o.hermiteInterp);
  engine.setHermiteTanFactor(float(o.hermiteTanFactor));
  const QByteArray p = QFile::encodeName(model);
  ASSERT_TRUE(engine.loadModel(p.constData(), p.constData(), nullptr, false));
  engine.setCoverAllSegments(o.coverAllSegments);
  engine.runSelection();
  engine.triangulateAllSlabs();
}

}  // namespace

TEST(BatchTool, GivesTheWindowsResultsForTheSameParameters) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString model = testsupport::bundledModelPath({"145", "Table 5"});
  const QStringList settings = {"--no-valleys",
                                "--ridges-weight=0.5",
                                "--segment-planes-radius",
                                "0.15",
                                "--bin-select-threshold",
                                "1.2",
                                "--curvature-smooth",
                                "0.02",
                                "--no-hermite"};
  BatchOptions options;
  QString error;
  ASSERT_TRUE(parseBatchOptions(QStringList(settings) << "--out" << dir.path() << model, options, error))
      << error.toStdString();
  // The tool runs while the engine does the same here.
  const QString out = dir.filePath(QStringLiteral("out"));
  QProcess tool;
  tool.start(KORVANE_BATCH_EXE, QStringList(settings) << "--svg"
                                                      << "--matrix"
                                                      << "--quiet"
                                                      << "--out" << out << model);
  testsupport::DebugCapture quiet;
  Sorvex engine(nullptr);
  runAsTheWindowDoes(engine, options, model);
  ASSERT_GT(engine.planes.size(), 1);
  ASSERT_TRUE(tool.waitForFinished(120000));
  EXPECT_EQ(tool.exitCode(), 0);
  EXPECT_TRUE(tool.readAllStandardOutput().isEmpty() && tool.readAllStandardError().isEmpty());

  const QString folder = out + QStringLiteral("/145/");
  const QJsonObject s = summaryOf(folder + QStringLiteral("summary.json"));
  EXPECT_EQ(s[QStringLiteral("input")].toString(), model);
  EXPECT_EQ(s[QStringLiteral("faces")].toInt(), engine.renderMesh->faces().size());
  const QJsonArray planes = s[QStringLiteral("planes")].toArray();
  ASSERT_EQ(planes.size(), engine.planes.size());
  for (int p = 0; p < planes.size(); ++p) {
    const QJsonObject j = planes[p].toObject();
    const SectionPlane& e = engine.planes[p];
    const QJsonArray n = j[QStringLiteral("normal")].toArray();
    EXPECT_EQ(Vec3(float(n[0].toDouble()), float(n[1].toDouble()), float(n[2].toDouble())), e.normal) << p;
    EXPECT_EQ(float(j[QStringLiteral("offset")].toDouble()), e.d) << p;
    EXPECT_EQ(float(j[QStringLiteral("area")].toDouble()), e.area) << p;
    EXPECT_EQ(j[QStringLiteral("slabTriangles")].toInt(), e.triangles.size()) << p;
  }
  const QJsonObject families = s[QStringLiteral("featuresPerFamily")].toObject();
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    int count = 0;
    for (const Feature& f : engine.features) count += f.type == t;
    EXPECT_EQ(families[QLatin1String(kFeatureTypeNames[t])].toInt(-1), count) << kFeatureTypeNames[t];
  }
  EXPECT_EQ(families[QStringLiteral("Valleys")].toInt(-1), 0);
  const QJsonObject params = s[QStringLiteral("parameters")].toObject();
  EXPECT_EQ(params[QStringLiteral("binSelectThreshold")].toDouble(), 1.2);
  EXPECT_EQ(params[QStringLiteral("features")].toArray()[0].toObject()[QStringLiteral("radius")].toDouble(), 0.15);
  for (const char* stage : {"setup", "load", "features", "voting", "selection", "export", "total"})
    EXPECT_GE(s[QStringLiteral("timings")].toObject()[QLatin1String(stage)].toDouble(-1), 0.0) << stage;

  // The files the window writes, byte for byte.
  const QString base = dir.filePath(QStringLiteral("engine"));
  ASSERT_TRUE(writePlanesObj(engine.planes, base + ".obj") && writeSlabsObj(engine.planes, base + "_slab.obj") &&
              writeMeshObj(*engine.renderMesh, base + "_inputmesh.obj") &&
              writeContours(engine.planes, base + ".contour") && writeSlabsSvg(engine.planes, base + ".svg") &&
              exportMatrix(engine, base + ".m"));
  for (const char* suffix : {".obj", "_slab.obj", "_inputmesh.obj", ".contour", ".svg"})
    EXPECT_EQ(bytes(folder + "145.off" + suffix), bytes(base + suffix)) << suffix;
  EXPECT_EQ(bytes(folder + kMatrixFileName), bytes(base + ".m"));
}

TEST(BatchTool, ReportsFailingModelsAndGoesOnSkipsFinishedOnesAndRedoesThemWhenForced) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto file = [&](const char* name, const std::string& text) {
    const QString path = dir.filePath(QLatin1String(name));
    EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    EXPECT_TRUE(testsupport::writeTextFile(path, text));
    return path;
  };
  const QString box = file("in/box.off", boxOff(0.4f)), box2 = file("in/box2.off", boxOff(0.3f));
  const QStringList bad = {dir.filePath("in/missing.off"), file("in/empty.off", ""),
                           file("in/points.ply",
                                "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                                "property float z\nend_header\n0 0 0\n1 0 0\n0 1 0\n"),
                           file("in/nofaces.off", "OFF\n3 0 0\n0 0 0\n1 0 0\n0 1 0\n"),
                           file("in/x/box.off", boxOff(0.2f))};
  ASSERT_TRUE(QDir().mkpath(dir.filePath("in/folder.off")));
  const QStringList all = QStringList{box, bad[0], bad[1], box2, bad[2], bad[3], dir.filePath("in/folder.off"), bad[4]};
  const QString out = dir.filePath(QStringLiteral("out"));

  QStringList args{"--jobs", "2", "--out", out};
  args << all;
  const ToolRun first = batch(args);
  EXPECT_EQ(first.code, 1);
  // One line per failed model, naming it; the good ones are done.
  // (Models without companion files also get a warning line each.)
  const QStringList errors = withoutWarnings(first.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts));
  EXPECT_EQ(errors.size(), 6) << first.err.toStdString();
  const QStringList failedModels = QStringList(bad) << dir.filePath("in/folder.off");
  for (const QString& failed : failedModels)
    EXPECT_EQ(errors.filter(QStringLiteral("korvane-batch: ") + failed + QStringLiteral(": ")).size(), 1)
        << failed.toStdString() << "\n"
        << first.err.toStdString();
  EXPECT_EQ(errors.filter(QStringLiteral("no triangles")).size(), 2) << first.err.toStdString();
  EXPECT_EQ(errors.filter(QStringLiteral("already used by ") + box).size(), 1);
  EXPECT_EQ(first.out.split(QLatin1Char('\n')).filter(QStringLiteral(" done ")).size(), 2) << first.out.toStdString();
  EXPECT_EQ(first.out.split(QLatin1Char('\n')).filter(QStringLiteral(" failed ")).size(), 6);
  const QString boxSummary = out + QStringLiteral("/box/summary.json");
  const QJsonObject s = summaryOf(boxSummary);
  EXPECT_EQ(s[QStringLiteral("faces")].toInt(), 12);
  EXPECT_EQ(summaryOf(out + "/box2/summary.json")[QStringLiteral("faces")].toInt(), 12);
  EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/empty/summary.json")));
  // Defaults are the panel's start values.
  const QJsonObject p = s[QStringLiteral("parameters")].toObject();
  const QJsonArray families = p[QStringLiteral("features")].toArray();
  ASSERT_EQ(families.size(), kFeatureTypeCount);
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    const QJsonObject f = families[t].toObject();
    EXPECT_EQ(f[QStringLiteral("name")].toString(), QLatin1String(kFeatureTypeNames[t]));
    EXPECT_TRUE(f[QStringLiteral("enabled")].toBool());
    EXPECT_EQ(f[QStringLiteral("weight")].toDouble(), kStartFeatureWeights[t]);
    EXPECT_EQ(f[QStringLiteral("radius")].toDouble(), 0.1);
  }
  EXPECT_EQ(p[QStringLiteral("binSelectThreshold")].toDouble(), 1.0);
  EXPECT_EQ(p[QStringLiteral("curvatureThreshold")].toDouble(), 15.0);
  EXPECT_EQ(p[QStringLiteral("curvatureSmooth")].toDouble(), 0.01);
  EXPECT_TRUE(p[QStringLiteral("hermiteInterp")].toBool());
  EXPECT_FALSE(p[QStringLiteral("coverAllSegments")].toBool() || p[QStringLiteral("useSegmentation")].toBool());

  // Again: finished models are skipped (their summaries stay as they are),
  // unless forced.
  ASSERT_TRUE(testsupport::writeTextFile(boxSummary, "{\"marker\": 1}"));
  const ToolRun again = batch(QStringList{"--jobs", "2", "--out", out, box, box2});
  EXPECT_EQ(again.code, 0) << again.err.toStdString();
  EXPECT_EQ(again.out.split(QLatin1Char('\n')).filter(QStringLiteral(" skipped ")).size(), 2);
  EXPECT_EQ(summaryOf(boxSummary)[QStringLiteral("marker")].toInt(), 1);
  const ToolRun forced = batch(QStringList{"--force", "--quiet", "--out", out, box});
  EXPECT_EQ(forced.code, 0) << forced.err.toStdString();
  EXPECT_TRUE(forced.out.isEmpty());
  EXPECT_EQ(summaryOf(boxSummary)[QStringLiteral("faces")].toInt(), 12);
}

// Workers started ahead of their model give the results of a lone run; a
// worker that dies fails only its model, and the next worker does the rest.
TEST(BatchTool, StartsWorkersAheadAndGoesOnAfterCrashesBeforeAndDuringTheExports) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString box = dir.filePath("box.off"), crash = dir.filePath("crash.off"), box2 = dir.filePath("box2.off");
  const QString late = dir.filePath("late.off");  // crashes after its slot has gone on to the next model
  ASSERT_TRUE(testsupport::writeTextFile(box, boxOff(0.4f)) && testsupport::writeTextFile(crash, boxOff(0.3f)) &&
              testsupport::writeTextFile(box2, boxOff(0.2f)) && testsupport::writeTextFile(late, boxOff(0.25f)));
  const QString model = testsupport::bundledModelPath({"145", "Table 5"});
  const QString out = dir.filePath("out"), alone = dir.filePath("alone");

  QProcess tool;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("KORVANE_BATCH_WORKER_ABORT"), QStringLiteral("crash.off,late.off@export"));
  tool.setProcessEnvironment(env);
  tool.start(KORVANE_BATCH_EXE, QStringList{"--jobs", "1", "--out", out, box, late, model, crash, box2});
  // The same model on its own, in a worker of its own, meanwhile.
  const ToolRun single = batch(QStringList{"--quiet", "--out", alone, model});
  ASSERT_TRUE(tool.waitForFinished(120000));
  EXPECT_EQ(single.code, 0) << single.err.toStdString();
  EXPECT_EQ(tool.exitCode(), 1);
  const QStringList errors =
      withoutWarnings(QString::fromLocal8Bit(tool.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
  ASSERT_EQ(errors.size(), 2) << errors.join('\n').toStdString();
  // Each crash names the signal and the stage it ended in.
  EXPECT_EQ(errors
                .filter(QStringLiteral("korvane-batch: %1: the worker process stopped with signal %2 in stage export")
                            .arg(late)
                            .arg(SIGABRT))
                .size(),
            1)
      << errors.join('\n').toStdString();
  EXPECT_EQ(errors
                .filter(QStringLiteral("korvane-batch: %1: the worker process stopped with signal %2 in stage start")
                            .arg(crash)
                            .arg(SIGABRT))
                .size(),
            1)
      << errors.join('\n').toStdString();
  const QStringList lines = QString::fromLocal8Bit(tool.readAllStandardOutput()).split('\n');
  EXPECT_EQ(lines.filter(" done ").size(), 3);
  EXPECT_EQ(lines.filter(" failed ").size(), 2);
  EXPECT_TRUE(lines.filter(" failed ").first().endsWith(late)) << "the crash in the exports is reported";
  EXPECT_FALSE(QFileInfo::exists(out + "/crash/summary.json"));
  EXPECT_FALSE(QFileInfo::exists(out + "/late/summary.json"));

  EXPECT_EQ(summaryOf(out + "/box2/summary.json")[QStringLiteral("faces")].toInt(), 12);
  const QJsonObject a = summaryOf(out + "/145/summary.json"), b = summaryOf(alone + "/145/summary.json");
  ASSERT_GT(a[QStringLiteral("planes")].toArray().size(), 1);
  EXPECT_EQ(a[QStringLiteral("planes")], b[QStringLiteral("planes")]);
  EXPECT_EQ(a[QStringLiteral("featuresPerFamily")], b[QStringLiteral("featuresPerFamily")]);
  for (const char* suffix : {".obj", "_slab.obj", "_inputmesh.obj", ".contour"})
    EXPECT_EQ(bytes(out + "/145/145.off" + suffix), bytes(alone + "/145/145.off" + suffix)) << suffix;
}

TEST(BatchTool, StopsAModelPastItsTimeoutAndGoesOnAndWarnsAboutCompanionFiles) {
  // A fan of four thousand triangles around one edge with a few hundred
  // symmetry records runs for well over three seconds (about ten per
  // thousand triangles); with a limit of
  // three seconds it is stopped in the stage it had reached, the small box
  // beside it is done, and the batch ends with status 1.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString box = dir.filePath("box.off"), fan = dir.filePath("fan.off"), out = dir.filePath("out");
  const int blades = 4000;
  std::string off = "OFF\n" + std::to_string(blades + 2) + " " + std::to_string(blades) + " 0\n0 0 -0.5\n0 0 0.5\n",
              sym;
  for (int k = 0; k < blades; ++k) {
    const double t = 2 * M_PI * k / blades;
    off += std::to_string(0.5 * std::cos(t)) + " " + std::to_string(0.5 * std::sin(t)) + " " +
           std::to_string(0.05 * std::sin(7 * t)) + "\n";
  }
  for (int k = 0; k < blades; ++k) off += "3 0 1 " + std::to_string(k + 2) + "\n";
  for (int k = 0; k < 256; ++k)
    sym += "P " + std::to_string(std::cos(0.1 * k)) + " " + std::to_string(std::sin(0.1 * k)) + " 0.3 0\n";
  ASSERT_TRUE(testsupport::writeTextFile(box, boxOff(0.4f)) && testsupport::writeTextFile(fan, off) &&
              testsupport::writeTextFile(dir.filePath("fan.sym"), sym));
  // The box's symmetry file has records the reader skips: the summary says so.
  std::string badSym = "P 0 0 1 0\nP 1 2\nA 0 0 0 1 1 1\n";
  for (int k = 0; k < 15; ++k) badSym += "P nan 0 1 0\n";
  ASSERT_TRUE(testsupport::writeTextFile(dir.filePath("box.sym"), badSym));
  const ToolRun r = batch({"--jobs", "2", "--timeout", "3", "--out", out, fan, box});
  EXPECT_EQ(r.code, 1) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(QStringLiteral("korvane-batch: %1: no answer after 3 s in stage ").arg(fan)))
      << r.err.toStdString();
  EXPECT_FALSE(QFileInfo::exists(out + "/fan/summary.json"));
  const QJsonArray warnings = summaryOf(out + "/box/summary.json")[QStringLiteral("warnings")].toArray();
  ASSERT_EQ(warnings.size(), 12);  // ten lines, the count of the rest, and the missing segmentation file
  EXPECT_TRUE(warnings[0].toString().contains(QLatin1String("record with 3 fields, needs 5; skipped")));
  EXPECT_TRUE(warnings[1].toString().contains(QLatin1String("axis without a finite direction")));
  EXPECT_EQ(warnings[10].toString(), QStringLiteral("7 more problems in the companion files (see debug.log)"));
  EXPECT_TRUE(warnings[11].toString().startsWith(QLatin1String("No segmentation file (box_0.seg): computed one")))
      << warnings[11].toString().toStdString();
}

TEST(BatchTool, AFileAskingForMoreMemoryThanThereIsFailsWithAReason) {
  // A PLY that declares two billion vertices and holds three: the reading
  // child's allocation fails at its budget, and the model's line says so.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString ply = dir.filePath("huge.ply"), out = dir.filePath("out");
  ASSERT_TRUE(testsupport::writeTextFile(
      ply,
      "ply\nformat ascii 1.0\nelement vertex 2000000000\nproperty float x\nproperty float y\nproperty float z\n"
      "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"));
  const ToolRun r = run(QStringLiteral(KORVANE_BATCH_EXE), {"--quiet", "--out", out, ply});
  EXPECT_EQ(r.code, 1) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(ply + QStringLiteral(": ") + testsupport::overBudgetReason("1.5"))) << r.err.toStdString();
  EXPECT_FALSE(r.err.contains(QLatin1String("std::bad_alloc"))) << r.err.toStdString();
}

TEST(BatchTool, NormalizesOnRequestAndOtherwiseWarnsAboutModelsOutsideTheUnitBall) {
  // Table 5 at a millimetre-like size: 50 times larger and moved off the
  // origin, its symmetry file moved with it.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const testsupport::BundledModel table{"145", "Table 5"};
  const float scale = 50.0f, shiftY = 3.0f;
  QStringList lines;
  ASSERT_TRUE(testsupport::readLines(testsupport::bundledModelPath(table), lines));
  const int vertexCount = lines.value(1).split(QLatin1Char(' ')).value(0).toInt();
  ASSERT_GT(vertexCount, 0);
  for (int i = 2; i < 2 + vertexCount; ++i) {
    const QStringList v = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    lines[i] = QStringLiteral("%1 %2 %3")
                   .arg(v[0].toDouble() * scale, 0, 'g', 9)
                   .arg(v[1].toDouble() * scale + shiftY, 0, 'g', 9)
                   .arg(v[2].toDouble() * scale, 0, 'g', 9);
  }
  const QString big = dir.filePath(QStringLiteral("big.off"));
  ASSERT_TRUE(testsupport::writeTextFile(big, lines.join(QLatin1Char('\n')).toStdString() + "\n"));
  ASSERT_TRUE(QFile::copy(testsupport::bundledSegmentationPath(table), dir.filePath("big_0.seg")));
  QStringList sym;
  ASSERT_TRUE(testsupport::readLines(testsupport::bundledSymmetryPath(table), sym));
  for (QString& l : sym) {
    QStringList f = l.split(QLatin1Char(' '));
    if (f.value(0).contains(QLatin1Char('P')) && f.size() >= 5) {
      f[4] = QString::number(f[4].toDouble() * scale + f[2].toDouble() * shiftY, 'g', 9);
    } else if (f.value(0).contains(QLatin1Char('A')) && f.size() >= 7) {
      for (int k = 1; k <= 6; ++k) f[k] = QString::number(f[k].toDouble() * scale + (k == 5 ? shiftY : 0.0), 'g', 9);
    }
    l = f.join(QLatin1Char(' '));
  }
  ASSERT_TRUE(testsupport::writeTextFile(dir.filePath("big.sym"), sym.join(QLatin1Char('\n')).toStdString() + "\n"));

  const QString plain = dir.filePath("plain"), normal = dir.filePath("normal"), original = dir.filePath("original");
  QProcess a, b;
  a.start(QStringLiteral(KORVANE_BATCH_EXE), {"--quiet", "--out", plain, big});
  b.start(QStringLiteral(KORVANE_BATCH_EXE), {"--quiet", "--normalize", "--out", normal, big});
  const ToolRun o = batch({"--quiet", "--out", original, testsupport::bundledModelPath(table)});
  ASSERT_TRUE(a.waitForFinished(120000) && b.waitForFinished(120000));
  ASSERT_EQ(o.code, 0) << o.err.toStdString();
  EXPECT_EQ(a.exitCode(), 0);
  EXPECT_EQ(b.exitCode(), 0);

  // Without --normalize: the warning in the summary and on standard error,
  // and the curvature features the issue reported missing are missing.
  const QString warned = QString::fromLocal8Bit(a.readAllStandardError());
  EXPECT_TRUE(
      warned.startsWith(QStringLiteral("korvane-batch: ") + big + ": warning: The model reaches outside the unit ball"))
      << warned.toStdString();
  const QJsonObject sp = summaryOf(plain + "/big/summary.json");
  EXPECT_EQ(sp[QStringLiteral("warnings")].toArray().size(), 1);
  EXPECT_TRUE(sp[QStringLiteral("normalisation")].isNull());
  EXPECT_EQ(sp[QStringLiteral("featuresPerFamily")].toObject()[QStringLiteral("Ridges")].toInt(-1), 0);

  // With it: no warning, the transform recorded, the mesh inside radius 0.9,
  // and the bundled original's results back (the generator centred it and
  // scaled it to radius 0.9 too).
  EXPECT_TRUE(b.readAllStandardError().isEmpty());
  const QJsonObject sn = summaryOf(normal + "/big/summary.json"), so = summaryOf(original + "/145/summary.json");
  EXPECT_TRUE(sn[QStringLiteral("warnings")].toArray().isEmpty());
  const QJsonObject n = sn[QStringLiteral("normalisation")].toObject();
  const double s = n[QStringLiteral("scale")].toDouble();
  const double before = so[QStringLiteral("farthestVertexFromOrigin")].toDouble() * scale;
  EXPECT_NEAR(s, 0.9 / before, 1e-5 * s);
  EXPECT_NEAR(n[QStringLiteral("offset")].toArray()[1].toDouble(), -s * shiftY, 1e-5);
  QStringList mesh;
  ASSERT_TRUE(testsupport::readLines(normal + "/big/big.off_inputmesh.obj", mesh));
  float farthest = 0;
  for (const QString& l : mesh.filter(QRegularExpression(QStringLiteral("^v ")))) {
    const QStringList v = l.split(QLatin1Char(' '));
    farthest = std::max(farthest, Vec3(v[1].toFloat(), v[2].toFloat(), v[3].toFloat()).length());
  }
  EXPECT_NEAR(farthest, 0.9f, 1e-4f);
  EXPECT_EQ(sn[QStringLiteral("featuresPerFamily")], so[QStringLiteral("featuresPerFamily")]);
  const QJsonArray pn = sn[QStringLiteral("planes")].toArray(), po = so[QStringLiteral("planes")].toArray();
  ASSERT_EQ(pn.size(), po.size());
  QVector<double> an, ao;
  for (int i = 0; i < pn.size(); ++i) {
    an.append(pn[i].toObject()[QStringLiteral("area")].toDouble());
    ao.append(po[i].toObject()[QStringLiteral("area")].toDouble());
  }
  std::sort(an.begin(), an.end());
  std::sort(ao.begin(), ao.end());
  for (int i = 0; i < an.size(); ++i) EXPECT_NEAR(an[i], ao[i], 0.01 * ao[i]) << i;
}

TEST(BatchTool, HelpListsEveryOptionAndBadCommandLinesAreRefused) {
  const ToolRun help = batch({"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* key : kFeatureOptionKeys) EXPECT_TRUE(help.out.contains(QLatin1String(key))) << key;
  for (const char* option : {"--no-FAMILY",
                             "--FAMILY-weight",
                             "--FAMILY-radius",
                             "--bin-select-threshold",
                             "--curvature-threshold",
                             "--curvature-smooth",
                             "--smoothing",
                             "--segmentation",
                             "--cover-all",
                             "--planes",
                             "--no-auto-segmentation",
                             "--auto-segmentation",
                             "--no-auto-symmetry",
                             "--auto-symmetry",
                             "--no-hermite",
                             "--hermite-factor",
                             "--normalize",
                             "--matrix",
                             "--svg",
                             "--out",
                             "--jobs",
                             "--timeout",
                             "--force",
                             "--quiet",
                             "--help"})
    EXPECT_TRUE(help.out.contains(QLatin1String(option))) << option;

  const QStringList cases[] = {{"--bin-select-threshold", "5", "--out", "o", "m.off"},
                               {"--ridges-weight=abc", "--out", "o", "m.off"},
                               {"--bogus", "--out", "o", "m.off"},
                               {"--timeout", "-1", "--out", "o", "m.off"},
                               {"--planes", "-1", "--out", "o", "m.off"},
                               {"--planes=101", "--out", "o", "m.off"},
                               {"--smoothing", "quick", "--out", "o", "m.off"},
                               {"--out", "o", "m.off", "--smoothing"},
                               {"m.off"}};
  for (const QStringList& args : cases) {
    const ToolRun r = batch(args);
    EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("korvane-batch: "))) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QLatin1Char('\n')), 2) << r.err.toStdString();  // the reason and the --help hint
  }
}

TEST(BatchTool, AcceptsTheNumberOfPlanesAskedForAndSaysWhatEndedTheRun) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString model = testsupport::bundledModelPath({"145", "Table 5"});
  int before = 0;
  for (const char* planes : {"0", "2", "6"}) {
    const QString out = dir.filePath(QLatin1String(planes));
    const ToolRun r = batch({"--quiet", "--quality", "--planes", planes, "--out", out, model});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject s = summaryOf(out + QStringLiteral("/145/summary.json"));
    // The measure: the planes together cover at least what each covers alone.
    const QJsonObject quality = s[QStringLiteral("quality")].toObject();
    const double total = quality[QStringLiteral("total")].toObject()[QStringLiteral("coverage03")].toDouble(-1);
    EXPECT_GT(total, 0.0);
    EXPECT_LE(total, 1.0);
    for (const QJsonValue& p : quality[QStringLiteral("planes")].toArray())
      EXPECT_LE(p.toObject()[QStringLiteral("coverage03")].toDouble(), total + 1e-12);
    const int count = s[QStringLiteral("planes")].toArray().size();
    const QString rule = s[QStringLiteral("stopRule")].toString();
    EXPECT_EQ(s[QStringLiteral("parameters")].toObject()[QStringLiteral("planes")].toInt(), atoi(planes));
    if (atoi(planes) == 0) {
      EXPECT_EQ(rule, QStringLiteral("below threshold"));
      before = count;
    } else {
      EXPECT_EQ(count, atoi(planes)) << rule.toStdString();
      EXPECT_EQ(rule, QStringLiteral("plane count reached"));
    }
    for (const QJsonValue& p : s[QStringLiteral("planes")].toArray())
      EXPECT_GT(p.toObject()[QStringLiteral("area")].toDouble(), 0.0) << planes;
  }
  // The count rule goes past the threshold's planes on this model.
  EXPECT_LT(before, 6);
  EXPECT_TRUE(batch({"--help"}).out.contains(QLatin1String("--quality")));
}

TEST(BatchTool, DrawsAProgressBarOnATerminal) {
  const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
  if (script.isEmpty()) GTEST_SKIP() << "script (util-linux) is not installed";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString box = dir.filePath("box.off");
  ASSERT_TRUE(testsupport::writeTextFile(box, boxOff(0.4f)));
  // script gives the tool a terminal as its standard output.
  const QString command = QStringLiteral("'%1' --out '%2' '%3'").arg(KORVANE_BATCH_EXE, dir.filePath("out"), box);
  const ToolRun r = run(script, {"-qec", command, "/dev/null"});
  EXPECT_EQ(r.code, 0) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains(QStringLiteral("\r\033[K[........................] 0/1 models | box.off: load")))
      << r.out.toStdString();
  EXPECT_TRUE(r.out.contains(QStringLiteral("\r\033[K[########################] 1/1 models"))) << r.out.toStdString();
  EXPECT_FALSE(r.out.contains(QStringLiteral(" done "))) << r.out.toStdString();  // no plain lines
}

TEST(BatchTool, RunsUnderGnuParallelOverAFolder) {
  const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
  if (parallel.isEmpty()) GTEST_SKIP() << "GNU parallel is not installed (scripts/setup.sh --test installs it)";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QDir().mkpath(dir.filePath("models")));
  for (int i = 1; i <= 3; ++i)
    ASSERT_TRUE(testsupport::writeTextFile(dir.filePath(QStringLiteral("models/box%1.off").arg(i)), boxOff(0.1f * i)));
  ASSERT_TRUE(testsupport::writeTextFile(dir.filePath("models/broken.off"), "OFF\n3 1 0\n"));
  QStringList files;
  for (const QString& name : QDir(dir.filePath("models")).entryList(QDir::Files, QDir::Name))
    files << dir.filePath("models/" + name);
  ASSERT_EQ(files.size(), 4);

  // As the README shows it: one tool run per model, two at a time.
  const QString out = dir.filePath("results");
  QStringList args{"--will-cite", "--jobs", "2", KORVANE_BATCH_EXE, "--quiet", "--out", out, "{}", ":::"};
  args << files;
  const ToolRun r = run(parallel, args);
  EXPECT_EQ(r.code, 1) << r.err.toStdString();  // GNU parallel: the number of failed runs
  EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
  EXPECT_EQ(r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts).filter(QStringLiteral("broken.off: ")).size(), 1)
      << r.err.toStdString();
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(summaryOf(out + QStringLiteral("/box%1/summary.json").arg(i))[QStringLiteral("faces")].toInt(), 12) << i;
  EXPECT_FALSE(QFileInfo::exists(out + "/broken/summary.json"));
}

TEST(BatchTool, ParsesTheSmoothingChoiceAndRecordsTheFilterUsed) {
  BatchOptions o;
  QString error;
  ASSERT_TRUE(parseBatchOptions({"--out", "o", "m.off"}, o, error));
  EXPECT_EQ(o.smoothing, SmoothingMethod::Auto);
  ASSERT_TRUE(parseBatchOptions({"--smoothing", "exact", "--out", "o", "m.off"}, o, error));
  EXPECT_EQ(o.smoothing, SmoothingMethod::Exact);
  ASSERT_TRUE(parseBatchOptions({"--smoothing=fast", "--out", "o", "m.off"}, o, error));
  EXPECT_EQ(o.smoothing, SmoothingMethod::Fast);
  // Workers get the same choice.
  BatchOptions w;
  ASSERT_TRUE(parseBatchOptions(workerArguments(o) << "--worker", w, error)) << error.toStdString();
  EXPECT_EQ(w.smoothing, SmoothingMethod::Fast);
  EXPECT_FALSE(parseBatchOptions({"--smoothing", "Fast", "--out", "o", "m.off"}, o, error));
  EXPECT_EQ(error, QStringLiteral("--smoothing: 'Fast' is not auto, exact or fast"));

  // The summary says what was asked and what ran: the bundled model keeps the
  // exact filter under auto; fast when forced.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString model = testsupport::bundledModelPath({"145", "Table 5"});
  for (const char* asked : {"auto", "fast"}) {
    const QString out = dir.filePath(QLatin1String(asked));
    const ToolRun r = batch({"--quiet", "--smoothing", asked, "--out", out, model});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject s = summaryOf(out + QStringLiteral("/145/summary.json"));
    const bool fast = std::strcmp(asked, "fast") == 0;
    EXPECT_EQ(s[QStringLiteral("smoothing")].toString(), QLatin1String(fast ? "fast" : "exact"));
    EXPECT_EQ(s[QStringLiteral("smoothingAsked")].toString(), QLatin1String(asked));
    EXPECT_EQ(s[QStringLiteral("parameters")].toObject()[QStringLiteral("smoothing")].toString(), QLatin1String(asked));
    EXPECT_EQ(s[QStringLiteral("smoothingClusters")].toInt() > 0, fast);
    const QByteArray log = bytes(out + QStringLiteral("/145/debug.log"));
    EXPECT_TRUE(log.contains(fast ? "Smoothing curvatures (fast: " : "Smoothing curvatures (exact: ")) << asked;
  }
}
