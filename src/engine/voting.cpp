#include "engine/voting.h"
#include "engine/voting_reference.h"

#include <QDebug>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "engine/sorvex.h"

namespace voting {

namespace {

constexpr double kHalfPi = 1.57079632679489661923;
// Angular slack of the cheap column pre-tests (radians); the float angle of a
// column is within about 1e-6 of the true one.
constexpr double kAngleSlack = 1.0e-3;
// Offset slack of the band of cells visited per column: one lattice cell,
// against float errors of about 1e-6.
constexpr double kOffsetSlack = 0.02;

// Cheap test on c = m . n (feature normal or axis direction) that rules out a
// whole column before any angle is computed. Conservative by kAngleSlack.
struct ColumnPretest {
  bool usePlaneCone = false;  // skip when |c| < cosLimit
  float cosLimit = 0.0f;
  bool useAxisBand = false;  // skip when |c| > sinLimit
  float sinLimit = 1.0f;
};

ColumnPretest makePretest(const PreparedVote& v) {
  ColumnPretest pre;
  const double cone = double(v.r) * kHalfPi + kAngleSlack;  // largest reachable angle
  if (cone >= kHalfPi) return pre;
  if (v.kernel == Kernel::Plane || v.kernel == Kernel::Slab) {
    pre.usePlaneCone = true;
    pre.cosLimit = float(std::cos(cone));
  } else if (v.kernel == Kernel::Axis && v.r < 0.99f) {
    // The angle between a bin's normal and the plane through the axis nearest
    // to it is asin(|c|); the flipped plane is at least 90 degrees away.
    pre.useAxisBand = true;
    pre.sinLimit = float(std::sin(cone));
  }
  return pre;
}

// Range [cLo, cHi] of lattice offset cells of a column outside which no bin
// is within reach. False when none is.
bool offsetBand(const PreparedVote& v, const Column& col, int& cLo, int& cHi) {
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  auto addBand = [&lo, &hi](double l, double h) {
    lo = std::min(lo, l);
    hi = std::max(hi, h);
  };
  const double r = v.r;
  switch (v.kernel) {
    case Kernel::Plane:
    case Kernel::Axis:
      if (col.t1 < v.r) addBand(col.d - (r - col.t1), col.d + (r - col.t1));
      if (col.t2 < v.r) addBand(-col.d - (r - col.t2), -col.d + (r - col.t2));
      break;
    case Kernel::Slab: {
      const double absA = std::fabs(v.a);
      if (v.a < std::fabs(v.g)) {
        if (col.t1 < v.r) addBand(v.g - absA - (r - col.t1), v.g + absA + (r - col.t1));
      } else {
        if (col.t1 < v.r) addBand(-HUGE_VAL, double(v.g) + v.a + (r - col.t1));
        if (col.t2 < v.r) addBand(-HUGE_VAL, std::fabs(double(v.g) - absA) + (r - col.t2));
      }
      break;
    }
    case Kernel::None:
      return false;
  }
  if (!(lo <= hi)) return false;
  // Offsets e = 2c / 100 of the lattice cells c.
  const double last = BinSpace::kCellsD - 1;
  const double cellLo = std::max(-1.0, std::min(last + 1.0, (lo - kOffsetSlack) * 50.0));
  const double cellHi = std::max(-1.0, std::min(last + 1.0, (hi + kOffsetSlack) * 50.0));
  cLo = std::max(0, int(std::floor(cellLo)));
  cHi = std::min(BinSpace::kCellsD - 1, int(std::ceil(cellHi)));
  return cLo <= cHi;
}

bool prepareInto(const VoteJob& job, PreparedVote& out) {
  if (job.kernel == Kernel::None) return false;
  if (!std::isfinite(job.radius) || !(job.radius > 0.0f) || !std::isfinite(job.weight)) return false;
  if (!job.normal.isFinite()) return false;
  const float len = job.normal.length();
  if (!(len > 0.0f) || !std::isfinite(len)) return false;
  out.kernel = job.kernel;
  out.r = job.radius;
  out.w = job.weight;
  out.f = job.featureIndex;
  out.t = job.featureType;
  out.n = job.normal / len;
  switch (job.kernel) {
    case Kernel::Plane:
      // The plane { x : normal . x = d } with a unit normal.
      out.d = job.d / len;
      return std::isfinite(out.d);
    case Kernel::Axis:
      out.p = job.point;
      return job.point.isFinite();
    case Kernel::Slab:
      out.g = out.n.dot(job.point);
      out.a = job.halfWidth;
      return std::isfinite(out.g) && std::isfinite(out.a);
    case Kernel::None:
      break;
  }
  return false;
}

}  // namespace

bool prepareVote(const VoteJob& job, PreparedVote& out) {
  PreparedVote v;
  const bool ok = prepareInto(job, v);
  out = ok ? v : PreparedVote();  // a rejected job casts nothing
  return ok;
}

QVector<VoteJob> voteJobsForFeatures(const Sorvex& engine) {
  QVector<VoteJob> jobs;
  jobs.reserve(engine.features.size());
  for (int i = 0; i < engine.features.size(); ++i) {
    const Feature& feature = engine.features[i];
    const int t = int(feature.type);
    VoteJob job;
    job.featureIndex = i;
    job.featureType = t;
    if (t >= 0 && t < kFeatureTypeCount) {
      job.radius = engine.featureRadius[t];
      job.weight = engine.featureWeight[t];
    }
    const CutPlane& plane = feature.plane;
    const Axis& axis = feature.axis;
    switch (t) {
      case FeatureSegmentPCAPlanes:
        job.kernel = Kernel::Slab;
        job.normal = plane.normal;
        job.point = plane.point;
        job.halfWidth = plane.extent;
        break;
      case FeatureSegmentPCAAxes:
      case FeatureSymmetryAxes:
        job.kernel = Kernel::Axis;
        job.normal = axis.direction;
        job.point = axis.point;
        break;
      case FeatureRidges:
      case FeatureValleys: {
        // Weighted by the total length of the piece the axis was fitted to.
        const QList<QList<SectionSegment>>& pieces = t == FeatureRidges ? engine.ridgePieces : engine.valleyPieces;
        if (feature.index < 0 || feature.index >= pieces.size()) {
          qDebug("Feature %i (type %i) has no curve piece %i; it casts no votes.", i, t, feature.index);
          break;
        }
        float length = 0.0f;
        for (const SectionSegment& s : pieces[feature.index]) length += (s.end - s.start).length();
        job.kernel = Kernel::Axis;
        job.normal = axis.direction;
        job.point = axis.point;
        job.weight *= length;
        break;
      }
      case FeatureSymmetryPlanes: {
        const Vec3 n = plane.normal.normalized();
        job.kernel = Kernel::Plane;
        job.normal = n;
        job.d = n.dot(plane.point);
        break;
      }
      case FeatureGlobalXYZ:
        // Every plane with this normal inside the unit ball.
        job.kernel = Kernel::Slab;
        job.normal = plane.normal.normalized();
        job.point = Vec3(0, 0, 0);
        job.halfWidth = 1.0f;
        break;
      case FeatureGlobalPCA:
        job.kernel = Kernel::Slab;
        job.normal = plane.normal;
        job.point = plane.point;
        job.halfWidth = 0.9f * plane.normal.length();
        break;
      default:  // support features vote when they are made
        break;
    }
    jobs.append(job);
  }
  return jobs;
}

void castVotes(BinSpace& bins, const PreparedVote& v, int part, int parts, std::vector<int>& touched, bool firstPass) {
  if (v.kernel == Kernel::None) return;
  const ColumnPretest pre = makePretest(v);
  const int half = BinSpace::kCellsTheta / 2;
  for (int a = 0; a < BinSpace::kCellsTheta; ++a) {
    if ((a % half) % parts != part) continue;  // a and a + 90 (d = 0 twins) share a part
    for (int b = 0; b < BinSpace::kCellsPhi; ++b) {
      const int base = (a * BinSpace::kCellsPhi + b) * BinSpace::kCellsD;
      const Vec3 m = bins.cell(base).normal;
      const float c = std::fabs(m.dot(v.n));
      if (pre.usePlaneCone && c < pre.cosLimit) continue;
      if (pre.useAxisBand && c > pre.sinLimit) continue;
      const Column col = columnTerms(v, m);
      if (col.skip) continue;
      int cLo, cHi;
      if (!offsetBand(v, col, cLo, cHi)) continue;
      for (int k = cLo; k <= cHi; ++k) {
        const Bin& bin = bins.cell(base + k);
        float delta;
        if (cellDistance(v, col, bin.normal, bin.d, delta))
          bins.addVoteToCell(base + k, v.f, v.t, voteWeight(v, delta), touched, firstPass);
      }
    }
  }
}

int voteThreadCount() {
  const unsigned hw = std::thread::hardware_concurrency();
  return hw >= 2 ? 2 : 1;
}

bool castAllVotes(BinSpace& bins, const QVector<VoteJob>& jobs, int threads,
                  const std::function<void(int)>& beforeJob, const std::function<bool()>& stopped) {
  const int n = jobs.size();
  std::vector<PreparedVote> prepared(n);
  for (int q = 0; q < n; ++q) {
    if (!prepareVote(jobs[q], prepared[q]) && jobs[q].kernel != Kernel::None)
      qDebug("Feature %i (type %i) casts no votes: its geometry, radius or weight is degenerate or not finite.",
             jobs[q].featureIndex, jobs[q].featureType);
  }
  threads = std::max(1, std::min(threads, BinSpace::kCellsTheta / 2));
  // A job whose feature has not voted before (in the space or earlier in this
  // cast) casts all its votes into a cell back to back, so its duplicate check
  // needs to look at the cell's last vote only. This keeps the cost of a vote
  // constant however many features crowd into one bin.
  std::vector<char> firstPass(size_t(n), 0);
  {
    std::unordered_set<int> seen;
    for (int q = 0; q < n; ++q)
      firstPass[size_t(q)] = !bins.hasFeatureCells(prepared[q].f) && seen.insert(prepared[q].f).second;
  }
  // touched[part][job]: the cells each job voted into, per part.
  std::vector<std::vector<std::vector<int>>> touched(threads, std::vector<std::vector<int>>(n));
  std::atomic<bool> cutShort{false};
  auto work = [&](int part, bool report) {
    for (int q = 0; q < n; ++q) {
      if (cutShort.load(std::memory_order_relaxed)) return;
      if (stopped && stopped()) {
        cutShort.store(true);
        return;
      }
      if (report && beforeJob) beforeJob(q);
      castVotes(bins, prepared[q], part, threads, touched[part][q], firstPass[size_t(q)] != 0);
    }
  };
  // Each part owns whole columns, so no bin is written by two threads, and
  // every bin still receives its votes in job order.
  std::vector<std::thread> workers;
  std::vector<int> unstarted;
  for (int part = 1; part < threads; ++part) {
    try {
      workers.emplace_back(work, part, false);
    } catch (const std::system_error&) {
      unstarted.push_back(part);
    }
  }
  work(0, true);
  for (int part : unstarted) work(part, false);
  for (std::thread& t : workers) t.join();
  for (int q = 0; q < n; ++q) {
    for (int part = 0; part < threads; ++part) bins.recordFeatureCells(prepared[q].f, touched[part][q]);
  }
  return !cutShort.load();
}

}  // namespace voting

