#include "sections/planar_triangulation.h"

#include <QDebug>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// Debian's Triangle is built with double coordinates (REAL = double). Its
// header is included here only: it also defines macros and type names such as
// `triangle`, `org` and `mark` that must not leak into other code.
extern "C" {
#include <triangle.h>
}

namespace {

std::mutex& triangleMutex() {
  static std::mutex m;
  return m;
}

// True when some point lies off the line through two distinct points (exact
// sign test is not needed: Triangle's own predicates handle near-collinear
// input; this only rules out the cases with no area at all).
bool hasArea(const std::vector<double>& p) {
  const size_t n = p.size() / 2;
  size_t a = 0, b = n;
  for (size_t k = 1; k < n; ++k)
    if (p[2 * k] != p[0] || p[2 * k + 1] != p[1]) {
      b = k;
      break;
    }
  if (b == n) return false;  // all points coincide
  const double ux = p[2 * b] - p[2 * a], uy = p[2 * b + 1] - p[2 * a + 1];
  for (size_t k = 1; k < n; ++k) {
    const double vx = p[2 * k] - p[2 * a], vy = p[2 * k + 1] - p[2 * a + 1];
    if (ux * vy - uy * vx != 0.0) return true;
  }
  return false;
}

// Orientation of r against the line p -> q, with a flag telling whether the
// sign is certain (the bound is far above the rounding error of the formula).
int orientation(const double* p, const double* q, const double* r, bool& certain) {
  const double l = (q[0] - p[0]) * (r[1] - p[1]);
  const double rr = (q[1] - p[1]) * (r[0] - p[0]);
  const double det = l - rr;
  const double bound = 1e-12 * (std::fabs(l) + std::fabs(rr));
  certain = std::fabs(det) > bound;
  return det > 0 ? 1 : (det < 0 ? -1 : 0);
}

// True unless one segment lies certainly on one side of the other's line.
bool mayTouch(const double* a, const double* b, const double* c, const double* d) {
  bool k1, k2, k3, k4;
  const int o1 = orientation(a, b, c, k1), o2 = orientation(a, b, d, k2);
  if (k1 && k2 && o1 == o2) return false;
  const int o3 = orientation(c, d, a, k3), o4 = orientation(c, d, b, k4);
  if (k3 && k4 && o3 == o4) return false;
  return true;
}

// Whether two segments of the graph may cross or touch anywhere other than at
// a shared end point. Segments that cross make Triangle compute intersection
// points, and in near-degenerate cases it then ends the process ("Internal
// error in segmentintersection()"). Conservative: doubtful pairs count.
// Sweep over x: about O(n log n) for contours.
bool mayHaveCrossings(const std::vector<double>& p, const std::vector<int>& segments) {
  struct Box {
    double minX, maxX, minY, maxY;
    int a, b;
  };
  const size_t n = segments.size() / 2;
  std::vector<Box> boxes(n);
  for (size_t k = 0; k < n; ++k) {
    const int a = segments[2 * k], b = segments[2 * k + 1];
    boxes[k] = Box{std::min(p[2 * a], p[2 * b]),
                   std::max(p[2 * a], p[2 * b]),
                   std::min(p[2 * a + 1], p[2 * b + 1]),
                   std::max(p[2 * a + 1], p[2 * b + 1]),
                   a,
                   b};
  }
  std::sort(boxes.begin(), boxes.end(), [](const Box& x, const Box& y) { return x.minX < y.minX; });
  std::vector<size_t> active;
  for (size_t k = 0; k < n; ++k) {
    const Box& s = boxes[k];
    size_t w = 0;
    for (size_t r = 0; r < active.size(); ++r)
      if (boxes[active[r]].maxX >= s.minX) active[w++] = active[r];
    active.resize(w);
    for (size_t t : active) {
      const Box& o = boxes[t];
      if (o.maxY < s.minY || o.minY > s.maxY) continue;
      if (o.a == s.a || o.a == s.b || o.b == s.a || o.b == s.b) continue;  // neighbours in a contour
      if (mayTouch(&p[2 * s.a], &p[2 * s.b], &p[2 * o.a], &p[2 * o.b])) return true;
    }
    active.push_back(k);
  }
  return false;
}

bool writeAll(int fd, const void* data, size_t size) {
  const char* c = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t w = write(fd, c, size);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    c += w;
    size -= size_t(w);
  }
  return true;
}

