// Speed of the mesh library's loading chain on a closed torus of about
// 100,000 faces and unit size: read, strips, bounding sphere, normals,
// curvatures, derivatives and both smoothings (sigma 0.01), each stage on a
// mesh that already has everything the stage before it computed.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "trimesh/trimesh.h"

namespace {

constexpr float kSigma = 0.01f;

// Torus with major radius 0.35 and minor radius 0.15 (1.0 across),
// 224 x 224 quads split in two: 100,352 faces.
const std::string& torus_path() {
  static const std::string path = [] {
    const int nu = 224, nv = 224;
    const float R = 0.35f, r = 0.15f, pi = 3.14159265358979f;
    std::string name = "/tmp/trimesh_bench_torus_" + std::to_string(getpid()) + ".off";
    std::FILE* f = std::fopen(name.c_str(), "w");
    std::fprintf(f, "OFF\n%d %d 0\n", nu * nv, 2 * nu * nv);
    for (int i = 0; i < nu; i++) {
      for (int j = 0; j < nv; j++) {
        float u = 2 * pi * i / nu, v = 2 * pi * j / nv;
        std::fprintf(f, "%.7g %.7g %.7g\n", (R + r * std::cos(v)) * std::cos(u), (R + r * std::cos(v)) * std::sin(u),
                     r * std::sin(v));
      }
    }
    for (int i = 0; i < nu; i++) {
      for (int j = 0; j < nv; j++) {
        int a = i * nv + j, b = ((i + 1) % nu) * nv + j, c = ((i + 1) % nu) * nv + (j + 1) % nv,
            d = i * nv + (j + 1) % nv;
        std::fprintf(f, "3 %d %d %d\n3 %d %d %d\n", a, b, c, a, c, d);
      }
    }
    std::fclose(f);
    TriMesh::set_verbose(0);
    return name;
  }();
  return path;
}

enum Stage { kRead, kStrips, kSphere, kNormals, kCurv, kDerivs, kSmoothCurv, kSmoothDerivs };

void run_stage(TriMesh& m, int stage) {
  switch (stage) {
    case kStrips:
      m.build_strips();
      break;
    case kSphere:
      m.compute_bounding_sphere();
      break;
    case kNormals:
      m.compute_normals();
      break;
    case kCurv:
      m.compute_curvatures();
      break;
    case kDerivs:
      m.compute_curv_derivs();
      break;
    case kSmoothCurv:
      m.smooth_curvatures(kSigma);
      break;
    case kSmoothDerivs:
      m.smooth_curv_derivs(kSigma);
      break;
    default:
      break;
  }
}

// A mesh with every stage before `stage` done (built once per stage).
const TriMesh& prepared(int stage) {
  static std::unique_ptr<TriMesh> cache[8];
  if (!cache[stage]) {
    cache[stage] = TriMesh::read(torus_path().c_str());
    for (int s = kStrips; s < stage; s++) run_stage(*cache[stage], s);
  }
  return *cache[stage];
}

void BM_Read(benchmark::State& state) {
  const std::string& path = torus_path();
  for (auto _ : state) {
    auto m = TriMesh::read(path.c_str());
    benchmark::DoNotOptimize(m.get());
  }
}

void BM_Stage(benchmark::State& state) {
  const int stage = static_cast<int>(state.range(0));
  const TriMesh& base = prepared(stage);
  for (auto _ : state) {
    state.PauseTiming();
    TriMesh m = base;
    state.ResumeTiming();
    run_stage(m, stage);
    benchmark::DoNotOptimize(m.vertices.data());
  }
  state.counters["faces"] = static_cast<double>(base.faces.size());
}

void BM_WholeChain(benchmark::State& state) {
  const std::string& path = torus_path();
  for (auto _ : state) {
    auto m = TriMesh::read(path.c_str());
    for (int s = kStrips; s <= kSmoothDerivs; s++) run_stage(*m, s);
    benchmark::DoNotOptimize(m.get());
  }
}

}  // namespace

BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Stage)
    ->ArgName("stage")
    ->DenseRange(kStrips, kSmoothDerivs)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_WholeChain)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
