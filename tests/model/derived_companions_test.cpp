// Where a model's segmentation and symmetry come from, and the warnings a
// user is given about them and about an open mesh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "model/companion_files.h"
#include "model/derived_companions.h"
#include "model/loaded_model.h"
#include "support/engine_files.h"
#include "support/test_support.h"

namespace {

class Companions : public testsupport::EngineWithFiles {
 protected:
  LoadedModel build(const QByteArray& path, bool automatic) {
    LoadedModel model;
    LoadControl control;
    control.autoSegmentation = control.autoSymmetry = automatic;
    EXPECT_TRUE(buildModel(path.constData(), nullptr, 0.01f, model, &control));
    return model;
  }
  static bool mentions(const QStringList& warnings, const char* text) {
    for (const QString& w : warnings)
      if (w.contains(QLatin1String(text))) return true;
    return false;
  }
};

// The unit cube with its last `dropped` triangles left out.
std::string cube(int dropped) {
  const std::string whole = testsupport::unitCubeOff();
  std::string head = "OFF\n8 " + std::to_string(12 - dropped) + " 0\n";
  size_t at = whole.find('\n', whole.find('\n') + 1) + 1;  // past the counts
  std::string body = whole.substr(at);
  for (int k = 0; k < dropped; ++k) body = body.substr(0, body.rfind('\n', body.size() - 2) + 1);
  return head + body;
}

}  // namespace

TEST_F(Companions, FilesWinMissingOnesAreNamedAndComputedOnRequestAndOpenMeshesAreCounted) {
  // No files, nothing computed: one segment, no symmetry, and both said.
  const QByteArray plain = file("plain.off", cube(0));
  LoadedModel m = build(plain, false);
  EXPECT_EQ(m.faceSegment, QVector<int>(12, 0));
  EXPECT_EQ(m.companions.segmentation, CompanionSource::None);
  EXPECT_EQ(m.companions.symmetry, CompanionSource::None);
  EXPECT_TRUE(mentions(m.companions.warnings, "No segmentation file (plain_0.seg)"));
  EXPECT_TRUE(mentions(m.companions.warnings, "No symmetry file (plain.sym)"));
  EXPECT_FALSE(mentions(m.companions.warnings, "open"));
  EXPECT_EQ(boundaryEdgeCount(m.renderMesh), 0);

  // Files that exist are used even when they give nothing, with a warning.
  const QByteArray given = file("given.off", cube(0));
  std::string zeros;
  for (int k = 0; k < 12; ++k) zeros += "0\n";
  file("given_0.seg", zeros);
  file("given.sym", "nothing here\nQ 1 0 0 0\n");
  m = build(given, true);
  EXPECT_EQ(m.companions.segmentation, CompanionSource::File);
  EXPECT_EQ(m.companions.symmetry, CompanionSource::File);
  EXPECT_TRUE(m.symmetryPlanes.isEmpty());
  EXPECT_TRUE(mentions(m.companions.warnings, "gives one segment only"));
  EXPECT_TRUE(mentions(m.companions.warnings, "holds no usable plane or axis"));

  // Computed where missing: an id per face, and the cube's mirror planes.
  m = build(plain, true);
  EXPECT_EQ(m.companions.segmentation, CompanionSource::Computed) << m.companions.warnings.join('\n').toStdString();
  EXPECT_EQ(m.faceSegment.size(), 12);
  EXPECT_EQ(m.segmentCount, countSegments(m.faceSegment));
  EXPECT_EQ(m.companions.symmetry, CompanionSource::Computed) << m.companions.warnings.join('\n').toStdString();
  EXPECT_GE(m.symmetryPlanes.size(), 3);
  EXPECT_FALSE(m.companions.segmentationMethod.isEmpty());

  // One triangle gone: its three edges are the boundary.
  m = build(file("open.off", cube(1)), false);
  EXPECT_EQ(boundaryEdgeCount(m.renderMesh), 3);
  EXPECT_TRUE(mentions(m.companions.warnings, "The mesh is open: 3 boundary edges"));
}

