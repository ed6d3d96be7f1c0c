#pragma once

#include <QList>
#include <QString>

#include "export/obj_export.h"
#include "sections/section_plane.h"

// Contour points are written in thousandths of a model unit.
constexpr float kContourPointScale = 1000.0f;

// Side labels of one contour's edges: true for " 0 1", false for " 1 0".
// The label says on which side of the contour the section lies, judged by
// walking the contour's start points around its length-weighted centroid and
// flipped for hole contours.
bool contourLabelZeroOne(const SectionContour& contour, const Vec3& planeNormal);

// Writes every plane's contours: the plane count, then per plane
// "nx ny nz d", "V V" (V = segments over all its contours), V scaled start
// points and V edges "a b 0 1" / "a b 1 0" that close every contour into a
// loop. Point indices start at 0 in every plane. Returns true when written.
bool writeContours(const QList<SectionPlane>& planes, const QString& path);

// The "Export Contours" action: the ".contour" file beside the OBJ files of
// the same model and export name. The sections are written as they stand.
ExportResult exportContours(Sorvex& engine, const QString& modelPath, const QString& exportName);
