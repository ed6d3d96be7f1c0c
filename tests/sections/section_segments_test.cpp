#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include <cmath>
#include <limits>

#include "sections/section_segments.h"
#include "sections/contours_reference.h"
#include "support/sections_support.h"

using namespace sectionsupport;

namespace {

bool near(const Vec3& a, const Vec3& b, float tol = 1e-6f) { return (a - b).length() <= tol; }

// True when {a, b} equals {p, q} in either order, within tol.
bool sameEnds(const Vec3& a, const Vec3& b, const Vec3& p, const Vec3& q, float tol = 1e-6f) {
  return (near(a, p, tol) && near(b, q, tol)) || (near(a, q, tol) && near(b, p, tol));
}

}  // namespace

TEST(IntersectTriangle, CrossingEdgesGiveTheirCrossingPoints) {
  const SectionPlane plane = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1));
  Vec3 a, b;
  // q0 below, q1 and q2 above: edges q0q1 and q2q0 cross.
  ASSERT_TRUE(intersectTriangle(plane, Vec3(0, 0, 0), Vec3(2, 0, 1), Vec3(0, 2, 1), a, b));
  EXPECT_TRUE(near(a, Vec3(1, 0, 0.5f)));
  EXPECT_TRUE(near(b, Vec3(0, 1, 0.5f)));
  // q1 alone below: edges q0q1 and q1q2 cross, in that order.
  ASSERT_TRUE(intersectTriangle(plane, Vec3(0, 0, 1), Vec3(2, 0, 0), Vec3(0, 2, 1), a, b));
  EXPECT_TRUE(near(a, Vec3(1, 0, 0.5f)));
  EXPECT_TRUE(near(b, Vec3(1, 1, 0.5f)));
  // q2 alone below: edges q1q2 and q2q0.
  ASSERT_TRUE(intersectTriangle(plane, Vec3(0, 0, 1), Vec3(2, 0, 1), Vec3(0, 2, 0), a, b));
  EXPECT_TRUE(near(a, Vec3(1, 1, 0.5f)));
  EXPECT_TRUE(near(b, Vec3(0, 1, 0.5f)));
}

TEST(IntersectTriangle, MissesAndParallelTrianglesGiveNothing) {
  const SectionPlane plane = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1));
  Vec3 a, b;
  EXPECT_FALSE(intersectTriangle(plane, Vec3(0, 0, 1), Vec3(1, 0, 2), Vec3(0, 1, 3), a, b));
  // In a parallel plane: every parameter is infinite.
  EXPECT_FALSE(intersectTriangle(plane, Vec3(0, 0, 1), Vec3(1, 0, 1), Vec3(0, 1, 1), a, b));
  // Lying in the plane itself: every parameter is 0/0.
  EXPECT_FALSE(intersectTriangle(plane, Vec3(0, 0, 0.5f), Vec3(1, 0, 0.5f), Vec3(0, 1, 0.5f), a, b));
}

TEST(IntersectTriangle, PlaneThroughOneCornerKeepsTheCrossingWhicheverCornerItIs) {
  // Corner (0,0,0.5) lies on the plane, the opposite edge crosses it at
  // (0, 1, 0.5). The true crossing runs between those two points for every
  // rotation of the corner order.
  const SectionPlane plane = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1));
  const Vec3 on(0, 0, 0.5f), above(0, 1, 1), below(0, 1, 0);
  const Vec3 corners[3] = {on, above, below};
  for (int r = 0; r < 3; ++r) {
    Vec3 a, b;
    ASSERT_TRUE(intersectTriangle(plane, corners[r], corners[(r + 1) % 3], corners[(r + 2) % 3], a, b)) << r;
    EXPECT_TRUE(sameEnds(a, b, on, Vec3(0, 1, 0.5f))) << "rotation " << r;
  }
}

TEST(IntersectTriangle, EdgeInThePlaneIsTheCrossing) {
  const SectionPlane plane = planeThrough(Vec3(0, 0, 0), Vec3(0, 0, 1));
  Vec3 a, b;
  ASSERT_TRUE(intersectTriangle(plane, Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 0, 1), a, b));
  EXPECT_TRUE(sameEnds(a, b, Vec3(0, 0, 0), Vec3(1, 0, 0)));
}