TEST(BoundaryEdges, AgreeWithAPlainCountOfEveryEdgeOnRandomAndHostileFaces) {
  // Independent oracle: every usable edge counted in an ordered map; those
  // seen once are boundary edges. Faces repeat vertices, point out of range
  // or below zero, and share edges two and three times.
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    const int vertexCount = 4 + round * 3;
    QVector<Vec3> vertices;
    for (int v = 0; v < vertexCount; ++v) vertices.append(Vec3(float(v), float(v % 3), float(v % 5)));
    std::uniform_int_distribution<int> index(-2, vertexCount + 1);
    RenderFaces faces;
    for (int f = 0; f < 5 * vertexCount; ++f) faces.append({index(random), index(random), index(random)});
    RenderMesh mesh;
    mesh.setGeometry(vertices, faces);
    std::map<std::pair<int, int>, int> seen;
    for (const RenderFace& f : mesh.faces())
      for (int k = 0; k < 3; ++k) {
        const int a = f[k], b = f[(k + 1) % 3];
        if (a < 0 || b < 0 || a >= vertexCount || b >= vertexCount || a == b) continue;
        ++seen[std::make_pair(std::min(a, b), std::max(a, b))];
      }
    int once = 0;
    for (const auto& e : seen) once += e.second == 1 ? 1 : 0;
    EXPECT_EQ(boundaryEdgeCount(mesh), once) << "round " << round;
  }
  RenderMesh empty;
  EXPECT_EQ(boundaryEdgeCount(empty), 0);
}

// The companions are computed beside the curvature chain: a load cancelled
// during the chain or while waiting for them ends without a model, and one
// left alone reports its progress in order and has both computed.
TEST_F(Companions, ComputedBesideTheCurvatureAndCancelledWithTheLoad) {
  // A latitude-longitude sphere of 15,840 triangles.
  const int rings = 45, sectors = 180;
  std::string off = "OFF\n" + std::to_string(2 + (rings - 1) * sectors) + " " +
                    std::to_string(2 * sectors * (rings - 1)) + " 0\n0 1 0\n0 -1 0\n";
  for (int r = 1; r < rings; ++r)
    for (int s = 0; s < sectors; ++s) {
      const double phi = M_PI * r / rings, theta = 2 * M_PI * s / sectors;
      off += std::to_string(std::sin(phi) * std::cos(theta)) + " " + std::to_string(std::cos(phi)) + " " +
             std::to_string(std::sin(phi) * std::sin(theta)) + "\n";
    }
  auto at = [&](int r, int s) { return 2 + (r - 1) * sectors + (s + sectors) % sectors; };
  for (int s = 0; s < sectors; ++s) {
    off += "3 0 " + std::to_string(at(1, s + 1)) + " " + std::to_string(at(1, s)) + "\n";
    off += "3 1 " + std::to_string(at(rings - 1, s)) + " " + std::to_string(at(rings - 1, s + 1)) + "\n";
    for (int r = 1; r + 1 < rings; ++r) {
      off += "3 " + std::to_string(at(r, s)) + " " + std::to_string(at(r, s + 1)) + " " +
             std::to_string(at(r + 1, s)) + "\n";
      off += "3 " + std::to_string(at(r, s + 1)) + " " + std::to_string(at(r + 1, s + 1)) + " " +
             std::to_string(at(r + 1, s)) + "\n";
    }
  }
  const QByteArray path = file("ball.off", off);
  for (const char* cancelAt : {"Smoothing curvatures", "Reading companion files", ""}) {
    LoadedModel model;
    LoadControl control;
    control.autoSegmentation = control.autoSymmetry = true;
    std::vector<int> seen;
    control.progress = [&](int thousandths, const char* stage) {
      seen.push_back(thousandths);
      if (std::string(stage) == cancelAt) control.cancel = true;
    };
    const bool loaded = buildModel(path.constData(), nullptr, 0.01f, model, &control);
    EXPECT_EQ(loaded, !*cancelAt) << cancelAt;
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << cancelAt;
    if (!loaded) continue;
    EXPECT_EQ(model.companions.segmentation, CompanionSource::Computed);
    EXPECT_EQ(model.companions.symmetry, CompanionSource::Computed);
    EXPECT_EQ(model.faceSegment.size(), model.renderMesh.faces().size());
    EXPECT_GE(model.symmetryPlanes.size() + model.symmetryAxes.size(), 1);
  }
}
