#pragma once

#include <QVector>
#include <cmath>
#include <functional>
#include <vector>

#include "engine/bin_space.h"
#include "engine/vec3.h"

class Sorvex;

// Vote kernels: how one feature spreads weighted votes over the bin space.
// A vote falls off linearly with the plane distance delta and vanishes at the
// radius r: weight w * (r - delta) / r for delta < r (strictly).
//
// Two implementations share the per-bin arithmetic below, so they give the
// same votes bit for bit: the plain one (voting_reference.cpp) visits every
// lattice bin in scan order; the fast one (voting.cpp) visits only the
// columns and offset bands that can be within reach, and can split the
// lattice between threads.
namespace voting {

enum class Kernel { None, Plane, Axis, Slab };

// One feature's vote, as handed to a kernel.
struct VoteJob {
  Kernel kernel = Kernel::None;
  Vec3 normal;             // plane or slab normal, or axis direction (any length)
  Vec3 point;              // point on the axis or slab
  float d = 0.0f;          // plane offset
  float halfWidth = 0.0f;  // slab half-width
  float radius = 0.0f;
  int featureIndex = 0;
  int featureType = 0;
  float weight = 0.0f;
};

// A job with its normal made unit length and its inputs checked.
struct PreparedVote {
  Kernel kernel = Kernel::None;
  Vec3 n;          // unit plane/slab normal or axis direction
  Vec3 p;          // axis point
  float d = 0.0f;  // plane offset
  float g = 0.0f;  // slab centre offset n . point
  float a = 0.0f;  // slab half-width as given (signed)
  float r = 0.0f;
  float w = 0.0f;
  int f = 0;
  int t = 0;
};

// Normalises and checks a job. False when the job can cast no vote or only
// garbage: no kernel, a non-finite value anywhere, a zero-length normal or
// direction, or a radius that is not positive.
bool prepareVote(const VoteJob& job, PreparedVote& out);

// What a kernel needs of one column (theta, phi) of the lattice, whose bins
// share the normal m.
struct Column {
  bool skip = false;  // no bin of the column can be reached
  Vec3 n;             // plane/axis: normal of the voting plane for this column
  float d = 0.0f;     // plane/axis: its offset
  float t1 = 0.0f;    // angle(n, m) in units of 90 degrees (slab: the slab normal)
  float t2 = 0.0f;    // angle(-n, m)
};

inline Column columnTerms(const PreparedVote& v, const Vec3& m) {
  Column col;
  switch (v.kernel) {
    case Kernel::Plane:
      col.n = v.n;
      col.d = v.d;
      break;
    case Kernel::Axis: {
      // The plane through the axis closest in orientation to the bin's plane.
      const float c = m.dot(v.n);
      if (std::fabs(c) > 0.8660256f) {  // within 30 degrees of the axis
        col.skip = true;
        return col;
      }
      const Vec3 mp = m - v.n * c;
      const float len = mp.length();
      col.n = len < 0.001f ? v.n : mp / len;
      col.d = col.n.dot(v.p);
      break;
    }
    case Kernel::Slab:
      col.n = v.n;
      break;
    case Kernel::None:
      col.skip = true;
      return col;
  }
  const float sine = col.n.cross(m).length();
  const float cosine = col.n.dot(m);
  col.t1 = angleUnits(sine, cosine);
  col.t2 = angleUnits(sine, -cosine);
  return col;
}

// Plane distance of the bin (m, e) of a column to the feature, and whether
// it is within reach (delta < r).
inline bool cellDistance(const PreparedVote& v, const Column& col, const Vec3& m, float e, float& delta) {
  if (col.skip) return false;
  switch (v.kernel) {
    case Kernel::Plane:
    case Kernel::Axis:
      delta = planeDistance(col.n, col.d, m, e);
      return delta < v.r;
    case Kernel::Slab: {
      const float absA = std::fabs(v.a);
      if (v.a < std::fabs(v.g)) {
        delta = std::fmax(std::fabs(v.g - e) - absA, 0.0f) + col.t1;
        return delta < v.r;
      }
      // The band reaches across offset 0: the flipped normal counts too.
      delta = std::fmax(e - (v.g + v.a), 0.0f) + col.t1;
      if (delta < v.r) return true;
      delta = std::fmax(e - std::fabs(v.g - absA), 0.0f) + col.t2;
      return delta < v.r;
    }
    case Kernel::None:
      break;
  }
  return false;
}

// Weight of a vote at distance delta < r; exactly w at delta = 0.
inline float voteWeight(const PreparedVote& v, float delta) { return v.w * ((v.r - delta) / v.r); }

// The vote job of every feature of the engine, in feature order (jobs of
// support features and of features whose source record is missing cast no
// vote).
QVector<VoteJob> voteJobsForFeatures(const Sorvex& engine);

// Fast kernel: casts the job's votes into the columns of part `part` of
// `parts` (parts keep d = 0 twin columns together), appending every cell that
// received a vote to `touched`. Cells outside that part are not touched.
// `firstPass`: the job's feature has no vote in the space yet and no other job
// of this cast shares its index (see BinSpace::addVoteToCell).
void castVotes(BinSpace& bins, const PreparedVote& v, int part, int parts, std::vector<int>& touched,
               bool firstPass = false);

// Casts every job in order, the lattice split between `threads` threads.
// `beforeJob(q)` runs on the calling thread before job q's votes (progress).
// `stopped()`, asked by every thread before each job, ends the cast early;
// the result says whether every job was cast. The cells a job voted into are
// recorded for every vote cast, so an early end leaves the space consistent,
// if incomplete.
bool castAllVotes(BinSpace& bins, const QVector<VoteJob>& jobs, int threads,
                  const std::function<void(int)>& beforeJob = std::function<void(int)>(),
                  const std::function<bool()>& stopped = std::function<bool()>());

// Number of worker threads populateBins uses (1 or 2 on this machine).
int voteThreadCount();

}  // namespace voting
