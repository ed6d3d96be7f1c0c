// Symmetry detection: time at about 10k, 40k and 160k faces (a bundled model
// subdivided), and its answers on every bundled model against the model's
// symmetry file.

#include <benchmark/benchmark.h>

#include <QVector>
#include <cmath>

#include "engine/symmetry_detection.h"
#include "large_models.h"
#include "model/companion_files.h"
#include "model/render_mesh.h"

namespace {

bool readMesh(const QByteArray& path, QVector<Vec3>& v, RenderFaces& f) {
  return !path.isEmpty() && readOff(path.constData(), v, f);
}

// The chair (66, about 9,000 faces) as it is, subdivided once and twice.
void BM_DetectSymmetry(benchmark::State& state) {
  QVector<Vec3> v;
  RenderFaces f;
  const int rounds = int(state.range(0));
  const QByteArray path =
      rounds == 0 ? QByteArray(KORVANE_SOURCE_DIR "/objs/66.off") : largemodels::subdividedModel("66", rounds);
  if (!readMesh(path, v, f)) {
    state.SkipWithError("bundled model missing (build korvane_models)");
    return;
  }
  DetectedSymmetry found;
  for (auto _ : state) found = detectSymmetry(v, f);
  state.counters["faces"] = f.size();
  state.counters["planes"] = found.planes.size();
  state.counters["axes"] = found.axes.size();
}
BENCHMARK(BM_DetectSymmetry)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(2);

// One bundled model against its symmetry file: how many of the file's planes
// and axes come back (within 2 degrees and 1% of the bounding-box diagonal),
// their largest angle (degrees) and offset (fraction of the diagonal)
// errors, and how many others are reported.
void BM_DetectSymmetry_Bundled(benchmark::State& state, const char* name) {
  const QByteArray base = QByteArray(KORVANE_SOURCE_DIR "/objs/") + name;
  QVector<Vec3> v;
  RenderFaces f;
  QList<CutPlane> planes;
  QList<Axis> axes;
  if (!readMesh(base + ".off", v, f) || !readSymmetry((base + ".sym").constData(), planes, axes)) {
    state.SkipWithError("bundled model missing (build korvane_models)");
    return;
  }
  DetectedSymmetry found;
  for (auto _ : state) found = detectSymmetry(v, f);
  Vec3 lo = v[0], hi = v[0];
  for (const Vec3& p : v)
    for (int c = 0; c < 3; ++c) {
      lo[c] = std::min(lo[c], p[c]);
      hi[c] = std::max(hi[c], p[c]);
    }
  const float size = (hi - lo).length(), cos2 = std::cos(2.0f * float(M_PI) / 180.0f);
  int planeHits = 0, axisHits = 0;
  float angleError = 0, offsetError = 0;
  for (const CutPlane& w : planes)
    for (const CutPlane& g : found.planes) {
      const float c = g.normal.dot(w.normal), off = std::fabs((c > 0 ? g.d : -g.d) - w.d) / size;
      if (std::fabs(c) < cos2 || off > 0.01f) continue;
      ++planeHits;
      angleError = std::max(angleError, std::acos(std::min(1.0f, std::fabs(c))) * 180.0f / float(M_PI));
      offsetError = std::max(offsetError, off);
      break;
    }
  for (const Axis& w : axes)
    for (const Axis& g : found.axes) {
      const float c = std::fabs(g.direction.dot(w.direction));
      const Vec3 d = g.point - w.point;
      const float off = (d - w.direction * w.direction.dot(d)).length() / size;
      if (c < cos2 || off > 0.01f) continue;
      ++axisHits;
      angleError = std::max(angleError, std::acos(std::min(1.0f, c)) * 180.0f / float(M_PI));
      offsetError = std::max(offsetError, off);
      break;
    }
  state.counters["faces"] = f.size();
  state.counters["file_planes"] = planes.size();
  state.counters["found_planes"] = planeHits;
  state.counters["extra_planes"] = found.planes.size() - planeHits;
  state.counters["file_axes"] = axes.size();
  state.counters["found_axes"] = axisHits;
  state.counters["extra_axes"] = found.axes.size() - axisHits;
  state.counters["max_angle_deg"] = angleError;
  state.counters["max_offset"] = offsetError;
}
#define KORVANE_BUNDLED(n) \
  BENCHMARK_CAPTURE(BM_DetectSymmetry_Bundled, m##n, #n)->Unit(benchmark::kMillisecond)->Iterations(1)
KORVANE_BUNDLED(2);
KORVANE_BUNDLED(21);
KORVANE_BUNDLED(22);
KORVANE_BUNDLED(24);
KORVANE_BUNDLED(25);
KORVANE_BUNDLED(30);
KORVANE_BUNDLED(62);
KORVANE_BUNDLED(63);
KORVANE_BUNDLED(64);
KORVANE_BUNDLED(65);
KORVANE_BUNDLED(66);
KORVANE_BUNDLED(105);
KORVANE_BUNDLED(141);
KORVANE_BUNDLED(142);
KORVANE_BUNDLED(143);
KORVANE_BUNDLED(144);
KORVANE_BUNDLED(145);
KORVANE_BUNDLED(342);
KORVANE_BUNDLED(385);

}  // namespace
