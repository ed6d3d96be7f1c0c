#pragma once

#include <QList>
#include <QVector>
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

// Closeness of two planes: min(angle(na, nb) * 2/pi + |da - db|,
// angle(na, -nb) * 2/pi + |da + db|). 90 degrees counts like an offset of 1.
float planeDistance(const Vec3& na, float da, const Vec3& nb, float db);

// Accumulator over plane parameters: theta = atan2(n.z, n.x) in whole
// degrees (0..359), phi = acos(n.y) in whole degrees (0..179) and d = k/100
// (k = 0..99). Only indices divisible by `stride` (2) are ever visited.
class BinSpace {
 public:
  static constexpr int kCountTheta = 360;
  static constexpr int kCountPhi = 180;
  static constexpr int kCountD = 100;
  static constexpr int kStride = 2;

  BinSpace();

  // Plane -> integer bin indices (truncated toward zero; negative d flips
  // the plane). No range check: use inRange before indexing.
  static void planeToBin(const Vec3& n, float d, int& i, int& j, int& k);
  static void planeToBinCoords(const Vec3& n, float d, float& theta, float& phi, float& k);
  static void binCoordsToPlane(float theta, float phi, float k, Vec3& n, float& d);
  static bool inRange(int i, int j, int k) {
    return i >= 0 && i < kCountTheta && j >= 0 && j < kCountPhi && k >= 0 && k < kCountD;
  }

  void clearBins();
  void addVote(int i, int j, int k, int featureIndex, int featureType, float weight);
  void removeFeatureVotes(const Bin& bin);
  Bin maxBin() const;
  Bin binAt(int i, int j, int k) const;
  Bin nearestNonEmptyBin(int i, int j, int k, float& distance) const;
  QList<Bin*> nonEmptyBins();
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

  int displayList = 0;
  int countTheta = kCountTheta, countPhi = kCountPhi, countD = kCountD;
  QVector<Vec3> typeColours;
  bool highlight = false;
  int highlightIndex[3] = {0, 0, 0};

 private:
  float binSelectThreshold_ = 1.0f;
};
