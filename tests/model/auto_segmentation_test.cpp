#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <cmath>
#include <limits>
#include <map>

#include "model/auto_segmentation.h"
#include "model/companion_files.h"
#include "support/shape_meshes.h"

namespace {

using shapemeshes::Mesh;

// A result is either a failure with a reason and no ids, or one id per face,
// ids 0 .. segmentCount - 1 each used, and a method line. Returns whether it
// is a segmentation.
bool checkResult(const AutoSegmentation& s, int faceCount) {
  if (!s.failure.isEmpty()) {
    EXPECT_TRUE(s.faceSegment.isEmpty());
    return false;
  }
  EXPECT_EQ(s.faceSegment.size(), faceCount);
  EXPECT_GE(s.segmentCount, 1);
  QVector<int> used(std::max(0, s.segmentCount), 0);
  for (int id : s.faceSegment) {
    EXPECT_GE(id, 0);
    EXPECT_LT(id, s.segmentCount);
    if (id >= 0 && id < s.segmentCount) used[id] = 1;
  }
  EXPECT_EQ(used.count(1), s.segmentCount) << "every id is used";
  EXPECT_EQ(countSegments(s.faceSegment), s.segmentCount);
  EXPECT_FALSE(s.method.isEmpty());
  return true;
}

void expectDumbbellParts(const Mesh& m, const AutoSegmentation& s) {
  ASSERT_TRUE(checkResult(s, m.faces.size())) << s.failure.toStdString();
  EXPECT_GE(s.segmentCount, 3) << s.method.toStdString();
  // Beyond the balls' centres, and the middle of the bar.
  const auto left = shapemeshes::majority(m, s.faceSegment, [](float z) { return z < -shapemeshes::kDumbbellBallCentre; });
  const auto right = shapemeshes::majority(m, s.faceSegment, [](float z) { return z > shapemeshes::kDumbbellBallCentre; });
  const auto bar = shapemeshes::majority(m, s.faceSegment, [](float z) { return std::abs(z) < 0.12f; });
  EXPECT_GE(left.second, 0.8) << s.method.toStdString();
  EXPECT_GE(right.second, 0.8) << s.method.toStdString();
  EXPECT_GE(bar.second, 0.8) << s.method.toStdString();
  EXPECT_NE(left.first, bar.first) << s.method.toStdString();
  EXPECT_NE(right.first, bar.first) << s.method.toStdString();
}

}  // namespace

// The whole mesh (below the proxy size) and a finer one through the proxy.
TEST(AutoSegmentation, DumbbellSplitsBothBallsFromTheBar) {
  const Mesh coarse = shapemeshes::dumbbell(40, 24);
  ASSERT_LT(coarse.faces.size(), AutoSegmentationParams().proxyFaces);
  const AutoSegmentation a = computeAutoSegmentation(coarse.vertices, coarse.faces);
  expectDumbbellParts(coarse, a);
  EXPECT_TRUE(a.method.contains("whole mesh")) << a.method.toStdString();

  const Mesh fine = shapemeshes::dumbbell(160, 64);
  ASSERT_GT(fine.faces.size(), 4 * AutoSegmentationParams().proxyFaces);
  const AutoSegmentation b = computeAutoSegmentation(fine.vertices, fine.faces);
  expectDumbbellParts(fine, b);
  EXPECT_TRUE(b.method.contains("proxy")) << b.method.toStdString();
}

TEST(AutoSegmentation, SphereGivesVeryFewSegments) {
  const Mesh m = shapemeshes::sphere(0.8, 60, 48);
  const AutoSegmentation s = computeAutoSegmentation(m.vertices, m.faces);
  ASSERT_TRUE(checkResult(s, m.faces.size())) << s.failure.toStdString();
  EXPECT_LE(s.segmentCount, 2) << s.method.toStdString();
}

