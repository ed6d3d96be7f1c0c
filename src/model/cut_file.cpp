// The participants' cut files: their paths, the parsing of their lines and
// the distance between two cut planes.

#include <QDebug>
#include <cmath>

#include "model/human_cuts.h"
#include "model/text_input.h"

namespace humancuts {

QString cutFilePath(const QString& modelPath, int user) {
  const int slash = modelPath.lastIndexOf(QLatin1Char('/'));
  const QString name = slash >= 0 ? modelPath.mid(slash) : QStringLiteral("/") + modelPath;
  return QStringLiteral("../../userstudy/user") + QString::number(user) + name + QStringLiteral(".obj");
}

namespace {

// Longest line kept of a cut file; the rest of a longer one is skipped.
constexpr int kCutLineLength = 499;

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

bool readCutFile(const char* path, QList<HumanCut>& cuts) {
  TextInput in(path, "cut file");
  if (!in.isOpen()) return false;
  QByteArray line;
  bool truncated = false;
  int lineNumber = 0;
  auto next = [&]() {
    if (!in.readLine(line, kCutLineLength, truncated)) return false;
    ++lineNumber;
    if (truncated)
      qDebug("Cut file %s, line %i is longer than %i characters; the rest of it is skipped.", path, lineNumber,
             kCutLineLength);
    return true;
  };

  int count = 0;
  const bool hasHeader = next();
  const QList<QByteArray> header = line.split(' ');
  if (!hasHeader || header.size() < 2 || !parseIntC(header[1], count) || count < 0) {
    qDebug("Cut file %s: no cut count on its first line; no cuts read.", path);
    count = 0;
  }
  next();  // second line: not used
  for (int c = 0; c < count; ++c) {
    if (!next()) {
      qDebug("Cut file %s ends after %i of its %i cut lines.", path, c, count);
      break;
    }
    HumanCut cut;
    QString reason;
    if (!parseCutLine(line, cut, &reason)) {
      qDebug("Cut file %s, line %i skipped: %s.", path, lineNumber, reason.toLocal8Bit().constData());
      continue;
    }
    cuts.append(cut);
  }
  if (in.failed()) qDebug("Error reading cut file %s; the cuts before the error are kept.", path);
  return true;
}

}  // namespace humancuts
