#pragma once

#include <QString>

struct BatchOptions;

// The batch over all models. Each model runs in a worker process of its own
// (this program again, with --worker), so a model that crashes the engine
// takes only its worker down. --jobs N runs N workers at once, and each job
// slot starts its next worker ahead, so that its start-up and engine
// construction overlap the current model instead of following it. Returns
// the exit status: 0 when every model was done or skipped, 1 when any failed.
int runBatch(const BatchOptions& options, const QString& workerProgram);

// The worker's side: builds its engine, then takes one model path from
// standard input (percent-encoded, one line) and ends after it, or at the
// input's end without one. For the model: stages on standard output ("stage
// NAME"), warnings and the failure reason ("error korvane-batch: MODEL:
// ..."), then one reply line "done PLANES SECONDS", "skipped" or "failed".
// Returns 0 unless its input was not the batch's.
int runWorker(const BatchOptions& options);
