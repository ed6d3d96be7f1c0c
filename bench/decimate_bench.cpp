// Decimation of a closed, bumpy sphere-like mesh of 49,920 faces (25,042
// vertices) with an eight-segment segmentation: the whole decimateMesh, the
// segment transfer's nearest-centroid lookups through the grid and through
// the plain scan over all initial centroids, and the curvature mesh rebuilt
// afterwards.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "meshedit/decimate.h"
#include "meshedit/nearest_point_grid.h"
#include "meshedit/sync_trimesh.h"
#include "model/render_mesh.h"
#include "trimesh/trimesh.h"

namespace {

// 2 * sectors * (rings - 1) faces, counter-clockwise seen from outside.
RenderMesh bumpySphere(int rings, int sectors) {
  QVector<Vec3> v;
  RenderFaces f;
  v << Vec3(0, 0, 1);
  for (int r = 1; r < rings; ++r) {
    const double theta = M_PI * r / rings;
    for (int s = 0; s < sectors; ++s) {
      const double phi = 2 * M_PI * s / sectors;
      const double bump = 1.0 + 0.05 * std::sin(5 * phi) * std::sin(4 * theta) + 0.01 * std::cos(17 * phi + 3 * theta);
      v << Vec3(float(bump * std::sin(theta) * std::cos(phi)), float(bump * std::sin(theta) * std::sin(phi)),
                float(bump * std::cos(theta)));
    }
  }
  const int south = v.size();
  v << Vec3(0, 0, -1);
  auto at = [&](int r, int s) { return 1 + (r - 1) * sectors + (s % sectors); };
  for (int s = 0; s < sectors; ++s) f << RenderFace{0, at(1, s), at(1, s + 1)};
  for (int r = 1; r + 1 < rings; ++r)
    for (int s = 0; s < sectors; ++s) {
      f << RenderFace{at(r, s), at(r + 1, s), at(r + 1, s + 1)};
      f << RenderFace{at(r, s), at(r + 1, s + 1), at(r, s + 1)};
    }
  for (int s = 0; s < sectors; ++s) f << RenderFace{south, at(rings - 1, s + 1), at(rings - 1, s)};
  RenderMesh mesh;
  mesh.setGeometry(v, f);
  mesh.flipFaceNormals();
  return mesh;
}

const RenderMesh& model() {
  static const RenderMesh mesh = bumpySphere(157, 160);
  return mesh;
}

QVector<int> octantSegments(const RenderMesh& mesh) {
  QVector<int> ids;
  for (int i = 0; i < mesh.faces().size(); ++i) {
    const Vec3 c = mesh.corner(i, 0) + mesh.corner(i, 1) + mesh.corner(i, 2);
    ids << (c.x > 0 ? 1 : 0) + (c.y > 0 ? 2 : 0) + (c.z > 0 ? 4 : 0);
  }
  return ids;
}

QVector<Vec3> centroids(const RenderMesh& mesh) {
  QVector<Vec3> points;
  for (int i = 0; i < mesh.faces().size(); ++i)
    points << (mesh.corner(i, 0) + mesh.corner(i, 1) + mesh.corner(i, 2)) * 0.33333334f;
  return points;
}

void BM_DecimateMesh(benchmark::State& state) {
  const QVector<int> segments = octantSegments(model());
  int removed = 0, faces = 0;
  for (auto _ : state) {
    state.PauseTiming();
    RenderMesh mesh = model();
    mesh.mutableFaces().detach();
    QVector<int> ids = segments;
    ids.detach();
    state.ResumeTiming();
    DecimationReport report;
    decimateMesh(mesh, ids, &report);
    removed = report.removed;
    faces = report.facesAfter;
  }
  state.counters["faces_before"] = model().faces().size();
  state.counters["faces_after"] = faces;
  state.counters["removed"] = removed;
}
BENCHMARK(BM_DecimateMesh)->Unit(benchmark::kMillisecond)->Iterations(3);

// The lookups of the segment transfer: one query per face of the decimated
// mesh (about 30,000) against the 49,920 initial centroids.
QVector<Vec3> transferQueries() {
  RenderMesh mesh = model();
  QVector<int> none;
  decimateMesh(mesh, none);
  return centroids(mesh);
}

void BM_TransferLookupGrid(benchmark::State& state) {
  const QVector<Vec3> initial = centroids(model());
  const QVector<Vec3> queries = transferQueries();
  for (auto _ : state) {
    const NearestPointGrid grid(initial);
    int sum = 0;
    for (const Vec3& q : queries) sum += grid.nearest(q);
    benchmark::DoNotOptimize(sum);
  }
  state.counters["queries"] = queries.size();
}
BENCHMARK(BM_TransferLookupGrid)->Unit(benchmark::kMillisecond);

// The plain scan on a tenth of the queries (the full set takes ten times as long).
void BM_TransferLookupScanTenth(benchmark::State& state) {
  const QVector<Vec3> initial = centroids(model());
  const QVector<Vec3> queries = transferQueries();
  for (auto _ : state) {
    int sum = 0;
    for (int i = 0; i < queries.size(); i += 10) sum += NearestPointGrid::nearestByScan(initial, queries[i]);
    benchmark::DoNotOptimize(sum);
  }
  state.counters["queries"] = (queries.size() + 9) / 10;
}
BENCHMARK(BM_TransferLookupScanTenth)->Unit(benchmark::kMillisecond)->Iterations(1);

// The curvature mesh the engine builds after the edit.
void BM_CurvatureMeshAfterDecimation(benchmark::State& state) {
  RenderMesh mesh = model();
  QVector<int> none;
  decimateMesh(mesh, none);
  const int verbosity = TriMesh::verbose();
  TriMesh::set_verbose(0);
  for (auto _ : state) {
    std::unique_ptr<TriMesh> tri = curvatureMeshFromRenderMesh(mesh, 0.01f);
    benchmark::DoNotOptimize(tri.get());
  }
  TriMesh::set_verbose(verbosity);
}
BENCHMARK(BM_CurvatureMeshAfterDecimation)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
