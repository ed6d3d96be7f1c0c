// libFuzzer target: a study participant's cut file. Every cut it keeps must
// have a finite unit normal and offset.

#include <cmath>

#include "fuzz_input_file.h"
#include "model/human_cuts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzzInputFile(data, size, ".obj");
  QList<HumanCut> cuts;
  if (!humancuts::readCutFile(path, cuts)) __builtin_trap();
  for (const HumanCut& c : cuts) {
    if (!c.normal.isFinite() || !std::isfinite(c.d) || !c.point.isFinite()) __builtin_trap();
    if (std::fabs(c.normal.length() - 1.0f) > 1e-3f) __builtin_trap();
  }
  return 0;
}
