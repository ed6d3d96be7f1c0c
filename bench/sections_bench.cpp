// Plane sections.
//
// BM_SectionCut_Korvane / BM_SectionCut_Peer: per-cut time of crossing
// segments + chaining + area, against the mesh slicer of CGAL with its tree
// built once per mesh (the peer), on the same 64 random planes per mesh, for
// meshes from about 1k to about 500k faces (bundled models, refined by
// midpoint subdivision). Manual time = thread CPU time of the cuts alone.
//
// BM_SectionCutWithSlab_Korvane: the same cuts through the whole
// updateSection (segments, contours, area and the triangulated slab), against
// the same peer.
//
// BM_SectionContourStep_*: the contour step alone (duplicate removal plus
// chaining by distance) on the grid path and on the plain quadratic scans.
//
// BM_SectionUpdate: the whole updateSection on a sphere-like mesh of about
// 200,000 faces. BM_LocalSearch: one local search (the work per accepted plane
// of a selection run) on a model of about 39,000 faces.

#include <benchmark/benchmark.h>

#include <time.h>

#include <CGAL/AABB_halfedge_graph_segment_primitive.h>
#include <CGAL/AABB_traits.h>
#include <CGAL/AABB_tree.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_slicer.h>
#include <CGAL/Surface_mesh.h>

#include <QtGlobal>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <unordered_map>
#include <vector>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "sections/contour_chaining.h"
#include "sections/contours_reference.h"
#include "sections/section_segments.h"

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using PeerMesh = CGAL::Surface_mesh<Kernel::Point_3>;
using PeerEdgePrimitive = CGAL::AABB_halfedge_graph_segment_primitive<PeerMesh>;
using PeerTree = CGAL::AABB_tree<CGAL::AABB_traits<Kernel, PeerEdgePrimitive>>;
using PeerSlicer = CGAL::Polygon_mesh_slicer<PeerMesh, Kernel>;
using PeerPolylines = std::vector<std::vector<Kernel::Point_3>>;

void quietLog(QtMsgType, const QMessageLogContext&, const QString&) {}

// CPU time of this thread, in seconds: steadier than wall time on a shared machine.
double threadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// UV sphere of radius about 1 with a deterministic bumpy surface;
// 2 * sectors * (rings - 1) faces.
RenderMesh bumpySphere(int rings, int sectors) {
  QVector<Vec3> v;
  RenderFaces f;
  v << Vec3(0, 1, 0);
  for (int r = 1; r < rings; ++r) {
    const double phi = M_PI * r / rings;
    for (int s = 0; s < sectors; ++s) {
      const double theta = 2 * M_PI * s / sectors;
      const double bump = 1.0 + 0.03 * std::sin(7 * theta) * std::sin(5 * phi) + 0.01 * std::cos(23 * theta + 3 * phi);
      v << Vec3(float(bump * std::sin(phi) * std::cos(theta)), float(bump * std::cos(phi)),
                float(bump * std::sin(phi) * std::sin(theta)));
    }
  }
  v << Vec3(0, -1, 0);
  const int south = v.size() - 1;
  auto at = [&](int r, int s) { return 1 + (r - 1) * sectors + (s % sectors); };
  for (int s = 0; s < sectors; ++s) f << RenderFace{0, at(1, s + 1), at(1, s)};
  for (int r = 1; r + 1 < rings; ++r)
    for (int s = 0; s < sectors; ++s) {
      f << RenderFace{at(r, s), at(r, s + 1), at(r + 1, s + 1)};
      f << RenderFace{at(r, s), at(r + 1, s + 1), at(r + 1, s)};
    }
  for (int s = 0; s < sectors; ++s) f << RenderFace{south, at(rings - 1, s), at(rings - 1, s + 1)};
  RenderMesh mesh;
  mesh.setGeometry(v, f);
  mesh.flipFaceNormals();
  return mesh;
}

