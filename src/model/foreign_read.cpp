#include "model/foreign_read.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "model/assimp_reader.h"
#include "model/limited_child.h"
#include "sections/isolated_worker.h"

namespace {

static_assert(sizeof(Vec3) == 3 * sizeof(float), "vertices travel as three floats");

// The child's answer: a fixed header, the reason, then the vertices (three
// floats each) and the faces (three ints each).
constexpr uint32_t kMagic = 0x4b564652;
struct Header {
  uint32_t magic = kMagic;
  uint32_t status = 0;
  uint32_t errorBytes = 0;
  uint32_t unused = 0;
  uint64_t vertexCount = 0;
  uint64_t faceCount = 0;
};

// Nothing the child can say is longer: a reason of a few lines and the
// triangle budget's mesh.
constexpr uint32_t kMaxErrorBytes = 4096;
constexpr uint64_t kMaxFaces = uint64_t(kAssimpMaxTriangles);
constexpr uint64_t kMaxVertices = 3 * kMaxFaces;


QString gigabytes(long long bytes) { return QString::number(double(bytes) / double(1ll << 30), 'g', 3); }

// Runs in the forked child: reads the file and writes the answer to `fd`.
[[noreturn]] void readInChild(int fd, const QString& path) {
  Header header;
  QString error;
  QVector<Vec3> vertices;
  RenderFaces faces;
  try {
    bool outOfMemory = false;
    if (readAssimpMesh(path, vertices, faces, error, &outOfMemory))
      header.status = uint32_t(ForeignReadStatus::Read);
    else
      header.status = uint32_t(outOfMemory ? ForeignReadStatus::OverBudget : ForeignReadStatus::Refused);
  } catch (const std::bad_alloc&) {
    header.status = uint32_t(ForeignReadStatus::OverBudget);
  }
  if (header.status != uint32_t(ForeignReadStatus::Read)) {
    vertices = QVector<Vec3>();
    faces = RenderFaces();
  }
  const std::string reason = error.toUtf8().left(int(kMaxErrorBytes)).toStdString();
  header.errorBytes = uint32_t(reason.size());
  header.vertexCount = uint64_t(vertices.size());
  header.faceCount = uint64_t(faces.size());
  bool ok = writeFully(fd, &header, sizeof header) && writeFully(fd, reason.data(), reason.size()) &&
            writeFully(fd, vertices.constData(), size_t(vertices.size()) * sizeof(Vec3));
  if (ok && !faces.isEmpty()) ok = writeFully(fd, faces.constData(), size_t(faces.size()) * sizeof(RenderFace));
  _exit(ok ? 0 : 5);
}

// Why the wait for the reader ended, for the user.
ForeignReadStatus failedStatus(const LimitedChild& child, int seconds, QString& error) {
  switch (child.end) {
    case ChildEnd::Cancelled:
      error = QStringLiteral("the reading was cancelled");
      return ForeignReadStatus::Cancelled;
    case ChildEnd::TimedOut:
      error = QStringLiteral("no answer after %1 s").arg(seconds);
      return ForeignReadStatus::TimedOut;
    case ChildEnd::Answered:
    case ChildEnd::Crashed:
      break;
  }
  error = child.signal ? QStringLiteral("the reader stopped with signal %1").arg(child.signal)
                       : QStringLiteral("the reader ended without an answer");
  return ForeignReadStatus::Crashed;
}

}  // namespace

long long foreignReadMemoryBudget(long long fileBytes) { return std::max(3ll << 29, 40 * std::max(0ll, fileBytes)); }

int foreignReadSeconds(long long inputBytes) {
  return int(std::min<long long>(10 + std::max(0ll, inputBytes) / (2 << 20), 1 << 20));
}

