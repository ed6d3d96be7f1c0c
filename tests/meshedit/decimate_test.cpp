#include <gtest/gtest.h>

#include <cmath>

#include "meshedit/decimate.h"
#include "model/companion_files.h"
#include "meshedit/nearest_point_grid.h"
#include "model/render_mesh.h"
#include "support/bundled_models_support.h"
#include "support/debug_capture.h"
#include "support/meshedit_support.h"

using meshedit::Mesh;

namespace {

RenderMesh renderMesh(const Mesh& m) {
  RenderMesh mesh;
  mesh.setGeometry(m.vertices, m.faces);
  mesh.flipFaceNormals();
  return mesh;
}

// Face normals as a load leaves them: (p1 - p0) x (p2 - p0), normalised.
void expectLoadNormals(const RenderMesh& mesh) {
  ASSERT_EQ(mesh.faceNormals().size(), mesh.faces().size());
  for (int i = 0; i < mesh.faces().size(); ++i) {
    const Vec3 p0 = mesh.corner(i, 0), p1 = mesh.corner(i, 1), p2 = mesh.corner(i, 2);
    const Vec3 n = (p1 - p0).cross(p2 - p0).normalized();
    EXPECT_NEAR((mesh.faceNormals()[i] - n).length(), 0.0f, 1e-5f) << "face " << i;
  }
}

int referencedCount(const RenderMesh& mesh) {
  int n = 0;
  for (bool used : meshedit::referencedVertices(mesh.faces(), mesh.vertices().size())) n += used;
  return n;
}

}  // namespace

TEST(MeshEditFixtures, GeneratedMeshesAreClosedAndConsistent) {
  EXPECT_TRUE(meshedit::closedSurfaceProblems(meshedit::uvSphere(1, 12, 8).faces, 86).isEmpty());
  EXPECT_TRUE(meshedit::closedSurfaceProblems(meshedit::bipyramid(8, 1).faces, 10).isEmpty());
  EXPECT_TRUE(meshedit::closedSurfaceProblems(meshedit::centredCube().faces, 14).isEmpty());
  EXPECT_TRUE(meshedit::closedSurfaceProblems(meshedit::tetrahedron(Vec3()).faces, 4).isEmpty());
  EXPECT_TRUE(meshedit::closedSurfaceProblems(meshedit::octahedron(Vec3(), 1).faces, 6).isEmpty());
  EXPECT_TRUE(meshedit::closedSurfaceProblems(meshedit::box(Vec3(), Vec3(1, 2, 3)).faces, 8).isEmpty());
  // The checker does see a flipped face.
  Mesh flipped = meshedit::octahedron(Vec3(), 1);
  std::swap(flipped.faces[0][1], flipped.faces[0][2]);
  EXPECT_FALSE(meshedit::closedSurfaceProblems(flipped.faces, 6).isEmpty());
}

TEST(VertexCost, MeasuresDistanceOfTheNeighboursFromTheirPlane) {
  // Vertex 4 sees four neighbours: three in z = 0 and one lifted by h = 0.4.
  // Worked by hand: centroid (0, 0, h/4); covariance block in (y, z)
  // [[2, -h], [-h, 0.75 h^2]] / 4 with x decoupled; its smaller eigenvector is
  // n = (0, 0.19981, 0.97984), and the distances from the plane are 0.09798
  // (twice), 0.10182 and 0.09415: cost 0.39193, a little under h. Where
  // vertex 4 itself sits does not matter.
  const float h = 0.4f;
  Mesh m;
  m.vertices << Vec3(1, 0, 0) << Vec3(0, 1, 0) << Vec3(-1, 0, 0) << Vec3(0, -1, h) << Vec3(0, 0, 5);
  m.faces << RenderFace{4, 0, 1} << RenderFace{4, 1, 2} << RenderFace{4, 2, 3} << RenderFace{4, 3, 0};
  const RenderMesh mesh = renderMesh(m);
  const float cost = vertexCost(mesh, 4);
  EXPECT_NEAR(cost, 0.39193f, 2e-4f);

  // All neighbours in one plane (tilted): cost 0.
  Mesh flat = m;
  for (Vec3& p : flat.vertices) p.z = 0.3f * p.x + 0.2f * p.y;
  flat.vertices[4].z = 7.0f;
  EXPECT_NEAR(vertexCost(renderMesh(flat), 4), 0.0f, 1e-5f);

  // No neighbours, or no such vertex: never removable.
  EXPECT_EQ(vertexCost(mesh, 99), 3.4028235e38f);
  Mesh lonely = m;
  lonely.vertices << Vec3(9, 9, 9);
  EXPECT_EQ(vertexCost(renderMesh(lonely), 5), 3.4028235e38f);
}

