// The generator's files, read back as plain text.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "modelgen/shapes.h"
#include "modelgen/writer.h"

using namespace modelgen;

namespace {

std::vector<std::string> linesOf(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ModelgenWriter, WritesOffSegmentationAndSymmetryFiles) {
  char dirTemplate[] = "/tmp/modelgen_writer_XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;

  Model m;
  m.name = "7";
  // A tetrahedron in segment 0 and a second one in segment 1.
  Part tet;
  tet.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  tet.faces = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
  m.addPart(tet);
  m.addPart(transformed(tet, translation(V3(-0.5, -0.25, -2))));
  m.addPlane(V3(0, 0, 2), 1.0);
  m.addAxis(V3(0, 0.5, 0), V3(0.25, -0.125, 1e-9));
  ASSERT_TRUE(writeModel(m, dir));

  const std::vector<std::string> off = linesOf(dir + "/7.off");
  ASSERT_EQ(off.size(), 2u + 8u + 8u);
  EXPECT_EQ(off[0], "OFF");
  EXPECT_EQ(off[1], "8 8 0");
  EXPECT_EQ(off[3], "1.000000 0.000000 0.000000");
  EXPECT_EQ(off[10], "3 0 2 1");
  EXPECT_EQ(off[17], "3 5 6 7");  // second part, shifted by four vertices

  const std::vector<std::string> seg = linesOf(dir + "/7_0.seg");
  EXPECT_EQ(seg, std::vector<std::string>({"0", "0", "0", "0", "1", "1", "1", "1"}));

  // Plane normal made unit length with d scaled alike; tiny values print as 0.
  const std::vector<std::string> sym = linesOf(dir + "/7.sym");
  EXPECT_EQ(sym, std::vector<std::string>({"P 0.000000 0.000000 1.000000 0.500000",
                                           "A 0.000000 0.500000 0.000000 0.250000 -0.125000 0.000000"}));

  // Nothing but the three files is left behind.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, std::vector<std::string>({"7.off", "7.sym", "7_0.seg"}));
  std::filesystem::remove_all(dir);
}

TEST(ModelgenWriter, ReportsAMissingFolder) {
  Model m;
  m.name = "x";
  EXPECT_FALSE(writeModel(m, "/nonexistent-folder/for/modelgen"));
}

}  // namespace
