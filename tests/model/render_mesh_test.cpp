#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>

#include "model/render_mesh.h"
#include "support/test_support.h"

namespace {

struct OffFile {
  QTemporaryDir dir;
  QString path;
  explicit OffFile(const std::string& text) : path(dir.filePath("m.off")) {
    EXPECT_TRUE(testsupport::writeTextFile(path, text));
  }
  QByteArray bytes() const { return path.toLocal8Bit(); }
};

void expectVec(const Vec3& v, float x, float y, float z, float tol = 1e-6f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

}  // namespace

TEST(ReadOff, StandardFileWithCommentsAndQuad) {
  OffFile f(
      "# a comment line\n"
      "\n"
      "OFF\n"
      "5 2 7\n"
      "0 0 0\n1 0 0\n1 1 0\n0 1 0\n0.5 0.5 1\n"
      "3 0 1 4\n"
      "4 0 1 2 3 255 0 0\n");
  QVector<Vec3> v;
  RenderFaces faces;
  ASSERT_TRUE(readOff(f.bytes().constData(), v, faces));
  ASSERT_EQ(v.size(), 5);
  ASSERT_EQ(faces.size(), 2);
  EXPECT_EQ(faces[0], (RenderFace{0, 1, 4}));
  // The fourth corner and the colour are dropped: every face is a triangle.
  EXPECT_EQ(faces[1], (RenderFace{0, 1, 2}));
  expectVec(v[4], 0.5f, 0.5f, 1.0f);
}

TEST(ReadOff, MissingFileLeavesListsUnchanged) {
  QVector<Vec3> v{Vec3(1, 2, 3)};
  RenderFaces faces;
  EXPECT_FALSE(readOff("/nonexistent/dir/model.off", v, faces));
  EXPECT_EQ(v.size(), 1);
  EXPECT_TRUE(faces.isEmpty());
}

TEST(ReadOff, FileWithoutHeaderGivesNoGeometry) {
  OffFile f("just some text\nmore\n");
  QVector<Vec3> v;
  RenderFaces faces;
  EXPECT_TRUE(readOff(f.bytes().constData(), v, faces));
  EXPECT_TRUE(v.isEmpty());
  EXPECT_TRUE(faces.isEmpty());
}

TEST(ReadOff, RejectsFaceIndexOutsideTheVertexList) {
  for (const char* face : {"3 0 1 3\n", "3 0 -1 2\n", "3 0 1 2000000000\n"}) {
    OffFile f(std::string("OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n") + face);
    QVector<Vec3> v;
    RenderFaces faces;
    EXPECT_FALSE(readOff(f.bytes().constData(), v, faces)) << face;
    EXPECT_TRUE(v.isEmpty());
    EXPECT_TRUE(faces.isEmpty());
  }
}

TEST(ReadOff, HugeCountsInATruncatedFileStopAtTheEnd) {
  OffFile f("OFF\n2000000000 2000000000 0\n0 0 0\n1 0 0\n");
  QVector<Vec3> v;
  RenderFaces faces;
  // The file ends long before its counts: it is refused, as the mesh library
  // refuses it, without reserving room for the counts.
  EXPECT_FALSE(readOff(f.bytes().constData(), v, faces));
  EXPECT_TRUE(v.isEmpty());
  EXPECT_TRUE(faces.isEmpty());
}

TEST(ReadOff, LongLinesAreSkippedInPieces) {
  std::string longComment = "#" + std::string(5000, 'x') + "\n";
  OffFile f(longComment + "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
  QVector<Vec3> v;
  RenderFaces faces;
  ASSERT_TRUE(readOff(f.bytes().constData(), v, faces));
  EXPECT_EQ(v.size(), 3);
  EXPECT_EQ(faces.size(), 1);
}

TEST(RenderMesh, DefaultsDescribeTheEmptyView) {
  RenderMesh m;
  EXPECT_FLOAT_EQ(m.radius(), 1.0f);
  expectVec(m.centre(), 0, 1, 0);
  expectVec(m.bboxMin(), -1, 0, -1);
  expectVec(m.bboxMax(), 1, 2, 1);
}

TEST(RenderMesh, NormalsBeforeAndAfterFlipping) {
  RenderMesh m;
  m.setGeometry({Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)}, {{0, 1, 2}});
  ASSERT_EQ(m.faceNormals().size(), 1);
  expectVec(m.faceNormals()[0], 0, 0, -1);
  m.flipFaceNormals();
  expectVec(m.faceNormals()[0], 0, 0, 1);
}

TEST(RenderMesh, BoundsCentreAndRadius) {
  RenderMesh m;
  m.setGeometry({Vec3(0, 0, 0), Vec3(2, 4, 4)}, {});
  expectVec(m.centre(), 1, 2, 2);
  EXPECT_FLOAT_EQ(m.radius(), 3.0f);
}

TEST(RenderMesh, NeighbourSets) {
  RenderMesh m;
  m.setGeometry({Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(5, 5, 5)}, {{0, 1, 2}});
  ASSERT_EQ(m.neighbours().size(), 4);
  EXPECT_EQ(m.neighbours()[0], (QSet<int>{1, 2}));
  EXPECT_EQ(m.neighbours()[1], (QSet<int>{0, 2}));
  EXPECT_EQ(m.neighbours()[2], (QSet<int>{0, 1}));
  EXPECT_TRUE(m.neighbours()[3].isEmpty());
}

TEST(RenderMesh, DegenerateAndEmptyInputsStayFinite) {
  RenderMesh empty;
  empty.setGeometry({}, {});
  EXPECT_TRUE(std::isfinite(empty.radius()));
  EXPECT_TRUE(empty.centre().isFinite());

  RenderMesh m;
  const float nan = std::nanf("");
  m.setGeometry({Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(2, 0, 0), Vec3(nan, 0, 0)}, {{0, 1, 2}, {0, 1, 9}, {-1, 0, 1}});
  // The collinear face keeps a finite (zero) normal; the faces that point
  // outside the vertex list are dropped.
  ASSERT_EQ(m.faces().size(), 1);
  EXPECT_TRUE(m.faceNormals()[0].isFinite());
  EXPECT_TRUE(m.centre().isFinite());
  EXPECT_TRUE(std::isfinite(m.radius()));
  EXPECT_FLOAT_EQ(m.radius(), 1.0f);  // x spans 0..2, the NaN vertex is ignored
}

TEST(RenderMesh, CubeFromFileHasOutwardNormalsAfterFlip) {
  OffFile f(testsupport::unitCubeOff());
  QVector<Vec3> v;
  RenderFaces faces;
  ASSERT_TRUE(readOff(f.bytes().constData(), v, faces));
  RenderMesh m;
  m.setGeometry(v, faces);
  m.flipFaceNormals();
  const Vec3 c = m.centre();
  for (int i = 0; i < m.faces().size(); ++i) {
    const Vec3 mid = (m.corner(i, 0) + m.corner(i, 1) + m.corner(i, 2)) / 3.0f;
    EXPECT_GT(m.faceNormals()[i].dot(mid - c), 0.0f) << "face " << i;
  }
}