void exitChildAtOnce() { _exit(3); }

// Merges points with equal coordinates into the first of them and drops the
// segments that become a single point. Triangle ignores a repeated point but
// then reads uninitialised memory when a segment ends at it (a crash that
// depends on what the heap held before), so it must only see distinct points.
void mergeRepeatedPoints(std::vector<double>& points, std::vector<int>& segments) {
  const size_t n = points.size() / 2;
  size_t size = 16;
  while (size < n * 2) size *= 2;
  const size_t mask = size - 1;
  std::vector<int> table(size, -1);
  std::vector<int> target(n);
  std::vector<double> merged;
  merged.reserve(points.size());
  auto bits = [](double v) {
    v += 0.0;  // -0 -> +0: they compare equal
    uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    return u;
  };
  for (size_t k = 0; k < n; ++k) {
    const double x = points[2 * k], y = points[2 * k + 1];
    uint64_t h = bits(x) * 0x9E3779B97F4A7C15ull ^ (bits(y) + 0x632BE59BD9B4E019ull);
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    size_t slot = size_t(h) & mask;
    int found = -1;
    while (table[slot] >= 0) {
      const int m = table[slot];
      if (merged[2 * size_t(m)] == x && merged[2 * size_t(m) + 1] == y) {
        found = m;
        break;
      }
      slot = (slot + 1) & mask;
    }
    if (found < 0) {
      found = int(merged.size() / 2);
      table[slot] = found;
      merged.push_back(x);
      merged.push_back(y);
    }
    target[k] = found;
  }
  std::vector<int> kept;
  kept.reserve(segments.size());
  for (size_t k = 0; k + 1 < segments.size(); k += 2) {
    const int a = target[size_t(segments[k])], b = target[size_t(segments[k + 1])];
    if (a == b) continue;
    kept.push_back(a);
    kept.push_back(b);
  }
  points.swap(merged);
  segments.swap(kept);
}

void freeOutput(triangulateio& out) {
  trifree(out.pointlist);
  trifree(out.pointattributelist);
  trifree(out.pointmarkerlist);
  trifree(out.trianglelist);
  trifree(out.triangleattributelist);
  trifree(out.neighborlist);
  trifree(out.segmentlist);
  trifree(out.segmentmarkerlist);
  trifree(out.edgelist);
  trifree(out.edgemarkerlist);
  trifree(out.normlist);
  // holelist and regionlist are the caller's input arrays handed back.
}

// Triangle's call with the switches "pzQ"; copies its output points and
// triangles and frees its arrays.
void runTriangle(triangulateio& in, std::vector<double>& outPoints, std::vector<int>& outTriangles) {
  triangulateio out{};  // every pointer null
  char switches[] = "pzQ";
  triangulate(switches, &in, &out, nullptr);

  const int outPointCount = out.numberofpoints;
  if (out.pointlist && outPointCount > 0) outPoints.assign(out.pointlist, out.pointlist + 2 * outPointCount);
  if (out.trianglelist && out.numberoftriangles > 0) {
    // Three corners per triangle (no higher-order switch is given).
    const int corners = out.numberofcorners > 0 ? out.numberofcorners : 3;
    outTriangles.reserve(size_t(out.numberoftriangles) * 3);
    for (int t = 0; t < out.numberoftriangles; ++t)
      for (int c = 0; c < 3; ++c) {
        const int idx = out.trianglelist[t * corners + c];
        outTriangles.push_back(idx >= 0 && idx < outPointCount ? idx : 0);
      }
  }
  freeOutput(out);
}

