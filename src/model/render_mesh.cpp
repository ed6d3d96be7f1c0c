#include "model/render_mesh.h"

#include <QDebug>
#include <cmath>
#include <limits>

void RenderMesh::setGeometry(const QVector<Vec3>& vertices, const RenderFaces& faces) {
  vertices_.clear();
  faces_.clear();
  vertices_ = vertices;
  const int n = vertices_.size();
  faces_.reserve(faces.size());
  for (const RenderFace& f : faces) {
    bool ok = true;
    for (int c = 0; c < 3; ++c) ok = ok && f[c] >= 0 && f[c] < n;
    if (ok) faces_.append(f);
  }
  if (faces_.size() != faces.size())
    qDebug("Dropped %i faces with missing vertices", int(faces.size() - faces_.size()));
  updateDerivedData();
}

void RenderMesh::setTriangleGeometry(const QVector<Vec3>& vertices, const QVector<int>& triangles) {
  vertices_.clear();
  faces_.clear();
  vertices_ = vertices;
  const int n = vertices_.size();
  const int count = triangles.size() / 3;
  faces_.reserve(count);
  const int* t = triangles.constData();
  for (int f = 0; f < count; ++f, t += 3) {
    bool ok = true;
    for (int c = 0; c < 3; ++c) ok = ok && t[c] >= 0 && t[c] < n;
    if (ok) faces_.append(RenderFace(t[0], t[1], t[2]));
  }
  if (faces_.size() != count) qDebug("Dropped %i faces with missing vertices", count - faces_.size());
  updateDerivedData();
}

void RenderMesh::updateDerivedData() {
  revision_ = nextRevision();
  neighbours_ = std::make_shared<NeighbourSets>();
  faceNormals_.clear();
  faceNormals_.reserve(faces_.size());
  for (const RenderFace& f : faces_) {
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
}

const QVector<QSet<int>>& RenderMesh::neighbours() const {
  NeighbourSets& n = *neighbours_;
  std::call_once(n.built, [&] {
    n.sets.resize(vertices_.size());
    const int nv = vertices_.size();
    for (const RenderFace& f : faces_) {
      const int a = f[0], b = f[1], c = f[2];
      if (a < 0 || b < 0 || c < 0 || a >= nv || b >= nv || c >= nv) continue;
      n.sets[a].insert(b);
      n.sets[a].insert(c);
      n.sets[b].insert(a);
      n.sets[b].insert(c);
      n.sets[c].insert(a);
      n.sets[c].insert(b);
    }
  });
  return n.sets;
}

void RenderMesh::flipFaceNormals() {
  for (Vec3& n : faceNormals_) n = -n;
}

bool hasFiniteBounds(const QVector<Vec3>& vertices) {
  if (vertices.isEmpty()) return true;  // the defaults apply
  const float big = std::numeric_limits<float>::max();
  Vec3 lo(big, big, big), hi(-big, -big, -big);
  for (const Vec3& v : vertices) {
    for (int a = 0; a < 3; ++a) {
      if (!std::isfinite(v[a])) return false;
      lo[a] = std::min(lo[a], v[a]);
      hi[a] = std::max(hi[a], v[a]);
    }
  }
  const Vec3 centre = lo + (hi - lo) * 0.5f;
  const float radius = 0.5f * (hi - lo).length();
  return centre.isFinite() && std::isfinite(radius);
}

bool renderGeometryFits(const char* path, const QVector<Vec3>& vertices, size_t libraryVertexCount) {
  if (size_t(vertices.size()) != libraryVertexCount) {
    qDebug("The two readers of %s disagree (%i and %zu vertices); not loaded", path, int(vertices.size()),
           libraryVertexCount);
    return false;
  }
  if (!hasFiniteBounds(vertices)) {
    qDebug("The bounds of %s are not finite numbers; not loaded", path);
    return false;
  }
  return true;
}
