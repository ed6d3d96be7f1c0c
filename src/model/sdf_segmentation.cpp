#include "model/sdf_segmentation.h"

// The graph cut by Boost's adjacency list rather than the bundled max-flow
// code: on coarse meshes (a 1,920-face dumbbell, proxies of a few thousand
// faces) the latter put every face under one label once the smoothing was
// above zero, where this one separates the parts as expected; it costs
// about 0.15 s more per cut at 20,000 faces.
#define CGAL_DO_NOT_USE_BOYKOV_KOLMOGOROV_MAXFLOW_SOFTWARE

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/orient_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/polygon_soup_to_polygon_mesh.h>
#include <CGAL/Polygon_mesh_processing/repair_polygon_soup.h>
#include <CGAL/Surface_mesh.h>
#include <CGAL/mesh_segmentation.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>

namespace sdfseg {

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = Kernel::Point_3;
using Mesh = CGAL::Surface_mesh<Point>;
using Polygon = std::vector<std::size_t>;
namespace PMP = CGAL::Polygon_mesh_processing;

std::size_t findRoot(std::vector<std::size_t>& parent, std::size_t i) {
  while (parent[i] != i) {
    parent[i] = parent[parent[i]];
    i = parent[i];
  }
  return i;
}

// Reverses the triangles of every component (triangles joined through shared
// points) whose signed volume, taken about the component's centroid, is
// negative: the shape diameter's rays go against the face normals, into the
// solid. The soup must be consistently oriented already. O(n).
void orientComponentsOutward(const std::vector<Point>& points, std::vector<Polygon>& polygons) {
  std::vector<std::size_t> parent(points.size());
  std::iota(parent.begin(), parent.end(), std::size_t(0));
  for (const Polygon& p : polygons)
    for (std::size_t k = 1; k < p.size(); ++k) {
      const std::size_t a = findRoot(parent, p[0]), b = findRoot(parent, p[k]);
      if (a != b) parent[b] = a;
    }
  std::vector<std::array<double, 4>> centre(points.size(), {0.0, 0.0, 0.0, 0.0});
  for (const Polygon& p : polygons) {
    std::array<double, 4>& c = centre[findRoot(parent, p[0])];
    for (std::size_t v : p) {
      c[0] += points[v].x();
      c[1] += points[v].y();
      c[2] += points[v].z();
      c[3] += 1.0;
    }
  }
  std::vector<double> volume(points.size(), 0.0);
  for (const Polygon& p : polygons) {
    if (p.size() != 3) continue;
    const std::size_t root = findRoot(parent, p[0]);
    const std::array<double, 4>& c = centre[root];
    const double cx = c[0] / c[3], cy = c[1] / c[3], cz = c[2] / c[3];
    const Point &a = points[p[0]], &b = points[p[1]], &d = points[p[2]];
    const double ax = a.x() - cx, ay = a.y() - cy, az = a.z() - cz;
    const double bx = b.x() - cx, by = b.y() - cy, bz = b.z() - cz;
    const double dx = d.x() - cx, dy = d.y() - cy, dz = d.z() - cz;
    volume[root] += ax * (by * dz - bz * dy) + ay * (bz * dx - bx * dz) + az * (bx * dy - by * dx);
  }
  for (Polygon& p : polygons)
    if (volume[findRoot(parent, p[0])] < 0.0) std::reverse(p.begin(), p.end());
}

}  // namespace

