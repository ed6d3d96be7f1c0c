#pragma once

// LDL^T decomposition and solution of small symmetric positive definite
// systems.

namespace trimesh_util {

// Solves A x = b for symmetric A (only the lower triangle is read). Returns
// false, leaving x unchanged, when a pivot is not positive (the matrix is not
// positive definite, or holds NaN).
template <int N>
bool ldlt_solve(const double (&A)[N][N], const double (&b)[N], double (&x)[N]) {
  double L[N][N] = {}, D[N];
  for (int j = 0; j < N; j++) {
    double d = A[j][j];
    for (int k = 0; k < j; k++) d -= L[j][k] * L[j][k] * D[k];
    if (!(d > 0.0)) return false;
    D[j] = d;
    for (int i = j + 1; i < N; i++) {
      double s = A[i][j];
      for (int k = 0; k < j; k++) s -= L[i][k] * L[j][k] * D[k];
      L[i][j] = s / d;
    }
  }
  double y[N];
  for (int i = 0; i < N; i++) {
    double s = b[i];
    for (int k = 0; k < i; k++) s -= L[i][k] * y[k];
    y[i] = s;
  }
  for (int i = N - 1; i >= 0; i--) {
    double s = y[i] / D[i];
    for (int k = i + 1; k < N; k++) s -= L[k][i] * x[k];
    x[i] = s;
  }
  return true;
}

}  // namespace trimesh_util
