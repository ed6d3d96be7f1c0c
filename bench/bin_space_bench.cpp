#include <benchmark/benchmark.h>

#include <QtGlobal>
#include <memory>

#include "engine/bin_space.h"

namespace {

void quietHandler(QtMsgType, const QMessageLogContext&, const QString&) {}

// Silences the debug log (maxBin writes one line per call) for one benchmark.
struct QuietLog {
  QtMessageHandler previous;
  QuietLog() : previous(qInstallMessageHandler(quietHandler)) {}
  ~QuietLog() { qInstallMessageHandler(previous); }
};

// Votes of `features` plane-like features into a band of bins around
// random-ish columns, a few thousand per feature, as a vote run leaves them.
void fillVotes(BinSpace& s, int features) {
  unsigned seed = 12345u;
  for (int f = 0; f < features; ++f) {
    seed = seed * 1103515245u + 12345u;
    const int a0 = int(seed >> 8) % BinSpace::kCellsTheta;
    const int b0 = int(seed >> 16) % BinSpace::kCellsPhi;
    for (int a = a0; a < a0 + 8; ++a) {
      for (int b = b0; b < b0 + 8 && b < BinSpace::kCellsPhi; ++b) {
        for (int c = 0; c < BinSpace::kCellsD; c += 2) {
          s.addVote((a % BinSpace::kCellsTheta) * 2, b * 2, c * 2, f, f % 8, 0.01f * float(c));
        }
      }
    }
  }
}

void BM_BinSpaceConstruct(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<BinSpace> s(new BinSpace());
    benchmark::DoNotOptimize(s.get());
  }
  BinSpace s;
  state.counters["MiB_empty"] = double(s.memoryBytes()) / (1024.0 * 1024.0);
  state.counters["bytes_per_bin"] = double(sizeof(Bin));
  state.counters["bins_stored"] = double(BinSpace::kCellCount);
}
BENCHMARK(BM_BinSpaceConstruct)->Unit(benchmark::kMillisecond);

void BM_BinSpaceClearEmpty(benchmark::State& state) {
  BinSpace s;
  for (auto _ : state) s.clearBins();
}
BENCHMARK(BM_BinSpaceClearEmpty)->Unit(benchmark::kMillisecond);

void BM_BinSpaceClearVoted(benchmark::State& state) {
  BinSpace s;
  for (auto _ : state) {
    state.PauseTiming();
    fillVotes(s, 100);
    state.ResumeTiming();
    s.clearBins();
  }
}
BENCHMARK(BM_BinSpaceClearVoted)->Unit(benchmark::kMillisecond);

void BM_BinSpaceMaxBin(benchmark::State& state) {
  QuietLog quiet;
  BinSpace s;
  fillVotes(s, 100);
  for (auto _ : state) benchmark::DoNotOptimize(s.maxBin());
  state.counters["MiB_voted"] = double(s.memoryBytes()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_BinSpaceMaxBin)->Unit(benchmark::kMillisecond);

void BM_BinSpaceLatticeScan(benchmark::State& state) {
  BinSpace s;
  fillVotes(s, 100);
  for (auto _ : state) {
    double sum = 0.0;
    for (int c = 0; c < BinSpace::kCellCount; ++c) sum += s.cell(c).total;
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_BinSpaceLatticeScan)->Unit(benchmark::kMillisecond);

void BM_BinSpaceNearestNonEmpty(benchmark::State& state) {
  BinSpace s;
  fillVotes(s, 100);
  float dist = 0.0f;
  for (auto _ : state) benchmark::DoNotOptimize(s.nearestNonEmptyBin(100, 60, 30, dist));
}
BENCHMARK(BM_BinSpaceNearestNonEmpty)->Unit(benchmark::kMillisecond);

// One removal of a winning bin's features (about 20 features, 1,600 votes
// each): proportional to those votes, not to the 810,000 bins.
void BM_BinSpaceRemoveFeatureVotes(benchmark::State& state) {
  QuietLog quiet;
  BinSpace s;
  for (auto _ : state) {
    state.PauseTiming();
    s.clearBins();
    fillVotes(s, 300);
    const Bin winner = s.maxBin();
    state.ResumeTiming();
    s.removeFeatureVotes(winner);
  }
}
BENCHMARK(BM_BinSpaceRemoveFeatureVotes)->Unit(benchmark::kMillisecond);

}  // namespace
