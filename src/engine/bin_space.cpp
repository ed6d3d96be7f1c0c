#include "engine/bin_space.h"

// Placeholder until the accumulator lands.
float planeDistance(const Vec3&, float, const Vec3&, float) { return 0.0f; }
BinSpace::BinSpace() {}
void BinSpace::planeToBin(const Vec3&, float, int& i, int& j, int& k) { i = j = k = 0; }
void BinSpace::planeToBinCoords(const Vec3&, float, float& t, float& p, float& k) { t = p = k = 0; }
void BinSpace::binCoordsToPlane(float, float, float, Vec3& n, float& d) { n = Vec3(); d = 0; }
void BinSpace::clearBins() {}
void BinSpace::addVote(int, int, int, int, int, float) {}
void BinSpace::removeFeatureVotes(const Bin&) {}
Bin BinSpace::maxBin() const { return Bin(); }
Bin BinSpace::binAt(int, int, int) const { return Bin(); }
Bin BinSpace::nearestNonEmptyBin(int, int, int, float& distance) const { distance = 0; return Bin(); }
QList<Bin*> BinSpace::nonEmptyBins() { return {}; }
bool BinSpace::isUnvotedBin(int, int, int) const { return false; }
