#pragma once

// Pieces shared by the text mesh readers. The whole file is held in memory
// (so every count can be checked against the bytes that are left) and parsed
// with the "C" locale whatever the program's locale is.

#include <cstddef>
#include <string>
#include <vector>

#include "trimesh/trimesh.h"

namespace trimesh_read {

// Cursor over a file's bytes. The bytes are followed by a '\0' so that the
// number parsers always stop inside the buffer.
struct TextInput {
  const char* p;
  const char* end;  // *end == '\0'

  explicit TextInput(const std::string& s) : p(s.c_str()), end(s.c_str() + s.size()) {}
  bool at_end() const { return p >= end; }
  // Next byte (0..255), or -1 at the end.
  int get() { return p < end ? static_cast<unsigned char>(*p++) : -1; }
  int peek() const { return p < end ? static_cast<unsigned char>(*p) : -1; }
  size_t remaining() const { return static_cast<size_t>(end - p); }
  // Skips to just after the next newline (or to the end).
  void skip_line();
  // The rest of the current line without its newline; moves past the newline.
  std::string read_line();
};

// Polygons as read from a file, in file order: corner indices back to back,
// with each polygon's corner count.
struct PolygonList {
  std::vector<int> corners;
  std::vector<int> sizes;
  void add(const std::vector<int>& poly) {
    corners.insert(corners.end(), poly.begin(), poly.end());
    sizes.push_back(static_cast<int>(poly.size()));
  }
};

// Skips white space and comment lines starting with '#', leaving the next
// other character unread.
void skip_blanks_and_comments(TextInput& in);

// Parses an int or a float at s (after optional white space) like scanf's
// " %d" / "%f"; returns the position after it, or nullptr when there is no
// number. Integers outside the int range are clamped.
const char* parse_int(const char* s, int& value);
const char* parse_float(const char* s, float& value);

// Reads n vertices of `fields` values each (the first three are the
// coordinates; others are read and ignored). n <= 0 or fewer than 3 fields
// reads nothing. False on a short read.
bool read_ascii_vertices(TextInput& in, TriMesh& mesh, int n, int fields);

// Reads n faces in the OFF form (a corner count, the corners, anything else
// up to the end of the line is ignored) into polys. False for n < 0 or a
// short read.
bool read_ascii_faces(TextInput& in, PolygonList& polys, int n);

bool read_off(TextInput& in, TriMesh& mesh, PolygonList& polys);
bool read_obj(TextInput& in, TriMesh& mesh, PolygonList& polys);

}  // namespace trimesh_read

// Adds the triangles of a polygon with corner indices c[0..n-1]: nothing for
// fewer than 3 corners, a quad split along its shorter diagonal, larger
// polygons as a fan from the first corner.
void add_polygon(TriMesh& mesh, const int* c, int n);
