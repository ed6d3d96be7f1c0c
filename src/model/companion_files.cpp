#include "model/companion_files.h"

#include <QDebug>
#include <QSet>
#include <QStringList>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>

QString companionPath(const QString& modelPath, const QString& suffix) {
  // An extension longer than three letters (".gltf") goes whole.
  const int dot = modelPath.lastIndexOf(QLatin1Char('.'));
  if (dot > modelPath.lastIndexOf(QLatin1Char('/')) && modelPath.size() - dot > 4) return modelPath.left(dot) + suffix;
  return modelPath.left(qMax(0, modelPath.size() - 4)) + suffix;
}

namespace {

// atoi without its undefined overflow: saturates at the int range.
int parseSegmentId(const char* s, bool& saturated) {
  while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r' || *s == '\v' || *s == '\f') ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  long long value = 0;
  for (; std::isdigit(static_cast<unsigned char>(*s)); ++s) {
    value = value * 10 + (*s - '0');
    if (value > (long long)INT_MAX + 1) {
      value = (long long)INT_MAX + 1;
      saturated = true;
    }
  }
  if (negative) value = -value;
  if (value > INT_MAX) {
    saturated = true;
    return INT_MAX;
  }
  return int(value);
}

}  // namespace

bool readSegmentation(const char* path, int faceCount, QVector<int>& faceSegment) {
  FILE* f = path ? std::fopen(path, "r") : nullptr;
  if (!f) return false;
  qDebug("Found segmentation file %s, loading segments...", path);

  QVector<int> ids;
  ids.reserve(qMax(0, faceCount));
  char line[100];
  bool saturated = false;
  int negative = 0;
  long long lines = 0;
  while (std::fgets(line, sizeof line, f)) {
    ++lines;
    if (ids.size() >= faceCount) continue;  // count the surplus, keep nothing
    const int id = parseSegmentId(line, saturated);
    if (id < 0) ++negative;
    ids.append(id);
  }
  std::fclose(f);

  if (saturated) qDebug("Segmentation file %s has ids beyond the integer range; they were clamped", path);
  if (negative > 0) qDebug("Segmentation file %s has %i negative segment ids", path, negative);
  if (lines > faceCount) {
    qDebug("Segmentation file %s has %lld lines for %i faces; the extra lines are ignored", path, lines, faceCount);
  } else if (lines < faceCount) {
    qDebug("Segmentation file %s has %lld lines for %i faces; the remaining faces get segment 0", path, lines,
           faceCount);
    ids.resize(qMax(0, faceCount));  // new entries are 0
  }
  faceSegment = ids;
  return true;
}

int countSegments(const QVector<int>& faceSegment) {
  QSet<int> distinct;
  for (int id : faceSegment) distinct.insert(id);
  return distinct.size();
}

namespace {

// Field k as a float; a field that does not parse reads as 0, a non-finite
// one sets `bad`.
float numberField(const QStringList& fields, int k, bool& bad) {
  bool ok = false;
  const float v = fields[k].trimmed().toFloat(&ok);
  if (!std::isfinite(v)) bad = true;  // "nan", "inf" or an overflowing value
  return ok ? v : 0.0f;
}

}  // namespace

bool readSymmetry(const char* path, QList<CutPlane>& planes, QList<Axis>& axes) {
  FILE* f = path ? std::fopen(path, "r") : nullptr;
  if (!f) return false;
  qDebug("Found symmetry file %s, loading symmetry planes/axes...", path);

  char line[500];
  int lineNumber = 0;
  while (std::fgets(line, sizeof line, f)) {
    ++lineNumber;
    const QStringList fields = QString::fromLatin1(line).split(QLatin1Char(' '), Qt::KeepEmptyParts);
    const QString& kind = fields[0];
    const bool isPlane = kind.contains(QLatin1Char('P'));
    const bool isAxis = !isPlane && kind.contains(QLatin1Char('A'));
    if (!isPlane && !isAxis) continue;

    const int needed = isPlane ? 5 : 7;
    if (fields.size() < needed) {
      qDebug("Symmetry file %s line %i: %s record with %i fields, needs %i; skipped", path, lineNumber,
             isPlane ? "plane" : "axis", int(fields.size()), needed);
      continue;
    }
    bool bad = false;
    const Vec3 v(numberField(fields, 1, bad), numberField(fields, 2, bad), numberField(fields, 3, bad));
    if (isPlane) {
      CutPlane plane;
      plane.normal = v;
      plane.d = numberField(fields, 4, bad);
      if (bad || v.lengthSquared() == 0.0f) {
        qDebug("Symmetry file %s line %i: plane without a usable normal or offset; skipped", path, lineNumber);
        continue;
      }
      normalizePlane(plane);
      planes.append(plane);
    } else {
      Axis axis;
      axis.point = Vec3(numberField(fields, 4, bad), numberField(fields, 5, bad), numberField(fields, 6, bad));
      const float length = v.length();
      if (bad || !(length > 0.0f) || !std::isfinite(length)) {
        qDebug("Symmetry file %s line %i: axis without a usable direction or point; skipped", path, lineNumber);
        continue;
      }
      axis.direction = v / length;
      axis.halfLength = length;
      axes.append(axis);
    }
  }
  std::fclose(f);
  return true;
}
