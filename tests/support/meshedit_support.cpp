#include "support/meshedit_support.h"

#include <QHash>
#include <QPair>
#include <QSet>
#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cmath>

namespace meshedit {

Mesh uvSphere(float radius, int segments, int rings) {
  Mesh m;
  const float pi = float(M_PI);
  m.vertices << Vec3(0, 0, radius);  // 0: north pole
  for (int r = 1; r < rings; ++r) {
    const float theta = pi * float(r) / float(rings);
    for (int s = 0; s < segments; ++s) {
      const float phi = 2.0f * pi * float(s) / float(segments);
      m.vertices << Vec3(radius * std::sin(theta) * std::cos(phi), radius * std::sin(theta) * std::sin(phi),
                         radius * std::cos(theta));
    }
  }
  const int south = m.vertices.size();
  m.vertices << Vec3(0, 0, -radius);
  auto at = [segments](int r, int s) { return 1 + (r - 1) * segments + (s % segments); };
  for (int s = 0; s < segments; ++s) m.faces << RenderFace{0, at(1, s), at(1, s + 1)};
  for (int r = 1; r < rings - 1; ++r)
    for (int s = 0; s < segments; ++s) {
      m.faces << RenderFace{at(r, s), at(r + 1, s), at(r + 1, s + 1)};
      m.faces << RenderFace{at(r, s), at(r + 1, s + 1), at(r, s + 1)};
    }
  for (int s = 0; s < segments; ++s) m.faces << RenderFace{south, at(rings - 1, s + 1), at(rings - 1, s)};
  return m;
}

Mesh bipyramid(int n, float height) {
  Mesh m;
  for (int i = 0; i < n; ++i) {
    const float a = 2.0f * float(M_PI) * float(i) / float(n);
    m.vertices << Vec3(std::cos(a), std::sin(a), 0);
  }
  m.vertices << Vec3(0, 0, height) << Vec3(0, 0, -height);
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    m.faces << RenderFace{n, i, j} << RenderFace{n + 1, j, i};
  }
  return m;
}

Mesh centredCube() {
  Mesh m;
  for (int k = 0; k < 8; ++k) m.vertices << Vec3(float(k & 1), float((k >> 1) & 1), float((k >> 2) & 1));
  // Each side as its corners counter-clockwise seen from outside.
  const int sides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& side : sides) {
    Vec3 c;
    for (int k : side) c += m.vertices[k] * 0.25f;
    const int centre = m.vertices.size();
    m.vertices << c;
    for (int k = 0; k < 4; ++k) m.faces << RenderFace{centre, side[k], side[(k + 1) % 4]};
  }
  return m;
}

Mesh tetrahedron(const Vec3& c) {
  Mesh m;
  m.vertices << c + Vec3(1, 1, 1) << c + Vec3(1, -1, -1) << c + Vec3(-1, 1, -1) << c + Vec3(-1, -1, 1);
  m.faces << RenderFace{0, 1, 2} << RenderFace{0, 3, 1} << RenderFace{0, 2, 3} << RenderFace{1, 3, 2};
  return m;
}

Mesh octahedron(const Vec3& c, float size) {
  Mesh m;
  m.vertices << c + Vec3(size, 0, 0) << c + Vec3(-size, 0, 0) << c + Vec3(0, size, 0) << c + Vec3(0, -size, 0)
             << c + Vec3(0, 0, size) << c + Vec3(0, 0, -size);
  // +x 0, -x 1, +y 2, -y 3, +z 4, -z 5
  m.faces << RenderFace{0, 2, 4} << RenderFace{2, 1, 4} << RenderFace{1, 3, 4} << RenderFace{3, 0, 4}
          << RenderFace{2, 0, 5} << RenderFace{1, 2, 5} << RenderFace{3, 1, 5} << RenderFace{0, 3, 5};
  return m;
}

