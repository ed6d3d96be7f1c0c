#include "sections/planar_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

std::vector<int> mergeRepeatedPoints(std::vector<double>& points) {
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
  points.swap(merged);
  return target;
}

namespace {

// Orientation of r against the line p -> q, with a flag telling whether the
// sign is certain. The bound is far above the worst rounding error of the
// formula (about 3.3e-16 of the same sum, differences included).
int orientation(const double* p, const double* q, const double* r, bool& certain) {
  const double l = (q[0] - p[0]) * (r[1] - p[1]);
  const double rr = (q[1] - p[1]) * (r[0] - p[0]);
  const double det = l - rr;
  const double bound = 1e-12 * (std::fabs(l) + std::fabs(rr));
  certain = std::fabs(det) > bound;
  return det > 0 ? 1 : (det < 0 ? -1 : 0);
}

// Two segments sharing one end: they meet elsewhere only when they overlap,
// that is when the far end of one lies on the other's line within doubt and
// the two run the same way from the shared point.
bool mayOverlap(const double* shared, const double* u, const double* v) {
  bool certain;
  orientation(shared, u, v, certain);
  if (certain) return false;
  return (u[0] - shared[0]) * (v[0] - shared[0]) + (u[1] - shared[1]) * (v[1] - shared[1]) > 0.0;
}

}  // namespace

bool segmentsMayMeet(const double* a, const double* b, const double* c, const double* d) {
  bool k1, k2, k3, k4;
  const int o1 = orientation(a, b, c, k1), o2 = orientation(a, b, d, k2);
  if (k1 && k2 && o1 == o2) return false;
  const int o3 = orientation(c, d, a, k3), o4 = orientation(c, d, b, k4);
  return !(k3 && k4 && o3 == o4);
}

bool mayHaveCrossings(const std::vector<double>& p, const std::vector<int>& segments) {
  return forEachOverlappingPair(p, segments, [&](int j, int k) {
    const int sa = segments[2 * size_t(j)], sb = segments[2 * size_t(j) + 1];
    const int oa = segments[2 * size_t(k)], ob = segments[2 * size_t(k) + 1];
    const bool sameA = oa == sa || oa == sb, sameB = ob == sa || ob == sb;
    if (sameA && sameB) return true;  // the same segment twice
    if (sameA || sameB) {
      // Neighbours in a chain: they share one end and meet nowhere else
      // unless they fold back onto each other.
      const int shared = sameA ? oa : ob;
      const int u = shared == sa ? sb : sa, v = sameA ? ob : oa;
      return mayOverlap(&p[2 * size_t(shared)], &p[2 * size_t(u)], &p[2 * size_t(v)]);
    }
    return segmentsMayMeet(&p[2 * size_t(sa)], &p[2 * size_t(sb)], &p[2 * size_t(oa)], &p[2 * size_t(ob)]);
  });
}

bool spansArea(const std::vector<double>& p) {
  const size_t n = p.size() / 2;
  size_t b = n;
  for (size_t k = 1; k < n; ++k)
    if (p[2 * k] != p[0] || p[2 * k + 1] != p[1]) {
      b = k;
      break;
    }
  if (b == n) return false;  // all points coincide
  const double ux = p[2 * b] - p[0], uy = p[2 * b + 1] - p[1];
  for (size_t k = 1; k < n; ++k) {
    const double vx = p[2 * k] - p[0], vy = p[2 * k + 1] - p[1];
    if (ux * vy - uy * vx != 0.0) return true;
  }
  return false;
}
