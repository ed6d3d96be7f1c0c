// libFuzzer target: a foreign mesh file read through the child process, as
// loading reads it. The first byte chooses the file's extension (the format
// the library is asked for); the rest is the file. A crash, hang or
// over-budget read inside the library ends only the child and must come back
// as its status; a read mesh must be indexed within its vertices.

#include "fuzz_input_file.h"
#include "model/foreign_read.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kSuffixes[] = {".ply", ".stl", ".gltf", ".glb", ".3ds", ".dae", ".x", ".fbx"};
  constexpr size_t kCount = sizeof kSuffixes / sizeof kSuffixes[0];
  if (size < 1) return 0;
  const char* suffix = kSuffixes[data[0] % kCount];
  // One scratch file per extension: the name's suffix chooses the format.
  static std::string paths[kCount];
  std::string& path = paths[data[0] % kCount];
  if (path.empty()) path = std::string("/tmp/korvane-fuzz-") + std::to_string(getpid()) + suffix;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) __builtin_trap();
  if (size > 1 && std::fwrite(data + 1, 1, size - 1, f) != size - 1) __builtin_trap();
  std::fclose(f);
  fuzzInputFile(nullptr, 0, ".unused");  // silences the debug output once

  QVector<Vec3> vertices;
  RenderFaces faces;
  QString error;
  ForeignReadLimits limits;
  limits.seconds = 5;
  limits.memoryBytes = 512ll << 20;
  const ForeignReadStatus status = readForeignMesh(QString::fromLocal8Bit(path.c_str()), vertices, faces, error, limits);
  if (status != ForeignReadStatus::Read) {
    if (!vertices.isEmpty() || !faces.isEmpty() || error.isEmpty()) __builtin_trap();
    return 0;
  }
  if (faces.isEmpty()) __builtin_trap();
  for (const RenderFace& face : faces) {
    if (face.size() != 3) __builtin_trap();
    for (int v : face)
      if (v < 0 || v >= vertices.size()) __builtin_trap();
  }
  return 0;
}
