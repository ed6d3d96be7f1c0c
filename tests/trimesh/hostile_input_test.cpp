#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

#include "mesh_fixtures.h"
#include "trimesh/trimesh.h"

using fixtures::MessageCapture;
using fixtures::temp_file;

namespace {

std::unique_ptr<TriMesh> read_text(const std::string& text, const std::string& suffix = ".off") {
  return TriMesh::read(temp_file(text, suffix).c_str());
}

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

TEST(TriMeshHostileInput, FacesReferringToMissingVerticesAreDropped) {
  MessageCapture cap;
  auto m = read_text("OFF\n4 4 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n3 0 2 7\n3 0 -2 3\n4 0 1 2 9\n");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->faces, (std::vector<TriMesh::Face>{{0, 1, 2}}));
  EXPECT_NE(cap.errors().find("Skipped 3 faces referring to missing vertices.\n"), std::string::npos) << cap.errors();

  MessageCapture cap2;
  auto obj = read_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 0\nf 1 2 5\nf -1 -2 -9\n", ".obj");
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(obj->faces, (std::vector<TriMesh::Face>{{0, 1, 2}}));
  EXPECT_NE(cap2.errors().find("Skipped 3 faces"), std::string::npos);
  fixtures::run_chain(*obj, 0.1f);
  EXPECT_TRUE(fixtures::curvatures_finite(*obj));
}

