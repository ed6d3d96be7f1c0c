#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "sections/section_plane.h"

class RenderMesh;
class Sorvex;

// Offset of a slab's second face along the plane normal, model units.
constexpr float kSlabThickness = 0.005f;

// Outcome of a user-visible export: what the message box says, and which
// files could not be written.
struct ExportResult {
  bool ok = false;          // every file was written
  QString message;          // text for the message box
  QStringList failedFiles;  // paths that were not written, in writing order
};

// The section planes as flat triangulated pieces: a comment header with the
// plane parameters ("%f"), one "vn" line per plane (its normal negated), the
// slab corners as "v" lines, and per plane a group "g plane<p>" whose faces
// "f a//n b//n c//n" name the plane's own normal. Every file is written
// whole or not at all. Returns true when the file was written.
bool writePlanesObj(const QList<SectionPlane>& planes, const QString& path);

// The same pieces as thin closed solids: each slab triangle becomes six
// vertices (its corners, then the corners moved by kSlabThickness along the
// normal) and five faces (the triangle, the reversed offset triangle, three
// side quads). Numbers in "%g" form; face lines end in a space.
bool writeSlabsObj(const QList<SectionPlane>& planes, const QString& path);

// The render mesh: "v" lines ("%f") and one "f" line per face listing all
// of its vertices as "k// ".
bool writeMeshObj(const RenderMesh& mesh, const QString& path);

// The "Export OBJ File" action: names the three files after the model path
// and the export name, creates the folder "../" + exportName, re-triangulates
// every slab and writes the planes, slabs and mesh files. The message names
// the planes file ("Exporting <file> successful." / " failed.") and then, on
// separate lines, every other file that failed.
ExportResult exportObj(Sorvex& engine, const QString& modelPath, const QString& exportName);
