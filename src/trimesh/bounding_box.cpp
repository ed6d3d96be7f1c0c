#include "trimesh/mesh_util.h"
#include "trimesh/trimesh.h"

// Vertices with a NaN or infinite coordinate are left out of the bounds.
void TriMesh::compute_bounding_box() {
  if (vertices.empty() || bounding_box.valid) return;
  print_message("Computing bounding box... ");
  bool any = false;
  Vec3 lo, hi;
  for (const Vec3& p : vertices) {
    if (!trimesh_util::finite(p)) continue;
    if (!any) {
      lo = hi = p;
      any = true;
      continue;
    }
    for (int k = 0; k < 3; k++) {
      if (p[k] < lo[k]) lo[k] = p[k];
      if (p[k] > hi[k]) hi[k] = p[k];
    }
  }
  if (any) {
    bounding_box.min = lo;
    bounding_box.max = hi;
  } else {
    bounding_box.min = bounding_box.max = Vec3(0.0f, 0.0f, 0.0f);
  }
  bounding_box.valid = true;
  print_message("Done.\n  x = %g .. %g, y = %g .. %g, z = %g .. %g\n", bounding_box.min.x, bounding_box.max.x,
                bounding_box.min.y, bounding_box.max.y, bounding_box.min.z, bounding_box.max.z);
}
