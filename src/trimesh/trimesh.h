#pragma once

// Mesh geometry container with on-demand derived data: adjacency, normals,
// bounds, triangle strips, point areas, principal curvatures and their
// derivatives. Standard containers only (no Qt).
//
// Every compute_* operation is idempotent: it returns at once when its data is
// already present (one entry per vertex or per face, or the valid flag set)
// and first computes whatever it depends on. Progress goes through
// print_message, errors through print_error (standard error by default).

#include <array>
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/vec3.h"
#include "trimesh/smoothing_method.h"

static_assert(sizeof(Vec3) == 3 * sizeof(float), "Vec3 must be three packed floats");

class TriMesh {
 public:
  // Three vertex indices, counter-clockwise seen from outside.
  struct Face {
    int v[3] = {0, 0, 0};
    Face() = default;
    Face(int a, int b, int c) : v{a, b, c} {}
    int& operator[](int i) { return v[i]; }
    const int& operator[](int i) const { return v[i]; }
    bool operator==(const Face& o) const { return v[0] == o.v[0] && v[1] == o.v[1] && v[2] == o.v[2]; }
  };

  // Axis-aligned bounds. Before computation min is the largest float and max
  // the smallest positive normal float, and valid is false.
  struct BBox {
    Vec3 min{3.4028235e38f, 3.4028235e38f, 3.4028235e38f};
    Vec3 max{1.1754944e-38f, 1.1754944e-38f, 1.1754944e-38f};
    bool valid = false;
    Vec3 center() const { return (min + max) * 0.5f; }
    Vec3 size() const { return max - min; }
  };

  // Smallest enclosing sphere of the vertices.
  struct BSphere {
    Vec3 center{0.0f, 0.0f, 0.0f};
    float r = 0.0f;
    bool valid = false;
  };

  // Third-order curvature tensor (a, b, c, d) in a vertex frame: d/du of
  // (ku, kuv) = (a, b) and d/dv of (kuv, kv) = (c, d).
  using CurvDeriv = std::array<float, 4>;

  // ---- data, one entry per vertex or per face once computed ----
  std::vector<Vec3> vertices;
  std::vector<Face> faces;
  // Length-prefixed triangle strips: a count n then n vertex indices, repeated.
  std::vector<int> strips;
  // Range grid (row-major vertex indices, -1 for none); never filled by the
  // OFF and OBJ readers.
  std::vector<int> grid;
  int grid_width = -1, grid_height = -1;
  std::vector<Vec3> colors;
  std::vector<float> confidences;
  // Visit marks of the smoothing traversals; a flag equal to the counter
  // means "visited in the current traversal".
  std::vector<unsigned> smooth_flags;
  unsigned smooth_flag_counter = 0;
  // Unit vertex normals.
  std::vector<Vec3> normals;
  // Unit principal directions; principal_dir2 = normal x principal_dir1.
  std::vector<Vec3> principal_dir1, principal_dir2;
  // Principal curvatures (1 / model units), |principal_curv1| >= |principal_curv2|.
  // With counter-clockwise faces (outward normals) a convex surface has
  // positive curvature.
  std::vector<float> principal_curv1, principal_curv2;
  // Curvature derivative tensor in the frame (principal_dir1, principal_dir2).
  std::vector<CurvDeriv> curv_derivs;
  // Per face: the share of the face's area given to each of its corners.
  std::vector<Vec3> corner_areas;
  // Per vertex: sum of its corner areas (model units squared).
  std::vector<float> point_areas;
  BBox bounding_box;
  BSphere bounding_sphere;
  // Vertices sharing an edge with each vertex.
  std::vector<std::vector<int>> vertex_neighbors;
  // Faces using each vertex, in increasing face order.
  std::vector<std::vector<int>> vertex_faces;
  // For face f and corner j, the face across the edge opposite corner j, or -1.
  std::vector<Face> across_faces;

  // ---- derived data ----
  void compute_faces_from_strips();
  void build_strips();
  // mode 0: to the length-prefixed form; mode 1: to the -1-terminated form.
  void reencode_strips(int mode);
  void compute_bounding_box();
  void compute_bounding_sphere();
  void compute_normals();
  void compute_vertex_faces();
  void compute_across_faces();
  void compute_neighbors();
  void compute_point_areas();
  // Triangulates the range grid into faces (only when there are no faces).
  void grid_to_faces();