// Runs Triangle in a child process, so that the library ending the process on
// input it cannot resolve ends the child only. The results come back through
// a pipe. Returns false when the child fails or takes longer than 10 s.
bool runTriangleIsolated(triangulateio& in, std::vector<double>& outPoints, std::vector<int>& outTriangles) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    close(fds[0]);
    // Runs first when Triangle calls exit(): skip the parent's exit handlers
    // and static destructors.
    std::atexit(exitChildAtOnce);
    std::vector<double> points;
    std::vector<int> triangles;
    runTriangle(in, points, triangles);
    const int64_t header[2] = {int64_t(points.size()), int64_t(triangles.size())};
    const bool ok = writeAll(fds[1], header, sizeof header) &&
                    writeAll(fds[1], points.data(), points.size() * sizeof(double)) &&
                    writeAll(fds[1], triangles.data(), triangles.size() * sizeof(int));
    _exit(ok ? 0 : 4);
  }
  close(fds[1]);

  std::string data;
  bool timedOut = false;
  int waitedMs = 0;
  char buffer[65536];
  for (;;) {
    pollfd pfd{fds[0], POLLIN, 0};
    const int r = poll(&pfd, 1, 100);
    if (r < 0 && errno == EINTR) continue;
    if (r == 0) {
      waitedMs += 100;
      if (waitedMs >= 10000) {
        timedOut = true;
        break;
      }
      continue;
    }
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    data.append(buffer, size_t(got));
  }
  close(fds[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;

  int64_t header[2];
  if (data.size() < sizeof header) return false;
  std::memcpy(header, data.data(), sizeof header);
  if (header[0] < 0 || header[1] < 0 ||
      data.size() != sizeof header + size_t(header[0]) * sizeof(double) + size_t(header[1]) * sizeof(int))
    return false;
  outPoints.resize(size_t(header[0]));
  outTriangles.resize(size_t(header[1]));
  std::memcpy(outPoints.data(), data.data() + sizeof header, outPoints.size() * sizeof(double));
  std::memcpy(outTriangles.data(), data.data() + sizeof header + outPoints.size() * sizeof(double),
              outTriangles.size() * sizeof(int));
  const int pointCount = int(outPoints.size() / 2);
  for (int idx : outTriangles)
    if (idx < 0 || idx >= pointCount) return false;
  return true;
}

}  // namespace

bool triangulateGraph(const std::vector<double>& points, const std::vector<int>& segments,
                      const std::vector<double>& holes, std::vector<double>& outPoints,
                      std::vector<int>& outTriangles) {
  outPoints.clear();
  outTriangles.clear();
  const int pointCount = int(points.size() / 2);
  const int segmentCount = int(segments.size() / 2);
  const int holeCount = int(holes.size() / 2);
  if (pointCount < 3) return false;
  // Coordinates come from single-precision points; anything beyond that range
  // could overflow Triangle's predicates.
  auto usable = [](double v) { return std::isfinite(v) && std::fabs(v) <= 3.5e38; };
  for (double v : points)
    if (!usable(v)) return false;
  for (double v : holes)
    if (!usable(v)) return false;
  for (int i : segments)
    if (i < 0 || i >= pointCount) return false;
  if (!hasArea(points)) return false;

  // Triangle takes non-const pointers but only reads the input arrays.
  std::vector<double> pointlist(points.begin(), points.begin() + 2 * pointCount);
  std::vector<int> segmentlist(segments.begin(), segments.begin() + 2 * segmentCount);
  std::vector<double> holelist(holes.begin(), holes.begin() + 2 * holeCount);
  mergeRepeatedPoints(pointlist, segmentlist);
  if (pointlist.size() / 2 < 3) return false;

  triangulateio in{};
  in.pointlist = pointlist.data();
  in.pointattributelist = nullptr;
  in.pointmarkerlist = nullptr;
  in.numberofpoints = int(pointlist.size() / 2);
  in.numberofpointattributes = 0;
  in.segmentlist = segmentlist.empty() ? nullptr : segmentlist.data();
  in.segmentmarkerlist = nullptr;
  in.numberofsegments = int(segmentlist.size() / 2);
  in.holelist = holeCount > 0 ? holelist.data() : nullptr;
  in.numberofholes = holeCount;
  in.regionlist = nullptr;
  in.numberofregions = 0;

  if (mayHaveCrossings(pointlist, segmentlist)) {
    if (runTriangleIsolated(in, outPoints, outTriangles)) return true;
    outPoints.clear();
    outTriangles.clear();
    qDebug("Slab left empty: the triangulation failed on crossing contours");
    return false;
  }
  std::lock_guard<std::mutex> lock(triangleMutex());
  runTriangle(in, outPoints, outTriangles);
  return true;
}
