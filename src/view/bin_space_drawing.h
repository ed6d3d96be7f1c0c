#pragma once

#include "engine/vec3.h"

class BinSpace;
struct Bin;
class Sorvex;

// Drawing of the bin space in the side view. Index space: theta index along
// x, phi index along y, d index along z, scaled by 1/72 and centred on the
// origin (5 x 2.5 x 1.39 units). All functions need the side view's GL
// context to be current.

// Scale from bin indices to side-view units.
constexpr float kBinSpaceScale = 1.0f / 72.0f;

// Draws the grid and the bin cubes (from the display list in
// `engine.bins.displayList`, compiling it on first use) and the cross-hair
// of the current plane's bin. The bins and the plane list are read under the
// engine's stateMutex; when a plane-selection run holds it for longer than a
// moment nothing is compiled, the highlight stays where it was and the
// function returns false (the caller should try again a little later).
// Returns true when the frame shows the current state.
bool drawBinSpace(Sorvex& engine);

// Six outward-facing quads (inside a GL_QUADS batch) of the cube of bin
// (t, p, k): edge = strongest vote x stride, white while no vote was
// removed, otherwise the kind colour of the strongest removed vote. Nothing
// for a bin without votes.
void drawBin(BinSpace& bins, const Bin& bin, int t, int p, int k);

// Colour of feature kind `kind` (12 hues, taken modulo 12), made the current
// GL colour with the given alpha. Fills `bins.typeColours` on first use.
Vec3 typeColour(BinSpace& bins, int kind, float alpha);

// Deletes the compiled bin geometry, if any; the next draw compiles it anew.
void deleteBinDisplayList(BinSpace& bins);