// Bumpy torus, 2 * around * across faces.
RenderMesh bumpyTorus(int around, int across) {
  QVector<Vec3> v;
  RenderFaces f;
  for (int i = 0; i < around; ++i) {
    const double u = 2 * M_PI * i / around;
    for (int j = 0; j < across; ++j) {
      const double w = 2 * M_PI * j / across;
      const double r = 0.3 * (1.0 + 0.2 * std::sin(3 * u) * std::cos(2 * w));
      v << Vec3(float((0.65 + r * std::cos(w)) * std::cos(u)), float((0.65 + r * std::cos(w)) * std::sin(u)),
                float(r * std::sin(w)));
    }
  }
  auto at = [&](int i, int j) { return (i % around) * across + (j % across); };
  for (int i = 0; i < around; ++i)
    for (int j = 0; j < across; ++j) {
      f << RenderFace{at(i, j), at(i + 1, j), at(i + 1, j + 1)};
      f << RenderFace{at(i, j), at(i + 1, j + 1), at(i, j + 1)};
    }
  RenderMesh mesh;
  mesh.setGeometry(v, f);
  mesh.flipFaceNormals();
  return mesh;
}

// One round of midpoint subdivision: every triangle becomes four.
void subdivide(QVector<Vec3>& v, RenderFaces& f) {
  std::unordered_map<uint64_t, int> mid;
  mid.reserve(size_t(f.size()) * 2);
  auto midpoint = [&](int a, int b) {
    const uint64_t key = (uint64_t(uint32_t(std::min(a, b))) << 32) | uint32_t(std::max(a, b));
    auto it = mid.find(key);
    if (it != mid.end()) return it->second;
    const int index = v.size();
    v << (v[a] + v[b]) * 0.5f;
    mid.emplace(key, index);
    return index;
  };
  RenderFaces out;
  out.reserve(f.size() * 4);
  for (const RenderFace& t : f) {
    const int a = t[0], b = t[1], c = t[2];
    const int ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
    out << RenderFace{a, ab, ca} << RenderFace{ab, b, bc} << RenderFace{ca, bc, c} << RenderFace{ab, bc, ca};
  }
  f.swap(out);
}

RenderMesh bundledModel(const char* name, int rounds) {
  QVector<Vec3> v;
  RenderFaces f;
  const QByteArray path = QByteArray(KORVANE_SOURCE_DIR "/objs/") + name + ".off";
  RenderMesh mesh;
  if (!readOff(path.constData(), v, f)) return mesh;
  for (int r = 0; r < rounds; ++r) subdivide(v, f);
  mesh.setGeometry(v, f);
  mesh.flipFaceNormals();
  return mesh;
}

// 64 planes through the model's bounding ball, fixed by the seed.
QList<SectionPlane> randomPlanes(const RenderMesh& mesh, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> gauss;
  std::uniform_real_distribution<float> offset(-0.6f, 0.6f);
  QList<SectionPlane> planes;
  while (planes.size() < 64) {
    const Vec3 n = Vec3(gauss(rng), gauss(rng), gauss(rng)).normalized();
    if (n.length() == 0.0f) continue;
    SectionPlane p;
    p.normal = n;
    p.point = mesh.centre() + n * (offset(rng) * mesh.radius());
    p.d = n.dot(p.point);
    planeAxesFromNormal(p.normal, p.r1, p.r2);
    planes << p;
  }
  return planes;
}

struct CutCase {
  RenderMesh mesh;
  QList<SectionPlane> planes;
  std::unique_ptr<Sorvex> engine;
  PeerMesh peerMesh;
  std::unique_ptr<PeerTree> peerTree;
  std::unique_ptr<PeerSlicer> peerSlicer;
};

CutCase& cutCase(int which) {
  static std::map<int, std::unique_ptr<CutCase>> cases;
  std::unique_ptr<CutCase>& slot = cases[which];
  if (slot) return *slot;
  slot.reset(new CutCase);
  CutCase& c = *slot;
  switch (which) {
    case 0:
      c.mesh = bumpyTorus(24, 21);
      break;  // 1,008 faces
    case 1:
      c.mesh = bundledModel("145", 0);
      break;  // 4,992
    case 2:
      c.mesh = bundledModel("105", 0);
      break;  // 16,904 (chair)
    case 3:
      c.mesh = bundledModel("105", 2);
      break;  // 270,464
    case 4:
      c.mesh = bundledModel("62", 3);
      break;  // 477,696
    default:
      c.mesh = bundledModel("105", 1);
      break;  // 67,616
  }
  c.planes = randomPlanes(c.mesh, 1234u + unsigned(which));
  c.engine.reset(new Sorvex(nullptr));
  *c.engine->renderMesh = c.mesh;
  const QVector<Vec3>& vs = c.mesh.vertices();
  std::vector<PeerMesh::Vertex_index> ids;
  ids.reserve(size_t(vs.size()));
  for (const Vec3& p : vs) ids.push_back(c.peerMesh.add_vertex(Kernel::Point_3(p.x, p.y, p.z)));
  for (const RenderFace& t : c.mesh.faces())
    c.peerMesh.add_face(ids[size_t(t[0])], ids[size_t(t[1])], ids[size_t(t[2])]);
  c.peerTree.reset(new PeerTree(edges(c.peerMesh).first, edges(c.peerMesh).second, c.peerMesh));
  c.peerSlicer.reset(new PeerSlicer(c.peerMesh, *c.peerTree));
  return c;
}

