// libFuzzer target: the render mesh's OFF reader on a file, then the render
// mesh built from what it read.

#include <cmath>

#include "fuzz_input_file.h"
#include "model/render_mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzzInputFile(data, size, ".off");
  QVector<Vec3> vertices;
  RenderFaces faces;
  if (!readOff(path, vertices, faces)) {
    if (!vertices.isEmpty() || !faces.isEmpty()) __builtin_trap();  // a refused file adds nothing
    return 0;
  }
  for (const RenderFace& f : faces) {
    if (f.size() != 3) __builtin_trap();
    for (int v : f)
      if (v < 0 || v >= vertices.size()) __builtin_trap();
  }
  if (!hasFiniteBounds(vertices)) return 0;  // loading refuses such a model
  RenderMesh mesh;
  mesh.setGeometry(vertices, faces);
  mesh.flipFaceNormals();
  if (!std::isfinite(mesh.radius()) || !mesh.centre().isFinite()) __builtin_trap();
  return 0;
}
