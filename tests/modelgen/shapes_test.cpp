// Analytic checks of the model generator's mesh toolkit: every builder
// yields a closed, outward-oriented surface whose volume matches the solid
// it approximates, and fitting a model into the unit ball carries its
// symmetry records along.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>

#include "modelgen/shapes.h"

using namespace modelgen;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Every directed edge once, its reverse once, and positive enclosed volume.
void expectClosedAndOutward(const Part& part) {
  std::map<std::pair<int, int>, int> directed;
  for (const Tri& t : part.faces) {
    ASSERT_NE(t.a, t.b);
    ASSERT_NE(t.b, t.c);
    ASSERT_NE(t.a, t.c);
    ++directed[{t.a, t.b}];
    ++directed[{t.b, t.c}];
    ++directed[{t.c, t.a}];
  }
  int bad = 0;
  for (const auto& e : directed) {
    if (e.second != 1) ++bad;
    const auto reverse = directed.find({e.first.second, e.first.first});
    if (reverse == directed.end() || reverse->second != 1) ++bad;
  }
  EXPECT_EQ(bad, 0);
  EXPECT_GT(signedVolume(part), 0.0);
}

TEST(ModelgenShapes, RoundedBoxHasTheVolumeOfABoxGrownByABall) {
  const V3 half(1.0, 0.5, 0.25);
  const double r = 0.1;
  const Part box = roundedBox(half, r, 0.1, 4);
  expectClosedAndOutward(box);
  // Inner box grown by a ball of radius r (Steiner's formula).
  const double a = 2 * (half.x - r), b = 2 * (half.y - r), c = 2 * (half.z - r);
  const double exact =
      a * b * c + 2 * r * (a * b + b * c + a * c) + kPi * r * r * (a + b + c) + 4.0 / 3.0 * kPi * r * r * r;
  EXPECT_NEAR(signedVolume(box), exact, 0.005 * exact);
  for (const V3& p : box.vertices) {
    EXPECT_LE(std::fabs(p.x), half.x + 1e-12);
    EXPECT_LE(std::fabs(p.y), half.y + 1e-12);
    EXPECT_LE(std::fabs(p.z), half.z + 1e-12);
  }
}

TEST(ModelgenShapes, RoundedBoxWithFullRadiusStaysManifold) {
  // The radius equals the smallest half extent: that axis has no flat part.
  const Part slab = roundedBox(V3(1.0, 0.2, 0.6), 0.2, 0.15, 3);
  expectClosedAndOutward(slab);
}

TEST(ModelgenShapes, RevolvedSolidsMatchTheirVolumes) {
  const Part e = ellipsoid(V3(1.0, 2.0, 0.5), 64, 48);
  expectClosedAndOutward(e);
  EXPECT_NEAR(signedVolume(e), 4.0 / 3.0 * kPi * 1.0 * 2.0 * 0.5, 0.01 * 4.0 / 3.0 * kPi);

  const Part t = torus(2.0, 0.5, 96, 32);
  expectClosedAndOutward(t);
  EXPECT_NEAR(signedVolume(t), 2.0 * kPi * kPi * 2.0 * 0.25, 0.01 * 2.0 * kPi * kPi * 2.0 * 0.25);

  const Part c = cylinder(1.0, 1.5, 128, 0.0, 3);
  expectClosedAndOutward(c);
  EXPECT_NEAR(signedVolume(c), kPi * 3.0, 0.005 * kPi * 3.0);

  const Part bevelled = cylinder(1.0, 1.5, 64, 0.2, 3);
  expectClosedAndOutward(bevelled);
  EXPECT_LT(signedVolume(bevelled), signedVolume(cylinder(1.0, 1.5, 64, 0.0, 3)));
}

TEST(ModelgenShapes, RingProfileGivesAClosedWasher) {
  // Square section from r = 2 to 3, y = -0.5 to 0.5: volume pi (9 - 4).
  const Part washer = revolveLoop({{2.0, -0.5}, {3.0, -0.5}, {3.0, 0.5}, {2.0, 0.5}}, 256);
  expectClosedAndOutward(washer);
  EXPECT_NEAR(signedVolume(washer), kPi * 5.0, 0.002 * kPi * 5.0);
}

TEST(ModelgenShapes, TubeAlongABendIsClosedWithRoundEnds) {
  const std::vector<V3> path = arc(V3(0, 0, 0), V3(1, 0, 0), V3(0, 1, 0), 3.0, 0.0, 90.0, 40);
  const double r = 0.3;
  const Part straightEnds = tube(path, std::vector<double>(path.size(), r), 32, 0.0);
  const Part roundEnds = tube(path, std::vector<double>(path.size(), r), 32, 1.0);
  expectClosedAndOutward(straightEnds);
  expectClosedAndOutward(roundEnds);
  // Pappus: quarter torus; the domes add one ball.
  const double quarter = kPi * r * r * (0.5 * kPi * 3.0);
  EXPECT_NEAR(signedVolume(straightEnds), quarter, 0.01 * quarter);
  EXPECT_NEAR(signedVolume(roundEnds), quarter + 4.0 / 3.0 * kPi * r * r * r, 0.01 * quarter);
}

