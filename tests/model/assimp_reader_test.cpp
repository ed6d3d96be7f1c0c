// Mesh formats read through assimp: files written by assimp's own command-line
// tool from our OFF models must give the same planes as the OFF original.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <vector>

#include "engine/sorvex.h"
#include "model/assimp_reader.h"
#include "model/companion_files.h"
#include "model/render_mesh.h"
#include "support/bundled_models_support.h"
#include "support/debug_capture.h"
#include "support/foreign_files.h"
#include "support/test_support.h"
#include "trimesh/trimesh.h"

namespace {

void configure(Sorvex& e) {
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    e.featureWeight[t] = float(kStartFeatureWeights[t]);
    e.featureRadius[t] = 0.1f;
    e.featureEnabled[t] = true;
  }
  e.curvatureSmooth = 0.01f;
  e.curvatureThreshold = 15.0f;
  e.bins.setBinSelectThreshold(1.0f);
}

bool load(Sorvex& e, const QString& path) {
  configure(e);
  const QByteArray p = QFile::encodeName(path);
  return e.loadModel(p.constData(), p.constData(), nullptr, false);
}

}  // namespace

TEST(AssimpReader, ModelsConvertedByAssimpGiveTheSamePlanesAsTheOffOriginal) {
  const QString tool = QStandardPaths::findExecutable(QStringLiteral("assimp"));
  if (tool.isEmpty()) GTEST_SKIP() << "assimp-utils is not installed (scripts/setup.sh --test installs it)";
  // Table 5: the smallest bundled model whose OFF file has no two vertices at the
  // same position (the joined mesh then has the OFF file's connectivity).
  const testsupport::BundledModel model{"145", "Table 5"};
  const QString off = testsupport::bundledModelPath(model);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  testsupport::DebugCapture quiet;

  Sorvex original(nullptr);
  ASSERT_TRUE(load(original, off));
  ASSERT_GT(original.segmentCount, 1);  // the companion files take part

  // assimp's export format ids: ASCII and binary PLY and STL, glTF 2 and GLB.
  // Every file is compared as a mesh; two (text and binary, two readers) also
  // run the whole selection, side by side with the original's.
  const struct {
    const char* id;
    const char* ext;
    bool run;
  } formats[] = {{"ply", "ply", true},   {"plyb", "ply", false},   {"stl", "stl", false},
                 {"stlb", "stl", false}, {"gltf2", "gltf", false}, {"glb2", "glb", true}};
  std::vector<std::unique_ptr<Sorvex>> runs;
  for (const auto& f : formats) {
    SCOPED_TRACE(f.id);
    const QString sub = dir.filePath(QLatin1String(f.id));
    ASSERT_TRUE(QDir().mkpath(sub));
    const QString converted = sub + QStringLiteral("/145.") + QLatin1String(f.ext);
    QProcess p;
    p.start(tool, {QStringLiteral("export"), off, converted, QStringLiteral("-f") + QLatin1String(f.id)});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    ASSERT_TRUE(QFile::copy(testsupport::bundledSegmentationPath(model), companionPath(converted, "_0.seg")));
    ASSERT_TRUE(QFile::copy(testsupport::bundledSymmetryPath(model), companionPath(converted, ".sym")));

    std::unique_ptr<Sorvex> e(new Sorvex(nullptr));
    ASSERT_TRUE(load(*e, converted));
    // Joined corners: the same indexed mesh as the OFF file.
    EXPECT_EQ(e->renderMesh->vertices().size(), original.renderMesh->vertices().size());
    ASSERT_EQ(e->renderMesh->faces().size(), original.renderMesh->faces().size());
    EXPECT_EQ(int(e->triMesh->faces.size()), original.renderMesh->faces().size());
    EXPECT_EQ(e->segmentCount, original.segmentCount);
    EXPECT_EQ(e->symmetryPlanes.size() + e->symmetryAxes.size(),
              original.symmetryPlanes.size() + original.symmetryAxes.size());
    for (int i = 0; i < e->renderMesh->faces().size(); ++i)
      for (int c = 0; c < 3; ++c)
        ASSERT_LT((e->renderMesh->corner(i, c) - original.renderMesh->corner(i, c)).length(), 1e-5f) << "face " << i;
    if (f.run) runs.push_back(std::move(e));
  }

  original.start();
  for (auto& e : runs) e->start();
  ASSERT_TRUE(original.wait(120000));
  ASSERT_GT(original.planes.size(), 1);
  for (auto& e : runs) {
    ASSERT_TRUE(e->wait(120000));
    ASSERT_EQ(e->planes.size(), original.planes.size());
    for (int i = 0; i < e->planes.size(); ++i) {
      const SectionPlane &a = e->planes[i], &b = original.planes[i];
      EXPECT_GT(a.normal.dot(b.normal), 0.99999f) << "plane " << i;
      EXPECT_NEAR(a.d, b.d, 1e-4f) << "plane " << i;
      EXPECT_NEAR(a.area, b.area, 1e-3f * b.area + 1e-6f) << "plane " << i;
    }
  }
}

