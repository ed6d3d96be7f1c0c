#pragma once

#include "support/debug_capture.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>
#include <string>

#include "engine/vec3.h"

// Helpers for the participants' cut tests.
namespace humancutsupport {

// A temporary study layout <tmp>/userstudy/userK/ beside the working folder
// <tmp>/a/b/, which becomes the working directory for the fixture's lifetime
// (the previous one comes back on destruction). The model lives in the
// working folder and is loaded by its absolute path.
class StudyTree {
 public:
  StudyTree();
  ~StudyTree();
  bool ok() const { return ok_; }
  QString root() const { return dir_.path(); }
  // Absolute path of the working folder <tmp>/a/b.
  QString workDir() const;
  // Writes `text` as the model file `name` in the working folder; returns its
  // absolute path as 8-bit text.
  QByteArray writeModel(const QString& name, const std::string& text);
  // Writes the cut file of user k (1-based) for the model file `modelName`.
  bool writeCutFile(int user, const QString& modelName, const std::string& text);

 private:
  QTemporaryDir dir_;
  QString previous_;
  bool ok_ = false;
};

// OFF text of the cube [-0.5, 0.5]^3 (12 triangles).
std::string centredCubeOff();

// One cut line: tag, normal, a point on the plane, an unused field, and two
// in-plane axes built from the normal.
std::string cutLine(const Vec3& normal, const Vec3& point);

// A whole cut file: the count line, the unused second line, the cut lines.
std::string cutFile(const std::string& cutLines, int count);

using DebugCapture = testsupport::DebugCapture;

}  // namespace humancutsupport
