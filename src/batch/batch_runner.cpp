#include "batch/batch_runner.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTimer>
#include <QThread>
#include <QVector>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "batch/batch_options.h"
#include "batch/model_job.h"
#include "batch/progress_display.h"
#include "engine/sorvex.h"

namespace {

QString errorLine(const QString& model, const QString& text) {
  return QStringLiteral("korvane-batch: ") + model + QStringLiteral(": ") + text;
}

struct Worker {
  std::unique_ptr<QProcess> process;
  QString model;                            // the model it works on; empty while idle
  QByteArray out, err;                      // unread partial lines
  bool writing = false;                     // past its run: writes its files while the slot goes on
  QString stage = QStringLiteral("start");  // the last stage it named
  std::unique_ptr<QTimer> limit;            // the model's time limit
  bool timedOut = false;
};

// The longest line taken from a worker's output; a longer run without a line
// break (a library printing without end) is taken in pieces of this size.
constexpr int kMaxWorkerLineBytes = 64 * 1024;

// Takes the first whole line of `buffer` (without its break, trimmed).
bool takeLine(QByteArray& buffer, QString& line) {
  int nl = buffer.indexOf('\n');
  if (nl < 0 && buffer.size() >= kMaxWorkerLineBytes) nl = kMaxWorkerLineBytes;
  if (nl < 0) return false;
  line = QString::fromLocal8Bit(buffer.left(nl)).trimmed();
  buffer.remove(0, qMin(nl + 1, buffer.size()));
  return true;
}

// A model path as one line of the worker's standard input: percent-encoded,
// so that no byte of a file name can end or split the line.
QByteArray requestLine(const QString& model) { return QFile::encodeName(model).toPercentEncoding() + '\n'; }

// The longest request line a worker reads (a percent-encoded path).
constexpr int kMaxRequestBytes = 3 * 4096 + 2;

// Test hook of the worker, not an option: a comma-separated list of model
// file names, each optionally with "@stage". A worker asked for such a model
// aborts, as a crash in the engine would end it: at once, or when the model
// reaches that stage.
QString abortStageFor(const QString& model) {
  const QString name = QFileInfo(model).fileName();
  for (const QString& entry : qEnvironmentVariable("KORVANE_BATCH_WORKER_ABORT").split(QLatin1Char(','))) {
    const int at = entry.indexOf(QLatin1Char('@'));
    if ((at < 0 ? entry : entry.left(at)) == name && !name.isEmpty())
      return at < 0 ? QStringLiteral("start") : entry.mid(at + 1);
  }
  return QString();
}

// One line for the batch's standard error, through the worker's output.
void sayError(QString line) {
  line.replace(QLatin1Char('\n'), QLatin1Char(' '));
  std::fprintf(stdout, "error %s\n", line.toLocal8Bit().constData());
}

void reply(const char* line) {
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

int runWorker(const BatchOptions& options) {
  if (!options.models.isEmpty()) {
    std::fprintf(stderr, "korvane-batch: a worker takes its model on standard input\n");
    return 2;
  }
  // The engine is built on a thread of its own, while the worker waits for
  // its model (the batch starts a worker ahead, while another model runs) or
  // reads it (the first workers' models come at once). It lives on in the
  // main thread. A worker does one model, and its process's end frees the
  // engine without walking its bins.
  Sorvex* engine = nullptr;
  QThread* mainThread = QThread::currentThread();
  std::thread builder([&engine, mainThread] {
    engine = new Sorvex(nullptr);
    engine->moveToThread(mainThread);
  });
  const auto engineReady = [&]() -> Sorvex* {
    if (builder.joinable()) builder.join();
    return engine;
  };
  struct JoinOnExit {
    std::thread& t;
    ~JoinOnExit() {
      if (t.joinable()) t.join();
    }
  } joinOnExit{builder};
  std::vector<char> buffer(kMaxRequestBytes + 1);
  while (std::fgets(buffer.data(), int(buffer.size()), stdin)) {
    QByteArray request(buffer.data());
    if (!request.endsWith('\n')) {
      // Longer than any request the batch sends: not one of its lines.
      std::fprintf(stderr, "korvane-batch: a worker request line is too long\n");
      return 2;
    }
    request.chop(1);
    if (request.isEmpty()) continue;
    const QString model = QFile::decodeName(QByteArray::fromPercentEncoding(request));
    const QString abortAt = abortStageFor(model);
    if (abortAt == QLatin1String("start")) std::abort();
    const ModelJobResult r = runModelJob(
        model, options,
        [&abortAt](const char* stage) {
          std::fprintf(stdout, "stage %s\n", stage);
          std::fflush(stdout);
          if (abortAt == QLatin1String(stage)) std::abort();
        },
        engineReady);
    // Warnings and the reason go on standard output, before the reply, so
    // that the batch shows them in order, with the model they belong to.
    for (const QString& w : r.warnings) sayError(errorLine(model, QStringLiteral("warning: ") + w));
    if (r.status == ModelJobResult::Failed) sayError(errorLine(model, r.reason));
    switch (r.status) {
      case ModelJobResult::Done:
        // The seconds in the same notation whatever the user's locale.
        std::fprintf(stdout, "done %i %s%s\n", r.planeCount, QByteArray::number(r.seconds, 'f', 3).constData(),
                     r.quality.isEmpty() ? "" : (" " + r.quality.simplified().toUtf8()).constData());
        std::fflush(stdout);
        break;
      case ModelJobResult::Skipped:
        reply("skipped");
        break;
      case ModelJobResult::Failed:
        reply("failed");
        break;
    }
    break;
  }
  return 0;
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
  // Per slot the worker on the current model and one started ahead, which
  // starts up and builds its engine while the current model runs.
  std::vector<Worker*> active(static_cast<size_t>(slotCount), nullptr), ahead(static_cast<size_t>(slotCount), nullptr);
  std::vector<std::unique_ptr<Worker>> live;
  int next = 0, running = 0;
  bool cannotStart = false;
  QEventLoop loop;

  std::function<Worker*(int)> spawn;
  // The slot's next model to the worker started ahead (or a new one), and
  // another worker started ahead while models remain.
  const auto assign = [&](int slot) {
    active[size_t(slot)] = nullptr;
    if (next >= pending.size()) {
      if (Worker* spare = ahead[size_t(slot)]) spare->process->closeWriteChannel();
      ahead[size_t(slot)] = nullptr;
      return;
    }
    Worker* w = ahead[size_t(slot)];
    ahead[size_t(slot)] = nullptr;
    if (!w && !cannotStart) w = spawn(slot);
    if (!w) return;
    active[size_t(slot)] = w;
    w->model = pending[next++];
    if (options.timeoutSeconds > 0) {
      // A model that takes too long (a library looping on its file, work
      // that grows too fast) has its worker stopped; onFinished says why.
      w->limit.reset(new QTimer);
      w->limit->setSingleShot(true);
      QObject::connect(w->limit.get(), &QTimer::timeout, [w] {
        if (w->model.isEmpty() || !w->process) return;
        w->timedOut = true;
        w->process->kill();
      });
      w->limit->start(options.timeoutSeconds * 1000);
    }
    display.stage(slot, QFileInfo(w->model).fileName(), QStringLiteral("starting"));
    w->process->write(requestLine(w->model));
    w->process->closeWriteChannel();
    if (next < pending.size() && !cannotStart) ahead[size_t(slot)] = spawn(slot);
  };
  // Whole lines of the worker's standard error, passed on as they come.
  const auto readErr = [&](Worker* w, bool flushAll) {
    w->err += w->process->readAllStandardError();
    QString line;
    while (takeLine(w->err, line))
      if (!line.isEmpty()) display.error(line);
    if (flushAll && !w->err.trimmed().isEmpty()) display.error(QString::fromLocal8Bit(w->err).trimmed());
    if (flushAll) w->err.clear();
  };
  // Stage lines and the line that ends the model, from standard output.
  const auto readOut = [&](Worker* w, int slot) {
    w->out += w->process->readAllStandardOutput();
    QString line;
    while (takeLine(w->out, line)) {
      if (w->model.isEmpty()) continue;
      if (line.startsWith(QLatin1String("stage "))) {
        w->stage = line.mid(6);
        if (active[size_t(slot)] != w) continue;  // the slot shows its next model
        display.stage(slot, QFileInfo(w->model).fileName(), line.mid(6));
        // The engine's work is over once the exports begin: the slot's next
        // model loads while this one writes its files.
        if (line == QLatin1String("stage export")) {
          w->writing = true;
          assign(slot);
        }
        continue;
      }
      if (line.startsWith(QLatin1String("error "))) {
        display.error(line.mid(6));
        continue;
      }
      // A worker that has handed its slot on leaves the slot's line alone.
      const int shown = active[size_t(slot)] == w || !active[size_t(slot)] ? slot : -1;
      if (line.startsWith(QLatin1String("done "))) {
        const QStringList parts = line.split(QLatin1Char(' '));
        QString detail = QStringLiteral("%1 planes, %2 s").arg(parts.value(1), parts.value(2));
        if (parts.size() > 3) detail += QStringLiteral("; ") + QStringList(parts.mid(3)).join(QLatin1Char(' '));
        display.finished(shown, w->model, QStringLiteral("done"), detail);
      } else if (line == QLatin1String("skipped")) {
        display.finished(shown, w->model, QStringLiteral("skipped"), QStringLiteral("summary exists"));
      } else if (line == QLatin1String("failed")) {
        anyFailed = true;
        display.finished(shown, w->model, QStringLiteral("failed"), QString());
      } else {
        continue;
      }
      // The worker ends by itself; the slot goes on at once.
      w->model.clear();
      if (active[size_t(slot)] == w) assign(slot);
    }
  };
  const auto onFinished = [&](Worker* w, int slot, int exitCode, QProcess::ExitStatus status) {
    readOut(w, slot);
    readErr(w, true);
    if (!w->model.isEmpty()) {
      // The worker ended in the middle of its model: that model failed, with
      // the reason said here since the worker could not say it.
      anyFailed = true;
      const QString where = QStringLiteral(" in stage ") + w->stage;
      if (w->timedOut)
        display.error(errorLine(
            w->model,
            QStringLiteral("no answer after %1 s%2; the worker was stopped").arg(options.timeoutSeconds).arg(where)));
      else if (status != QProcess::NormalExit)
        // A crashed process's exit code is the signal that ended it.
        display.error(errorLine(
            w->model, QStringLiteral("the worker process stopped with signal %1%2").arg(exitCode).arg(where)));
      else
        display.error(
            errorLine(w->model, QStringLiteral("the worker process ended with status %1%2").arg(exitCode).arg(where)));
      display.finished(active[size_t(slot)] == w || !active[size_t(slot)] ? slot : -1, w->model,
                       QStringLiteral("failed"), QString());
      w->model.clear();
    } else if (status != QProcess::NormalExit || exitCode != 0) {
      anyFailed = true;
      display.error(QStringLiteral("korvane-batch: a worker process ended with status %1").arg(exitCode));
    }
    if (ahead[size_t(slot)] == w) ahead[size_t(slot)] = nullptr;
    const bool wasActive = active[size_t(slot)] == w;
    w->process.release()->deleteLater();
    --running;
    // A fresh worker (the one started ahead, if it lives) for the rest.
    if (wasActive) assign(slot);
    if (running == 0) loop.quit();
  };
  spawn = [&](int slot) -> Worker* {
    live.emplace_back(new Worker);
    Worker* w = live.back().get();
    w->process.reset(new QProcess);
    QProcess* p = w->process.get();
    QObject::connect(p, &QProcess::readyReadStandardOutput, [&, w, slot] { readOut(w, slot); });
    QObject::connect(p, &QProcess::readyReadStandardError, [&, w, slot] { readErr(w, false); });
    QObject::connect(p, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                     [&, w, slot](int code, QProcess::ExitStatus st) { onFinished(w, slot, code, st); });
    QObject::connect(p, &QProcess::errorOccurred, [&, w, slot](QProcess::ProcessError e) {
      if (e != QProcess::FailedToStart || !w->process) return;
      cannotStart = true;
      onFinished(w, slot, -1, QProcess::CrashExit);
    });
    ++running;
    p->start(workerProgram, common);
    return w->process ? w : nullptr;  // null when it failed to start at once
  };

  for (int s = 0; s < slotCount; ++s) assign(s);
  if (running > 0) loop.exec();
  for (; next < pending.size(); ++next) {
    anyFailed = true;
    display.error(errorLine(pending[next], QStringLiteral("no worker process could be started")));
    display.finished(-1, pending[next], QStringLiteral("failed"), QString());
  }
  display.close();
  return anyFailed ? 1 : 0;
}
