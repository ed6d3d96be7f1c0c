// Automatic segmentation (model/auto_segmentation.h): its time at about 10k,
// 40k and 160k faces beside the load of the same model, and its settings
// measured against the bundled models' hand-made segmentations (Rand index)
// and against shapes with known parts (a dumbbell, a sphere, a capsule).
//
//   build/bench/korvane_bench --benchmark_filter=AutoSegmentation

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include "engine/sorvex.h"
#include "large_models.h"
#include "model/auto_segmentation.h"
#include "model/companion_files.h"
#include "model/render_mesh.h"
#include "support/shape_meshes.h"
#include "trimesh/trimesh.h"

namespace {

// Model "30" has 10,280 faces; subdivided once and twice, 41,120 and 164,480.
constexpr const char* kTimedModel = "30";

struct Mesh {
  QVector<Vec3> vertices;
  RenderFaces faces;
};

Mesh readModel(const QByteArray& path) {
  Mesh m;
  readOff(path.constData(), m.vertices, m.faces);
  return m;
}

void BM_AutoSegmentation(benchmark::State& state) {
  const QByteArray path = largemodels::subdividedModel(kTimedModel, int(state.range(0)));
  if (path.isEmpty()) return state.SkipWithError("bundled model missing");
  const Mesh m = readModel(path);
  AutoSegmentation s;
  for (auto _ : state) s = computeAutoSegmentation(m.vertices, m.faces);
  if (!s.failure.isEmpty()) state.SkipWithError(s.failure.toLocal8Bit().constData());
  state.counters["faces"] = m.faces.size();
  state.counters["segments"] = s.segmentCount;
  state.SetLabel(s.method.toStdString());
}
BENCHMARK(BM_AutoSegmentation)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);

// The load of the same model, as the window loads it (a segmentation file is
// given, so that no automatic segmentation is part of it).
void BM_AutoSegmentationLoadBeside(benchmark::State& state) {
  TriMesh::set_verbose(0);
  const QByteArray path = largemodels::subdividedModel(kTimedModel, int(state.range(0)));
  if (path.isEmpty()) return state.SkipWithError("bundled model missing");
  static QTemporaryDir dir;
  const QByteArray seg = dir.filePath("zero_0.seg").toLocal8Bit();
  QFile f(seg);
  if (!f.open(QIODevice::WriteOnly) || f.write("0\n") != 2) return state.SkipWithError("cannot write");
  f.close();
  Sorvex engine(nullptr);
  engine.setCurvatureSmooth(0.01f);
  for (auto _ : state)
    if (!engine.loadModel(path.constData(), "bench", seg.constData(), false)) state.SkipWithError("load failed");
  state.counters["faces"] = engine.renderMesh->faces().size();
}
BENCHMARK(BM_AutoSegmentationLoadBeside)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---------------------------------------------------------------------------
// Quality.

