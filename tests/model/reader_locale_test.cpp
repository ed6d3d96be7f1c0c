// Every reader parses numbers the same way under a locale whose decimal
// separator is a comma, as the program runs on a German desktop (the toolkit
// switches the C library to the user's locale at start-up).

#include <gtest/gtest.h>

#include <QLocale>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <string>

#include "model/companion_files.h"
#include "model/human_cuts.h"
#include "model/obj_reader.h"
#include "model/render_mesh.h"
#include "support/test_support.h"
#include "trimesh/trimesh.h"

namespace {

// Switches the C library and the toolkit's default locale to German for the
// life of the object.
class GermanLocale {
 public:
  GermanLocale() : saved_(std::setlocale(LC_ALL, nullptr)) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
      if (std::setlocale(LC_ALL, name)) {
        active_ = true;
        break;
      }
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  }
  ~GermanLocale() {
    std::setlocale(LC_ALL, saved_.c_str());
    QLocale::setDefault(QLocale::c());
  }
  bool active() const { return active_; }

 private:
  std::string saved_;
  bool active_ = false;
};

}  // namespace

TEST(ReaderLocale, EveryReaderReadsDecimalPointsUnderADecimalCommaLocale) {
  GermanLocale german;
  if (!german.active()) GTEST_SKIP() << "no de_DE locale (scripts/setup.sh --test generates it)";
  // The locale is in force: the C library now reads "0,5" and stops at "0.5".
  ASSERT_EQ(std::strtod("0,5", nullptr), 0.5);
  ASSERT_EQ(std::strtod("0.5", nullptr), 0.0);

  QTemporaryDir dir;
  auto write = [&](const char* name, const std::string& text) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    EXPECT_TRUE(testsupport::writeTextFile(path, text));
    return path.toLocal8Bit();
  };
  const Vec3 p(0.25f, 0.5f, 0.75f);

  const QByteArray off = write("m.off", "OFF\n3 1 0\n0.25 0.5 0.75\n1.5 0 0\n0 1.5 0\n3 0 1 2\n");
  QVector<Vec3> vertices;
  RenderFaces faces;
  ASSERT_TRUE(readOff(off.constData(), vertices, faces));
  ASSERT_EQ(vertices.size(), 3);
  EXPECT_EQ(vertices[0], p);
  EXPECT_EQ(vertices[1], Vec3(1.5f, 0, 0));
  const auto tri = TriMesh::read(off.constData());
  ASSERT_TRUE(tri);
  EXPECT_EQ(tri->vertices[0], p);  // the two meshes of one file agree

  const QByteArray obj = write("m.obj", "v 0.25 0.5 0.75\nvn 0 0.5 0.75\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  ObjMesh mesh;
  ASSERT_TRUE(readObj(mesh, obj.constData()));
  ASSERT_EQ(mesh.vertices.size(), 3);
  EXPECT_EQ(mesh.vertices[0], p);
  EXPECT_EQ(mesh.normals[0], Vec3(0, 0.5f, 0.75f));
  EXPECT_EQ(TriMesh::read(obj.constData())->vertices[0], p);

  QList<CutPlane> planes;
  QList<Axis> axes;
  ASSERT_TRUE(readSymmetry(write("m.sym", "P 0 1 0 0.25\nA 0 0 1.5 0.25 0.5 0.75\n").constData(), planes, axes));
  ASSERT_EQ(planes.size(), 1);
  EXPECT_FLOAT_EQ(planes[0].d, 0.25f);
  ASSERT_EQ(axes.size(), 1);
  EXPECT_EQ(axes[0].point, p);
  EXPECT_FLOAT_EQ(axes[0].halfLength, 1.5f);

  QVector<int> ids;
  ASSERT_TRUE(readSegmentation(write("m_0.seg", "3\n-7\n").constData(), 2, ids));
  EXPECT_EQ(ids, (QVector<int>{3, -7}));

  QList<HumanCut> cuts;
  ASSERT_TRUE(humancuts::readCutFile(
      write("cuts.obj", "cuts 1\nnotes\nc 0 1 0 0.25 0.5 0.75 x 1 0 0 0 0 1\n").constData(), cuts));
  ASSERT_EQ(cuts.size(), 1);
  EXPECT_EQ(cuts[0].point, p);
  EXPECT_FLOAT_EQ(cuts[0].d, 0.5f);
}
