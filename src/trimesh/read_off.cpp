// OFF: "OFF", then "nv nf [ne]" (on the same line or the next), nv vertices
// of three coordinates, nf faces each starting with its corner count.

#include <charconv>
#include <cstring>

#include "trimesh/read_ascii.h"

namespace trimesh_read {

namespace {

// Longest header or count line the render mesh's OFF reader looks at.
constexpr std::ptrdiff_t kRenderHeaderLine = 1024;

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

const char* line_end(const char* p, const char* end) {
  const void* nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
  return nl ? static_cast<const char*>(nl) : end;
}

// Whether the counts that follow "OFF" (in.p just after it) are where the
// render mesh's reader finds them and read the same there: two integers of
// the simple form, either after a blank on the keyword's line, or, the rest
// of that line being blank, at the start of the next line that is not blank
// or a comment; both lines within the length that reader looks at.
bool simple_off_header(const TextInput& in) {
  const char* first_end = line_end(in.p, in.end);
  if (first_end - (in.begin + 1) > kRenderHeaderLine) return false;
  const char* q = in.p;
  while (q < first_end && is_blank(*q)) q++;
  const char* counts = nullptr;
  if (q == first_end || (*q == '\r' && q + 1 == first_end)) {
    TextInput next = in;
    skip_blanks_and_comments(next);
    counts = next.p;
  } else if (q > in.p && ((*q >= '0' && *q <= '9') || *q == '-')) {
    counts = q;
  } else {
    return false;
  }
  const char* end = line_end(counts, in.end);
  if (end - counts > kRenderHeaderLine) return false;
  int nv = 0, nf = 0;
  auto r = std::from_chars(counts, end, nv);
  if (r.ec != std::errc() || r.ptr == end || !is_blank(*r.ptr)) return false;
  q = r.ptr;
  while (q < end && is_blank(*q)) q++;
  r = std::from_chars(q, end, nf);
  if (r.ec != std::errc() || (r.ptr < end && !is_blank(*r.ptr) && *r.ptr != '\r')) return false;
  return nv >= 0 && nf >= 0;
}

}  // namespace

// Called after the leading 'O' has been consumed.
bool read_off(TextInput& in, TriMesh& mesh, PolygonList& polys) {
  int c1 = in.get(), c2 = in.get();
  if (c1 < 0 || c2 < 0) {
    print_error("Can't read header.\n");
    return false;
  }
  if (c1 != 'F' || c2 != 'F') return false;
  if (!simple_off_header(in)) in.simple = false;
  skip_blanks_and_comments(in);

  const std::string line = in.read_line();
  int nv = 0, nf = 0, ne = 0;
  const char* s = parse_int(line.c_str(), nv);
  if (s) s = parse_int(s, nf);
  if (!s) return false;
  parse_int(s, ne);  // the edge count is optional and unused

  if (!read_ascii_vertices(in, mesh, nv, 3)) return false;
  return read_ascii_faces(in, polys, nf);
}

}  // namespace trimesh_read