TEST(Decimate, TenVertexMeshLosesFive) {
  // 40 % of 10 is 4; the loop stops only once more than that have gone.
  RenderMesh mesh = renderMesh(meshedit::bipyramid(8, 0.7f));
  QVector<int> segments;
  DecimationReport report;
  ASSERT_TRUE(decimateMesh(mesh, segments, &report));
  EXPECT_EQ(report.removed, 5);
  EXPECT_EQ(mesh.vertices().size(), 10);  // the array keeps its size
  EXPECT_EQ(referencedCount(mesh), 5);
  EXPECT_EQ(mesh.faces().size(), 16 - 2 * 5);
  EXPECT_TRUE(meshedit::closedSurfaceProblems(mesh.faces(), 10).isEmpty())
      << meshedit::closedSurfaceProblems(mesh.faces(), 10).join("; ").toStdString();
  EXPECT_TRUE(segments.isEmpty());
  expectLoadNormals(mesh);
}

TEST(Decimate, FlatVerticesGoBeforeCurvedOnes) {
  // The side centres, lifted outwards into low pyramids, have four coplanar
  // neighbours (cost 0); every cube corner sees three corners and three
  // lifted centres, which are not coplanar (unlifted they would all lie in
  // one plane through the three corners). 40 % of 14 allows exactly six
  // removals: all centres and no corner.
  meshedit::Mesh cube = meshedit::centredCube();
  for (int v = 8; v < 14; ++v) {
    Vec3& c = cube.vertices[v];
    c += (c - Vec3(0.5f, 0.5f, 0.5f)) * 0.4f;
  }
  RenderMesh mesh = renderMesh(cube);
  QVector<int> segments;
  DecimationReport report;
  meshedit::DebugCapture log;
  ASSERT_TRUE(decimateMesh(mesh, segments, &report));
  EXPECT_EQ(report.removed, 6);
  const QVector<bool> used = meshedit::referencedVertices(mesh.faces(), 14);
  for (int v = 0; v < 8; ++v) EXPECT_TRUE(used[v]) << "corner " << v << " removed";
  for (int v = 8; v < 14; ++v) EXPECT_FALSE(used[v]) << "side centre " << v << " kept";
  EXPECT_EQ(mesh.faces().size(), 12);
  EXPECT_TRUE(meshedit::closedSurfaceProblems(mesh.faces(), 14).isEmpty());
  // Every new face lies in a side of the cube and faces outwards.
  for (int i = 0; i < mesh.faces().size(); ++i) {
    const Vec3 c = (mesh.corner(i, 0) + mesh.corner(i, 1) + mesh.corner(i, 2)) * (1.0f / 3.0f);
    EXPECT_GT(mesh.faceNormals()[i].dot(c - Vec3(0.5f, 0.5f, 0.5f)), 0.0f) << "face " << i;
  }
  // The log reports the count without the removed vertices; the array keeps them.
  EXPECT_TRUE(log.contains("Vertices before decimation: 14"));
  EXPECT_TRUE(log.contains("Vertices after decimation: 8"));
  EXPECT_EQ(mesh.vertices().size(), 14);
}

