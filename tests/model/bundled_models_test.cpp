// Property checks swept over every bundled study model: the files the
// generator writes must read with the system's own readers and describe
// closed, outward-oriented parts inside the unit ball, with a matching
// segmentation and true symmetry planes.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <array>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "trimesh/trimesh.h"
#include "support/bundled_models_support.h"

using testsupport::BundledModel;

namespace testsupport {
// Names the model in test output instead of dumping its bytes.
void PrintTo(const BundledModel& model, std::ostream* os) { *os << model.name << ".off (" << model.label << ")"; }
}  // namespace testsupport

namespace {

constexpr int kMinFaces = 2000;
constexpr int kMaxFaces = 30000;

quint64 edgeKey(int a, int b) { return (quint64(quint32(a)) << 32) | quint32(b); }

double signedVolume(const QVector<Vec3>& v, const RenderFaces& faces, const QVector<int>& which) {
  double vol = 0.0;
  for (int f : which) {
    const Vec3 a = v[faces[f][0]], b = v[faces[f][1]], c = v[faces[f][2]];
    vol += double(a.dot(b.cross(c)));
  }
  return vol / 6.0;
}

// Nearest-vertex look-up on a uniform grid.
class VertexGrid {
 public:
  VertexGrid(const QVector<Vec3>& points, float cell) : points_(points), cell_(cell) {
    for (int i = 0; i < points.size(); ++i) cells_[key(cellOf(points[i]))].push_back(i);
  }

  // True when some point lies within `tolerance` (< cell) of p.
  bool hasPointNear(const Vec3& p, float tolerance) const {
    const std::array<long long, 3> c = cellOf(p);
    for (long long dx = -1; dx <= 1; ++dx)
      for (long long dy = -1; dy <= 1; ++dy)
        for (long long dz = -1; dz <= 1; ++dz) {
          const auto it = cells_.find(key({c[0] + dx, c[1] + dy, c[2] + dz}));
          if (it == cells_.end()) continue;
          for (int i : it->second)
            if ((points_[i] - p).length() <= tolerance) return true;
        }
    return false;
  }

 private:
  std::array<long long, 3> cellOf(const Vec3& p) const {
    return {(long long)std::floor(p.x / cell_), (long long)std::floor(p.y / cell_), (long long)std::floor(p.z / cell_)};
  }
  static long long key(const std::array<long long, 3>& c) {
    return ((c[0] & 0x1FFFFF) << 42) | ((c[1] & 0x1FFFFF) << 21) | (c[2] & 0x1FFFFF);
  }

  const QVector<Vec3>& points_;
  float cell_;
  std::unordered_map<long long, std::vector<int>> cells_;
};

// Reads one bundled model with the render mesh's OFF reader. Further checks
// of a model (for example through the engine's loading) can be added as
// more TEST_P cases on this fixture.
class BundledModelTest : public ::testing::TestWithParam<BundledModel> {
 protected:
  void SetUp() override {
    const QByteArray path = testsupport::bundledModelPath(GetParam()).toLocal8Bit();
    read_ = readOff(path.constData(), vertices_, faces_);
    ASSERT_TRUE(read_) << "cannot read " << path.constData() << " (does the build run korvane_modelgen?)";
    ASSERT_FALSE(faces_.isEmpty()) << path.constData();
  }

