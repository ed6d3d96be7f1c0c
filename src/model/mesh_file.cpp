#include "model/mesh_file.h"

#include <QDebug>
#include <cstring>
#include <string>

#include "model/obj_reader.h"
#include "model/render_mesh.h"
#include "trimesh/read_ascii.h"

namespace {

using trimesh_read::Format;
using trimesh_read::PolygonList;

// The render mesh's OFF faces: the first three corners of each polygon of
// three or more (indices already shifted as the render reader shifts them).
// A polygon with a corner outside the vertices refuses the whole file.
bool offTriangles(const char* path, const PolygonList& polys, int vertexCount, QVector<int>& triangles) {
  size_t faces = 0;
  for (int size : polys.sizes)
    if (size >= 3) ++faces;
  triangles.reserve(int(faces * 3));
  size_t at = 0;
  int face = 0;
  for (int size : polys.sizes) {
    const int* c = polys.corners.data() + at;
    at += size_t(std::max(size, 0));
    if (size < 3) continue;
    for (int k = 0; k < size; ++k) {
      if (c[k] < 0 || c[k] >= vertexCount) {
        qDebug("OFF face %i refers to a vertex outside the file; rejecting %s", face, path);
        triangles.clear();
        return false;
      }
    }
    triangles.append(c[0]);
    triangles.append(c[1]);
    triangles.append(c[2]);
    ++face;
  }
  return true;
}

// The render mesh's OBJ faces: the first three corners of each polygon,
// dropping polygons with fewer or whose first three name no vertex.
void objTriangles(const PolygonList& polys, int vertexCount, QVector<int>& triangles) {
  size_t faces = 0;
  for (int size : polys.sizes)
    if (size >= 3) ++faces;
  triangles.reserve(int(faces * 3));
  size_t at = 0;
  int dropped = 0;
  for (int size : polys.sizes) {
    const int* c = polys.corners.data() + at;
    at += size_t(std::max(size, 0));
    if (size == 0) continue;  // a bare "f" line, which the render reader does not take for a face
    bool inside = size >= 3;
    for (int k = 0; k < 3 && inside; ++k) inside = c[k] >= 0 && c[k] < vertexCount;
    if (!inside) {
      ++dropped;
      continue;
    }
    triangles.append(c[0]);
    triangles.append(c[1]);
    triangles.append(c[2]);
  }
  if (dropped > 0) qDebug("Dropped %i OBJ faces without three corners that name vertices of the file", dropped);
}

// The render mesh's own reading of the file, into flat arrays.
bool readRenderGeometryAgain(const char* path, bool obj, QVector<Vec3>& vertices, QVector<int>& triangles) {
  RenderFaces faces;
  if (obj) {
    ObjMesh mesh;
    if (!readObj(mesh, path)) return false;
    objRenderGeometry(mesh, vertices, faces);
  } else {
    qDebug("Loading off");
    if (!readOff(path, vertices, faces)) return false;
  }
  triangles.resize(faces.size() * 3);
  if (!faces.isEmpty()) std::memcpy(triangles.data(), faces.constData(), sizeof(int) * size_t(triangles.size()));
  return true;
}

}  // namespace

void readMeshFile(const char* path, bool obj, MeshFileReading& out) {
  out = MeshFileReading();
  trimesh_read::Reading reading;
  {
    std::string data;
    if (!trimesh_read::read_file_bytes(path, data)) return;
    reading = trimesh_read::read_text(data, std::strcmp(path, "-") == 0 ? "standard input" : path);
  }
  if (!reading.mesh) return;
  out.triMesh = std::move(reading.mesh);
  const std::vector<Vec3>& v = out.triMesh->vertices;

  // Simple records of the format the name says read the same in the render
  // mesh's reader, except OBJ indices the mesh library shifted.
  const bool single = reading.simple && reading.format == (obj ? Format::Obj : Format::Off) &&
                      !(obj && reading.remapped);
  if (!single) {
    out.renderRead = readRenderGeometryAgain(path, obj, out.vertices, out.triangles);
    return;
  }
  out.singleReading = true;
  out.vertices.resize(int(v.size()));
  if (!v.empty()) std::memcpy(out.vertices.data(), v.data(), v.size() * sizeof(Vec3));
  if (obj) {
    qDebug() << "Num verts: " << out.vertices.size() << " Num faces: " << reading.polys.sizes.size();
    objTriangles(reading.polys, out.vertices.size(), out.triangles);
    out.renderRead = true;
  } else {
    qDebug("Mesh has %i verts, %i faces", out.vertices.size(), int(reading.polys.sizes.size()));
    out.renderRead = offTriangles(path, reading.polys, out.vertices.size(), out.triangles);
  }
  if (!out.renderRead) out.vertices.clear();
}
