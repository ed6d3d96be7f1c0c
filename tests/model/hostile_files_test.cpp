// Hostile and special files given to model loading. Each carries a generous
// time bound that only catches a hang; speed is measured in bench/.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cmath>
#include <sys/stat.h>

#include "engine/sorvex.h"
#include "model/companion_files.h"
#include "model/human_cuts.h"
#include "model/render_mesh.h"
#include "support/debug_capture.h"
#include "support/engine_files.h"
#include "support/test_support.h"
#include "trimesh/trimesh.h"

namespace {

constexpr qint64 kHangMs = 30000;

class HostileFiles : public testsupport::EngineWithFiles {
 protected:
  QByteArray fifo(const QString& name) {
    const QByteArray path = dir.filePath(name).toLocal8Bit();
    EXPECT_EQ(mkfifo(path.constData(), 0600), 0);
    return path;
  }
  bool load(const QByteArray& path, const char* seg = nullptr) {
    return engine.loadModel(path.constData(), path.constData(), seg, false);
  }
};

// One face whose corner list has `corners` entries cycling over 4 vertices.
std::string longFace(bool obj, int corners) {
  std::string s = obj ? "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf" : "OFF\n4 1 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n";
  if (!obj) s += std::to_string(corners);
  s.reserve(s.size() + 2 * size_t(corners) + 2);
  for (int i = 0; i < corners; ++i) {
    s += ' ';
    s += char('0' + (obj ? i % 4 + 1 : i % 4));
  }
  return s + "\n";
}

}  // namespace

TEST_F(HostileFiles, FaceLinesOfAMillionCornersLoadInLinearTime) {
  for (bool obj : {false, true}) {
    testsupport::DebugCapture log;
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(load(file(obj ? QStringLiteral("long.obj") : QStringLiteral("long.off"), longFace(obj, 1000000))));
    EXPECT_LT(timer.elapsed(), kHangMs);
    // The render mesh takes the first three corners, the mesh library the fan.
    ASSERT_EQ(engine.renderMesh->faces().size(), 1);
    EXPECT_EQ(engine.renderMesh->faces()[0], (RenderFace{0, 1, 2}));
    EXPECT_EQ(engine.triMesh->faces.size(), 999998u);
  }
}

TEST_F(HostileFiles, OneSegmentPerFaceIsGroupedInOnePass) {
  // A 100 x 100 grid of quads: 20,000 faces, each its own segment.
  std::string off = "OFF\n10201 20000 0\n";
  for (int j = 0; j <= 100; ++j)
    for (int i = 0; i <= 100; ++i) off += std::to_string(i * 0.01) + " " + std::to_string(j * 0.01) + " 0\n";
  std::string seg;
  for (int j = 0; j < 100; ++j) {
    for (int i = 0; i < 100; ++i) {
      const int a = j * 101 + i;
      off += "3 " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + 102) + "\n";
      off += "3 " + std::to_string(a) + " " + std::to_string(a + 102) + " " + std::to_string(a + 101) + "\n";
    }
  }
  for (int f = 0; f < 20000; ++f) seg += std::to_string(3 * f + 7) + "\n";
  const QByteArray model = file(QStringLiteral("grid.off"), off);
  file(QStringLiteral("grid_0.seg"), seg);
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(load(model));
  EXPECT_EQ(engine.segmentCount, 20000);
  EXPECT_EQ(engine.faceSegment.last(), 3 * 19999 + 7);  // ids are kept as written
  engine.featureEnabled[FeatureSegmentPCAPlanes] = true;
  engine.extractSegmentFeatures();
  EXPECT_LT(timer.elapsed(), kHangMs);
  // Every triangle is a flat segment: one plane each, all z = 0.
  ASSERT_EQ(engine.segmentPlanes.size(), 20000);
  EXPECT_NEAR(std::fabs(engine.segmentPlanes.last().normal.z), 1.0f, 1e-5f);
}

TEST_F(HostileFiles, DevicesAndFifosAreRefusedWithoutBlocking) {
  testsupport::DebugCapture log;
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(load(fifo(QStringLiteral("pipe.off"))));
  EXPECT_FALSE(load(fifo(QStringLiteral("pipe.obj"))));
  EXPECT_EQ(TriMesh::read("/dev/zero"), nullptr);
  QVector<Vec3> v;
  RenderFaces f;
  EXPECT_FALSE(readOff("/dev/zero", v, f));
  QVector<int> ids;
  EXPECT_FALSE(readSegmentation("/dev/zero", 4, ids));
  QList<CutPlane> planes;
  QList<Axis> axes;
  EXPECT_FALSE(readSymmetry("/dev/urandom", planes, axes));
  QList<HumanCut> cuts;
  EXPECT_FALSE(humancuts::readCutFile("/dev/zero", cuts));

  // A model whose companion files are FIFOs loads without them.
  const QByteArray model = file(QStringLiteral("cube.off"), testsupport::unitCubeOff());
  fifo(QStringLiteral("cube_0.seg"));
  fifo(QStringLiteral("cube.sym"));
  ASSERT_TRUE(load(model));
  EXPECT_EQ(engine.faceSegment, QVector<int>(12, 0));
  EXPECT_TRUE(engine.symmetryPlanes.isEmpty());
  EXPECT_LT(timer.elapsed(), kHangMs);
  EXPECT_GE(log.matching(QStringLiteral("is not a regular file; not read")).size(), 5);
}

