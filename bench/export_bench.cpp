// Writing the export files for a large result.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "export/contour_export.h"
#include "export/obj_export.h"

namespace {

QList<SectionPlane> manyPlanes(int planes, int trianglesPerPlane) {
  QList<SectionPlane> list;
  for (int p = 0; p < planes; ++p) {
    SectionPlane plane;
    plane.normal = Vec3(0, 0, 1);
    plane.d = 0.01f * float(p);
    SectionContour contour;
    for (int t = 0; t < trianglesPerPlane; ++t) {
      SlabTriangle tri;
      tri.corners[0] = Vec3(0.001f * float(t), 0.0f, plane.d);
      tri.corners[1] = Vec3(0.001f * float(t) + 0.001f, 0.0f, plane.d);
      tri.corners[2] = Vec3(0.001f * float(t), 0.001f, plane.d);
      plane.triangles.append(tri);
      SectionSegment s;
      s.start = tri.corners[0];
      s.end = tri.corners[1];
      contour.segments.append(s);
    }
    plane.contours.append(contour);
    list.append(plane);
  }
  return list;
}

void BM_WriteSlabsObj(benchmark::State& state) {
  const QList<SectionPlane> planes = manyPlanes(20, int(state.range(0)));
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("s.obj"));
  for (auto _ : state) benchmark::DoNotOptimize(writeSlabsObj(planes, path));
  state.SetItemsProcessed(state.iterations() * 20 * state.range(0));
}
BENCHMARK(BM_WriteSlabsObj)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_WritePlanesObj(benchmark::State& state) {
  const QList<SectionPlane> planes = manyPlanes(20, int(state.range(0)));
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("p.obj"));
  for (auto _ : state) benchmark::DoNotOptimize(writePlanesObj(planes, path));
  state.SetItemsProcessed(state.iterations() * 20 * state.range(0));
}
BENCHMARK(BM_WritePlanesObj)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_WriteContours(benchmark::State& state) {
  const QList<SectionPlane> planes = manyPlanes(20, int(state.range(0)));
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("c.contour"));
  for (auto _ : state) benchmark::DoNotOptimize(writeContours(planes, path));
  state.SetItemsProcessed(state.iterations() * 20 * state.range(0));
}
BENCHMARK(BM_WriteContours)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
