// Reading a large OFF model into both meshes, against a plain single parse
// of the same file; the wall and CPU time and the peak memory of a load (and
// of a load and a run) per face, each in a process of its own; and how the
// load time grows from the three-round to the four-round model.
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
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "batch/batch_options.h"
#include "batch/model_job.h"
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
    RenderFaces f;
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

double wallSeconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// CPU time of every thread of this process so far.
double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// The control panel's start values, as the batch tool's defaults hold them:
// every feature kind on with its start weight and radius, threshold 1,
// curvature smoothing 0.01, and a segmentation and symmetry computed for a
// model without companion files.
void applyStartSettings(Sorvex& engine) {
  const BatchOptions o;
  applyBatchOptions(engine, o);
  engine.autoSegmentation = o.autoSegmentation;
  engine.autoSymmetry = o.autoSymmetry;
}

// What one load (and run) measured in a child process of its own.
struct ChildFigures {
  long long rssBeforeKb = -1, peakKb = -1, faces = 0, planes = 0, segments = 0;
  double loadWall = 0, loadCpu = 0, runWall = 0, runCpu = 0;
};

// Loads `path` with the control panel's start values and, when `run`, runs
// the plane selection, in a
// forked child so that its peak resident memory (VmHWM) is this model's
// alone. False when the child failed.
bool measureInChild(const QByteArray& path, bool run, ChildFigures& out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    close(fds[0]);
    ChildFigures f;
    f.rssBeforeKb = statusKb("VmRSS:");
    {
      Sorvex engine(nullptr);
      applyStartSettings(engine);
      const double w0 = wallSeconds(), c0 = cpuSeconds();
      if (engine.loadModel(path.constData(), "m", nullptr, false)) {
        const double w1 = wallSeconds(), c1 = cpuSeconds();
        f.loadWall = w1 - w0;
        f.loadCpu = c1 - c0;
        if (run) {
          engine.runSelection();
          f.runWall = wallSeconds() - w1;
          f.runCpu = cpuSeconds() - c1;
        }
        f.peakKb = statusKb("VmHWM:");
        f.faces = engine.renderMesh->faces().size();
        f.planes = engine.planes.size();
        f.segments = engine.segmentCount;
      }
    }
    if (write(fds[1], &f, sizeof f) != sizeof f) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  const bool got = read(fds[0], &out, sizeof out) == sizeof out;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return got && out.peakKb >= 0;
}

// Peak resident memory of a load, and of a load followed by a run, with the
// wall and CPU seconds of each stage; counter bytes_per_face is the peak
// above the resident memory before the load.
void BM_LoadPeakMemory(benchmark::State& state) {
  const QByteArray path = modelPath(int(state.range(0)));
  const bool run = state.range(1) != 0;
  ChildFigures f;
  for (auto _ : state)
    if (!measureInChild(path, run, f)) return state.SkipWithError("load failed");
  state.counters["faces"] = double(f.faces);
  state.counters["peak_MB"] = double(f.peakKb - f.rssBeforeKb) / 1024.0;
  state.counters["bytes_per_face"] = f.faces ? double(f.peakKb - f.rssBeforeKb) * 1024.0 / double(f.faces) : 0.0;
  state.counters["load_s"] = f.loadWall;
  state.counters["load_cpu_s"] = f.loadCpu;
  state.counters["segments"] = double(f.segments);
  if (run) {
    state.counters["planes"] = double(f.planes);
    state.counters["run_s"] = f.runWall;
    state.counters["run_cpu_s"] = f.runCpu;
    state.counters["total_s"] = f.loadWall + f.runWall;
    state.counters["total_cpu_s"] = f.loadCpu + f.runCpu;
  }
  state.SetLabel(run ? "load and run" : "load");
}

// Load time of the four-round model over that of the three-round one (four
// times the faces), each load alone in a child process.
void BM_LoadTimeRatio(benchmark::State& state) {
  const QByteArray small = modelPath(3), large = modelPath(4);
  ChildFigures a, b;
  for (auto _ : state)
    if (!measureInChild(small, false, a) || !measureInChild(large, false, b)) return state.SkipWithError("load failed");
  state.counters["faces_ratio"] = a.faces ? double(b.faces) / double(a.faces) : 0.0;
  state.counters["load_ratio"] = a.loadWall > 0 ? b.loadWall / a.loadWall : 0.0;
  state.counters["load_cpu_ratio"] = a.loadCpu > 0 ? b.loadCpu / a.loadCpu : 0.0;
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
  if (std::getenv("KORVANE_BENCH_LARGE"))
    benchmark::RegisterBenchmark("BM_LoadTimeRatio", BM_LoadTimeRatio)->Unit(benchmark::kMillisecond)->Iterations(1);
}

const bool registered = (registerAll(), true);

}  // namespace
