#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "engine/ridge_features.h"
#include "engine/sorvex.h"
#include "trimesh/trimesh.h"

namespace {

// One triangle (strip 0 1 2) whose curvature data is set by hand: principal
// direction x everywhere, normals +z.
TriMesh triangle(float k0, float k1, float k2, float e0, float e1, float e2) {
  TriMesh m;
  m.vertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
  m.faces = {TriMesh::Face(0, 1, 2)};
  m.strips = {3, 0, 1, 2};
  m.normals.assign(3, Vec3(0, 0, 1));
  m.principal_dir1.assign(3, Vec3(1, 0, 0));
  m.principal_curv1 = {k0, k1, k2};
  m.curv_derivs = {{e0, 0, 0, 0}, {e1, 0, 0, 0}, {e2, 0, 0, 0}};
  return m;
}

SectionSegment seg(const Vec3& a, const Vec3& b) {
  SectionSegment s;
  s.start = a;
  s.end = b;
  return s;
}

}  // namespace

TEST(CurvatureLines, RidgeSegmentBetweenTheDerivativeZeroCrossings) {
  // The derivative changes sign between vertex 0 and the others: edges 0-1
  // and 2-0 hold the zero crossings.
  TriMesh m = triangle(20, 20, 20, -1, 1, 1);
  QVector<Vec3> points, normals;
  traceCurvatureLines(m, true, 15.0f, points, normals);
  ASSERT_EQ(points.size(), 2);
  ASSERT_EQ(normals.size(), 2);
  // Crossings at the middle of edges 1-2 ... 0-1 and 2-0 (|e| equal).
  const Vec3 a = points[0], b = points[1];
  const bool midpoints = ((a - Vec3(0.5f, 0, 0)).length() < 1e-6f && (b - Vec3(0, 0.5f, 0)).length() < 1e-6f) ||
                         ((b - Vec3(0.5f, 0, 0)).length() < 1e-6f && (a - Vec3(0, 0.5f, 0)).length() < 1e-6f);
  EXPECT_TRUE(midpoints) << a.x << "," << a.y << " " << b.x << "," << b.y;
  EXPECT_NEAR(normals[0].z, 1.0f, 1e-6f);

  // The same triangle is no valley (curvature has the wrong sign).
  points.clear();
  normals.clear();
  traceCurvatureLines(m, false, 15.0f, points, normals);
  EXPECT_TRUE(points.isEmpty());
}

TEST(CurvatureLines, NothingForMixedSignsAllEdgesOrLowCurvature) {
  QVector<Vec3> points, normals;
  // Mixed sign of the curvature at the corners: neither ridge nor valley.
  TriMesh mixed = triangle(20, -20, 20, -1, 1, 1);
  traceCurvatureLines(mixed, true, 15.0f, points, normals);
  traceCurvatureLines(mixed, false, 15.0f, points, normals);
  EXPECT_TRUE(points.isEmpty());

  // All three edge tests hold (every product <= 0): nothing is emitted.
  TriMesh allEdges = triangle(20, 20, 20, 0, 0, 0);
  traceCurvatureLines(allEdges, true, 15.0f, points, normals);
  EXPECT_TRUE(points.isEmpty());

  // Threshold above every curvature.
  TriMesh low = triangle(20, 20, 20, -1, 1, 1);
  traceCurvatureLines(low, true, 25.0f, points, normals);
  EXPECT_TRUE(points.isEmpty());

  // Missing curvature data is no crash, just nothing.
  TriMesh bare;
  bare.vertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
  bare.strips = {3, 0, 1, 2};
  traceCurvatureLines(bare, true, 0.0f, points, normals);
  EXPECT_TRUE(points.isEmpty());
}

TEST(CurvatureLines, ValleyUsesTheNegatedDerivative) {
  TriMesh m = triangle(-20, -20, -20, 1, -1, -1);
  QVector<Vec3> points, normals;
  traceCurvatureLines(m, false, 15.0f, points, normals);
  EXPECT_EQ(points.size(), 2);
}