TEST(AssimpReader, TriangulatesJoinsCornersAndRefusesFilesWithoutTriangles) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto write = [&](const char* name, const std::string& text) {
    return testsupport::writeFileIn(dir, QLatin1String(name), text);
  };
  QVector<Vec3> v;
  RenderFaces f;
  QString error;

  // A quad and a triangle sharing an edge: three triangles on five corners.
  const QString ply = write("quad.ply",
                            "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float y\n"
                            "property float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
                            "0 0 0\n1 0 0\n1 1 0\n0 1 0\n2 0.5 0\n4 0 1 2 3\n3 1 4 2\n");
  ASSERT_TRUE(readAssimpMesh(ply, v, f, error)) << error.toStdString();
  EXPECT_EQ(v.size(), 5);
  ASSERT_EQ(f.size(), 3);
  float area = 0;
  for (const RenderFace& t : f) area += 0.5f * (v[t[1]] - v[t[0]]).cross(v[t[2]] - v[t[0]]).length();
  EXPECT_NEAR(area, 1.5f, 1e-6f);

  // STL repeats every corner per facet; joined, two facets share two.
  const QString stl = write("two.stl",
                            "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
                            "endloop\nendfacet\nfacet normal 0 0 1\nouter loop\nvertex 1 0 0\nvertex 1 1 0\n"
                            "vertex 0 1 0\nendloop\nendfacet\nendsolid t\n");
  ASSERT_TRUE(readAssimpMesh(stl, v, f, error)) << error.toStdString();
  EXPECT_EQ(v.size(), 4);
  EXPECT_EQ(f.size(), 2);

  // Points only, a missing file, a folder, a file that is no mesh.
  const QString points = write("points.ply",
                               "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                               "property float z\nend_header\n0 0 0\n1 0 0\n0 1 0\n");
  EXPECT_FALSE(readAssimpMesh(points, v, f, error));
  EXPECT_TRUE(error.contains(QLatin1String("no triangles")) || error.contains(QLatin1String("cannot read")))
      << error.toStdString();
  EXPECT_TRUE(v.isEmpty() && f.isEmpty());
  EXPECT_FALSE(readAssimpMesh(dir.filePath("missing.ply"), v, f, error));
  EXPECT_EQ(error, QStringLiteral("no such file"));
  ASSERT_TRUE(QDir().mkpath(dir.filePath("folder.stl")));
  EXPECT_FALSE(readAssimpMesh(dir.filePath("folder.stl"), v, f, error));
  EXPECT_EQ(error, QStringLiteral("not a regular file"));

  // A glTF whose nodes each list the next one twice: 2^16 instances of one
  // triangle asked for in a few hundred bytes (the library itself copies
  // the graph once). Refused at the node budget.
  const QString doubling = write("doubling.gltf", testsupport::nodeChainGltf(16, 2));
  EXPECT_FALSE(readAssimpMesh(doubling, v, f, error));
  EXPECT_TRUE(error.contains(QLatin1String("node instances"))) << error.toStdString();
  EXPECT_TRUE(v.isEmpty() && f.isEmpty());

  // The engine refuses such a file and keeps the model it has.
  testsupport::DebugCapture log;
  Sorvex e(nullptr);
  const QByteArray good = QFile::encodeName(ply), bad = QFile::encodeName(points);
  ASSERT_TRUE(e.loadModel(good.constData(), good.constData(), nullptr, false));
  EXPECT_FALSE(e.loadModel(bad.constData(), bad.constData(), nullptr, false));
  EXPECT_EQ(e.renderMesh->faces().size(), 3);
  EXPECT_EQ(e.modelPathString(), ply);
  EXPECT_FALSE(log.matching(QStringLiteral("Unable to load")).isEmpty());

  // Which files go to this reader, and the companions of a longer extension.
  EXPECT_TRUE(isAssimpModelPath("a/b.PLY") && isAssimpModelPath("x.stl") && isAssimpModelPath("x.glb") &&
              isAssimpModelPath("x.gltf"));
  EXPECT_FALSE(isAssimpModelPath("x.off") || isAssimpModelPath("x.OBJ") || isAssimpModelPath("x.txt") ||
               isAssimpModelPath("ply"));
  EXPECT_EQ(companionPath("m/cup.gltf", ".sym"), QStringLiteral("m/cup.sym"));
}
