// libFuzzer target: the symmetry file reader. Every record it keeps must be
// a finite plane with a unit normal or a finite axis with a unit direction.

#include <cmath>

#include "fuzz_input_file.h"
#include "model/companion_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzzInputFile(data, size, ".sym");
  QList<CutPlane> planes;
  QList<Axis> axes;
  if (!readSymmetry(path, planes, axes)) __builtin_trap();
  for (const CutPlane& p : planes) {
    if (!p.normal.isFinite() || !std::isfinite(p.d) || !p.point.isFinite()) __builtin_trap();
    if (std::fabs(p.normal.length() - 1.0f) > 1e-3f || p.d < 0.0f) __builtin_trap();
  }
  for (const Axis& a : axes) {
    if (!a.direction.isFinite() || !a.point.isFinite() || !std::isfinite(a.halfLength)) __builtin_trap();
    if (std::fabs(a.direction.length() - 1.0f) > 1e-3f) __builtin_trap();
  }
  return 0;
}