TEST(TriMeshHostileInput, HugeCountsFailQuicklyWithoutHugeAllocations) {
  MessageCapture cap;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(read_text("OFF\n2000000000 2000000000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), nullptr);
  EXPECT_EQ(read_text("OFF\n3 2000000000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), nullptr);
  EXPECT_EQ(read_text("OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n2000000000 0 1 2\n"), nullptr);
  EXPECT_EQ(read_text("OFF\n99999999999999999999 1 0\n0 0 0\n"), nullptr);
  EXPECT_EQ(read_text("OFF\n-5 1 0\n0 0 0\n"), nullptr);
  // A negative face count fails; the vertices alone would have made a point cloud.
  EXPECT_EQ(read_text("OFF\n3 -1 0\n0 0 0\n1 0 0\n0 1 0\n"), nullptr);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 2.0);
}

TEST(TriMeshHostileInput, TruncatedFilesFail) {
  MessageCapture cap;
  const std::string full = "OFF\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n3 0 2 3\n";
  // Cut anywhere before the last face's indices: the read must fail, never crash.
  const size_t last_face = full.rfind("3 0 2 3");
  for (size_t cut = 0; cut < last_face + 2; cut++) {
    EXPECT_EQ(read_text(full.substr(0, cut)), nullptr) << cut;
  }
  // A file ending right after the last index, without a newline, is complete.
  auto m = read_text(full.substr(0, full.size() - 1));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->faces.size(), 2u);
}

TEST(TriMeshHostileInput, NonFiniteCoordinatesRejectTheFile) {
  for (const char* text :
       {"OFF\n3 1 0\n0 0 0\nnan 0 0\n0 1 0\n3 0 1 2\n", "OFF\n3 1 0\n0 0 0\n1e999 0 0\n0 1 0\n3 0 1 2\n",
        "v 0 0 0\nv inf 0 0\nv 0 1 0\nf 1 2 3\n"}) {
    MessageCapture cap;
    EXPECT_EQ(read_text(text), nullptr) << text;
    EXPECT_NE(cap.errors().find("Vertex 1 has a coordinate that is not a finite number.\n"), std::string::npos)
        << cap.errors();
  }
}

TEST(TriMeshHostileInput, LongLinesAreReadWhole) {
  MessageCapture cap;
  // An OBJ polygon line of several kilobytes: all its corners form one fan.
  std::string text;
  const int n = 600;
  for (int i = 0; i < n; i++) {
    float a = 6.2831853f * i / n;
    text += "v " + std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 0\n";
  }
  text += "# " + std::string(5000, 'x') + " f 1 2 3\n";
  text += "f";
  for (int i = 1; i <= n; i++) text += " " + std::to_string(i) + "/" + std::to_string(i) + "/1";
  text += "\n";
  ASSERT_GT(text.size(), 4 * 1024u);
  auto m = read_text(text, ".obj");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->faces.size(), static_cast<size_t>(n - 2));
  EXPECT_EQ(m->faces.back(), TriMesh::Face(0, n - 2, n - 1));
}

TEST(TriMeshHostileInput, BinaryGarbageNeverCrashes) {
  MessageCapture cap;
  std::mt19937 rng(11);
  const std::string prefixes[] = {"", "OFF\n", "OFF 3 1\n", "v ", "f ", "# c\nv 1 2 3\n"};
  for (int t = 0; t < 300; t++) {
    std::string s = prefixes[t % 6];
    const int len = 1 + static_cast<int>(rng() % 200);
    for (int i = 0; i < len; i++) s += static_cast<char>(rng() % 256);
    auto m = TriMesh::read_memory(s.data(), s.size(), "garbage");
    if (m) {
      fixtures::run_chain(*m, 0.1f);
      EXPECT_TRUE(fixtures::curvatures_finite(*m));
    }
  }
}

TEST(TriMeshHostileInput, ChainSurvivesNonFiniteAndDuplicateVerticesSetByHand) {
  MessageCapture cap;
  TriMesh m = fixtures::sphere(1, 1.0f);
  m.vertices[3] = Vec3(std::numeric_limits<float>::quiet_NaN(), 0, 0);
  m.vertices[7] = Vec3(std::numeric_limits<float>::infinity(), 0, 0);
  m.vertices[9] = m.vertices[10];
  fixtures::run_chain(m, 0.2f);
  ASSERT_EQ(m.principal_curv1.size(), m.vertices.size());
  EXPECT_TRUE(fixtures::curvatures_finite(m));
  EXPECT_TRUE(m.bounding_sphere.center.isFinite());
  for (const Vec3& n : m.normals) EXPECT_TRUE(n.isFinite());

  // A point cloud with NaN points and duplicates.
  TriMesh cloud;
  for (int i = 0; i < 40; i++) cloud.vertices.push_back(Vec3(i % 5, i / 5 % 3, 0));
  cloud.vertices[4] = Vec3(0, std::numeric_limits<float>::quiet_NaN(), 0);
  cloud.compute_normals();
  for (const Vec3& n : cloud.normals) EXPECT_TRUE(n.isFinite());
  // Faces that index outside the vertex list (set by hand) are ignored.
  TriMesh bad = fixtures::flat_grid(3);
  bad.faces.emplace_back(0, 1, 100);
  bad.faces.emplace_back(-1, 1, 2);
  fixtures::run_chain(bad, 0.5f);
  EXPECT_TRUE(fixtures::curvatures_finite(bad));
}

TEST(TriMeshHostileInput, FuzzRegressionsAndSeedsGoThroughTheWholeChain) {
  MessageCapture cap;
  namespace fs = std::filesystem;
  const fs::path root(KORVANE_SOURCE_DIR);
  int files = 0, meshes = 0;
  for (const fs::path& dir : {root / "tests/trimesh/fuzz_regressions", root / "fuzz/seeds"}) {
    if (!fs::exists(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      const std::string bytes = slurp(entry.path());
      files++;
      auto m = TriMesh::read_memory(bytes.data(), bytes.size(), entry.path().filename().c_str());
      if (dir.filename() == "seeds") {
        EXPECT_NE(m, nullptr) << entry.path();
      }
      if (!m) continue;
      meshes++;
      m->compute_bounding_sphere();
      fixtures::run_chain(*m, 0.05f * m->bounding_sphere.r);
      EXPECT_TRUE(fixtures::curvatures_finite(*m)) << entry.path();
    }
  }
  EXPECT_GE(files, 4);
  EXPECT_GE(meshes, 4);
}

namespace {

// Across-edge map by walking the faces around each edge's first vertex in
// increasing order: the plain quadratic method the hashed one must match.
std::vector<TriMesh::Face> across_by_walking(TriMesh& m) {
  m.compute_vertex_faces();
  const int nf = static_cast<int>(m.faces.size());
  std::vector<TriMesh::Face> across(nf, TriMesh::Face(-1, -1, -1));
  for (int i = 0; i < nf; i++) {
    for (int j = 0; j < 3; j++) {
      if (across[i][j] != -1) continue;
      const int u = m.faces[i][(j + 1) % 3], v = m.faces[i][(j + 2) % 3];
      bool found = false;
      for (int f : m.vertex_faces[u]) {
        if (f == i) continue;
        for (int c = 0; c < 3 && !found; c++) {
          if (m.faces[f][(c + 1) % 3] == v && m.faces[f][(c + 2) % 3] == u && across[f][c] == -1) {
            across[i][j] = f;
            across[f][c] = i;
            found = true;
          }
        }
        if (found) break;
      }
    }
  }
  return across;
}

}  // namespace

TEST(TriMeshHostileInput, AdjacencyMatchesAWalkAroundEachVertexOnTangledMeshes) {
  std::mt19937 rng(5);
  for (int t = 0; t < 40; t++) {
    // Few vertices and many faces: repeated, reversed and degenerate faces,
    // edges shared by many faces.
    TriMesh m;
    const int nv = 3 + static_cast<int>(rng() % 6);
    for (int v = 0; v < nv; v++) m.vertices.push_back(Vec3(float(v), float(v * v % 7), 0.0f));
    const int nf = 1 + static_cast<int>(rng() % 60);
    for (int f = 0; f < nf; f++)
      m.faces.emplace_back(static_cast<int>(rng() % nv), static_cast<int>(rng() % nv), static_cast<int>(rng() % nv));
    TriMesh walked = m;
    m.compute_across_faces();
    EXPECT_EQ(m.across_faces, across_by_walking(walked)) << t;
  }
}

TEST(TriMeshHostileInput, OneFaceOfManyCornersAndStackedCopiesBuildAdjacencyQuickly) {
  MessageCapture cap;
  const auto t0 = std::chrono::steady_clock::now();
  // A face of 100,000 corners over 4 vertices.
  std::string off = "OFF\n4 1 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n100000";
  for (int i = 0; i < 100000; i++) off += " " + std::to_string(i % 4);
  auto fan = read_text(off + "\n");
  ASSERT_NE(fan, nullptr);
  ASSERT_EQ(fan->faces.size(), 99998u);
  fixtures::run_chain(*fan, 0.1f);
  EXPECT_FALSE(fan->strips.empty());
  EXPECT_EQ(fan->vertex_neighbors[0].size(), 4u);  // 0 itself (degenerate faces), 1, 2, 3

  // 30,000 copies of one triangle and 3 reversed ones: each reversed copy
  // pairs with one forward copy across each edge, the rest have no partner.
  TriMesh stack;
  stack.vertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
  for (int i = 0; i < 30000; i++) stack.faces.emplace_back(0, 1, 2);
  for (int i = 0; i < 3; i++) stack.faces.emplace_back(0, 2, 1);
  stack.build_strips();
  stack.compute_neighbors();
  ASSERT_EQ(stack.across_faces.size(), 30003u);
  EXPECT_EQ(stack.across_faces[0], TriMesh::Face(30000, 30000, 30000));
  EXPECT_EQ(stack.across_faces[2], TriMesh::Face(30002, 30002, 30002));
  EXPECT_EQ(stack.across_faces[3], TriMesh::Face(-1, -1, -1));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 30.0);
}
