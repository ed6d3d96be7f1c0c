#pragma once

#include <QString>

struct BatchOptions;

// The batch over all models. Each model runs in a worker process of its own
// (this program again, with --worker): a model that crashes or hangs the
// engine takes only its worker down, and --jobs N runs N workers at once.
// Returns the exit status: 0 when every model was done or skipped, 1 when
// any failed.
int runBatch(const BatchOptions& options, const QString& workerProgram);

// The worker's side: one model, stages on standard output ("stage NAME"),
// then "done PLANES SECONDS" or "skipped"; warnings and the failure reason
// as "korvane-batch: MODEL: ..." lines on standard error. Returns 0 unless
// the model failed.
int runWorker(const BatchOptions& options);