TEST(ComputeSegments, UnitCubeAtHalfHeightGivesTwoSegmentsPerSide) {
  const RenderMesh cube = unitCubeMesh();
  ASSERT_EQ(cube.faces().size(), 12);
  SectionPlane plane = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1));
  computeSegments(plane, cube, {}, false);
  ASSERT_EQ(plane.segments.size(), 8);
  double length = 0;
  for (const SectionSegment& s : plane.segments) {
    EXPECT_FLOAT_EQ(s.start.z, 0.5f);
    EXPECT_FLOAT_EQ(s.end.z, 0.5f);
    length += (s.end - s.start).length();
    // The normal is the cut face's, pointing out of the cube.
    const Vec3 mid = (s.start + s.end) * 0.5f;
    EXPECT_GT(s.normal.dot(mid - Vec3(0.5f, 0.5f, 0.5f)), 0.0f);
    EXPECT_EQ(s.normal, cube.faceNormals()[s.face]);
  }
  EXPECT_NEAR(length, 4.0, 1e-5);
}

TEST(ComputeSegments, PlaneMissingTheMeshGivesNoSegments) {
  const RenderMesh cube = unitCubeMesh();
  SectionPlane plane = planeThrough(Vec3(0, 0, 3), Vec3(0, 0, 1));
  plane.segments << seg(Vec3(0, 0, 0), Vec3(1, 0, 0));  // stale content is replaced
  computeSegments(plane, cube, {}, false);
  EXPECT_TRUE(plane.segments.isEmpty());
}

TEST(ComputeSegments, SharedEdgeInThePlaneIsKeptOnce) {
  // Two triangles folded along the edge (0,0,0)-(1,0,0), which lies in z = 0;
  // both report that edge, in opposite directions.
  const RenderMesh mesh =
      makeMesh({Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0.5f, 1, 1), Vec3(0.5f, -1, 1)}, {{0, 1, 2}, {1, 0, 3}});
  SectionPlane plane = planeThrough(Vec3(0, 0, 0), Vec3(0, 0, 1));
  computeSegments(plane, mesh, {}, false);
  ASSERT_EQ(plane.segments.size(), 1);
  EXPECT_EQ(plane.segments[0].face, 0);  // the first occurrence stays
  EXPECT_TRUE(sameEnds(plane.segments[0].start, plane.segments[0].end, Vec3(0, 0, 0), Vec3(1, 0, 0), 0));
}

TEST(ComputeSegments, SegmentationRestrictsTheCutToThePlanesSegment) {
  const RenderMesh cube = unitCubeMesh();
  // Faces 8..11 are the x = 0 and x = 1 sides.
  QVector<int> faceSegment(12, 0);
  for (int f = 8; f < 12; ++f) faceSegment[f] = 1;
  SectionPlane plane = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1));
  plane.segmentIndex = 1;
  computeSegments(plane, cube, faceSegment, true);
  ASSERT_EQ(plane.segments.size(), 4);
  for (const SectionSegment& s : plane.segments) EXPECT_GE(s.face, 8);
  // The switch off: every face is cut.
  computeSegments(plane, cube, faceSegment, false);
  EXPECT_EQ(plane.segments.size(), 8);
  // A face list without ids for some faces: those faces are not cut.
  QVector<int> partial(9, 0);
  partial[8] = 1;
  computeSegments(plane, cube, partial, true);
  ASSERT_EQ(plane.segments.size(), 1);
  EXPECT_EQ(plane.segments[0].face, 8);
}

