#include "sections/polygon_strips.h"

#include <algorithm>
#include <cmath>

namespace {

// Strips per edge, and the most list entries per edge before the strips are
// made coarser (tall edges are listed in many strips).
constexpr int kEdgesPerStrip = 2;
constexpr size_t kEntriesPerEdge = 8;

}  // namespace

// NOTE: strip() must be monotone in y (it is: a difference, a product with a
// positive number and a truncation, each monotone in floating point), so
// that an edge whose ends fall in strips a and b is found from every y
// between its ends.
int PolygonStrips::strip(double y) const {
  const double t = (y - y0_) * scale_;
  if (!(t > 0)) return 0;
  return t < double(strips_) ? int(t) : strips_ - 1;
}

PolygonStrips::PolygonStrips(const ContourPolygon& polygon) {
  const int m = polygon.size();
  if (m < 2) return;
  for (double v : polygon.xy)
    if (!std::isfinite(v)) return;  // not built: the plain test answers
  y0_ = y1_ = polygon.xy[1];
  for (int k = 0; k < m; ++k) {
    y0_ = std::min(y0_, polygon.xy[2 * size_t(k) + 1]);
    y1_ = std::max(y1_, polygon.xy[2 * size_t(k) + 1]);
  }
  auto ends = [&](int i, double& lo, double& hi) {
    const int j = i == 0 ? m - 1 : i - 1;
    lo = std::min(polygon.xy[2 * size_t(i) + 1], polygon.xy[2 * size_t(j) + 1]);
    hi = std::max(polygon.xy[2 * size_t(i) + 1], polygon.xy[2 * size_t(j) + 1]);
  };
  strips_ = std::max(1, m / kEdgesPerStrip);
  for (;;) {
    scale_ = y1_ > y0_ ? double(strips_) / (y1_ - y0_) : 0.0;
    if (!std::isfinite(scale_)) strips_ = 1, scale_ = 0.0;
    start_.assign(size_t(strips_) + 1, 0);
    size_t entries = 0;
    for (int i = 0; i < m; ++i) {
      double lo, hi;
      ends(i, lo, hi);
      if (lo == hi) continue;
      const int a = strip(lo), b = strip(hi);
      ++start_[size_t(a)];
      --start_[size_t(b) + 1];  // a difference array: the count of strip s is the sum up to s
      entries += size_t(b - a) + 1;
    }
    if (strips_ == 1 || entries <= kEntriesPerEdge * size_t(m)) break;
    strips_ = std::max(1, strips_ / 4);
  }
  // Counts per strip, then offsets.
  std::vector<int> count(size_t(strips_), 0);
  for (int s = 0, run = 0; s < strips_; ++s) {
    run += start_[size_t(s)];
    count[size_t(s)] = run;
  }
  start_[0] = 0;
  for (int s = 0; s < strips_; ++s) start_[size_t(s) + 1] = start_[size_t(s)] + count[size_t(s)];
  edges_.resize(size_t(start_[size_t(strips_)]));
  std::vector<int> fill(start_.begin(), start_.end() - 1);
  for (int i = 0; i < m; ++i) {
    double lo, hi;
    ends(i, lo, hi);
    if (lo == hi) continue;
    for (int s = strip(lo), b = strip(hi); s <= b; ++s) edges_[size_t(fill[size_t(s)]++)] = i;
  }
}

bool PolygonStrips::contains(const ContourPolygon& polygon, double x, double y) const {
  if (!built()) return polygon.contains(x, y);
  // No edge spans a ray below, above or at the top of the polygon (nor at a
  // y that is not a number): the plain test finds no crossing there either.
  if (!(y >= y0_ && y < y1_)) return false;
  const int m = polygon.size();
  const int s = strip(y);
  bool inside = false;
  for (int k = start_[size_t(s)]; k < start_[size_t(s) + 1]; ++k) {
    const int i = edges_[size_t(k)], j = i == 0 ? m - 1 : i - 1;
    if (crossesRayRight(polygon.xy[2 * size_t(i)], polygon.xy[2 * size_t(i) + 1], polygon.xy[2 * size_t(j)],
                        polygon.xy[2 * size_t(j) + 1], x, y))
      inside = !inside;
  }
  return inside;
}
