// The grid-based duplicate removal and chaining must give exactly the results
// of the plain quadratic scans: same kept segments, same picks, same flips.
// Chaining through the mesh must give exactly the results of the plain scan
// of every segment at every step on surfaces that are manifold and
// consistently oriented, however many ends meet at a vertex in the plane.

#include <gtest/gtest.h>

#include <QHash>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sections/contour_chaining.h"
#include "sections/contours_reference.h"
#include "sections/section_segments.h"
#include "sections/section_topology.h"
#include "support/sections_support.h"

using namespace sectionsupport;

namespace {

bool sameBits(const Vec3& a, const Vec3& b) { return std::memcmp(&a, &b, sizeof(Vec3)) == 0; }

bool sameSegment(const SectionSegment& a, const SectionSegment& b) {
  return sameBits(a.start, b.start) && sameBits(a.end, b.end) && sameBits(a.normal, b.normal) && a.face == b.face;
}

::testing::AssertionResult sameLists(const QList<SectionSegment>& a, const QList<SectionSegment>& b) {
  if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size();
  for (int k = 0; k < a.size(); ++k)
    if (!sameSegment(a[k], b[k])) return ::testing::AssertionFailure() << "segment " << k << " differs";
  return ::testing::AssertionSuccess();
}

// Runs both paths on copies of `input` and compares everything they produce.
void expectSameAsReference(const QList<SectionSegment>& input, const std::string& what) {
  SCOPED_TRACE(what);
  QList<SectionSegment> fast = input, plain = input;
  removeDuplicateSegments(fast);
  removeDuplicateSegmentsReference(plain);
  ASSERT_TRUE(sameLists(fast, plain)) << "after duplicate removal";

  QList<SectionContour> fastContours, plainContours;
  linkSegments(fast, fastContours);
  linkSegmentsReference(plain, plainContours);
  ASSERT_TRUE(sameLists(fast, plain)) << "flips written back";
  ASSERT_EQ(fastContours.size(), plainContours.size());
  for (int c = 0; c < fastContours.size(); ++c) {
    ASSERT_TRUE(sameLists(fastContours[c].segments, plainContours[c].segments)) << "contour " << c;
    ASSERT_EQ(fastContours[c].isClosed, plainContours[c].isClosed) << "contour " << c;
  }
}

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}
  float uniform(float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng_); }
  int integer(int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng_); }
  bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  std::mt19937& rng() { return rng_; }

 private:
  std::mt19937 rng_;
};

// Segments between points of a small lattice: many shared ends, equal
// distances (ties), zero-length and coincident segments, both ways round.
QList<SectionSegment> latticeSegments(Generator& g, int count, float spacing) {
  QList<SectionSegment> s;
  const int side = g.integer(2, 6);
  auto point = [&]() {
    return Vec3(spacing * float(g.integer(0, side)), spacing * float(g.integer(0, side)),
                g.chance(0.2) ? spacing * float(g.integer(0, 1)) : 0.0f);
  };
  for (int k = 0; k < count; ++k) {
    const Vec3 a = point();
    const Vec3 b = g.chance(0.1) ? a : point();
    s << seg(a, b, Vec3(0, 0, 1), k);
    if (g.chance(0.15)) s << seg(g.chance(0.5) ? a : b, g.chance(0.5) ? b : a, Vec3(0, 1, 0), k + 1000);
  }
  return s;
}

