// Sections against an independent slicer (CGAL's Polygon_mesh_slicer on the
// same vertices): the same number of contours, the same length and the same
// area (contours closed by a straight edge where the mesh leaves them open,
// holes by nesting), on closed and open, coarse and fine meshes with
// non-convex sections and holes, and on planes through vertices and along
// edges. The area a plane reports is also the area of its slab.

#include <gtest/gtest.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_slicer.h>
#include <CGAL/Surface_mesh.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "support/sections_support.h"

using namespace sectionsupport;

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using PeerMesh = CGAL::Surface_mesh<Kernel::Point_3>;
using Polyline = std::vector<Kernel::Point_3>;

struct Measure {
  int contours = 0;
  int closed = 0;
  double length = 0;
  double area = 0;
};

// The peer's section of `mesh` by `plane`, measured in the plane's frame.
Measure peerSection(const RenderMesh& mesh, const SectionPlane& plane) {
  PeerMesh peer;
  std::vector<PeerMesh::Vertex_index> ids;
  for (const Vec3& p : mesh.vertices()) ids.push_back(peer.add_vertex(Kernel::Point_3(p.x, p.y, p.z)));
  for (const RenderFace& f : mesh.faces()) peer.add_face(ids[size_t(f[0])], ids[size_t(f[1])], ids[size_t(f[2])]);
  CGAL::Polygon_mesh_slicer<PeerMesh, Kernel> slicer(peer);
  const double d = double(plane.normal.x) * plane.point.x + double(plane.normal.y) * plane.point.y +
                   double(plane.normal.z) * plane.point.z;
  std::vector<Polyline> lines;
  slicer(Kernel::Plane_3(plane.normal.x, plane.normal.y, plane.normal.z, -d), std::back_inserter(lines));

  const double e1[3] = {plane.r1.x, plane.r1.y, plane.r1.z}, e2[3] = {plane.r2.x, plane.r2.y, plane.r2.z};
  Measure m;
  std::vector<std::vector<double>> polys;
  for (const Polyline& l : lines) {
    if (l.size() < 2) continue;
    ++m.contours;
    const bool closed = l.front() == l.back();
    m.closed += closed ? 1 : 0;
    std::vector<double> xy;
    for (size_t k = 0; k < l.size(); ++k) {
      if (k > 0) m.length += std::sqrt(CGAL::squared_distance(l[k - 1], l[k]));
      if (closed && k + 1 == l.size()) break;
      const double p[3] = {l[k].x(), l[k].y(), l[k].z()};
      xy.push_back(p[0] * e1[0] + p[1] * e1[1] + p[2] * e1[2]);
      xy.push_back(p[0] * e2[0] + p[1] * e2[1] + p[2] * e2[2]);
    }
    polys.push_back(xy);
  }
  const auto inside = evenOddInside;
  for (size_t a = 0; a < polys.size(); ++a) {
    const std::vector<double>& p = polys[a];
    const size_t n = p.size() / 2;
    if (n < 3) continue;
    double twice = 0;
    for (size_t i = 0; i < n; ++i) {
      const size_t j = (i + 1) % n;
      twice += (p[2 * i] - p[0]) * (p[2 * j + 1] - p[1]) - (p[2 * j] - p[0]) * (p[2 * i + 1] - p[1]);
    }
    // Nesting depth of the middle of the first edge.
    const double x = 0.5 * (p[0] + p[2]), y = 0.5 * (p[1] + p[3]);
    int depth = 0;
    for (size_t b = 0; b < polys.size(); ++b)
      if (b != a && polys[b].size() >= 6 && inside(polys[b], x, y)) ++depth;
    m.area += (depth % 2 ? -0.5 : 0.5) * std::fabs(twice);
  }
  return m;
}

Measure ownSection(Sorvex& engine, SectionPlane& plane) {
  engine.updateSection(plane);
  Measure m;
  m.contours = plane.contours.size();
  // Length of the polyline through the contour's points: crossings shorter
  // than minSegmentLength are dropped, and the chain bridges their gap.
  for (const SectionContour& c : plane.contours) {
    m.closed += c.isClosed ? 1 : 0;
    QList<Vec3> points;
    for (const SectionSegment& s : c.segments) points << s.start;
    points << (c.isClosed ? c.segments.first().start : c.segments.last().end);
    for (int k = 1; k < points.size(); ++k) m.length += double((points[k] - points[k - 1]).length());
  }
  m.area = plane.area;
  return m;
}