// ---- engine operations ----

namespace {

// One feature's votes, through the fast kernels or, when the engine asks for
// them, the plain ones.
void castSingleVote(Sorvex& engine, const voting::VoteJob& job) {
  if (engine.plainVoting)
    voting::castVotesPlain(engine.bins, job);
  else
    voting::castAllVotes(engine.bins, {job}, 1);
}

}  // namespace

namespace {

// The part of a vote job every kernel shares.
voting::VoteJob jobFor(voting::Kernel kernel, float radius, int featureIndex, int featureType, float weight) {
  voting::VoteJob job;
  job.kernel = kernel;
  job.radius = radius;
  job.featureIndex = featureIndex;
  job.featureType = featureType;
  job.weight = weight;
  return job;
}

}  // namespace

void Sorvex::votePlane(const Vec3& normal, float d, float radius, int featureIndex, int featureType, float weight) {
  voting::VoteJob job = jobFor(voting::Kernel::Plane, radius, featureIndex, featureType, weight);
  job.normal = normal;
  job.d = d;
  castSingleVote(*this, job);
}

void Sorvex::voteAxis(const Vec3& direction, const Vec3& point, float radius, int featureIndex, int featureType,
                      float weight) {
  voting::VoteJob job = jobFor(voting::Kernel::Axis, radius, featureIndex, featureType, weight);
  job.normal = direction;
  job.point = point;
  castSingleVote(*this, job);
}