// One cut per iteration, cycling through the planes: crossing segments and
// contours (kSlab false) or the whole updateSection with the slab (true).
template <bool kSlab>
void cutKorvane(benchmark::State& state) {
  qInstallMessageHandler(quietLog);
  CutCase& c = cutCase(int(state.range(0)));
  if (c.mesh.faces().isEmpty()) {
    state.SkipWithError("bundled model missing (build korvane_models first)");
    return;
  }
  int k = 0;
  double area = 0.0;
  {
    // Anything built lazily on the first cut is not part of the per-cut time.
    SectionPlane warm = c.planes[0];
    c.engine->computeSegments(warm);
  }
  for (auto _ : state) {
    SectionPlane plane = c.planes[k];
    k = (k + 1) % c.planes.size();
    const double t0 = threadSeconds();
    if (kSlab) {
      c.engine->updateSection(plane);
    } else {
      c.engine->computeSegments(plane);
      c.engine->chainContours(plane);
    }
    const double t1 = threadSeconds();
    area += plane.area;
    state.SetIterationTime(t1 - t0);
  }
  benchmark::DoNotOptimize(area);
  state.counters["faces"] = c.mesh.faces().size();
  qInstallMessageHandler(nullptr);
}

void BM_SectionCut_Korvane(benchmark::State& state) { cutKorvane<false>(state); }
void BM_SectionCutWithSlab_Korvane(benchmark::State& state) { cutKorvane<true>(state); }

void BM_SectionCut_Peer(benchmark::State& state) {
  CutCase& c = cutCase(int(state.range(0)));
  if (c.mesh.faces().isEmpty()) {
    state.SkipWithError("bundled model missing (build korvane_models first)");
    return;
  }
  int k = 0;
  size_t points = 0;
  for (auto _ : state) {
    const SectionPlane& p = c.planes[k];
    k = (k + 1) % c.planes.size();
    const double d = double(p.normal.x) * p.point.x + double(p.normal.y) * p.point.y + double(p.normal.z) * p.point.z;
    PeerPolylines lines;
    const double t0 = threadSeconds();
    (*c.peerSlicer)(Kernel::Plane_3(p.normal.x, p.normal.y, p.normal.z, -d), std::back_inserter(lines));
    const double t1 = threadSeconds();
    for (const auto& l : lines) points += l.size();
    state.SetIterationTime(t1 - t0);
  }
  benchmark::DoNotOptimize(points);
  state.counters["faces"] = c.mesh.faces().size();
}

struct UpdateFixture {
  RenderMesh mesh = bumpySphere(200, 512);
  SectionPlane plane;
  QList<SectionSegment> rawSegments;  // crossings in face order, before duplicate removal

  UpdateFixture() {
    plane.normal = Vec3(0.3f, 1.0f, 0.2f).normalized();
    planeAxesFromNormal(plane.normal, plane.r1, plane.r2);
    plane.point = Vec3(0.01f, 0.02f, -0.01f);
    plane.d = plane.normal.dot(plane.point);
    const QVector<Vec3>& vs = mesh.vertices();
    const RenderFaces& fs = mesh.faces();
    for (int i = 0; i < fs.size(); ++i) {
      Vec3 a, b;
      if (!intersectTriangle(plane, vs[fs[i][0]], vs[fs[i][1]], vs[fs[i][2]], a, b)) continue;
      if (!((a - b).length() > minSegmentLength)) continue;
      SectionSegment s;
      s.start = a;
      s.end = b;
      s.normal = mesh.faceNormals()[i];
      s.face = i;
      rawSegments.append(s);
    }
  }
};

