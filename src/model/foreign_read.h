#pragma once

#include <QString>
#include <QVector>
#include <atomic>

#include "engine/vec3.h"
#include "model/render_face.h"

// Foreign mesh formats (everything the assimp library reads) are read in a
// child process: a file that crashes the library, makes it loop or makes it
// allocate without bound ends the child, never the program.

// Time one read may take: 10 s, and 1 s more per 2 MB of input. The library
// reads text PLY at about 13 MB/s and binary formats faster, so a real file
// is read in a sixth of its time; a file that makes it read on forever is
// stopped within seconds.
int foreignReadSeconds(long long inputBytes);

// Address space the reading child may add to what it inherits: 1.5 GiB, or
// 40 bytes per byte of input when that is more. Reading a binary PLY of two
// million faces (38 MB) takes the library and the joined mesh about 0.8 GB,
// some 21 bytes per byte, and text formats take fewer per byte; only a file
// that asks for far more than it holds meets this budget.
long long foreignReadMemoryBudget(long long fileBytes);

// The bytes a read of `path` takes in: the file, and for a text glTF the
// files its buffers name. Only bytes the files hold on disk count (a sparse
// file's holes do not).
long long foreignInputBytes(const QString& path);

struct ForeignReadLimits {
  // Bytes of address space for the child; 0: foreignReadMemoryBudget of the
  // file's size.
  long long memoryBytes = 0;
  // 0: foreignReadSeconds of the input's size.
  int seconds = 0;
  // Polled while the child reads: a set flag ends the child at once.
  const std::atomic<bool>* cancel = nullptr;
};

enum class ForeignReadStatus {
  Read,        // the mesh is in `vertices` and `faces`
  Refused,     // the reader refused the file (`error` says why)
  Crashed,     // the child ended on a signal or without an answer
  TimedOut,    // no answer within the time limit; the child was stopped
  OverBudget,  // the file needs more memory than the budget
  Cancelled,   // `cancel` was set; the child was stopped
};

// Reads `path` as readAssimpMesh does, in a forked child with an
// address-space limit, and waits at most `limits.seconds` for it. On anything
// but Read, `vertices` and `faces` are empty and `error` is one line for the
// user: "the reader stopped with signal 11", "the file needs more than 2 GB",
// "no answer after 10 s", or the reader's own reason.
ForeignReadStatus readForeignMesh(const QString& path, QVector<Vec3>& vertices, RenderFaces& faces,
                                  QString& error, const ForeignReadLimits& limits = ForeignReadLimits());
