#pragma once

#include <QList>
#include <QVector>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "engine/vec3.h"

// One vote of a feature into a bin.
struct Vote {
  int featureIndex = 0;  // position in the engine's feature list
  int featureType = 0;   // FeatureType
  float weight = 0.0f;
};

// One cell of the accumulator: the plane { x : normal . x = d } and its votes.
struct Bin {
  QVector<Vote> votes;
  QVector<Vote> removedVotes;
  float total = 0.0f;
  Vec3 normal;
  float d = 0.0f;
};

// Angle in units of 90 degrees (0 .. 2) from the sine and cosine parts of a
// pair of directions (|a x b| and a . b). atan2 keeps it exact for parallel
// normals, where the arc cosine of a rounded dot product of unit vectors is
// already 0.0002 off (and NaN past 1). A zero direction counts as 90 degrees,
// as the arc cosine of a zero dot product would.
inline float angleUnits(float sine, float cosine) {
  if (sine == 0.0f && cosine == 0.0f) return 1.0f;
  return std::atan2(sine, cosine) * 0.63661977f;  // 2 / pi
}

// Angle between the directions a and b in units of 90 degrees.
inline float angleUnits(const Vec3& a, const Vec3& b) { return angleUnits(a.cross(b).length(), a.dot(b)); }

// Closeness of two planes with unit normals: min(angle(na, nb) * 2/pi +
// |da - db|, angle(-na, nb) * 2/pi + |da + db|). 90 degrees counts like an
// offset of 1; the second term treats (-n, -d) as the same plane as (n, d).
// NaN in any input gives NaN (which fails every "closer than" test).
inline float planeDistance(const Vec3& na, float da, const Vec3& nb, float db) {
  const float sine = na.cross(nb).length();
  const float cosine = na.dot(nb);
  const float same = angleUnits(sine, cosine) + std::fabs(da - db);
  const float flipped = angleUnits(sine, -cosine) + std::fabs(da + db);
  if (std::isnan(same) || std::isnan(flipped)) return NAN;
  return flipped < same ? flipped : same;
}

// Accumulator over plane parameters: theta = atan2(n.z, n.x) in whole
// degrees (0..359), phi = acos(n.y) in whole degrees (0..179) and d = k/100
// (k = 0..99). Only indices divisible by `stride` (2) are ever visited or
// written, so only that lattice (180 x 90 x 50 cells, contiguous in scan
// order: theta outer, then phi, then d) is stored. Every other in-range index
// behaves as a bin that never receives a vote, with the fixed normal and
// offset of its indices.
//
// Besides the cells, the space keeps for every feature the cells it voted
// into, so that removing a feature's votes touches only those cells.
class BinSpace {
 public:
  static constexpr int kCountTheta = 360;
  static constexpr int kCountPhi = 180;
  static constexpr int kCountD = 100;
  static constexpr int kStride = 2;
  // The stored lattice.
  static constexpr int kCellsTheta = kCountTheta / kStride;  // 180
  static constexpr int kCellsPhi = kCountPhi / kStride;      // 90
  static constexpr int kCellsD = kCountD / kStride;          // 50
  static constexpr int kCellCount = kCellsTheta * kCellsPhi * kCellsD;

  BinSpace();

  // Plane -> integer bin indices (truncated toward zero; negative d flips
  // the plane to (-n, -d)). No range check on the result: d >= 1 gives
  // k >= 100 and the normal (0, -1, 0) gives j = 180; use inRange before
  // indexing. A zero or non-finite normal, or a non-finite d, gives
  // (-1, -1, -1) and false. Returns whether the result is in range.
  static bool planeToBin(const Vec3& n, float d, int& i, int& j, int& k);
  // The same without truncation: fractional (theta degrees, phi degrees,
  // d * 100). Returns false (and zeros) for a zero or non-finite plane.
  static bool planeToBinCoords(const Vec3& n, float d, float& theta, float& phi, float& k);
  // Fractional bin coordinates -> unit normal and offset k / 100. Non-finite
  // coordinates give the zero normal and d = 0.
  static void binCoordsToPlane(float theta, float phi, float k, Vec3& n, float& d);
  static bool inRange(int i, int j, int k) {
    return i >= 0 && i < kCountTheta && j >= 0 && j < kCountPhi && k >= 0 && k < kCountD;
  }
  static bool onLattice(int i, int j, int k) { return i % kStride == 0 && j % kStride == 0 && k % kStride == 0; }

