#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QThread>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <thread>

#include "engine/sorvex.h"
#include "export/atomic_text_file.h"
#include "export/export_paths.h"
#include "export/obj_export.h"
#include "model/render_mesh.h"
#include "support/export_support.h"

using namespace exportsupport;


// Export messages name a file by its absolute path.
inline QString shownPath(const char* relative) { return QDir::cleanPath(QDir::current().absoluteFilePath(relative)); }

namespace {

// First line after `marker` that starts with `prefix`.
QString firstLineAfter(const QStringList& lines, const QString& marker, const QString& prefix) {
  const int at = lines.indexOf(marker);
  if (at < 0) return QString();
  for (int i = at + 1; i < lines.size(); ++i)
    if (lines[i].startsWith(prefix)) return lines[i];
  return QString();
}

int countPrefix(const QStringList& lines, const QString& prefix) {
  int n = 0;
  for (const QString& l : lines) n += l.startsWith(prefix) ? 1 : 0;
  return n;
}

void setCube(RenderMesh& mesh) {
  QVector<Vec3> v;
  RenderFaces f;
  v << Vec3(0, 0, 0) << Vec3(1, 0, 0) << Vec3(1, 1, 0) << Vec3(0, 1, 0) << Vec3(0, 0, 1) << Vec3(1, 0, 1)
    << Vec3(1, 1, 1) << Vec3(0, 1, 1);
  f << RenderFace{0, 2, 1} << RenderFace{0, 3, 2} << RenderFace{4, 5, 6} << RenderFace{4, 6, 7}
    << RenderFace{0, 1, 5} << RenderFace{0, 5, 4} << RenderFace{3, 7, 6} << RenderFace{3, 6, 2}
    << RenderFace{0, 4, 7} << RenderFace{0, 7, 3} << RenderFace{1, 2, 6} << RenderFace{1, 6, 5};
  mesh.setGeometry(v, f);
}

}  // namespace

TEST(ObjExportNames, FollowTheModelPathAndExportName) {
  const ExportPaths p = exportPaths(QStringLiteral("../objs/385.off"), QStringLiteral("yournamehere"));
  EXPECT_EQ(p.planes, QStringLiteral("../yournamehere/385.off.obj"));
  EXPECT_EQ(p.slabs, QStringLiteral("../yournamehere/385.off_slab.obj"));
  EXPECT_EQ(p.mesh, QStringLiteral("../yournamehere/385.off_inputmesh.obj"));
  EXPECT_EQ(p.contour, QStringLiteral("../yournamehere/385.off.contour"));
  EXPECT_EQ(p.dir, QStringLiteral("../yournamehere"));

  // No folder in the path: the whole text is the name; a trailing "/" leaves
  // an empty last part.
  EXPECT_EQ(exportPaths(QStringLiteral("cow.obj"), QStringLiteral("ann")).planes, QStringLiteral("../ann/cow.obj.obj"));
  EXPECT_EQ(exportPaths(QStringLiteral("../objs/"), QStringLiteral("ann")).planes, QStringLiteral("../ann/.obj"));
}

TEST(ObjExport, PlanesFileWithoutPlanesHoldsOnlyTheHeaders) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("empty.obj"));
  ASSERT_TRUE(writePlanesObj({}, path));
  EXPECT_EQ(readText(path), QStringLiteral("# 0 Plane Parameters:\n"
                                           "# nx, ny, nz, px, py, pz, d, r1x, r1y, r1z, r2x, r2y, r2z, area\n"
                                           "#\n"
                                           "# Vertex/normal list\n"
                                           "# Face list\n"));
}