TEST(Decimate, VerticesWithTwoNeighboursStay) {
  // A two-sided triangle (every vertex has two neighbours) beside an
  // octahedron. The octahedron can lose two vertices before it is a
  // tetrahedron, whose vertices cannot go without doubling a face; the
  // two-sided triangle is never touched.
  Mesh m = meshedit::octahedron(Vec3(), 1);
  Mesh pillow;
  pillow.vertices << Vec3(5, 0, 0) << Vec3(6, 0, 0) << Vec3(5, 1, 0);
  pillow.faces << RenderFace{0, 1, 2} << RenderFace{0, 2, 1};
  meshedit::append(m, pillow);
  RenderMesh mesh = renderMesh(m);
  QVector<int> segments;
  DecimationReport report;
  ASSERT_TRUE(decimateMesh(mesh, segments, &report));
  EXPECT_EQ(report.removed, 2);
  EXPECT_GT(report.skipped, 0);
  const QVector<bool> used = meshedit::referencedVertices(mesh.faces(), 9);
  for (int v = 6; v < 9; ++v) EXPECT_TRUE(used[v]);
  EXPECT_TRUE(mesh.faces().contains(RenderFace{6, 7, 8}));
  EXPECT_TRUE(mesh.faces().contains(RenderFace{6, 8, 7}));
  EXPECT_EQ(mesh.faces().size(), 10 - 2 * 2);
  // What is left of the octahedron is a closed tetrahedron.
  RenderFaces rest;
  for (const RenderFace& f : mesh.faces())
    if (f[0] < 6) rest << f;
  EXPECT_EQ(rest.size(), 4);
  EXPECT_TRUE(meshedit::closedSurfaceProblems(rest, 6).isEmpty())
      << meshedit::closedSurfaceProblems(rest, 6).join("; ").toStdString();
}

TEST(Decimate, TetrahedronIsLeftWhole) {
  // Removing any vertex would put a second face on the opposite triangle.
  RenderMesh mesh = renderMesh(meshedit::tetrahedron(Vec3()));
  const RenderFaces before = mesh.faces();
  QVector<int> segments{3, 4, 5, 6};
  DecimationReport report;
  ASSERT_TRUE(decimateMesh(mesh, segments, &report));
  EXPECT_EQ(report.removed, 0);
  EXPECT_EQ(mesh.faces(), before);
  EXPECT_EQ(segments, (QVector<int>{3, 4, 5, 6}));
}

TEST(Decimate, ClosedManifoldLosesTwoFacesPerVertexAndStaysConsistent) {
  const Mesh sphere = meshedit::uvSphere(1.0f, 12, 8);  // 86 vertices, 168 faces
  RenderMesh mesh = renderMesh(sphere);
  QVector<int> segments;
  DecimationReport report;
  ASSERT_TRUE(decimateMesh(mesh, segments, &report));
  EXPECT_EQ(report.removed, 35);  // the first count above 0.4 * 86 = 34.4
  EXPECT_EQ(mesh.faces().size(), 168 - 2 * report.removed);
  EXPECT_EQ(report.facesAfter, mesh.faces().size());
  const QStringList problems = meshedit::closedSurfaceProblems(mesh.faces(), 86);
  EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
  // Still a sphere topologically: V - E + F = 2 over the vertices in use.
  const int v = referencedCount(mesh);
  EXPECT_EQ(v, 86 - 35);
  EXPECT_EQ(v - 3 * mesh.faces().size() / 2 + mesh.faces().size(), 2);
  expectLoadNormals(mesh);
  // Neighbour sets follow the faces: removed vertices have none.
  const QVector<bool> used = meshedit::referencedVertices(mesh.faces(), 86);
  for (int i = 0; i < 86; ++i) EXPECT_EQ(mesh.neighbours()[i].isEmpty(), !used[i]);
}

TEST(Decimate, SegmentsFollowTheNearestOriginalFace) {
  const Mesh sphere = meshedit::uvSphere(1.0f, 16, 10);
  RenderMesh mesh = renderMesh(sphere);
  // Segment by quadrant of the face centroid.
  QVector<int> segments;
  QVector<Vec3> centroids;
  for (int i = 0; i < mesh.faces().size(); ++i) {
    const Vec3 c = (mesh.corner(i, 0) + mesh.corner(i, 1) + mesh.corner(i, 2)) * 0.33333334f;
    centroids << c;
    segments << (c.x > 0 ? 1 : 0) + (c.z > 0 ? 2 : 0);
  }
  const QVector<int> original = segments;
  ASSERT_TRUE(decimateMesh(mesh, segments));
  ASSERT_EQ(segments.size(), mesh.faces().size());
  for (int i = 0; i < mesh.faces().size(); ++i) {
    const Vec3 c = (mesh.corner(i, 0) + mesh.corner(i, 1) + mesh.corner(i, 2)) * 0.33333334f;
    const int k = NearestPointGrid::nearestByScan(centroids, c);
    EXPECT_EQ(segments[i], original[k]) << "face " << i;
  }
}

