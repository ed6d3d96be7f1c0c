#include "model/companion_files.h"

#include <QDebug>
#include <QSet>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>

#include "model/text_input.h"

QString companionPath(const QString& modelPath, const QString& suffix) {
  // An extension longer than three letters (".gltf") goes whole.
  const int dot = modelPath.lastIndexOf(QLatin1Char('.'));
  if (dot > modelPath.lastIndexOf(QLatin1Char('/')) && modelPath.size() - dot > 4) return modelPath.left(dot) + suffix;
  return modelPath.left(qMax(0, modelPath.size() - 4)) + suffix;
}

namespace {

// Longest line kept of a segmentation file and of a symmetry file; the rest
// of a longer line is skipped.
constexpr int kSegmentationLineLength = 99;
constexpr int kSymmetryLineLength = 499;

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
  TextInput in(path, "segmentation file");
  if (!in.isOpen()) return false;
  qDebug("Found segmentation file %s, loading segments...", path);

  QVector<int> ids;
  ids.reserve(qMax(0, faceCount));
  QByteArray line;
  bool truncated = false;
  bool saturated = false;
  int negative = 0, longLines = 0;
  long long lines = 0;
  while (in.readLine(line, kSegmentationLineLength, truncated)) {
    ++lines;
    if (truncated) ++longLines;
    if (ids.size() >= faceCount) continue;  // count the surplus, keep nothing
    const int id = parseSegmentId(line.constData(), saturated);
    if (id < 0) ++negative;
    ids.append(id);
  }
  if (in.failed()) qDebug("Error reading segmentation file %s; the faces not read get segment 0", path);
  if (longLines > 0)
    qDebug("Segmentation file %s has %i lines longer than %i characters; the rest of each was skipped", path, longLines,
           kSegmentationLineLength);
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

// Field k as a float, read in the "C" locale; a field that does not parse
// reads as 0, a non-finite one sets `bad`.
double numberField(const QList<QByteArray>& fields, int k, bool& bad) {
  float v = 0.0f;
  if (!parseFloatC(fields[k], v)) return 0.0;
  if (!std::isfinite(v)) bad = true;  // "nan", "inf" or an overflowing value
  return v;
}

bool finite(double x, double y, double z) { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }

}  // namespace

bool readSymmetry(const char* path, QList<CutPlane>& planes, QList<Axis>& axes) {
  TextInput in(path, "symmetry file");
  if (!in.isOpen()) return false;
  qDebug("Found symmetry file %s, loading symmetry planes/axes...", path);

  QByteArray line;
  bool truncated = false;
  int lineNumber = 0;
  const int recordsBefore = planes.size() + axes.size();
  while (in.readLine(line, kSymmetryLineLength, truncated)) {
    ++lineNumber;
    if (truncated)
      qDebug("Symmetry file %s line %i is longer than %i characters; the rest of it is skipped", path, lineNumber,
             kSymmetryLineLength);
    const QList<QByteArray> fields = line.split(' ');
    const QByteArray& kind = fields[0];
    const bool isPlane = kind.contains('P');
    const bool isAxis = !isPlane && kind.contains('A');
    if (!isPlane && !isAxis) continue;

    if (planes.size() + axes.size() - recordsBefore >= kMaxSymmetryRecords) {
      qDebug("Symmetry file %s holds more than %i records; line %i and the rest are skipped", path, kMaxSymmetryRecords,
             lineNumber);
      break;
    }
    const int needed = isPlane ? 5 : 7;
    if (fields.size() < needed) {
      qDebug("Symmetry file %s line %i: %s record with %i fields, needs %i; skipped", path, lineNumber,
             isPlane ? "plane" : "axis", int(fields.size()), needed);
      continue;
    }
    bool bad = false;
    const double x = numberField(fields, 1, bad), y = numberField(fields, 2, bad), z = numberField(fields, 3, bad);
    // In double precision the length of any float vector is finite.
    const double length = std::sqrt(x * x + y * y + z * z);
    if (isPlane) {
      // The plane { p : n . p = d } is the same plane with n / |n| and
      // d / |n|: the normal is made unit length and the offset scaled with it.
      const double d = numberField(fields, 4, bad);
      const double nx = x / length, ny = y / length, nz = z / length, nd = d / length;
      CutPlane plane;
      plane.normal = Vec3(float(nx), float(ny), float(nz));
      plane.d = float(nd);
      if (bad || !(length > 0.0) || !finite(nx, ny, nz) || !plane.normal.isFinite() || !std::isfinite(plane.d) ||
          !(plane.normal.lengthSquared() > 0.0f)) {
        qDebug("Symmetry file %s line %i: plane without a finite unit normal and offset; skipped", path, lineNumber);
        continue;
      }
      normalizePlane(plane);
      planes.append(plane);
    } else {
      Axis axis;
      axis.point = Vec3(float(numberField(fields, 4, bad)), float(numberField(fields, 5, bad)),
                        float(numberField(fields, 6, bad)));
      axis.direction = Vec3(float(x / length), float(y / length), float(z / length));
      axis.halfLength = float(length);
      if (bad || !(length > 0.0) || !axis.direction.isFinite() || !(axis.direction.lengthSquared() > 0.0f) ||
          !std::isfinite(axis.halfLength)) {
        qDebug("Symmetry file %s line %i: axis without a finite direction, length and point; skipped", path,
               lineNumber);
        continue;
      }
      axes.append(axis);
    }
  }
  if (in.failed()) qDebug("Error reading symmetry file %s; the records before the error are kept", path);
  return true;
}