TEST(ObjExport, FaceIndicesCountTrianglesOfEarlierPlanes) {
  QTemporaryDir dir;
  const QList<SectionPlane> planes{planeWithTriangles(0.25f, 2), planeWithTriangles(0.5f, 3)};

  const QString planesPath = dir.filePath(QStringLiteral("p.obj"));
  ASSERT_TRUE(writePlanesObj(planes, planesPath));
  const QStringList pl = readLines(planesPath);
  // The first plane's 2 triangles use vertices 1..6; the second's first
  // triangle starts at 7 and names the second "vn" line.
  EXPECT_EQ(firstLineAfter(pl, QStringLiteral("g plane0"), QStringLiteral("f ")), QStringLiteral("f 1//1 2//1 3//1"));
  EXPECT_EQ(firstLineAfter(pl, QStringLiteral("g plane1"), QStringLiteral("f ")), QStringLiteral("f 7//2 8//2 9//2"));
  EXPECT_EQ(countPrefix(pl, QStringLiteral("v ")), 15);
  EXPECT_EQ(countPrefix(pl, QStringLiteral("vn ")), 2);
  EXPECT_EQ(countPrefix(pl, QStringLiteral("f ")), 5);
  // Normals point against the plane normal; parameters are "%f".
  EXPECT_TRUE(pl.contains(QStringLiteral("vn -0.000000 -0.000000 -1.000000")));
  EXPECT_EQ(pl[2], QStringLiteral("# 0.000000 0.000000 1.000000 0.000000 0.000000 0.250000 0.250000 1.000000 "
                                  "0.000000 0.000000 0.000000 1.000000 0.000000 1.000000"));
  EXPECT_EQ(pl.last(), QStringLiteral("f 13//2 14//2 15//2"));

  const QString slabPath = dir.filePath(QStringLiteral("s.obj"));
  ASSERT_TRUE(writeSlabsObj(planes, slabPath));
  const QStringList sl = readLines(slabPath);
  // Six vertices per earlier triangle: B = 12 for the second plane.
  EXPECT_EQ(firstLineAfter(sl, QStringLiteral("g plane1"), QStringLiteral("f ")), QStringLiteral("f 13 14 15 "));
  EXPECT_EQ(countPrefix(sl, QStringLiteral("v ")), 30);
  EXPECT_EQ(countPrefix(sl, QStringLiteral("f ")), 25);
  // The five faces of the first triangle: the triangle, the reversed offset
  // triangle and three sides.
  const int g0 = sl.indexOf(QStringLiteral("g plane0"));
  ASSERT_GE(g0, 0);
  EXPECT_EQ(sl.mid(g0 + 1, 5),
            (QStringList{QStringLiteral("f 1 2 3 "), QStringLiteral("f 6 5 4 "), QStringLiteral("f 1 3 6 4 "),
                         QStringLiteral("f 3 2 5 6 "), QStringLiteral("f 2 1 4 5 ")}));
  // The offset copies sit slabThickness above along the normal.
  const int v0 = sl.indexOf(QStringLiteral("# Vertex/normal list"));
  EXPECT_EQ(sl[v0 + 1], QStringLiteral("v 0 0 0.25"));
  EXPECT_EQ(sl[v0 + 4], QStringLiteral("v 0 0 0.255"));
}

TEST(ObjExport, SlabPlaneLineHasTwoSpacesBeforePy) {
  QTemporaryDir dir;
  SectionPlane p;
  p.normal = Vec3(0, 0, 1);
  p.point = Vec3(0, 0, 0.5f);
  p.d = 0.5f;
  p.r1 = Vec3(-1, 0, 0);
  p.r2 = Vec3(0, -1, 0);
  p.area = 1.0f;
  const QString path = dir.filePath(QStringLiteral("s.obj"));
  ASSERT_TRUE(writeSlabsObj({p}, path));
  const QStringList lines = readLines(path);
  ASSERT_GE(lines.size(), 3);
  EXPECT_EQ(lines[0], QStringLiteral("# 1 Plane Parameters:"));
  EXPECT_EQ(lines[2], QStringLiteral("# 0 0 1 0  0 0.5 0.5 -1 0 0 0 -1 0 1"));
}

TEST(ObjExport, MeshFileListsEveryCornerOfEveryFace) {
  QTemporaryDir dir;
  RenderMesh mesh;
  QVector<Vec3> v{Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0), Vec3(0.5f, 0.5f, 1)};
  mesh.setGeometry(v, {RenderFace{0, 1, 3}, RenderFace{0, 1, 4}});
  const QString path = dir.filePath(QStringLiteral("m.obj"));
  ASSERT_TRUE(writeMeshObj(mesh, path));
  EXPECT_EQ(readText(path), QStringLiteral("# Vertex/normal list\n"
                                           "v 0.000000 0.000000 0.000000\n"
                                           "v 1.000000 0.000000 0.000000\n"
                                           "v 1.000000 1.000000 0.000000\n"
                                           "v 0.000000 1.000000 0.000000\n"
                                           "v 0.500000 0.500000 1.000000\n"
                                           "# Face list\n"
                                           "f 1// 2// 4// \n"
                                           "f 1// 2// 5// \n"));
}

TEST(ObjExport, ActionWritesThreeFilesIntoTheParticipantFolder) {
  ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  Sorvex engine(nullptr);
  setCube(*engine.renderMesh);
  engine.planes << planeWithTriangles(0.5f, 2);

  const ExportResult r = exportObj(engine, QStringLiteral("../objs/385.off"), QStringLiteral("yournamehere"));
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.failedFiles.isEmpty());
  EXPECT_EQ(r.message, QString("Exporting " + shownPath("../yournamehere/385.off.obj") + " successful."));
  const QString folder = work.parent() + QStringLiteral("/yournamehere/");
  EXPECT_EQ(countPrefix(readLines(folder + QStringLiteral("385.off.obj")), QStringLiteral("f ")), 2);
  EXPECT_EQ(countPrefix(readLines(folder + QStringLiteral("385.off_slab.obj")), QStringLiteral("f ")), 10);
  EXPECT_EQ(countPrefix(readLines(folder + QStringLiteral("385.off_inputmesh.obj")), QStringLiteral("f ")), 12);
  // Only the three files: no temporary leftovers.
  EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3);

  // A second export into the existing folder overwrites the files.
  engine.planes.clear();
  EXPECT_TRUE(exportObj(engine, QStringLiteral("../objs/385.off"), QStringLiteral("yournamehere")).ok);
  EXPECT_EQ(readLines(folder + QStringLiteral("385.off.obj")).first(), QStringLiteral("# 0 Plane Parameters:"));
}

