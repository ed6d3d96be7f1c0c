// Connectivity: faces around each vertex, faces across each edge, and the
// vertices sharing an edge with each vertex.

#include <algorithm>
#include <cstdint>
#include <vector>

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

namespace {

// Open-addressing hash table from a directed edge (a, b) to the chain of the
// face corners opposite that edge, in increasing (face, corner) order. A
// corner is identified as 3 * face + corner. Each chain keeps a cursor past
// the corners that are already linked, so that walking the chains costs time
// linear in the number of corners overall.
class DirectedEdgeTable {
 public:
  explicit DirectedEdgeTable(size_t corners) : next_(corners, -1) {
    size_t capacity = 16;
    while (capacity < 2 * corners) capacity *= 2;
    slots_.resize(capacity);
    mask_ = capacity - 1;
  }

  // Appends corner id `corner` to the chain of edge (a, b). Corners must be
  // added in increasing order.
  void add(int a, int b, int corner) {
    Slot& s = find(key(a, b), true);
    if (s.first < 0) {
      s.first = s.last = s.cursor = corner;
    } else {
      next_[static_cast<size_t>(s.last)] = corner;
      s.last = corner;
    }
  }

  // First corner of the chain of (a, b) that `usable` accepts, or -1.
  // Corners that `linked` reports as taken are dropped from the chain's
  // front for good; `usable` may reject a corner without dropping it.
  template <class Linked, class Usable>
  int first(int a, int b, Linked linked, Usable usable) {
    Slot& s = find(key(a, b), false);
    if (s.first < 0) return -1;
    while (s.cursor >= 0 && linked(s.cursor)) s.cursor = next_[static_cast<size_t>(s.cursor)];
    for (int c = s.cursor; c >= 0; c = next_[static_cast<size_t>(c)])
      if (!linked(c) && usable(c)) return c;
    return -1;
  }

 private:
  struct Slot {
    uint64_t key = 0;
    int first = -1, last = -1, cursor = -1;
  };

  static uint64_t key(int a, int b) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
  }

  Slot& find(uint64_t k, bool insert) {
    // Mixes the key so that regular vertex numberings spread over the table.
    uint64_t h = k * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    size_t i = static_cast<size_t>(h) & mask_;
    while (slots_[i].first >= 0 && slots_[i].key != k) i = (i + 1) & mask_;
    if (insert && slots_[i].first < 0) slots_[i].key = k;
    return slots_[i];
  }

  std::vector<Slot> slots_;
  std::vector<int> next_;
  size_t mask_ = 0;
};

}  // namespace

// Linear in the number of corners: every directed edge is looked up in a
// hash table. Two faces are linked across an edge only when they run along
// it in opposite directions and neither is linked across that edge yet, so
// the map is symmetric even where more than two faces meet at an edge. Of
// several candidates the face with the smallest index is taken, the same one
// a walk over the faces around the edge's vertex in increasing order finds.
void TriMesh::compute_across_faces() {
  if (!across_faces.empty()) return;
  compute_vertex_faces();
  if (faces.empty() || vertex_faces.size() != vertices.size()) return;
  print_message("Finding across-edge maps... ");
  const int nv = static_cast<int>(vertices.size());
  const int nf = static_cast<int>(faces.size());
  across_faces.assign(nf, Face(-1, -1, -1));

  // Corner j of face i lies opposite the edge from corner j + 1 to corner j + 2.
  DirectedEdgeTable edges(3 * static_cast<size_t>(nf));
  for (int i = 0; i < nf; i++) {
    if (!valid_face(faces[i], nv)) continue;
    for (int j = 0; j < 3; j++) edges.add(faces[i][(j + 1) % 3], faces[i][(j + 2) % 3], 3 * i + j);
  }
  auto linked = [&](int corner) { return across_faces[corner / 3][corner % 3] != -1; };
  for (int i = 0; i < nf; i++) {
    if (!valid_face(faces[i], nv)) continue;
    for (int j = 0; j < 3; j++) {
      if (across_faces[i][j] != -1) continue;
      const int u = faces[i][(j + 1) % 3];
      const int v = faces[i][(j + 2) % 3];
      // A face running along v -> u, other than this one.
      const int c = edges.first(v, u, linked, [i](int corner) { return corner / 3 != i; });
      if (c < 0) continue;
      across_faces[i][j] = c / 3;
      across_faces[c / 3][c % 3] = i;
    }
  }
  print_message("Done.\n");
}

// Linear in the number of corners: each vertex first collects the other two
// corners of every face it is in, in face order, and then keeps the first
// occurrence of each, marked in one array shared by all vertices.
void TriMesh::compute_neighbors() {
  if (!vertex_neighbors.empty()) return;
  if (!ensure_faces()) return;
  print_message("Finding vertex neighbors... ");
  const int nv = static_cast<int>(vertices.size());
  const int nf = static_cast<int>(faces.size());
  const std::vector<int> counts = faces_per_vertex(faces, nv);
  vertex_neighbors.resize(nv);
  for (int i = 0; i < nv; i++) vertex_neighbors[i].reserve(2 * static_cast<size_t>(counts[i]));
  for (int i = 0; i < nf; i++) {
    const Face& f = faces[i];
    if (!valid_face(f, nv)) continue;
    for (int j = 0; j < 3; j++) {
      std::vector<int>& list = vertex_neighbors[f[j]];
      list.push_back(f[(j + 1) % 3]);
      list.push_back(f[(j + 2) % 3]);
    }
  }
  std::vector<int> seen_by(nv, -1);
  for (int v = 0; v < nv; v++) {
    std::vector<int>& list = vertex_neighbors[v];
    size_t kept = 0;
    for (int n : list) {
      if (seen_by[n] == v) continue;
      seen_by[n] = v;
      list[kept++] = n;
    }
    list.resize(kept);
    list.shrink_to_fit();
  }
  print_message("Done.\n");
}
