#include "engine/bin_space.h"

#include <QDebug>
#include <cfloat>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegrees = 180.0 / kPi;

// Truncation toward zero of a finite value, kept inside the int range.
int truncToInt(double v) {
  if (v > 1.0e9) v = 1.0e9;
  if (v < -1.0e9) v = -1.0e9;
  return int(v);
}

// Truncation toward zero after snapping values within `tolerance` of a whole
// number onto it, so that a bin's own plane, whose angles come back from
// atan2/acos a few millionths of a degree off, maps to that bin again.
int truncSnapped(double v, double tolerance) {
  const double r = std::nearbyint(v);
  if (std::fabs(v - r) < tolerance) v = r;
  return truncToInt(v);
}

constexpr double kAngleSnap = 2.0e-3;   // degrees
constexpr double kOffsetSnap = 1.0e-4;  // hundredths of a model unit

// Floor division by the stride (also for negative indices).
int roundDownToStride(int v) {
  int q = v / BinSpace::kStride;
  if (v % BinSpace::kStride != 0 && v < 0) --q;
  return q * BinSpace::kStride;
}

bool planeIsUsable(const Vec3& n, float d) {
  if (!n.isFinite() || !std::isfinite(d)) return false;
  const float len = n.length();
  return len > 0.0f && std::isfinite(len);
}

// Angles of a usable normal in degrees: theta in [0, 360), phi in [0, 180].
void normalAngles(const Vec3& n, double& theta, double& phi) {
  theta = std::atan2(double(n.z), double(n.x)) * kDegrees;
  double c = double(n.y) / double(n.length());
  if (c > 1.0) c = 1.0;
  if (c < -1.0) c = -1.0;
  phi = std::acos(c) * kDegrees;
}

}  // namespace

BinSpace::BinSpace() : cells_(kCellCount) {
  // Every bin of a column (i, j) shares its normal: compute it once.
  for (int a = 0; a < kCellsTheta; ++a) {
    for (int b = 0; b < kCellsPhi; ++b) {
      Vec3 n;
      float d0;
      binPlane(a * kStride, b * kStride, 0, n, d0);
      Bin* column = &cells_[(a * kCellsPhi + b) * kCellsD];
      for (int c = 0; c < kCellsD; ++c) {
        column[c].normal = n;
        column[c].d = float(c * kStride) / 100.0f;
      }
    }
  }
}

bool BinSpace::planeToBin(const Vec3& n, float d, int& i, int& j, int& k) {
  if (!planeIsUsable(n, d)) {
    i = j = k = -1;
    return false;
  }
  double theta, phi;
  normalAngles(n, theta, phi);
  i = truncSnapped(theta, kAngleSnap);
  if (i < 0) i += kCountTheta;
  j = truncSnapped(phi, kAngleSnap);
  k = truncSnapped(d * 100.0f, kOffsetSnap);
  if (k < 0) {
    i = (i + kCountTheta / 2) % kCountTheta;
    j = kCountPhi - j;
    k = -k;
  }
  return inRange(i, j, k);
}

bool BinSpace::planeToBinCoords(const Vec3& n, float d, float& theta, float& phi, float& k) {
  if (!planeIsUsable(n, d)) {
    theta = phi = k = 0.0f;
    return false;
  }
  double t, p;
  normalAngles(n, t, p);
  theta = float(t);
  if (theta < 0.0f) theta += 360.0f;
  phi = float(p);
  k = d * 100.0f;
  if (k < 0.0f) {
    theta += 180.0f;
    if (theta >= 360.0f) theta -= 360.0f;
    phi = 180.0f - phi;
    k = -k;
  }
  return true;
}

void BinSpace::binCoordsToPlane(float theta, float phi, float k, Vec3& n, float& d) {
  if (!std::isfinite(theta) || !std::isfinite(phi) || !std::isfinite(k)) {
    n = Vec3();
    d = 0.0f;
    return;
  }
  const double t = double(theta) / kDegrees;
  const double p = double(phi) / kDegrees;
  double x = std::cos(t) * std::sin(p), y = std::cos(p), z = std::sin(t) * std::sin(p);
  const double len = std::sqrt(x * x + y * y + z * z);  // 1 up to rounding
  n = Vec3(float(x / len), float(y / len), float(z / len));
  d = k / 100.0f;
}

void BinSpace::binPlane(int i, int j, int k, Vec3& n, float& d) {
  binCoordsToPlane(float(i), float(j), 0.0f, n, d);
  d = float(k) / 100.0f;
}

void BinSpace::clearBins() {
  for (Bin& bin : cells_) {
    if (!bin.votes.isEmpty()) bin.votes = QVector<Vote>();
    if (!bin.removedVotes.isEmpty()) bin.removedVotes = QVector<Vote>();
    bin.total = 0.0f;
  }
  featureCells_.clear();
}

bool BinSpace::addVoteOnce(Bin& bin, int featureIndex, int featureType, float weight, bool firstPass) {
  if (firstPass) {
    if (!bin.votes.isEmpty() && bin.votes.back().featureIndex == featureIndex) return false;
  } else {
    // Recent votes are the likely duplicates: search from the back.
    for (int v = bin.votes.size() - 1; v >= 0; --v) {
      if (bin.votes[v].featureIndex == featureIndex) return false;
    }
  }
  Vote vote;
  vote.featureIndex = featureIndex;
  vote.featureType = featureType;
  vote.weight = weight;
  bin.votes.append(vote);
  bin.total += weight;
  return true;
}

