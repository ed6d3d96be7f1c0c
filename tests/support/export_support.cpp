#include "support/export_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace exportsupport {

ScopedWorkDir::ScopedWorkDir() : previous_(QDir::currentPath()) {
  if (!dir_.isValid()) return;
  const QString run = dir_.path() + QStringLiteral("/run");
  ok_ = QDir().mkpath(run) && QDir::setCurrent(run);
}

ScopedWorkDir::~ScopedWorkDir() { QDir::setCurrent(previous_); }

QString readText(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(f.readAll());
}

QStringList readLines(const QString& path) {
  QString text = readText(path);
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  if (text.isEmpty()) return {};
  return text.split(QLatin1Char('\n'));
}

SectionPlane planeWithTriangles(float z, int n) {
  SectionPlane p;
  p.normal = Vec3(0, 0, 1);
  p.r1 = Vec3(1, 0, 0);
  p.r2 = Vec3(0, 1, 0);
  p.point = Vec3(0, 0, z);
  p.d = z;
  p.area = 0.5f * float(n);
  for (int i = 0; i < n; ++i) {
    SlabTriangle t;
    t.corners[0] = Vec3(float(i), 0, z);
    t.corners[1] = Vec3(float(i) + 1, 0, z);
    t.corners[2] = Vec3(float(i), 1, z);
    p.triangles.append(t);
  }
  return p;
}

SectionContour loop(const QList<Vec3>& points, bool isHole) {
  SectionContour c;
  for (int k = 0; k < points.size(); ++k) {
    SectionSegment s;
    s.start = points[k];
    s.end = points[(k + 1) % points.size()];
    c.segments.append(s);
  }
  c.isHole = isHole;
  c.isClosed = true;
  return c;
}

QString findTool(const QString& name) { return QStandardPaths::findExecutable(name); }

int runTool(const QString& program, const QStringList& args, QString& output, int timeoutMs) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  if (!p.waitForStarted(timeoutMs)) return -1;
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished();
    return -1;
  }
  output = QString::fromLocal8Bit(p.readAll());
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

}  // namespace exportsupport
