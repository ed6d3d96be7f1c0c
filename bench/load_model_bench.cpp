// Loading a 100,000-face OFF model with a 20-segment segmentation, whole and
// step by step.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <QVector>
#include <cmath>
#include <cstdio>
#include <memory>

#include "engine/sorvex.h"
#include "model/companion_files.h"
#include "model/render_mesh.h"
#include "trimesh/trimesh.h"

namespace {

// A torus of 250 x 200 quads (100,000 triangles, 50,000 vertices) inside the
// unit ball, segmented into 20 bands, written once per process.
struct TorusFiles {
  QTemporaryDir dir;
  QByteArray model, segmentation;

  TorusFiles() {
    const int nu = 250, nv = 200;
    model = dir.filePath("torus.off").toLocal8Bit();
    segmentation = dir.filePath("torus_0.seg").toLocal8Bit();
    FILE* f = std::fopen(model.constData(), "w");
    std::fprintf(f, "OFF\n%d %d 0\n", nu * nv, 2 * nu * nv);
    for (int j = 0; j < nv; ++j)
      for (int i = 0; i < nu; ++i) {
        const double u = 2 * M_PI * i / nu, v = 2 * M_PI * j / nv;
        const double R = 0.6, r = 0.25 + 0.01 * std::sin(5 * u);  // a little texture for the curvature
        std::fprintf(f, "%.7f %.7f %.7f\n", (R + r * std::cos(v)) * std::cos(u), r * std::sin(v),
                     (R + r * std::cos(v)) * std::sin(u));
      }
    FILE* s = std::fopen(segmentation.constData(), "w");
    for (int j = 0; j < nv; ++j)
      for (int i = 0; i < nu; ++i) {
        const int a = j * nu + i, b = j * nu + (i + 1) % nu, c = ((j + 1) % nv) * nu + i,
                  d = ((j + 1) % nv) * nu + (i + 1) % nu;
        std::fprintf(f, "3 %d %d %d\n3 %d %d %d\n", a, b, d, a, d, c);
        const int band = i * 20 / nu;
        std::fprintf(s, "%d\n%d\n", band, band);
      }
    std::fclose(f);
    std::fclose(s);
  }
};

TorusFiles& files() {
  static TorusFiles t;
  return t;
}

// The mesh library writes progress to standard error; keep the bench output readable.
void quiet() { TriMesh::set_verbose(0); }

void BM_LoadModel(benchmark::State& state) {
  quiet();
  Sorvex engine(nullptr);
  engine.setCurvatureSmooth(state.range(0) / 1000.0);
  for (auto _ : state) {
    if (!engine.loadModel(files().model.constData(), "torus", nullptr, false)) state.SkipWithError("load failed");
  }
  state.counters["faces"] = engine.renderMesh->faces().size();
  state.counters["segments"] = engine.segmentCount;
}
// Curvature smoothing widths 0.01 (the control panel's start value) and 0.05.
BENCHMARK(BM_LoadModel)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadStep_TriMeshRead(benchmark::State& state) {
  quiet();
  for (auto _ : state) benchmark::DoNotOptimize(TriMesh::read(files().model.constData()));
}
BENCHMARK(BM_LoadStep_TriMeshRead)->Unit(benchmark::kMillisecond);

// One TriMesh derived-data step; the steps before it run untimed.
void BM_LoadStep_TriMeshDerived(benchmark::State& state) {
  quiet();
  const int step = int(state.range(0));
  const float sigma = 0.01f;
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<TriMesh> m = TriMesh::read(files().model.constData());
    auto run = [&](int k) {
      switch (k) {
        case 0:
          m->build_strips();
          break;
        case 1:
          m->compute_bounding_sphere();
          break;
        case 2:
          m->compute_normals();
          break;
        case 3:
          m->compute_curvatures();
          break;
        case 4:
          m->compute_curv_derivs();
          break;
        case 5:
          m->smooth_curvatures(sigma);
          break;
        case 6:
          m->smooth_curv_derivs(sigma);
          break;
      }
    };
    for (int k = 0; k < step; ++k) run(k);
    state.ResumeTiming();
    run(step);
  }
  static const char* names[] = {"strips",      "bounding sphere",   "normals",           "curvatures",
                                "curv derivs", "smooth curvatures", "smooth curv derivs"};
  state.SetLabel(names[step]);
}
BENCHMARK(BM_LoadStep_TriMeshDerived)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_LoadStep_RenderMesh(benchmark::State& state) {
  RenderMesh mesh;
  for (auto _ : state) {
    QVector<Vec3> v;
    RenderFaces f;
    readOff(files().model.constData(), v, f);
    if (state.range(0)) {
      mesh.setGeometry(v, f);
      mesh.flipFaceNormals();
    }
  }
  state.SetLabel(state.range(0) ? "readOff + setGeometry" : "readOff");
}
BENCHMARK(BM_LoadStep_RenderMesh)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LoadStep_Segmentation(benchmark::State& state) {
  QVector<int> seg;
  for (auto _ : state) {
    readSegmentation(files().segmentation.constData(), 100000, seg);
    benchmark::DoNotOptimize(countSegments(seg));
  }
}
BENCHMARK(BM_LoadStep_Segmentation)->Unit(benchmark::kMillisecond);

}  // namespace