// Several closed loops and open polylines, shuffled, some segments flipped,
// ends jittered a little (sometimes more than the tolerance).
QList<SectionSegment> loopsAndChains(Generator& g, int loops) {
  QList<SectionSegment> s;
  int face = 0;
  for (int l = 0; l < loops; ++l) {
    const Vec3 centre(g.uniform(-1, 1), g.uniform(-1, 1), g.uniform(-0.01f, 0.01f));
    const float radius = g.uniform(0.002f, 0.5f);
    const int n = g.integer(1, 40);
    const bool open = g.chance(0.3);
    QList<Vec3> pts;
    for (int k = 0; k <= n; ++k) {
      const float a = 2.0f * float(M_PI) * float(k) / float(n) * (open ? 0.7f : 1.0f);
      pts << centre + Vec3(radius * std::cos(a), radius * std::sin(a), 0);
    }
    if (!open) pts.last() = pts.first();
    const float jitter = g.chance(0.3) ? 0.0012f : 0.0004f;
    for (int k = 0; k < n; ++k) {
      Vec3 a = pts[k], b = pts[k + 1];
      if (g.chance(0.3)) a += Vec3(g.uniform(-jitter, jitter), g.uniform(-jitter, jitter), 0);
      if (g.chance(0.5)) std::swap(a, b);
      s << seg(a, b, Vec3(float(l), 0, 0), face++);
    }
  }
  std::shuffle(s.begin(), s.end(), g.rng());
  return s;
}

// A height field over [-1, 1]^2 (side x side cells, two triangles each,
// facing +z) whose vertices lie 0.02 to 0.1 above or below z = 1 at random,
// except every third vertex in both directions, which lies at z = 1 exactly:
// where the plane z = 1 meets one of those, two, four or six crossings meet.
RenderMesh saddleField(Generator& g, int side) {
  QVector<Vec3> v;
  for (int j = 0; j <= side; ++j)
    for (int i = 0; i <= side; ++i) {
      const float x = -1.0f + 2.0f * float(i) / float(side), y = -1.0f + 2.0f * float(j) / float(side);
      const bool pinned = i % 3 == 1 && j % 3 == 1;
      v << Vec3(x, y, pinned ? 1.0f : 1.0f + (g.chance(0.5) ? 1.0f : -1.0f) * g.uniform(0.02f, 0.1f));
    }
  RenderFaces f;
  auto at = [&](int i, int j) { return j * (side + 1) + i; };
  for (int j = 0; j < side; ++j)
    for (int i = 0; i < side; ++i) {
      f << RenderFace{at(i, j), at(i + 1, j), at(i + 1, j + 1)};
      f << RenderFace{at(i, j), at(i + 1, j + 1), at(i, j + 1)};
    }
  return makeMesh(v, f);
}

// A disc of 2m triangles round a centre at z = 1 whose rim runs alternately
// 0.1 above and below it: the plane z = 1 meets 2m crossings at the centre,
// alternately arriving and leaving.
RenderMesh crown(int m) {
  QVector<Vec3> v;
  v << Vec3(0, 0, 1);
  for (int k = 0; k < 2 * m; ++k) {
    const float a = float(M_PI) * float(k) / float(m);
    v << Vec3(0.5f * std::cos(a), 0.5f * std::sin(a), k % 2 ? 0.9f : 1.1f);
  }
  RenderFaces f;
  for (int k = 0; k < 2 * m; ++k) f << RenderFace{0, 1 + k, 1 + (k + 1) % (2 * m)};
  return makeMesh(v, f);
}

// Largest number of segment ends at one place.
int mostEndsAtOnePlace(const std::vector<uint64_t>& places) {
  QHash<quint64, int> count;
  int most = 0;
  for (uint64_t p : places)
    if (p != kNoPlace) most = std::max(most, ++count[quint64(p)]);
  return most;
}

}  // namespace

TEST(ChainingMatchesReference, LatticeSegmentsWithSharedEndsAndTies) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    Generator g(seed);
    // Spacing below the tolerance: several lattice points are within reach of each other.
    const float spacing = g.chance(0.5) ? 0.0004f : 0.0025f;
    expectSameAsReference(latticeSegments(g, g.integer(1, 120), spacing), "lattice seed " + std::to_string(seed));
    if (HasFatalFailure()) return;
  }
}

TEST(ChainingMatchesReference, ShuffledLoopsAndOpenChains) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    Generator g(seed * 7919u);
    expectSameAsReference(loopsAndChains(g, g.integer(1, 8)), "loops seed " + std::to_string(seed));
    if (HasFatalFailure()) return;
  }
}

