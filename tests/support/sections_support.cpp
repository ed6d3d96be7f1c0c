#include "support/sections_support.h"

#include <QDir>
#include <QHash>
#include <QPair>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>

#include "engine/cut_plane.h"
#include "support/test_support.h"

namespace sectionsupport {

RenderMesh makeMesh(const QVector<Vec3>& vertices, const RenderFaces& faces) {
  RenderMesh mesh;
  mesh.setGeometry(vertices, faces);
  mesh.flipFaceNormals();
  return mesh;
}

RenderMesh unitCubeMesh() {
  QTemporaryDir dir;
  const QString path = dir.filePath("cube.off");
  testsupport::writeTextFile(path, testsupport::unitCubeOff());
  QVector<Vec3> vertices;
  RenderFaces faces;
  readOff(path.toLocal8Bit().constData(), vertices, faces);
  return makeMesh(vertices, faces);
}

RenderMesh tubeMesh(float inner, float outer, float height, int sides) {
  QVector<Vec3> v;
  RenderFaces f;
  // Per side k: outer bottom 4k, outer top 4k+1, inner bottom 4k+2, inner top 4k+3.
  for (int k = 0; k < sides; ++k) {
    const float a = 2.0f * float(M_PI) * float(k) / float(sides);
    const float c = std::cos(a), s = std::sin(a);
    v << Vec3(outer * c, outer * s, 0) << Vec3(outer * c, outer * s, height) << Vec3(inner * c, inner * s, 0)
      << Vec3(inner * c, inner * s, height);
  }
  for (int k = 0; k < sides; ++k) {
    const int a = 4 * k, b = 4 * ((k + 1) % sides);
    // outer wall, facing away from the axis
    f << RenderFace{a, b, b + 1} << RenderFace{a, b + 1, a + 1};
    // inner wall, facing the axis
    f << RenderFace{a + 2, a + 3, b + 3} << RenderFace{a + 2, b + 3, b + 2};
    // top cap, facing +z
    f << RenderFace{a + 1, b + 1, b + 3} << RenderFace{a + 1, b + 3, a + 3};
    // bottom cap, facing -z
    f << RenderFace{a, a + 2, b + 2} << RenderFace{a, b + 2, b};
  }
  return makeMesh(v, f);
}

RenderMesh starTubeMesh(int sides, float height, float (*outer)(float), float (*inner)(float), int caps) {
  QVector<Vec3> v;
  RenderFaces f;
  for (int k = 0; k < sides; ++k) {
    const float a = 2.0f * float(M_PI) * float(k) / float(sides);
    const float c = std::cos(a), s = std::sin(a), ro = outer(a), ri = inner(a);
    v << Vec3(ro * c, ro * s, 0) << Vec3(ro * c, ro * s, height) << Vec3(ri * c, ri * s, 0)
      << Vec3(ri * c, ri * s, height);
  }
  for (int k = 0; k < sides; ++k) {
    const int a = 4 * k, b = 4 * ((k + 1) % sides);
    f << RenderFace{a, b, b + 1} << RenderFace{a, b + 1, a + 1};
    f << RenderFace{a + 2, a + 3, b + 3} << RenderFace{a + 2, b + 3, b + 2};
    if (caps >= 1) f << RenderFace{a, a + 2, b + 2} << RenderFace{a, b + 2, b};
    if (caps >= 2) f << RenderFace{a + 1, b + 1, b + 3} << RenderFace{a + 1, b + 3, a + 3};
  }
  return makeMesh(v, f);
}

RenderMesh refined(const RenderMesh& mesh, int rounds, float scale) {
  QVector<Vec3> v = mesh.vertices();
  RenderFaces f = mesh.faces();
  for (int r = 0; r < rounds; ++r) {
    QHash<QPair<int, int>, int> mid;
    auto midpoint = [&](int a, int b) {
      const QPair<int, int> key(std::min(a, b), std::max(a, b));
      auto it = mid.find(key);
      if (it != mid.end()) return it.value();
      v << (v[a] + v[b]) * 0.5f;
      mid.insert(key, v.size() - 1);
      return v.size() - 1;
    };
    RenderFaces out;
    for (const RenderFace& t : f) {
      const int a = t[0], b = t[1], c = t[2];
      const int ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
      out << RenderFace{a, ab, ca} << RenderFace{ab, b, bc} << RenderFace{ca, bc, c} << RenderFace{ab, bc, ca};
    }
    f = out;
  }
  for (Vec3& p : v) p = p * scale;
  return makeMesh(v, f);
}

SectionPlane planeThrough(const Vec3& point, const Vec3& normal) {
  SectionPlane p;
  p.normal = normal.normalized();
  p.point = point;
  p.d = p.normal.dot(point);
  planeAxesFromNormal(p.normal, p.r1, p.r2);
  return p;
}

SectionSegment seg(const Vec3& a, const Vec3& b, const Vec3& normal, int face) {
  SectionSegment s;
  s.start = a;
  s.end = b;
  s.normal = normal;
  s.face = face;
  return s;
}

QList<SectionSegment> polygon(const QList<Vec3>& corners, bool outwardNormals) {
  QList<SectionSegment> out;
  for (int k = 0; k < corners.size(); ++k) {
    const Vec3 a = corners[k], b = corners[(k + 1) % corners.size()];
    const Vec3 dir = b - a;
    // For a counter-clockwise polygon, (dy, -dx) points outward.
    Vec3 n(dir.y, -dir.x, 0);
    n = n.normalized();
    out << seg(a, b, outwardNormals ? n : -n, k);
  }
  return out;
}

QList<Vec3> squareCorners(float x0, float y0, float x1, float y1, int split) {
  QList<Vec3> c;
  const Vec3 p[4] = {Vec3(x0, y0, 0), Vec3(x1, y0, 0), Vec3(x1, y1, 0), Vec3(x0, y1, 0)};
  for (int side = 0; side < 4; ++side) {
    const Vec3 a = p[side], b = p[(side + 1) % 4];
    for (int k = 0; k < split; ++k) c << a + (b - a) * (float(k) / float(split));
  }
  return c;
}

double totalArea(const QList<SlabTriangle>& triangles) {
  double sum = 0;
  for (const SlabTriangle& t : triangles)
    sum += 0.5 * double((t.corners[1] - t.corners[0]).cross(t.corners[2] - t.corners[0]).length());
  return sum;
}

bool evenOddInside(const std::vector<double>& p, double x, double y) {
  bool in = false;
  const size_t n = p.size() / 2;
  for (size_t i = 0, j = n - 1; i < n; j = i++)
    if ((p[2 * i + 1] > y) != (p[2 * j + 1] > y) &&
        x < p[2 * j] + (y - p[2 * j + 1]) / (p[2 * i + 1] - p[2 * j + 1]) * (p[2 * i] - p[2 * j]))
      in = !in;
  return in;
}

ContourPolygon polygonOf(const std::vector<double>& xy) {
  ContourPolygon p;
  p.xy = xy;
  if (xy.size() < 2) return p;
  p.minX = p.maxX = xy[0];
  p.minY = p.maxY = xy[1];
  for (size_t k = 0; k + 1 < xy.size(); k += 2) {
    p.minX = std::min(p.minX, xy[k]), p.maxX = std::max(p.maxX, xy[k]);
    p.minY = std::min(p.minY, xy[k + 1]), p.maxY = std::max(p.maxY, xy[k + 1]);
  }
  p.takesPart = p.size() >= 3;
  return p;
}

}  // namespace sectionsupport
