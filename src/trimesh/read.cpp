// TriMesh::read: format recognition from the first bytes, the read itself,
// and the clean-up shared by every format (index remapping, faces that refer
// to missing vertices, vertices that are not finite).

#include <cstring>
#include <strings.h>

#include "trimesh/mesh_util.h"
#include "trimesh/read_ascii.h"
#include "trimesh/regular_file.h"

using namespace trimesh_read;

namespace {

// Reads the rest of a stream into memory. False on a read error.
bool slurp(std::FILE* f, std::string& data) {
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) data.append(buf, n);
  return !std::ferror(f);
}

// Recognises the format and runs its reader.
bool dispatch(TextInput& in, TriMesh& mesh, PolygonList& polys, Format& format) {
  const char* start = in.p;
  const int c = in.get();
  if (c < 0) {
    print_error("Can't read header.\n");
    return false;
  }
  switch (c) {
    case 'O':
      format = Format::Off;
      return read_off(in, mesh, polys);
    case 'v':
    case 'f':
    case 'g':
    case 'o':
    case 's':
    case 'u':
      in.p = start;
      format = Format::Obj;
      return read_obj(in, mesh, polys);
    case '#': {
      // "#material", "#vertex" and "#shape_" start a format this system does
      // not read; any other comment starts an OBJ file.
      const size_t left = in.remaining();
      auto starts = [&](const char* word, size_t n) { return left >= n && strncasecmp(in.p, word, n) == 0; };
      if (starts("material", 8) || starts("vertex", 6) || starts("shape_", 6)) break;
      in.p = start;
      format = Format::Obj;
      return read_obj(in, mesh, polys);
    }
    default:
      break;
  }
  print_error("Unknown file type.\n");
  return false;
}

// Shifts indices that cover exactly one vertex count but start elsewhere
// (typically at 1) down to start at 0. True when it shifted them.
bool remap_indices(PolygonList& polys, size_t nverts) {
  long long mi = 0, ma = 0;
  bool any = false;
  size_t at = 0;
  for (int size : polys.sizes) {
    if (size >= 3) {
      for (int k = 0; k < size; k++) {
        const long long v = polys.corners[at + k];
        if (!any) mi = ma = v;
        mi = std::min(mi, v);
        ma = std::max(ma, v);
        any = true;
      }
    }
    at += static_cast<size_t>(std::max(size, 0));
  }
  if (!any || mi == 0 || mi != ma - static_cast<long long>(nverts) + 1) return false;
  print_message("Found indices ranging from %lld through %lld\n", mi, ma);
  print_message("Remapping to %d through %lld\n", 0, ma - mi);
  for (int& v : polys.corners) v = static_cast<int>(v - mi);
  return true;
}

// Turns the polygons into faces, leaving out those that refer to a vertex
// the file does not have. Returns how many were left out.
int add_polygons(TriMesh& mesh, const PolygonList& polys) {
  const long long nv = static_cast<long long>(mesh.vertices.size());
  size_t ntris = 0;
  for (int size : polys.sizes)
    if (size >= 3) ntris += static_cast<size_t>(size - 2);
  mesh.faces.reserve(ntris);
  size_t at = 0;
  int dropped = 0;
  for (int size : polys.sizes) {
    if (size < 0) size = 0;
    const int* c = polys.corners.data() + at;
    at += static_cast<size_t>(size);
    if (size < 3) continue;
    bool inside = true;
    for (int k = 0; k < size && inside; k++) inside = c[k] >= 0 && c[k] < nv;
    if (!inside) {
      dropped++;
      continue;
    }
    add_polygon(mesh, c, size);
  }
  if (dropped) print_error("Skipped %d faces referring to missing vertices.\n", dropped);
  return dropped;
}


}  // namespace

namespace trimesh_read {

Reading read_text(const std::string& data, const char* name) {
  Reading r;
  print_message("Reading %s... ", name);
  auto mesh = std::make_unique<TriMesh>();
  TextInput in(data);
  bool ok = dispatch(in, *mesh, r.polys, r.format);
  if (ok) {
    for (size_t i = 0; i < mesh->vertices.size(); i++) {
      if (!trimesh_util::finite(mesh->vertices[i])) {
        print_error("Vertex %zu has a coordinate that is not a finite number.\n", i);
        ok = false;
        break;
      }
    }
  }
  if (!ok || mesh->vertices.empty()) {
    print_error("Error reading file [%s].\n", name);
    return r;
  }
  print_message("Done.\n");
  r.remapped = remap_indices(r.polys, mesh->vertices.size());
  r.dropped = add_polygons(*mesh, r.polys);
  r.simple = in.simple;
  r.mesh = std::move(mesh);
  return r;
}

bool read_file_bytes(const char* filename, std::string& data) {
  if (!filename || !*filename) return false;
  if (std::strcmp(filename, "-") == 0) {
    if (!slurp(stdin, data)) {
      print_error("Error reading file [%s].\n", "standard input");
      return false;
    }
    return true;
  }
  const char* reason = nullptr;
  std::FILE* f = trimesh_util::open_regular_file(filename, "rb", &reason);
  if (!f) {
    print_error("Error opening [%s] for reading: %s.\n", filename, reason);
    return false;
  }
  const bool ok = slurp(f, data);
  std::fclose(f);
  if (!ok) print_error("Error reading file [%s].\n", filename);
  return ok;
}

}  // namespace trimesh_read

std::unique_ptr<TriMesh> TriMesh::read(const char* filename) {
  std::string data;
  if (!read_file_bytes(filename, data)) return nullptr;
  return read_text(data, std::strcmp(filename, "-") == 0 ? "standard input" : filename).mesh;
}

std::unique_ptr<TriMesh> TriMesh::read(std::FILE* f, const char* name) {
  if (!name) name = "";
  std::string data;
  if (!f || !slurp(f, data)) {
    print_error("Error reading file [%s].\n", name);
    return nullptr;
  }
  return read_text(data, name).mesh;
}

std::unique_ptr<TriMesh> TriMesh::read_memory(const char* data, size_t size, const char* name) {
  if (!name) name = "";
  return read_text(std::string(data ? data : "", data ? size : 0), name).mesh;
}
