#include "model/sdf_segmentation.h"

// The graph cut is Boost's Boykov-Kolmogorov max-flow, not the bundled
// max-flow code: on coarse meshes (a 1,920-face dumbbell, proxies of a few
// thousand faces) the latter put every face under one label once the
// smoothing was above zero, where Boost's separates the parts as expected.
// Boost's flow is run on a compressed graph built below (FlowGraph), not on
// the adjacency list CGAL would build: same vertices, same edges in the same
// order, so the same cut, at about a fifth of the time (the adjacency list
// allocates every edge's properties on its own; the cut was a third of the
// segmentation of a 3,000-face proxy).
#define CGAL_DO_NOT_USE_BOYKOV_KOLMOGOROV_MAXFLOW_SOFTWARE

#include <CGAL/boost/graph/alpha_expansion_graphcut.h>
#include <boost/graph/boykov_kolmogorov_max_flow.hpp>
#include <boost/graph/compressed_sparse_row_graph.hpp>

#include <cstdint>
#include <utility>
#include <vector>

// CGAL's alpha expansion takes its max-flow graph from one of three classes
// chosen by a tag; the third, declared but left undefined unless the bundled
// max-flow code is included (it is not, see above), is defined here. The
// segmentation below asks for it by Alpha_expansion_MaxFlow_tag.
#ifdef CGAL_BOOST_GRAPH_ALPHA_EXPANSION_MAXFLOW_IMPL_H
#error "the bundled max-flow code must not be included with the flow graph below"
#endif
namespace CGAL {

// The interface CGAL's alpha expansion calls: per expansion, the graph is
// cleared, vertices and edge pairs (a capacity each way) are added, the
// graph is built, the flow run and the labels updated from the cut. Edges
// are gathered in a flat list and, before the flow, sorted stably by their
// source into a compressed row graph; the reverse of every edge is known
// from the order of adding (pairs 2k, 2k + 1), so it costs O(V + E).
class Alpha_expansion_MaxFlow_impl {
  struct VertexP {
    boost::default_color_type color;
    double distance;
    boost::compressed_sparse_row_graph<boost::directedS>::edge_descriptor predecessor;
  };
  struct EdgeP {
    double capacity;
    double residual;
    boost::compressed_sparse_row_graph<boost::directedS>::edge_descriptor reverse;
  };
  using Graph = boost::compressed_sparse_row_graph<boost::directedS, VertexP, EdgeP>;
  using Edge = boost::graph_traits<Graph>::edge_descriptor;

 public:
  using Vertex_descriptor = std::size_t;

  void clear_graph() {
    vertexCount_ = 2;  // 0: the source, 1: the sink
    ends_.clear();
    capacity_.clear();
  }
  Vertex_descriptor add_vertex() { return vertexCount_++; }
  void add_tweight(Vertex_descriptor& v, double toSource, double toSink) {
    add_edge(0, v, toSource, 0.0);
    add_edge(v, 1, toSink, 0.0);
  }
  void add_edge(Vertex_descriptor v1, Vertex_descriptor v2, double w12, double w21) {
    ends_.emplace_back(v1, v2);
    capacity_.push_back(w12);
    ends_.emplace_back(v2, v1);
    capacity_.push_back(w21);
  }

  void init_vertices() {
    const std::size_t n = vertexCount_, m = ends_.size();
    // Stable counting sort by source: position of every added edge.
    std::vector<std::size_t> start(n + 1, 0);
    for (const auto& e : ends_) ++start[e.first + 1];
    for (std::size_t v = 0; v < n; ++v) start[v + 1] += start[v];
    position_.resize(m);
    for (std::size_t i = 0; i < m; ++i) position_[i] = start[ends_[i].first]++;
    sortedEnds_.resize(m);
    sortedProps_.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
      const std::size_t p = position_[i];
      sortedEnds_[p] = ends_[i];
      sortedProps_[p].capacity = capacity_[i];
      sortedProps_[p].residual = 0.0;
    }
    graph_ = Graph(boost::edges_are_sorted, sortedEnds_.begin(), sortedEnds_.end(), sortedProps_.begin(), n, m);
    for (std::size_t i = 0; i < m; ++i) {
      const std::size_t partner = i ^ std::size_t(1);
      graph_.m_forward.m_edge_properties[position_[i]].reverse = Edge(ends_[partner].first, position_[partner]);
    }
  }

