#include <gtest/gtest.h>

#include <QtGlobal>
#include <cmath>

#include "engine/sorvex.h"
#include "meshedit/sync_trimesh.h"
#include "model/render_mesh.h"
#include "support/bundled_models_support.h"
#include "support/meshedit_support.h"
#include "support/sections_support.h"
#include "trimesh/trimesh.h"

namespace {

void loadSphere(Sorvex& engine, float radius, int segments, int rings) {
  const meshedit::Mesh m = meshedit::uvSphere(radius, segments, rings);
  engine.renderMesh->setGeometry(m.vertices, m.faces);
  engine.renderMesh->flipFaceNormals();
  engine.faceSegment.clear();
  for (int i = 0; i < m.faces.size(); ++i) engine.faceSegment << (i < m.faces.size() / 2 ? 0 : 3);
  engine.segmentCount = 2;
}

// Mean |largest principal curvature| over the vertices that faces use.
double meanCurvature(const TriMesh& mesh) {
  std::vector<char> used(mesh.vertices.size(), 0);
  for (const TriMesh::Face& f : mesh.faces)
    for (int c = 0; c < 3; ++c) used[size_t(f[c])] = 1;
  double sum = 0;
  int n = 0;
  for (size_t v = 0; v < used.size(); ++v)
    if (used[v]) {
      sum += std::fabs(mesh.principal_curv1[v]);
      ++n;
    }
  return n ? sum / n : 0.0;
}

// The section as a fresh computation on the engine's current mesh gives it.
float freshArea(Sorvex& engine, const SectionPlane& plane) {
  SectionPlane copy(plane.head());
  copy.segmentIndex = plane.segmentIndex;
  engine.updateSection(copy);
  return copy.area;
}

}  // namespace

TEST(MeshEditEngine, DecimationRebuildsSectionsSegmentsAndCurvatureMesh) {
  Sorvex engine(nullptr);
  loadSphere(engine, 1.0f, 24, 16);
  SectionPlane plane = sectionsupport::planeThrough(Vec3(0, 0, 0.1f), Vec3(0, 0, 1));
  engine.updateSection(plane);
  engine.planes << plane;
  const float before = plane.area;

  ASSERT_TRUE(engine.decimateMesh());
  const RenderMesh& mesh = *engine.renderMesh;
  EXPECT_EQ(engine.faceSegment.size(), mesh.faces().size());
  EXPECT_EQ(engine.segmentCount, 2);

  // The plane list shows the decimated mesh's section, not the old one.
  EXPECT_NE(engine.planes[0].area, before);
  EXPECT_EQ(engine.planes[0].area, freshArea(engine, engine.planes[0]));

  // The curvature mesh is the decimated mesh with all derived data.
  ASSERT_TRUE(engine.triMesh);
  const TriMesh& tri = *engine.triMesh;
  ASSERT_EQ(tri.vertices.size(), size_t(mesh.vertices().size()));
  ASSERT_EQ(tri.faces.size(), size_t(mesh.faces().size()));
  for (size_t i = 0; i < tri.faces.size(); ++i)
    for (int c = 0; c < 3; ++c) ASSERT_EQ(tri.faces[i][c], mesh.faces()[int(i)][c]);
  EXPECT_EQ(tri.normals.size(), tri.vertices.size());
  EXPECT_EQ(tri.principal_curv1.size(), tri.vertices.size());
  EXPECT_EQ(tri.curv_derivs.size(), tri.vertices.size());
  EXPECT_FALSE(tri.strips.empty());
}

TEST(MeshEditEngine, CurvatureMeshFollowsTheEditedGeometry) {
  // A sphere of radius 1 has curvature about 1; scaled to radius 2 about 0.5.
  // A curvature mesh that kept its old derived data would still say 1.
  Sorvex engine(nullptr);
  engine.curvatureSmooth = 0.01f;
  loadSphere(engine, 1.0f, 32, 20);
  ASSERT_TRUE(engine.syncTriMesh());
  ASSERT_TRUE(engine.triMesh);
  EXPECT_NEAR(meanCurvature(*engine.triMesh), 1.0, 0.1);

  for (Vec3& p : engine.renderMesh->mutableVertices()) p *= 2.0f;
  engine.renderMesh->updateDerivedData();
  engine.renderMesh->flipFaceNormals();
  ASSERT_TRUE(engine.syncTriMesh());
  EXPECT_NEAR(meanCurvature(*engine.triMesh), 0.5, 0.05);
  EXPECT_NEAR(engine.triMesh->bounding_sphere.r, 2.0f, 0.01f);
}

TEST(MeshEditEngine, CurvatureMeshSkipsBrokenFacesAndKeepsVertexIndices) {
  RenderMesh mesh;
  const meshedit::Mesh m = meshedit::octahedron(Vec3(), 1);
  mesh.setGeometry(m.vertices, m.faces);
  mesh.mutableVertices() << Vec3(7, 7, 7);  // unreferenced
  mesh.mutableFaces() << RenderFace{0, 1, 99};
  const std::unique_ptr<TriMesh> tri = curvatureMeshFromRenderMesh(mesh, 0.05f);
  ASSERT_TRUE(tri);
  EXPECT_EQ(tri->vertices.size(), 7u);
  EXPECT_EQ(tri->faces.size(), 8u);
  EXPECT_EQ(tri->principal_curv1.size(), 7u);
}

