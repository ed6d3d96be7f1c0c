// Vertex normals: from faces (or strips) weighted per corner by the inverse
// product of the squared lengths of the two edges meeting there, or, for a
// point cloud, from the scatter of the 12 nearest neighbours.

#include <set>

#include "trimesh/eigen.h"
#include "trimesh/kdtree.h"
#include "trimesh/mesh_util.h"
#include "trimesh/trimesh.h"

namespace {

// Adds the weighted normal of triangle (i0, i1, i2) to its corners. Corners
// whose weight is not finite (zero-length edges) get nothing.
inline void accumulate(const std::vector<Vec3>& v, std::vector<Vec3>& normals, int i0, int i1, int i2) {
  const int nv = static_cast<int>(v.size());
  if (i0 < 0 || i0 >= nv || i1 < 0 || i1 >= nv || i2 < 0 || i2 >= nv) return;
  const Vec3 a = v[i0] - v[i1], b = v[i1] - v[i2], c = v[i2] - v[i0];
  const Vec3 n = a.cross(b);
  const float l2a = a.lengthSquared(), l2b = b.lengthSquared(), l2c = c.lengthSquared();
  const Vec3 n0 = n * (1.0f / (l2a * l2c)), n1 = n * (1.0f / (l2a * l2b)), n2 = n * (1.0f / (l2b * l2c));
  if (trimesh_util::finite(n0)) normals[i0] += n0;
  if (trimesh_util::finite(n1)) normals[i1] += n1;
  if (trimesh_util::finite(n2)) normals[i2] += n2;
}

void point_cloud_normals(const std::vector<Vec3>& vertices, std::vector<Vec3>& normals) {
  const int nv = static_cast<int>(vertices.size());
  const float* base = &vertices[0].x;
  KDtree kd(base, vertices.size());
  constexpr int kNeighbours = 12;
  for (int i = 0; i < nv; i++) {
    const float* p = base + 3 * static_cast<size_t>(i);
    // The vertex itself is excluded from the start so that it is not counted
    // as one of its own neighbours.
    std::set<int> found{3 * i};
    NotInSet not_found(base, found);
    std::vector<const float*> nbrs;
    for (int k = 0; k < kNeighbours; k++) {
      const float* q = kd.nearest(p, 0.0f, &not_found);
      if (!q) break;
      nbrs.push_back(q);
      found.insert(static_cast<int>(q - base));
    }
    if (nbrs.size() < 4) {
      print_message("Warning: not enough points for vertex %d\n", i);
      normals[i] = Vec3(0.0f, 0.0f, 1.0f);
      continue;
    }
    double m[3][3] = {};
    for (const float* q : nbrs) {
      double d[3] = {double(q[0]) - p[0], double(q[1]) - p[1], double(q[2]) - p[2]};
      for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) m[r][c] += d[r] * d[c];
    }
    double eval[3];
    trimesh_util::eigen_symmetric3(m, eval);
    Vec3 n(static_cast<float>(m[0][0]), static_cast<float>(m[1][0]), static_cast<float>(m[2][0]));
    if (n.z < 0.0f) n = -n;
    normals[i] = n;
  }
}

}  // namespace

void TriMesh::compute_normals() {
  if (normals.size() == vertices.size()) return;
  if (vertices.empty()) return;
  print_message("Computing normals... ");
  normals.assign(vertices.size(), Vec3(0.0f, 0.0f, 0.0f));

  if (!strips.empty()) {
    const size_t n = strips.size();
    for (size_t i = 0; i < n;) {
      long long len = strips[i];
      if (len < 0 || static_cast<size_t>(len) > n - i - 1) break;
      const int* s = &strips[i + 1];
      for (long long k = 0; k + 2 < len; k++) {
        if (k % 2 == 0)
          accumulate(vertices, normals, s[k], s[k + 1], s[k + 2]);
        else
          accumulate(vertices, normals, s[k + 1], s[k], s[k + 2]);
      }
      i += static_cast<size_t>(len) + 1;
    }
  } else if (ensure_faces()) {
    for (const Face& f : faces) accumulate(vertices, normals, f[0], f[1], f[2]);
  } else {
    point_cloud_normals(vertices, normals);
  }

  for (Vec3& n : normals) n = trimesh_util::normalize_or_x(n);
  print_message("Done.\n");
}
