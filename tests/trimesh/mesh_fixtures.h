#pragma once

// Meshes and helpers shared by the mesh library tests.

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "trimesh/trimesh.h"

namespace fixtures {

// Collects the library's messages while alive (instead of standard error).
class MessageCapture {
 public:
  MessageCapture() {
    progress().clear();
    errors().clear();
    TriMesh::set_progress_callback([](const char* s) { progress() += s; });
    TriMesh::set_error_callback([](const char* s) { errors() += s; });
  }
  ~MessageCapture() {
    TriMesh::set_progress_callback(nullptr);
    TriMesh::set_error_callback(nullptr);
  }
  static std::string& progress() {
    static std::string s;
    return s;
  }
  static std::string& errors() {
    static std::string s;
    return s;
  }
};

inline int count_of(const std::string& hay, const std::string& needle) {
  int n = 0;
  for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) n++;
  return n;
}

// Icosahedron subdivided `levels` times, projected onto the sphere of the
// given radius and centre; faces counter-clockwise seen from outside.
inline TriMesh sphere(int levels, float radius, Vec3 centre = Vec3(0, 0, 0)) {
  TriMesh m;
  const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
  const float raw[12][3] = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                            {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
  for (auto& r : raw) m.vertices.push_back(Vec3(r[0], r[1], r[2]).normalized());
  const int f[20][3] = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
                        {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
                        {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
  for (auto& r : f) m.faces.emplace_back(r[0], r[1], r[2]);
  for (int l = 0; l < levels; l++) {
    std::map<std::pair<int, int>, int> mid;
    auto midpoint = [&](int a, int b) {
      auto key = std::make_pair(std::min(a, b), std::max(a, b));
      auto it = mid.find(key);
      if (it != mid.end()) return it->second;
      m.vertices.push_back(((m.vertices[a] + m.vertices[b]) * 0.5f).normalized());
      int idx = static_cast<int>(m.vertices.size()) - 1;
      mid[key] = idx;
      return idx;
    };
    std::vector<TriMesh::Face> next;
    for (const auto& F : m.faces) {
      int a = midpoint(F[0], F[1]), b = midpoint(F[1], F[2]), c = midpoint(F[2], F[0]);
      next.emplace_back(F[0], a, c);
      next.emplace_back(F[1], b, a);
      next.emplace_back(F[2], c, b);
      next.emplace_back(a, b, c);
    }
    m.faces.swap(next);
  }
  for (auto& v : m.vertices) v = v * radius + centre;
  return m;
}

// Open cylinder of the given radius around the z axis, `rings` rings of
// `segments` vertices from z = 0 to z = height; faces counter-clockwise seen
// from outside.
inline TriMesh cylinder(float radius, float height, int segments, int rings) {
  TriMesh m;
  const float pi = 3.14159265358979f;
  for (int r = 0; r < rings; r++) {
    for (int s = 0; s < segments; s++) {
      float a = 2.0f * pi * s / segments;
      m.vertices.push_back(Vec3(radius * std::cos(a), radius * std::sin(a), height * r / (rings - 1)));
    }
  }
  for (int r = 0; r + 1 < rings; r++) {
    for (int s = 0; s < segments; s++) {
      int a = r * segments + s, b = r * segments + (s + 1) % segments;
      int c = a + segments, d = b + segments;
      m.faces.emplace_back(a, b, d);
      m.faces.emplace_back(a, d, c);
    }
  }
  return m;
}

// n x n grid of unit-spaced vertices in the plane z = 0, normal +z.
inline TriMesh flat_grid(int n, float spacing = 1.0f) {
  TriMesh m;
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++) m.vertices.push_back(Vec3(x * spacing, y * spacing, 0.0f));
  for (int y = 0; y + 1 < n; y++) {
    for (int x = 0; x + 1 < n; x++) {
      int a = y * n + x, b = a + 1, c = a + n, d = c + 1;
      m.faces.emplace_back(a, b, d);
      m.faces.emplace_back(a, d, c);
    }
  }
  return m;
}

// Temporary files written by the tests, removed when the test program ends.
struct TempFiles {
  std::vector<std::string> paths;
  ~TempFiles() {
    for (const auto& p : paths) std::remove(p.c_str());
  }
};

// Writes text to a fresh temporary file and returns its path.
inline std::string temp_file(const std::string& text, const std::string& suffix = ".off") {
  static TempFiles files;
  static int counter = 0;
  char name[256];
  std::snprintf(name, sizeof(name), "/tmp/trimesh_test_%d_%d%s", static_cast<int>(::getpid()), counter++,
                suffix.c_str());
  std::FILE* f = std::fopen(name, "wb");
  if (f) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  files.paths.push_back(name);
  return name;
}

}  // namespace fixtures

namespace fixtures {

// The loading pipeline's chain of derived data.
inline void run_chain(TriMesh& m, float sigma) {
  m.build_strips();
  m.compute_bounding_sphere();
  m.compute_normals();
  m.compute_curvatures();
  m.compute_curv_derivs();
  m.smooth_curvatures(sigma);
  m.smooth_curv_derivs(sigma);
}

// True when no curvature value, direction or derivative is NaN or infinite.
inline bool curvatures_finite(const TriMesh& m) {
  for (size_t i = 0; i < m.principal_curv1.size(); i++) {
    if (!std::isfinite(m.principal_curv1[i]) || !std::isfinite(m.principal_curv2[i])) return false;
    if (!m.principal_dir1[i].isFinite() || !m.principal_dir2[i].isFinite()) return false;
  }
  for (const auto& d : m.curv_derivs)
    for (float x : d)
      if (!std::isfinite(x)) return false;
  return true;
}

}  // namespace fixtures
