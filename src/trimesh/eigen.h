#pragma once

// Eigen-decomposition of a small symmetric matrix: reduction by reflections to
// tridiagonal form followed by the implicit QL iteration.

namespace trimesh_util {

// On entry a holds the symmetric 3 x 3 matrix; on return its columns hold the
// unit eigenvectors (a[i][k] = component i of vector k) and d the eigenvalues
// in increasing order. Non-finite input gives non-finite output but always
// terminates.
void eigen_symmetric3(double a[3][3], double d[3]);

}  // namespace trimesh_util
