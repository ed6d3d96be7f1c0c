// Reading a large OFF model into both meshes, against a plain single parse
// of the same file, and the peak memory of a load (and of a load and a run)
// per face.
//
// Bundled model 66 subdivided three times (578,048 faces) runs by default;
// four times (2,312,192 faces) runs when KORVANE_BENCH_LARGE is set, as it
// takes a while and several gigabytes.

#include <benchmark/benchmark.h>

#include <QVector>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/sorvex.h"
#include "large_models.h"
#include "model/mesh_file.h"
#include "model/render_mesh.h"
#include "trimesh/trimesh.h"

namespace {

QByteArray modelPath(int rounds) {
  TriMesh::set_verbose(0);
  return largemodels::subdividedModel("66", rounds);
}

// The yardstick: the whole file read at once, then numbers taken with
// from_chars into one array of coordinates and one of triangle corners.
bool plainParse(const char* path, std::vector<float>& xyz, std::vector<int>& corners) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  std::string data;
  char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  std::fclose(f);
  const char* p = data.data();
  const char* end = p + data.size();
  auto skip = [&] {
    while (p < end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) ++p;
  };
  auto integer = [&](int& v) {
    skip();
    const auto r = std::from_chars(p, end, v);
    p = r.ptr;
    return r.ec == std::errc();
  };
  p += 3;  // "OFF"
  int nv = 0, nf = 0, ne = 0;
  if (!integer(nv) || !integer(nf) || !integer(ne)) return false;
  xyz.resize(size_t(nv) * 3);
  for (float& c : xyz) {
    skip();
    const auto r = std::from_chars(p, end, c);
    if (r.ec != std::errc()) return false;
    p = r.ptr;
  }
  corners.resize(size_t(nf) * 3);
  for (int i = 0; i < nf; ++i) {
    int count = 0;
    if (!integer(count) || count != 3) return false;
    for (int k = 0; k < 3; ++k)
      if (!integer(corners[size_t(i) * 3 + k])) return false;
  }
  return true;
}

void BM_ReadPlainParse(benchmark::State& state) {
  const QByteArray path = modelPath(int(state.range(0)));
  std::vector<float> xyz;
  std::vector<int> corners;
  for (auto _ : state)
    if (!plainParse(path.constData(), xyz, corners)) state.SkipWithError("parse failed");
  state.counters["faces"] = double(corners.size() / 3);
}

// Both meshes as the loading reads them: once, into flat arrays.
void BM_ReadBothMeshes(benchmark::State& state) {
  const QByteArray path = modelPath(int(state.range(0)));
  size_t faces = 0;
  for (auto _ : state) {
    MeshFileReading r;
    readMeshFile(path.constData(), false, r);
    if (!r.triMesh || !r.renderRead) state.SkipWithError("read failed");
    faces = size_t(r.triangles.size() / 3);
  }
  state.counters["faces"] = double(faces);
}

// Both meshes read separately by the two readers (the mesh library's and the
// render mesh's own, one face at a time).
void BM_ReadBothMeshesTwice(benchmark::State& state) {
  const QByteArray path = modelPath(int(state.range(0)));
  size_t faces = 0;
  for (auto _ : state) {
    std::unique_ptr<TriMesh> mesh = TriMesh::read(path.constData());
    QVector<Vec3> v;
    QVector<QVector<int>> f;
    if (!mesh || !readOff(path.constData(), v, f)) state.SkipWithError("read failed");
    faces = size_t(f.size());
  }
  state.counters["faces"] = double(faces);
}

long long statusKb(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long long kb = -1;
  const size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, field, n) == 0) kb = std::atoll(line + n);
  std::fclose(f);
  return kb;
}

// Peak resident memory (VmHWM) of a load, and of a load followed by a run,
// with the default settings (curvature smoothing at the control panel's
// start value, 0.01), in a child process of its own; counter bytes_per_face
// is the peak above the resident memory before the load.
void BM_LoadPeakMemory(benchmark::State& state) {
  const QByteArray path = modelPath(int(state.range(0)));
  const bool run = state.range(1) != 0;
  long long result[3] = {-1, -1, 0};
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) return state.SkipWithError("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      long long out[3] = {statusKb("VmRSS:"), -1, 0};
      {
        Sorvex engine(nullptr);
        engine.setCurvatureSmooth(0.01);
        if (engine.loadModel(path.constData(), "m", nullptr, false)) {
          if (run) engine.runSelection();
          out[1] = statusKb("VmHWM:");
          out[2] = engine.renderMesh->faces().size();
        }
      }
      if (write(fds[1], out, sizeof out) != sizeof out) _exit(1);
      _exit(0);
    }
    close(fds[1]);
    const bool got = read(fds[0], result, sizeof result) == sizeof result;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!got || result[1] < 0) return state.SkipWithError("load failed");
  }
  state.counters["faces"] = double(result[2]);
  state.counters["peak_MB"] = double(result[1] - result[0]) / 1024.0;
  state.counters["bytes_per_face"] = result[2] ? double(result[1] - result[0]) * 1024.0 / double(result[2]) : 0.0;
  state.SetLabel(run ? "load and run" : "load");
}

void registerAll() {
  std::vector<int> rounds{3};
  if (std::getenv("KORVANE_BENCH_LARGE")) rounds.push_back(4);
  for (int r : rounds) {
    benchmark::RegisterBenchmark("BM_ReadPlainParse", BM_ReadPlainParse)->Arg(r)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_ReadBothMeshes", BM_ReadBothMeshes)->Arg(r)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_ReadBothMeshesTwice", BM_ReadBothMeshesTwice)
        ->Arg(r)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_LoadPeakMemory", BM_LoadPeakMemory)
        ->Args({r, 0})
        ->Args({r, 1})
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  }
}

const bool registered = (registerAll(), true);

}  // namespace