void Sorvex::voteSlab(const Vec3& normal, const Vec3& point, float halfWidth, float radius, int featureIndex,
                      int featureType, float weight) {
  voting::VoteJob job = jobFor(voting::Kernel::Slab, radius, featureIndex, featureType, weight);
  job.normal = normal;
  job.point = point;
  job.halfWidth = halfWidth;
  castSingleVote(*this, job);
}

void Sorvex::populateBins() {
  qDebug("Populating binspace...");
  bins.clearBins();
  int counts[kFeatureTypeCount] = {};
  for (const Feature& f : features) {
    if (f.type >= 0 && f.type < kFeatureTypeCount) ++counts[f.type];
  }
  for (int t = 0; t < kFeatureTypeCount; ++t) qDebug("Num of feature #%i: %i", t, counts[t]);
  const QVector<voting::VoteJob> jobs = voting::voteJobsForFeatures(*this);
  const int n = jobs.size();
  auto beforeJob = [this, n](int i) {
    emit percentComplete(int(std::lround(250.0 + 500.0 * double(i) / double(n))));
    if (i % 10 == 0) qDebug("Processing feature %i of %i...", i, n);
  };
  votingStopped_ = false;
  if (plainVoting) {
    for (int i = 0; i < n && !votingStopped_; ++i) {
      votingStopped_ = stopRequested();
      if (votingStopped_) break;
      beforeJob(i);
      voting::castVotesPlain(bins, jobs[i]);
    }
    return;
  }
  votingStopped_ = !voting::castAllVotes(bins, jobs, voting::voteThreadCount(), beforeJob,
                                         [this] { return stopRequested(); });
}
