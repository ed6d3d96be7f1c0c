#pragma once

// The model readers take a file path, as loading does: each input is written
// to one scratch file per fuzzing process and read back through the path.
// Debug output is silenced so that the fuzzer's own output stays readable.

#include <QtGlobal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

inline const char* fuzzInputFile(const uint8_t* data, size_t size, const char* suffix) {
  static bool quiet = false;
  if (!quiet) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    quiet = true;
  }
  static std::string path;
  if (path.empty()) path = "/tmp/korvane-fuzz-" + std::to_string(getpid()) + suffix;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) __builtin_trap();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) __builtin_trap();
  std::fclose(f);
  return path.c_str();
}
