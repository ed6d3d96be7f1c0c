#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "trimesh/read_ascii.h"

using namespace trimesh_read;

namespace {

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Tokens of every kind a file may hold where a number is expected.
std::vector<std::string> tokens() {
  std::vector<std::string> t = {"0",         "-0",       "+1",     "12",        "007",        "-2147483648",
                                "2147483647", "2147483648", "-2147483649", "99999999999", "1.5",  "-1.5e3",
                                "1e",        "1e+",      ".5",     "5.",        "0x1p3",      "0x",
                                "inf",       "-Infinity", "nan",   "nan(12)",   "1e-50",      "1e50",
                                "1e-40",     "3.4028236e38", "1,5", "1.5.2",    "--1",        "-",
                                "abc",       "1abc",     "2/3/4",  "7//",       std::string(130, '1'),
                                "0." + std::string(140, '5')};
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-45, 39), digits(1, 12);
  char buf[64];
  for (int i = 0; i < 2000; ++i) {
    std::snprintf(buf, sizeof buf, "%.*ge%d", digits(rng), mantissa(rng), exponent(rng));
    t.push_back(buf);
    std::snprintf(buf, sizeof buf, "%.*f", digits(rng) % 8, mantissa(rng) * 1000);
    t.push_back(buf);
  }
  return t;
}

}  // namespace

// The bounded parsers read every token as the strtof / strtoll ones do (the
// same value and the same end), and call simple only whole tokens that
// std::from_chars reads.
TEST(TriMeshReadNumbers, BoundedParsersAgreeWithTheLocaleParsers) {
  for (const std::string& token : tokens()) {
    for (const char* after : {" 9", "\n", "/2", ""}) {
      const std::string text = "  " + token + after;
      const char* s = text.c_str();
      const char* end = s + text.size();
      float f0 = -7.0f, f1 = -7.0f;
      bool simple = true;
      const char* e0 = parse_float(s, f0);
      const char* e1 = parse_float(s, end, f1, simple);
      ASSERT_EQ(e0, e1) << text;
      ASSERT_TRUE(same_bits(f0, f1) || (f0 != f0 && f1 != f1)) << text;
      if (simple) {
        EXPECT_TRUE(e1 && (e1 == end || *e1 == ' ' || *e1 == '\n')) << text;
      }

      int i0 = -7, i1 = -7;
      bool simple_int = true;
      const char* g0 = parse_int(s, i0);
      const char* g1 = parse_int(s, end, i1, simple_int, "/");
      ASSERT_EQ(g0, g1) << text;
      ASSERT_EQ(i0, i1) << text;
      if (simple_int) {
        EXPECT_TRUE(g1 && (g1 == end || *g1 == ' ' || *g1 == '\n' || *g1 == '/')) << text;
      }
    }
  }
  // Which tokens are simple.
  auto simple_float = [](const std::string& t) {
    float v;
    bool simple = true;
    parse_float(t.c_str(), t.c_str() + t.size(), v, simple);
    return simple;
  };
  EXPECT_TRUE(simple_float("-1.5e3"));
  EXPECT_FALSE(simple_float("+1"));
  EXPECT_FALSE(simple_float("0x1p3"));
  EXPECT_FALSE(simple_float("1e50"));
  EXPECT_FALSE(simple_float(std::string(130, '1')));
  EXPECT_FALSE(simple_float(""));
  int v;
  bool simple = true;
  const std::string big = "2147483648";
  parse_int(big.c_str(), big.c_str() + big.size(), v, simple);
  EXPECT_FALSE(simple);
  EXPECT_EQ(v, 2147483647);
}

// A number is never read past the end given, which a line's end is.
TEST(TriMeshReadNumbers, BoundedParsersStopAtTheEndGiven) {
  const std::string text = "  \n 12";
  float f = 0.0f;
  int i = 0;
  bool simple = true;
  EXPECT_EQ(parse_float(text.c_str(), text.c_str() + 2, f, simple), nullptr);
  EXPECT_EQ(parse_int(text.c_str(), text.c_str() + 3, i, simple), nullptr);
  ASSERT_NE(parse_int(text.c_str(), text.c_str() + text.size(), i, simple), nullptr);
  EXPECT_EQ(i, 12);
}