double faceArea(const Mesh& m, int f) {
  const RenderFace& t = m.faces[f];
  const Vec3 a = m.vertices[t[1]] - m.vertices[t[0]], b = m.vertices[t[2]] - m.vertices[t[0]];
  const Vec3 n(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
  return 0.5 * std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
}

// Rand index of two segmentations weighted by face area: the chance that two
// points picked on the surface are in one segment in both or in different
// segments in both. 1 is full agreement.
double randIndex(const Mesh& m, const QVector<int>& a, const QVector<int>& b) {
  std::map<std::pair<int, int>, double> joint;
  std::map<int, double> ra, rb;
  double total = 0.0;
  for (int f = 0; f < m.faces.size(); ++f) {
    const double w = faceArea(m, f);
    joint[{a[f], b[f]}] += w;
    ra[a[f]] += w;
    rb[b[f]] += w;
    total += w;
  }
  double sa = 0, sb = 0, sj = 0;
  for (const auto& e : ra) sa += e.second * e.second;
  for (const auto& e : rb) sb += e.second * e.second;
  for (const auto& e : joint) sj += e.second * e.second;
  return 1.0 - (sa + sb - 2.0 * sj) / (total * total);
}

// Connected components through shared vertices (the baseline that the
// bundled models, unions of separate closed parts, nearly give away).
QVector<int> components(const Mesh& m) {
  std::vector<int> parent(size_t(m.vertices.size()));
  std::iota(parent.begin(), parent.end(), 0);
  auto root = [&](int i) {
    while (parent[size_t(i)] != i) i = parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
    return i;
  };
  for (const RenderFace& t : m.faces)
    for (int c = 1; c < 3; ++c) parent[size_t(root(t[c]))] = root(t[0]);
  QVector<int> ids;
  for (const RenderFace& t : m.faces) ids.append(root(t[0]));
  return ids;
}

struct Bundled {
  Mesh mesh;
  QVector<int> truth;
};

// One round of midpoint subdivision; each face's four children follow in
// its place and keep its id.
void subdivide(Bundled& b) {
  std::map<std::pair<int, int>, int> middle;
  auto at = [&](int a, int c) {
    const std::pair<int, int> key(std::min(a, c), std::max(a, c));
    auto it = middle.find(key);
    if (it != middle.end()) return it->second;
    b.mesh.vertices.append((b.mesh.vertices[a] + b.mesh.vertices[c]) * 0.5f);
    return middle[key] = b.mesh.vertices.size() - 1;
  };
  RenderFaces faces;
  QVector<int> truth;
  for (int f = 0; f < b.mesh.faces.size(); ++f) {
    const int p = b.mesh.faces[f][0], q = b.mesh.faces[f][1], r = b.mesh.faces[f][2];
    const int pq = at(p, q), qr = at(q, r), rp = at(r, p);
    faces += {{p, pq, rp}, {pq, q, qr}, {rp, qr, r}, {pq, qr, rp}};
    truth += {b.truth[f], b.truth[f], b.truth[f], b.truth[f]};
  }
  b.mesh.faces.swap(faces);
  b.truth.swap(truth);
}

const std::vector<Bundled>& bundled(bool subdivided) {
  static std::vector<Bundled> finer;
  static std::vector<Bundled> models = [] {
    std::vector<Bundled> out;
    for (const char* name : {"2", "21", "22", "24", "25", "30", "62", "63", "64", "65", "66", "105", "141", "142",
                             "143", "144", "145", "342", "385"}) {
      const QByteArray base = QByteArray(KORVANE_SOURCE_DIR) + "/objs/" + name;
      Bundled b;
      b.mesh = readModel(base + ".off");
      if (b.mesh.faces.isEmpty() || !readSegmentation((base + "_0.seg").constData(), b.mesh.faces.size(), b.truth))
        continue;
      out.push_back(b);
    }
    return out;
  }();
  if (subdivided && finer.empty())
    for (Bundled b : models) {
      subdivide(b);
      finer.push_back(b);
    }
  return subdivided ? finer : models;
}

// 1 when both balls keep 80 % of their faces in one segment each, other than
// the bar's (which keeps 80 % in one segment too), and there are >= 3 segments.
double dumbbellSplit(const shapemeshes::Mesh& m, const AutoSegmentation& s) {
  if (!s.failure.isEmpty() || s.segmentCount < 3) return 0.0;
  const auto left = shapemeshes::majority(m, s.faceSegment, [](float z) { return z < -0.5f; });
  const auto right = shapemeshes::majority(m, s.faceSegment, [](float z) { return z > 0.5f; });
  const auto bar = shapemeshes::majority(m, s.faceSegment, [](float z) { return std::abs(z) < 0.12f; });
  return left.second >= 0.8 && right.second >= 0.8 && bar.second >= 0.8 && left.first != bar.first &&
                 right.first != bar.first
             ? 1.0
             : 0.0;
}

// Arguments: proxy faces (0: none), rays, clusters, smoothing x 100, smallest
// segment's area share x 1000, and 1 to score the bundled models subdivided
// once (four times the faces, the same shapes and segments).
void BM_AutoSegmentationOracle(benchmark::State& state) {
  AutoSegmentationParams p;
  p.proxyFaces = int(state.range(0));
  p.rays = int(state.range(1));
  p.clusters = int(state.range(2));
  p.smoothing = state.range(3) / 100.0;
  p.minSegmentArea = state.range(4) / 1000.0;
  const std::vector<Bundled>& models = bundled(state.range(5) != 0);
  if (models.empty()) return state.SkipWithError("bundled models missing");
  static const shapemeshes::Mesh coarseBell = shapemeshes::dumbbell(40, 24), fineBell = shapemeshes::dumbbell(160, 64);
  static const shapemeshes::Mesh ball = shapemeshes::sphere(0.8, 60, 48);
  static const shapemeshes::Mesh capsule = shapemeshes::revolution(
      [](double z) {
        const double r = 0.25, h = 0.5;
        return std::abs(z) <= h ? r : std::sqrt(std::max(0.0, r * r - (std::abs(z) - h) * (std::abs(z) - h)));
      },
      -0.75, 0.75, 90, 40);
  double sum = 0, worst = 1, segments = 0, truth = 0, failures = 0, baseline = 0, seconds = 0, bells = 0;
  double sphereSegments = 0, capsuleSegments = 0;
  for (auto _ : state) {
    sum = segments = truth = failures = baseline = seconds = 0;
    worst = 1;
    for (const Bundled& b : models) {
      QElapsedTimer clock;
      clock.start();
      const AutoSegmentation s = computeAutoSegmentation(b.mesh.vertices, b.mesh.faces, nullptr, p);
      seconds += clock.nsecsElapsed() * 1e-9;
      const double ri = s.failure.isEmpty() ? randIndex(b.mesh, s.faceSegment, b.truth) : 0.0;
      failures += s.failure.isEmpty() ? 0 : 1;
      sum += ri;
      worst = std::min(worst, ri);
      segments += s.segmentCount;
      truth += countSegments(b.truth);
      baseline += randIndex(b.mesh, components(b.mesh), b.truth);
    }
    bells = dumbbellSplit(coarseBell, computeAutoSegmentation(coarseBell.vertices, coarseBell.faces, nullptr, p)) +
            dumbbellSplit(fineBell, computeAutoSegmentation(fineBell.vertices, fineBell.faces, nullptr, p));
    sphereSegments = computeAutoSegmentation(ball.vertices, ball.faces, nullptr, p).segmentCount;
    capsuleSegments = computeAutoSegmentation(capsule.vertices, capsule.faces, nullptr, p).segmentCount;
  }
  const double n = double(models.size());
  state.counters["RI"] = sum / n;
  state.counters["RImin"] = worst;
  state.counters["segs"] = segments / n;
  state.counters["truthSegs"] = truth / n;
  state.counters["failed"] = failures;
  state.counters["componentsRI"] = baseline / n;
  state.counters["sPerModel"] = seconds / n;
  state.counters["dumbbells"] = bells;
  state.counters["sphereSegs"] = sphereSegments;
  state.counters["capsuleSegs"] = capsuleSegments;
}
BENCHMARK(BM_AutoSegmentationOracle)
    ->ArgNames({"proxy", "rays", "clusters", "lambda100", "minArea1000", "subdivided"})
    ->Args({3000, 3, 5, 26, 2, 0})  // the defaults
    ->Args({3000, 3, 5, 26, 2, 1})
    ->Args({3000, 2, 5, 26, 2, 0})
    ->Args({3000, 2, 5, 26, 2, 1})
    ->Args({3000, 4, 5, 26, 2, 0})
    ->Args({3000, 4, 5, 26, 2, 1})
    ->Args({3000, 6, 5, 26, 2, 0})
    ->Args({3000, 12, 5, 26, 2, 0})
    ->Args({2000, 3, 5, 26, 2, 0})
    ->Args({2500, 3, 5, 26, 2, 0})
    ->Args({3500, 3, 5, 26, 2, 0})
    ->Args({3000, 3, 4, 26, 2, 0})
    ->Args({3000, 3, 6, 26, 2, 0})
    ->Args({3000, 3, 5, 40, 2, 0})
    ->Args({3000, 3, 5, 60, 2, 0})
    ->Args({3000, 3, 5, 26, 0, 0})
    ->Args({3000, 3, 5, 26, 20, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace
