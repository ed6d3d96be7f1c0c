// libFuzzer target: the segmentation file reader for a mesh whose face count
// comes from the input's first byte, and the segment count.

#include "fuzz_input_file.h"
#include "model/companion_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int faceCount = size > 0 ? data[0] * 7 : 0;
  const char* path = fuzzInputFile(data, size, "_0.seg");
  QVector<int> faceSegment{-5};
  if (!readSegmentation(path, faceCount, faceSegment)) __builtin_trap();  // a regular file always opens
  if (faceSegment.size() != faceCount) __builtin_trap();
  const int count = countSegments(faceSegment);
  if (count > faceCount || (faceCount > 0 && count < 1)) __builtin_trap();
  return 0;
}
