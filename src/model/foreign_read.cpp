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
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "model/assimp_reader.h"
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

using Clock = std::chrono::steady_clock;

QString gigabytes(long long bytes) { return QString::number(double(bytes) / double(1ll << 30), 'g', 3); }

// Runs in the forked child: reads the file and writes the answer to `fd`.
[[noreturn]] void readInChild(int fd, pid_t parent, const QString& path, long long budget) {
  // The child ends with the thread that waits for it, and never outlives a
  // parent that was killed.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(4);
  // A fault ends the child by its signal, whatever handlers the program (or
  // a checker linked into it) installed.
  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(s, SIG_DFL);
  // Only the answer's pipe stays open: the parent's windows, sockets and
  // other children's pipes are none of the reader's business.
  if (fd > 3) close_range(3, unsigned(fd - 1), 0);
  close_range(unsigned(fd + 1), ~0u, 0);
  limitAddressSpaceGrowth(size_t(budget));

  Header header;
  QString error;
  QVector<Vec3> vertices;
  QVector<QVector<int>> faces;
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
    faces = QVector<QVector<int>>();
  }
  const std::string reason = error.toUtf8().left(int(kMaxErrorBytes)).toStdString();
  header.errorBytes = uint32_t(reason.size());
  header.vertexCount = uint64_t(vertices.size());
  header.faceCount = uint64_t(faces.size());
  bool ok = writeFully(fd, &header, sizeof header) && writeFully(fd, reason.data(), reason.size()) &&
            writeFully(fd, vertices.constData(), size_t(vertices.size()) * sizeof(Vec3));
  int chunk[3 * 4096];
  size_t filled = 0;
  for (int f = 0; ok && f < faces.size(); ++f) {
    for (int c = 0; c < 3; ++c) chunk[filled++] = faces[f].value(c, 0);
    if (filled == sizeof chunk / sizeof chunk[0] || f + 1 == faces.size()) {
      ok = writeFully(fd, chunk, filled * sizeof(int));
      filled = 0;
    }
  }
  _exit(ok ? 0 : 5);
}

// The parent's side: the child, its pipe, and the limits of the wait.
class ChildReader {
 public:
  ChildReader(pid_t pid, int fd, const ForeignReadLimits& limits)
      : pid_(pid),
        fd_(fd),
        limits_(limits),
        deadline_(Clock::now() + std::chrono::seconds(std::max(0, limits.seconds))) {}

  ~ChildReader() {
    close(fd_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      reap(true);
    }
  }

  // Reads exactly `size` bytes of the answer. False when the child ended,
  // the time is over or the read was cancelled (then `status` says which).
  bool receive(void* data, size_t size) {
    char* c = static_cast<char*>(data);
    while (size > 0) {
      if (stopped()) return false;
      pollfd pfd{fd_, POLLIN, 0};
      const int r = poll(&pfd, 1, 50);
      if (r < 0 && errno != EINTR) return ended();
      if (r > 0) {
        const ssize_t got = read(fd_, c, size);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) return ended();
        c += got;
        size -= size_t(got);
        continue;
      }
      // Nothing to read: a child that has ended will send nothing more (its
      // pipe may stay open in another process that forked meanwhile).
      if (reap(false)) {
        const ssize_t got = read(fd_, c, size);
        if (got <= 0) return ended();
        c += got;
        size -= size_t(got);
      }
    }
    return true;
  }

  // After the whole answer: waits for the child to leave.
  void finish() {
    while (pid_ > 0 && !reap(false) && Clock::now() < deadline_) usleep(2000);
  }

  ForeignReadStatus status = ForeignReadStatus::Crashed;
  QString error;

 private:
  bool stopped() {
    if (limits_.cancel && limits_.cancel->load()) {
      status = ForeignReadStatus::Cancelled;
      error = QStringLiteral("the reading was cancelled");
      return true;
    }
    if (Clock::now() >= deadline_) {
      status = ForeignReadStatus::TimedOut;
      error = QStringLiteral("no answer after %1 s").arg(limits_.seconds);
      return true;
    }
    return false;
  }

  // The child ended, or closed its pipe, before its answer was complete.
  bool ended() {
    if (pid_ > 0 && !reap(false)) {
      // Closed its pipe but still runs: give it a moment to end.
      const Clock::time_point until = std::min(deadline_, Clock::now() + std::chrono::seconds(2));
      while (!reap(false) && Clock::now() < until) usleep(2000);
    }
    status = ForeignReadStatus::Crashed;
    if (exited_ && WIFSIGNALED(exitStatus_))
      error = QStringLiteral("the reader stopped with signal %1").arg(WTERMSIG(exitStatus_));
    else
      error = QStringLiteral("the reader ended without an answer");
    return false;
  }

  // True once the child has been waited for.
  bool reap(bool block) {
    if (exited_ || pid_ <= 0) return true;
    int s = 0;
    pid_t r;
    do {
      r = waitpid(pid_, &s, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid_ || r < 0) {
      exited_ = true;
      exitStatus_ = r == pid_ ? s : 0;
      pid_ = -1;
    }
    return exited_;
  }

  pid_t pid_;
  int fd_;
  ForeignReadLimits limits_;
  Clock::time_point deadline_;
  bool exited_ = false;
  int exitStatus_ = 0;
};

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

ForeignReadStatus readForeignMesh(const QString& path, QVector<Vec3>& vertices, QVector<QVector<int>>& faces,
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

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error = QStringLiteral("cannot start the reader: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return ForeignReadStatus::Crashed;
  }
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    const int e = errno;
    close(fds[0]);
    close(fds[1]);
    error = QStringLiteral("cannot start the reader: %1").arg(QString::fromLocal8Bit(std::strerror(e)));
    return ForeignReadStatus::Crashed;
  }
  if (pid == 0) {
    close(fds[0]);
    readInChild(fds[1], parent, path, budget);
  }
  close(fds[1]);

  ChildReader child(pid, fds[0], given);
  Header header;
  std::string reason;
  auto fail = [&] {
    vertices.clear();
    faces.clear();
    error = child.error;
    return child.status;
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
    faces.append(QVector<int>{c[0], c[1], c[2]});
  }
  return ForeignReadStatus::Read;
}
