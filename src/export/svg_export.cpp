#include "export/svg_export.h"

#include <algorithm>
#include <cmath>
#include <QPointF>
#include <QVector>
#include <limits>

#include "export/atomic_text_file.h"
#include "export/export_paths.h"

namespace {

struct Outline {
  QList<QVector<QPointF>> loops;  // closed contours in plane coordinates
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  bool empty = true;
};

Outline outlineOf(const SectionPlane& plane) {
  Outline o;
  o.minX = o.minY = std::numeric_limits<double>::max();
  o.maxX = o.maxY = -std::numeric_limits<double>::max();
  for (const SectionContour& c : plane.contours) {
    if (!c.isClosed || c.segments.size() < 3) continue;
    QVector<QPointF> loop;
    loop.reserve(c.segments.size());
    for (const SectionSegment& s : c.segments) {
      const double x = double(s.start.dot(plane.r1)), y = double(s.start.dot(plane.r2));
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      loop.append(QPointF(x, y));
      o.minX = std::min(o.minX, x);
      o.maxX = std::max(o.maxX, x);
      o.minY = std::min(o.minY, y);
      o.maxY = std::max(o.maxY, y);
    }
    if (loop.size() >= 3) o.loops.append(loop);
  }
  o.empty = o.loops.isEmpty();
  if (o.empty) o.minX = o.minY = o.maxX = o.maxY = 0.0;
  return o;
}

QString labelOf(int p, float area) {
  return QStringLiteral("Plane") + QString::number(p) + QStringLiteral(" (Area: ") +
         QString::number(double(area), 'g', 6) + QStringLiteral(")");
}

struct Cell {
  double x = 0, y = 0;  // top left of the cell (label on top, slab below)
  double width = 0, height = 0;
};

}  // namespace

bool writeSlabsSvg(const QList<SectionPlane>& planes, const QString& path) {
  QList<Outline> outlines;
  double size = 0.0;  // largest slab extent: sets label size and gaps
  for (const SectionPlane& plane : planes) {
    outlines.append(outlineOf(plane));
    const Outline& o = outlines.last();
    size = std::max(size, std::max(o.maxX - o.minX, o.maxY - o.minY));
  }
  if (!(size > 0.0) || !std::isfinite(size)) size = 1.0;
  const double font = 0.06 * size;
  const double labelHeight = 1.6 * font;
  const double gap = 0.08 * size;

  // Shelf layout: cells left to right, a new row when the next would pass
  // the row width (about a square drawing, never narrower than one cell).
  QVector<Cell> cells(planes.size());
  double cellArea = 0.0, widest = 0.0;
  for (int p = 0; p < planes.size(); ++p) {
    const Outline& o = outlines[p];
    const double labelWidth = 0.62 * font * labelOf(p, planes[p].area).size();
    cells[p].width = std::max(o.maxX - o.minX, labelWidth);
    cells[p].height = labelHeight + (o.maxY - o.minY);
    cellArea += (cells[p].width + gap) * (cells[p].height + gap);
    widest = std::max(widest, cells[p].width);
  }
  const double rowWidth = std::max(widest, 1.3 * std::sqrt(cellArea));
  double x = gap, y = gap, rowHeight = 0.0, totalWidth = gap;
  for (Cell& c : cells) {
    if (x > gap && x + c.width > gap + rowWidth) {
      x = gap;
      y += rowHeight + gap;
      rowHeight = 0.0;
    }
    c.x = x;
    c.y = y;
    x += c.width + gap;
    rowHeight = std::max(rowHeight, c.height);
    totalWidth = std::max(totalWidth, x);
  }
  const double totalHeight = y + rowHeight + gap;

  AtomicTextFile out;
  if (!out.open(path)) return false;
  out.printf("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  out.printf(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.6fmm\" height=\"%.6fmm\" viewBox=\"0 0 %.9g %.9g\">\n",
      totalWidth * kSvgMillimetresPerUnit, totalHeight * kSvgMillimetresPerUnit, totalWidth, totalHeight);
  out.printf("<desc>Slab outlines of %i planes in their own plane coordinates; 1 model unit = %g mm.</desc>\n",
             int(planes.size()), kSvgMillimetresPerUnit);
  const double stroke = 0.002 * size;
  for (int p = 0; p < planes.size(); ++p) {
    const Outline& o = outlines[p];
    const Cell& c = cells[p];
    out.printf("<g id=\"plane%i\" class=\"slab\" data-area=\"%.9g\">\n", p, double(planes[p].area));
    out.printf("<text x=\"%.9g\" y=\"%.9g\" font-family=\"sans-serif\" font-size=\"%.9g\">", c.x, c.y + 1.2 * font,
               font);
    out.write(labelOf(p, planes[p].area).toUtf8());
    out.write("</text>\n");
    if (!o.empty) {
      // Plane coordinates to the cell: x to the right, y upwards.
      const double ox = c.x - o.minX, oy = c.y + labelHeight + o.maxY;
      out.printf("<path fill=\"#b0b8c8\" fill-rule=\"evenodd\" stroke=\"#000000\" stroke-width=\"%.9g\" d=\"", stroke);
      for (const QVector<QPointF>& loop : o.loops) {
        for (int k = 0; k < loop.size(); ++k)
          out.printf("%c%.9g %.9g ", k == 0 ? 'M' : 'L', ox + loop[k].x(), oy - loop[k].y());
        out.write("Z ");
      }
      out.write("\"/>\n");
    }
    out.write("</g>\n");
  }
  out.write("</svg>\n");
  return out.commit();
}

QString svgExportPath(const QString& modelPath, const QString& exportName) {
  const ExportPaths paths = exportPaths(modelPath, exportName);
  return paths.dir + QLatin1Char('/') + paths.last + QStringLiteral(".svg");
}

ExportResult exportSvg(Sorvex& engine, const QString& modelPath, const QString& exportName) {
  const ExportPaths paths = exportPaths(modelPath, exportName);
  const QString file = svgExportPath(modelPath, exportName);
  makeExportDirectory(paths);
  ExportResult result;
  QList<SectionPlane> planes;
  if (!snapshotPlanes(engine, planes, false)) {
    result.failedFiles << file;
    result.message = exportMessage(file, false) + busyRunNote();
    return result;
  }
  result.ok = writeSlabsSvg(planes, file);
  if (!result.ok) result.failedFiles << file;
  result.message = exportMessage(file, result.ok);
  return result;
}
