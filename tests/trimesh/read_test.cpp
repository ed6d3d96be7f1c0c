#include <gtest/gtest.h>

#include "mesh_fixtures.h"
#include "trimesh/trimesh.h"

using fixtures::MessageCapture;
using fixtures::temp_file;

namespace {

std::unique_ptr<TriMesh> read_text(const std::string& text, const std::string& suffix = ".off") {
  return TriMesh::read(temp_file(text, suffix).c_str());
}

const char* kSquareVertices = "-2 0 0\n0 -1 0\n2 0 0\n0 1 0\n";

}  // namespace

TEST(TriMeshReadOff, OneBasedIndicesAreRemappedWithTwoMessages) {
  MessageCapture cap;
  auto m = read_text("OFF\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 1 2 3\n3 1 3 4\n");
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->faces.size(), 2u);
  EXPECT_EQ(m->faces[0], TriMesh::Face(0, 1, 2));
  EXPECT_EQ(m->faces[1], TriMesh::Face(0, 2, 3));
  EXPECT_NE(cap.progress().find("Done.\nFound indices ranging from 1 through 4\nRemapping to 0 through 3\n"),
            std::string::npos)
      << cap.progress();
  EXPECT_TRUE(cap.errors().empty()) << cap.errors();
}

TEST(TriMeshReadOff, ZeroBasedIndicesAndProgressTexts) {
  MessageCapture cap;
  const std::string path = temp_file("OFF\n# a comment\n\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n3 0 2 3 1 0 0\n");
  auto m = TriMesh::read(path.c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->faces[1], TriMesh::Face(0, 2, 3));  // per-face colour ignored
  EXPECT_EQ(cap.progress(), "Reading " + path + "... \n  Reading 4 vertices... \n  Reading 2 faces... Done.\n");
  EXPECT_TRUE(m->normals.empty());  // derived data only on demand
}

TEST(TriMeshReadOff, QuadSplitsAlongTheShorterDiagonal) {
  MessageCapture cap;
  // Diagonal 0-2 is 4 long, 1-3 is 2 long: split along 1-3.
  auto m = read_text(std::string("OFF\n4 1 0\n") + kSquareVertices + "4 0 1 2 3\n");
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->faces.size(), 2u);
  EXPECT_EQ(m->faces[0], TriMesh::Face(1, 2, 3));
  EXPECT_EQ(m->faces[1], TriMesh::Face(1, 3, 0));
  // Starting the quad one corner later makes 0-2 the short diagonal.
  auto n = read_text(std::string("OFF\n4 1 0\n") + kSquareVertices + "4 1 2 3 0\n");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->faces[0], TriMesh::Face(1, 2, 3));
  EXPECT_EQ(n->faces[1], TriMesh::Face(1, 3, 0));
  // Five corners: a fan from the first.
  auto p = read_text("OFF 5 1 0\n0 0 0 1 0 0 2 1 0 1 2 0 0 1 0\n5 0 1 2 3 4\n");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->faces, (std::vector<TriMesh::Face>{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}));
}

TEST(TriMeshReadOff, OneBasedQuadIsSplitByItsRealPositions) {
  MessageCapture cap;
  auto m = read_text(std::string("OFF\n4 1 0\n") + kSquareVertices + "4 1 2 3 4\n");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->faces, (std::vector<TriMesh::Face>{{1, 2, 3}, {1, 3, 0}}));
}

