// The participants' cuts of a model: reading their files, consensus planes
// on which several participants agree, the study tables and the report.

#include "model/human_cuts.h"

#include <QDebug>
#include <QFile>
#include <QList>
#include <QVector>
#include <cmath>

#include "engine/palette.h"
#include "engine/sorvex.h"
#include "export/user_cut_report.h"

namespace humancuts {

QString cutFilePath(const QString& modelPath, int user) {
  const int slash = modelPath.lastIndexOf(QLatin1Char('/'));
  const QString name = slash >= 0 ? modelPath.mid(slash) : QStringLiteral("/") + modelPath;
  return QStringLiteral("../../userstudy/user") + QString::number(user) + name + QStringLiteral(".obj");
}

namespace {

QByteArray withoutLineBreak(QByteArray line) {
  while (!line.isEmpty() && (line.endsWith('\n') || line.endsWith('\r'))) line.chop(1);
  return line;
}

bool parseFloatField(const QByteArray& field, float& value) {
  bool ok = false;
  value = field.toFloat(&ok);
  return ok && std::isfinite(value);
}

}  // namespace

bool parseCutLine(const QByteArray& rawLine, HumanCut& cut, QString* reason) {
  const QList<QByteArray> fields = withoutLineBreak(rawLine).split(' ');
  if (fields.size() < kCutFieldCount) {
    if (reason) *reason = QStringLiteral("%1 fields, a cut needs %2").arg(fields.size()).arg(kCutFieldCount);
    return false;
  }
  static const int kNumberFields[] = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13};
  float v[kCutFieldCount] = {};
  for (int f : kNumberFields) {
    if (!parseFloatField(fields[f], v[f])) {
      if (reason)
        *reason = QStringLiteral("field %1 (\"%2\") is not a finite number").arg(f).arg(QString::fromLatin1(fields[f]));
      return false;
    }
  }
  Vec3 normal(v[1], v[2], v[3]);
  const float length = normal.length();
  if (!(length > 0.0f) || !std::isfinite(length)) {
    if (reason) *reason = QStringLiteral("the normal has no direction");
    return false;
  }
  normal = normal * (1.0f / length);
  const Vec3 point(v[4], v[5], v[6]);
  const float d = point.dot(normal);
  if (!std::isfinite(d)) {
    if (reason) *reason = QStringLiteral("the plane offset is not finite");
    return false;
  }
  cut.normal = normal;
  cut.point = point;
  cut.r1 = Vec3(v[8], v[9], v[10]);
  cut.r2 = Vec3(v[11], v[12], v[13]);
  cut.d = d;
  return true;
}

float planeDistanceRadians(const Vec3& u, float s, const Vec3& v, float t) {
  const float sine = u.cross(v).length();
  const float cosine = u.dot(v);
  const float same = std::atan2(sine, cosine) + std::fabs(s - t);
  const float flipped = std::atan2(sine, -cosine) + std::fabs(s + t);
  return flipped < same ? flipped : same;
}

}  // namespace humancuts

using namespace humancuts;

namespace {

// Where a voting cut lives in humanCuts.
struct CutRef {
  int user = 0;
  int index = 0;
};

}  // namespace

void Sorvex::readHumanCuts(const QString& label) {
  qDebug("Loading human cuts...");

  // ---- the participants' files ----
  for (int u = 0; u < kUserCount; ++u) {
    const QString path = cutFilePath(modelPath, u + 1);
    const QByteArray path8 = path.toLocal8Bit();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
      qDebug("Failed to load file %s!", path8.constData());
      continue;
    }
    QList<HumanCut> cuts;
    bool ok = false;
    const QList<QByteArray> header = withoutLineBreak(file.readLine()).split(' ');
    int count = header.size() > 1 ? header[1].trimmed().toInt(&ok) : 0;
    if (!ok || count < 0) {
      qDebug("Cut file %s: no cut count on its first line; no cuts read.", path8.constData());
      count = 0;
    }
    file.readLine();  // second line: not used
    for (int c = 0; c < count; ++c) {
      if (file.atEnd()) {
        qDebug("Cut file %s ends after %i of its %i cut lines.", path8.constData(), c, count);
        break;
      }
      HumanCut cut;
      QString reason;
      if (!parseCutLine(file.readLine(), cut, &reason)) {
        qDebug("Cut file %s, line %i skipped: %s.", path8.constData(), c + 3, reason.toLocal8Bit().constData());
        continue;
      }
      computeSegments(cut);
      chainContours(cut);
      if (!cut.segments.isEmpty()) cuts.append(cut);
    }
    file.close();
    humanCuts.append(cuts);
    humanCutColours.append(paletteColour(palette, unsigned(u)));
  }

  // ---- study tables ----
  if (userNames.isEmpty())
    for (int u = 1; u <= kUserCount; ++u) userNames.append(QStringLiteral("User ") + QString::number(u));
  modelLabels.append(label);
  QList<int> cutCounts;
  for (const QList<HumanCut>& cuts : humanCuts) cutCounts.append(cuts.size());
  humanCutCountTable.append(cutCounts);

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
  uniqueCutCountTable.append(uniqueCounts);

  saveUserCutReport(QString::fromLatin1(kUserCutReportName), uniqueCutCountTable, humanCutCountTable, modelLabels,
                    userNames);
}
