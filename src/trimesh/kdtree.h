#pragma once

// KD-tree over caller-owned 3-D points (3 consecutive floats each) for
// nearest-neighbour queries with a distance limit and an acceptance
// predicate. The tree keeps a copy of every point in leaf order beside a
// pointer into the caller's array (which queries return, so that array must
// outlive it). Leaves hold up to 7 points; every node keeps the centre and
// half-diagonal of its bounding box so whole subtrees can be pruned.

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

class KDtree {
 public:
  // Predicate on candidate points: a query accepts only points for which it
  // returns true.
  class CompatFunc {
   public:
    virtual ~CompatFunc() = default;
    virtual bool operator()(const float* p) const = 0;
  };

  struct Node;
  struct Point {
    float x[3];
    const float* source;  // in the caller's array
  };

  // An empty tree (every query answers nullptr) when count is 0 or beyond
  // what 32-bit node indices reach.
  KDtree(const float* points, size_t count);
  ~KDtree();
  KDtree(const KDtree&) = delete;
  KDtree& operator=(const KDtree&) = delete;

  // The accepted point nearest to q whose squared distance is below
  // maxDist2, or nullptr. maxDist2 <= 0 means no limit set by the caller: the
  // square of the root's half-diagonal is used instead.
  const float* nearest(const float* q, float maxDist2 = 0.0f, const CompatFunc* iscompat = nullptr) const;

  // Squared half-diagonal of the root's bounding box (0 for an empty tree).
  float root_radius2() const;

 private:
  std::vector<Node> nodes_;  // the root first
  std::vector<Point> points_;
};

// Accepts the points whose position in the array (float offset from `base`,
// i.e. 3 x point index) is not in the set.
class NotInSet : public KDtree::CompatFunc {
 public:
  NotInSet(const float* base, const std::set<int>& positions) : base_(base), positions_(positions) {}
  bool operator()(const float* p) const override {
    return positions_.find(static_cast<int>(p - base_)) == positions_.end();
  }

 private:
  const float* base_;
  const std::set<int>& positions_;
};
