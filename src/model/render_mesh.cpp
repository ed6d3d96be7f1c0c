#include "model/render_mesh.h"

#include <QDebug>
#include <cmath>
#include <cstdio>
#include <limits>

void RenderMesh::setGeometry(const QVector<Vec3>& vertices, const QVector<QVector<int>>& faces) {
  vertices_.clear();
  faces_.clear();
  vertices_ = vertices;
  const int n = vertices_.size();
  faces_.reserve(faces.size());
  for (const QVector<int>& f : faces) {
    if (f.size() < 3) continue;
    bool ok = true;
    for (int c = 0; c < 3; ++c) ok = ok && f[c] >= 0 && f[c] < n;
    if (ok) faces_.append(f);
  }
  if (faces_.size() != faces.size())
    qDebug("Dropped %i faces with missing vertices", int(faces.size() - faces_.size()));
  updateDerivedData();
}

void RenderMesh::updateDerivedData() {
  revision_ = nextRevision();
  faceNormals_.clear();
  faceNormals_.reserve(faces_.size());
  for (const QVector<int>& f : faces_) {
    const Vec3 p0 = vertices_[f[0]], p1 = vertices_[f[1]], p2 = vertices_[f[2]];
    faceNormals_.append((p0 - p1).cross(p2 - p1).normalized());
  }

  if (vertices_.isEmpty()) {
    // Keep the defaults: there are no bounds to take.
    radius_ = 1.0f;
    centre_ = Vec3(0.0f, 1.0f, 0.0f);
    bboxMin_ = Vec3(-1.0f, 0.0f, -1.0f);
    bboxMax_ = Vec3(1.0f, 2.0f, 1.0f);
  } else {
    const float big = std::numeric_limits<float>::max();
    Vec3 lo(big, big, big), hi(-big, -big, -big);
    for (const Vec3& v : vertices_) {
      for (int a = 0; a < 3; ++a) {
        if (!std::isfinite(v[a])) continue;  // a NaN coordinate must not poison the bounds
        lo[a] = std::min(lo[a], v[a]);
        hi[a] = std::max(hi[a], v[a]);
      }
    }
    for (int a = 0; a < 3; ++a)
      if (lo[a] > hi[a]) lo[a] = hi[a] = 0.0f;  // no finite value on this axis
    bboxMin_ = lo;
    bboxMax_ = hi;
    centre_ = bboxMin_ + (bboxMax_ - bboxMin_) * 0.5f;
    radius_ = 0.5f * (bboxMax_ - bboxMin_).length();
    if (!std::isfinite(radius_)) radius_ = 1.0f;
  }

  neighbours_.clear();
  neighbours_.resize(vertices_.size());
  for (const QVector<int>& f : faces_) {
    const int a = f[0], b = f[1], c = f[2];
    neighbours_[a].insert(b);
    neighbours_[a].insert(c);
    neighbours_[b].insert(a);
    neighbours_[b].insert(c);
    neighbours_[c].insert(a);
    neighbours_[c].insert(b);
  }
}

void RenderMesh::flipFaceNormals() {
  for (Vec3& n : faceNormals_) n = -n;
}

namespace {

// Reads the rest of a line in chunks of at most 99 characters, like a
// 100-byte fgets buffer: a longer remainder is left for the next read.
void skipLine(FILE* f) {
  char buf[100];
  if (!std::fgets(buf, sizeof buf, f)) return;
}

}  // namespace

bool readOff(const char* path, QVector<Vec3>& vertices, QVector<QVector<int>>& faces) {
  FILE* f = std::fopen(path, "r");
  if (!f) return false;

  QVector<Vec3> newVertices;
  QVector<QVector<int>> newFaces;
  // Indices are checked against all vertices the file has given so far,
  // including those already in the caller's list.
  const int baseVertices = vertices.size();
  bool bad = false;

  int ch;
  while (!bad && (ch = std::fgetc(f)) != EOF) {
    if (ch == '\n') continue;
    if (ch != 'O') {
      skipLine(f);
      continue;
    }
    qDebug("OFF FILE DETECTED");
    skipLine(f);
    int nv = 0, nf = 0;
    if (std::fscanf(f, "%i %i", &nv, &nf) != 2) {
      nv = 0;
      nf = 0;
    }
    skipLine(f);
    qDebug("Mesh has %i verts, %i faces", nv, nf);
    if (nv < 0) nv = 0;
    if (nf < 0) nf = 0;
    for (int i = 0; i < nv && !std::feof(f); ++i) {
      Vec3 p;
      if (std::fscanf(f, "%f %f %f", &p.x, &p.y, &p.z) != 3) {
        // keep whatever scanned; the rest stays 0 like an unscanned field
      }
      skipLine(f);
      newVertices.append(p);
    }
    qDebug("Finished reading verts");
    const int vertexCount = baseVertices + newVertices.size();
    for (int i = 0; i < nf && !std::feof(f); ++i) {
      int count = 0, a = 0, b = 0, c = 0;
      const int got = std::fscanf(f, "%d %d %d %d", &count, &a, &b, &c);
      skipLine(f);
      if (got <= 0) continue;  // blank or unreadable line: no face
      if (got < 4 || a < 0 || b < 0 || c < 0 || a >= vertexCount || b >= vertexCount || c >= vertexCount) {
        qDebug("OFF face %i refers to a vertex outside the file; rejecting %s", i, path);
        bad = true;
        break;
      }
      newFaces.append(QVector<int>{a, b, c});
    }
    if (!bad) qDebug("Finished reading faces");
    // Keep reading characters to the end of the file, as for any other line.
    if (!bad) {
      vertices += newVertices;
      faces += newFaces;
      newVertices.clear();
      newFaces.clear();
    }
  }
  std::fclose(f);
  return !bad;
}
