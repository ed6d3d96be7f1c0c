// libFuzzer target: the OBJ model reader on a file and the render geometry
// loading takes from it.

#include "fuzz_input_file.h"
#include "model/obj_reader.h"
#include "model/render_mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzzInputFile(data, size, ".obj");
  ObjMesh obj;
  if (!readObj(obj, path)) return 0;
  QVector<Vec3> vertices;
  RenderFaces faces;
  objRenderGeometry(obj, vertices, faces);
  for (const RenderFace& f : faces) {
    if (f.size() != 3) __builtin_trap();
    for (int v : f)
      if (v < 0 || v >= vertices.size()) __builtin_trap();
  }
  if (!hasFiniteBounds(vertices)) return 0;
  RenderMesh mesh;
  mesh.setGeometry(vertices, faces);
  return 0;
}
