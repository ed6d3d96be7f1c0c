#include "meshedit/nearest_point_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kMaxCellsPerAxis = 1024;
constexpr double kMaxCells = 16.0 * 1024 * 1024;
constexpr double kCellsPerPoint = 4.0;

inline float squaredDistance(const Vec3& a, const Vec3& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

// (distance, index) ordering of the scan: smaller distance first, then the
// lower index.
inline bool better(float d, int i, float bestD, int bestI) {
  return bestI < 0 || d < bestD || (d == bestD && i < bestI);
}

}  // namespace

NearestPointGrid::NearestPointGrid(const QVector<Vec3>& points) : points_(points) {
  const float big = std::numeric_limits<float>::max();
  Vec3 lo(big, big, big), hi(-big, -big, -big);
  int finite = 0;
  for (const Vec3& p : points_) {
    if (!p.isFinite()) continue;
    ++finite;
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], p[a]);
      hi[a] = std::max(hi[a], p[a]);
    }
  }
  if (finite == 0) {
    start_.assign(2, 0);
    return;
  }
  origin_ = lo;
  double extent[3];
  double largest = 0.0;
  for (int a = 0; a < 3; ++a) {
    extent[a] = double(hi[a]) - double(lo[a]);
    largest = std::max(largest, extent[a]);
  }
  if (largest > 0.0 && std::isfinite(largest)) {
    // Flat directions get a thin slab so that the volume is not zero.
    double volume = 1.0;
    for (int a = 0; a < 3; ++a) volume *= std::max(extent[a], largest * 1e-3);
    double size = std::cbrt(volume / (kCellsPerPoint * finite));
    for (;;) {
      double cells = 1.0;
      for (int a = 0; a < 3; ++a) {
        dims_[a] = int(std::min<double>(kMaxCellsPerAxis, std::max(1.0, std::ceil(extent[a] / size))));
        cells *= dims_[a];
      }
      if (cells <= kMaxCells) break;
      size *= 1.25;
    }
    cellSize_ = float(size);
    // The last cell along an axis must reach the largest coordinate.
    for (int a = 0; a < 3; ++a)
      if (double(dims_[a]) * size < extent[a]) cellSize_ = float(extent[a] / dims_[a] * 1.0001);
  }

  const int cellCount = dims_[0] * dims_[1] * dims_[2];
  start_.assign(size_t(cellCount) + 1, 0);
  std::vector<int> cellOf(size_t(points_.size()), -1);
  for (int i = 0; i < points_.size(); ++i) {
    const Vec3& p = points_[i];
    if (!p.isFinite()) continue;
    cellOf[size_t(i)] = cellIndex(cellCoord(p.x, 0), cellCoord(p.y, 1), cellCoord(p.z, 2));
    ++start_[size_t(cellOf[size_t(i)]) + 1];
  }
  for (int c = 0; c < cellCount; ++c) start_[size_t(c) + 1] += start_[size_t(c)];
  order_.assign(size_t(finite), 0);
  std::vector<int> fill(start_.begin(), start_.end() - 1);
  for (int i = 0; i < points_.size(); ++i)
    if (cellOf[size_t(i)] >= 0) order_[size_t(fill[size_t(cellOf[size_t(i)])]++)] = i;
}

int NearestPointGrid::cellCoord(float value, int axis) const {
  const float t = (value - origin_[axis]) / cellSize_;
  if (!(t > 0.0f)) return 0;  // also catches NaN
  if (t >= float(dims_[axis] - 1)) return dims_[axis] - 1;
  return int(t);
}

int NearestPointGrid::nearest(const Vec3& q) const {
  if (order_.empty() || !q.isFinite()) return -1;
  const int c[3] = {cellCoord(q.x, 0), cellCoord(q.y, 1), cellCoord(q.z, 2)};
  float bestD = 0.0f;
  int bestI = -1;

  auto visitCell = [&](int x, int y, int z) {
    const int cell = cellIndex(x, y, z);
    for (int k = start_[size_t(cell)]; k < start_[size_t(cell) + 1]; ++k) {
      const int i = order_[size_t(k)];
      const float d = squaredDistance(points_[i], q);
      if (better(d, i, bestD, bestI)) {
        bestD = d;
        bestI = i;
      }
    }
  };

  for (int r = 0;; ++r) {
    int lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
      lo[a] = c[a] - r;
      hi[a] = c[a] + r;
    }
    // The shell of cells at Chebyshev distance r from the query's cell.
    for (int z = std::max(lo[2], 0); z <= std::min(hi[2], dims_[2] - 1); ++z) {
      for (int y = std::max(lo[1], 0); y <= std::min(hi[1], dims_[1] - 1); ++y) {
        if (z == lo[2] || z == hi[2] || y == lo[1] || y == hi[1]) {
          for (int x = std::max(lo[0], 0); x <= std::min(hi[0], dims_[0] - 1); ++x) visitCell(x, y, z);
        } else {
          if (lo[0] >= 0) visitCell(lo[0], y, z);
          if (hi[0] < dims_[0] && hi[0] != lo[0]) visitCell(hi[0], y, z);
        }
      }
    }

    // Nearest possible distance of a point outside the visited block.
    double bound = std::numeric_limits<double>::infinity();
    for (int a = 0; a < 3; ++a) {
      if (lo[a] > 0) bound = std::min(bound, double(q[a]) - (double(origin_[a]) + double(lo[a]) * cellSize_));
      if (hi[a] < dims_[a] - 1)
        bound = std::min(bound, double(origin_[a]) + double(hi[a] + 1) * cellSize_ - double(q[a]));
    }
    if (std::isinf(bound)) break;  // the whole grid has been visited
    if (bestI >= 0) {
      // A small allowance covers rounding in the cell assignment and in the
      // single-precision distances, so that ties are never missed.
      bound = std::max(0.0, bound - 1e-4 * cellSize_);
      if (bound * bound > double(bestD) * (1.0 + 1e-5)) break;
    }
  }
  return bestI;
}

int NearestPointGrid::nearestByScan(const QVector<Vec3>& points, const Vec3& q) {
  if (!q.isFinite()) return -1;
  float bestD = 0.0f;
  int bestI = -1;
  for (int i = 0; i < points.size(); ++i) {
    if (!points[i].isFinite()) continue;
    const float d = squaredDistance(points[i], q);
    if (better(d, i, bestD, bestI)) {
      bestD = d;
      bestI = i;
    }
  }
  return bestI;
}
