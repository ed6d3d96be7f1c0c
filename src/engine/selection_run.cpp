#include <QDebug>
#include <QSet>
#include <algorithm>
#include <limits>

#include "engine/sorvex.h"

namespace {

bool hasVoteOfType(const Bin& bin, std::initializer_list<int> types) {
  for (const Vote& v : bin.votes)
    for (int t : types)
      if (v.featureType == t) return true;
  return false;
}

// Upper bound on accepted or discarded bins in one run. Every pass removes the
// winning bin's votes, so a run ends long before this; the cap only guards
// against a bin space that never empties (e.g. NaN totals).
constexpr int kMaxSelectionSteps = 100000;

}  // namespace

void Sorvex::run() { runSelection(); }

void Sorvex::coveredSegments(const SectionPlane& plane, QSet<int>& segments) const {
  for (const SectionSegment& s : plane.segments)
    if (s.face >= 0 && s.face < faceSegment.size()) segments.insert(faceSegment[s.face]);
}

void Sorvex::localSearch(SectionPlane& plane, float step, float minStep) {
  // The run's planes cut every mesh segment; in segmentation mode each
  // segment's contours are closed on their own and their areas summed.
  plane.segmentIndex = kEverySegment;
  int bi = 0, bj = 0, bk = 0;
  BinSpace::planeToBin(plane.normal, plane.d, bi, bj, bk);
  float theta = float(bi), phi = float(bj), k = float(bk);
  // Candidates need their area only; the slab is made for the plane kept.
  CutPlane best = plane.head();
  SectionPlane candidate;
  candidate.segmentIndex = kEverySegment;
  while (step > minStep) {
    float bestArea = -std::numeric_limits<float>::max();
    float bestTheta = theta, bestPhi = phi, bestK = k;
    bool found = false;
    for (int c = -1; c <= 1; ++c) {
      for (int b = -1; b <= 1; ++b) {
        for (int a = -1; a <= 1; ++a) {
          BinSpace::binCoordsToPlane(theta + a * step, phi + b * step, k + c * step, candidate.normal, candidate.d);
          normalizePlane(candidate);
          computeSegments(candidate);
          chainContours(candidate);
          if (candidate.area > bestArea) {
            bestArea = candidate.area;
            found = true;
            best = candidate.head();
          }
        }
      }
    }
    if (found) {
      BinSpace::planeToBinCoords(best.normal, best.d, bestTheta, bestPhi, bestK);
      theta = bestTheta, phi = bestPhi, k = bestK;
    }
    step *= 0.5f;
  }
  SectionPlane kept(best);
  kept.segmentIndex = kEverySegment;
  updateSection(kept);
  plane = kept;
}

void Sorvex::runSelection() {
  {
    std::lock_guard<StateLock> lock(stateMutex);
    clearPlanes();
    selectedBins.clear();
    bins.clearBins();
  }
  {
    // Features and votes change wholesale here; readers wait or skip a frame.
    std::lock_guard<StateLock> lock(stateMutex);
    buildFeatures();
    populateBins();
  }

  int in = 0, out = 0;
  for (const QList<HumanCut>& user : humanCuts) {
    for (const HumanCut& cut : user) {
      int i = 0, j = 0, k = 0;
      BinSpace::planeToBin(cut.normal, cut.d, i, j, k);
      if (bins.isUnvotedBin(i, j, k))
        ++out;
      else
        ++in;
    }
  }
  qDebug("Human authored planes in feature volume: %i out: %i off mesh: %i total: %i", in, out, 0, in + out);

  const int stride = bins.stride();
  for (int steps = 0; steps < kMaxSelectionSteps; ++steps) {
    Bin B;
    {
      std::lock_guard<StateLock> lock(stateMutex);
      B = bins.maxBin();
    }
    SectionPlane P;
    P.normal = B.normal;
    P.d = B.d;
    normalizePlane(P);
    updateSection(P);

    float step = 0.5f * stride;
    if (hasVoteOfType(
            B, {FeatureSymmetryPlanes, FeatureSymmetryAxes, FeaturePerpendicularSupport, FeatureSymmetricSupport}))
      step = 0.25f * stride;
    qDebug("Doing local search...");
    localSearch(P, step, 0.5f * stride * 0.03125f);
    qDebug("Done.");

    bool accept = B.total >= bins.binSelectThreshold() - 0.00001f;
    if (!accept) {
      if (!coverAllSegments) break;
      QSet<int> covered;
      for (const SectionPlane& Q : planes) coveredSegments(Q, covered);
      if (covered.size() == segmentCount || !(B.total > 0.0f)) break;
      const int before = covered.size();
      coveredSegments(P, covered);
      if (covered.size() > before || hasVoteOfType(B, {FeatureSymmetricSupport})) {
        qDebug("It covers one or more new segments, using anyway!!");
        accept = true;
      } else {
        std::lock_guard<StateLock> lock(stateMutex);
        bins.removeFeatureVotes(B);
        qDebug("Throwing away.");
        continue;
      }
    }

    int planeCount = 0;
    {
      std::lock_guard<StateLock> lock(stateMutex);
      addPlane(P);
      selectedBins.append(B);
      bins.removeFeatureVotes(B);
      addPerpendicularSupport(P, B);
      addSymmetricSupport(P, B);
      planeCount = planes.size();
    }
    emit percentComplete(std::min(750 + 25 * planeCount, 990));
  }

  {
    std::lock_guard<StateLock> lock(stateMutex);
    currentPlane = kNoPlane;
  }
  emit percentComplete(1000);
  emit algoFinished();
}