TEST_F(HostileFiles, MalformedAndHugeSymmetryRecordsAreSkippedAndTheRunFinishes) {
  std::string sym = "P nan 0 0 0\nP 1e39 0 0 0\nA 3e38 3e38 0 0 0 0\nP 1e-30 0 0 1e30\nA 0 0 0 1 1 1\nP 0 2 0 0.5\nA";
  for (int i = 0; i < 400; ++i) sym += " 1e38";
  sym += "\nA 0 0 3 0.5 0.5 0\n";
  const QByteArray model = file(QStringLiteral("cube.off"), testsupport::unitCubeOff());
  file(QStringLiteral("cube.sym"), sym);
  testsupport::DebugCapture log;
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(load(model));
  // Kept: the plane y = 0.25, the long line's first 499 characters (a huge
  // but finite axis) and the axis along z.
  ASSERT_EQ(engine.symmetryPlanes.size(), 1);
  EXPECT_EQ(engine.symmetryPlanes[0].normal, Vec3(0, 1, 0));
  EXPECT_FLOAT_EQ(engine.symmetryPlanes[0].d, 0.25f);
  ASSERT_EQ(engine.symmetryAxes.size(), 2);
  EXPECT_NEAR(engine.symmetryAxes[0].direction.x, 1.0f / std::sqrt(3.0f), 1e-6f);
  EXPECT_FLOAT_EQ(engine.symmetryAxes[1].halfLength, 3.0f);
  EXPECT_EQ(log.matching(QStringLiteral("longer than 499 characters")).size(), 1);
  EXPECT_EQ(log.matching(QStringLiteral("; skipped")).size(), 5);

  engine.setBinSelectThreshold(0.05f);
  engine.start();
  ASSERT_TRUE(engine.wait(kHangMs));
  EXPECT_LT(timer.elapsed(), 2 * kHangMs);
}

TEST_F(HostileFiles, OutOfRangeNumbersAndInfiniteBoundsAreRefused) {
  testsupport::DebugCapture log;
  // 4294967298 would read as 2 through a C int.
  EXPECT_FALSE(load(file(QStringLiteral("big.off"), "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 4294967298\n")));
  EXPECT_NE(TriMesh::read(dir.filePath(QStringLiteral("big.off")).toLocal8Bit().constData()), nullptr);
  EXPECT_TRUE(engine.modelPath.isEmpty());
  // In OBJ files a face with a bad index is dropped by both readers.
  ASSERT_TRUE(load(file(QStringLiteral("big.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4294967298\nf 1 2 3\n")));
  EXPECT_EQ(engine.renderMesh->faces().size(), 1);
  EXPECT_EQ(engine.triMesh->faces.size(), 1u);
  // A tab after "v" separates fields for both readers: they number the
  // vertices alike.
  ASSERT_TRUE(load(file(QStringLiteral("tab.obj"), "v 0 0 0\nv\t5 5 5\nv 1 0 0\nv 0 1 0\nf 1 3 4\n")));
  EXPECT_EQ(engine.renderMesh->vertices().size(), 4);
  EXPECT_EQ(engine.triMesh->vertices.size(), 4u);
  EXPECT_EQ(log.matching(QStringLiteral("disagree")).size(), 0);
  // Finite coordinates whose bounding box overflows the float range.
  EXPECT_FALSE(load(file(QStringLiteral("wide.off"), "OFF\n3 1 0\n-3e38 0 0\n3e38 0 0\n0 1 0\n3 0 1 2\n")));
  EXPECT_EQ(log.matching(QStringLiteral("are not finite numbers; not loaded")).size(), 1);
  // The radius is half the box diagonal in single precision.
  EXPECT_TRUE(hasFiniteBounds({Vec3(-1e18f, 0, 0), Vec3(1e18f, 0, 0)}));
  EXPECT_FALSE(hasFiniteBounds({Vec3(-1e20f, 0, 0), Vec3(1e20f, 0, 0)}));
}
