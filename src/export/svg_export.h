#pragma once

#include <QList>
#include <QString>

#include "export/obj_export.h"
#include "sections/section_plane.h"

class Sorvex;

// Drawing size of one model unit in the SVG file, in millimetres.
constexpr double kSvgMillimetresPerUnit = 100.0;

// The slab outlines of all planes as one SVG drawing, for looking at and for
// cutting. Each plane gets a group (id "plane<p>", class "slab") with one
// path of its closed contours in the plane's own coordinates (x = r1 . p,
// y = r2 . p, y drawn upwards), filled with the even-odd rule so that holes
// stay open, and the label "Plane<p> (Area: <area>)". The groups are laid out
// in rows without overlap; every slab has the same scale (user units are
// model units, kSvgMillimetresPerUnit mm each). Open contours bound no slab
// and are not drawn. Written whole or not at all; true when written.
bool writeSlabsSvg(const QList<SectionPlane>& planes, const QString& path);

// dir + "/" + last + ".svg", beside the OBJ and contour files of the same
// model and export name.
QString svgExportPath(const QString& modelPath, const QString& exportName);

// The "Export SVG" action: creates the export folder and writes the SVG of
// the sections as they stand.
ExportResult exportSvg(Sorvex& engine, const QString& modelPath, const QString& exportName);
