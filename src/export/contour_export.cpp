#include "export/contour_export.h"

#include <QDebug>

#include "engine/sorvex.h"
#include "export/atomic_text_file.h"
#include "export/export_paths.h"

bool contourLabelZeroOne(const SectionContour& contour, const Vec3& n) {
  const QList<SectionSegment>& s = contour.segments;
  const int m = s.size();
  if (m == 0) return false;

  // Length-weighted mean of the start points. Contours whose segments all
  // have zero length (points) fall back to the plain mean instead of 0 / 0.
  Vec3 sum;
  float length = 0.0f;
  for (const SectionSegment& seg : s) {
    const float l = (seg.end - seg.start).length();
    sum += seg.start * l;
    length += l;
  }
  Vec3 c;
  if (length > 0.0f) {
    c = sum / length;
  } else {
    for (const SectionSegment& seg : s) c += seg.start;
    c = c / float(m);
  }

  // Consecutive start points only; the closing pair does not count.
  float w = 0.0f;
  for (int k = 0; k + 1 < m; ++k) {
    const Vec3 e = s[k].start - s[k + 1].start;
    if (e.cross(n).dot(s[k + 1].start - c) > 0.0f)
      w += e.length();
    else
      w -= e.length();
  }
  if (contour.isHole) w = -w;
  return w > 0.0f;
}

bool writeContours(const QList<SectionPlane>& planes, const QString& path) {
  AtomicTextFile f;
  if (!f.open(path)) {
    qDebug("Unable to write file %s.\n", path.toLocal8Bit().constData());
    return false;
  }
  qDebug("Trying to write %s\n", path.toLocal8Bit().constData());

  f.printf("%i\n", int(planes.size()));
  for (const SectionPlane& p : planes) {
    f.printf("%f %f %f %f\n", p.normal.x, p.normal.y, p.normal.z, p.d);
    int V = 0;
    for (const SectionContour& c : p.contours) V += c.segments.size();
    f.printf("%i %i\n", V, V);
    for (const SectionContour& c : p.contours)
      for (const SectionSegment& seg : c.segments) {
        const Vec3 q = seg.start * kContourPointScale;
        f.printf("%f %f %f\n", q.x, q.y, q.z);
      }
    int b = 0;  // index of the contour's first point within this plane
    for (const SectionContour& c : p.contours) {
      const int m = c.segments.size();
      if (m == 0) continue;  // no points, so no edges either
      const char* labels = contourLabelZeroOne(c, p.normal) ? "0 1" : "1 0";
      for (int k = 0; k + 1 < m; ++k) f.printf("%i %i %s\n", b + k, b + k + 1, labels);
      f.printf("%i %i %s\n", b + m - 1, b, labels);
      b += m;
    }
  }
  if (!f.commit()) {
    qDebug("Unable to write file %s.\n", path.toLocal8Bit().constData());
    return false;
  }
  return true;
}

ExportResult exportContours(Sorvex& engine, const QString& modelPath, const QString& exportName) {
  const ExportPaths paths = exportPaths(modelPath, exportName);
  makeExportDirectory(paths);

  ExportResult result;
  QList<SectionPlane> planes;
  if (!snapshotPlanes(engine, planes, false)) {
    result.failedFiles << paths.contour;
    result.message = exportMessage(paths.contour, false) + busyRunNote();
    return result;
  }
  result.ok = writeContours(planes, paths.contour);
  if (!result.ok) result.failedFiles << paths.contour;
  result.message = exportMessage(paths.contour, result.ok);
  return result;
}
