#include "export/obj_export.h"

#include <QDebug>

#include "engine/sorvex.h"
#include "export/atomic_text_file.h"
#include "export/export_paths.h"
#include "model/render_mesh.h"

namespace {

QByteArray local(const QString& s) { return s.toLocal8Bit(); }

bool openOrLog(AtomicTextFile& file, const QString& path) {
  if (file.open(path)) return true;
  qDebug("Unable to write file %s.\n", local(path).constData());
  return false;
}

bool commitOrLog(AtomicTextFile& file, const QString& path) {
  if (file.commit()) {
    qDebug("Successfully wrote %s.\n", local(path).constData());
    return true;
  }
  qDebug("Unable to write file %s.\n", local(path).constData());
  return false;
}

}  // namespace

bool writePlanesObj(const QList<SectionPlane>& planes, const QString& path) {
  AtomicTextFile f;
  if (!openOrLog(f, path)) return false;

  f.printf("# %i Plane Parameters:\n", int(planes.size()));
  f.write("# nx, ny, nz, px, py, pz, d, r1x, r1y, r1z, r2x, r2y, r2z, area\n");
  for (const SectionPlane& p : planes) {
    f.printf("# %f %f %f %f %f %f %f %f %f %f %f %f %f %f\n", p.normal.x, p.normal.y, p.normal.z, p.point.x, p.point.y,
             p.point.z, p.d, p.r1.x, p.r1.y, p.r1.z, p.r2.x, p.r2.y, p.r2.z, p.area);
  }
  f.write("#\n");
  f.write("# Vertex/normal list\n");
  for (const SectionPlane& p : planes) {
    f.printf("vn %f %f %f\n", -p.normal.x, -p.normal.y, -p.normal.z);
    for (const SlabTriangle& t : p.triangles)
      for (const Vec3& c : t.corners) f.printf("v %f %f %f\n", c.x, c.y, c.z);
  }
  f.write("# Face list\n");
  int b = 1;  // index of the next triangle's first corner
  for (int pi = 0; pi < planes.size(); ++pi) {
    f.printf("g plane%i\n", pi);
    const int n = pi + 1;  // the plane's own "vn" line
    for (int t = 0; t < planes[pi].triangles.size(); ++t, b += 3)
      f.printf("f %i//%i %i//%i %i//%i\n", b, n, b + 1, n, b + 2, n);
  }
  return commitOrLog(f, path);
}

bool writeSlabsObj(const QList<SectionPlane>& planes, const QString& path) {
  AtomicTextFile f;
  if (!f.open(path)) return false;

  f.printf("# %i Plane Parameters:\n", int(planes.size()));
  f.write("# nx, ny, nz, px, py, pz, d, r1x, r1y, r1z, r2x, r2y, r2z, area\n");
  for (const SectionPlane& p : planes) {
    // Two spaces between px and py: readers of these files skip them as any
    // whitespace, and the layout has always been so.
    f.printf("# %g %g %g %g  %g %g %g %g %g %g %g %g %g %g\n", double(p.normal.x), double(p.normal.y),
             double(p.normal.z), double(p.point.x), double(p.point.y), double(p.point.z), double(p.d), double(p.r1.x),
             double(p.r1.y), double(p.r1.z), double(p.r2.x), double(p.r2.y), double(p.r2.z), double(p.area));
  }
  f.write("#\n");
  f.write("# Vertex/normal list\n");
  for (const SectionPlane& p : planes) {
    const Vec3 s = p.normal * kSlabThickness;
    for (const SlabTriangle& t : p.triangles) {
      for (int pass = 0; pass < 2; ++pass) {
        for (const Vec3& corner : t.corners) {
          const Vec3 c = pass == 0 ? corner : corner + s;
          f.printf("v %g %g %g\n", double(c.x), double(c.y), double(c.z));
        }
      }
    }
  }
  f.write("# Face list\n");
  int B = 0;  // vertices written for all earlier triangles
  for (int pi = 0; pi < planes.size(); ++pi) {
    f.printf("g plane%i\n", pi);
    for (int t = 0; t < planes[pi].triangles.size(); ++t, B += 6) {
      const int a0 = B + 1, a1 = B + 2, a2 = B + 3, b0 = B + 4, b1 = B + 5, b2 = B + 6;
      f.printf("f %i %i %i \n", a0, a1, a2);
      f.printf("f %i %i %i \n", b2, b1, b0);
      f.printf("f %i %i %i %i \n", a0, a2, b2, b0);
      f.printf("f %i %i %i %i \n", a2, a1, b1, b2);
      f.printf("f %i %i %i %i \n", a1, a0, b0, b1);
    }
  }
  if (!f.commit()) return false;
  qDebug("Successfully wrote %s.\n", local(path).constData());
  return true;
}

bool writeMeshObj(const RenderMesh& mesh, const QString& path) {
  AtomicTextFile f;
  if (!openOrLog(f, path)) return false;
  f.write("# Vertex/normal list\n");
  for (const Vec3& v : mesh.vertices()) f.printf("v %f %f %f\n", v.x, v.y, v.z);
  f.write("# Face list\n");
  for (const RenderFace& face : mesh.faces()) {
    f.write("f ");
    for (int k : face) f.printf("%i// ", k + 1);
    f.write("\n");
  }
  return commitOrLog(f, path);
}

ExportResult exportObj(Sorvex& engine, const QString& modelPath, const QString& exportName) {
  const ExportPaths paths = exportPaths(modelPath, exportName);
  makeExportDirectory(paths);

  ExportResult result;
  QList<SectionPlane> planes;
  if (!snapshotPlanes(engine, planes, true)) {
    result.failedFiles << paths.planes << paths.slabs << paths.mesh;
    result.message = exportMessage(paths.planes, false) + busyRunNote();
    return result;
  }

  const bool planesOk = writePlanesObj(planes, paths.planes);
  const bool slabsOk = writeSlabsObj(planes, paths.slabs);
  const bool meshOk = engine.renderMesh ? writeMeshObj(*engine.renderMesh, paths.mesh) : false;

  result.ok = planesOk && slabsOk && meshOk;
  result.message = exportMessage(paths.planes, planesOk);
  if (!planesOk) result.failedFiles << paths.planes;
  if (!slabsOk) {
    result.failedFiles << paths.slabs;
    result.message += QLatin1Char('\n') + exportMessage(paths.slabs, false);
  }
  if (!meshOk) {
    result.failedFiles << paths.mesh;
    result.message += QLatin1Char('\n') + exportMessage(paths.mesh, false);
  }
  return result;
}