TEST(ComputeSegments, BadFacesAndNonFiniteCoordinatesAreSkipped) {
  RenderMesh cube = unitCubeMesh();
  cube.mutableFaces().append(RenderFace{0, 1, 99});
  cube.mutableFaces().append(RenderFace{-1, 2, 3});
  SectionPlane plane = planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1));
  computeSegments(plane, cube, {}, false);  // faceNormals is now shorter than faces: must not matter
  EXPECT_EQ(plane.segments.size(), 8);

  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  RenderMesh bad = makeMesh({Vec3(0, 0, 0), Vec3(1, 0, 1), Vec3(nan, 1, 1), Vec3(inf, 0, 1), Vec3(0, 1, 1)},
                            {{0, 1, 2}, {0, 3, 4}, {0, 1, 4}});
  computeSegments(plane, bad, {}, false);
  ASSERT_EQ(plane.segments.size(), 1);
  EXPECT_EQ(plane.segments[0].face, 2);
  EXPECT_TRUE(plane.segments[0].start.isFinite() && plane.segments[0].end.isFinite());

  SectionPlane nanPlane = planeThrough(Vec3(0, 0, nan), Vec3(0, 0, 1));
  computeSegments(nanPlane, cube, {}, false);
  EXPECT_TRUE(nanPlane.segments.isEmpty());
}

TEST(RemoveDuplicateSegments, KeepsFirstOccurrenceOfEachSegmentEitherWayRound) {
  const Vec3 a(0, 0, 0), b(1, 0, 0), c(1, 1, 0);
  QList<SectionSegment> s;
  s << seg(a, b, {}, 0) << seg(b, a, {}, 1) << seg(b, c, {}, 2) << seg(a, b, {}, 3) << seg(b, c, {}, 4)
    << seg(c, b, {}, 5) << seg(Vec3(-0.0f, 0, 0), b, {}, 6);
  removeDuplicateSegments(s);
  ASSERT_EQ(s.size(), 2);
  EXPECT_EQ(s[0].face, 0);
  EXPECT_EQ(s[1].face, 2);
}

TEST(ComputeSegments, FaceTreeGivesTheSegmentsOfAScanOverEveryFace) {
  // Bit for bit and in face order, on random planes, planes through rows of
  // vertices and along edges, a mesh with a far-away and a non-finite corner,
  // and after the mesh changes in place.
  auto star = [](float a) { return 1.0f + 0.3f * std::sin(5.0f * a); };
  auto ring = [](float a) { return 0.4f + 0.1f * std::cos(3.0f * a); };
  RenderMesh mesh = refined(starTubeMesh(40, 1.0f, star, ring, 2), 2);
  std::mt19937 rng(5);
  std::normal_distribution<float> g;
  auto same = [](const QList<SectionSegment>& a, const QList<SectionSegment>& b) {
    if (a.size() != b.size()) return false;
    for (int k = 0; k < a.size(); ++k)
      if (std::memcmp(&a[k], &b[k], sizeof(SectionSegment)) != 0) return false;
    return true;
  };
  for (int round = 0; round < 3; ++round) {
    QList<SectionPlane> planes;
    planes << planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1)) << planeThrough(Vec3(0, 0, 0), Vec3(0, 0, 1))
           << planeThrough(Vec3(0, 0, 0.25f), Vec3(1, 0, 0)) << planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 1e-7f, 1));
    for (int k = 0; k < 20; ++k)
      planes << planeThrough(Vec3(g(rng), g(rng), g(rng)) * 0.3f, Vec3(g(rng), g(rng), g(rng)).normalized());
    for (int k = 0; k < planes.size(); ++k) {
      SectionPlane fast = planes[k], plain = planes[k];
      computeSegments(fast, mesh, {}, false);
      computeSegmentsReference(plain, mesh, {}, false);
      EXPECT_TRUE(same(fast.segments, plain.segments)) << "round " << round << " plane " << k;
    }
    // Move the vertices in place; the next cuts see the new geometry.
    for (Vec3& p : mesh.mutableVertices()) p = p + Vec3(0.01f * p.y, 0.0f, 0.02f * p.x);
    if (round == 1) {
      mesh.mutableVertices()[3] = Vec3(3e38f, 0, 0);
      mesh.mutableVertices()[7] = Vec3(std::numeric_limits<float>::quiet_NaN(), 0, 0);
    }
    mesh.updateDerivedData();
  }
}
