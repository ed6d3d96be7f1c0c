#include <QDebug>
#include <QSet>
#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "engine/sorvex.h"
#include "engine/coverage.h"
#include "engine/coverage_baselines.h"
#include "model/render_mesh.h"

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

// Share of the surface samples a plane must cover anew to be accepted under
// the count rule: 0.5 %, 100 of 20,000 samples, so that a plane repeating
// an accepted one a little shifted or tilted is skipped.
constexpr double kLeastNewCoverage = 0.005;

// When the planes taken cover all but fewer samples than that (a thin or
// small model two or three slabs cover whole), or, short of the count,
// nothing left adds that many, "adds coverage" is judged at half the
// distance and with half that share, at most this many times: down to 1/16
// of the near coverage distance (CoverageTally).
constexpr int kMaxCoverageHalvings = 4;

// A model whose segmentation or symmetry was computed rather than read has
// few features that vote, and its strongest bins often fall below the
// threshold early. There the threshold rule keeps taking planes by count up
// to this many, and the run ends with at least the coverage of the model's
// three principal planes.
constexpr int kLeastPlanesWithoutCompanions = 3;
// A section of more edges than this counts as crowded (see the coverage
// top-up at the end of a run). Sections of real scans of millions of faces
// cut a few thousand edges; a plane through a fan of 65,536 triangles cuts
// all of them.
constexpr int kCrowdedSectionSegments = 20000;

// What ended a run, as the batch summary and the debug log name it.
const char* const kStopBelowThreshold = "below threshold";
const char* const kStopPlaneCount = "plane count reached";
const char* const kStopNoVotes = "no bin with votes left";
const char* const kStopSegmentsCovered = "every segment covered";
const char* const kStopByUser = "stopped";
const char* const kStopStepLimit = "step limit";

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
  while (step > minStep && !stopRequested()) {
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

void Sorvex::startRun(QThread::Priority priority) {
  if (isRunning()) return;
  stopRequested_.store(false);
  start(priority);
}

void Sorvex::requestStop() {
  if (isRunning()) stopRequested_.store(true);
}

bool Sorvex::stopRequested() const { return runOwner_ ? runOwner_->stopRequested_.load() : stopRequested_.load(); }

void Sorvex::copyRunInputs(const Sorvex& source) {
  if (source.renderMesh) *renderMesh = *source.renderMesh;
  triMesh = source.triMesh;
  modelPath = source.modelPath;
  segmentCount = source.segmentCount;
  faceSegment = source.faceSegment;
  useSegmentation = source.useSegmentation;
  hermiteInterp = source.hermiteInterp;
  hermiteTanFactor = source.hermiteTanFactor;
  curvatureSmooth = source.curvatureSmooth;
  curvatureThreshold = source.curvatureThreshold;
  symmetryPlanes = source.symmetryPlanes;
  symmetryAxes = source.symmetryAxes;
  companions = source.companions;
  humanCuts = source.humanCuts;
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    featureWeight[t] = source.featureWeight[t];
    featureRadius[t] = source.featureRadius[t];
    featureEnabled[t] = source.featureEnabled[t];
  }
  coverAllSegments = source.coverAllSegments;
  targetPlaneCount = source.targetPlaneCount;
  plainVoting = source.plainVoting;
  plainSplitting = source.plainSplitting;
  bins.setBinSelectThreshold(source.bins.binSelectThreshold());
}

void Sorvex::publishRunState(Sorvex& target) const {
  target.segmentPlanes = segmentPlanes;
  target.segmentAxes = segmentAxes;
  target.ridgeAxes = ridgeAxes;
  target.ridgePieces = ridgePieces;
  target.ridgeNormals = ridgeNormals;
  target.valleyAxes = valleyAxes;
  target.valleyPieces = valleyPieces;
  target.valleyNormals = valleyNormals;
  target.globalXYZPlanes = globalXYZPlanes;
  target.globalPCAPlanes = globalPCAPlanes;
  target.perpendicularSupportPlanes = perpendicularSupportPlanes;
  target.symmetricSupportPlanes = symmetricSupportPlanes;
  target.features = features;
  // The planes the run keeps from before it come first.
  target.planes = target.runKeptPlanes_;
  target.planes.append(planes);
  target.selectedBins = selectedBins;
  target.selectedPlanes = selectedPlanes;
  target.currentPlane = currentPlane;
  target.runStopRule = runStopRule;
}

