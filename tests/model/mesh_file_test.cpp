#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "model/mesh_file.h"
#include "model/obj_reader.h"
#include "model/render_mesh.h"
#include "support/bundled_models_support.h"
#include "support/debug_capture.h"
#include "support/test_support.h"
#include "trimesh/read_ascii.h"

namespace {

bool sameBits(const Vec3& a, const Vec3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Case {
  const char* name;  // file name: the extension picks the reader
  std::string text;
  bool single;  // expected to be read once
};

// What the two readers give reading the file each on its own.
struct TwoReadings {
  std::unique_ptr<TriMesh> triMesh;
  bool renderRead = false;
  QVector<Vec3> vertices;
  RenderFaces faces;
};

TwoReadings readTwice(const char* path, bool obj) {
  TwoReadings r;
  r.triMesh = TriMesh::read(path);
  if (!r.triMesh) return r;
  if (obj) {
    ObjMesh mesh;
    r.renderRead = readObj(mesh, path);
    if (r.renderRead) objRenderGeometry(mesh, r.vertices, r.faces);
  } else {
    r.renderRead = readOff(path, r.vertices, r.faces);
  }
  return r;
}

void expectSameAsTwoReadings(const char* path, bool obj, bool single) {
  SCOPED_TRACE(path);
  MeshFileReading once;
  readMeshFile(path, obj, once);
  const TwoReadings twice = readTwice(path, obj);
  ASSERT_EQ(bool(once.triMesh), bool(twice.triMesh));
  if (!twice.triMesh) return;
  EXPECT_EQ(once.singleReading, single);
  const TriMesh& a = *once.triMesh;
  const TriMesh& b = *twice.triMesh;
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  for (size_t i = 0; i < a.vertices.size(); ++i) ASSERT_TRUE(sameBits(a.vertices[i], b.vertices[i])) << i;
  EXPECT_EQ(a.faces, b.faces);

  ASSERT_EQ(once.renderRead, twice.renderRead);
  if (!twice.renderRead) return;
  ASSERT_EQ(once.vertices.size(), twice.vertices.size());
  for (int i = 0; i < once.vertices.size(); ++i) ASSERT_TRUE(sameBits(once.vertices[i], twice.vertices[i])) << i;
  ASSERT_EQ(once.triangles.size(), 3 * twice.faces.size());
  for (int f = 0; f < twice.faces.size(); ++f)
    for (int k = 0; k < 3; ++k) ASSERT_EQ(once.triangles[3 * f + k], twice.faces[f][k]) << f;
}

const char* kQuadOff =
    "OFF\n5 3 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n0.5 0.5 1\n3 0 1 4\n4 0 1 2 3\n5 0 1 2 3 4\n";

std::vector<Case> awkwardFiles() {
  return {
      {"quads.off", kQuadOff, true},
      {"comments.off", "# made by hand\n\nOFF\n# counts next\n4 2 0\n# vertices\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n"
                        "# faces\n3 0 1 2\n3 0 2 3\n", false},
      {"comment_lines.off", "OFF\n# counts next\n\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n# faces\n3 0 1 2\n3 0 2 3\n",
       true},
      {"crlf.off", "OFF\r\n4 2 0\r\n0 0 0\r\n1 0 0\r\n1 1 0\r\n0 1 0\r\n3 0 1 2\r\n3 0 2 3\r\n", true},
      {"blank_runs.off", "OFF   \n4   2 0\n0  0   0\n 1 0 0  \n1\t1\t0\n0 1 0\n3  0 1 2\n3 0\t2 3   \n", true},
      {"counts_on_header.off", "OFF 4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n3 0 2 3\n", true},
      {"tabs.off", "OFF\n4\t2\t0\n0\t0\t0\n1\t0\t0\n1\t1\t0\n0\t1\t0\n3\t0\t1\t2\n3\t0\t2\t3\n", true},
      {"one_based.off", "OFF\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 1 2 3\n3 1 3 4\n", true},
      {"colours.off", "OFF\n4 2 0\n0 0 0 255 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2 9 9 9\n3 0 2 3\n", false},
      {"outside.off", "OFF\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n3 0 2 7\n", true},
      {"plus_and_hex.off", "OFF\n3 1 0\n+1 0 0\n0x1p1 0 0\n0 1 0\n3 0 1 2\n", false},
      {"nan.off", "OFF\n3 1 0\nnan 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", true},
      {"counts_glued.off", "OFF3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", false},
      {"obj_text.off", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", false},
      {"quads.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\nf 4 3 2\n", true},
      {"refs.obj", "# refs\nv 0 0 0\nv 1 0 0\nvt 0 0\nvn 0 0 1\nv 0 1 0\nf 1/1/1 2/1/1 3/1/1\nf -3//1 -2//1 -1//1\n"
                   "g part\nusemtl red\nf 3/1 2/1 1/1\n", true},
      {"crlf.obj", "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1 2 3\r\n", true},
      {"blank_runs.obj", "v  0   0 0\n  v 1e0 0 0  \nv\t0\t1.0e+00\t0\nf  1   2\t3\n", true},
      {"numbers.obj", "v -0.000000 1.5e-3 3.4e38\nv 0.1 0.2 0.3\nv 7 8 9\nf 1 2 3\n", false},
      {"zero_and_outside.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\nf 1 2 9\nf 1 2\nf 1 2 3 0\nf\n", true},
      {"upper_case.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nV 1 1 1\nf 1 2 3\n", false},
      {"t_lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nt 1 2 3\n", false},
      {"long_line.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3" + std::string(600, ' ') + "\n", false},
      {"text_in_face.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 x 4\nf 1 2 3\n", false},
      {"shifted.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 2 3 4\n", false},
      {"off_text.obj", kQuadOff, false},
      {"latin1.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n\xa0v 5 5 5\nf 1 2 3\n", false},
  };
}

}  // namespace

// Reading a model once gives both meshes exactly as the two readers give
// them reading it each on its own: the same vertices bit for bit, the same
// faces in the same order, the same refusals; files in the simple form
// (every bundled model among them) are read once.
TEST(MeshFile, OneReadingGivesWhatTheTwoReadersGive) {
  testsupport::DebugCapture quiet;
  TriMesh::set_verbose(0);
  for (const testsupport::BundledModel& m : testsupport::bundledModels()) {
    const QByteArray path = testsupport::bundledModelPath(m).toLocal8Bit();
    ASSERT_TRUE(QFile::exists(QString::fromLocal8Bit(path))) << path.constData();
    expectSameAsTwoReadings(path.constData(), false, true);
  }
  QTemporaryDir dir;
  for (const Case& c : awkwardFiles()) {
    const QString path = dir.filePath(QString::fromLatin1(c.name));
    ASSERT_TRUE(testsupport::writeTextFile(path, c.text));
    expectSameAsTwoReadings(path.toLocal8Bit().constData(), path.endsWith(".obj"), c.single);
  }
  TriMesh::set_verbose(1);
}

// OBJ coordinates that the one reading takes as simple read the same as the
// render mesh's own reader reads them (QString::toFloat) and as strtof
// does; the others are left to the two readers.
TEST(MeshFile, SimpleObjCoordinatesReadAlikeInBothReaders) {
  std::vector<std::string> tokens = {"0", "-0", "-0.0", "1", "-1.5", "1e5", "1E-5", "2.5e+3", "3.4028235e38",
                                     "3.4028236e38", "1e-38", "1.17549435e-38", "1e-45", ".5", "5.", "+1",
                                     "1e", "0x10", "inf", "nan", "1,5", "007.25", "16777217", "0.1"};
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-40, 38), digits(1, 17);
  char buf[64];
  for (int i = 0; i < 5000; ++i) {
    std::snprintf(buf, sizeof buf, "%.*e", digits(rng), mantissa(rng) * std::pow(10.0, exponent(rng)));
    tokens.push_back(buf);
    // Halfway between two floats, written exactly.
    const float f = float(mantissa(rng) * 100);
    const double half = (double(f) + double(std::nextafter(f, 1e9f))) / 2;
    std::snprintf(buf, sizeof buf, "%.17g", half);
    tokens.push_back(buf);
  }
  int simple = 0;
  for (const std::string& t : tokens) {
    float value = 0.0f;
    const char* end = trimesh_read::simple_coordinate(t.c_str(), t.c_str() + t.size(), value);
    if (!end) continue;
    ++simple;
    EXPECT_EQ(end, t.c_str() + t.size()) << t;
    bool ok = false;
    const float qt = QString::fromStdString(t).toFloat(&ok);
    ASSERT_TRUE(ok) << t;
    const float c = std::strtof(t.c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&qt, &value, sizeof value), 0) << t;
    EXPECT_EQ(std::memcmp(&c, &value, sizeof value), 0) << t;
  }
  EXPECT_GT(simple, 4000);
  float v;
  for (const char* t : {"-0", ".5", "5.", "+1", "1e-45", "3.4028236e38", "nan", "1,5"})
    EXPECT_EQ(trimesh_read::simple_coordinate(t, t + std::strlen(t), v), nullptr) << t;
}
