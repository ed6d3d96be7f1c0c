#pragma once

#include <cstddef>
#include <vector>

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

// The cubes of every voted bin (see drawBin), ready for drawing: each cube's
// lower corner and edge in bin indices, grouped by colour. Built from the
// bins once per run, load and toggle of "Draw Bin Space", then drawn each
// frame without reading the bins.
//
// A frame turns them into vertex arrays of the faces that face the eye. A
// cube narrower than kPointCubePixels on screen is drawn as a square point
// of its width in its colour, and of the cubes narrower than a pixel only
// the share that would cover a pixel's centre (their area in pixels), so
// that the hundreds of thousands of tiny cubes a run leaves cost at most one
// vertex each.
constexpr int kBinCubeUnits = 64;  // fixed-point steps per bin index
constexpr float kPointCubePixels = 3.5f;
struct BinCubes {
  // Colour classes: 0 white (live votes only), 1 + kind for the others.
  static constexpr int kClasses = 13;
  struct Cube {
    short corner[3];  // lower corner, fixed point
    short size;       // edge, fixed point (clamped to the range of short)
  };
  std::vector<Cube> cubes;         // class by class
  int classFirst[kClasses] = {};   // first cube of each class
  int classCount[kClasses] = {};   // cubes of each class
  Vec3 classColour[kClasses];
  bool built = false;
  size_t bytes() const;
  void clear();
};

// What the last frame drew: cubes as faces and as points.
struct BinFrameCounts {
  int faceCubes = 0, pointCubes = 0;
};

// Fills `cubes` from the voted bins (fills `bins.typeColours` on first use).
// The caller holds the engine's stateMutex while the bins may change.
void buildBinCubes(BinSpace& bins, BinCubes& cubes);

// Updates the bin space's highlight from the engine's current plane; the
// caller holds the engine's stateMutex.
void updateBinHighlight(Sorvex& engine);

// Draws the grid, the cubes and, when `highlight`, the cross-hair of bin
// `highlightIndex`. Reads nothing of the engine.
void drawBinSpace(const BinCubes& cubes, bool highlight, const int highlightIndex[3],
                  BinFrameCounts* counts = nullptr);

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