float star5(float a) { return 1.0f + 0.35f * std::sin(5.0f * a); }
float star3(float a) { return 0.45f + 0.15f * std::cos(3.0f * a); }
float round1(float) { return 1.0f; }
float round04(float) { return 0.4f; }

// Random planes through the middle of the mesh, plus planes through vertex
// rings and along edges of the prisms (z = 0.5 holds a ring of vertices and
// edges after refinement).
QList<SectionPlane> planesFor(const RenderMesh& mesh, unsigned seed, float height) {
  QList<SectionPlane> planes;
  const Vec3 c = mesh.centre();
  planes << planeThrough(Vec3(c.x, c.y, 0.5f * height), Vec3(0, 0, 1))
         << planeThrough(Vec3(c.x, c.y, 0.5f * height), Vec3(1, 0, 0))
         << planeThrough(Vec3(c.x, c.y, 0.5f * height), Vec3(0.2f, 0.1f, 1));
  std::mt19937 rng(seed);
  std::normal_distribution<float> g;
  std::uniform_real_distribution<float> u(-0.5f, 0.5f);
  while (planes.size() < 12) {
    const Vec3 n = Vec3(g(rng), g(rng), g(rng)).normalized();
    if (n.length() == 0.0f) continue;
    planes << planeThrough(c + n * (u(rng) * mesh.radius()), n);
  }
  return planes;
}

void expectSameAsPeer(const RenderMesh& mesh, float height, bool closedMesh, const char* what) {
  SCOPED_TRACE(what);
  Sorvex engine(nullptr);
  *engine.renderMesh = mesh;
  const QList<SectionPlane> planes = planesFor(mesh, 77u, height);
  for (int i = 0; i < planes.size(); ++i) {
    SCOPED_TRACE(i);
    SectionPlane plane = planes[i];
    const Measure peer = peerSection(mesh, plane);
    const Measure own = ownSection(engine, plane);
    EXPECT_EQ(own.contours, peer.contours);
    if (closedMesh) {
      EXPECT_EQ(own.closed, own.contours);
    }
    // Both lengths come from single-precision crossing points (planes along
    // rows of vertices meet them within the rounding of the coordinates).
    EXPECT_NEAR(own.length, peer.length, 1e-6 * (peer.length + mesh.radius()));
    // Open chains closed by a straight edge may cross each other; the area
    // is compared where every contour is closed.
    if (peer.closed == peer.contours) {
      EXPECT_NEAR(own.area, peer.area, 1e-6 * std::fabs(peer.area) + 1e-12);
    }
    // The plane reports the area of the slab it exports.
    EXPECT_NEAR(totalArea(plane.triangles), own.area, 1e-5 * std::fabs(own.area) + 1e-9);
  }
}

}  // namespace

TEST(SectionsAgainstPeer, ClosedCoarseAndFineMeshesWithNonConvexSectionsAndHoles) {
  const RenderMesh tube = starTubeMesh(24, 1.0f, round1, round04, 2);
  expectSameAsPeer(tube, 1.0f, true, "round tube");
  const RenderMesh star = starTubeMesh(60, 1.0f, star5, star3, 2);
  expectSameAsPeer(refined(star, 1), 1.0f, true, "star tube, refined once");
  // Most segments shorter than the join tolerance.
  expectSameAsPeer(refined(star, 3, 0.1f), 0.1f, true, "small star tube, refined three times");
}

TEST(SectionsAgainstPeer, OpenMeshes) {
  // Open at the top: cuts through the rim leave open chains, closed by a
  // straight edge.
  const RenderMesh open = starTubeMesh(60, 1.0f, star5, star3, 1);
  expectSameAsPeer(refined(open, 1), 1.0f, false, "open star tube");
  expectSameAsPeer(refined(open, 3, 0.1f), 0.1f, false, "small open star tube");
}
