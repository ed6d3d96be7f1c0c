// libFuzzer target: reads arbitrary bytes as a mesh file and, when they make
// a mesh, runs the loading pipeline's whole chain of derived data on it.
// Build and run with scripts/fuzz.sh.

#include <cstddef>
#include <cstdint>

#include "trimesh/trimesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TriMesh::set_verbose(0);
  TriMesh::set_error_callback([](const char*) {});
  auto mesh = TriMesh::read_memory(reinterpret_cast<const char*>(data), size, "fuzz input");
  if (!mesh) return 0;
  mesh->build_strips();
  mesh->compute_bounding_sphere();
  mesh->compute_normals();
  mesh->compute_curvatures();
  mesh->compute_curv_derivs();
  // A sigma tied to the model's size (as for a unit-size model at 0.01),
  // plus the degenerate ones.
  const float r = mesh->bounding_sphere.r;
  const float sigma = (size % 3 == 0) ? 0.0f : (size % 3 == 1 ? 0.05f * r : 1e30f);
  mesh->smooth_curvatures(sigma);
  mesh->smooth_curv_derivs(sigma);
  return 0;
}
