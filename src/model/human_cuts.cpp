// The participants' cuts of a model: reading their files, consensus planes
// on which several participants agree, the study tables and the report.

#include "model/human_cuts.h"

#include <QDebug>
#include <QList>
#include <QVector>
#include <cmath>
#include <utility>

#include "engine/palette.h"
#include "engine/sorvex.h"
#include "model/loaded_model.h"
#include "export/user_cut_report.h"

using namespace humancuts;

namespace {

// One count per user, in user order: the counts of the users whose files
// were read, and kMissingUserCount for the users listed in `missing`.
QList<int> withMissingUsers(const QList<int>& readCounts, const QList<int>& missing) {
  QList<int> row;
  int next = 0;
  for (int u = 0; u < kUserCount; ++u)
    row.append(missing.contains(u) || next >= readCounts.size() ? kMissingUserCount : readCounts[next++]);
  return row;
}

// Where a voting cut lives in humanCuts.
struct CutRef {
  int user = 0;
  int index = 0;
};

}  // namespace

void Sorvex::readHumanCuts(const QString& label) {
  HumanCutRows rows;
  gatherHumanCuts(rows);
  recordHumanCutRows(label, rows);
}

void Sorvex::gatherHumanCuts(HumanCutRows& rows) {
  qDebug("Loading human cuts...");

  // ---- the participants' files ----
  // humanCuts holds one list per file read; `missing` remembers the users
  // without one so that the study tables keep every user in their column.
  QList<int> missing;
  for (int u = 0; u < kUserCount; ++u) {
    const QString path = cutFilePath(modelPath, u + 1);
    const QByteArray path8 = path.toLocal8Bit();
    QList<HumanCut> heads;
    if (!readCutFile(path8.constData(), heads)) {
      qDebug("Failed to load file %s!", path8.constData());
      missing.append(u);
      continue;
    }
    QList<HumanCut> cuts;
    for (HumanCut& cut : heads) {
      computeSegments(cut);
      chainContours(cut);
      if (!cut.segments.isEmpty()) cuts.append(cut);
    }
    humanCuts.append(cuts);
    humanCutColours.append(paletteColour(palette, unsigned(u)));
  }

  QList<int> cutCounts;
  for (const QList<HumanCut>& cuts : humanCuts) cutCounts.append(cuts.size());
  rows.cutCounts = withMissingUsers(cutCounts, missing);

  // ---- every kept cut votes; its vote carries its running number ----
  bins.clearBins();
  QVector<CutRef> voters;
  for (int u = 0; u < humanCuts.size(); ++u) {
    for (int i = 0; i < humanCuts[u].size(); ++i) {
      const HumanCut& cut = humanCuts[u][i];
      votePlane(cut.normal, cut.d, kVoteRadius, voters.size(), u, 1.0f);
      voters.append(CutRef{u, i});
    }
  }

  // ---- consensus planes ----
  // Each pass removes the votes of at least three cuts, so there are at most
  // a third as many passes as cuts; the cap guards against a space that
  // never empties.
  QList<CutPlane> consensus;
  for (int pass = 0; pass <= voters.size(); ++pass) {
    const Bin best = bins.maxBin();
    if (!(best.total >= kConsensusTotal) || best.votes.isEmpty()) break;
    const Vec3 m = best.normal;
    double offset = 0.0;
    int used = 0;
    for (const Vote& v : best.votes) {
      if (v.featureIndex < 0 || v.featureIndex >= voters.size()) continue;
      const HumanCut& cut = humanCuts[voters[v.featureIndex].user][voters[v.featureIndex].index];
      offset += m.dot(cut.normal) > 0.0f ? cut.d : -cut.d;
      ++used;
    }
    SectionPlane plane;
    plane.normal = m;
    plane.d = used > 0 ? float(offset / used) : best.d;
    normalizePlane(plane);
    updateSection(plane);
    plane.voteCount = unsigned(best.votes.size());
    plane.voteScore = best.total;
    planes.append(plane);
    bins.removeFeatureVotes(best);
    consensus.append(plane.head());
  }

  // ---- cuts no consensus plane explains ----
  uniqueHumanCuts.clear();
  QList<int> uniqueCounts;
  for (const QList<HumanCut>& cuts : humanCuts) {
    int unique = 0;
    for (const HumanCut& cut : cuts) {
      bool explained = false;
      for (const CutPlane& c : consensus)
        if (planeDistanceRadians(cut.normal, cut.d, c.normal, c.d) < kUniqueDistance) explained = true;
      if (explained) continue;
      ++unique;
      uniqueHumanCuts.append(cut.head());
    }
    uniqueCounts.append(unique);
  }
  rows.uniqueCounts = withMissingUsers(uniqueCounts, missing);
}

void Sorvex::recordHumanCutRows(const QString& label, const HumanCutRows& rows) {
  if (userNames.isEmpty())
    for (int u = 1; u <= kUserCount; ++u) userNames.append(QStringLiteral("User ") + QString::number(u));
  modelLabels.append(label);
  humanCutCountTable.append(rows.cutCounts);
  uniqueCutCountTable.append(rows.uniqueCounts);
  saveUserCutReport(QString::fromLatin1(kUserCutReportName), uniqueCutCountTable, humanCutCountTable, modelLabels,
                    userNames);
}

HumanCutSettings humanCutSettingsOf(const Sorvex& engine) {
  HumanCutSettings s;
  s.useSegmentation = engine.useSegmentation;
  s.hermiteInterp = engine.hermiteInterp;
  s.hermiteTanFactor = engine.hermiteTanFactor;
  s.plainVoting = engine.plainVoting;
  s.palette = engine.palette;
  return s;
}

void gatherHumanCuts(LoadedModel& model, const HumanCutSettings& settings) {
  GatheredHumanCuts& out = model.humanCuts;
  out = GatheredHumanCuts();
  if (!model.emptyBins) return;
  // Made and destroyed on this thread; it shares the model's arrays.
  Sorvex work(nullptr);
  work.modelPath = model.path;
  *work.renderMesh = model.renderMesh;
  work.triMesh = model.triMesh;
  work.faceSegment = model.faceSegment;
  work.segmentCount = model.segmentCount;
  work.useSegmentation = settings.useSegmentation;
  work.hermiteInterp = settings.hermiteInterp;
  work.hermiteTanFactor = settings.hermiteTanFactor;
  work.plainVoting = settings.plainVoting;
  work.palette = settings.palette;
  std::swap(work.bins, *model.emptyBins);
  work.gatherHumanCuts(out.rows);
  std::swap(work.bins, *model.emptyBins);
  out.cuts = work.humanCuts;
  out.colours = work.humanCutColours;
  out.consensus = work.planes;
  out.unique = work.uniqueHumanCuts;
  out.palette = work.palette;
  out.gathered = true;
}