UpdateFixture& updateFixture() {
  static UpdateFixture f;
  return f;
}

template <bool kReference>
void contourStep(benchmark::State& state) {
  UpdateFixture& fx = updateFixture();
  for (auto _ : state) {
    QList<SectionSegment> segments = fx.rawSegments;
    segments.detach();
    QList<SectionContour> contours;
    const double t0 = threadSeconds();
    if (kReference) {
      removeDuplicateSegmentsReference(segments);
      linkSegmentsReference(segments, contours);
    } else {
      removeDuplicateSegments(segments);
      linkSegments(segments, contours);
    }
    const double t1 = threadSeconds();
    benchmark::DoNotOptimize(contours.size());
    state.SetIterationTime(t1 - t0);
  }
  state.counters["segments"] = fx.rawSegments.size();
  state.counters["faces"] = fx.mesh.faces().size();
}

void BM_SectionContourStep_Grid(benchmark::State& state) { contourStep<false>(state); }
void BM_SectionContourStep_PlainScan(benchmark::State& state) { contourStep<true>(state); }

void BM_SectionUpdate(benchmark::State& state) {
  UpdateFixture& fx = updateFixture();
  static Sorvex* engine = nullptr;  // never deleted, as in the application
  if (!engine) {
    engine = new Sorvex(nullptr);
    *engine->renderMesh = fx.mesh;
  }
  SectionPlane plane = fx.plane;
  for (auto _ : state) {
    engine->updateSection(plane);
    benchmark::DoNotOptimize(plane.triangles.size());
  }
  state.counters["segments"] = plane.segments.size();
  state.counters["contours"] = plane.contours.size();
  state.counters["triangles"] = plane.triangles.size();
}

// One local search as a selection run does it for every accepted plane: from
// a bin plane, steps of one bin down to 1/32 of a bin (135 candidates).
void BM_LocalSearch(benchmark::State& state) {
  qInstallMessageHandler(quietLog);
  static Sorvex* engine = nullptr;
  static QList<SectionPlane> starts;
  if (!engine) {
    engine = new Sorvex(nullptr);
    *engine->renderMesh = bundledModel("21", 1);  // the cup, 39,296 faces
    starts = randomPlanes(*engine->renderMesh, 99u);
  }
  if (engine->renderMesh->faces().isEmpty()) {
    state.SkipWithError("bundled model missing (build korvane_models first)");
    return;
  }
  int k = 0;
  double area = 0.0;
  for (auto _ : state) {
    SectionPlane plane(starts[k].head());
    k = (k + 1) % 8;
    normalizePlane(plane);
    const double t0 = threadSeconds();
    engine->localSearch(plane, 1.0f, 0.03125f);
    const double t1 = threadSeconds();
    area += plane.area;
    state.SetIterationTime(t1 - t0);
  }
  benchmark::DoNotOptimize(area);
  state.counters["faces"] = engine->renderMesh->faces().size();
  qInstallMessageHandler(nullptr);
}

}  // namespace

// Sizes: 0 = 1k, 1 = 5k, 2 = 17k, 5 = 68k, 3 = 270k, 4 = 478k faces.
namespace {
// Both cut benches over the same sizes, in size order.
void cutSizes(benchmark::internal::Benchmark* b) {
  for (int size : {0, 1, 2, 5, 3, 4}) b->Arg(size);
  b->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);
}
void contourStepRuns(benchmark::internal::Benchmark* b) {
  b->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);
}
}  // namespace
BENCHMARK(BM_SectionCut_Korvane)->Apply(cutSizes);
BENCHMARK(BM_SectionCutWithSlab_Korvane)->Apply(cutSizes);
BENCHMARK(BM_SectionCut_Peer)->Apply(cutSizes);
BENCHMARK(BM_SectionContourStep_Grid)->Apply(contourStepRuns);
BENCHMARK(BM_SectionContourStep_PlainScan)->Apply(contourStepRuns);
BENCHMARK(BM_SectionUpdate)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_LocalSearch)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(16);
