#include <gtest/gtest.h>

#include "engine/palette.h"

namespace {

void expectColour(const Vec3& c, double r, double g, double b) {
  EXPECT_NEAR(c.x, r, 1e-6);
  EXPECT_NEAR(c.y, g, 1e-6);
  EXPECT_NEAR(c.z, b, 1e-6);
}

}  // namespace

TEST(Palette, TwelveHuesAtThreeSaturations) {
  // Full saturation: red, orange, yellow, ..., hue 30 degrees apart.
  expectColour(paletteEntry(0), 1, 0, 0);
  expectColour(paletteEntry(1), 1, 0.5, 0);
  expectColour(paletteEntry(2), 1, 1, 0);
  expectColour(paletteEntry(4), 0, 1, 0);
  expectColour(paletteEntry(6), 0, 1, 1);
  expectColour(paletteEntry(8), 0, 0, 1);
  expectColour(paletteEntry(10), 1, 0, 1);
  expectColour(paletteEntry(11), 1, 0, 0.5);
  // Saturation 1/2 and 1/3 lift the missing channels towards white.
  expectColour(paletteEntry(12), 1, 0.5, 0.5);
  expectColour(paletteEntry(16), 0.5, 1, 0.5);
  expectColour(paletteEntry(24), 1, 2.0 / 3.0, 2.0 / 3.0);
  expectColour(paletteEntry(35), 1, 2.0 / 3.0, 5.0 / 6.0);  // hue 330 at 1/3
}

TEST(Palette, IndicesWrapEvery36) {
  QList<Vec3> palette;
  for (unsigned i = 0; i < 36; ++i) {
    EXPECT_EQ(paletteColour(palette, i), paletteColour(palette, i + 36));
    EXPECT_EQ(paletteColour(palette, i), paletteEntry(i));
  }
  // A negative segment id reaches here as a large unsigned value.
  EXPECT_EQ(paletteColour(palette, 4294967295u), paletteEntry(4294967295u % 36u));
}

TEST(Palette, FilledOnFirstUseAndKept) {
  QList<Vec3> palette;
  paletteColour(palette, 7);
  ASSERT_EQ(palette.size(), kPaletteSize);
  for (int k = 0; k < kPaletteSize; ++k) EXPECT_EQ(palette[k], paletteEntry(unsigned(k)));
  // Every channel of every entry is a valid colour value.
  for (const Vec3& c : palette)
    for (int a = 0; a < 3; ++a) {
      EXPECT_GE(c[a], 0.0f);
      EXPECT_LE(c[a], 1.0f);
    }
  // A list of the wrong size (not built here) is rebuilt rather than indexed.
  QList<Vec3> partial = {Vec3(9, 9, 9)};
  EXPECT_EQ(paletteColour(partial, 20), paletteEntry(20));
  EXPECT_EQ(partial.size(), kPaletteSize);
}