TEST(ChainingMatchesReference, MeshCutsThroughVerticesAndEdges) {
  // A tube cut at its cap (edges in the plane: many exact duplicates) and
  // through its middle, plus the cube cut through a corner diagonal.
  const RenderMesh tube = tubeMesh(0.4f, 1.0f, 1.0f, 32);
  for (float z : {0.0f, 0.5f, 1.0f}) {
    SectionPlane plane = planeThrough(Vec3(0, 0, z), Vec3(0, 0, 1));
    computeSegments(plane, tube, {}, false);
    ASSERT_FALSE(plane.segments.isEmpty());
    expectSameAsReference(plane.segments, "tube z " + std::to_string(z));
  }
  const RenderMesh cube = unitCubeMesh();
  SectionPlane diagonal = planeThrough(Vec3(0.5f, 0.5f, 0.5f), Vec3(1, 1, 1));
  computeSegments(diagonal, cube, {}, false);
  expectSameAsReference(diagonal.segments, "cube diagonal");
}

TEST(ChainingMatchesReference, NonFiniteAndFarAwayCoordinates) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (unsigned seed = 1; seed <= 100; ++seed) {
    Generator g(seed * 104729u);
    QList<SectionSegment> s = loopsAndChains(g, 3);
    for (SectionSegment& x : s) {
      if (g.chance(0.05)) x.start.x = nan;
      if (g.chance(0.05)) x.end.y = g.chance(0.5) ? inf : -inf;
      if (g.chance(0.1)) x.start.z += 3.0e5f;  // beyond the grid's cell range
      if (g.chance(0.05)) x.end = Vec3(3.0e38f, -3.0e38f, 0);
    }
    expectSameAsReference(s, "non-finite seed " + std::to_string(seed));
    if (HasFatalFailure()) return;
  }
}

TEST(ChainingMatchesReference, CoincidentPileOfSegments) {
  // Many segments sharing both ends, and zero-length ones on top of them.
  QList<SectionSegment> s;
  for (int k = 0; k < 50; ++k) {
    s << seg(Vec3(0, 0, 0), Vec3(0.0007f * float(k % 3), 0, 0), {}, k);
    s << seg(Vec3(0.0007f * float(k % 3), 0, 0), Vec3(0, 0, 0), {}, 100 + k);
  }
  expectSameAsReference(s, "pile");

  // A plane through the apexes of a fan: spokes from one point to a row of
  // ends far closer to each other than the joining distance (crowded cells).
  for (unsigned seed = 1; seed <= 20; ++seed) {
    Generator g(seed * 15485863u);
    QList<SectionSegment> spokes;
    const int n = g.integer(50, 400);
    for (int k = 0; k < n; ++k) {
      const Vec3 hub(g.chance(0.8) ? 0.0f : g.uniform(-1e-4f, 1e-4f), 0, 0);
      const Vec3 apex(0.5f, 2e-5f * float(g.integer(0, n)), g.chance(0.3) ? 1e-6f : 0.0f);
      spokes << (g.chance(0.5) ? seg(hub, apex, {}, k) : seg(apex, hub, {}, k));
    }
    std::shuffle(spokes.begin(), spokes.end(), g.rng());
    expectSameAsReference(spokes, "spokes seed " + std::to_string(seed));
    if (HasFatalFailure()) return;
  }
}

