// OFF: "OFF", then "nv nf [ne]" (on the same line or the next), nv vertices
// of three coordinates, nf faces each starting with its corner count.

#include "trimesh/read_ascii.h"

namespace trimesh_read {

// Called after the leading 'O' has been consumed.
bool read_off(TextInput& in, TriMesh& mesh, PolygonList& polys) {
  int c1 = in.get(), c2 = in.get();
  if (c1 < 0 || c2 < 0) {
    print_error("Can't read header.\n");
    return false;
  }
  if (c1 != 'F' || c2 != 'F') return false;
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
