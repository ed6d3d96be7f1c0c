// Voronoi-style area per face corner and per vertex: acute faces split by
// the circumcentre, obtuse ones give half their area to the obtuse corner.

#include "trimesh/mesh_util.h"
#include "trimesh/trimesh.h"

void TriMesh::compute_point_areas() {
  if (point_areas.size() == vertices.size()) return;
  if (!ensure_faces()) return;
  print_message("Computing point areas... ");
  const int nv = static_cast<int>(vertices.size());
  const int nf = static_cast<int>(faces.size());
  point_areas.assign(nv, 0.0f);
  corner_areas.assign(nf, Vec3(0.0f, 0.0f, 0.0f));

  for (int i = 0; i < nf; i++) {
    const Face& f = faces[i];
    if (!trimesh_util::valid_face(f, nv)) continue;
    const Vec3 e0 = vertices[f[2]] - vertices[f[1]];
    const Vec3 e1 = vertices[f[0]] - vertices[f[2]];
    const Vec3 e2 = vertices[f[1]] - vertices[f[0]];
    const float area = 0.5f * e0.cross(e1).length();
    const float l0 = e0.lengthSquared(), l1 = e1.lengthSquared(), l2 = e2.lengthSquared();
    const float ew0 = l0 * (l1 + l2 - l0), ew1 = l1 * (l0 + l2 - l1), ew2 = l2 * (l0 + l1 - l2);
    float c0, c1, c2;
    if (ew0 <= 0.0f) {
      c1 = -0.25f * l2 * area / e0.dot(e2);
      c2 = -0.25f * l1 * area / e0.dot(e1);
      c0 = area - c1 - c2;
    } else if (ew1 <= 0.0f) {
      c2 = -0.25f * l0 * area / e1.dot(e0);
      c0 = -0.25f * l2 * area / e1.dot(e2);
      c1 = area - c2 - c0;
    } else if (ew2 <= 0.0f) {
      c0 = -0.25f * l1 * area / e2.dot(e1);
      c1 = -0.25f * l0 * area / e2.dot(e0);
      c2 = area - c0 - c1;
    } else {
      const float s = 0.5f * area / (ew0 + ew1 + ew2);
      c0 = s * (ew1 + ew2);
      c1 = s * (ew2 + ew0);
      c2 = s * (ew0 + ew1);
    }
    // A degenerate face (zero area, or edges so short that the divisions
    // above lose all meaning) gives nothing, rather than NaN, to its corners;
    // rounding that would make a share negative is spread evenly instead.
    if (!(area > 0.0f) || !std::isfinite(area)) {
      c0 = c1 = c2 = 0.0f;
    } else if (!std::isfinite(c0) || !std::isfinite(c1) || !std::isfinite(c2) || c0 < 0.0f || c1 < 0.0f || c2 < 0.0f) {
      c0 = c1 = c2 = area / 3.0f;
    }
    corner_areas[i] = Vec3(c0, c1, c2);
    point_areas[f[0]] += c0;
    point_areas[f[1]] += c1;
    point_areas[f[2]] += c2;
  }
  print_message("Done.\n");
}
