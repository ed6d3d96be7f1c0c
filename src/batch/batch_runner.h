#pragma once

#include <QString>

struct BatchOptions;

// The batch over all models. The models run in worker processes (this
// program again, with --worker), one per job slot, each taking model after
// model: a model that crashes the engine takes only its worker down, and a
// fresh worker goes on with the models still to do. --jobs N runs N workers
// at once.
// Returns the exit status: 0 when every model was done or skipped, 1 when
// any failed.
int runBatch(const BatchOptions& options, const QString& workerProgram);

// The worker's side: model paths on standard input, one percent-encoded
// path a line, until its end. Per model: stages on standard output
// ("stage NAME"), warnings and the failure reason ("error korvane-batch:
// MODEL: ..."), then one reply line "done PLANES SECONDS",
// "skipped" or "failed". Returns 0 unless its input was not the batch's.
int runWorker(const BatchOptions& options);
