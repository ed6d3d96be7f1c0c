#include "export/export_paths.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "engine/sorvex.h"

namespace {
// How long an export waits for a running plane selection to let go of the
// plane list.
constexpr int kStateLockTimeoutMs = 2000;
}  // namespace

ExportPaths exportPaths(const QString& modelPath, const QString& exportName) {
  ExportPaths p;
  p.folder = exportName;
  p.dir = QStringLiteral("../") + exportName;
  // split keeps empty parts, so a path ending in "/" has an empty last part.
  p.last = modelPath.split(QLatin1Char('/')).last();
  const QString base = p.dir + QLatin1Char('/') + p.last;
  p.planes = base + QStringLiteral(".obj");
  p.slabs = base + QStringLiteral("_slab.obj");
  p.mesh = base + QStringLiteral("_inputmesh.obj");
  p.contour = base + QStringLiteral(".contour");
  return p;
}

bool makeExportDirectory(const ExportPaths& paths) {
  qDebug("Making directory %s if not already existing.", paths.folder.toLocal8Bit().constData());
  return QDir().mkpath(paths.dir);
}

QString exportMessage(const QString& file, bool ok) {
  // The whole path: a relative one says little about where the file went.
  const QString shown = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
  return QStringLiteral("Exporting ") + shown + (ok ? QStringLiteral(" successful.") : QStringLiteral(" failed."));
}

bool snapshotPlanes(Sorvex& engine, QList<SectionPlane>& planes, bool triangulateSlabs) {
  if (!engine.stateMutex.tryLock(kStateLockTimeoutMs)) return false;
  if (triangulateSlabs) engine.triangulateAllSlabs();
  planes = engine.planes;  // implicitly shared: the writers work on this snapshot
  engine.stateMutex.unlock();
  return true;
}

QString busyRunNote() {
  return QStringLiteral("\nThe plane selection is still running; export again when it has finished.");
}
