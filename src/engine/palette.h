#pragma once

#include <QList>

#include "engine/vec3.h"

// The 36-colour palette that colours planes (by list index), segments (by
// segment id) and study participants (by user number): 12 hues 30 degrees
// apart at full value, first fully saturated, then at saturation 1/2, then
// at 1/3. No GL here: loading code uses it as well as drawing.
constexpr int kPaletteSize = 36;

// Entry k of the palette, computed (k taken modulo kPaletteSize).
Vec3 paletteEntry(unsigned k);

// Entry i mod 36 of `palette`, filling the list with all 36 entries first
// when it does not hold them yet. The engine keeps one such list; it is
// filled on the GUI thread.
Vec3 paletteColour(QList<Vec3>& palette, unsigned i);
