#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <string>

#include "engine/cut_plane.h"
#include "engine/sorvex.h"
#include "model/human_cuts.h"
#include "model/loaded_model.h"

namespace {

void silentHandler(QtMsgType, const QMessageLogContext&, const QString&) {}

bool writeFile(const QString& path, const std::string& text) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         f.write(text.data(), qint64(text.size())) == qint64(text.size());
}

// A UV sphere of radius 0.5: `rings` x `sectors` quads split in two.
std::string sphereOff(int rings, int sectors) {
  std::string v, f;
  int nv = 0, nf = 0;
  for (int r = 0; r <= rings; ++r) {
    const double phi = M_PI * r / rings;
    for (int s = 0; s < sectors; ++s) {
      const double th = 2 * M_PI * s / sectors;
      v += std::to_string(0.5 * std::sin(phi) * std::cos(th)) + " " + std::to_string(0.5 * std::cos(phi)) + " " +
           std::to_string(0.5 * std::sin(phi) * std::sin(th)) + "\n";
      ++nv;
    }
  }
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < sectors; ++s) {
      const int a = r * sectors + s, b = r * sectors + (s + 1) % sectors;
      const int c = a + sectors, d = b + sectors;
      f += "3 " + std::to_string(a) + " " + std::to_string(c) + " " + std::to_string(b) + "\n";
      f += "3 " + std::to_string(b) + " " + std::to_string(c) + " " + std::to_string(d) + "\n";
      nf += 2;
    }
  }
  return "OFF\n" + std::to_string(nv) + " " + std::to_string(nf) + " 0\n" + v + f;
}

std::string cutLine(const Vec3& n, float d) {
  Vec3 r1, r2;
  planeAxesFromNormal(n, r1, r2);
  const Vec3 p = n * d;
  char buf[300];
  std::snprintf(buf, sizeof buf, "cut %f %f %f %f %f %f 0 %f %f %f %f %f %f\n", n.x, n.y, n.z, p.x, p.y, p.z, r1.x,
                r1.y, r1.z, r2.x, r2.y, r2.z);
  return buf;
}

// The study tree of the benchmarks below, in a temporary folder that is the
// working directory while it lives.
struct StudyTree {
  QTemporaryDir dir;
  QString previousDir = QDir::currentPath();
  QtMessageHandler previous = qInstallMessageHandler(silentHandler);
  QByteArray path;
  explicit StudyTree(int scale) {
    QDir(dir.path()).mkpath(QStringLiteral("a/b"));
    const QString model = dir.path() + QStringLiteral("/a/b/sphere.off");
    writeFile(model, sphereOff(40 * scale, 60 * scale));
    for (int u = 1; u <= humancuts::kUserCount; ++u) {
      const QString folder = dir.path() + QStringLiteral("/userstudy/user") + QString::number(u);
      QDir().mkpath(folder);
      const float jitter = 0.002f * float(u % 3);
      std::string lines = cutLine(Vec3(1, 0, 0), 0.1f + jitter) + cutLine(Vec3(0, 1, 0), 0.2f + jitter) +
                          cutLine(Vec3(0, 0, 1), 0.0f + jitter);
      for (int k = 0; k < 3; ++k) {
        const float a = 0.4f * float(u) + 1.1f * float(k);
        lines += cutLine(Vec3(std::cos(a), 0.3f * float(k), std::sin(a)).normalized(), 0.05f * float(k));
      }
      writeFile(folder + QStringLiteral("/sphere.off.obj"), "cuts 6\nnotes\n" + lines);
    }
    QDir::setCurrent(dir.path() + QStringLiteral("/a/b"));
    path = model.toLocal8Bit();
  }
  ~StudyTree() {
    QDir::setCurrent(previousDir);
    qInstallMessageHandler(previous);
  }
};

// Twelve participants with six cuts each on a sphere of 4,800 faces times
// the argument squared (7: 235,200 faces); three of the cuts of every
// participant agree with the others' (three consensus planes), three are
// their own. The whole reading, as it was done on the GUI thread after a load.
void BM_ReadHumanCuts(benchmark::State& state) {
  StudyTree tree(int(state.range(0)));
  Sorvex engine(nullptr);
  engine.loadModel(tree.path.constData(), "sphere", nullptr, false);
  for (auto _ : state) {
    engine.humanCuts.clear();
    engine.humanCutColours.clear();
    engine.clearPlanes();
    engine.humanCutCountTable.clear();
    engine.uniqueCutCountTable.clear();
    engine.modelLabels.clear();
    engine.readHumanCuts(QStringLiteral("sphere"));
    benchmark::DoNotOptimize(engine.planes.size());
  }
  state.counters["consensus"] = double(engine.planes.size());
}
BENCHMARK(BM_ReadHumanCuts)->Arg(1)->Arg(7)->Unit(benchmark::kMillisecond);

// What is left on the GUI thread now: the install of a model whose cuts were
// gathered beside its build.
void BM_InstallGatheredHumanCuts(benchmark::State& state) {
  StudyTree tree(int(state.range(0)));
  Sorvex engine(nullptr);
  for (auto _ : state) {
    state.PauseTiming();
    LoadedModel built;
    buildModel(tree.path.constData(), nullptr, engine.curvatureSmooth, built);
    gatherHumanCuts(built, humanCutSettingsOf(engine));
    state.ResumeTiming();
    engine.installModel(built, QStringLiteral("sphere"), true);
    state.PauseTiming();
    built = LoadedModel();  // the previous model leaves off the clock
    state.ResumeTiming();
  }
  state.counters["consensus"] = double(engine.planes.size());
}
BENCHMARK(BM_InstallGatheredHumanCuts)->Arg(1)->Arg(7)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
