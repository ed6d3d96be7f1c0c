// Wavefront OBJ: vertex ("v") and face ("f", or "t") lines; everything else
// (normals, texture coordinates, groups, materials, ...) is ignored. Lines
// are read whole whatever their length, in place in the file's bytes.

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "trimesh/read_ascii.h"

namespace trimesh_read {

namespace {

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n'; }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Longest line the render mesh's OBJ reader keeps whole.
constexpr std::ptrdiff_t kRenderObjLine = 499;

// Whether the line [start, end) (start being its first byte) holds only
// printable ASCII and tabs, with at most a carriage return at its end, and
// is no longer than the render mesh's reader keeps.
bool simple_line(const char* start, const char* end) {
  if (end - start > kRenderObjLine) return false;
  if (end > start && end[-1] == '\r') --end;
  for (const char* q = start; q < end; ++q) {
    const unsigned char c = static_cast<unsigned char>(*q);
    if ((c < 0x20 || c > 0x7e) && c != '\t') return false;
  }
  return true;
}

// Past the digits at s.
inline const char* digits(const char* s, const char* end) {
  while (s < end && is_digit(*s)) s++;
  return s;
}

}  // namespace

// The coordinate token at s (after blanks) in the simple form: an optional
// '-', digits, optionally '.' and digits, optionally an exponent; ended by
// white space or `end`. Its value taken in double precision must be 0 or a
// normal float, and must not lie exactly halfway between two floats: then
// that double rounded to float is the float nearest the text (what strtof
// gives), and the render mesh's reader, which rounds the double, reads the
// same. Returns the position after the token, or nullptr when the token is
// not of that form.
const char* simple_coordinate(const char* s, const char* end, float& value) {
  while (s < end && is_blank(*s)) s++;
  const char* start = s;
  if (s < end && *s == '-') s++;
  const char* q = digits(s, end);
  if (q == s) return nullptr;
  if (q < end && *q == '.') {
    const char* frac = digits(q + 1, end);
    if (frac == q + 1) return nullptr;
    q = frac;
  }
  if (q < end && (*q == 'e' || *q == 'E')) {
    const char* e = q + 1;
    if (e < end && (*e == '+' || *e == '-')) e++;
    const char* exp = digits(e, end);
    if (exp == e) return nullptr;
    q = exp;
  }
  if (q < end && !is_space(*q)) return nullptr;
  if (q - start > 64) return nullptr;
  double d = 0.0;
  const auto r = std::from_chars(start, q, d);
  if (r.ec != std::errc() || r.ptr != q) return nullptr;
  const double a = std::fabs(d);
  if (d != 0.0 && (a < FLT_MIN || a > FLT_MAX)) return nullptr;
  if (d == 0.0 && std::signbit(d)) return nullptr;
  const float f = static_cast<float>(d);
  if (static_cast<double>(f) != d) {
    const float g = std::nextafter(f, d > static_cast<double>(f) ? FLT_MAX : -FLT_MAX);
    if ((static_cast<double>(f) + static_cast<double>(g)) * 0.5 == d) return nullptr;
  }
  value = f;
  return q;
}

bool read_obj(TextInput& in, TriMesh& mesh, PolygonList& polys) {
  std::vector<int> poly;
  bool ignored = false;
  while (true) {
    skip_blanks_and_comments(in);
    if (in.at_end()) return true;
    const char* line = in.p;
    const void* nl = std::memchr(line, '\n', in.remaining());
    const char* end = nl ? static_cast<const char*>(nl) : in.end;
    in.p = nl ? end + 1 : in.end;
    if (in.simple) {
      const char* start = line;
      while (start > in.begin && start[-1] != '\n') --start;
      if (!simple_line(start, end)) in.simple = false;
    }
    if (end - line < 2) continue;
    const char key = static_cast<char>(line[0] | 0x20);  // lower case for letters
    if (!is_blank(line[1])) continue;
    // The render mesh's reader takes only lower-case "v" and "f".
    if ((key == 'v' || key == 'f' || key == 't') && line[0] != 'v' && line[0] != 'f') in.simple = false;

    if (key == 'v') {
      Vec3 p;
      const char* s = line + 1;
      for (int k = 0; k < 3; k++) {
        if (in.simple) {
          const char* next = simple_coordinate(s, end, p[k]);
          if (next) {
            s = next;
            continue;
          }
          in.simple = false;
        }
        s = parse_float(s, end, p[k], ignored);
        if (!s) return false;
      }
      mesh.vertices.push_back(p);
    } else if (key == 'f' || key == 't') {
      const long long nv = static_cast<long long>(mesh.vertices.size());
      poly.clear();
      const char* s = line + 1;
      while (true) {
        while (s < end && is_space(*s)) s++;
        if (s >= end) break;
        int k = 0;
        // A corner of the simple form is an integer ended by white space or
        // the '/' before its texture and normal references.
        const char* next = parse_int(s, end, k, in.simple, "/");
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
        while (s < end && *s && !is_space(*s)) s++;
      }
      polys.add(poly);
    }
  }
}

}  // namespace trimesh_read