TEST(Decimate, SegmentListOfTheWrongLengthIsMadeToFit) {
  RenderMesh mesh = renderMesh(meshedit::centredCube());
  QVector<int> segments{7, 7, 7};  // 24 faces
  ASSERT_TRUE(decimateMesh(mesh, segments));
  EXPECT_EQ(segments.size(), mesh.faces().size());
}

TEST(Decimate, OpenMeshKeepsItsBoundaryAndStaysValid) {
  const Mesh m = meshedit::grid(6, 0.8f);  // 49 vertices, 24 on the boundary
  RenderMesh mesh = renderMesh(m);
  QVector<int> segments(m.faces.size(), 0);
  DecimationReport report;
  ASSERT_TRUE(decimateMesh(mesh, segments, &report));
  EXPECT_GT(report.removed, 0);
  EXPECT_LE(report.skipped, referencedCount(mesh));  // each refused vertex once
  const QStringList problems = meshedit::surfaceProblems(mesh.faces(), 49);
  EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
  // Boundary vertices are never removed, so the outline is unchanged: every
  // boundary edge of the grid is still there, in its direction.
  const QVector<bool> used = meshedit::referencedVertices(mesh.faces(), 49);
  for (int j = 0; j <= 6; ++j)
    for (int i = 0; i <= 6; ++i)
      if (i == 0 || j == 0 || i == 6 || j == 6) {
        EXPECT_TRUE(used[j * 7 + i]);
      }
  auto hasEdge = [&](int a, int b) {
    for (const RenderFace& f : mesh.faces())
      for (int c = 0; c < 3; ++c)
        if (f[c] == a && f[(c + 1) % 3] == b) return true;
    return false;
  };
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(hasEdge(i, i + 1)) << i;  // bottom row, left to right
  // Area is kept: the surface still spans the square (up to the bump).
  float area = 0;
  for (int i = 0; i < mesh.faces().size(); ++i)
    area += 0.5f * (mesh.corner(i, 1) - mesh.corner(i, 0)).cross(mesh.corner(i, 2) - mesh.corner(i, 0)).length();
  EXPECT_GE(area, 36.0f - 1e-3f);
  EXPECT_EQ(segments.size(), mesh.faces().size());
  expectLoadNormals(mesh);
}

TEST(Decimate, VerticesLeftInPlaceAreCountedOnce) {
  // An open hexagonal fan with a zigzag rim: the rim vertices (three
  // neighbours each, so a cost of 0) come first and are refused, being on the
  // boundary; then the centre goes, which puts its ring back in the queue,
  // and the rim is refused again. Six vertices stay, all of them refused.
  Mesh m;
  m.vertices << Vec3(0, 0, 0);
  for (int i = 0; i < 6; ++i) {
    const float a = float(i) * 1.04719755f;
    m.vertices << Vec3(std::cos(a), std::sin(a), (i % 2) ? 0.3f : -0.3f);
  }
  for (int i = 0; i < 6; ++i) m.faces << RenderFace{0, 1 + i, 1 + (i + 1) % 6};
  RenderMesh mesh = renderMesh(m);
  QVector<int> segments;
  DecimationReport report;
  testsupport::DebugCapture log;
  ASSERT_TRUE(decimateMesh(mesh, segments, &report));
  EXPECT_EQ(report.removed, 1);
  EXPECT_FALSE(meshedit::referencedVertices(mesh.faces(), 7)[0]);
  EXPECT_EQ(referencedCount(mesh), 6);
  EXPECT_EQ(report.skipped, 6);
  EXPECT_EQ(log.matching("Decimation left 6 vertices in place").size(), 1) << log.lines().join("; ").toStdString();
}

