#pragma once

#include <QVector>

#include "engine/vec3.h"

// Principal component analysis of a point set.
//
// `axes[k]` is the k-th eigenvector of the covariance matrix, scaled to length
// `spread` = R / sqrt(2), where R is the largest distance of a point from the
// centroid. `unitAxes[k]` is the same direction at unit length. Eigenvalues are
// sorted decreasingly (values[0] >= values[1] >= values[2]) and are the
// unscaled eigenvalues of (1/n) sum (p - c)(p - c)^T, in squared model units.
// The frame (unitAxes[0], unitAxes[1], unitAxes[2]) is right-handed.
struct PrincipalAxes {
  Vec3 axes[3];
  Vec3 unitAxes[3];
  float values[3] = {0.0f, 0.0f, 0.0f};
  Vec3 centroid;
  float spread = 0.0f;       // R / sqrt(2)
  float maxDistance = 0.0f;  // R
};

// Computes the principal axes of `count` points. The eigen-decomposition is a
// reduction by reflections to tridiagonal form followed by the implicit QL
// iteration; after 32 iterations on one eigenvalue without convergence the
// iteration stops and the values reached so far are used.
// Returns false (and leaves `out` zeroed) for an empty set or when a
// coordinate or the result is not finite.
bool principalAxes(const Vec3* points, int count, PrincipalAxes& out);
inline bool principalAxes(const QVector<Vec3>& points, PrincipalAxes& out) {
  return principalAxes(points.constData(), points.size(), out);
}

// Eigen-decomposition of a symmetric 3 x 3 matrix (row-major `m`), as used by
// principalAxes: eigenvalues sorted decreasingly in `values`, unit
// eigenvectors in `vectors` forming a right-handed frame.
void symmetricEigen3(const double m[3][3], double values[3], Vec3 vectors[3]);
