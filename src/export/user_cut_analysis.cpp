// Which participants' cuts the features account for: a cut whose bin holds a
// vote is explained; the others are reported with the nearest voted bin,
// whose plane joins the plane list.

#include "export/user_cut_analysis.h"

#include <QDebug>

#include "engine/sorvex.h"

namespace {

// Over every analysis of the process, whatever model was loaded.
int cutsSeen = 0;
int cutsUncovered = 0;

}  // namespace

bool Sorvex::analyzeUserCuts(UserCutCounts* counts) {
  if (isRunning()) {
    qDebug("The plane selection is running; the user cuts are not analysed.");
    return false;
  }
  std::lock_guard<StateLock> lock(stateMutex);
  bins.clearBins();
  clearPlanes();
  buildFeatures();
  populateBins();

  int runCuts = 0;
  int runUncovered = 0;
  for (int u = 0; u < humanCuts.size(); ++u) {
    QList<HumanCut>& cuts = humanCuts[u];
    int i = 0;
    while (i < cuts.size()) {
      ++cutsSeen;
      ++runCuts;
      const HumanCut& cut = cuts[i];
      int bi = 0, bj = 0, bk = 0;
      BinSpace::planeToBin(cut.normal, cut.d, bi, bj, bk);
      const Bin b = bins.binAt(bi, bj, bk);
      if (!b.votes.isEmpty()) {
        cuts.removeAt(i);  // explained: examine the cut that moved into position i
        continue;
      }
      ++cutsUncovered;
      ++runUncovered;
      float distance = 0.0f;
      const Bin nearest = bins.nearestNonEmptyBin(bi, bj, bk, distance);
      if (nearest.votes.isEmpty()) {
        // Nothing voted at all: there is no feature to name and no plane to add.
        qDebug().noquote() << "Model " << modelPath << " User " << u << " Cut " << i << " has no feature coverage."
                           << "  Nearest feature is " << kNoVotedBinName << ", distance "
                           << "none"
                           << ".";
      } else {
        const int type = nearest.votes.first().featureType;
        const char* name = (type >= 0 && type < kFeatureTypeCount) ? featureTypeNames[type] : "unknown";
        qDebug().noquote() << "Model " << modelPath << " User " << u << " Cut " << i << " has no feature coverage."
                           << "  Nearest feature is " << name << ", distance " << distance << ".";
        SectionPlane plane;
        plane.normal = nearest.normal;
        plane.d = nearest.d;
        normalizePlane(plane);
        updateSection(plane);
        addPlane(plane);
      }
      ++i;
    }
  }
  qDebug().noquote() << "For model " << modelPath << ", " << runUncovered << " of " << runCuts
                     << " have no feature coverage.";
  qDebug().noquote() << "Across all models " << cutsUncovered << " of " << cutsSeen << " have no feature coverage.";
  currentPlane = kNoPlane;

  if (counts) {
    counts->runCuts = runCuts;
    counts->runUncovered = runUncovered;
    counts->cutsSeen = cutsSeen;
    counts->cutsUncovered = cutsUncovered;
  }
  return true;
}