  // ---- curvature ----
  void compute_curvatures();
  void compute_curv_derivs();
  // Gaussian smoothing of width sigma (model units) over the connected
  // neighbourhood within three sigma that faces the same way. Each vertex's
  // result depends only on the unsmoothed data, so the vertices are filtered
  // on `threads` threads (0: one per core) over packed copies of the data;
  // the result is bit for bit that of the plain one-thread filter. `cancel`,
  // when given, is polled; a call that sees it set returns with the data
  // unchanged.
  void smooth_curvatures(float sigma, int threads = 0, const std::atomic<bool>* cancel = nullptr);
  void smooth_curv_derivs(float sigma, int threads = 0, const std::atomic<bool>* cancel = nullptr);
  // The plain filter: one thread, vertex by vertex over the neighbour lists.
  // The yardstick for the packed, threaded one.
  void smooth_curvatures_plain(float sigma);
  void smooth_curv_derivs_plain(float sigma);
  // The clustered filter (smoothing_method.h): the vertices are gathered into
  // clusters by cells of kSmoothingCellFraction * sigma and by the way their
  // normals face; each cluster keeps its area, area-weighted centroid and
  // normal sum, and its members' area-weighted mean tensor in a frame of its
  // own. Each vertex then gathers, with the exact filter's weights (Gaussian,
  // normal dot product, area) and frame rotation, the clusters connected to
  // its own through mesh edges within three sigma. O(vertices log vertices)
  // for the clustering, then a bounded amount of work per vertex. The result
  // does not depend on the thread count. Threads and cancel as above.
  void smooth_curvatures_fast(float sigma, int threads = 0, const std::atomic<bool>* cancel = nullptr);
  void smooth_curv_derivs_fast(float sigma, int threads = 0, const std::atomic<bool>* cancel = nullptr);

  // Expected number of vertices the exact filter gathers per vertex at width
  // sigma: the vertices' mean local density (vertices per unit area over
  // each vertex's one-ring, so that dense parts count as often as they have
  // vertices) times the area of a disc of radius three sigma. O(edges).
  // Computes point areas and neighbours when missing; 0 for an empty mesh, a
  // mesh without area or a sigma that is not positive.
  double expected_smoothing_neighbours(float sigma);
  // Whether `method` at width sigma means the fast filter (Auto: expected
  // neighbours above kFastSmoothingNeighbours).
  bool smoothing_uses_fast(float sigma, SmoothingMethod method);
  // How the curvature data was last smoothed: by the fast filter (with its
  // cluster count) or not (exact, plain, or not smoothed at all).
  struct SmoothingRecord {
    bool fast = false;
    int clusters = 0;
  };
  SmoothingRecord last_smoothing;

  // ---- reading ----
  // Reads an OFF or OBJ file (recognised by its first bytes; "-" is standard
  // input). Returns nullptr on failure, after writing the reason through
  // print_error.
  static std::unique_ptr<TriMesh> read(const char* filename);
  // Same, on an already open stream (read from its current position to its
  // end; the stream is not closed). `name` is used in messages.
  static std::unique_ptr<TriMesh> read(std::FILE* f, const char* name);
  // Same, on a block of memory holding the file's bytes.
  static std::unique_ptr<TriMesh> read_memory(const char* data, size_t size, const char* name);

  // ---- message channel ----
  // Progress messages are written only when the verbosity is above 0
  // (initially 1); errors always.
  static void set_verbose(int level);
  static int verbose();
  // Installs a callback receiving each message instead of standard error;
  // nullptr restores standard error.
  static void set_progress_callback(void (*cb)(const char*));
  static void set_error_callback(void (*cb)(const char*));

  // Makes sure faces exist: from strips, else from the grid. Returns false
  // when the mesh still has no faces.
  bool ensure_faces();
};

// Formats (at most 1023 characters) and sends a progress message or an error.
void print_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
void print_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
