// Triangle strips: unpacking into faces, the greedy strip builder and the
// conversion between the length-prefixed and the -1-terminated encodings.

#include <cstdint>
#include <vector>

#include "trimesh/trimesh.h"

void TriMesh::compute_faces_from_strips() {
  if (!faces.empty() || strips.empty()) return;
  print_message("Unpacking triangle strips... ");

  // Count first; a strip of n indices gives n - 2 triangles. A malformed
  // length (negative or running past the end) ends the walk.
  const size_t n = strips.size();
  size_t ntris = 0;
  for (size_t i = 0; i < n;) {
    long long len = strips[i];
    if (len < 0 || static_cast<size_t>(len) > n - i - 1) break;
    if (len > 2) ntris += static_cast<size_t>(len - 2);
    i += static_cast<size_t>(len) + 1;
  }
  if (ntris > faces.max_size()) {
    print_error("Too many triangles in strips (%zu).\n", ntris);
    return;
  }
  faces.reserve(ntris);

  for (size_t i = 0; i < n;) {
    long long len = strips[i];
    if (len < 0 || static_cast<size_t>(len) > n - i - 1) break;
    const int* s = &strips[i + 1];
    for (long long k = 0; k + 2 < len; k++) {
      if (k % 2 == 0)
        faces.emplace_back(s[k], s[k + 1], s[k + 2]);
      else
        faces.emplace_back(s[k + 1], s[k], s[k + 2]);
    }
    i += static_cast<size_t>(len) + 1;
  }
  print_message("Done.\n  %d triangles\n", static_cast<int>(faces.size()));
}

void TriMesh::reencode_strips(int mode) {
  if (strips.empty()) return;
  const bool terminated = strips.back() == -1;
  if (mode == 1) {
    if (terminated) return;
    // Length-prefixed -> -1-terminated: move each strip one place left over its
    // count and put -1 after it. A malformed count ends the conversion, and
    // the rest of the array is dropped so the result stays well formed.
    size_t i = 0;
    const size_t n = strips.size();
    while (i < n) {
      long long len = strips[i];
      if (len < 0 || static_cast<size_t>(len) > n - i - 1) {
        strips.resize(i);
        return;
      }
      for (long long k = 0; k < len; k++) strips[i + k] = strips[i + k + 1];
      strips[i + len] = -1;
      i += static_cast<size_t>(len) + 1;
    }
    return;
  }
  if (!terminated) return;  // already length-prefixed
  // -1-terminated -> length-prefixed, walking from the end: each -1 becomes
  // the strip's length and moves to the front of its strip.
  long long j = static_cast<long long>(strips.size()) - 1;
  while (j >= 0) {
    long long k = j - 1;
    while (k >= 0 && strips[k] != -1) k--;
    // The strip occupies k + 1 .. j - 1.
    const long long len = j - 1 - k;
    for (long long m = j; m > k + 1; m--) strips[m] = strips[m - 1];
    strips[k + 1] = static_cast<int>(len);
    j = k;
  }
}

namespace {

constexpr int8_t kUsed = -1;  // 255 as an unsigned byte

// Position of vertex x among the corners of face f, or -1.
inline int corner_of(const TriMesh::Face& f, int x) {
  for (int j = 0; j < 3; j++)
    if (f[j] == x) return j;
  return -1;
}

}  // namespace

void TriMesh::build_strips() {
  if (!strips.empty()) return;
  if (!ensure_faces()) return;
  compute_across_faces();
  if (across_faces.size() != faces.size()) return;

  print_message("Building triangle strips... ");
  const int nf = static_cast<int>(faces.size());

  // Usable neighbours per face; a used face is marked kUsed. Faces with a
  // single neighbour are the preferred starting points.
  std::vector<int8_t> count(nf);
  std::vector<int> stack;
  for (int i = 0; i < nf; i++) {
    int c = 0;
    for (int j = 0; j < 3; j++)
      if (across_faces[i][j] >= 0 && across_faces[i][j] < nf) c++;
    count[i] = static_cast<int8_t>(c);
    if (c == 1) stack.push_back(i);
  }
  auto is_free = [&](int f) { return f >= 0 && f < nf && count[f] != kUsed; };

  // Corner of face g whose opposite edge joins y and z and leads back to f,
  // or -1.
  auto entry_corner = [&](int g, int f, int y, int z) {
    const Face& G = faces[g];
    for (int k = 0; k < 3; k++) {
      if (across_faces[g][k] != f) continue;
      int a = G[(k + 1) % 3], b = G[(k + 2) % 3];
      if ((a == y && b == z) || (a == z && b == y)) return k;
    }
    return -1;
  };

  // Marks f used and updates its free neighbours' counts.
  auto consume = [&](int f) {
    count[f] = kUsed;
    for (int j = 0; j < 3; j++) {
      int g = across_faces[f][j];
      if (!is_free(g)) continue;
      if (count[g] > 0) count[g]--;
      if (count[g] == 1) stack.push_back(g);
    }
  };

  int nstrips = 0;
  int next_face = 0;
  while (true) {
    int f = -1;
    while (!stack.empty() && f < 0) {
      int s = stack.back();
      stack.pop_back();
      if (is_free(s)) f = s;
    }
    while (f < 0 && next_face < nf) {
      if (is_free(next_face)) f = next_face;
      next_face++;
    }
    if (f < 0) break;
    nstrips++;
    const Face& F = faces[f];

    if (count[f] == 0) {
      strips.push_back(F[0]);
      strips.push_back(F[1]);
      strips.push_back(F[2]);
      strips.push_back(-1);
      count[f] = kUsed;
      continue;
    }

    // Edge j runs from corner j to corner j + 1 and lies opposite corner j + 2.
    int best_edge = 0, best_score = -1;
    for (int j = 0; j < 3; j++) {
      int score = 0;
      int g = across_faces[f][(j + 2) % 3];
      if (is_free(g) && g != f) {
        score = 1;
        int k = entry_corner(g, f, F[j], F[(j + 1) % 3]);
        if (k >= 0) {
          // Leaving g continues across the edge opposite this edge's first vertex.
          int c = corner_of(faces[g], F[j]);
          int beyond = c >= 0 ? across_faces[g][c] : -1;
          if (is_free(beyond) && beyond != f) {
            score = 2;
            if (count[g] == 2) score = 3;
          }
        }
      }
      if (score > best_score) {
        best_score = score;
        best_edge = j;
      }
    }

    int y = F[best_edge], z = F[(best_edge + 1) % 3];
    int exit_corner = (best_edge + 2) % 3;
    strips.push_back(F[exit_corner]);
    strips.push_back(y);
    strips.push_back(z);

    while (true) {
      consume(f);
      int g = across_faces[f][exit_corner];
      if (!is_free(g)) break;
      int k = entry_corner(g, f, y, z);
      if (k < 0) break;
      const Face& G = faces[g];
      int w = G[k];
      strips.push_back(w);
      exit_corner = (G[(k + 1) % 3] == y) ? (k + 1) % 3 : (k + 2) % 3;
      y = z;
      z = w;
      f = g;
    }
    strips.push_back(-1);
  }

  reencode_strips(0);
  print_message("Done.\n  %d strips (Avg. length %.1f)\n", nstrips,
                nstrips ? static_cast<float>(nf) / static_cast<float>(nstrips) : 0.0f);
}