TEST(FitAxis, StraightPieceGivesItsLineAndHalfLength) {
  QList<SectionSegment> piece{seg(Vec3(0, 0, 0), Vec3(1, 0, 0)), seg(Vec3(1, 0, 0), Vec3(3, 0, 0))};
  const Axis a = fitAxis(piece);
  EXPECT_NEAR(std::fabs(a.direction.x), 1.0f, 1e-5f);
  EXPECT_NEAR(a.halfLength, 1.5f, 1e-6f);
  // Length-weighted midpoint: (0.5 * 1 + 2 * 2) / 3.
  EXPECT_NEAR(a.point.x, 1.5f, 1e-6f);
  EXPECT_NEAR(pointLineDistance(Vec3(2, 3, 4), a), 5.0f, 1e-5f);

  // A piece of zero length yields finite values.
  const Axis z = fitAxis({seg(Vec3(1, 1, 1), Vec3(1, 1, 1))});
  EXPECT_TRUE(z.point.isFinite());
  EXPECT_TRUE(z.direction.isFinite());
  EXPECT_FLOAT_EQ(z.halfLength, 0.0f);
}

TEST(SplitPolyline, ZigZagIsCutWhereTheErrorPassesTheTolerance) {
  // Straight along x for three segments, then a sharp turn up.
  QList<SectionSegment> line{seg(Vec3(0, 0, 0), Vec3(0.1f, 0, 0)), seg(Vec3(0.1f, 0, 0), Vec3(0.2f, 0, 0)),
                             seg(Vec3(0.2f, 0, 0), Vec3(0.3f, 0, 0)), seg(Vec3(0.3f, 0, 0), Vec3(0.3f, 0.3f, 0)),
                             seg(Vec3(0.3f, 0.3f, 0), Vec3(0.3f, 0.6f, 0))};
  QList<Axis> axes;
  QList<QList<SectionSegment>> pieces;
  splitPolyline(line, 0.001f, axes, pieces);
  // The first three segments form a piece; the turn starts the next scan,
  // whose straight tail yields nothing.
  ASSERT_EQ(axes.size(), 1);
  ASSERT_EQ(pieces.size(), 1);
  EXPECT_EQ(pieces[0].size(), 3);
  EXPECT_NEAR(std::fabs(axes[0].direction.x), 1.0f, 1e-4f);

  // A polyline straight over its whole length, and a single segment, give nothing.
  axes.clear();
  pieces.clear();
  splitPolyline(line.mid(0, 3), 0.001f, axes, pieces);
  splitPolyline(line.mid(0, 1), 0.001f, axes, pieces);
  EXPECT_TRUE(axes.isEmpty());
}