bool segmentSoup(const std::vector<double>& coordinates, const std::vector<int>& triangles, const Params& params,
                 Result& out, std::string& why) {
  out = Result();
  std::vector<Point> points;
  points.reserve(coordinates.size() / 3);
  for (std::size_t i = 0; i + 2 < coordinates.size(); i += 3)
    points.emplace_back(coordinates[i], coordinates[i + 1], coordinates[i + 2]);
  std::vector<Polygon> polygons;
  polygons.reserve(triangles.size() / 3);
  for (std::size_t i = 0; i + 2 < triangles.size(); i += 3) {
    const int a = triangles[i], b = triangles[i + 1], c = triangles[i + 2];
    if (a < 0 || b < 0 || c < 0 || std::size_t(a) >= points.size() || std::size_t(b) >= points.size() ||
        std::size_t(c) >= points.size())
      continue;
    polygons.push_back({std::size_t(a), std::size_t(b), std::size_t(c)});
  }

  // Duplicate points merged, degenerate and duplicate triangles and isolated
  // points removed; then non-manifold points duplicated and the triangles of
  // each component turned one way.
  PMP::repair_polygon_soup(points, polygons);
  if (polygons.empty()) {
    why = "no triangle is left after removing degenerate and duplicate ones";
    return false;
  }
  PMP::orient_polygon_soup(points, polygons);
  orientComponentsOutward(points, polygons);
  if (!PMP::is_polygon_soup_a_polygon_mesh(polygons)) {
    why = "the triangles cannot be joined into a manifold surface";
    return false;
  }
  Mesh mesh;
  PMP::polygon_soup_to_polygon_mesh(points, polygons, mesh);
  if (mesh.number_of_faces() == 0 || !mesh.is_valid(false)) {
    why = "the triangles cannot be joined into a valid surface mesh";
    return false;
  }

  using Face = Mesh::Face_index;
  Mesh::Property_map<Face, double> sdf = mesh.add_property_map<Face, double>("f:korvane_sdf", 0.0).first;
  Mesh::Property_map<Face, std::size_t> segment =
      mesh.add_property_map<Face, std::size_t>("f:korvane_segment", 0).first;
  // Raw diameters first (-1 where no ray met the surface again), so that a
  // surface without an inside is caught before the normalisation divides by
  // a zero range.
  CGAL::sdf_values(mesh, sdf, params.coneAngle, std::size_t(std::max(1, params.rays)), false);
  double lowest = std::numeric_limits<double>::max(), highest = -1.0;
  for (Face f : mesh.faces()) {
    const double v = sdf[f];
    if (!std::isfinite(v)) {
      why = "the shape diameter is not finite";
      return false;
    }
    if (v >= 0.0) {
      lowest = std::min(lowest, v);
      highest = std::max(highest, v);
    }
  }
  std::size_t count = 1;
  if (highest > 0.0 && highest > lowest) {
    CGAL::sdf_values_postprocessing(mesh, sdf);
    // The mixture cannot have more levels than there are distinct values.
    std::vector<double> values;
    values.reserve(mesh.number_of_faces());
    for (Face f : mesh.faces()) values.push_back(sdf[f]);
    std::sort(values.begin(), values.end());
    const std::size_t distinct = std::size_t(std::unique(values.begin(), values.end()) - values.begin());
    const std::size_t clusters = std::min(distinct, std::size_t(std::max(1, params.clusters)));
    count = CGAL::segmentation_from_sdf_values(mesh, sdf, segment, clusters, params.smoothing);
  } else {
    out.noInside = highest < 0.0;
    for (Face f : mesh.faces()) segment[f] = 0;
  }

  out.segmentCount = int(count);
  out.centroids.reserve(3 * mesh.number_of_faces());
  out.normals.reserve(3 * mesh.number_of_faces());
  out.faceSegment.reserve(mesh.number_of_faces());
  for (Face f : mesh.faces()) {
    const Mesh::Halfedge_index h = mesh.halfedge(f);
    const Point &a = mesh.point(mesh.source(h)), &b = mesh.point(mesh.target(h)),
                &d = mesh.point(mesh.target(mesh.next(h)));
    out.centroids.push_back(float((a.x() + b.x() + d.x()) / 3.0));
    out.centroids.push_back(float((a.y() + b.y() + d.y()) / 3.0));
    out.centroids.push_back(float((a.z() + b.z() + d.z()) / 3.0));
    const Kernel::Vector_3 n = CGAL::cross_product(b - a, d - a);
    const double length = std::sqrt(n.squared_length());
    for (int k = 0; k < 3; ++k) out.normals.push_back(length > 0.0 ? float(n[k] / length) : 0.0f);
    const std::size_t s = segment[f];
    if (s >= count) {
      why = "the segmentation gave an id out of range";
      return false;
    }
    out.faceSegment.push_back(int(s));
  }
  return true;
}

}  // namespace sdfseg
