#include <benchmark/benchmark.h>

#include <QtGlobal>
#include <random>

#include "engine/sorvex.h"
#include "engine/voting.h"
#include "engine/voting_reference.h"

namespace {

void quietHandler(QtMsgType, const QMessageLogContext&, const QString&) {}

struct QuietLog {
  QtMessageHandler previous;
  QuietLog() : previous(qInstallMessageHandler(quietHandler)) {}
  ~QuietLog() { qInstallMessageHandler(previous); }
};

// An engine with `perKind` features of every voting kind, control-panel
// radius 0.1 and weight 1, as a segmented model of moderate size gives.
Sorvex& benchEngine(int perKind) {
  static Sorvex* e = new Sorvex(nullptr);
  e->features.clear();
  e->ridgePieces.clear();
  e->valleyPieces.clear();
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    e->featureEnabled[t] = true;
    e->featureWeight[t] = 1.0f;
    e->featureRadius[t] = 0.1f;
  }
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  auto dir = [&]() { return Vec3(u(rng), u(rng), u(rng)).normalized(); };
  auto point = [&]() { return Vec3(u(rng), u(rng), u(rng)) * 0.4f; };
  auto axis = [&](FeatureType t, int index) {
    Feature f;
    f.type = t;
    f.index = index;
    f.axis.direction = dir();
    f.axis.point = point();
    return f;
  };
  auto plane = [&](FeatureType t, const Vec3& n, const Vec3& p, float extent) {
    Feature f;
    f.type = t;
    f.plane.normal = n;
    f.plane.d = n.normalized().dot(p);
    f.plane.point = p;
    f.plane.extent = extent;
    return f;
  };
  for (int i = 0; i < perKind; ++i) {
    e->features.append(plane(FeatureSegmentPCAPlanes, dir(), point(), i % 2 == 0 ? 0.05f : 0.3f));
    e->features.append(axis(FeatureSegmentPCAAxes, 0));
    SectionSegment s;
    s.end = Vec3(0.1f, 0, 0);
    e->ridgePieces.append(QList<SectionSegment>{s});
    e->features.append(axis(FeatureRidges, i));
    e->valleyPieces.append(QList<SectionSegment>{s});
    e->features.append(axis(FeatureValleys, i));
    e->features.append(plane(FeatureSymmetryPlanes, dir(), point(), 0.0f));
    e->features.append(axis(FeatureSymmetryAxes, 0));
    e->features.append(plane(FeatureGlobalXYZ, dir(), point(), 0.0f));
    e->features.append(plane(FeatureGlobalPCA, dir() * 0.5f, point(), 0.0f));
  }
  return *e;
}

long countVotes(const BinSpace& bins) {
  long n = 0;
  for (int c = 0; c < BinSpace::kCellCount; ++c) n += bins.cell(c).votes.size();
  return n;
}

void BM_PopulateBinsFast(benchmark::State& state) {
  QuietLog quiet;
  Sorvex& e = benchEngine(int(state.range(0)));
  for (auto _ : state) e.populateBins();
  state.counters["features"] = double(e.features.size());
  state.counters["votes"] = double(countVotes(e.bins));
  state.counters["threads"] = double(voting::voteThreadCount());
}
BENCHMARK(BM_PopulateBinsFast)->Arg(8)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_PopulateBinsPlain(benchmark::State& state) {
  QuietLog quiet;
  Sorvex& e = benchEngine(int(state.range(0)));
  for (auto _ : state) voting::populateBinsPlain(e);
  state.counters["features"] = double(e.features.size());
  state.counters["votes"] = double(countVotes(e.bins));
}
BENCHMARK(BM_PopulateBinsPlain)
    ->Arg(8)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// One support plane voting during a run (single thread).
void BM_VotePlaneSingle(benchmark::State& state) {
  QuietLog quiet;
  Sorvex& e = benchEngine(0);
  for (auto _ : state) {
    state.PauseTiming();
    e.bins.clearBins();
    state.ResumeTiming();
    e.votePlane(Vec3(0.3f, 0.4f, 0.5f).normalized(), 0.3f, 0.1f, 0, FeaturePerpendicularSupport, 1.0f);
  }
}
BENCHMARK(BM_VotePlaneSingle)->Unit(benchmark::kMillisecond);

}  // namespace
