#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace isosurface {

// A scalar volume sampled on a regular grid: values[x + nx * (y + ny * z)],
// sample (x, y, z) at (x * spacing[0], y * spacing[1], z * spacing[2]).
struct Volume {
  int nx = 0, ny = 0, nz = 0;
  std::array<double, 3> spacing{{1.0, 1.0, 1.0}};
  std::vector<float> values;
};

// An indexed triangle mesh; triangles are counter-clockwise seen from outside.
struct Surface {
  std::vector<std::array<double, 3>> vertices;
  std::vector<std::array<int, 3>> triangles;
};

// The boundary of the region where the volume is above `iso`, by marching
// tetrahedra: every grid cube is split into the same six tetrahedra along its
// main diagonal (so neighbouring cubes share their split faces) and each
// tetrahedron's crossing is a triangle or a quad, with vertices interpolated
// linearly along its edges and shared between the tetrahedra around an edge.
// The volume is read as surrounded by one layer of samples below `iso`, and
// non-finite samples count as below it, so the surface is closed: every edge
// lies on exactly two triangles, oriented alike. O(samples) time; the
// vertices are kept in a hash map keyed by grid edge.
Surface marchingTetrahedra(const Volume& volume, float iso);

// The mean of each block of step x step x step samples (fewer at the far
// sides), with the spacing scaled by step. step <= 1 returns the volume.
Volume downsample(const Volume& volume, int step);

}  // namespace isosurface