Mesh box(const Vec3& lo, const Vec3& hi) {
  Mesh m;
  for (int k = 0; k < 8; ++k)
    m.vertices << Vec3((k & 1) ? hi.x : lo.x, ((k >> 1) & 1) ? hi.y : lo.y, ((k >> 2) & 1) ? hi.z : lo.z);
  const int sides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& s : sides) m.faces << RenderFace{s[0], s[1], s[2]} << RenderFace{s[0], s[2], s[3]};
  return m;
}

Mesh grid(int cells, float bump) {
  Mesh m;
  const int w = cells + 1;
  for (int j = 0; j <= cells; ++j)
    for (int i = 0; i <= cells; ++i)
      m.vertices << Vec3(float(i), float(j), (2 * i == cells && 2 * j == cells) ? bump : 0.0f);
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i) {
      const int a = j * w + i, b = a + 1, c = a + w + 1, d = a + w;
      m.faces << RenderFace{a, b, c} << RenderFace{a, c, d};
    }
  return m;
}

void append(Mesh& a, const Mesh& b) {
  const int base = a.vertices.size();
  a.vertices << b.vertices;
  for (RenderFace f : b.faces) {
    for (int& i : f) i += base;
    a.faces << f;
  }
}

namespace {

using Edge = QPair<int, int>;

// Checks indices and corners; fills the directed-edge counts of the valid faces.
void countEdges(const RenderFaces& faces, int vertexCount, QHash<Edge, int>& edges, QStringList& problems) {
  QSet<QString> triples;
  for (int i = 0; i < faces.size(); ++i) {
    const RenderFace& f = faces[i];
    if (f.size() < 3) {
      problems << QStringLiteral("face %1 has %2 indices").arg(i).arg(f.size());
      continue;
    }
    bool inRange = true;
    for (int c = 0; c < 3; ++c) inRange = inRange && f[c] >= 0 && f[c] < vertexCount;
    if (!inRange) {
      problems << QStringLiteral("face %1 refers to a missing vertex").arg(i);
      continue;
    }
    if (f[0] == f[1] || f[1] == f[2] || f[0] == f[2]) {
      problems << QStringLiteral("face %1 repeats a corner").arg(i);
      continue;
    }
    std::array<int, 3> sorted{f[0], f[1], f[2]};
    std::sort(sorted.begin(), sorted.end());
    const QString key = QStringLiteral("%1 %2 %3").arg(sorted[0]).arg(sorted[1]).arg(sorted[2]);
    if (triples.contains(key)) problems << QStringLiteral("face %1 repeats the vertices %2").arg(i).arg(key);
    triples.insert(key);
    for (int c = 0; c < 3; ++c) ++edges[Edge(f[c], f[(c + 1) % 3])];
  }
  for (auto it = edges.constBegin(); it != edges.constEnd(); ++it)
    if (it.value() > 1)
      problems
          << QStringLiteral("edge %1 -> %2 used %3 times").arg(it.key().first).arg(it.key().second).arg(it.value());
}

}  // namespace

QStringList closedSurfaceProblems(const RenderFaces& faces, int vertexCount) {
  QHash<Edge, int> edges;
  QStringList problems;
  countEdges(faces, vertexCount, edges, problems);
  for (auto it = edges.constBegin(); it != edges.constEnd(); ++it)
    if (!edges.contains(Edge(it.key().second, it.key().first)))
      problems << QStringLiteral("edge %1 -> %2 has no reverse").arg(it.key().first).arg(it.key().second);
  return problems;
}

QStringList surfaceProblems(const RenderFaces& faces, int vertexCount) {
  QHash<Edge, int> edges;
  QStringList problems;
  countEdges(faces, vertexCount, edges, problems);
  return problems;
}

QVector<bool> referencedVertices(const RenderFaces& faces, int vertexCount) {
  QVector<bool> used(vertexCount, false);
  for (const RenderFace& f : faces)
    for (int c = 0; c < qMin(3, f.size()); ++c)
      if (f[c] >= 0 && f[c] < vertexCount) used[f[c]] = true;
  return used;
}

}  // namespace meshedit