  double max_flow() {
    return boost::boykov_kolmogorov_max_flow(
        graph_, boost::get(&EdgeP::capacity, graph_), boost::get(&EdgeP::residual, graph_),
        boost::get(&EdgeP::reverse, graph_), boost::get(&VertexP::predecessor, graph_),
        boost::get(&VertexP::color, graph_), boost::get(&VertexP::distance, graph_),
        boost::get(boost::vertex_index, graph_), Vertex_descriptor(0), Vertex_descriptor(1));
  }

  // A vertex left on the sink's side (white) takes the label alpha.
  template <typename VertexLabelMap, typename InputVertexDescriptor>
  void update(VertexLabelMap labels, const std::vector<Vertex_descriptor>& inserted, InputVertexDescriptor vd,
              std::size_t vertex_i, std::size_t alpha) {
    const boost::default_color_type color = graph_[inserted[vertex_i]].color;
    if (std::size_t(get(labels, vd)) != alpha && color == boost::color_traits<boost::default_color_type>::white())
      put(labels, vd, static_cast<typename boost::property_traits<VertexLabelMap>::value_type>(alpha));
  }

 private:
  std::size_t vertexCount_ = 2;
  std::vector<std::pair<std::size_t, std::size_t>> ends_;
  std::vector<double> capacity_;
  std::vector<std::size_t> position_;
  std::vector<std::pair<std::size_t, std::size_t>> sortedEnds_;
  std::vector<EdgeP> sortedProps_;
  Graph graph_;
};

}  // namespace CGAL

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/orient_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/polygon_soup_to_polygon_mesh.h>
#include <CGAL/Polygon_mesh_processing/repair_polygon_soup.h>
#include <CGAL/Simple_cartesian.h>
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

// The rays of the shape diameter are cast in plain double arithmetic. Every
// ray starts on its own face, so with the filtered kernel the test against
// that face (skipped afterwards anyway) and its neighbours is degenerate and
// falls back to exact arithmetic, a quarter of the ray casting's time. The
// diameters come out the same to the last bit on the development set; a
// borderline hit that double arithmetic gets wrong costs one ray of a face,
// which the outlier rejection over its rays absorbs.
using RayKernel = CGAL::Simple_cartesian<double>;

// The mesh's points read as points of RayKernel.
struct RayPoints {
  using key_type = Mesh::Vertex_index;
  using value_type = RayKernel::Point_3;
  using reference = value_type;
  using category = boost::readable_property_map_tag;
  const Mesh* mesh;
  friend value_type get(const RayPoints& map, key_type v) {
    const Point& p = map.mesh->point(v);
    return value_type(p.x(), p.y(), p.z());
  }
};

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
  // As sdf_values does it (segments of the bounding box's diagonal, the
  // nearest hit per ray), in RayKernel. One thread: this runs in a child
  // forked from a process with threads, where starting threads is not safe.
  const CGAL::internal::SDF_calculation<Mesh, RayPoints, RayKernel, true> rays(mesh, RayPoints{&mesh}, false, true,
                                                                                RayKernel());
  rays.calculate_sdf_values(mesh.faces().begin(), mesh.faces().end(), params.coneAngle,
                            std::size_t(std::max(1, params.rays)), sdf);
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
    // As segmentation_from_sdf_values does it, with the flow graph above.
    CGAL::internal::Surface_mesh_segmentation<Mesh, Kernel, Mesh::Property_map<Mesh::Vertex_index, Point>, true,
                                              CGAL::Alpha_expansion_MaxFlow_tag>
        segmentation(mesh, Kernel(), mesh.points());
    count = segmentation.partition(clusters, params.smoothing, sdf, segment, true);
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
