#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <limits>
#include <random>

#include "engine/symmetry_detection.h"
#include "model/companion_files.h"

namespace {

struct Mesh {
  QVector<Vec3> v;
  RenderFaces f;
};

// Expected symmetries in model units: a plane n . x = d, an axis through a point.
struct Expected {
  QList<CutPlane> planes;
  QList<Axis> axes;
};

CutPlane plane(const Vec3& n, float d) {
  CutPlane p;
  p.normal = n.normalized();
  p.d = d;
  return p;
}

// Box [-a,a] x [-b,b] x [-c,c], each side an n x n grid of quads split into triangles.
Mesh box(float a, float b, float c, int n = 4) {
  Mesh m;
  const float half[3] = {a, b, c};
  for (int axis = 0; axis < 3; ++axis)
    for (int sign = -1; sign <= 1; sign += 2) {
      const int u = (axis + 1) % 3, w = (axis + 2) % 3;
      const int base = m.v.size();
      for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) {
          Vec3 p;
          p[axis] = sign * half[axis];
          p[u] = half[u] * (2.0f * i / n - 1.0f);
          p[w] = half[w] * (2.0f * j / n - 1.0f);
          m.v.append(p);
        }
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
          const int p00 = base + i * (n + 1) + j, p10 = p00 + n + 1;
          m.f.append({p00, p10, p10 + 1});
          m.f.append({p00, p10 + 1, p00 + 1});
        }
    }
  return m;
}

// Closed cylinder of radius r along y from -h to h: 64 sides, fanned caps.
Mesh cylinder(float r, float h) {
  Mesh m;
  const int n = 64;
  for (int i = 0; i < n; ++i) {
    const float t = 2.0f * float(M_PI) * i / n;
    m.v.append(Vec3(r * std::cos(t), -h, r * std::sin(t)));
    m.v.append(Vec3(r * std::cos(t), h, r * std::sin(t)));
  }
  const int bottom = m.v.size(), top = bottom + 1;
  m.v.append(Vec3(0, -h, 0));
  m.v.append(Vec3(0, h, 0));
  for (int i = 0; i < n; ++i) {
    const int a = 2 * i, b = 2 * ((i + 1) % n);
    m.f.append({a, b, b + 1});  // the side quad as two triangles
    m.f.append({a, b + 1, a + 1});
    m.f.append({bottom, b, a});
    m.f.append({top, a + 1, b + 1});
  }
  return m;
}

// A lumpy closed surface: a sphere pushed out by four bumps at random places.
Mesh blob() {
  Mesh m;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  Vec3 bumps[4];
  for (Vec3& b : bumps) b = Vec3(u(rng), u(rng), u(rng)).normalized();
  const int nt = 40, np = 80;
  for (int i = 0; i <= nt; ++i)
    for (int j = 0; j < np; ++j) {
      const float t = float(M_PI) * i / nt, p = 2.0f * float(M_PI) * j / np;
      const Vec3 dir(std::sin(t) * std::cos(p), std::cos(t), std::sin(t) * std::sin(p));
      float r = 1.0f;
      for (int k = 0; k < 4; ++k) r += (0.2f + 0.1f * k) * std::exp(-(dir - bumps[k]).lengthSquared() / 0.3f);
      m.v.append(dir * r);
    }
  for (int i = 0; i < nt; ++i)
    for (int j = 0; j < np; ++j) {
      const int a = i * np + j, b = i * np + (j + 1) % np;
      m.f.append({a, b, b + np});
      m.f.append({a, b + np, a + np});
    }
  return m;
}

// A random rigid motion (fixed seed), applied to meshes and to expected answers.
struct Motion {
  Vec3 row[3];
  Vec3 shift;
  explicit Motion(unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> g;
    const float w = g(rng), x = g(rng), y = g(rng), z = g(rng), l = std::sqrt(w * w + x * x + y * y + z * z);
    const float a = w / l, b = x / l, c = y / l, d = z / l;
    row[0] = Vec3(1 - 2 * (c * c + d * d), 2 * (b * c - a * d), 2 * (b * d + a * c));
    row[1] = Vec3(2 * (b * c + a * d), 1 - 2 * (b * b + d * d), 2 * (c * d - a * b));
    row[2] = Vec3(2 * (b * d - a * c), 2 * (c * d + a * b), 1 - 2 * (b * b + c * c));
    shift = Vec3(3.0f, -1.5f, 7.25f);
  }
  Vec3 turn(const Vec3& p) const { return Vec3(row[0].dot(p), row[1].dot(p), row[2].dot(p)); }
  Vec3 move(const Vec3& p) const { return turn(p) + shift; }
  Mesh operator()(Mesh m) const {
    for (Vec3& p : m.v) p = move(p);
    return m;
  }
  Expected operator()(const Expected& e) const {
    Expected out;
    for (const CutPlane& p : e.planes) {
      const Vec3 n = turn(p.normal);
      out.planes.append(plane(n, n.dot(move(p.normal * p.d))));
    }
    for (Axis a : e.axes) {
      a.point = move(a.point);
      a.direction = turn(a.direction);
      out.axes.append(a);
    }
    return out;
  }
};

