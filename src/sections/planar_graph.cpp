#include "sections/planar_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <set>

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

namespace {

// Points where more segments than this end make the box sweep quadratic
// (every pair of them has overlapping boxes); such graphs are swept in order.
constexpr int kHubDegree = 8;

// Whether segments j and k may meet anywhere other than at a shared end.
bool pairMayMeet(const std::vector<double>& p, const std::vector<int>& segments, int j, int k) {
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
}

// The sweep of a line across the graph with the segments it meets kept in
// order along it (from below to above), each segment tested against its
// neighbours as they change. The first pair that meets is found before the
// order could go wrong, so a graph in which any two segments meet gives a
// pair that may meet, or a comparison of doubtful sign, and true. Every
// comparison is an orientation whose sign is either certain or ends the
// sweep. O(n log n), however many segments share an end.
class OrderedSweep {
 public:
  OrderedSweep(const std::vector<double>& p, const std::vector<int>& segments)
      : p_(p), segments_(segments), order_(Below{this}) {}

  bool mayHaveCrossings() {
    const int n = int(segments_.size() / 2);
    // Events in order of x, then y (the sweep line turned a little, so that
    // a vertical segment runs from its lower end); at one point the segments
    // that end there leave before those that start there come in.
    struct Event {
      int point, segment;
      bool starts;
    };
    std::vector<Event> events;
    events.reserve(size_t(n) * 2);
    left_.resize(size_t(n));
    right_.resize(size_t(n));
    for (int k = 0; k < n; ++k) {
      int a = segments_[2 * size_t(k)], b = segments_[2 * size_t(k) + 1];
      if (!before(a, b) && !before(b, a)) return true;  // no length: it meets whatever meets its point
      if (before(b, a)) std::swap(a, b);
      left_[size_t(k)] = a, right_[size_t(k)] = b;
      events.push_back(Event{a, k, true});
      events.push_back(Event{b, k, false});
    }
    std::sort(events.begin(), events.end(), [&](const Event& x, const Event& y) {
      if (before(x.point, y.point)) return true;
      if (before(y.point, x.point)) return false;
      return x.starts < y.starts;
    });
    std::vector<Order::iterator> where(static_cast<size_t>(n));
    for (const Event& e : events) {
      if (!e.starts) {
        const Order::iterator it = where[size_t(e.segment)];
        const Order::iterator next = std::next(it);
        const bool hasPrev = it != order_.begin(), hasNext = next != order_.end();
        const int prev = hasPrev ? *std::prev(it) : -1, after = hasNext ? *next : -1;
        order_.erase(it);
        if (hasPrev && hasNext && pairMayMeet(p_, segments_, prev, after)) return true;
        continue;
      }
      inserting_ = e.segment;
      const auto placed = order_.insert(e.segment);
      if (doubt_ || !placed.second) return true;
      const Order::iterator it = placed.first;
      where[size_t(e.segment)] = it;
      if (it != order_.begin() && pairMayMeet(p_, segments_, *std::prev(it), e.segment)) return true;
      if (std::next(it) != order_.end() && pairMayMeet(p_, segments_, *std::next(it), e.segment)) return true;
    }
    return false;
  }

 private:
  const double* at(int point) const { return &p_[2 * size_t(point)]; }
  bool before(int a, int b) const {
    const double* pa = at(a);
    const double* pb = at(b);
    return pa[0] != pb[0] ? pa[0] < pb[0] : pa[1] < pb[1];
  }

  // Whether the segment coming in at its left end lies below segment t
  // there (t is in the order, so it reaches across that point). Sets doubt_
  // when the sign is not certain.
  bool belowOf(int s, int t) const {
    bool certain = false;
    const int q = left_[size_t(s)];
    int o = orientation(at(left_[size_t(t)]), at(right_[size_t(t)]), at(q), certain);
    if (!certain && q == left_[size_t(t)])  // both start here: compare the directions
      o = orientation(at(q), at(right_[size_t(t)]), at(right_[size_t(s)]), certain);
    if (!certain) doubt_ = true;
    return o < 0;
  }

  struct Below {
    const OrderedSweep* sweep;
    bool operator()(int a, int b) const {
      if (a == b) return false;
      if (a == sweep->inserting_) return sweep->belowOf(a, b);
      if (b == sweep->inserting_) return !sweep->belowOf(b, a);
      // Two segments already in the order are never compared.
      sweep->doubt_ = true;
      return a < b;
    }
  };
  using Order = std::set<int, Below>;

  const std::vector<double>& p_;
  const std::vector<int>& segments_;
  std::vector<int> left_, right_;
  Order order_;
  int inserting_ = -1;
  mutable bool doubt_ = false;
};

}  // namespace

bool mayHaveCrossings(const std::vector<double>& p, const std::vector<int>& segments) {
  const int pointCount = int(p.size() / 2);
  std::vector<int> degree(size_t(pointCount), 0);
  int most = 0;
  for (int v : segments) {
    if (v < 0 || v >= pointCount) return true;
    most = std::max(most, ++degree[size_t(v)]);
  }
  if (most > kHubDegree) return OrderedSweep(p, segments).mayHaveCrossings();
  return forEachOverlappingPair(p, segments, [&](int j, int k) { return pairMayMeet(p, segments, j, k); });
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
