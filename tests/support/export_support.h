#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "engine/vec3.h"
#include "sections/section_plane.h"

// Helpers for the export tests.
namespace exportsupport {

// Runs the test from <temp>/run, so that "../<name>" lands in <temp>; the
// previous working directory comes back on destruction.
class ScopedWorkDir {
 public:
  ScopedWorkDir();
  ~ScopedWorkDir();
  bool ok() const { return ok_; }
  // Absolute path of <temp> (the parent of the working directory).
  QString parent() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
  QString previous_;
  bool ok_ = false;
};

// Whole text of a file ("" when it cannot be read).
QString readText(const QString& path);
// The file's lines without their newlines (a final newline adds no line).
QStringList readLines(const QString& path);

// A plane with normal (0, 0, 1) at height z carrying `n` triangles side by
// side along x.
SectionPlane planeWithTriangles(float z, int n);

// A contour through the given points (each segment from point k to k + 1,
// the last back to the first).
SectionContour loop(const QList<Vec3>& points, bool isHole = false);

// Absolute path of a command on PATH, "" when not installed.
QString findTool(const QString& name);

// Runs `program` with `args`, waiting up to `timeoutMs`; the exit code
// (-1 when it could not run) and everything it printed.
int runTool(const QString& program, const QStringList& args, QString& output, int timeoutMs = 60000);

}  // namespace exportsupport