TEST(ModelgenShapes, LoftThroughAirfoilLikeSectionsIsClosed) {
  std::vector<std::vector<V3>> sections;
  for (int i = 0; i < 5; ++i) {
    std::vector<V3> loop;
    for (int k = 0; k < 12; ++k) {
      const double a = 2 * kPi * k / 12;
      loop.emplace_back(2.0 * std::cos(a) - 0.3 * i, 0.2 * std::sin(a), double(i));
    }
    sections.push_back(loop);
  }
  expectClosedAndOutward(loft(sections));
}

TEST(ModelgenShapes, MirroringKeepsTheSurfaceOutward) {
  const Part e = transformed(ellipsoid(V3(1, 2, 3), 16, 12), translation(V3(4, 0, 0)));
  const Part mirrored = transformed(e, scaling(V3(-1, 1, 1)));
  expectClosedAndOutward(mirrored);
  EXPECT_NEAR(signedVolume(mirrored), signedVolume(e), 1e-9);
  EXPECT_NEAR(mirrored.vertices[5].x, -e.vertices[5].x, 1e-12);
}

TEST(ModelgenShapes, RotationFromYTurnsYOntoTheDirection) {
  for (const V3& d : {V3(1, 0, 0), V3(0, -1, 0), V3(0, 1, 0), V3(1, 2, -3), V3(-0.2, -1, 0.1)}) {
    const Affine r = rotationFromY(d);
    const V3 image = r.applyLinear(V3(0, 1, 0));
    const V3 want = normalised(d);
    EXPECT_NEAR(image.x, want.x, 1e-12);
    EXPECT_NEAR(image.y, want.y, 1e-12);
    EXPECT_NEAR(image.z, want.z, 1e-12);
    EXPECT_NEAR(r.determinant(), 1.0, 1e-12);
    EXPECT_NEAR(length(r.applyLinear(V3(0.3, -0.4, 1.2))), length(V3(0.3, -0.4, 1.2)), 1e-12);
  }
}

TEST(ModelgenShapes, FittingIntoTheBallCarriesSymmetryAlong) {
  Model m;
  m.addPart(transformed(roundedBox(V3(2, 1, 1), 0.2, 0.5), translation(V3(5, 3, -1))));
  m.addPart(transformed(ellipsoid(V3(1, 1, 1), 16, 12), translation(V3(9, 3, -1))));
  // The plane through a chosen vertex and an axis through another; after
  // fitting, both must still pass through the moved vertices.
  const V3 v0 = m.vertices[7], v1 = m.vertices[40];
  const V3 n = normalised(V3(1, -2, 0.5));
  m.addPlane(n * 3.0, 3.0 * dot(n, v0));  // unnormalised on purpose
  m.addAxis(V3(0, 2, 0), v1);
  m.fitIntoBall(0.9);

  double farthest = 0.0;
  for (const V3& p : m.vertices) farthest = std::max(farthest, length(p));
  EXPECT_NEAR(farthest, 0.9, 1e-12);
  ASSERT_EQ(m.planes.size(), 1u);
  EXPECT_NEAR(length(m.planes[0].normal), 1.0, 1e-12);
  EXPECT_NEAR(dot(m.planes[0].normal, m.vertices[7]), m.planes[0].d, 1e-12);
  // The axis point moved with its vertex; the direction kept its share of the model.
  ASSERT_EQ(m.axes.size(), 1u);
  EXPECT_NEAR(length(m.axes[0].point - m.vertices[40]), 0.0, 1e-12);
  const double scale = length(m.vertices[7] - m.vertices[40]) / length(v0 - v1);
  EXPECT_NEAR(length(m.axes[0].direction), 2.0 * scale, 1e-12);
}

TEST(ModelgenShapes, PartsKeepTheirSegmentIds) {
  Model m;
  const Part a = ellipsoid(V3(1, 1, 1), 8, 6), b = roundedBox(V3(1, 1, 1), 0.3, 1.0, 1);
  EXPECT_EQ(m.addPart(a), 0);
  EXPECT_EQ(m.addPart(b), 1);
  m.addPart(a, 0);
  EXPECT_EQ(m.segmentCount, 2);
  ASSERT_EQ(m.faceSegment.size(), m.faces.size());
  EXPECT_EQ(m.faceSegment.front(), 0);
  EXPECT_EQ(m.faceSegment[a.faces.size()], 1);
  EXPECT_EQ(m.faceSegment.back(), 0);
  // Indices of later parts are shifted past the earlier vertices.
  EXPECT_EQ(m.faces[a.faces.size()].a, b.faces[0].a + int(a.vertices.size()));
}

}  // namespace