  // Empties votes and removed votes of every bin and sets totals to 0.
  void clearBins();
  // Adds the vote unless the bin already holds a vote of that feature; at
  // d = 0 the twin bin (i + 180, 180 - j, 0) gets it too. Indices out of
  // range or off the lattice and non-finite weights are ignored.
  void addVote(int i, int j, int k, int featureIndex, int featureType, float weight);
  // Moves, in every bin, the vote of each feature that votes in `bin` to
  // that bin's removedVotes (bin's vote order). Costs in proportion to the
  // votes those features cast.
  void removeFeatureVotes(const Bin& bin);
  // Copy of the bin with the largest total (first in scan order on ties;
  // bin (0, 0, 0) when every total is 0). Logs the choice.
  Bin maxBin() const;
  Bin maxBin(int& i, int& j, int& k) const;
  // Copy of the bin at the indices rounded down to the stride. Out of range:
  // an empty bin with the plane of those indices.
  Bin binAt(int i, int j, int k) const;
  // Copy of the voted bin whose plane is nearest to the plane of bin
  // (i, j, k) (any indices; the plane is computed from them), and that
  // distance. With no voted bin: bin (0, 0, 0) and the largest float.
  Bin nearestNonEmptyBin(int i, int j, int k, float& distance) const;
  // Every bin with at least one vote, in scan order. NOTE: add or remove
  // votes only through this class, never through these pointers.
  QList<Bin*> nonEmptyBins();
  // True for an in-range bin that never held a vote (off-lattice bins never
  // do); false out of range.
  bool isUnvotedBin(int i, int j, int k) const;

  float binSelectThreshold() const { return binSelectThreshold_; }
  void setBinSelectThreshold(float t) { binSelectThreshold_ = t; }
  int stride() const { return kStride; }
  void setHighlight(bool on) { highlight = on; }
  void setHighlightIndex(int i, int j, int k) {
    highlightIndex[0] = i;
    highlightIndex[1] = j;
    highlightIndex[2] = k;
  }

  // ---- lattice access (vote kernels, drawing) ----
  // Position of lattice bin (i, j, k) in scan order; indices must be in range
  // and on the lattice.
  static int cellIndex(int i, int j, int k) {
    return ((i / kStride) * kCellsPhi + j / kStride) * kCellsD + k / kStride;
  }
  static void cellIndices(int cell, int& i, int& j, int& k) {
    k = (cell % kCellsD) * kStride;
    j = ((cell / kCellsD) % kCellsPhi) * kStride;
    i = (cell / (kCellsD * kCellsPhi)) * kStride;
  }
  const Bin& cell(int c) const { return cells_[c]; }
  // Reference to the lattice bin (i, j, k): in range and on the lattice only.
  const Bin& latticeBin(int i, int j, int k) const { return cells_[cellIndex(i, j, k)]; }
  // The fixed plane of bin (i, j, k), for any indices.
  static void binPlane(int i, int j, int k, Vec3& n, float& d);

  // Vote into lattice cell `c` (and its d = 0 twin) without recording the
  // feature's cells; every cell that received the vote is appended to
  // `touched`. Safe from several threads as long as no two threads touch the
  // same cell or twin pair. The caller hands `touched` to recordFeatureCells.
  // A feature votes at most once per cell. With `firstPass` the caller vouches
  // that this feature has no vote anywhere yet and that it casts all of its
  // votes into a cell before any other feature votes there, so an earlier vote
  // of it can only be the cell's last one: O(1) instead of a scan of the cell.
  void addVoteToCell(int c, int featureIndex, int featureType, float weight, std::vector<int>& touched,
                     bool firstPass = false);
  void recordFeatureCells(int featureIndex, const std::vector<int>& cells);
  // Whether the feature has recorded votes (cells) in the space.
  bool hasFeatureCells(int featureIndex) const { return featureCells_.count(featureIndex) != 0; }

  // Bytes held by the space (cells, vote lists, feature cell lists).
  size_t memoryBytes() const;

  int displayList = 0;
  int countTheta = kCountTheta, countPhi = kCountPhi, countD = kCountD;
  QVector<Vec3> typeColours;
  bool highlight = false;
  int highlightIndex[3] = {0, 0, 0};

 private:
  bool addVoteOnce(Bin& bin, int featureIndex, int featureType, float weight, bool firstPass);
  void removeFeatureFromCell(Bin& bin, int featureIndex);

  std::vector<Bin> cells_;
  // Cells each feature voted into (may list cells whose vote has moved on).
  std::unordered_map<int, std::vector<int>> featureCells_;
  float binSelectThreshold_ = 1.0f;
};