TEST(ObjExport, EveryFileThatFailsIsReported) {
  ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  Sorvex engine(nullptr);
  setCube(*engine.renderMesh);
  engine.planes << planeWithTriangles(0.5f, 1);
  // Folders standing where the slab and mesh files should go make those two
  // writes fail while the planes file succeeds.
  const QString folder = work.parent() + QStringLiteral("/ann/");
  ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("m.off_slab.obj")));
  ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("m.off_inputmesh.obj")));

  ExportResult r = exportObj(engine, QStringLiteral("m.off"), QStringLiteral("ann"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, QString("Exporting " + shownPath("../ann/m.off.obj") + " successful.\n"
                                      "Exporting " + shownPath("../ann/m.off_slab.obj") + " failed.\n"
                                      "Exporting " + shownPath("../ann/m.off_inputmesh.obj") + " failed."));
  EXPECT_EQ(r.failedFiles,
            (QStringList{QStringLiteral("../ann/m.off_slab.obj"), QStringLiteral("../ann/m.off_inputmesh.obj")}));

  // The planes file failing keeps its own message first.
  ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("q.off.obj")));
  r = exportObj(engine, QStringLiteral("q.off"), QStringLiteral("ann"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, QString("Exporting " + shownPath("../ann/q.off.obj") + " failed."));
  EXPECT_EQ(r.failedFiles, QStringList{QStringLiteral("../ann/q.off.obj")});
}

TEST(ObjExport, NestedExportNameCreatesTheFolders) {
  ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  Sorvex engine(nullptr);
  const ExportResult r = exportObj(engine, QStringLiteral("a.off"), QStringLiteral("ann/session2"));
  EXPECT_TRUE(r.ok) << r.message.toStdString();
  EXPECT_TRUE(QFile::exists(work.parent() + QStringLiteral("/ann/session2/a.off.obj")));
}

TEST(ObjExport, BusyPlaneSelectionMakesTheExportFailVisibly) {
  ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  Sorvex engine(nullptr);
  QMutex released;
  // Another thread holds the plane list for longer than the export waits.
  std::atomic<bool> locked{false};
  released.lock();
  std::thread holder([&] {
    engine.stateMutex.lock();
    locked = true;
    released.lock();
    released.unlock();
    engine.stateMutex.unlock();
  });
  while (!locked) QThread::msleep(1);
  const ExportResult r = exportObj(engine, QStringLiteral("a.off"), QStringLiteral("ann"));
  released.unlock();
  holder.join();
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.message.startsWith(QString("Exporting " + shownPath("../ann/a.off.obj") + " failed.")));
  EXPECT_FALSE(QFile::exists(work.parent() + QStringLiteral("/ann/a.off.obj")));
}

TEST(AtomicTextFile, UnfinishedWriteLeavesThePreviousFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("f.txt"));
  {
    AtomicTextFile f;
    ASSERT_TRUE(f.open(path));
    f.write("old\n");
    ASSERT_TRUE(f.commit());
  }
  {
    AtomicTextFile f;
    ASSERT_TRUE(f.open(path));
    for (int i = 0; i < 100000; ++i) f.printf("line %i\n", i);
    // Destroyed without commit: the writer gave up half-way.
  }
  EXPECT_EQ(readText(path), QStringLiteral("old\n"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("f.txt")});

  // A folder that does not exist cannot be opened.
  AtomicTextFile g;
  EXPECT_FALSE(g.open(dir.filePath(QStringLiteral("missing/f.txt"))));
  EXPECT_FALSE(g.commit());
}

TEST(AtomicTextFile, NumbersUseADecimalPointInAnyLocale) {
  const char* previous = setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  const QByteArray savedLocPath = qgetenv("LOCPATH");
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
    if (setlocale(LC_NUMERIC, name)) {
      switched = true;
      break;
    }
  // Without an installed one, compile a German locale into a temporary folder.
  QTemporaryDir locales;
  if (!switched && !findTool(QStringLiteral("localedef")).isEmpty()) {
    QString out;
    runTool(findTool(QStringLiteral("localedef")),
            {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"), QStringLiteral("ISO-8859-1"),
             locales.filePath(QStringLiteral("de_DE"))},
            out);
    qputenv("LOCPATH", locales.path().toLocal8Bit());
    switched = setlocale(LC_NUMERIC, "de_DE") != nullptr;
  }
  auto restore = [&] {
    setlocale(LC_NUMERIC, saved.c_str());
    if (savedLocPath.isNull())
      qunsetenv("LOCPATH");
    else
      qputenv("LOCPATH", savedLocPath);
  };
  if (!switched) {
    restore();
    GTEST_SKIP() << "no locale with a decimal comma is available";
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("n.txt"));
  AtomicTextFile f;
  ASSERT_TRUE(f.open(path));
  f.printf("%f %g\n", 0.5, 0.25);
  const bool committed = f.commit();
  restore();
  ASSERT_TRUE(committed);
  EXPECT_STREQ(probe, "0,5");  // the locale really writes commas
  EXPECT_EQ(readText(path), QStringLiteral("0.500000 0.25\n"));
}
