#include <gtest/gtest.h>

#include <QDir>
#include <QSemaphore>
#include <QTemporaryDir>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "support/loading_support.h"
#include "support/engine_files.h"
#include "support/test_support.h"
#include "trimesh/trimesh.h"

namespace {

// A fan of five triangles around the origin (6 vertices).
std::string fanOff() {
  return "OFF\n6 5 0\n0 0 0\n1 0 0\n0.3 1 0\n-0.8 0.6 0\n-0.8 -0.6 0\n0.3 -1 0\n"
         "3 0 1 2\n3 0 2 3\n3 0 3 4\n3 0 4 5\n3 0 5 1\n";
}

class LoadModel : public testsupport::EngineWithFiles {
 protected:
  bool load(const QByteArray& path, const char* seg = nullptr) {
    return engine.loadModel(path.constData(), path.constData(), seg, false);
  }
  // Fills every list a load resets, so a test can see what was touched.
  void dirtyState() {
    engine.segmentPlanes.append(CutPlane());
    engine.segmentAxes.append(Axis());
    engine.ridgeAxes.append(Axis());
    engine.ridgePieces.append(QList<SectionSegment>());
    engine.valleyAxes.append(Axis());
    engine.valleyPieces.append(QList<SectionSegment>());
    engine.symmetryPlanes.append(CutPlane());
    engine.globalXYZPlanes.append(CutPlane());
    engine.globalPCAPlanes.append(CutPlane());
    engine.perpendicularSupportPlanes.append(CutPlane());
    engine.symmetricSupportPlanes.append(CutPlane());
    engine.humanCuts.append(QList<HumanCut>());
    engine.humanCutColours.append(Vec3(1, 0, 0));
    engine.addPlane(SectionPlane());
  }
};

}  // namespace

TEST_F(LoadModel, UpperCaseOffLoadsBothMeshesAndResetsTheModelState) {
  const QByteArray path = file("model.OFF", testsupport::unitCubeOff());
  dirtyState();
  ASSERT_TRUE(load(path));

  EXPECT_EQ(engine.modelPath, QString::fromLocal8Bit(path));
  EXPECT_EQ(engine.renderMesh->vertices().size(), 8);
  EXPECT_EQ(engine.renderMesh->faces().size(), 12);
  // Loaded normals point outward: face 0 (0 2 1) lies in z = 0, facing -z.
  EXPECT_NEAR(engine.renderMesh->faceNormals()[0].z, -1.0f, 1e-6f);
  ASSERT_TRUE(engine.triMesh);
  EXPECT_EQ(engine.triMesh->vertices.size(), 8u);
  EXPECT_FALSE(engine.triMesh->strips.empty());
  EXPECT_TRUE(engine.triMesh->bounding_sphere.valid);
  EXPECT_EQ(engine.triMesh->normals.size(), 8u);
  EXPECT_EQ(engine.triMesh->principal_curv1.size(), 8u);
  EXPECT_EQ(engine.triMesh->curv_derivs.size(), 8u);

  EXPECT_TRUE(engine.planes.isEmpty());
  EXPECT_EQ(engine.currentPlane, Sorvex::kNoPlane);
  EXPECT_TRUE(engine.segmentPlanes.isEmpty());
  EXPECT_TRUE(engine.segmentAxes.isEmpty());
  EXPECT_TRUE(engine.ridgeAxes.isEmpty());
  EXPECT_TRUE(engine.ridgePieces.isEmpty());
  EXPECT_TRUE(engine.valleyAxes.isEmpty());
  EXPECT_TRUE(engine.valleyPieces.isEmpty());
  EXPECT_TRUE(engine.symmetryPlanes.isEmpty());
  EXPECT_TRUE(engine.globalXYZPlanes.isEmpty());
  EXPECT_TRUE(engine.globalPCAPlanes.isEmpty());
  EXPECT_TRUE(engine.perpendicularSupportPlanes.isEmpty());
  EXPECT_TRUE(engine.symmetricSupportPlanes.isEmpty());
  EXPECT_TRUE(engine.humanCuts.isEmpty());
  EXPECT_TRUE(engine.humanCutColours.isEmpty());

  // No segmentation file: one segment, every face 0.
  EXPECT_EQ(engine.faceSegment, QVector<int>(12, 0));
  EXPECT_EQ(engine.segmentCount, 1);
}

