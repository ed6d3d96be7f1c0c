#pragma once

#include <QList>
#include <QString>

#include "sections/section_plane.h"

class Sorvex;

// Where the exports of one model go. `modelPath` is the text of the model
// path field (normally the loaded model's file), `exportName` the text of the
// export name field (the participant's folder name).
struct ExportPaths {
  QString folder;   // the export name as typed
  QString dir;      // "../" + folder
  QString last;     // last "/"-separated part of the model path, e.g. "385.off"
  QString planes;   // dir + "/" + last + ".obj"
  QString slabs;    // dir + "/" + last + "_slab.obj"
  QString mesh;     // dir + "/" + last + "_inputmesh.obj"
  QString contour;  // dir + "/" + last + ".contour"
};

ExportPaths exportPaths(const QString& modelPath, const QString& exportName);

// Logs "Making directory <folder> if not already existing." and creates
// `dir` with any missing parents. The outcome shows when the files are
// opened; it is returned for the log.
bool makeExportDirectory(const ExportPaths& paths);

// The text of the export message box for one file, naming it by its
// absolute path.
QString exportMessage(const QString& file, bool ok);

// Copies the engine's planes under its stateMutex, re-triangulating every
// slab first when `triangulateSlabs` is set. False (nothing copied) when a
// plane-selection run keeps the planes for longer than a moment.
bool snapshotPlanes(Sorvex& engine, QList<SectionPlane>& planes, bool triangulateSlabs);

// Added to the message box when snapshotPlanes gave up.
QString busyRunNote();