namespace {

// The bytes a regular file holds on disk: its size, but not its holes.
long long storedBytes(const QString& path) {
  struct stat st;
  if (stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return std::min<long long>(st.st_size, (long long)st.st_blocks * 512);
}

// Bounds on what is taken from a glTF's text to find its buffers.
constexpr qint64 kMaxGltfTextBytes = 64ll << 20;
constexpr int kMaxGltfBuffers = 1024;

}  // namespace

long long foreignInputBytes(const QString& path) {
  long long bytes = storedBytes(path);
  const QFileInfo info(path);
  if (info.suffix().compare(QLatin1String("gltf"), Qt::CaseInsensitive) != 0 || !info.isFile() ||
      info.size() > kMaxGltfTextBytes)
    return bytes;
  // A text glTF keeps its buffers in the files its "buffers" name.
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return bytes;
  const QJsonArray buffers = QJsonDocument::fromJson(f.readAll()).object().value(QLatin1String("buffers")).toArray();
  const QDir folder = info.absoluteDir();
  for (int i = 0; i < buffers.size() && i < kMaxGltfBuffers; ++i) {
    const QString uri = buffers[i].toObject().value(QLatin1String("uri")).toString();
    if (uri.isEmpty() || uri.startsWith(QLatin1String("data:"))) continue;
    bytes += storedBytes(folder.filePath(QUrl::fromPercentEncoding(uri.toUtf8())));
  }
  return bytes;
}

ForeignReadStatus readForeignMesh(const QString& path, QVector<Vec3>& vertices, RenderFaces& faces,
                                  QString& error, const ForeignReadLimits& limits) {
  vertices.clear();
  faces.clear();
  const QFileInfo info(path);
  if (!info.exists()) {
    error = QStringLiteral("no such file");
    return ForeignReadStatus::Refused;
  }
  if (!info.isFile()) {
    error = QStringLiteral("not a regular file");
    return ForeignReadStatus::Refused;
  }
  const long long inputBytes = foreignInputBytes(path);
  const long long budget = limits.memoryBytes > 0 ? limits.memoryBytes : foreignReadMemoryBudget(inputBytes);
  ForeignReadLimits given = limits;
  if (given.seconds <= 0) given.seconds = foreignReadSeconds(inputBytes);

  int readFd = -1;
  const pid_t pid = startLimitedChild(size_t(budget), [&](int fd) { readInChild(fd, path); }, readFd);
  if (pid < 0) {
    error = QStringLiteral("cannot start the reader: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return ForeignReadStatus::Crashed;
  }
  LimitedChild child(pid, readFd, given.seconds * 1000, given.cancel);
  Header header;
  std::string reason;
  auto fail = [&] {
    vertices.clear();
    faces.clear();
    return failedStatus(child, given.seconds, error);
  };
  if (!child.receive(&header, sizeof header)) return fail();
  if (header.magic != kMagic || header.status > uint32_t(ForeignReadStatus::Cancelled) ||
      header.errorBytes > kMaxErrorBytes || header.vertexCount > kMaxVertices || header.faceCount > kMaxFaces) {
    error = QStringLiteral("the reader gave a malformed answer");
    return ForeignReadStatus::Crashed;
  }
  reason.resize(header.errorBytes);
  if (!child.receive(reason.data(), reason.size())) return fail();
  const auto status = ForeignReadStatus(header.status);
  if (status != ForeignReadStatus::Read) {
    child.finish();
    error = status == ForeignReadStatus::OverBudget
                ? QStringLiteral("the file needs more than %1 GB").arg(gigabytes(budget))
                : QString::fromUtf8(reason.data(), int(reason.size()));
    return status;
  }
  vertices.resize(int(header.vertexCount));
  if (!child.receive(vertices.data(), size_t(header.vertexCount) * sizeof(Vec3))) return fail();
  std::vector<int> corners(size_t(header.faceCount) * 3);
  if (!child.receive(corners.data(), corners.size() * sizeof(int))) return fail();
  child.finish();
  const int n = vertices.size();
  faces.reserve(int(header.faceCount));
  for (size_t f = 0; f < size_t(header.faceCount); ++f) {
    const int* c = &corners[3 * f];
    if (c[0] < 0 || c[0] >= n || c[1] < 0 || c[1] >= n || c[2] < 0 || c[2] >= n) {
      vertices.clear();
      faces.clear();
      error = QStringLiteral("the reader gave a malformed answer");
      return ForeignReadStatus::Crashed;
    }
    faces.append(RenderFace{c[0], c[1], c[2]});
  }
  return ForeignReadStatus::Read;
}