TEST(ChainingMatchesReference, ChainsThroughManifoldMeshesAsThePlainScan) {
  // Closed meshes cut through their middle, along edges and through
  // vertices; height fields and crowns cut through vertices where up to 24
  // crossings meet, alternately arriving and leaving; and, where at most
  // eight ends meet at a place, every other segment (as a mesh segment is
  // chained on its own in segmentation mode).
  std::vector<std::pair<RenderMesh, std::vector<SectionPlane>>> cases;
  auto star = [](float a) { return 1.0f + 0.3f * std::cos(5.0f * a); };
  auto hole = [](float a) { return 0.4f + 0.1f * std::sin(3.0f * a); };
  cases.push_back({tubeMesh(0.4f, 1.0f, 1.0f, 32),
                   {planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1)), planeThrough(Vec3(0, 0, 0), Vec3(0, 0, 1)),
                    planeThrough(Vec3(1, 0, 0), Vec3(1, 0, 0.5f)), planeThrough(Vec3(0.4f, 0, 1), Vec3(0.3f, 1, 0))}});
  cases.push_back({refined(starTubeMesh(40, 1.0f, star, hole, 2), 1),
                   {planeThrough(Vec3(0, 0, 0.5f), Vec3(0, 0, 1)), planeThrough(Vec3(1.3f, 0, 0), Vec3(1, 0, 0)),
                    planeThrough(Vec3(0, 0, 0.25f), Vec3(0.2f, 0.1f, 1))}});
  cases.push_back(
      {refined(unitCubeMesh(), 2),
       {planeThrough(Vec3(0.5f, 0.5f, 0.5f), Vec3(1, 1, 1)), planeThrough(Vec3(0.5f, 0.5f, 0.5f), Vec3(1, 0, 0)),
        planeThrough(Vec3(0.5f, 0.25f, 0.5f), Vec3(1, 1, 0))}});
  for (unsigned seed = 1; seed <= 6; ++seed) {
    Generator g(seed * 31u);
    const RenderMesh field = saddleField(g, 3 * g.integer(4, 9));
    const Vec3 pinned = field.vertices()[field.vertices().size() / 2];
    cases.push_back({field,
                     {planeThrough(Vec3(0, 0, 1), Vec3(0, 0, 1)),
                      planeThrough(pinned, Vec3(g.uniform(-0.05f, 0.05f), g.uniform(-0.05f, 0.05f), 1))}});
  }
  for (int m : {2, 3, 4, 12})
    cases.push_back(
        {crown(m), {planeThrough(Vec3(0, 0, 1), Vec3(0, 0, 1)), planeThrough(Vec3(0, 0, 1), Vec3(0.1f, 0, 1))}});

  int most = 0;
  for (size_t c = 0; c < cases.size(); ++c) {
    for (size_t p = 0; p < cases[c].second.size(); ++p) {
      SCOPED_TRACE("mesh " + std::to_string(c) + " plane " + std::to_string(p));
      SectionPlane plane = cases[c].second[p];
      computeSegments(plane, cases[c].first, {}, false);
      ASSERT_FALSE(plane.segments.isEmpty());
      const std::vector<uint64_t> places = segmentPlaces(plane, cases[c].first);
      const int ends = mostEndsAtOnePlace(places);
      most = std::max(most, ends);
      std::vector<int> every(size_t(plane.segments.size())), odd;
      for (int i = 0; i < plane.segments.size(); ++i) {
        every[size_t(i)] = i;
        if (i % 2) odd.push_back(i);
      }
      for (const std::vector<int>* subset : {&every, &odd}) {
        if (subset == &odd && ends > 8) continue;
        QList<SectionSegment> fast = plane.segments, plain = plane.segments;
        std::vector<uint64_t> fastPlaces = places, plainPlaces = places;
        const std::vector<SegmentChain> a = chainThroughMesh(fast, fastPlaces, *subset, plane.normal);
        const std::vector<SegmentChain> b = chainThroughMeshReference(plain, plainPlaces, *subset, plane.normal);
        ASSERT_TRUE(sameLists(fast, plain)) << "turned segments written back";
        ASSERT_TRUE(fastPlaces == plainPlaces);
        ASSERT_EQ(a.size(), b.size());
        for (size_t k = 0; k < a.size(); ++k) {
          ASSERT_EQ(a[k].ids, b[k].ids) << "chain " << k;
          ASSERT_EQ(a[k].closed, b[k].closed) << "chain " << k;
        }
      }
    }
  }
  EXPECT_EQ(most, 24);  // the crown of 24
}
