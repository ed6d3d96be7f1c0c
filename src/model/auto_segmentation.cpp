#include "model/auto_segmentation.h"
#include "model/limited_child.h"

#include <QFile>
#include <QLocale>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <queue>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "model/sdf_segmentation.h"
#include "model/segmentation_proxy.h"
#include "sections/isolated_worker.h"
#include "trimesh/kdtree.h"

// The defaults of AutoSegmentationParams were chosen by measurement
// (bench/auto_segmentation_bench.cpp: BM_AutoSegmentationOracle scores them
// by the area-weighted Rand index against the 19 bundled models' hand-made
// segmentations, as they are and subdivided once, and checks a dumbbell, a
// sphere and a capsule; BM_AutoSegmentation times them beside the load):
//   proxyFaces 3000: Rand index 0.989 (0.980 subdivided), against 0.979 at
//     2000 and 0.986 at 2500; 3500 gains little (0.991) and each 500 faces
//     more cost about 15 % of the segmentation.
//   rays 3: as good as 4, 6 or 12 (0.989, 0.987, 0.988) on every check; 2
//     keep the index on the models as they are but drop it to 0.974
//     subdivided (0.89 on the worst model). The rays are the largest part of
//     the child's time (they run in double arithmetic, see
//     sdf_segmentation.cpp); with 3 rays 100,000 faces take about 95 ms in
//     all when nothing runs beside them, against a load of about 100 ms.
//   clusters 5, smoothing 0.26 (CGAL's defaults): 4 clusters or smoothing
//     0.4 to 0.6 score 0.990, a gain within the noise, but the bundled
//     models' parts are separate pieces that smoothing cannot join anyway;
//     on the one-piece dumbbell smoothing 0.8 (0.6 with 6 rays) already
//     merges the bar into the balls.
//   minSegmentArea 0.002: merges the slivers a proxy leaves (9.6 segments
//     per model against 11.6 unmerged and 9.1 by hand) at no cost in the
//     index; at 0.02 real parts merge (0.978, 6.8 segments).

