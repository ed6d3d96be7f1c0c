// Connectivity: faces around each vertex, faces across each edge, and the
// vertices sharing an edge with each vertex.

#include <algorithm>

#include "trimesh/mesh_util.h"
#include "trimesh/trimesh.h"

using trimesh_util::valid_face;

namespace {

// Number of valid faces using each vertex.
std::vector<int> faces_per_vertex(const std::vector<TriMesh::Face>& faces, int nv) {
  std::vector<int> counts(nv, 0);
  for (const TriMesh::Face& f : faces) {
    if (!valid_face(f, nv)) continue;
    for (int j = 0; j < 3; j++) counts[f[j]]++;
  }
  return counts;
}

}  // namespace

// Faces that refer to a vertex outside the vertex list (possible only when a
// caller filled the arrays by hand) take part in no map.
void TriMesh::compute_vertex_faces() {
  if (!vertex_faces.empty()) return;
  if (!ensure_faces()) return;
  print_message("Finding vertex to triangle maps... ");
  const int nv = static_cast<int>(vertices.size());
  const int nf = static_cast<int>(faces.size());
  const std::vector<int> counts = faces_per_vertex(faces, nv);
  vertex_faces.resize(nv);
  for (int i = 0; i < nv; i++) vertex_faces[i].reserve(counts[i]);
  for (int i = 0; i < nf; i++) {
    if (!valid_face(faces[i], nv)) continue;
    for (int j = 0; j < 3; j++) vertex_faces[faces[i][j]].push_back(i);
  }
  print_message("Done.\n");
}

// O(faces x valence). Two faces are linked across an edge only when they run
// along it in opposite directions and neither is linked across that edge yet,
// so the map is symmetric even where more than two faces meet at an edge.
void TriMesh::compute_across_faces() {
  if (!across_faces.empty()) return;
  compute_vertex_faces();
  if (faces.empty() || vertex_faces.size() != vertices.size()) return;
  print_message("Finding across-edge maps... ");
  const int nv = static_cast<int>(vertices.size());
  const int nf = static_cast<int>(faces.size());
  across_faces.assign(nf, Face(-1, -1, -1));
  for (int i = 0; i < nf; i++) {
    if (!valid_face(faces[i], nv)) continue;
    for (int j = 0; j < 3; j++) {
      if (across_faces[i][j] != -1) continue;
      const int u = faces[i][(j + 1) % 3];
      const int v = faces[i][(j + 2) % 3];
      for (int f : vertex_faces[u]) {
        if (f == i) continue;
        const Face& F = faces[f];
        // Corner k of f opposite the edge v -> u.
        int k = -1;
        for (int c = 0; c < 3; c++) {
          if (F[(c + 1) % 3] == v && F[(c + 2) % 3] == u && across_faces[f][c] == -1) {
            k = c;
            break;
          }
        }
        if (k < 0) continue;
        across_faces[i][j] = f;
        across_faces[f][k] = i;
        break;
      }
    }
  }
  print_message("Done.\n");
}

void TriMesh::compute_neighbors() {
  if (!vertex_neighbors.empty()) return;
  if (!ensure_faces()) return;
  print_message("Finding vertex neighbors... ");
  const int nv = static_cast<int>(vertices.size());
  const int nf = static_cast<int>(faces.size());
  const std::vector<int> counts = faces_per_vertex(faces, nv);
  vertex_neighbors.resize(nv);
  for (int i = 0; i < nv; i++) vertex_neighbors[i].reserve(counts[i] + 2);
  for (int i = 0; i < nf; i++) {
    const Face& f = faces[i];
    if (!valid_face(f, nv)) continue;
    for (int j = 0; j < 3; j++) {
      std::vector<int>& list = vertex_neighbors[f[j]];
      const int n1 = f[(j + 1) % 3], n2 = f[(j + 2) % 3];
      if (std::find(list.begin(), list.end(), n1) == list.end()) list.push_back(n1);
      if (std::find(list.begin(), list.end(), n2) == list.end()) list.push_back(n2);
    }
  }
  print_message("Done.\n");
}