void BinSpace::addVoteToCell(int c, int featureIndex, int featureType, float weight, std::vector<int>& touched,
                             bool firstPass) {
  if (!addVoteOnce(cells_[c], featureIndex, featureType, weight, firstPass)) return;
  touched.push_back(c);
  // At d = 0 the bins (theta, phi) and (theta + 180, 180 - phi) are one plane.
  const int kc = c % kCellsD;
  const int b = (c / kCellsD) % kCellsPhi;
  if (kc != 0 || b < 1) return;
  const int a = c / (kCellsD * kCellsPhi);
  const int twin = (((a + kCellsTheta / 2) % kCellsTheta) * kCellsPhi + (kCellsPhi - b)) * kCellsD;
  if (addVoteOnce(cells_[twin], featureIndex, featureType, weight, firstPass)) touched.push_back(twin);
}

void BinSpace::recordFeatureCells(int featureIndex, const std::vector<int>& cells) {
  if (cells.empty()) return;
  std::vector<int>& list = featureCells_[featureIndex];
  list.insert(list.end(), cells.begin(), cells.end());
}

void BinSpace::addVote(int i, int j, int k, int featureIndex, int featureType, float weight) {
  if (!inRange(i, j, k) || !onLattice(i, j, k) || !std::isfinite(weight)) return;
  std::vector<int>& list = featureCells_[featureIndex];
  addVoteToCell(cellIndex(i, j, k), featureIndex, featureType, weight, list);
}

void BinSpace::removeFeatureFromCell(Bin& bin, int featureIndex) {
  for (int v = 0; v < bin.votes.size(); ++v) {
    if (bin.votes[v].featureIndex != featureIndex) continue;
    const Vote vote = bin.votes[v];
    bin.total -= vote.weight;
    bin.votes.remove(v);
    bin.removedVotes.append(vote);
    if (bin.votes.isEmpty()) bin.total = 0.0f;
    return;
  }
}

void BinSpace::removeFeatureVotes(const Bin& bin) {
  // Each cell sees the removals in the order of bin's votes, exactly as a
  // scan of every cell would do them; cells the features never reached are
  // unaffected either way.
  const QVector<Vote> covered = bin.votes;  // bin may be one of our own cells
  for (const Vote& v : covered) {
    auto it = featureCells_.find(v.featureIndex);
    if (it == featureCells_.end()) continue;
    const std::vector<int> cells = std::move(it->second);
    featureCells_.erase(it);
    for (int c : cells) removeFeatureFromCell(cells_[c], v.featureIndex);
  }
}

Bin BinSpace::maxBin() const {
  int i, j, k;
  return maxBin(i, j, k);
}

Bin BinSpace::maxBin(int& i, int& j, int& k) const {
  float best = -FLT_MAX;
  int bestCell = 0;
  for (int c = 0; c < kCellCount; ++c) {
    if (cells_[c].total > best) {
      best = cells_[c].total;
      bestCell = c;
    }
  }
  cellIndices(bestCell, i, j, k);
  const Bin& bin = cells_[bestCell];
  qDebug("Max totalvalue bin selected at %i,%i,%i (%f,%f,%f,%f) with value %f", i, j, k, double(bin.normal.x),
         double(bin.normal.y), double(bin.normal.z), double(bin.d), double(bin.total));
  return bin;
}

Bin BinSpace::binAt(int i, int j, int k) const {
  i = roundDownToStride(i);
  j = roundDownToStride(j);
  k = roundDownToStride(k);
  if (inRange(i, j, k)) return cells_[cellIndex(i, j, k)];
  Bin empty;
  binPlane(i, j, k, empty.normal, empty.d);
  return empty;
}

Bin BinSpace::nearestNonEmptyBin(int i, int j, int k, float& distance) const {
  Vec3 n;
  float d;
  binPlane(i, j, k, n, d);
  float best = FLT_MAX;
  int bestCell = -1;
  for (int c = 0; c < kCellCount; ++c) {
    const Bin& bin = cells_[c];
    if (bin.votes.isEmpty()) continue;
    const float dist = planeDistance(n, d, bin.normal, bin.d);
    if (dist < best) {
      best = dist;
      bestCell = c;
    }
  }
  distance = best;
  return cells_[bestCell < 0 ? 0 : bestCell];
}

QList<Bin*> BinSpace::nonEmptyBins() {
  QList<Bin*> list;
  for (Bin& bin : cells_) {
    if (!bin.votes.isEmpty()) list.append(&bin);
  }
  return list;
}

bool BinSpace::isUnvotedBin(int i, int j, int k) const {
  if (!inRange(i, j, k)) return false;
  if (!onLattice(i, j, k)) return true;  // never written
  const Bin& bin = cells_[cellIndex(i, j, k)];
  return bin.votes.isEmpty() && bin.removedVotes.isEmpty();
}

size_t BinSpace::memoryBytes() const {
  size_t bytes = sizeof(BinSpace) + cells_.capacity() * sizeof(Bin);
  for (const Bin& bin : cells_) {
    if (bin.votes.capacity() > 0) bytes += sizeof(QArrayData) + size_t(bin.votes.capacity()) * sizeof(Vote);
    if (bin.removedVotes.capacity() > 0)
      bytes += sizeof(QArrayData) + size_t(bin.removedVotes.capacity()) * sizeof(Vote);
  }
  for (const auto& entry : featureCells_) bytes += sizeof(entry) + entry.second.capacity() * sizeof(int);
  return bytes;
}
