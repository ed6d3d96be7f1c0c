#include "export/plane_journal.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <cerrno>

#include <signal.h>
#include <unistd.h>

#include "export/atomic_text_file.h"
#include "model/text_input.h"

namespace {

const char kFirstLine[] = "korvane plane journal 1";
// Paths are at most a few thousand bytes; a plane line is under 500.
constexpr int kMaxLine = 16384;
constexpr int kPlaneNumbers = 23;

bool processRuns(qint64 pid) { return pid > 0 && (kill(pid_t(pid), 0) == 0 || errno == EPERM); }

// The process id in "planes-<pid>.journal", or 0.
qint64 journalPid(const QString& fileName) {
  if (!fileName.startsWith(QLatin1String("planes-")) || !fileName.endsWith(QLatin1String(".journal"))) return 0;
  bool ok = false;
  const qint64 pid = fileName.mid(7, fileName.size() - 15).toLongLong(&ok);
  return ok ? pid : 0;
}

void writeVec(AtomicTextFile& f, const Vec3& v) { f.printf(" %.9g %.9g %.9g", double(v.x), double(v.y), double(v.z)); }

bool textFits(const QString& s) { return !s.contains(QLatin1Char('\n')) && !s.contains(QLatin1Char('\r')); }

}  // namespace

PlaneJournal::PlaneJournal(const QString& folder) {
  QDir().mkpath(folder);
  path_ = QDir(folder).filePath(QStringLiteral("planes-%1.journal").arg(qint64(getpid())));
}

bool PlaneJournal::write(const PlaneJournalRecord& r) const {
  if (!textFits(r.modelPath) || !textFits(r.label) || !textFits(r.segmentationPath)) return false;
  AtomicTextFile f;
  if (!f.open(path_)) return false;
  f.printf("%s\n", kFirstLine);
  f.write("model " + r.modelPath.toUtf8() + "\n");
  f.write("label " + r.label.toUtf8() + "\n");
  f.write("segmentation " + r.segmentationPath.toUtf8() + "\n");
  f.printf("sequence %d %d\n", r.seed, r.sequenceIndex);
  const int n = std::min(int(r.planes.size()), kMaxJournalPlanes);
  f.printf("planes %d\n", n);
  for (int i = 0; i < n; ++i) {
    const SectionPlane& p = r.planes[i];
    f.write("plane");
    writeVec(f, p.normal);
    writeVec(f, p.r1);
    writeVec(f, p.r2);
    f.printf(" %.9g", double(p.d));
    writeVec(f, p.point);
    for (const Vec3& h : p.handles) writeVec(f, h);
    f.printf(" %.9g %d\n", double(p.extent), p.segmentIndex);
  }
  return f.commit();
}

void PlaneJournal::clear() const { QFile::remove(path_); }

QStringList PlaneJournal::orphaned(const QString& folder) {
  QFileInfoList entries =
      QDir(folder).entryInfoList({QStringLiteral("planes-*.journal")}, QDir::Files, QDir::Time | QDir::Reversed);
  QStringList found;
  for (const QFileInfo& e : entries) {
    const qint64 pid = journalPid(e.fileName());
    if (pid > 0 && pid != qint64(getpid()) && !processRuns(pid)) found.append(e.filePath());
  }
  return found;
}

bool PlaneJournal::read(const QString& path, PlaneJournalRecord& r, QString& error) {
  r = PlaneJournalRecord();
  const QByteArray path8 = QFile::encodeName(path);
  TextInput in(path8.constData(), "plane journal");
  if (!in.isOpen()) {
    error = QStringLiteral("cannot open the journal");
    return false;
  }
  QByteArray line;
  bool truncated = false;
  if (!in.readLine(line, kMaxLine, truncated) || line != kFirstLine) {
    error = QStringLiteral("not a plane journal");
    return false;
  }
  int declared = -1;
  while (in.readLine(line, kMaxLine, truncated)) {
    if (truncated) continue;
    const auto rest = [&](int skip) { return QString::fromUtf8(line.mid(skip)); };
    if (line.startsWith("model ")) {
      r.modelPath = rest(6);
    } else if (line.startsWith("label ")) {
      r.label = rest(6);
    } else if (line.startsWith("segmentation ")) {
      r.segmentationPath = rest(13);
    } else if (line.startsWith("sequence ")) {
      const QList<QByteArray> f = line.mid(9).simplified().split(' ');
      int seed = 0, index = -1;
      if (f.size() == 2 && parseIntC(f[0], seed) && parseIntC(f[1], index)) {
        r.seed = seed;
        r.sequenceIndex = index;
      }
    } else if (line.startsWith("planes ")) {
      if (!parseIntC(line.mid(7), declared) || declared < 0 || declared > kMaxJournalPlanes) declared = -1;
    } else if (line.startsWith("plane ") && r.planes.size() < kMaxJournalPlanes) {
      const QList<QByteArray> f = line.mid(6).simplified().split(' ');
      if (f.size() != kPlaneNumbers + 1) continue;
      float v[kPlaneNumbers];
      bool ok = true;
      for (int k = 0; k < kPlaneNumbers && ok; ++k) ok = parseFloatC(f[k], v[k]) && std::isfinite(v[k]);
      int segment = 0;
      if (!ok || !parseIntC(f[kPlaneNumbers], segment)) continue;
      SectionPlane p;
      const float* c = v;
      const auto take = [&c](Vec3& out) {
        out = Vec3(c[0], c[1], c[2]);
        c += 3;
      };
      take(p.normal);
      take(p.r1);
      take(p.r2);
      p.d = *c++;
      take(p.point);
      for (Vec3& h : p.handles) take(h);
      p.extent = *c++;
      p.segmentIndex = segment;
      if (p.normal.length() < 0.5f) continue;  // no plane
      r.planes.append(p);
    }
  }
  if (r.modelPath.isEmpty()) {
    error = QStringLiteral("the journal names no model");
    return false;
  }
  if (declared >= 0 && declared != r.planes.size())
    qDebug("Plane journal %s: %d of %d planes readable", path8.constData(), int(r.planes.size()), declared);
  return true;
}

QString defaultJournalFolder() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
      .filePath(QStringLiteral("journal"));
}