TEST(MeshEditEngine, NoiseRebuildsSectionsAndCurvatureMesh) {
  Sorvex engine(nullptr);
  loadSphere(engine, 1.0f, 24, 16);
  SectionPlane plane = sectionsupport::planeThrough(Vec3(0, 0, 0.1f), Vec3(0, 0, 1));
  engine.updateSection(plane);
  engine.planes << plane;
  const QVector<Vec3> before = engine.renderMesh->vertices();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  qsrand(3);
#pragma GCC diagnostic pop
  ASSERT_TRUE(engine.noisifyMesh());
  EXPECT_NE(engine.renderMesh->vertices(), before);
  EXPECT_EQ(engine.planes[0].area, freshArea(engine, engine.planes[0]));
  ASSERT_TRUE(engine.triMesh);
  EXPECT_EQ(engine.triMesh->vertices[0], engine.renderMesh->vertices()[0]);
}

TEST(MeshEditEngine, EditsOnAnEmptyEngineDoNothingHarmful) {
  Sorvex engine(nullptr);
  EXPECT_TRUE(engine.decimateMesh());
  EXPECT_TRUE(engine.noisifyMesh());
  EXPECT_TRUE(engine.segmentCuts());
  EXPECT_TRUE(engine.syncTriMesh());
  EXPECT_FALSE(engine.triMesh);
  EXPECT_TRUE(engine.renderMesh->faces().isEmpty());
}

TEST(MeshEditEngine, EveryEditIsRefusedDuringASelectionRun) {
  Sorvex engine(nullptr);
  loadSphere(engine, 1.0f, 8, 6);
  bool none[kFeatureTypeCount] = {};
  engine.setFeatureEnabled(none);  // keeps the run itself short
  SectionPlane plane = sectionsupport::planeThrough(Vec3(0, 0, 0.1f), Vec3(0, 0, 1));
  engine.updateSection(plane);
  engine.planes << plane;
  const QVector<Vec3> vertices = engine.renderMesh->vertices();
  const RenderFaces faces = engine.renderMesh->faces();

  // The run takes the state lock first; holding it keeps the run active.
  engine.stateMutex.lock();
  engine.start();
  ASSERT_TRUE(engine.isRunning());
  meshedit::DebugCapture log;
  EXPECT_FALSE(engine.decimateMesh());
  EXPECT_FALSE(engine.noisifyMesh());
  EXPECT_FALSE(engine.segmentCuts());
  EXPECT_FALSE(engine.syncTriMesh());
  EXPECT_EQ(engine.renderMesh->vertices(), vertices);
  EXPECT_EQ(engine.renderMesh->faces(), faces);
  EXPECT_EQ(engine.planes.size(), 1);
  EXPECT_FALSE(engine.useSegmentation);
  EXPECT_FALSE(engine.triMesh);
  int refusals = 0;
  for (const QString& line : log.lines()) refusals += line.contains("plane-selection run is in progress");
  EXPECT_EQ(refusals, 4);
  // Let the run finish on an empty mesh: only the refusals are under test here.
  engine.renderMesh->setGeometry(QVector<Vec3>(), RenderFaces());
  engine.faceSegment.clear();
  engine.stateMutex.unlock();
  ASSERT_TRUE(engine.wait(60000));
}

TEST(MeshEditEngine, BundledModelThroughAllThreeEdits) {
  const testsupport::BundledModel& model = testsupport::bundledModels().first();
  Sorvex engine(nullptr);
  const QByteArray path = testsupport::bundledModelPath(model).toLocal8Bit();
  ASSERT_TRUE(engine.loadModel(path.constData(), model.label, nullptr, false));
  ASSERT_TRUE(engine.addNewPlane());
  engine.alignCurrentPlane(Vec3(0, 1, 0));  // through the centre
  engine.updateAllSections();
  ASSERT_GT(engine.planes[0].area, 0.0f);
  const int faces = engine.renderMesh->faces().size();

  ASSERT_TRUE(engine.decimateMesh());
  EXPECT_LT(engine.renderMesh->faces().size(), faces);
  EXPECT_EQ(engine.faceSegment.size(), engine.renderMesh->faces().size());
  ASSERT_TRUE(engine.noisifyMesh());
  EXPECT_GT(engine.planes[0].area, 0.0f);

  // The ridge tracer runs on the rebuilt curvature mesh, whose removed
  // vertices belong to no face.
  engine.extractRidges();
  engine.extractValleys();
  for (const Axis& a : engine.ridgeAxes) EXPECT_TRUE(a.point.isFinite() && a.direction.isFinite());

  ASSERT_TRUE(engine.segmentCuts());
  ASSERT_FALSE(engine.planes.isEmpty());
  for (int i = 1; i < engine.planes.size(); ++i)
    EXPECT_LT(engine.planes[i - 1].segmentIndex, engine.planes[i].segmentIndex);
  for (const SectionPlane& p : engine.planes) EXPECT_FALSE(p.triangles.isEmpty());
}
