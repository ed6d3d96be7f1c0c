#pragma once

// Pieces shared by the text mesh readers. The whole file is held in memory
// (so every count can be checked against the bytes that are left) and parsed
// with the "C" locale whatever the program's locale is.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "trimesh/trimesh.h"

namespace trimesh_read {

// Cursor over a file's bytes. The bytes are followed by a '\0' so that the
// number parsers always stop inside the buffer.
//
// `simple` stays true while every record read is in the simple form that the
// render mesh's own readers (model/render_mesh.h, model/obj_reader.h) read
// the same way: whole number tokens in the forms both accept, lines of the
// lengths and characters both handle alike. The readers clear it at the
// first record that is not; it says nothing about success.
struct TextInput {
  const char* begin;
  const char* p;
  const char* end;  // *end == '\0'
  bool simple = true;

  explicit TextInput(const std::string& s) : begin(s.c_str()), p(s.c_str()), end(s.c_str() + s.size()) {}
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

// The same, reading at most up to `end` (white space is skipped only up to
// it; a number is never read past it when a white-space byte or '\0' stands
// at `end`). A token that is not a whole simple token (a number that
// std::from_chars reads, under 128 bytes, ended by white space, `end` or
// one of the bytes in `stops`) clears `simple`; its value is then still the
// one of the functions above.
const char* parse_int(const char* s, const char* end, int& value, bool& simple, const char* stops = "");
const char* parse_float(const char* s, const char* end, float& value, bool& simple);

// Reads n vertices of `fields` values each (the first three are the
// coordinates; others are read and ignored). n <= 0 or fewer than 3 fields
// reads nothing. False on a short read.
bool read_ascii_vertices(TextInput& in, TriMesh& mesh, int n, int fields);

// Reads n faces in the OFF form (a corner count, the corners, anything else
// up to the end of the line is ignored) into polys. False for n < 0 or a
// short read.
bool read_ascii_faces(TextInput& in, PolygonList& polys, int n);

// An OBJ coordinate in the simple form: an optional '-', digits, optionally
// '.' and digits, optionally an exponent, ended by white space or `end`
// (blanks before it are skipped), whose value is 0 (not -0) or a normal
// float and, taken in double precision, not halfway between two floats.
// Then the float nearest the text (strtof's) and the double rounded to float
// (the render mesh's reader's) agree; `value` is that float. Returns the
// position after the token, or nullptr when it is not of that form.
const char* simple_coordinate(const char* s, const char* end, float& value);

bool read_off(TextInput& in, TriMesh& mesh, PolygonList& polys);
bool read_obj(TextInput& in, TriMesh& mesh, PolygonList& polys);

enum class Format { Unknown, Off, Obj };

// Everything one reading of a file's bytes gives: the mesh (null when the
// reading failed), the format recognised from the content, the polygons as
// read after the index remapping, and whether the records were all simple
// (TextInput::simple).
struct Reading {
  std::unique_ptr<TriMesh> mesh;
  Format format = Format::Unknown;
  bool simple = false;
  // Whether the polygon indices were shifted to start at 0.
  bool remapped = false;
  // Polygons of three or more corners left out for referring to a vertex
  // the file does not have.
  int dropped = 0;
  PolygonList polys;
};

// Reads a file's bytes as TriMesh::read_memory does, keeping the details.
Reading read_text(const std::string& data, const char* name);

// Reads a regular file (or standard input for "-") into `data` as
// TriMesh::read does, with its messages. False when it cannot.
bool read_file_bytes(const char* filename, std::string& data);

}  // namespace trimesh_read

// Adds the triangles of a polygon with corner indices c[0..n-1]: nothing for
// fewer than 3 corners, a quad split along its shorter diagonal, larger
// polygons as a fan from the first corner.
void add_polygon(TriMesh& mesh, const int* c, int n);
