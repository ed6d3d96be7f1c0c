#include "trimesh/read_ascii.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace trimesh_read {

namespace {

locale_t c_locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

inline bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

void TextInput::skip_line() {
  while (p < end && *p != '\n') p++;
  if (p < end) p++;
}

std::string TextInput::read_line() {
  const char* start = p;
  while (p < end && *p != '\n') p++;
  std::string line(start, p);
  if (p < end) p++;
  return line;
}

void skip_blanks_and_comments(TextInput& in) {
  while (!in.at_end()) {
    int c = in.peek();
    if (is_space(c)) {
      in.p++;
    } else if (c == '#') {
      in.skip_line();
    } else {
      return;
    }
  }
}

const char* parse_int(const char* s, int& value) {
  while (is_space(static_cast<unsigned char>(*s))) s++;
  char* endp = nullptr;
  errno = 0;
  long long v = std::strtoll(s, &endp, 10);
  if (endp == s) return nullptr;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  value = static_cast<int>(v);
  return endp;
}

const char* parse_float(const char* s, float& value) {
  while (is_space(static_cast<unsigned char>(*s))) s++;
  char* endp = nullptr;
  float v = strtof_l(s, &endp, c_locale());
  if (endp == s) return nullptr;
  value = v;
  return endp;
}

namespace {

// Longest number token the render mesh's reader takes.
constexpr std::ptrdiff_t kSimpleToken = 128;

// Whether a token read up to `q` ends there: at white space or `end`.
inline bool token_ends(const char* q, const char* end) { return q >= end || is_space(static_cast<unsigned char>(*q)); }

}  // namespace

const char* parse_int(const char* s, const char* end, int& value, bool& simple, const char* stops) {
  while (s < end && is_space(static_cast<unsigned char>(*s))) s++;
  if (s < end) {
    int v = 0;
    const auto r = std::from_chars(s, end, v);
    if (r.ec == std::errc() && r.ptr - s < kSimpleToken &&
        (token_ends(r.ptr, end) || (*r.ptr && std::strchr(stops, *r.ptr)))) {
      value = v;
      return r.ptr;
    }
  }
  simple = false;
  if (s >= end) return nullptr;
  return parse_int(s, value);
}

const char* parse_float(const char* s, const char* end, float& value, bool& simple) {
  while (s < end && is_space(static_cast<unsigned char>(*s))) s++;
  if (s < end) {
    float v = 0.0f;
    const auto r = std::from_chars(s, end, v);
    if (r.ec == std::errc() && r.ptr - s < kSimpleToken && token_ends(r.ptr, end)) {
      value = v;
      return r.ptr;
    }
  }
  simple = false;
  if (s >= end) return nullptr;
  return parse_float(s, value);
}

bool read_ascii_vertices(TextInput& in, TriMesh& mesh, int n, int fields) {
  if (n <= 0 || fields < 3) return true;
  // Each vertex takes at least six bytes ("0 0 0\n"), so a count the file
  // cannot hold does not reserve more than the file could fill.
  const size_t cap = in.remaining() / 6 + 1;
  mesh.vertices.reserve(mesh.vertices.size() + std::min(static_cast<size_t>(n), cap));
  skip_blanks_and_comments(in);
  print_message("\n  Reading %d vertices... ", n);
  for (int i = 0; i < n; i++) {
    Vec3 p;
    for (int f = 0; f < fields; f++) {
      if (f == 0) {
        for (int k = 0; k < 3; k++) {
          const char* next = parse_float(in.p, in.end, p[k], in.simple);
          if (!next) return false;
          in.p = next;
        }
        f = 2;
      } else {
        float ignored;
        const char* next = parse_float(in.p, in.end, ignored, in.simple);
        if (!next) return false;
        in.p = next;
      }
    }
    // The render mesh's reader skips the rest of a vertex's line: the two
    // agree while that rest is blank.
    if (in.simple) {
      const char* q = in.p;
      while (q < in.end && *q != '\n' && is_space(static_cast<unsigned char>(*q))) q++;
      if (q < in.end && *q != '\n') in.simple = false;
    }
    mesh.vertices.push_back(p);
  }
  return true;
}

bool read_ascii_faces(TextInput& in, PolygonList& polys, int n) {
  if (n < 0) return false;
  if (n == 0) return true;
  const size_t cap = in.remaining() / 2 + 1;
  polys.sizes.reserve(polys.sizes.size() + std::min(static_cast<size_t>(n), cap));
  skip_blanks_and_comments(in);
  print_message("\n  Reading %d faces... ", n);
  std::vector<int> poly;
  for (int i = 0; i < n; i++) {
    int count = 0;
    const char* next = parse_int(in.p, in.end, count, in.simple);
    if (!next) {
      print_message("Couldn't read vertex count for face %d\n", i);
      return false;
    }
    in.p = next;
    poly.clear();
    for (int j = 0; j < count; j++) {
      int idx = 0;
      next = parse_int(in.p, in.end, idx, in.simple);
      if (!next) {
        print_message("Couldn't read vertex index %d for face %d\n", j, i);
        return false;
      }
      in.p = next;
      poly.push_back(idx);
    }
    polys.add(poly);
    in.skip_line();
  }
  return true;
}

}  // namespace trimesh_read

void add_polygon(TriMesh& mesh, const int* c, int n) {
  if (n < 3) return;
  if (n == 3) {
    mesh.faces.emplace_back(c[0], c[1], c[2]);
    return;
  }
  if (n == 4) {
    const int nv = static_cast<int>(mesh.vertices.size());
    bool inside = true;
    for (int k = 0; k < 4; k++) inside = inside && c[k] >= 0 && c[k] < nv;
    // Corners that are not (yet) vertices cannot be measured: split along b-d.
    if (inside && (mesh.vertices[c[3]] - mesh.vertices[c[1]]).lengthSquared() >
                      (mesh.vertices[c[2]] - mesh.vertices[c[0]]).lengthSquared()) {
      mesh.faces.emplace_back(c[0], c[1], c[2]);
      mesh.faces.emplace_back(c[0], c[2], c[3]);
    } else {
      mesh.faces.emplace_back(c[1], c[2], c[3]);
      mesh.faces.emplace_back(c[1], c[3], c[0]);
    }
    return;
  }
  for (int k = 1; k + 1 < n; k++) mesh.faces.emplace_back(c[0], c[k], c[k + 1]);
}