TEST(Decimate, NonManifoldInputStaysValid) {
  // Two octahedra touching at one vertex, and a fin: three faces on one edge.
  Mesh m = meshedit::octahedron(Vec3(0, 0, 0), 1);
  Mesh second = meshedit::octahedron(Vec3(2, 0, 0), 1);
  meshedit::append(m, second);
  // Glue: the second octahedron's -x vertex (index 7) becomes vertex 0.
  for (RenderFace& f : m.faces)
    for (int& i : f)
      if (i == 7) i = 0;
  Mesh fin;
  fin.vertices << Vec3(0, 5, 0) << Vec3(1, 5, 0) << Vec3(0, 6, 0) << Vec3(0, 4, 0) << Vec3(0, 5, 1);
  fin.faces << RenderFace{0, 1, 2} << RenderFace{1, 0, 3} << RenderFace{0, 1, 4};
  meshedit::append(m, fin);
  RenderMesh mesh = renderMesh(m);
  const int n = mesh.vertices().size();
  QVector<int> segments(mesh.faces().size(), 1);
  DecimationReport report;
  ASSERT_TRUE(decimateMesh(mesh, segments, &report));
  EXPECT_GT(report.skipped, 0);
  EXPECT_TRUE(meshedit::referencedVertices(mesh.faces(), n)[0]);  // the shared vertex stays
  // The fin (vertices 12 .. 16, whose edge 12-13 carries three faces) is kept
  // as it was; the two octahedra stay a valid closed surface.
  RenderFaces octahedra;
  int finFaces = 0;
  for (const RenderFace& f : mesh.faces()) {
    if (f[0] >= 12 || f[1] >= 12 || f[2] >= 12)
      ++finFaces;
    else
      octahedra << f;
  }
  EXPECT_EQ(finFaces, 3);
  for (const RenderFace& f : fin.faces)
    EXPECT_TRUE(mesh.faces().contains(RenderFace{f[0] + 12, f[1] + 12, f[2] + 12}));
  EXPECT_TRUE(meshedit::closedSurfaceProblems(octahedra, n).isEmpty())
      << meshedit::closedSurfaceProblems(octahedra, n).join("; ").toStdString();
  EXPECT_EQ(segments.size(), mesh.faces().size());
  for (int s : segments) EXPECT_EQ(s, 1);
}

TEST(Decimate, DegenerateAndBrokenInput) {
  // Empty mesh: nothing to do.
  RenderMesh empty;
  QVector<int> segments;
  EXPECT_TRUE(decimateMesh(empty, segments));
  EXPECT_TRUE(empty.faces().isEmpty());

  // A face that repeats a corner and a NaN vertex: no crash, valid result.
  Mesh m = meshedit::uvSphere(1.0f, 8, 6);
  m.faces << RenderFace{1, 1, 2};
  m.vertices[5] = Vec3(NAN, 0, 0);
  RenderMesh mesh = renderMesh(m);
  EXPECT_TRUE(decimateMesh(mesh, segments));
  for (const RenderFace& f : mesh.faces())
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(f[c] >= 0 && f[c] < m.vertices.size());

  // A face naming a missing vertex (only possible through direct writes) is refused untouched.
  RenderMesh broken = renderMesh(meshedit::octahedron(Vec3(), 1));
  broken.mutableFaces().append(RenderFace{0, 1, 42});
  const RenderFaces before = broken.faces();
  EXPECT_FALSE(decimateMesh(broken, segments));
  EXPECT_EQ(broken.faces(), before);
}

TEST(Decimate, EveryBundledModelStaysAValidSurface) {
  // Each bundled model, as loaded: a closed, consistently oriented input stays
  // so and loses two faces per removed vertex; any input keeps its segment ids
  // in step with its faces.
  for (const testsupport::BundledModel& model : testsupport::bundledModels()) {
    SCOPED_TRACE(model.name);
    QVector<Vec3> vertices;
    RenderFaces faces;
    ASSERT_TRUE(readOff(testsupport::bundledModelPath(model).toLocal8Bit().constData(), vertices, faces));
    RenderMesh mesh;
    mesh.setGeometry(vertices, faces);
    mesh.flipFaceNormals();
    QVector<int> segments;
    if (!readSegmentation(testsupport::bundledSegmentationPath(model).toLocal8Bit().constData(), mesh.faces().size(),
                          segments))
      segments.fill(0, mesh.faces().size());
    const bool closed = meshedit::closedSurfaceProblems(mesh.faces(), vertices.size()).isEmpty();
    DecimationReport report;
    ASSERT_TRUE(decimateMesh(mesh, segments, &report));
    EXPECT_GT(report.removed, 0);
    EXPECT_EQ(segments.size(), mesh.faces().size());
    if (closed) {
      EXPECT_TRUE(meshedit::closedSurfaceProblems(mesh.faces(), vertices.size()).isEmpty());
      EXPECT_EQ(mesh.faces().size(), report.facesBefore - 2 * report.removed);
    } else {
      EXPECT_TRUE(meshedit::surfaceProblems(mesh.faces(), vertices.size()).size() <=
                  meshedit::surfaceProblems(faces, vertices.size()).size());
    }
  }
}
