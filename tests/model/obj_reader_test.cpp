#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "model/obj_reader.h"
#include "trimesh/trimesh.h"
#include "support/test_support.h"

namespace {

class ObjReader : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  ObjMesh mesh;

  bool read(const std::string& text) {
    const QString path = dir.filePath("m.obj");
    EXPECT_TRUE(testsupport::writeTextFile(path, text));
    return readObj(mesh, path.toLocal8Bit().constData());
  }
};

}  // namespace

TEST_F(ObjReader, PlainSlashAndZeroNormalFaces) {
  ASSERT_TRUE(
      read("v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\n"
           "f 1 2 3\n"
           "f 1//4 2//4 3//4\n"
           "f 1/7/0 2/8/0 3/9/0\n"
           "f 3/1 2/2 1/3\n"));
  ASSERT_EQ(mesh.faces.size(), 4);
  EXPECT_EQ(mesh.faces[0].vertexIndices, (QVector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(mesh.faces[0].normalIndices.isEmpty());
  EXPECT_EQ(mesh.faces[1].vertexIndices, (QVector<int32_t>{1, 2, 3}));
  EXPECT_EQ(mesh.faces[1].normalIndices, (QVector<int32_t>{4, 4, 4}));
  EXPECT_EQ(mesh.faces[2].vertexIndices, (QVector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(mesh.faces[2].normalIndices.isEmpty());  // a zero normal index is not stored
  // Two slash-separated parts: the vertex index counts, there is no normal.
  EXPECT_EQ(mesh.faces[3].vertexIndices, (QVector<int32_t>{3, 2, 1}));
  EXPECT_TRUE(mesh.faces[3].normalIndices.isEmpty());
  for (const ObjFace& f : mesh.faces) EXPECT_TRUE(f.texIndices.isEmpty());
  ASSERT_EQ(mesh.normals.size(), 1);
  EXPECT_EQ(mesh.normals[0], Vec3(0, 0, 1));
}

TEST_F(ObjReader, RunsOfBlanksAndTabsSeparateFields) {
  // Two spaces after the tag (as some exporters write faces), tabs, and
  // line ends with a carriage return all read as single separators.
  ASSERT_TRUE(read("v  1 2 3\nv\t4\t5  6\r\nv 7 8 9 \nf  1//1  2//1 3//1\nf\t3\t2\t1\r\n"));
  ASSERT_EQ(mesh.vertices.size(), 3);
  EXPECT_EQ(mesh.vertices[0], Vec3(1, 2, 3));
  EXPECT_EQ(mesh.vertices[1], Vec3(4, 5, 6));
  EXPECT_EQ(mesh.vertices[2], Vec3(7, 8, 9));
  ASSERT_EQ(mesh.faces.size(), 2);
  EXPECT_EQ(mesh.faces[0].vertexIndices, (QVector<int32_t>{1, 2, 3}));
  EXPECT_EQ(mesh.faces[1].vertexIndices, (QVector<int32_t>{3, 2, 1}));
  // The geometry library's reader takes the same file the same way.
  const std::unique_ptr<TriMesh> tm = TriMesh::read(dir.filePath("m.obj").toLocal8Bit().constData());
  ASSERT_TRUE(tm);
  ASSERT_EQ(tm->vertices.size(), 3u);
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(Vec3(tm->vertices[k][0], tm->vertices[k][1], tm->vertices[k][2]), mesh.vertices[k]);
  EXPECT_EQ(tm->faces.size(), 2u);
}

TEST_F(ObjReader, OneEntryPerLineAndOtherLinesIgnored) {
  ASSERT_TRUE(read("# comment\ng group\nvt 0.5 0.5\no thing\n\nv 1.5 -2 3e-1\nvn 1 0 0\nf 1 1 1\n"));
  ASSERT_EQ(mesh.vertices.size(), 1);
  EXPECT_EQ(mesh.vertices[0], Vec3(1.5f, -2.0f, 0.3f));
  EXPECT_EQ(mesh.normals.size(), 1);
  EXPECT_EQ(mesh.faces.size(), 1);

  // Appends to what the record already holds.
  ASSERT_TRUE(read("v 7 8 9\r\n"));
  ASSERT_EQ(mesh.vertices.size(), 2);
  EXPECT_EQ(mesh.vertices[1], Vec3(7, 8, 9));
}

TEST_F(ObjReader, HostileLinesReadAsZeroWithoutFailing) {
  ASSERT_TRUE(read("v 1\nv nan inf 2\nv x y z\nvn\nf\nf a b c\nf 1 2 3 \n"));
  ASSERT_EQ(mesh.vertices.size(), 3);
  EXPECT_EQ(mesh.vertices[0], Vec3(1, 0, 0));  // padded
  EXPECT_EQ(mesh.vertices[1], Vec3(0, 0, 2));  // non-finite values read as 0
  EXPECT_EQ(mesh.vertices[2], Vec3(0, 0, 0));
  EXPECT_TRUE(mesh.normals.isEmpty());  // "vn\n" is not the token "vn"
  ASSERT_EQ(mesh.faces.size(), 2);      // "f\n" is not the token "f" either
  EXPECT_EQ(mesh.faces[0].vertexIndices, (QVector<int32_t>{0, 0, 0}));
  // Trailing blanks add no field.
  EXPECT_EQ(mesh.faces[1].vertexIndices, (QVector<int32_t>{1, 2, 3}));

  // A line longer than the buffer is read in pieces, each a line of its own.
  mesh = ObjMesh();
  ASSERT_TRUE(read("v 1 2 3" + std::string(600, ' ') + "\nv 4 5 6\n"));
  EXPECT_EQ(mesh.vertices.size(), 2);
}

TEST_F(ObjReader, MissingFileFails) {
  EXPECT_FALSE(readObj(mesh, dir.filePath("none.obj").toLocal8Bit().constData()));
  EXPECT_FALSE(readObj(mesh, nullptr));
  EXPECT_TRUE(mesh.vertices.isEmpty());
}
