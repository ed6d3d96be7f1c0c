// Curvature smoothing at the start width 0.01: the exact filter against the
// clustered one on the aeroplane (model 66, 9,032 faces) subdivided once,
// twice and three times (36k, 145k and 578k faces; the `faces` counter).
// KORVANE_SMOOTHING_BENCH_ROUNDS=4 adds four rounds (2.3 million faces; the
// exact filter then takes about twenty minutes).
//
// BM_SmoothingAccuracy measures how far the fast filter lands from the exact
// one, per vertex: relative error of both principal curvatures (over the
// larger of the exact value and the mesh's median |k1|, so that flat parts
// do not divide by zero), and the angle between the first principal
// directions where the exact curvatures differ by at least a quarter of the
// larger one; the relative error of the smoothed derivative tensor (the
// largest of its four differences over the larger of the exact tensor's
// largest entry and the mesh's median of that), and `dir_flips`, the
// vertices whose first principal direction points the other way (the
// derivatives are read in that direction, so a flip turns their sign).
// Counters: median and 95th percentile of each; `neighbours`, the expected
// exact neighbourhood the automatic choice reads.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "large_models.h"
#include "trimesh/trimesh.h"

namespace {

constexpr float kSigma = 0.01f;

void quiet() { TriMesh::set_verbose(0); }

// The mesh with curvatures and derivatives, not yet smoothed.
std::unique_ptr<TriMesh> prepared(const char* model, int rounds) {
  const QByteArray path = rounds > 0 ? largemodels::subdividedModel(model, rounds)
                                     : QByteArray(KORVANE_SOURCE_DIR) + "/objs/" + model + ".off";
  std::unique_ptr<TriMesh> m = path.isEmpty() ? nullptr : TriMesh::read(path.constData());
  if (!m) return m;
  m->compute_normals();
  m->compute_curvatures();
  m->compute_curv_derivs();
  m->compute_neighbors();
  return m;
}

void smooth(TriMesh& m, bool fast) {
  if (fast) {
    m.smooth_curvatures_fast(kSigma);
    m.smooth_curv_derivs_fast(kSigma);
  } else {
    m.smooth_curvatures(kSigma);
    m.smooth_curv_derivs(kSigma);
  }
}

// arg 0: subdivision rounds; arg 1: 0 exact, 1 fast.
void BM_Smoothing(benchmark::State& state) {
  quiet();
  const int rounds = int(state.range(0));
  const bool fast = state.range(1) != 0;
  std::unique_ptr<TriMesh> original = prepared("66", rounds);
  if (!original) {
    state.SkipWithError("model 66 missing (build korvane_models)");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    TriMesh m = *original;
    state.ResumeTiming();
    smooth(m, fast);
    benchmark::DoNotOptimize(m.principal_curv1.data());
  }
  state.counters["faces"] = double(original->faces.size());
  state.counters["neighbours"] = original->expected_smoothing_neighbours(kSigma);
  state.SetLabel(fast ? "fast" : "exact");
}

void smoothingArgs(benchmark::internal::Benchmark* b) {
  int last = 3;
  if (const char* env = std::getenv("KORVANE_SMOOTHING_BENCH_ROUNDS")) last = std::max(1, std::min(5, std::atoi(env)));
  for (int rounds = 1; rounds <= last; ++rounds)
    for (int fast : {0, 1}) b->Args({rounds, fast});
}
BENCHMARK(BM_Smoothing)->Apply(smoothingArgs)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

double percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0.0;
  const size_t k = std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5));
  std::nth_element(v.begin(), v.begin() + long(k), v.end());
  return v[k];
}

// arg 0: a bundled model's index in the list below, or 100 + rounds for
// model 66 subdivided.
void BM_SmoothingAccuracy(benchmark::State& state) {
  quiet();
  static const char* const models[] = {"2",  "21", "22", "24",  "25",  "30",  "342", "385", "62", "63",
                                       "64", "65", "66", "105", "141", "142", "143", "144", "145"};
  const int arg = int(state.range(0));
  const char* model = arg >= 100 ? "66" : models[arg];
  std::unique_ptr<TriMesh> original = prepared(model, arg >= 100 ? arg - 100 : 0);
  if (!original) {
    state.SkipWithError("model missing (build korvane_models)");
    return;
  }
  TriMesh exact = *original, fast = *original;
  for (auto _ : state) {
    smooth(exact, false);
    smooth(fast, true);
  }
  std::vector<double> absK1;
  for (float k : exact.principal_curv1) absK1.push_back(std::fabs(k));
  const double floor = std::max(1e-6, percentile(absK1, 0.5));
  std::vector<double> derivSize;
  for (const TriMesh::CurvDeriv& d : exact.curv_derivs) {
    double big = 0.0;
    for (float x : d) big = std::max(big, double(std::fabs(x)));
    derivSize.push_back(big);
  }
  const double derivFloor = std::max(1e-6, percentile(derivSize, 0.5));
  std::vector<double> e1, e2, angle, deriv;
  int flips = 0;
  for (size_t i = 0; i < exact.vertices.size(); ++i) {
    double diff = 0.0;
    for (size_t k = 0; k < 4; ++k)
      diff = std::max(diff, double(std::fabs(fast.curv_derivs[i][k] - exact.curv_derivs[i][k])));
    deriv.push_back(diff / std::max(derivSize[i], derivFloor));
    if (exact.principal_dir1[i].dot(fast.principal_dir1[i]) < -0.5f) ++flips;
    const double k1 = exact.principal_curv1[i], k2 = exact.principal_curv2[i];
    e1.push_back(std::fabs(fast.principal_curv1[i] - k1) / std::max(std::fabs(k1), floor));
    e2.push_back(std::fabs(fast.principal_curv2[i] - k2) / std::max(std::fabs(k1), floor));
    if (std::fabs(k1 - k2) >= 0.25 * std::max(std::fabs(k1), std::fabs(k2)) && std::fabs(k1) >= floor) {
      const double c = std::min(1.0, double(std::fabs(exact.principal_dir1[i].dot(fast.principal_dir1[i]))));
      angle.push_back(std::acos(c) * 180.0 / 3.14159265358979);
    }
  }
  state.counters["k1_med"] = percentile(e1, 0.5);
  state.counters["k1_p95"] = percentile(e1, 0.95);
  state.counters["k2_med"] = percentile(e2, 0.5);
  state.counters["k2_p95"] = percentile(e2, 0.95);
  state.counters["dir_med_deg"] = percentile(angle, 0.5);
  state.counters["dir_p95_deg"] = percentile(angle, 0.95);
  state.counters["deriv_med"] = percentile(deriv, 0.5);
  state.counters["deriv_p95"] = percentile(deriv, 0.95);
  state.counters["dir_flips"] = flips;
  state.counters["neighbours"] = original->expected_smoothing_neighbours(kSigma);
  state.counters["clusters"] = fast.last_smoothing.clusters;
  state.SetLabel(std::string(model) + (arg >= 100 ? " x" + std::to_string(arg - 100) : std::string()));
}
BENCHMARK(BM_SmoothingAccuracy)->DenseRange(0, 18)->Arg(101)->Arg(102)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