// Every expected plane and axis is found once, and nothing else: angles
// within 1 degree, offsets within 0.5% of `size`.
void expectSymmetries(const DetectedSymmetry& got, const Expected& want, float size) {
  ASSERT_TRUE(got.failure.isEmpty()) << got.failure.toStdString();
  EXPECT_EQ(got.planes.size(), want.planes.size()) << got.method.toStdString();
  EXPECT_EQ(got.axes.size(), want.axes.size()) << got.method.toStdString();
  const float cos1 = std::cos(1.0f * float(M_PI) / 180.0f);
  for (const CutPlane& w : want.planes) {
    int matches = 0;
    for (const CutPlane& g : got.planes) {
      EXPECT_NEAR(g.normal.length(), 1.0f, 1e-5f);
      EXPECT_GE(g.d, 0.0f);  // normalised
      const float c = g.normal.dot(w.normal);
      if (std::fabs(c) >= cos1 && std::fabs((c > 0 ? g.d : -g.d) - w.d) < 0.005f * size) ++matches;
    }
    EXPECT_EQ(matches, 1) << "plane " << w.normal.x << " " << w.normal.y << " " << w.normal.z << " " << w.d;
  }
  for (const Axis& w : want.axes) {
    int matches = 0;
    for (const Axis& g : got.axes) {
      const Vec3 v = g.point - w.point;
      const float off = (v - w.direction * w.direction.dot(v)).length();
      if (std::fabs(g.direction.dot(w.direction)) >= cos1 && off < 0.005f * size) {
        ++matches;
        EXPECT_NEAR(g.direction.length(), 1.0f, 1e-5f);
        EXPECT_NEAR(g.halfLength, w.halfLength, 0.01f * size);
      }
    }
    EXPECT_EQ(matches, 1) << "axis " << w.direction.x << " " << w.direction.y << " " << w.direction.z;
  }
}

Expected boxAnswer() { return {{plane(Vec3(1, 0, 0), 0), plane(Vec3(0, 1, 0), 0), plane(Vec3(0, 0, 1), 0)}, {}}; }

Expected cubeAnswer() {
  Expected e = boxAnswer();
  for (int k = 0; k < 3; ++k)
    for (int s = -1; s <= 1; s += 2) {
      Vec3 n;
      n[k] = 1;
      n[(k + 1) % 3] = float(s);
      e.planes.append(plane(n, 0));
    }
  return e;
}

Expected cylinderAnswer(float h) {
  Axis a;
  a.point = Vec3(0, 0, 0);
  a.direction = Vec3(0, 1, 0);
  a.halfLength = h;
  return {{plane(Vec3(0, 1, 0), 0)}, {a}};
}

}  // namespace

TEST(SymmetryDetection, FindsThePlanesOfABoxACubeAndACylinder) {
  const float boxSize = std::sqrt(4.0f * (1.0f + 0.49f + 0.16f));
  expectSymmetries(detectSymmetry(box(1.0f, 0.7f, 0.4f).v, box(1.0f, 0.7f, 0.4f).f), boxAnswer(), boxSize);
  // 49,152 faces: more than the distance index takes a centroid of each.
  const Mesh fine = box(1.0f, 0.7f, 0.4f, 64);
  expectSymmetries(detectSymmetry(fine.v, fine.f), boxAnswer(), boxSize);
  const Mesh cube = box(0.5f, 0.5f, 0.5f);
  expectSymmetries(detectSymmetry(cube.v, cube.f), cubeAnswer(), std::sqrt(3.0f));
  // The cylinder: its axis, and the mid plane across it; the planes that contain the axis are implied by it.
  const Mesh cyl = cylinder(0.5f, 0.8f);
  expectSymmetries(detectSymmetry(cyl.v, cyl.f), cylinderAnswer(0.8f), std::sqrt(1.0f + 1.0f + 2.56f));
}

TEST(SymmetryDetection, ARigidMotionMovesTheAnswers) {
  const Motion motion(11);
  const Mesh b = motion(box(1.0f, 0.7f, 0.4f));
  expectSymmetries(detectSymmetry(b.v, b.f), motion(boxAnswer()), 2.57f);
  const Mesh cube = motion(box(0.5f, 0.5f, 0.5f));
  expectSymmetries(detectSymmetry(cube.v, cube.f), motion(cubeAnswer()), std::sqrt(3.0f));
  const Mesh cyl = motion(cylinder(0.5f, 0.8f));
  expectSymmetries(detectSymmetry(cyl.v, cyl.f), motion(cylinderAnswer(0.8f)), 2.13f);
}

