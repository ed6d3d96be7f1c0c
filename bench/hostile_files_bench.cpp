// Files whose cost used to grow faster than their size: a face line of very
// many corners, one segment per face, adjacency around one edge shared by
// thousands of faces.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <cstdio>
#include <string>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "trimesh/trimesh.h"

namespace {

// An OFF model of 4 vertices and one face of `corners` corners cycling over them.
std::string longFaceOff(int corners) {
  std::string s = "OFF\n4 1 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n" + std::to_string(corners);
  s.reserve(s.size() + 2 * size_t(corners) + 2);
  for (int i = 0; i < corners; ++i) {
    s += ' ';
    s += char('0' + i % 4);
  }
  return s + "\n";
}

bool writeFile(const QByteArray& path, const std::string& text) {
  FILE* f = std::fopen(path.constData(), "w");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// Whole load of a model whose one face line has state.range(0) corners.
void BM_LoadLongFaceLine(benchmark::State& state) {
  TriMesh::set_verbose(0);
  QTemporaryDir dir;
  const QByteArray path = dir.filePath(QStringLiteral("long.off")).toLocal8Bit();
  writeFile(path, longFaceOff(int(state.range(0))));
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  for (auto _ : state) {
    Sorvex engine(nullptr);
    benchmark::DoNotOptimize(engine.loadModel(path.constData(), "long", nullptr, false));
  }
  qInstallMessageHandler(nullptr);
}
BENCHMARK(BM_LoadLongFaceLine)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

// compute_across_faces on the fan of one face of state.range(0) corners
// over 4 vertices.
void BM_AcrossFacesOneFace(benchmark::State& state) {
  TriMesh::set_verbose(0);
  const std::string text = longFaceOff(int(state.range(0)));
  const auto mesh = TriMesh::read_memory(text.data(), text.size(), "fan");
  for (auto _ : state) {
    TriMesh m;
    m.vertices = mesh->vertices;
    m.faces = mesh->faces;
    m.compute_across_faces();
    benchmark::DoNotOptimize(m.across_faces.data());
  }
}
BENCHMARK(BM_AcrossFacesOneFace)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// compute_across_faces on state.range(0) copies of one triangle.
void BM_AcrossFacesStackedTriangle(benchmark::State& state) {
  TriMesh::set_verbose(0);
  for (auto _ : state) {
    TriMesh m;
    m.vertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
    m.faces.assign(size_t(state.range(0)), TriMesh::Face(0, 1, 2));
    m.compute_across_faces();
    benchmark::DoNotOptimize(m.across_faces.data());
  }
}
BENCHMARK(BM_AcrossFacesStackedTriangle)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Segment PCA features of a 20,000-face grid whose every face is a segment.
void BM_SegmentFeaturesOnePerFace(benchmark::State& state) {
  Sorvex engine(nullptr);
  QVector<Vec3> vertices;
  RenderFaces faces;
  const int n = 100;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) vertices.append(Vec3(i * 0.01f, j * 0.01f, 0.0f));
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const int a = j * (n + 1) + i;
      faces.append({a, a + 1, a + n + 2});
      faces.append({a, a + n + 2, a + n + 1});
    }
  engine.renderMesh->setGeometry(vertices, faces);
  engine.faceSegment.resize(faces.size());
  for (int f = 0; f < faces.size(); ++f) engine.faceSegment[f] = f;
  engine.segmentCount = faces.size();
  engine.featureEnabled[FeatureSegmentPCAPlanes] = true;
  engine.featureEnabled[FeatureSegmentPCAAxes] = true;
  for (auto _ : state) {
    engine.extractSegmentFeatures();
    benchmark::DoNotOptimize(engine.segmentPlanes.size());
  }
}
BENCHMARK(BM_SegmentFeaturesOnePerFace)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
