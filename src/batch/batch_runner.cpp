#include "batch/batch_runner.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QVector>
#include <cstdio>
#include <memory>
#include <vector>

#include "batch/batch_options.h"
#include "batch/model_job.h"
#include "batch/progress_display.h"

namespace {

QString errorLine(const QString& model, const QString& text) {
  return QStringLiteral("korvane-batch: ") + model + QStringLiteral(": ") + text;
}

struct Worker {
  std::unique_ptr<QProcess> process;
  QString model;
  QByteArray out, err;  // unread partial lines
  QString result;       // "done ..." or "skipped" once the worker said so
};

}  // namespace

int runWorker(const BatchOptions& options) {
  if (options.models.size() != 1) {
    std::fprintf(stderr, "korvane-batch: a worker takes exactly one model\n");
    return 2;
  }
  const QString model = options.models.first();
  const ModelJobResult r = runModelJob(model, options, [](const char* stage) {
    std::fprintf(stdout, "stage %s\n", stage);
    std::fflush(stdout);
  });
  for (const QString& w : r.warnings)
    std::fprintf(stderr, "%s\n", errorLine(model, QStringLiteral("warning: ") + w).toLocal8Bit().constData());
  switch (r.status) {
    case ModelJobResult::Done:
      std::fprintf(stdout, "done %i %.3f\n", r.planeCount, r.seconds);
      return 0;
    case ModelJobResult::Skipped:
      std::fprintf(stdout, "skipped\n");
      return 0;
    case ModelJobResult::Failed:
      break;
  }
  std::fprintf(stderr, "%s\n", errorLine(model, r.reason).toLocal8Bit().constData());
  return 1;
}

int runBatch(const BatchOptions& options, const QString& workerProgram) {
  ProgressDisplay display(ProgressDisplay::modeFor(options.quiet), options.models.size());
  if (!QDir().mkpath(options.outDir)) {
    display.error(QStringLiteral("korvane-batch: cannot create the output folder ") + options.outDir);
    return 1;
  }

  // Two models with the same name would write into the same folder.
  QHash<QString, QString> folderOwner;
  QVector<QString> pending;
  bool anyFailed = false;
  for (const QString& model : options.models) {
    const QString name = modelOutputName(model);
    if (folderOwner.contains(name)) {
      display.finished(-1, model, QStringLiteral("failed"), QString());
      display.error(errorLine(model, QStringLiteral("its output folder %1 is already used by %2")
                                         .arg(modelOutputDir(options.outDir, model), folderOwner[name])));
      anyFailed = true;
      continue;
    }
    folderOwner.insert(name, model);
    if (!options.force && QFileInfo::exists(modelSummaryPath(options.outDir, model))) {
      display.finished(-1, model, QStringLiteral("skipped"), QStringLiteral("summary exists"));
      continue;
    }
    pending.append(model);
  }

  const QStringList common = workerArguments(options) << QStringLiteral("--worker");
  const int slotCount = qMax(1, qMin(options.jobs, int(pending.size())));
  std::vector<Worker> workers(static_cast<size_t>(slotCount));
  int next = 0, running = 0;
  QEventLoop loop;

  std::function<void(int)> startNext;
  // Stage lines and the final line from the worker's standard output.
  const auto readOut = [&](int slot) {
    Worker& w = workers[size_t(slot)];
    w.out += w.process->readAllStandardOutput();
    int nl;
    while ((nl = w.out.indexOf('\n')) >= 0) {
      const QString line = QString::fromLocal8Bit(w.out.left(nl)).trimmed();
      w.out.remove(0, nl + 1);
      if (line.startsWith(QLatin1String("stage ")))
        display.stage(slot, QFileInfo(w.model).fileName(), line.mid(6));
      else if (line.startsWith(QLatin1String("done ")) || line == QLatin1String("skipped"))
        w.result = line;
    }
  };
  // Whole lines of the worker's standard error, passed on as they come.
  const auto readErr = [&](int slot, bool flushAll) {
    Worker& w = workers[size_t(slot)];
    w.err += w.process->readAllStandardError();
    int nl;
    while ((nl = w.err.indexOf('\n')) >= 0) {
      const QString line = QString::fromLocal8Bit(w.err.left(nl)).trimmed();
      w.err.remove(0, nl + 1);
      if (!line.isEmpty()) display.error(line);
    }
    if (flushAll && !w.err.trimmed().isEmpty()) display.error(QString::fromLocal8Bit(w.err).trimmed());
    if (flushAll) w.err.clear();
  };
  const auto onFinished = [&](int slot, int exitCode, QProcess::ExitStatus status) {
    Worker& w = workers[size_t(slot)];
    readOut(slot);
    readErr(slot, true);
    if (status == QProcess::NormalExit && exitCode == 0 && w.result.startsWith(QLatin1String("done "))) {
      const QStringList parts = w.result.split(QLatin1Char(' '));
      display.finished(slot, w.model, QStringLiteral("done"),
                       QStringLiteral("%1 planes, %2 s").arg(parts.value(1), parts.value(2)));
    } else if (status == QProcess::NormalExit && exitCode == 0 && w.result == QLatin1String("skipped")) {
      display.finished(slot, w.model, QStringLiteral("skipped"), QStringLiteral("summary exists"));
    } else {
      anyFailed = true;
      // A worker that ended without its reason line: say what happened.
      if (status != QProcess::NormalExit)
        display.error(errorLine(
            w.model, QStringLiteral("the worker process crashed (") + w.process->errorString() + QStringLiteral(")")));
      else if (exitCode != 1)
        display.error(errorLine(w.model, QStringLiteral("the worker process ended with status %1").arg(exitCode)));
      display.finished(slot, w.model, QStringLiteral("failed"), QString());
    }
    w.process.release()->deleteLater();
    --running;
    startNext(slot);
    if (running == 0) loop.quit();
  };
  startNext = [&](int slot) {
    if (next >= pending.size()) return;
    Worker& w = workers[size_t(slot)];
    w = Worker();
    w.model = pending[next++];
    w.process.reset(new QProcess);
    QProcess* p = w.process.get();
    QObject::connect(p, &QProcess::readyReadStandardOutput, [&, slot] { readOut(slot); });
    QObject::connect(p, &QProcess::readyReadStandardError, [&, slot] { readErr(slot, false); });
    QObject::connect(p, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                     [&, slot](int code, QProcess::ExitStatus st) { onFinished(slot, code, st); });
    QObject::connect(p, &QProcess::errorOccurred, [&, slot](QProcess::ProcessError e) {
      if (e == QProcess::FailedToStart) onFinished(slot, -1, QProcess::CrashExit);
    });
    ++running;
    display.stage(slot, QFileInfo(w.model).fileName(), QStringLiteral("starting"));
    p->start(workerProgram, QStringList(common) << QStringLiteral("--") << w.model);
  };

  for (int s = 0; s < slotCount; ++s) startNext(s);
  if (running > 0) loop.exec();
  display.close();
  return anyFailed ? 1 : 0;
}