TEST(SymmetryDetection, AsymmetricShapesHaveNone) {
  // A tetrahedron whose six edges all differ, and a lumpy blob.
  const Mesh tet{{Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0.3f, 0.8f, 0), Vec3(0.2f, 0.35f, 0.9f)},
                 {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}}};
  expectSymmetries(detectSymmetry(tet.v, tet.f), {}, 1.4f);
  const Mesh lumpy = blob();
  expectSymmetries(detectSymmetry(lumpy.v, lumpy.f), {}, 3.0f);
}

TEST(SymmetryDetection, HostileInputReturnsCleanly) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  // Nothing usable: a reason, nothing found.
  const Mesh nothing[] = {
      {},                                                                                // empty
      {{Vec3(0, 0, 0), Vec3(1, 0, 0)}, {}},                                              // no faces
      {{Vec3(nan, 0, 0), Vec3(1, 0, 0), Vec3(0, inf, 0)}, {{0, 1, 2}}},                  // non-finite
      {{Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)}, {{0, 1, 7}, {-1, 0, 1}}},          // bad indices
      {{Vec3(0, 0, 0), Vec3(1, 1, 1), Vec3(2, 2, 2)}, {{0, 1, 2}, {0, 0, 0}}},           // zero area
      {{Vec3(3, 3, 3), Vec3(3, 3, 3), Vec3(3, 3, 3)}, {{0, 1, 2}}},                      // one point
  };
  for (const Mesh& m : nothing) {
    const DetectedSymmetry d = detectSymmetry(m.v, m.f);
    EXPECT_FALSE(d.failure.isEmpty());
    EXPECT_TRUE(d.planes.isEmpty());
    EXPECT_TRUE(d.axes.isEmpty());
  }
  // One isosceles triangle: the plane through its apex and, as for any flat surface, its own plane.
  const Mesh tri{{Vec3(-1, 0, 0), Vec3(1, 0, 0), Vec3(0, 3, 0)}, {{0, 1, 2}}};
  expectSymmetries(detectSymmetry(tri.v, tri.f), {{plane(Vec3(1, 0, 0), 0), plane(Vec3(0, 0, 1), 0)}, {}}, 3.6f);
  // Huge coordinates, with NaN vertices and bad faces mixed in: the box's planes, in its units.
  Mesh huge = box(1e30f, 0.7e30f, 0.4e30f);
  for (Vec3& p : huge.v) p += Vec3(5e30f, 0, 0);
  huge.v.append(Vec3(nan, nan, nan));
  huge.f.append({0, 1, huge.v.size() - 1});
  huge.f.append({0, 1, 1 << 30});
  Expected moved = boxAnswer();
  moved.planes[0].d = 5e30f;
  expectSymmetries(detectSymmetry(huge.v, huge.f), moved, 2.57e30f);
  // A cancel flag set before the call stops it.
  const std::atomic<bool> cancel(true);
  const Mesh b = box(1, 1, 1);
  EXPECT_EQ(detectSymmetry(b.v, b.f, &cancel).failure, QString("cancelled"));
}

TEST(SymmetryDetection, WrittenFileReadsBackThroughTheModelReader) {
  QTemporaryDir dir;
  const Mesh cyl = Motion(3)(cylinder(0.4f, 1.0f));
  const DetectedSymmetry found = detectSymmetry(cyl.v, cyl.f);
  ASSERT_EQ(found.planes.size(), 1);
  ASSERT_EQ(found.axes.size(), 1);
  const QString path = dir.filePath("m.sym");
  QString why;
  ASSERT_TRUE(writeSymmetryFile(path, found.planes, found.axes, &why)) << why.toStdString();
  QList<CutPlane> planes;
  QList<Axis> axes;
  ASSERT_TRUE(readSymmetry(path.toLocal8Bit().constData(), planes, axes));
  ASSERT_EQ(planes.size(), 1);
  ASSERT_EQ(axes.size(), 1);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(planes[0].normal[c], found.planes[0].normal[c], 1e-6f);
    EXPECT_NEAR(planes[0].r1[c], found.planes[0].r1[c], 1e-6f);
    EXPECT_NEAR(axes[0].direction[c], found.axes[0].direction[c], 1e-6f);
    EXPECT_NEAR(axes[0].point[c], found.axes[0].point[c], 1e-6f);
  }
  EXPECT_NEAR(planes[0].d, found.planes[0].d, 1e-6f);
  EXPECT_NEAR(axes[0].halfLength, found.axes[0].halfLength, 1e-6f);

  // A record the reader would drop is refused with a reason, and the file is left as it was.
  Axis flat = found.axes[0];
  flat.halfLength = 0;
  EXPECT_FALSE(writeSymmetryFile(path, {}, {flat}, &why));
  EXPECT_TRUE(why.contains("axis 1"));
  planes.clear();
  axes.clear();
  ASSERT_TRUE(readSymmetry(path.toLocal8Bit().constData(), planes, axes));
  EXPECT_EQ(planes.size() + axes.size(), 2);
  EXPECT_FALSE(writeSymmetryFile(dir.filePath("no/such/folder/m.sym"), found.planes, {}, &why));
  EXPECT_FALSE(why.isEmpty());
}
