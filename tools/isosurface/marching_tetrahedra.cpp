#include "marching_tetrahedra.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <utility>

namespace isosurface {

namespace {

// Corner c of a cube is offset (c & 1, (c >> 1) & 1, (c >> 2) & 1). The six
// tetrahedra run from corner 0 to corner 7 along the cube's edges, one for
// each order of the three axes; the sign is the orientation of (v0, v1, v2, v3).
struct Tetrahedron {
  int corner[4];
  int sign;
};

constexpr Tetrahedron kTetrahedra[6] = {
    {{0, 1, 3, 7}, +1},  // x, y, z
    {{0, 1, 5, 7}, -1},  // x, z, y
    {{0, 2, 3, 7}, -1},  // y, x, z
    {{0, 2, 6, 7}, +1},  // y, z, x
    {{0, 4, 5, 7}, +1},  // z, x, y
    {{0, 4, 6, 7}, -1},  // z, y, x
};

// The padded grid: one layer of `outside` samples all round.
struct Grid {
  int nx, ny, nz;
  std::vector<float> values;
  std::int64_t index(int x, int y, int z) const { return x + std::int64_t(nx) * (y + std::int64_t(ny) * z); }
};

class Extractor {
 public:
  Extractor(const Volume& volume, float iso) : volume_(volume), iso_(iso) {
    outside_ = std::isfinite(iso) ? iso - std::max(1.0f, std::abs(iso)) : 0.0f;
    grid_.nx = volume.nx + 2;
    grid_.ny = volume.ny + 2;
    grid_.nz = volume.nz + 2;
    grid_.values.assign(std::size_t(grid_.nx) * grid_.ny * grid_.nz, outside_);
    for (int z = 0; z < volume.nz; ++z)
      for (int y = 0; y < volume.ny; ++y)
        for (int x = 0; x < volume.nx; ++x) {
          const float v = volume.values[std::size_t(x) + std::size_t(volume.nx) * (y + std::size_t(volume.ny) * z)];
          grid_.values[grid_.index(x + 1, y + 1, z + 1)] = std::isfinite(v) ? v : outside_;
        }
  }

  Surface run() {
    if (!std::isfinite(iso_)) return {};
    for (int z = 0; z + 1 < grid_.nz; ++z)
      for (int y = 0; y + 1 < grid_.ny; ++y)
        for (int x = 0; x + 1 < grid_.nx; ++x) cube(x, y, z);
    return std::move(surface_);
  }

 private:
  void cube(int x, int y, int z) {
    std::int64_t at[8];
    float value[8];
    bool anyInside = false, anyOutside = false;
    for (int c = 0; c < 8; ++c) {
      at[c] = grid_.index(x + (c & 1), y + ((c >> 1) & 1), z + ((c >> 2) & 1));
      value[c] = grid_.values[at[c]];
      (value[c] > iso_ ? anyInside : anyOutside) = true;
    }
    if (!anyInside || !anyOutside) return;
    for (const Tetrahedron& t : kTetrahedra) tetrahedron(t, at, value);
  }

  // Emits the crossing of one tetrahedron. With the corners reordered to
  // (i, j, k, l), positively oriented and the inside ones first, the triangle
  // (ij, ik, il) faces away from i and the quad (ik, il, jl, jk) faces from
  // i and j towards k and l.
  void tetrahedron(const Tetrahedron& t, const std::int64_t* at, const float* value) {
    int inside[4], outside[4], nIn = 0, nOut = 0;
    for (int c : t.corner) (value[c] > iso_ ? inside[nIn++] : outside[nOut++]) = c;
    if (nIn == 0 || nOut == 0) return;
    int order[4];
    for (int k = 0; k < nIn; ++k) order[k] = inside[k];
    for (int k = 0; k < nOut; ++k) order[nIn + k] = outside[k];
    if (parity(t, order) * t.sign < 0) {
      // Swap two on the same side: with three inside, the first two.
      if (nIn == 3)
        std::swap(order[0], order[1]);
      else
        std::swap(order[2], order[3]);
    }
    auto v = [&](int a, int b) { return vertex(order[a], order[b], at, value); };
    if (nIn == 1) {
      emit(v(0, 1), v(0, 2), v(0, 3));
    } else if (nIn == 3) {
      // (l, i, k, j) is positive, so (li, lk, lj) faces away from l, the one
      // outside: the reverse faces out.
      emit(v(3, 0), v(3, 1), v(3, 2));
    } else {
      const int ik = v(0, 2), il = v(0, 3), jl = v(1, 3), jk = v(1, 2);
      emit(ik, il, jl);
      emit(ik, jl, jk);
    }
  }