namespace {

// Polylines of every kind the splitting meets: straight, gently and sharply
// bent, noisy at about the tolerance, with repeated points, with a far-away
// offset, and not connected.
QList<QList<SectionSegment>> polylineZoo() {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  QList<QList<SectionSegment>> zoo;
  for (int c = 0; c < 60; ++c) {
    const int n = 2 + int(rng() % 120);
    const float step = 0.002f + 0.02f * std::fabs(unit(rng));
    const float bend = (c % 4 == 0) ? 0.0f : 0.4f * unit(rng) * float(c % 5);  // turn per unit length
    const float noise = (c % 3 == 0) ? 0.0f : 1e-4f * float(c % 7) * std::fabs(unit(rng));
    const Vec3 offset = (c % 10 == 9) ? Vec3(40.0f, -25.0f, 12.0f) : Vec3(0.3f * unit(rng), 0.3f * unit(rng), 0.0f);
    QList<SectionSegment> line;
    Vec3 p = offset, dir = Vec3(unit(rng), unit(rng), 0.3f * unit(rng)).normalized();
    for (int k = 0; k < n; ++k) {
      const float turn = bend * step;
      dir =
          Vec3(dir.x * std::cos(turn) - dir.y * std::sin(turn), dir.x * std::sin(turn) + dir.y * std::cos(turn), dir.z)
              .normalized();
      Vec3 q = p + dir * ((c % 6 == 5 && k % 7 == 3) ? 0.0f : step);
      q += Vec3(unit(rng), unit(rng), unit(rng)) * noise;
      SectionSegment s = seg(p, q);
      if (c % 8 == 7 && k % 5 == 4) s.start += Vec3(0.0f, 1e-5f, 0.0f);  // a gap: not connected
      line.append(s);
      p = q;
    }
    zoo.append(line);
  }
  // Long gentle arcs: long pieces whose error creeps up to the tolerance.
  for (float radius : {0.4f, 1.5f}) {
    QList<SectionSegment> arc;
    for (int k = 0; k < 250; ++k) {
      const float a = 0.004f * k, b = 0.004f * (k + 1);
      arc.append(seg(Vec3(radius * std::cos(a), radius * std::sin(a), 0.1f),
                     Vec3(radius * std::cos(b), radius * std::sin(b), 0.1f)));
    }
    zoo.append(arc);
  }
  // Zig-zags and corners exactly at the scales of the tolerance.
  for (float h : {0.0005f, 0.001f, 0.003f, 0.03f}) {
    QList<SectionSegment> zig;
    for (int k = 0; k < 40; ++k)
      zig.append(seg(Vec3(0.01f * k, (k % 2) * h, 0), Vec3(0.01f * (k + 1), ((k + 1) % 2) * h, 0)));
    zoo.append(zig);
  }
  return zoo;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(SplitPolyline, RunningSumsGiveExactlyThePiecesOfThePlainSplitting) {
  int pieceCount = 0;
  const QList<QList<SectionSegment>> zoo = polylineZoo();
  for (int c = 0; c < zoo.size(); ++c) {
    QList<Axis> axes, plainAxes;
    QList<QList<SectionSegment>> pieces, plainPieces;
    splitPolyline(zoo[c], 0.001f, axes, pieces);
    splitPolylinePlain(zoo[c], 0.001f, plainAxes, plainPieces);
    ASSERT_EQ(pieces.size(), plainPieces.size()) << "polyline " << c;
    ASSERT_EQ(axes.size(), plainAxes.size()) << "polyline " << c;
    for (int p = 0; p < pieces.size(); ++p) {
      ASSERT_EQ(pieces[p].size(), plainPieces[p].size()) << "polyline " << c << " piece " << p;
      EXPECT_EQ(pieces[p].first().start, plainPieces[p].first().start);
      EXPECT_EQ(axes[p].point, plainAxes[p].point);
      EXPECT_EQ(axes[p].direction, plainAxes[p].direction);
      EXPECT_TRUE(sameBits(axes[p].halfLength, plainAxes[p].halfLength));
    }
    pieceCount += pieces.size();
  }
  EXPECT_GT(pieceCount, 50) << "the zoo should cut many pieces";
}

TEST(RidgeFamily, FlagOffEmptiesTheLists) {
  Sorvex engine(nullptr);
  engine.ridgeAxes.append(Axis());
  engine.ridgePieces.append(QList<SectionSegment>());
  engine.ridgeNormals.append(Vec3(1, 0, 0));
  engine.featureEnabled[FeatureRidges] = false;
  engine.extractRidges();
  EXPECT_TRUE(engine.ridgeAxes.isEmpty());
  EXPECT_TRUE(engine.ridgePieces.isEmpty());
  EXPECT_TRUE(engine.ridgeNormals.isEmpty());
  // Without a curvature mesh the enabled family finds nothing either.
  engine.featureEnabled[FeatureRidges] = true;
  engine.extractValleys();
  EXPECT_TRUE(engine.valleyAxes.isEmpty());
}
