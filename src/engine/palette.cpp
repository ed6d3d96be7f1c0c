#include "engine/palette.h"

#include <cmath>

namespace {

// HSV (hue in degrees, saturation, value 1) to RGB.
Vec3 hsvFullValue(float hueDegrees, float saturation) {
  const float ch = saturation;
  const float e = hueDegrees / 60.0f;
  const float x = ch * (1.0f - std::fabs(std::fmod(e, 2.0f) - 1.0f));
  const float m = 1.0f - ch;
  Vec3 rgb;
  if (e < 1.0f)
    rgb = Vec3(ch, x, 0.0f);
  else if (e < 2.0f)
    rgb = Vec3(x, ch, 0.0f);
  else if (e < 3.0f)
    rgb = Vec3(0.0f, ch, x);
  else if (e < 4.0f)
    rgb = Vec3(0.0f, x, ch);
  else if (e < 5.0f)
    rgb = Vec3(x, 0.0f, ch);
  else
    rgb = Vec3(ch, 0.0f, x);
  return rgb + Vec3(m, m, m);
}

}  // namespace

Vec3 paletteEntry(unsigned k) {
  k %= unsigned(kPaletteSize);
  const unsigned hueIndex = k % 12u;
  const unsigned saturationIndex = k / 12u;
  return hsvFullValue(30.0f * float(hueIndex), 1.0f / float(saturationIndex + 1u));
}

Vec3 paletteColour(QList<Vec3>& palette, unsigned i) {
  if (palette.size() != kPaletteSize) {
    palette.clear();
    palette.reserve(kPaletteSize);
    for (int k = 0; k < kPaletteSize; ++k) palette.append(paletteEntry(unsigned(k)));
  }
  return palette[int(i % unsigned(kPaletteSize))];
}
