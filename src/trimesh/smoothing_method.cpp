// The names of the smoothing methods and the automatic choice between them.

#include <cmath>
#include <cstring>

#include "trimesh/smoothing_method.h"
#include "trimesh/trimesh.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

const char* smoothing_method_name(SmoothingMethod method) {
  switch (method) {
    case SmoothingMethod::Exact:
      return "exact";
    case SmoothingMethod::Fast:
      return "fast";
    case SmoothingMethod::Auto:
      break;
  }
  return "auto";
}

bool smoothing_method_from_name(const char* name, SmoothingMethod& method) {
  if (!name) return false;
  for (SmoothingMethod m : {SmoothingMethod::Auto, SmoothingMethod::Exact, SmoothingMethod::Fast}) {
    if (std::strcmp(name, smoothing_method_name(m)) == 0) {
      method = m;
      return true;
    }
  }
  return false;
}

double TriMesh::expected_smoothing_neighbours(float sigma) {
  if (vertices.empty() || !(sigma > 0.0f) || !std::isfinite(sigma)) return 0.0;
  compute_point_areas();
  compute_neighbors();
  if (point_areas.size() != vertices.size() || vertex_neighbors.size() != vertices.size()) return 0.0;
  // Each vertex's local density: its one-ring's vertex count over the
  // ring's point areas (steadier than its own area alone on slivers).
  double density = 0.0;
  size_t counted = 0;
  for (size_t i = 0; i < vertices.size(); ++i) {
    double area = point_areas[i] > 0.0f ? double(point_areas[i]) : 0.0;
    size_t n = 1;
    for (int j : vertex_neighbors[i]) {
      if (j < 0 || size_t(j) >= vertices.size()) continue;
      if (point_areas[size_t(j)] > 0.0f) area += point_areas[size_t(j)];
      ++n;
    }
    if (!(area > 0.0) || !std::isfinite(area)) continue;
    density += double(n) / area;
    ++counted;
  }
  if (counted == 0 || !std::isfinite(density)) return 0.0;
  const double r = 3.0 * double(sigma);
  return density / double(counted) * kPi * r * r;
}

bool TriMesh::smoothing_uses_fast(float sigma, SmoothingMethod method) {
  if (method == SmoothingMethod::Exact) return false;
  if (method == SmoothingMethod::Fast) return true;
  return expected_smoothing_neighbours(sigma) > kFastSmoothingNeighbours;
}