  bool read_ = false;
  QVector<Vec3> vertices_;
  RenderFaces faces_;
};

TEST_P(BundledModelTest, ReadsIntoRenderMeshWithEveryFaceWhole) {
  EXPECT_GE(faces_.size(), kMinFaces);
  EXPECT_LE(faces_.size(), kMaxFaces);
  RenderMesh mesh;
  mesh.setGeometry(vertices_, faces_);
  mesh.flipFaceNormals();
  ASSERT_EQ(mesh.faces().size(), faces_.size()) << "faces dropped: an index is out of range";
  ASSERT_EQ(mesh.vertices().size(), vertices_.size());
  int degenerate = 0;
  for (const Vec3& n : mesh.faceNormals())
    if (std::fabs(n.length() - 1.0f) > 1e-3f) ++degenerate;
  EXPECT_EQ(degenerate, 0) << "faces without a normal";
  for (const Vec3& v : vertices_) ASSERT_TRUE(v.isFinite());
}

TEST_P(BundledModelTest, EveryVertexLiesInsideTheUnitBall) {
  float farthest = 0.0f;
  for (const Vec3& v : vertices_) farthest = std::max(farthest, v.length());
  EXPECT_LT(farthest, 0.95f);
  // The model fills the ball rather than being a speck in it.
  EXPECT_GT(farthest, 0.5f);
}

TEST_P(BundledModelTest, SurfaceIsClosedAndOrientedOutward) {
  QHash<quint64, int> directed;
  directed.reserve(faces_.size() * 3);
  for (const RenderFace& f : faces_)
    for (int c = 0; c < 3; ++c) ++directed[edgeKey(f[c], f[(c + 1) % 3])];
  int repeated = 0, unmatched = 0;
  for (auto it = directed.constBegin(); it != directed.constEnd(); ++it) {
    if (it.value() != 1) ++repeated;
    const int a = int(it.key() >> 32), b = int(it.key() & 0xFFFFFFFFu);
    if (directed.value(edgeKey(b, a)) != 1) ++unmatched;
  }
  EXPECT_EQ(repeated, 0) << "directed edges used by more than one face";
  EXPECT_EQ(unmatched, 0) << "edges without exactly one opposite (holes or flipped faces)";

  QVector<int> all(faces_.size());
  for (int i = 0; i < all.size(); ++i) all[i] = i;
  EXPECT_GT(signedVolume(vertices_, faces_, all), 0.0) << "faces run clockwise seen from outside";
}

TEST_P(BundledModelTest, SegmentationNamesOneClosedPartPerId) {
  QStringList lines;
  ASSERT_TRUE(testsupport::readLines(testsupport::bundledSegmentationPath(GetParam()), lines));
  ASSERT_EQ(lines.size(), faces_.size()) << "one segment id per face";

  QVector<int> segment(faces_.size());
  int highest = -1;
  for (int i = 0; i < lines.size(); ++i) {
    bool ok = false;
    segment[i] = lines[i].toInt(&ok);
    ASSERT_TRUE(ok && segment[i] >= 0) << "line " << i << ": '" << lines[i].toStdString() << "'";
    highest = std::max(highest, segment[i]);
  }
  QVector<QVector<int>> facesOf(highest + 1);
  for (int i = 0; i < segment.size(); ++i) facesOf[segment[i]].append(i);
  for (int s = 0; s <= highest; ++s) EXPECT_FALSE(facesOf[s].isEmpty()) << "ids are numbered without gaps; " << s;

  // A part owns its vertices, and every edge of it is shared with a face of
  // the same part: a segment boundary never runs across a part.
  QVector<int> vertexSegment(vertices_.size(), -1);
  QHash<quint64, int> edgeSegment;
  for (int i = 0; i < faces_.size(); ++i)
    for (int c = 0; c < 3; ++c) {
      const int v = faces_[i][c];
      if (vertexSegment[v] == -1) vertexSegment[v] = segment[i];
      ASSERT_EQ(vertexSegment[v], segment[i]) << "vertex " << v << " shared by two segments";
      edgeSegment.insert(edgeKey(v, faces_[i][(c + 1) % 3]), segment[i]);
    }
  for (auto it = edgeSegment.constBegin(); it != edgeSegment.constEnd(); ++it) {
    const int a = int(it.key() >> 32), b = int(it.key() & 0xFFFFFFFFu);
    ASSERT_EQ(edgeSegment.value(edgeKey(b, a), -1), it.value()) << "segment " << it.value() << " is not closed";
  }
  for (int s = 0; s <= highest; ++s)
    EXPECT_GT(signedVolume(vertices_, faces_, facesOf[s]), 0.0) << "segment " << s << " is inside out";
}

TEST_P(BundledModelTest, SymmetryRecordsAreWellFormedAndTrue) {
  QStringList lines;
  ASSERT_TRUE(testsupport::readLines(testsupport::bundledSymmetryPath(GetParam()), lines));
  ASSERT_FALSE(lines.isEmpty());
  const VertexGrid grid(vertices_, 1e-3f);
  int planes = 0;
  for (const QString& line : lines) {
    const QStringList fields = line.split(QLatin1Char(' '));
    ASSERT_TRUE(fields[0] == "P" || fields[0] == "A") << line.toStdString();
    ASSERT_EQ(fields.size(), fields[0] == "P" ? 5 : 7) << line.toStdString();
    float value[7] = {};
    for (int i = 1; i < fields.size(); ++i) {
      bool ok = false;
      value[i] = fields[i].toFloat(&ok);
      ASSERT_TRUE(ok && std::isfinite(value[i])) << "field " << i << " of " << line.toStdString();
    }
    const Vec3 direction(value[1], value[2], value[3]);
    if (fields[0] == "A") {
      EXPECT_GT(direction.length(), 0.05f) << "an axis needs a direction and a half length";
      EXPECT_LT(Vec3(value[4], value[5], value[6]).length(), 1.0f) << "axis point outside the unit ball";
      continue;
    }
    ++planes;
    EXPECT_NEAR(direction.length(), 1.0f, 1e-4f) << line.toStdString();
    EXPECT_LT(std::fabs(value[4]), 1.0f) << "plane misses the unit ball";
    // Mirroring the mesh in the plane must land every vertex on a vertex.
    const Vec3 n = direction.normalized();
    int unmatched = 0;
    for (const Vec3& v : vertices_) {
      const Vec3 image = v - n * (2.0f * (n.dot(v) - value[4]));
      if (!grid.hasPointNear(image, 1e-4f)) ++unmatched;
    }
    EXPECT_EQ(unmatched, 0) << "vertices without a mirror image in " << line.toStdString();
  }
  EXPECT_GE(planes, 1);
}

std::string modelTestName(const ::testing::TestParamInfo<BundledModel>& info) {
  QString s = QString::fromLatin1(info.param.label);
  s.remove(QLatin1Char(' '));
  return s.toStdString();
}

TEST_P(BundledModelTest, LoadsThroughTheEngineWithItsCompanionFiles) {
  Sorvex engine(nullptr);
  engine.curvatureSmooth = 0.01f;
  const QByteArray path = testsupport::bundledModelPath(GetParam()).toLocal8Bit();
  ASSERT_TRUE(engine.loadModel(path.constData(), GetParam().label, nullptr, false));
  EXPECT_EQ(engine.renderMesh->faces().size(), faces_.size());
  ASSERT_TRUE(engine.triMesh);
  EXPECT_EQ(engine.triMesh->vertices.size(), size_t(vertices_.size()));
  EXPECT_EQ(engine.triMesh->principal_curv1.size(), engine.triMesh->vertices.size());
  EXPECT_EQ(engine.faceSegment.size(), faces_.size());

  QStringList segLines;
  ASSERT_TRUE(testsupport::readLines(testsupport::bundledSegmentationPath(GetParam()), segLines));
  QSet<int> ids;
  for (const QString& line : segLines) ids.insert(line.trimmed().toInt());
  EXPECT_EQ(engine.segmentCount, ids.size());

  QStringList symLines;
  ASSERT_TRUE(testsupport::readLines(testsupport::bundledSymmetryPath(GetParam()), symLines));
  int planes = 0, axes = 0;
  for (const QString& line : symLines) {
    const QString field0 = line.section(' ', 0, 0);
    if (field0.contains('P'))
      ++planes;
    else if (field0.contains('A'))
      ++axes;
  }
  EXPECT_EQ(engine.symmetryPlanes.size(), planes);
  EXPECT_EQ(engine.symmetryAxes.size(), axes);
  EXPECT_GT(planes, 0);
  // The bin space assumes models inside the unit ball: the framing radius and
  // every symmetry plane offset stay below 1.
  EXPECT_LT((engine.renderMesh->centre()).length() + engine.renderMesh->radius(), 1.8f);
  for (const CutPlane& p : engine.symmetryPlanes) EXPECT_LT(p.d, 1.0f);
  EXPECT_TRUE(engine.planes.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Sequence, BundledModelTest,
                         ::testing::ValuesIn(testsupport::bundledModels().begin(), testsupport::bundledModels().end()),
                         modelTestName);

// Models of one kind must not be copies of each other.
TEST(BundledModels, ModelsOfAKindDiffer) {
  QSet<QString> signatures;
  for (const BundledModel& m : testsupport::bundledModels()) {
    QVector<Vec3> v;
    RenderFaces f;
    const QByteArray path = testsupport::bundledModelPath(m).toLocal8Bit();
    ASSERT_TRUE(readOff(path.constData(), v, f)) << path.constData();
    RenderMesh mesh;
    mesh.setGeometry(v, f);
    const Vec3 e = mesh.bboxMax() - mesh.bboxMin();
    const QString signature =
        QString("%1 %2 %3").arg(double(e.x), 0, 'f', 2).arg(double(e.y), 0, 'f', 2).arg(double(e.z), 0, 'f', 2);
    EXPECT_FALSE(signatures.contains(signature)) << m.label << " has the extents of an earlier model";
    signatures.insert(signature);
  }
  EXPECT_EQ(signatures.size(), 19);
}

}  // namespace
