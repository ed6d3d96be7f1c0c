#pragma once

// Opening input files that are plain files on disk. A device (which can
// deliver bytes without end) or a FIFO (which can block forever) given as a
// mesh or companion file is refused rather than read.

#include <cstdio>

namespace trimesh_util {

// Opens `path` for reading ("r" or "rb" as `mode`) when it names a regular
// file (following symbolic links). Returns nullptr otherwise; `reason` then
// says why (a system error text or "not a regular file"). Opening never
// blocks, even on a FIFO without a writer.
std::FILE* open_regular_file(const char* path, const char* mode, const char** reason = nullptr);

}  // namespace trimesh_util