namespace {

using segproxy::Input;
using segproxy::Soup;

// What the child may use: 1 GiB of address space beyond what it inherits (the
// soup it segments has at most a few thousand faces, or the whole mesh when
// that is smaller) and a time of 20 s.
constexpr long long kChildMemoryBytes = 1ll << 30;
constexpr int kChildTimeMs = 20000;

// ---------------------------------------------------------------------------
// CGAL in a child process.

constexpr uint32_t kMagic = 0x4b534446;
struct Header {
  uint32_t magic = kMagic;
  uint32_t ok = 0;
  uint32_t noInside = 0;
  uint32_t reasonBytes = 0;
  uint64_t faceCount = 0;
  uint64_t segmentCount = 0;
};
constexpr uint32_t kMaxReasonBytes = 1024;

[[noreturn]] void segmentInChild(int fd, const Soup& soup, const sdfseg::Params& params, long long memoryBytes) {
  Header header;
  sdfseg::Result result;
  std::string why;
  try {
    header.ok = sdfseg::segmentSoup(soup.points, soup.triangles, params, result, why) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    char text[96];
    std::snprintf(text, sizeof text, "the segmentation needs more than %.3g GB of memory", double(memoryBytes) / 1e9);
    why = text;
  } catch (const std::exception& e) {
    why = std::string("the segmentation library failed: ") + e.what();
  } catch (...) {
    why = "the segmentation library failed";
  }
  if (!header.ok) result = sdfseg::Result();
  why.resize(std::min<size_t>(why.size(), kMaxReasonBytes));
  header.reasonBytes = uint32_t(why.size());
  header.noInside = result.noInside ? 1 : 0;
  header.faceCount = result.faceSegment.size();
  header.segmentCount = uint64_t(std::max(0, result.segmentCount));
  const bool sent = writeFully(fd, &header, sizeof header) && writeFully(fd, why.data(), why.size()) &&
                    writeFully(fd, result.centroids.data(), result.centroids.size() * sizeof(float)) &&
                    writeFully(fd, result.normals.data(), result.normals.size() * sizeof(float)) &&
                    writeFully(fd, result.faceSegment.data(), result.faceSegment.size() * sizeof(int));
  _exit(sent ? 0 : 5);
}

// Why the wait for the child ended, for the user.
QString childFailure(const LimitedChild& child, int timeMs) {
  switch (child.end) {
    case ChildEnd::Cancelled:
      return QStringLiteral("the segmentation was cancelled");
    case ChildEnd::TimedOut:
      return QStringLiteral("the segmentation took longer than %1 s").arg(double(timeMs) / 1000.0, 0, 'g', 3);
    case ChildEnd::Answered:
    case ChildEnd::Crashed:
      break;
  }
  return child.signal ? QStringLiteral("the segmentation stopped with signal %1").arg(child.signal)
                      : QStringLiteral("the segmentation ended without an answer");
}

// Segments `soup` with CGAL in a forked child and checks what comes back:
// as many centroids as ids, finite centroids, ids within the count.
bool segmentIsolated(const Soup& soup, const sdfseg::Params& params, int timeMs, long long memoryBytes,
                     const std::atomic<bool>* cancel, sdfseg::Result& result, QString& failure) {
  int readFd = -1;
  const pid_t pid = startLimitedChild(
      size_t(memoryBytes), [&](int fd) { segmentInChild(fd, soup, params, memoryBytes); }, readFd);
  if (pid < 0) {
    failure = QStringLiteral("cannot start the segmentation: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  LimitedChild child(pid, readFd, timeMs, cancel);
  Header header;
  if (!child.receive(&header, sizeof header)) {
    failure = childFailure(child, timeMs);
    return false;
  }
  const uint64_t maxFaces = uint64_t(soup.faceCount());
  if (header.magic != kMagic || header.reasonBytes > kMaxReasonBytes || header.faceCount > maxFaces ||
      header.segmentCount > std::max<uint64_t>(1, header.faceCount)) {
    failure = QStringLiteral("the segmentation answered nonsense");
    return false;
  }
  std::string reason(header.reasonBytes, '\0');
  if (!child.receive(reason.data(), reason.size())) {
    failure = childFailure(child, timeMs);
    return false;
  }
  if (!header.ok) {
    failure = reason.empty() ? QStringLiteral("the segmentation failed") : QString::fromStdString(reason);
    return false;
  }
  if (header.faceCount == 0 || header.segmentCount == 0) {
    failure = QStringLiteral("the segmentation answered nonsense");
    return false;
  }
  result.centroids.resize(3 * size_t(header.faceCount));
  result.normals.resize(3 * size_t(header.faceCount));
  result.faceSegment.resize(size_t(header.faceCount));
  if (!child.receive(result.centroids.data(), result.centroids.size() * sizeof(float)) ||
      !child.receive(result.normals.data(), result.normals.size() * sizeof(float)) ||
      !child.receive(result.faceSegment.data(), result.faceSegment.size() * sizeof(int))) {
    failure = childFailure(child, timeMs);
    return false;
  }
  result.segmentCount = int(header.segmentCount);
  result.noInside = header.noInside != 0;
  for (const std::vector<float>* list : {&result.centroids, &result.normals})
    for (float x : *list)
      if (!std::isfinite(x)) {
        failure = QStringLiteral("the segmentation answered nonsense");
        return false;
      }
  for (int id : result.faceSegment)
    if (id < 0 || id >= result.segmentCount) {
      failure = QStringLiteral("the segmentation gave an id out of range");
      return false;
    }
  return true;
}

// ---------------------------------------------------------------------------
// Back to every input face.

// Accepts segmented faces whose normal is within 60 degrees of a line (either
// way: the input's winding may be anything).
class AlongNormal : public KDtree::CompatFunc {
 public:
  AlongNormal(const sdfseg::Result& r, const double* n) : r_(r), n_(n) {}
  bool operator()(const float* p) const override {
    const float* m = &r_.normals[size_t(p - r_.centroids.data())];
    return std::abs(n_[0] * m[0] + n_[1] * m[1] + n_[2] * m[2]) >= 0.5;
  }

 private:
  const sdfseg::Result& r_;
  const double* n_;
};

// Every good face takes the id of the segmented face nearest to its centroid
// among those that lie within one proxy spacing of the nearest and have a
// normal within 60 degrees of its own (else of the nearest): where parts meet
// at an angle, a face keeps to the part it lies along. Every other face takes
// the id of the segmented face nearest to the centroid of its usable corners,
// or, with none, that of the nearest face before (else after) it in face
// order. O(n log m) for m segmented faces.
QVector<int> transferIds(const Input& in, const RenderFaces& faces, const sdfseg::Result& r) {
  const KDtree tree(r.centroids.data(), r.faceSegment.size());
  const int nf = faces.size(), nv = int(in.finite.size());
  const double spacing = std::sqrt(2.0 * in.area / std::max<size_t>(1, r.faceSegment.size()));
  QVector<int> ids(nf, -1);
  int* const out = ids.data();  // written by two threads below: no copy-on-write check per face
  auto idOf = [&](const float* p) { return r.faceSegment[size_t(p - r.centroids.data()) / 3]; };
  auto place = [&](int f) {
    double c[3] = {0.0, 0.0, 0.0};
    int corners = 0;
    const RenderFace& face = faces[f];
    for (int k = 0; k < std::min(3, int(face.size())); ++k) {
      const int v = face[k];
      if (v < 0 || v >= nv || !in.finite[size_t(v)]) continue;
      for (int d = 0; d < 3; ++d) c[d] += in.position[3 * size_t(v) + size_t(d)];
      ++corners;
    }
    if (corners == 0) return;
    for (double& x : c) x /= corners;
    const float q[3] = {float(c[0]), float(c[1]), float(c[2])};
    const float* nearest = tree.nearest(q, 1e6f);
    if (!nearest) return;
    out[f] = idOf(nearest);
    if (in.corner[3 * size_t(f)] < 0) return;
    // The good face's unit normal.
    const int* t = &in.corner[3 * size_t(f)];
    const double* a = &in.position[3 * size_t(t[0])];
    const double* b = &in.position[3 * size_t(t[1])];
    const double* d = &in.position[3 * size_t(t[2])];
    const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w[3] = {d[0] - a[0], d[1] - a[1], d[2] - a[2]};
    double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (double& x : n) x /= length;
    const AlongNormal along(r, n);
    if (along(nearest)) return;
    double d2 = 0.0;
    for (int k = 0; k < 3; ++k) d2 += (double(nearest[k]) - c[k]) * (double(nearest[k]) - c[k]);
    const double reach = std::sqrt(d2) + spacing;
    if (const float* p = tree.nearest(q, float(reach * reach), &along)) out[f] = idOf(p);
  };
  // Faces are placed independently: the second half on a thread of its own
  // when there are enough, else all here.
  const int half = nf >= 20000 ? nf / 2 : nf;
  std::thread second;
  if (half < nf) {
    try {
      second = std::thread([&] {
        for (int f = half; f < nf; ++f) place(f);
      });
    } catch (const std::system_error&) {
    }
  }
  for (int f = 0; f < half; ++f) place(f);
  if (second.joinable())
    second.join();
  else
    for (int f = half; f < nf; ++f) place(f);
  int last = -1;
  for (int f = 0; f < nf; ++f) {
    if (ids[f] >= 0)
      last = ids[f];
    else
      ids[f] = last;
  }
  last = -1;
  for (int f = nf - 1; f >= 0; --f) {
    if (ids[f] >= 0)
      last = ids[f];
    else
      ids[f] = last;
  }
  for (int& id : ids)
    if (id < 0) id = 0;  // only when no face at all could be placed
  return ids;
}

// Merges every segment with less than `minShare` of the good faces' area
// into the segment it touches most (counted in corners shared between their
// faces; on a tie the lower id), smallest first (on a tie the lower id);
// segments that touch none stay. Then renumbers the ids 0, 1, ... in order of
// first appearance and returns their count. The contacts are kept sparse, a
// few per face, so this is O(n log n) in the faces however many segments
// there are.
int mergeSmallSegments(const Input& in, QVector<int>& ids, int count, double minShare) {
  const size_t nf = size_t(ids.size());
  std::vector<int> into(static_cast<size_t>(count));
  for (int s = 0; s < count; ++s) into[size_t(s)] = s;
  if (minShare > 0.0 && count > 1 && in.area > 0.0) {
    const size_t n = size_t(count);
    const double limit = minShare * in.area;
    std::vector<double> area(n, 0.0);
    std::vector<std::unordered_map<int, double>> touch(n);
    std::vector<int> firstSegment(in.finite.size(), -1);
    for (size_t f = 0; f < nf; ++f) {
      const int* t = &in.corner[3 * f];
      if (t[0] < 0) continue;
      const int s = ids[int(f)];
      const double* a = &in.position[3 * size_t(t[0])];
      const double* b = &in.position[3 * size_t(t[1])];
      const double* c = &in.position[3 * size_t(t[2])];
      const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
      const double x = u[1] * w[2] - u[2] * w[1], y = u[2] * w[0] - u[0] * w[2], z = u[0] * w[1] - u[1] * w[0];
      area[size_t(s)] += 0.5 * std::sqrt(x * x + y * y + z * z);
      for (int k = 0; k < 3; ++k) {
        int& first = firstSegment[size_t(t[k])];
        if (first < 0)
          first = s;
        else if (first != s) {
          touch[size_t(first)][s] += 1.0;
          touch[size_t(s)][first] += 1.0;
        }
      }
    }
    // Smallest first; an entry whose area has changed since is stale.
    using Entry = std::pair<double, int>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
    for (size_t s = 0; s < n; ++s)
      if (area[s] < limit) queue.emplace(area[s], int(s));
    std::vector<char> alive(n, 1);
    while (!queue.empty()) {
      const Entry top = queue.top();
      queue.pop();
      const size_t smallest = size_t(top.second);
      if (!alive[smallest] || top.first != area[smallest] || touch[smallest].empty()) continue;
      int best = -1;
      double most = 0.0;
      for (const auto& [t, k] : touch[smallest])
        if (k > most || (k == most && t < best)) best = t, most = k;
      alive[smallest] = 0;
      area[size_t(best)] += area[smallest];
      for (const auto& [t, k] : touch[smallest]) {
        touch[size_t(t)].erase(int(smallest));
        if (t == best) continue;
        touch[size_t(best)][t] += k;
        touch[size_t(t)][best] += k;
      }
      std::unordered_map<int, double>().swap(touch[smallest]);
      into[smallest] = best;
      if (area[size_t(best)] < limit) queue.emplace(area[size_t(best)], best);
    }
  }
  std::vector<int> renumber(size_t(count), -1);
  int kept = 0;
  for (int& id : ids) {
    int s = id;
    while (into[size_t(s)] != s) s = into[size_t(s)];
    if (renumber[size_t(s)] < 0) renumber[size_t(s)] = kept++;
    id = renumber[size_t(s)];
  }
  return kept;
}

QString grouped(long long n) { return QLocale(QLocale::English).toString(n); }

}  // namespace

AutoSegmentation computeAutoSegmentation(const QVector<Vec3>& vertices, const RenderFaces& faces,
                                         const std::atomic<bool>* cancel) {
  return computeAutoSegmentation(vertices, faces, cancel, AutoSegmentationParams());
}

AutoSegmentation computeAutoSegmentation(const QVector<Vec3>& vertices, const RenderFaces& faces,
                                         const std::atomic<bool>* cancel, const AutoSegmentationParams& params) {
  AutoSegmentation out;
  if (faces.isEmpty()) {
    out.failure = QStringLiteral("the mesh has no faces");
    return out;
  }
  const Input in = segproxy::prepareInput(vertices, faces);
  if (in.goodFaces == 0) {
    out.failure = QStringLiteral("no face has three distinct finite corners with an area");
    return out;
  }
  if (cancel && cancel->load()) {
    out.failure = QStringLiteral("the segmentation was cancelled");
    return out;
  }
  const bool proxy = params.proxyFaces > 0 && in.goodFaces > params.proxyFaces;
  const Soup soup = proxy ? segproxy::clusteredSoup(in, params.proxyFaces) : segproxy::wholeSoup(in);
  if (soup.faceCount() == 0) {
    out.failure = QStringLiteral("the coarse copy of the mesh has no faces left");
    return out;
  }

  sdfseg::Params sdf;
  sdf.rays = std::max(1, params.rays);
  sdf.clusters = std::max(1, params.clusters);
  sdf.smoothing = params.smoothing;
  sdfseg::Result result;
  const int timeMs = params.timeLimitMs > 0 ? params.timeLimitMs : kChildTimeMs;
  const long long memoryBytes = params.memoryBytes > 0 ? params.memoryBytes : kChildMemoryBytes;
  if (!segmentIsolated(soup, sdf, timeMs, memoryBytes, cancel, result, out.failure)) return out;

  out.faceSegment = transferIds(in, faces, result);
  out.segmentCount = mergeSmallSegments(in, out.faceSegment, result.segmentCount, params.minSegmentArea);
  const QString of =
      proxy ? QStringLiteral("%1-face proxy").arg(grouped(soup.faceCount())) : QStringLiteral("whole mesh");
  out.method = QStringLiteral("shape diameter: %1 segment%2 (clusters %3, smoothing %4, %5 rays, %6%7)")
                   .arg(out.segmentCount)
                   .arg(out.segmentCount == 1 ? "" : "s")
                   .arg(sdf.clusters)
                   .arg(sdf.smoothing, 0, 'g', 3)
                   .arg(sdf.rays)
                   .arg(of)
                   .arg(result.noInside ? QStringLiteral("; no inside found, one segment") : QString());
  return out;
}

bool writeSegmentationFile(const QString& path, const QVector<int>& faceSegment, QString* why) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    if (why) *why = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
  }
  QByteArray text;
  text.reserve(faceSegment.size() * 4);
  for (int id : faceSegment) {
    text += QByteArray::number(id);
    text += '\n';
  }
  if (file.write(text) != text.size() || !file.commit()) {
    if (why) *why = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
  }
  return true;
}
