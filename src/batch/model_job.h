#pragma once

#include <QString>
#include <QStringList>
#include <functional>

struct BatchOptions;
class Sorvex;

// One model through the research pipeline, as the research window runs it:
// load with companion files, (normalise), the plane-selection run, the
// exports, then DIR/<model name>/summary.json, written last and atomically,
// so that its presence means the model is finished.

struct ModelJobResult {
  enum Status { Done, Skipped, Failed };
  Status status = Failed;
  QString reason;        // one line, for a failed model
  QStringList warnings;  // also in the summary
  int planeCount = 0;
  double seconds = 0.0;  // whole job
  QString quality;       // with --quality: coverage against the baselines, one line
};

// Name of the model's output folder: its file name without the extension
// ("a/385.off" -> "385").
QString modelOutputName(const QString& modelPath);
QString modelOutputDir(const QString& outDir, const QString& modelPath);
QString modelSummaryPath(const QString& outDir, const QString& modelPath);

// The panel's values from `options` into the engine, in the order the panel
// hands them over (not the companion switches, which go with the load).
void applyBatchOptions(Sorvex& engine, const BatchOptions& options);

// Runs the job. `stage`, when set, is told each stage as it begins ("load",
// "normalize", "features", "voting", "selection", "export"). A model whose
// summary exists is skipped unless options.force. Installs its own debug
// message handler for the duration (the log goes to DIR/<name>/debug.log),
// so only one job may run in a process at a time. `engine`, when given, is
// asked for the engine to use once the model has been read (a worker builds
// it on another thread meanwhile); otherwise the job makes its own.
ModelJobResult runModelJob(const QString& modelPath, const BatchOptions& options,
                           const std::function<void(const char*)>& stage = nullptr,
                           const std::function<Sorvex*()>& engine = nullptr);
