// The exported OBJ files read back by an independent OBJ reader (the assimp
// command-line tool), when it is installed.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "export/obj_export.h"
#include "model/render_mesh.h"
#include "support/export_support.h"

using namespace exportsupport;

namespace {

struct Info {
  int vertices = -1;
  int faces = -1;
  QString text;
};

// `assimp info`; raw = without post-processing, so every face corner is
// its own vertex.
Info assimpInfo(const QString& tool, const QString& path, bool raw) {
  Info info;
  QStringList args{QStringLiteral("info"), path};
  if (raw) args << QStringLiteral("-r");
  if (runTool(tool, args, info.text) != 0) return info;
  const auto number = [&](const char* label) {
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^%1:\\s+(\\d+)").arg(QLatin1String(label)),
                                                         QRegularExpression::MultilineOption)
                                          .match(info.text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
  };
  info.vertices = number("Vertices");
  info.faces = number("Faces");
  return info;
}

}  // namespace

TEST(ObjExportReadBack, AssimpReadsTheCountsWeWrote) {
  const QString tool = findTool(QStringLiteral("assimp"));
  if (tool.isEmpty()) GTEST_SKIP() << "assimp (Debian package assimp-utils) is not installed";

  QTemporaryDir dir;
  // Planes with 2, 0 and 3 triangles.
  const QList<SectionPlane> planes{planeWithTriangles(0.25f, 2), planeWithTriangles(0.4f, 0),
                                   planeWithTriangles(0.5f, 3)};
  const QString planesPath = dir.filePath(QStringLiteral("m.off.obj"));
  const QString slabsPath = dir.filePath(QStringLiteral("m.off_slab.obj"));
  const QString meshPath = dir.filePath(QStringLiteral("m.off_inputmesh.obj"));
  ASSERT_TRUE(writePlanesObj(planes, planesPath));
  ASSERT_TRUE(writeSlabsObj(planes, slabsPath));
  RenderMesh mesh;
  QVector<Vec3> v{Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0),
                  Vec3(0, 0, 1), Vec3(1, 0, 1), Vec3(1, 1, 1), Vec3(0, 1, 1)};
  RenderFaces f{{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                          {3, 7, 6}, {3, 6, 2}, {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}};
  mesh.setGeometry(v, f);
  ASSERT_TRUE(writeMeshObj(mesh, meshPath));

  // Planes: 5 triangles of 3 corners, grouped per plane (the empty plane
  // makes no mesh).
  Info p = assimpInfo(tool, planesPath, true);
  EXPECT_EQ(p.faces, 5) << p.text.toStdString();
  EXPECT_EQ(p.vertices, 15);
  EXPECT_TRUE(p.text.contains(QRegularExpression(QStringLiteral("\\(plane0\\): \\[6 / 0 / 2"))));
  EXPECT_TRUE(p.text.contains(QRegularExpression(QStringLiteral("\\(plane2\\): \\[9 / 0 / 3"))));

  // Slabs: per triangle 2 triangles and 3 quads, 3 + 3 + 3 x 4 corners;
  // the offset faces lie slabThickness above the top plane (z 0.5).
  Info s = assimpInfo(tool, slabsPath, true);
  EXPECT_EQ(s.faces, 25) << s.text.toStdString();
  EXPECT_EQ(s.vertices, 5 * 18);
  EXPECT_TRUE(s.text.contains(QRegularExpression(QStringLiteral("Maximum point\\s+\\(3\\.0+ 1\\.0+ 0\\.505"))))
      << s.text.toStdString();

  // Mesh: 12 triangles; joined, their corners are the cube's 8 vertices.
  Info m = assimpInfo(tool, meshPath, true);
  EXPECT_EQ(m.faces, 12) << m.text.toStdString();
  EXPECT_EQ(m.vertices, 36);
  Info joined = assimpInfo(tool, meshPath, false);
  EXPECT_EQ(joined.vertices, 8) << joined.text.toStdString();
  EXPECT_EQ(joined.faces, 12);
}
