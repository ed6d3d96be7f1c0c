// Contour nesting and classification.
//
// BM_ClassifyContours/<case>: classifyContours (polygons, votes, nesting
// depths, holes and net area) on one set of contours:
//   0 = a grid of 100 x 100 small squares (8 segments each),
//   1 = 1,000 nested rings of 64 segments, turning alternately,
//   2 = one outline of 20,000 segments round 5,000 small squares,
//   3 = 5,000 open chains of 10 segments in a frame that maps every point to
//       the origin (the chainer of the ridge and valley lines has such a
//       frame),
//   4 = the ridge lines of bundled model 66 subdivided twice (144,512 faces),
//       as the ridge family chains them,
//   5 = one section through the same mesh.
// Counter "contours" is the number of contours classified.
//
// BM_PolygonContains/<edges>/<strips>: one point-in-polygon test against a
// wavy outline of that many edges, at points spread over its box; plain
// (strips 0) or through the polygon's strips (1, built once outside the
// timing).

#include <benchmark/benchmark.h>

#include <QtGlobal>
#include <cmath>
#include <random>
#include <vector>

#include "engine/sorvex.h"
#include "large_models.h"
#include "model/render_mesh.h"
#include "sections/contour_area.h"
#include "sections/polygon_strips.h"
#include "trimesh/trimesh.h"

namespace {

void quietLog(QtMsgType, const QMessageLogContext&, const QString&) {}

SectionSegment segment(double x0, double y0, double x1, double y1, const Vec3& normal) {
  SectionSegment s;
  s.start = Vec3(float(x0), float(y0), 0.0f);
  s.end = Vec3(float(x1), float(y1), 0.0f);
  s.normal = normal;
  return s;
}

// A closed polygon of n segments round (cx, cy) with radius r(angle); the
// face normals point outwards (material inside) or inwards.
template <typename Radius>
SectionContour ring(double cx, double cy, int n, Radius r, bool materialInside) {
  SectionContour c;
  c.isClosed = true;
  for (int k = 0; k < n; ++k) {
    const double a = 2 * M_PI * k / n, b = 2 * M_PI * (k + 1) / n;
    const double m = 0.5 * (a + b), s = materialInside ? 1.0 : -1.0;
    c.segments << segment(cx + r(a) * std::cos(a), cy + r(a) * std::sin(a), cx + r(b) * std::cos(b),
                          cy + r(b) * std::sin(b), Vec3(float(s * std::cos(m)), float(s * std::sin(m)), 0.0f));
  }
  return c;
}

SectionContour square(double cx, double cy, double h) {
  return ring(
      cx, cy, 8, [&](double) { return h; }, true);
}

CutPlane xyFrame() {
  CutPlane p;
  p.normal = Vec3(0, 0, 1);
  p.r1 = Vec3(1, 0, 0);
  p.r2 = Vec3(0, 1, 0);
  return p;
}

struct RealCase {
  Sorvex* engine = nullptr;  // never deleted, as in the application
  bool loaded = false;
};

RealCase& realCase() {
  static RealCase c;
  if (c.engine) return c;
  TriMesh::set_verbose(0);
  c.engine = new Sorvex(nullptr);
  const QByteArray path = largemodels::subdividedModel("66", 2);
  c.loaded = !path.isEmpty() && c.engine->loadModel(path.constData(), "m", nullptr, false);
  return c;
}

bool contourCase(int which, QList<SectionContour>& contours, CutPlane& frame) {
  frame = xyFrame();
  switch (which) {
    case 0:
      for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j) contours << square(i, j, 0.3);
      return true;
    case 1:
      for (int k = 0; k < 1000; ++k)
        contours << ring(
            0, 0, 64, [&](double) { return 1.0 + k; }, k % 2 == 0);
      return true;
    case 2: {
      contours << ring(
          0, 0, 20000, [](double a) { return 100.0 + 3.0 * std::sin(40 * a); }, true);
      std::mt19937 rng(5);
      std::uniform_real_distribution<double> u(-60, 60);
      for (int k = 0; k < 5000; ++k) contours << square(u(rng), u(rng), 0.2);
      return true;
    }
    case 3: {
      frame = CutPlane();  // zero axes: every point projects to the origin
      std::mt19937 rng(3);
      std::uniform_real_distribution<double> u(-1, 1);
      for (int k = 0; k < 5000; ++k) {
        SectionContour c;
        double x = u(rng), y = u(rng);
        for (int s = 0; s < 10; ++s) {
          const double nx = x + 0.01 * u(rng), ny = y + 0.01 * u(rng);
          c.segments << segment(x, y, nx, ny, Vec3(0, 0, 1));
          x = nx, y = ny;
        }
        contours << c;
      }
      return true;
    }
    case 4: {
      RealCase& r = realCase();
      if (!r.loaded) return false;
      r.engine->extractRidges();
      contours = r.engine->ridgeChainer.contours;
      frame = r.engine->ridgeChainer.head();
      return true;
    }
    default: {
      RealCase& r = realCase();
      if (!r.loaded) return false;
      SectionPlane plane;
      plane.normal = Vec3(0.3f, 1.0f, 0.2f).normalized();
      plane.point = r.engine->renderMesh->centre();
      plane.d = plane.normal.dot(plane.point);
      planeAxesFromNormal(plane.normal, plane.r1, plane.r2);
      r.engine->computeSegments(plane);
      r.engine->chainContours(plane);
      contours = plane.contours;
      frame = plane.head();
      return true;
    }
  }
}

void BM_ClassifyContours(benchmark::State& state) {
  qInstallMessageHandler(quietLog);
  QList<SectionContour> contours;
  CutPlane plane;
  if (!contourCase(int(state.range(0)), contours, plane)) {
    state.SkipWithError("bundled model missing (build korvane_models first)");
    return;
  }
  const SectionFrame frame(plane);
  double area = 0.0;
  for (auto _ : state) area += classifyContours(contours, frame);  // rewrites isHole only
  benchmark::DoNotOptimize(area);
  int holes = 0;
  for (const SectionContour& c : contours) holes += c.isHole ? 1 : 0;
  state.counters["contours"] = contours.size();
  state.counters["holes"] = holes;
  qInstallMessageHandler(nullptr);
}

void BM_PolygonContains(benchmark::State& state) {
  const int n = int(state.range(0));
  SectionContour outline = ring(
      0, 0, n, [](double a) { return 1.0 + 0.3 * std::sin(25 * a); }, true);
  const ContourPolygon polygon = contourPolygon(outline, SectionFrame(xyFrame()));
  const PolygonStrips strips = state.range(1) ? PolygonStrips(polygon) : PolygonStrips();
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.3, 1.3);
  std::vector<double> points(2048);
  for (double& v : points) v = u(rng);
  size_t k = 0;
  int inside = 0;
  for (auto _ : state) {
    inside += strips.contains(polygon, points[k], points[k + 1]) ? 1 : 0;
    k = (k + 2) % points.size();
  }
  benchmark::DoNotOptimize(inside);
}

}  // namespace

BENCHMARK(BM_PolygonContains)->ArgsProduct({{64, 1024, 16384}, {0, 1}});
BENCHMARK(BM_ClassifyContours)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);