TEST_F(LoadModel, SegmentationAndSymmetryFilesNextToTheModel) {
  const QByteArray path = file("fan.off", fanOff());
  file("fan_0.seg", "0\n0\n3\n3\n7\n");
  file("fan.sym", "P 0 1 0 0.5\nA 0 0 2 1 1 1\nP 1 0\n");
  ASSERT_TRUE(load(path));
  EXPECT_EQ(engine.faceSegment, (QVector<int>{0, 0, 3, 3, 7}));
  EXPECT_EQ(engine.segmentCount, 3);
  ASSERT_EQ(engine.symmetryPlanes.size(), 1);  // the short record is skipped
  EXPECT_EQ(engine.symmetryPlanes[0].normal, Vec3(0, 1, 0));
  EXPECT_FLOAT_EQ(engine.symmetryPlanes[0].d, 0.5f);
  ASSERT_EQ(engine.symmetryAxes.size(), 1);
  EXPECT_EQ(engine.symmetryAxes[0].point, Vec3(1, 1, 1));
  EXPECT_EQ(engine.symmetryAxes[0].direction, Vec3(0, 0, 1));
  EXPECT_FLOAT_EQ(engine.symmetryAxes[0].halfLength, 2.0f);

  // An explicit segmentation path wins; its length is fitted to the faces.
  const QByteArray other = file("other.seg", "4\n4\n");
  ASSERT_TRUE(load(path, other.constData()));
  EXPECT_EQ(engine.faceSegment, (QVector<int>{4, 4, 0, 0, 0}));
  EXPECT_EQ(engine.segmentCount, 2);

  const QByteArray tooLong = file("long.seg", "1\n2\n3\n4\n5\n6\n7\n-9\n2147483647\n");
  ASSERT_TRUE(load(path, tooLong.constData()));
  EXPECT_EQ(engine.faceSegment, (QVector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(engine.segmentCount, 5);
}

TEST_F(LoadModel, ObjModelTakesTheFirstThreeCornersOfEachFace) {
  const QByteArray path = file("quad.Obj",
                               "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\n"
                               "f 1//1 2//1 3//1 4//1\nf 1 3 4\n");
  ASSERT_TRUE(load(path));
  ASSERT_EQ(engine.renderMesh->faces().size(), 2);
  EXPECT_EQ(engine.renderMesh->faces()[0], (RenderFace{0, 1, 2}));
  EXPECT_EQ(engine.renderMesh->faces()[1], (RenderFace{0, 2, 3}));
  EXPECT_NEAR(engine.renderMesh->faceNormals()[0].z, 1.0f, 1e-6f);
  EXPECT_EQ(engine.faceSegment.size(), 2);
  ASSERT_TRUE(engine.triMesh);
  EXPECT_EQ(engine.triMesh->vertices.size(), 4u);
}

TEST_F(LoadModel, ObjFacesWithoutThreeUsableCornersAreDropped) {
  const QByteArray path = file("odd.obj",
                               "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                               "f 1 2\nf -3 -2 -1\nf 1 2 99\nf -2147483648 1 2\nf 1 2 3\n");
  ASSERT_TRUE(load(path));
  // Relative indices count back from the last vertex, as the mesh library
  // reads them: -3 -2 -1 is the triangle 1 2 3.
  ASSERT_EQ(engine.renderMesh->faces().size(), 2);
  EXPECT_EQ(engine.renderMesh->faces()[0], (RenderFace{0, 1, 2}));
  EXPECT_EQ(engine.renderMesh->faces()[1], (RenderFace{0, 1, 2}));
  EXPECT_EQ(engine.triMesh->faces.size(), 2u);
  EXPECT_EQ(engine.faceSegment, (QVector<int>{0, 0}));
}

TEST_F(LoadModel, FailedLoadsKeepThePreviousModelWhole) {
  const QByteArray good = file("good.off", fanOff());
  file("good.sym", "P 0 1 0 0.5\n");
  ASSERT_TRUE(load(good));
  engine.segmentPlanes.append(CutPlane());
  engine.addPlane(SectionPlane());
  const std::shared_ptr<TriMesh> before = engine.triMesh;
  const QString pathBefore = engine.modelPath;

  const QByteArray rejected[] = {
      file("model.txt", testsupport::unitCubeOff()),                // not a model file name
      file("offtext.ply", testsupport::unitCubeOff()),              // OFF text under a PLY name
      file("garbage.off", "this is not a mesh\n"),                  // nothing the mesh library can read
      file("empty.obj", ""),                                        // empty file
      file("objtext.off", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"),  // content and name disagree
      dir.filePath("missing.off").toLocal8Bit(),                    // no such file
      QByteArray("x"),                                              // too short to have an extension
  };
  for (const QByteArray& path : rejected) {
    EXPECT_FALSE(load(path)) << path.constData();
    EXPECT_EQ(engine.triMesh, before) << path.constData();
    EXPECT_EQ(engine.modelPath, pathBefore);
    EXPECT_EQ(engine.renderMesh->faces().size(), 5);
    EXPECT_EQ(engine.faceSegment.size(), 5);
    EXPECT_EQ(engine.segmentPlanes.size(), 1);
    EXPECT_EQ(engine.symmetryPlanes.size(), 1);
    EXPECT_EQ(engine.planes.size(), 1);
  }
  EXPECT_FALSE(engine.loadModel(nullptr, nullptr, nullptr, false));
  EXPECT_EQ(engine.triMesh, before);
}

TEST_F(LoadModel, FaceIndexOutsideTheVerticesIsNotLoaded) {
  const QByteArray good = file("good.off", fanOff());
  ASSERT_TRUE(load(good));
  const QByteArray bad = file("bad.off", "OFF\n3 2 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n3 0 1 9\n");
  EXPECT_FALSE(load(bad));
  EXPECT_EQ(engine.renderMesh->faces().size(), 5);
  EXPECT_EQ(engine.modelPath, QString::fromLocal8Bit(good));
}

TEST_F(LoadModel, PathLongerThanFiveHundredBytesIsKeptWhole) {
  QString sub = dir.path();
  for (int i = 0; i < 3; ++i) {
    sub += "/" + QString(200, QChar('a' + i));
    ASSERT_TRUE(QDir().mkpath(sub));
  }
  const QString path = sub + "/model.off";
  ASSERT_GT(path.toLocal8Bit().size(), 600);
  ASSERT_TRUE(testsupport::writeTextFile(path, fanOff()));
  ASSERT_TRUE(testsupport::writeTextFile(sub + "/model_0.seg", "1\n1\n2\n2\n2\n"));
  ASSERT_TRUE(load(path.toLocal8Bit()));
  EXPECT_EQ(engine.modelPath, path);
  EXPECT_EQ(engine.segmentCount, 2);
}

namespace {

// An engine whose selection run waits until the test lets it finish.
class BusyEngine : public Sorvex {
 public:
  BusyEngine() : Sorvex(nullptr) {}
  QSemaphore started, release;

 protected:
  void run() override {
    started.release();
    release.acquire();
  }
};

}  // namespace

TEST_F(LoadModel, RefusedWhileTheSelectionRunIsGoing) {
  const QByteArray path = file("fan.off", fanOff());
  BusyEngine busy;
  busy.start();
  busy.started.acquire();
  EXPECT_FALSE(busy.loadModel(path.constData(), path.constData(), nullptr, false));
  EXPECT_FALSE(busy.triMesh);
  EXPECT_TRUE(busy.renderMesh->faces().isEmpty());
  busy.release.release();
  busy.wait();
  EXPECT_TRUE(busy.loadModel(path.constData(), path.constData(), nullptr, false));
}