namespace {

// Swaps the votes of two bin spaces, leaving each its own drawing state and
// threshold.
void swapVotes(BinSpace& a, BinSpace& b) {
  const float ta = a.binSelectThreshold(), tb = b.binSelectThreshold();
  std::swap(a, b);
  a.setBinSelectThreshold(ta);
  b.setBinSelectThreshold(tb);
  std::swap(a.displayList, b.displayList);
  std::swap(a.typeColours, b.typeColours);
  std::swap(a.highlight, b.highlight);
  std::swap(a.highlightIndex, b.highlightIndex);
}

}  // namespace

void Sorvex::runSelection() {
  // Everything the run computes lives in `work` until it is published; the
  // run reads this engine only here, under the lock.
  std::unique_ptr<Sorvex> work(new Sorvex(nullptr));
  work->runOwner_ = this;
  connect(work.get(), &Sorvex::percentComplete, this, &Sorvex::percentComplete, Qt::DirectConnection);
  std::unique_ptr<BinSpace> cleared(new BinSpace);
  {
    std::lock_guard<StateLock> lock(stateMutex);
    work->copyRunInputs(*this);
    runKeptPlanes_.clear();
    if (keepPlanesOnRun) runKeptPlanes_ = planes;
    clearPlanes();
    selectedBins.clear();
    selectedPlanes.clear();
    features.clear();
    swapVotes(bins, *cleared);
  }
  cleared.reset();  // the old votes are released outside the lock

  const auto finish = [&](bool publish) {
    {
      std::lock_guard<StateLock> lock(stateMutex);
      if (publish) {
        work->currentPlane = kNoPlane;
        work->publishRunState(*this);
        swapVotes(bins, work->bins);
      } else {
        planes = runKeptPlanes_;
        runStopRule = QLatin1String(kStopByUser);
      }
      runKeptPlanes_.clear();
      currentPlane = kNoPlane;
      // Last write of the run under the lock, so that whoever takes it next
      // (or destroys the engine) sees the run complete.
      stopRequested_.store(false);
    }
    work.reset();  // outside the lock: the previous votes go with it
    emit percentComplete(1000);
    emit algoFinished();
  };

  work->buildFeatures();
  if (stopRequested()) return finish(false);
  {
    std::lock_guard<StateLock> lock(stateMutex);
    work->publishRunState(*this);
  }
  work->populateBins();
  // Votes cut short are not published: the space would hold some features'
  // votes and not others.
  if (stopRequested()) {
    work->runStopRule = QLatin1String(kStopByUser);
    return finish(!work->votingStopped_);
  }

  int in = 0, out = 0;
  for (const QList<HumanCut>& user : work->humanCuts) {
    for (const HumanCut& cut : user) {
      int i = 0, j = 0, k = 0;
      BinSpace::planeToBin(cut.normal, cut.d, i, j, k);
      if (work->bins.isUnvotedBin(i, j, k))
        ++out;
      else
        ++in;
    }
  }
  qDebug("Human authored planes in feature volume: %i out: %i off mesh: %i total: %i", in, out, 0, in + out);

  BinSpace& runBins = work->bins;
  const int stride = runBins.stride();
  int target = work->targetPlaneCount;
  const bool countAsked = target > 0;
  const bool withoutCompanions = work->companions.segmentation == CompanionSource::Computed ||
                                 work->companions.symmetry == CompanionSource::Computed;
  const char* stopRule = kStopStepLimit;
  // The count rule skips planes that add no coverage: too few surface
  // samples within the tally's distance of their slab (the near coverage
  // distance, halved once that saturates) that no plane accepted before
  // comes as close to.
  QVector<Vec3> samples;
  std::unique_ptr<CoverageTally> tally;
  double near = 0.0, far = 0.0;
  const auto cover = [&](const SlabReach& reach) {
    const int halvings = tally->halvings();
    tally->cover(reach);
    if (tally->halvings() > halvings)
      qDebug("The planes cover all but %d samples within %.5f: coverage is now judged within %.5f.",
             tally->sampleCount() - tally->coveredWithin(2.0 * tally->tolerance()), 2.0 * tally->tolerance(),
             tally->tolerance());
  };
  // The samples, made once, with what the planes accepted so far cover.
  const auto startCoverage = [&]() {
    if (tally || !work->renderMesh) return;
    samples = sampleSurface(*work->renderMesh, kCoverageSamples, kCoverageSeed);
    coverageDistances(*work->renderMesh, near, far);
    tally.reset(new CoverageTally(samples.size(), near, int(std::ceil(kLeastNewCoverage * samples.size())),
                                  kMaxCoverageHalvings));
    for (const SectionPlane& Q : qAsConst(work->planes)) cover(slabReach(samples, Q.triangles, near));
  };
  if (target > 0) startCoverage();
  struct Aside {
    SectionPlane plane;
    Bin bin;
    SlabReach reach;
  };
  std::vector<Aside> asideForCount;
  // Accepts P, won by bin B. The support features come from B's votes as
  // they were when it won; a plane taken after the votes ran out adds none.
  const auto acceptPlane = [&](const SectionPlane& P, const Bin& B, bool withVotes) {
    work->addPlane(P);
    work->selectedBins.append(B);
    work->selectedPlanes.append(P.head());
    if (withVotes) {
      runBins.removeFeatureVotes(B);
      work->addPerpendicularSupport(P, B);
      work->addSymmetricSupport(P, B);
    }
    const int planeCount = work->planes.size();
    {
      std::lock_guard<StateLock> lock(stateMutex);
      work->publishRunState(*this);
    }
    emit percentComplete(std::min(750 + 25 * planeCount, 990));
  };
  for (int steps = 0; steps < kMaxSelectionSteps; ++steps) {
    if (stopRequested()) {
      stopRule = kStopByUser;
      break;
    }
    if (target > 0 && work->planes.size() >= target) {
      stopRule = kStopPlaneCount;
      break;
    }
    const Bin B = runBins.maxBin();
    if (target > 0 && !(B.total > 0.0f)) {
      stopRule = kStopNoVotes;
      break;
    }
    SectionPlane P;
    P.normal = B.normal;
    P.d = B.d;
    normalizePlane(P);
    // The local search sections its candidates and the plane it keeps.

    float step = 0.5f * stride;
    if (hasVoteOfType(
            B, {FeatureSymmetryPlanes, FeatureSymmetryAxes, FeaturePerpendicularSupport, FeatureSymmetricSupport}))
      step = 0.25f * stride;
    qDebug("Doing local search...");
    work->localSearch(P, step, 0.5f * stride * 0.03125f);
    qDebug("Done.");
    if (stopRequested()) {  // the search may have been cut short
      stopRule = kStopByUser;
      break;
    }

    if (target == 0 && withoutCompanions && work->planes.size() < kLeastPlanesWithoutCompanions &&
        B.total < runBins.binSelectThreshold() - 0.00001f) {
      qDebug("Below the threshold with %d planes; without companion files the run takes planes by count up to %d.",
             int(work->planes.size()), kLeastPlanesWithoutCompanions);
      target = kLeastPlanesWithoutCompanions;
      startCoverage();
    }
    bool accept = target > 0 || B.total >= runBins.binSelectThreshold() - 0.00001f;
    if (!accept) {
      stopRule = kStopBelowThreshold;
      if (!work->coverAllSegments) break;
      QSet<int> covered;
      for (const SectionPlane& Q : qAsConst(work->planes)) work->coveredSegments(Q, covered);
      if (covered.size() == work->segmentCount) stopRule = kStopSegmentsCovered;
      if (covered.size() == work->segmentCount || !(B.total > 0.0f)) break;
      const int before = covered.size();
      work->coveredSegments(P, covered);
      if (covered.size() > before || hasVoteOfType(B, {FeatureSymmetricSupport})) {
        qDebug("It covers one or more new segments, using anyway!!");
        accept = true;
      } else {
        runBins.removeFeatureVotes(B);
        qDebug("Throwing away.");
        continue;
      }
    }
    // A plane whose section encloses nothing has no slab to show.
    if (!(P.area > 0.0f)) {
      runBins.removeFeatureVotes(B);
      qDebug("Throwing away: the section encloses no area.");
      continue;
    }
    if (target > 0 && !samples.isEmpty()) {
      SlabReach reach = slabReach(samples, P.triangles, near);
      const int added = tally->added(reach);
      if (added < tally->leastNew()) {
        runBins.removeFeatureVotes(B);
        qDebug("Putting aside: the slab adds little coverage (%d new samples of %d).", added, int(samples.size()));
        // What it adds may grow once coverage is judged at a finer distance.
        if (!reach.isEmpty()) asideForCount.push_back(Aside{P, B, std::move(reach)});
        continue;
      }
      cover(reach);
    }
    acceptPlane(P, B, true);
  }
  // Votes ran out before the count: the planes put aside for adding little
  // coverage make it up, the one adding most first. A plane that adds none
  // is never taken.
  if (target > 0 && stopRule == kStopNoVotes && tally) {
    while (work->planes.size() < target && !asideForCount.empty() && !stopRequested()) {
      size_t best = 0;
      int bestAdded = -1;
      for (size_t a = 0; a < asideForCount.size(); ++a) {
        const int added = tally->added(asideForCount[a].reach);
        if (added > bestAdded) bestAdded = added, best = a;
      }
      if (bestAdded <= 0) break;
      Aside taken = std::move(asideForCount[best]);
      asideForCount.erase(asideForCount.begin() + long(best));
      qDebug("Taking a plane put aside: it adds %d new samples of %d.", bestAdded, int(samples.size()));
      cover(taken.reach);
      acceptPlane(taken.plane, taken.bin, false);
    }
    if (work->planes.size() >= target) stopRule = kStopPlaneCount;
  }
  // Still short of the count, or (without companion files, by threshold) of
  // the principal planes' coverage: the principal planes and then the axis
  // planes at several offsets, the one adding most coverage first. A plane
  // adding less than the least new coverage is never taken.
  const bool shortOfCount = target > 0 && work->planes.size() < target;
  if ((shortOfCount || (withoutCompanions && !countAsked)) && !stopRequested() && work->renderMesh) {
    startCoverage();
    const CoverageBaseline principal = principalPlanesBaseline(*work);
    const double principalShare = principal.figures.at03;
    const auto share = [&]() { return samples.isEmpty() ? 0.0 : double(tally->coveredWithin(near)) / samples.size(); };
    const auto shortOfCount = [&]() { return target > 0 && work->planes.size() < target; };
    // Short of the count, or (without companion files, by threshold, the
    // count of three included) of the principal planes' coverage.
    const auto wanted = [&]() {
      return shortOfCount() || (withoutCompanions && !countAsked && share() < principalShare);
    };
    if (wanted()) {
      QList<SectionPlane> candidates = principal.planes;
      std::vector<SlabReach> reaches;
      for (const SectionPlane& c : qAsConst(candidates)) reaches.push_back(slabReach(samples, c.triangles, near));
      // The axis planes cost a section each. Where sections are crowded (a
      // principal plane cuts more than kCrowdedSectionSegments edges, as
      // through a dense fan, where each takes seconds), the principal
      // coverage alone tries the principal planes before making them;
      // otherwise, and for a count short of its target, all are weighed
      // from the start.
      const bool crowded = std::any_of(candidates.cbegin(), candidates.cend(), [](const SectionPlane& c) {
        return c.segments.size() > kCrowdedSectionSegments;
      });
      bool axisPlanes = false;
      const auto addAxisPlanes = [&] {
        axisPlanes = true;
        for (SectionPlane& c : greedyCandidatePlanes(*work->renderMesh, samples)) {
          work->updateSection(c);
          reaches.push_back(slabReach(samples, c.triangles, near));
          candidates.append(c);
        }
      };
      if (!crowded || shortOfCount()) addAxisPlanes();
      while (wanted() && !stopRequested()) {
        int best = -1, bestAdded = 0;
        for (int c = 0; c < candidates.size(); ++c) {
          const int added = tally->added(reaches[size_t(c)]);
          if (added > bestAdded) bestAdded = added, best = c;
        }
        if (best < 0 || bestAdded < tally->leastNew()) {
          if (!axisPlanes) {
            addAxisPlanes();
            continue;
          }
          // Short of the count with nothing adding enough: judge finer.
          const int leastNew = tally->leastNew();
          if (shortOfCount() && tally->finer()) {
            qDebug("No plane adds %d new samples: coverage is now judged within %.5f.", leastNew, tally->tolerance());
            continue;
          }
          break;
        }
        qDebug("Taking %s plane: it adds %d new samples of %d (principal planes cover %.4f).",
               best < principal.planes.size() ? "a principal" : "an axis", bestAdded, int(samples.size()),
               principalShare);
        cover(reaches[size_t(best)]);
        Bin B;
        B.normal = candidates[best].normal;
        B.d = candidates[best].d;
        acceptPlane(candidates[best], B, false);
      }
      if (target > 0 && work->planes.size() >= target) stopRule = kStopPlaneCount;
    }
  }
  work->runStopRule = QLatin1String(stopRule);
  qDebug("Run ended: %s, %d planes", stopRule, int(work->planes.size()));
  finish(true);
}
