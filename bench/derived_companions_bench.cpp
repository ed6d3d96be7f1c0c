// The companions computed for a model without files (model/derived_companions.h):
// the automatic segmentation and the symmetry detection of a development-set
// model refined to about 100,000 faces, timed as what they add to its load,
// beside the load without them in the same iteration, so that a busy machine
// slows both alike.
//
//   bash scripts/devset.sh   (once: fetches the development set)
//   build/bench/korvane_bench --benchmark_filter=ComputedCompanions

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QVector>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "engine/symmetry_detection.h"
#include "model/auto_segmentation.h"
#include "model/companion_files.h"
#include "model/derived_companions.h"
#include "model/loaded_model.h"
#include "model/render_mesh.h"
#include "trimesh/trimesh.h"

namespace {

// One round of sqrt(3) refinement of a closed triangle mesh: a vertex at
// every face's centroid, and every old edge replaced by the edge between the
// centroids of its two faces; three faces for one, the surface kept close.
// False when an edge does not have exactly one opposite half-edge.
bool refineSqrt3(QVector<Vec3>& v, RenderFaces& f) {
  const int first = v.size();
  for (const RenderFace& t : f) v.append((v[t[0]] + v[t[1]] + v[t[2]]) / 3.0f);
  std::map<std::pair<int, int>, int> faceOf;  // half-edge (a, b) -> its face
  for (int i = 0; i < f.size(); ++i)
    for (int k = 0; k < 3; ++k)
      if (!faceOf.emplace(std::make_pair(f[i][k], f[i][(k + 1) % 3]), i).second) return false;
  RenderFaces out;
  out.reserve(3 * f.size());
  for (int i = 0; i < f.size(); ++i)
    for (int k = 0; k < 3; ++k) {
      const int a = f[i][k], b = f[i][(k + 1) % 3];
      const auto opposite = faceOf.find(std::make_pair(b, a));
      if (opposite == faceOf.end()) return false;
      out.append({a, first + opposite->second, first + i});
    }
  f = std::move(out);
  return true;
}

// The development set's bunny (3,674 faces) refined three times: 99,198
// faces, written once per process. Empty when the set is not fetched.
QByteArray refinedBunny() {
  static QTemporaryDir dir;
  static QByteArray path;
  static bool tried = false;
  if (tried) return path;
  tried = true;
  QVector<Vec3> v;
  RenderFaces f;
  if (!readOff(KORVANE_SOURCE_DIR "/devset/bunny.off", v, f) || f.isEmpty()) return path;
  for (int round = 0; round < 3; ++round)
    if (!refineSqrt3(v, f)) return path;
  const QByteArray file = dir.filePath("bunny100k.off").toLocal8Bit();
  FILE* out = std::fopen(file.constData(), "w");
  if (!out) return path;
  std::fprintf(out, "OFF\n%d %d 0\n", v.size(), f.size());
  for (const Vec3& p : v) std::fprintf(out, "%.8g %.8g %.8g\n", double(p.x), double(p.y), double(p.z));
  for (const RenderFace& t : f) std::fprintf(out, "3 %d %d %d\n", t[0], t[1], t[2]);
  path = std::fclose(out) == 0 ? file : QByteArray();
  return path;
}

// Per iteration: the load as the batch tool does it with neither companion
// computed, the same load computing both (the companion step runs beside the
// curvature chain), the companion step alone on the loaded model, and each
// of its two parts alone. The counters are milliseconds per iteration; the
// cost of the companions is what they add to the load, and
// companions_per_load is that over the load's own time (the aim: at most 1).
void BM_ComputedCompanions(benchmark::State& state) {
  TriMesh::set_verbose(0);
  const QByteArray path = refinedBunny();
  if (path.isEmpty()) return state.SkipWithError("development set missing (bash scripts/devset.sh)");
  double loadMs = 0, loadWithMs = 0, stepMs = 0, segmentationMs = 0, symmetryMs = 0;
  int faces = 0, segments = 0, planes = 0;
  QElapsedTimer t;
  for (auto _ : state) {
    LoadedModel model;
    LoadControl control;
    control.autoSegmentation = false;
    control.autoSymmetry = false;
    t.start();
    if (!buildModel(path.constData(), nullptr, 0.01f, model, &control)) return state.SkipWithError("load failed");
    loadMs += t.nsecsElapsed() * 1e-6;

    LoadedModel computed;
    LoadControl computing;
    computing.autoSegmentation = true;
    computing.autoSymmetry = true;
    t.start();
    if (!buildModel(path.constData(), nullptr, 0.01f, computed, &computing))
      return state.SkipWithError("load with companions failed");
    loadWithMs += t.nsecsElapsed() * 1e-6;
    if (computed.companions.segmentation != CompanionSource::Computed ||
        computed.companions.symmetry != CompanionSource::Computed)
      return state.SkipWithError("a companion was not computed");

    t.start();
    if (!provideCompanions(QString::fromLocal8Bit(path), nullptr, model, &computing))
      return state.SkipWithError("companion step failed");
    stepMs += t.nsecsElapsed() * 1e-6;
    const RenderMesh& mesh = model.renderMesh;
    t.start();
    const AutoSegmentation s = computeAutoSegmentation(mesh.vertices(), mesh.faces());
    segmentationMs += t.nsecsElapsed() * 1e-6;
    t.start();
    const DetectedSymmetry d = detectSymmetry(mesh.vertices(), mesh.faces());
    symmetryMs += t.nsecsElapsed() * 1e-6;
    faces = mesh.faces().size();
    segments = s.segmentCount;
    planes = d.planes.size();
  }
  const double n = double(state.iterations());
  state.counters["faces"] = faces;
  state.counters["load_ms"] = loadMs / n;
  state.counters["load_with_companions_ms"] = loadWithMs / n;
  state.counters["companions_ms"] = (loadWithMs - loadMs) / n;
  state.counters["companions_per_load"] = (loadWithMs - loadMs) / loadMs;
  state.counters["step_alone_ms"] = stepMs / n;
  state.counters["segmentation_ms"] = segmentationMs / n;
  state.counters["symmetry_ms"] = symmetryMs / n;
  state.counters["segments"] = segments;
  state.counters["planes"] = planes;
}
BENCHMARK(BM_ComputedCompanions)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