TEST(TriMeshReadOff, CountsOnTheKeywordLineReadLikeTheTwoLineForm) {
  MessageCapture cap;
  auto a = read_text("OFF 3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
  auto b = read_text("OFF\n3 1\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->vertices.size(), 3u);
  EXPECT_EQ(a->faces, b->faces);
  EXPECT_EQ(a->vertices[1], b->vertices[1]);
}

TEST(TriMeshReadOff, MalformedFilesFailWithTheirMessages) {
  {
    MessageCapture cap;
    const std::string path = temp_file("");
    EXPECT_EQ(TriMesh::read(path.c_str()), nullptr);
    EXPECT_EQ(cap.errors(), "Can't read header.\nError reading file [" + path + "].\n");
  }
  {
    MessageCapture cap;
    EXPECT_EQ(read_text("OFF\n3 2\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), nullptr);
    EXPECT_NE(cap.progress().find("Couldn't read vertex count for face 1\n"), std::string::npos);
  }
  {
    MessageCapture cap;
    EXPECT_EQ(read_text("OFF\n3 1\n0 0 0\n1 0 0\n0 1 0\n3 0 1 x\n"), nullptr);
    EXPECT_NE(cap.progress().find("Couldn't read vertex index 2 for face 0\n"), std::string::npos);
  }
  {
    MessageCapture cap;
    EXPECT_EQ(read_text("OFF\n3\n0 0 0\n"), nullptr);  // only one count
    EXPECT_EQ(read_text("OF"), nullptr);
    EXPECT_NE(cap.errors().find("Can't read header.\n"), std::string::npos);
    EXPECT_EQ(read_text("OFX\n3 1\n"), nullptr);
    EXPECT_EQ(read_text("OFF\n0 0\n"), nullptr);  // no vertices
  }
}

TEST(TriMeshReadObj, SlashesNegativeIndicesAndIgnoredLines) {
  MessageCapture cap;
  auto m = read_text(
      "# exported\nmtllib a.mtl\no thing\nv 0 0 0\nv 1 0 0\nV 0 1 0\nvn 0 0 1\nvt 0 0\ng side\ns 1\nusemtl red\n"
      "f 1/1/1 2/2/2 3/3/3\nf -3 -2 -1\nf\t1//1\t2//1 3//1\nl 1 2\n",
      ".obj");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->vertices.size(), 3u);
  EXPECT_EQ(m->faces, (std::vector<TriMesh::Face>{{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}));
  EXPECT_TRUE(cap.errors().empty()) << cap.errors();

  // Negative indices count back from the vertices read so far.
  auto n = read_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf -3 -2 -1\nv 5 5 5\nf -4 -3 -1\n", ".obj");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->faces, (std::vector<TriMesh::Face>{{0, 1, 2}, {0, 1, 3}}));
}

TEST(TriMeshReadObj, QuadsAndPolygonsAfterTheirVertices) {
  MessageCapture cap;
  auto m = read_text("f 1 2 3 4\nv -2 0 0\nv 0 -1 0\nv 2 0 0\nv 0 1 0\nf 1 2 3 4\n", ".obj");
  ASSERT_NE(m, nullptr);
  // The first quad names vertices not read yet; both are measured once all
  // vertices are known and split along the short diagonal 2-4.
  EXPECT_EQ(m->faces, (std::vector<TriMesh::Face>{{1, 2, 3}, {1, 3, 0}, {1, 2, 3}, {1, 3, 0}}));
}

TEST(TriMeshReadObj, VerticesWithoutFacesArePointCloudWithNeighbourNormals) {
  MessageCapture cap;
  std::string text;
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) text += "v " + std::to_string(x) + " " + std::to_string(y) + " 3\n";
  auto m = read_text(text, ".obj");
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->faces.empty());
  m->compute_normals();
  for (const Vec3& n : m->normals) EXPECT_NEAR(n.z, 1.0f, 1e-5);
}

TEST(TriMeshRead, RecognisesFormatsByContentNotName) {
  MessageCapture cap;
  auto obj_named_off = read_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", ".off");
  ASSERT_NE(obj_named_off, nullptr);
  EXPECT_EQ(obj_named_off->faces.size(), 1u);
  auto commented = read_text("#comment first\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", ".txt");
  ASSERT_NE(commented, nullptr);
  for (const char* unsupported : {"ply\nformat ascii 1.0\n", "#vertex 0 0 0\n", "#Shape_triangle 0 0 1 2\n",
                                  "#MATERIAL x\n", "MM\x01\x02", "3\n0 0 0\n", "COFF\n"}) {
    MessageCapture c2;
    EXPECT_EQ(read_text(unsupported), nullptr) << unsupported;
    EXPECT_NE(c2.errors().find("Unknown file type.\n"), std::string::npos) << unsupported;
  }
  EXPECT_EQ(TriMesh::read(""), nullptr);
  EXPECT_EQ(TriMesh::read(static_cast<const char*>(nullptr)), nullptr);
}
