#pragma once

#include <QVector>
#include <vector>

#include "engine/vec3.h"

// Uniform grid over a fixed point set for exact nearest-point queries.
//
// "Nearest" compares squared distances computed in single precision as
// dx*dx + dy*dy + dz*dz; among points at the same squared distance the one
// with the lowest index wins, so a query gives the same answer as scanning
// all points in index order and replacing only on a strictly smaller
// distance. Points with a non-finite coordinate never win (their distance
// never compares smaller), as in that scan.
//
// The grid has about four cells per point; a query visits growing shells of
// cells around the query's cell until no unvisited cell can hold a point as
// near as the best so far. Expected cost per query is a few dozen distance
// evaluations on surface-like point sets.
class NearestPointGrid {
 public:
  explicit NearestPointGrid(const QVector<Vec3>& points);

  // Index of the point nearest to q under the rule above; -1 when there is
  // no finite point or q itself is not finite.
  int nearest(const Vec3& q) const;

  // The same answer by scanning every point (reference for tests and tiny sets).
  static int nearestByScan(const QVector<Vec3>& points, const Vec3& q);

 private:
  int cellIndex(int x, int y, int z) const { return (z * dims_[1] + y) * dims_[0] + x; }
  int cellCoord(float value, int axis) const;

  QVector<Vec3> points_;
  Vec3 origin_;
  float cellSize_ = 1.0f;
  int dims_[3] = {1, 1, 1};
  // Compressed cell lists: the points of cell c are order_[start_[c] .. start_[c + 1]).
  std::vector<int> start_;
  std::vector<int> order_;
};
