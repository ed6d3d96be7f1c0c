// Wavefront OBJ: vertex ("v") and face ("f", or "t") lines; everything else
// (normals, texture coordinates, groups, materials, ...) is ignored. Lines
// are read whole whatever their length.

#include <cstdint>

#include "trimesh/read_ascii.h"

namespace trimesh_read {

namespace {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n'; }

}  // namespace

bool read_obj(TextInput& in, TriMesh& mesh, PolygonList& polys) {
  std::vector<int> poly;
  while (true) {
    skip_blanks_and_comments(in);
    if (in.at_end()) return true;
    const std::string line = in.read_line();
    if (line.size() < 2) continue;
    const char key = static_cast<char>(line[0] | 0x20);  // lower case for letters
    if (!is_blank(line[1])) continue;

    if (key == 'v') {
      Vec3 p;
      const char* s = line.c_str() + 1;
      for (int k = 0; k < 3; k++) {
        s = parse_float(s, p[k]);
        if (!s) return false;
      }
      mesh.vertices.push_back(p);
    } else if (key == 'f' || key == 't') {
      const long long nv = static_cast<long long>(mesh.vertices.size());
      poly.clear();
      const char* s = line.c_str() + 1;
      while (true) {
        while (is_space(*s)) s++;
        int k = 0;
        const char* next = parse_int(s, k);
        if (!next) break;
        // Positive indices count from 1, negative ones back from the last
        // vertex read so far. 0 names no vertex: it becomes -1 like any index
        // below the first.
        long long idx = (k < 0) ? k + nv : static_cast<long long>(k) - 1;
        if (idx > INT32_MAX) idx = INT32_MAX;
        if (idx < INT32_MIN) idx = INT32_MIN;
        poly.push_back(static_cast<int>(idx));
        // The rest of the token (texture and normal references) is ignored.
        s = next;
        while (*s && !is_space(*s)) s++;
      }
      polys.add(poly);
    }
  }
}

}  // namespace trimesh_read