  // +1 when `order` is an even permutation of the tetrahedron's corners.
  static int parity(const Tetrahedron& t, const int* order) {
    int position[4];
    for (int k = 0; k < 4; ++k)
      for (int m = 0; m < 4; ++m)
        if (order[k] == t.corner[m]) position[k] = m;
    int inversions = 0;
    for (int a = 0; a < 4; ++a)
      for (int b = a + 1; b < 4; ++b) inversions += position[a] > position[b];
    return inversions % 2 == 0 ? 1 : -1;
  }

  int vertex(int a, int b, const std::int64_t* at, const float* value) {
    // The grid edge from the lower corner; the other corner is above it on
    // every axis where they differ, so (lower, direction) names the edge.
    int lo = a, hi = b;
    if (at[lo] > at[hi]) std::swap(lo, hi);
    const std::int64_t key = at[lo] * 7 + ((hi ^ lo) - 1);
    auto found = vertexOf_.find(key);
    if (found != vertexOf_.end()) return found->second;
    const double t = double(iso_ - value[lo]) / double(value[hi] - value[lo]);
    std::array<double, 3> p;
    const std::int64_t plane = std::int64_t(grid_.nx) * grid_.ny;
    const int gz = int(at[lo] / plane), gy = int((at[lo] % plane) / grid_.nx), gx = int(at[lo] % grid_.nx);
    const int g[3] = {gx, gy, gz};
    for (int axis = 0; axis < 3; ++axis) {
      const int step = ((hi ^ lo) >> axis) & 1;
      p[axis] = (g[axis] - 1 + t * step) * volume_.spacing[axis];
    }
    const int id = int(surface_.vertices.size());
    surface_.vertices.push_back(p);
    vertexOf_.emplace(key, id);
    return id;
  }

  void emit(int a, int b, int c) { surface_.triangles.push_back({{a, b, c}}); }

  const Volume& volume_;
  float iso_;
  float outside_ = 0.0f;
  Grid grid_;
  Surface surface_;
  std::unordered_map<std::int64_t, int> vertexOf_;
};

}  // namespace

Surface marchingTetrahedra(const Volume& volume, float iso) {
  if (volume.nx <= 0 || volume.ny <= 0 || volume.nz <= 0 ||
      volume.values.size() != std::size_t(volume.nx) * volume.ny * volume.nz)
    return {};
  return Extractor(volume, iso).run();
}

Volume downsample(const Volume& volume, int step) {
  if (step <= 1) return volume;
  Volume out;
  out.nx = (volume.nx + step - 1) / step;
  out.ny = (volume.ny + step - 1) / step;
  out.nz = (volume.nz + step - 1) / step;
  for (int axis = 0; axis < 3; ++axis) out.spacing[axis] = volume.spacing[axis] * step;
  std::vector<double> sum(std::size_t(out.nx) * out.ny * out.nz, 0.0);
  std::vector<int> count(sum.size(), 0);
  for (int z = 0; z < volume.nz; ++z)
    for (int y = 0; y < volume.ny; ++y)
      for (int x = 0; x < volume.nx; ++x) {
        const float v = volume.values[std::size_t(x) + std::size_t(volume.nx) * (y + std::size_t(volume.ny) * z)];
        if (!std::isfinite(v)) continue;
        const std::size_t o =
            std::size_t(x / step) + std::size_t(out.nx) * (y / step + std::size_t(out.ny) * (z / step));
        sum[o] += v;
        ++count[o];
      }
  out.values.resize(sum.size());
  for (std::size_t k = 0; k < sum.size(); ++k) out.values[k] = count[k] ? float(sum[k] / count[k]) : NAN;
  return out;
}

}  // namespace isosurface
