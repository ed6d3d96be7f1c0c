#include "support/humancuts_support.h"

#include <QDir>
#include <QFile>
#include <sstream>

#include "engine/cut_plane.h"
#include "support/test_support.h"

namespace humancutsupport {

StudyTree::StudyTree() {
  previous_ = QDir::currentPath();
  if (!dir_.isValid()) return;
  QDir root(dir_.path());
  if (!root.mkpath(QStringLiteral("a/b")) || !root.mkpath(QStringLiteral("userstudy"))) return;
  ok_ = QDir::setCurrent(workDir());
}

StudyTree::~StudyTree() { QDir::setCurrent(previous_); }

QString StudyTree::workDir() const { return dir_.path() + QStringLiteral("/a/b"); }

QByteArray StudyTree::writeModel(const QString& name, const std::string& text) {
  const QString path = workDir() + QLatin1Char('/') + name;
  testsupport::writeTextFile(path, text);
  return path.toLocal8Bit();
}

bool StudyTree::writeCutFile(int user, const QString& modelName, const std::string& text) {
  const QString folder = dir_.path() + QStringLiteral("/userstudy/user") + QString::number(user);
  if (!QDir().mkpath(folder)) return false;
  return testsupport::writeTextFile(folder + QLatin1Char('/') + modelName + QStringLiteral(".obj"), text);
}

std::string centredCubeOff() {
  return "OFF\n8 12 0\n"
         "-0.5 -0.5 -0.5\n0.5 -0.5 -0.5\n0.5 0.5 -0.5\n-0.5 0.5 -0.5\n"
         "-0.5 -0.5 0.5\n0.5 -0.5 0.5\n0.5 0.5 0.5\n-0.5 0.5 0.5\n"
         "3 0 2 1\n3 0 3 2\n3 4 5 6\n3 4 6 7\n3 0 1 5\n3 0 5 4\n"
         "3 2 3 7\n3 2 7 6\n3 1 2 6\n3 1 6 5\n3 0 4 7\n3 0 7 3\n";
}

std::string cutLine(const Vec3& normal, const Vec3& point) {
  Vec3 r1, r2;
  planeAxesFromNormal(normal.normalized(), r1, r2);
  std::ostringstream s;
  s.precision(9);
  s << "cut " << normal.x << ' ' << normal.y << ' ' << normal.z << ' ' << point.x << ' ' << point.y << ' ' << point.z
    << " 0 " << r1.x << ' ' << r1.y << ' ' << r1.z << ' ' << r2.x << ' ' << r2.y << ' ' << r2.z << '\n';
  return s.str();
}

std::string cutFile(const std::string& cutLines, int count) {
  return "cuts " + std::to_string(count) + "\nparticipant notes\n" + cutLines;
}

}  // namespace humancutsupport