TEST(AutoSegmentation, HostileInputReturnsCleanly) {
  {
    const AutoSegmentation s = computeAutoSegmentation({}, {});
    EXPECT_FALSE(s.failure.isEmpty());
    EXPECT_TRUE(s.faceSegment.isEmpty());
  }
  {  // every vertex NaN: nothing to segment
    Mesh m = shapemeshes::sphere(0.5, 10, 12);
    for (Vec3& v : m.vertices) v.x = std::numeric_limits<float>::quiet_NaN();
    const AutoSegmentation s = computeAutoSegmentation(m.vertices, m.faces);
    EXPECT_FALSE(checkResult(s, m.faces.size()));
    EXPECT_FALSE(s.failure.isEmpty());
  }
  {  // some NaN and infinite vertices, out-of-range and negative indices
    Mesh m = shapemeshes::dumbbell(40, 24);
    for (int v = 0; v < m.vertices.size(); v += 37) m.vertices[v].y = std::numeric_limits<float>::quiet_NaN();
    m.vertices[5].z = std::numeric_limits<float>::infinity();
    m.faces.append({0, 1, 1 << 30});
    m.faces.append({-1, 2, 3});
    m.faces.append({7, 7, 7});
    m.faces.insert(10, {-5, -6, -7});
    const AutoSegmentation s = computeAutoSegmentation(m.vertices, m.faces);
    EXPECT_TRUE(checkResult(s, m.faces.size())) << s.failure.toStdString();
  }
  {  // a non-manifold fan of triangles on one edge, alone and beside a sphere
    auto makeFan = [](int count) {
      Mesh fan;
      fan.vertices = {Vec3(0, 0, -0.5f), Vec3(0, 0, 0.5f)};
      for (int i = 0; i < count; ++i) {
        const double a = 2 * M_PI * i / count;
        fan.vertices.append(Vec3(float(0.5 * std::cos(a)), float(0.5 * std::sin(a)), 0.0f));
        fan.faces.append({0, 1, fan.vertices.size() - 1});
      }
      return fan;
    };
    const Mesh fan = makeFan(100);
    checkResult(computeAutoSegmentation(fan.vertices, fan.faces), fan.faces.size());
    // Every triangle alone is far below the smallest segment's share, and
    // all of them touch: they merge, however many they are.
    const Mesh wide = makeFan(3000);
    const AutoSegmentation w = computeAutoSegmentation(wide.vertices, wide.faces);
    if (checkResult(w, wide.faces.size())) {
      EXPECT_LE(w.segmentCount, 3) << w.method.toStdString();
    }
    Mesh both = shapemeshes::sphere(0.3, 20, 16);
    const int offset = both.vertices.size();
    both.vertices += fan.vertices;
    for (RenderFace t : fan.faces) {
      for (int& i : t) i += offset;
      both.faces.append(t);
    }
    checkResult(computeAutoSegmentation(both.vertices, both.faces), both.faces.size());
  }
  {  // every face twice, the copies reversed or not
    Mesh m = shapemeshes::sphere(0.5, 24, 24);
    const int n = m.faces.size();
    for (int f = 0; f < n; ++f) {
      RenderFace t = m.faces[f];
      if (f % 2) std::swap(t[1], t[2]);
      m.faces.append(t);
    }
    const AutoSegmentation s = computeAutoSegmentation(m.vertices, m.faces);
    if (checkResult(s, m.faces.size())) {
      for (int f = 0; f < n; ++f) EXPECT_EQ(s.faceSegment[f], s.faceSegment[f + n]) << "face " << f;
    }
  }
  {  // a single triangle, and a flat open sheet: no inside to measure
    const QVector<Vec3> v = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(1, 1, 0)};
    checkResult(computeAutoSegmentation(v, {{0, 1, 2}}), 1);
    const AutoSegmentation s = computeAutoSegmentation(v, {{0, 1, 2}, {1, 3, 2}});
    if (checkResult(s, 2)) {
      EXPECT_EQ(s.segmentCount, 1);
    }
  }
  {  // out of time, out of memory: the child is stopped
    const Mesh m = shapemeshes::dumbbell(80, 48);
    AutoSegmentationParams slow;
    slow.timeLimitMs = 1;
    const AutoSegmentation s = computeAutoSegmentation(m.vertices, m.faces, nullptr, slow);
    EXPECT_TRUE(s.faceSegment.isEmpty());
    EXPECT_TRUE(s.failure.contains("longer than")) << s.failure.toStdString();
    AutoSegmentationParams small;
    small.memoryBytes = 1 << 20;
    const AutoSegmentation t = computeAutoSegmentation(m.vertices, m.faces, nullptr, small);
    EXPECT_TRUE(t.faceSegment.isEmpty());
    EXPECT_FALSE(t.failure.isEmpty());
  }
  {  // cancelled before it starts
    const Mesh m = shapemeshes::sphere(0.5, 10, 12);
    std::atomic<bool> cancel{true};
    const AutoSegmentation s = computeAutoSegmentation(m.vertices, m.faces, &cancel);
    EXPECT_TRUE(s.faceSegment.isEmpty());
    EXPECT_TRUE(s.failure.contains("cancel")) << s.failure.toStdString();
  }
}

TEST(AutoSegmentation, FileRoundTripsThroughTheSegmentationReader) {
  QTemporaryDir dir;
  const Mesh m = shapemeshes::dumbbell(40, 24);
  const AutoSegmentation s = computeAutoSegmentation(m.vertices, m.faces);
  ASSERT_TRUE(checkResult(s, m.faces.size())) << s.failure.toStdString();
  const QString path = dir.filePath("dumbbell_0.seg");
  QString why;
  ASSERT_TRUE(writeSegmentationFile(path, s.faceSegment, &why)) << why.toStdString();
  QVector<int> read;
  ASSERT_TRUE(readSegmentation(path.toLocal8Bit().constData(), m.faces.size(), read));
  EXPECT_EQ(read, s.faceSegment);
  EXPECT_EQ(countSegments(read), s.segmentCount);

  EXPECT_FALSE(writeSegmentationFile(dir.filePath("no/such/folder/x_0.seg"), s.faceSegment, &why));
  EXPECT_FALSE(why.isEmpty());
}
