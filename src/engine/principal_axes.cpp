#include "engine/principal_axes.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kN = 3;
constexpr int kMaxIterations = 32;

// Reduction by reflections of the symmetric matrix `a` to tridiagonal form.
// On return `d` holds the diagonal, `e` the sub-diagonal (e[0] = 0) and `a`
// the orthogonal matrix of the accumulated transformations (columns).
void householderTridiagonal(double a[kN][kN], double d[kN], double e[kN]) {
  for (int i = kN - 1; i > 0; --i) {
    const int l = i - 1;
    double h = 0.0;
    if (l > 0) {
      double scale = 0.0;
      for (int k = 0; k <= l; ++k) scale += std::fabs(a[i][k]);
      if (scale == 0.0) {
        e[i] = a[i][l];
      } else {
        for (int k = 0; k <= l; ++k) {
          a[i][k] /= scale;
          h += a[i][k] * a[i][k];
        }
        double f = a[i][l];
        double g = f >= 0.0 ? -std::sqrt(h) : std::sqrt(h);
        e[i] = scale * g;
        h -= f * g;
        a[i][l] = f - g;
        f = 0.0;
        for (int j = 0; j <= l; ++j) {
          a[j][i] = a[i][j] / h;
          g = 0.0;
          for (int k = 0; k <= j; ++k) g += a[j][k] * a[i][k];
          for (int k = j + 1; k <= l; ++k) g += a[k][j] * a[i][k];
          e[j] = g / h;
          f += e[j] * a[i][j];
        }
        const double hh = f / (h + h);
        for (int j = 0; j <= l; ++j) {
          f = a[i][j];
          e[j] = g = e[j] - hh * f;
          for (int k = 0; k <= j; ++k) a[j][k] -= f * e[k] + g * a[i][k];
        }
      }
    } else {
      e[i] = a[i][l];
    }
    d[i] = h;
  }
  d[0] = 0.0;
  e[0] = 0.0;
  // Accumulate the transformations.
  for (int i = 0; i < kN; ++i) {
    const int l = i - 1;
    if (d[i] != 0.0) {
      for (int j = 0; j <= l; ++j) {
        double g = 0.0;
        for (int k = 0; k <= l; ++k) g += a[i][k] * a[k][j];
        for (int k = 0; k <= l; ++k) a[k][j] -= g * a[k][i];
      }
    }
    d[i] = a[i][i];
    a[i][i] = 1.0;
    for (int j = 0; j <= l; ++j) a[j][i] = a[i][j] = 0.0;
  }
}

// Implicit QL iteration on the tridiagonal matrix (d, e), rotating the
// columns of z along. Stops everything after kMaxIterations on one eigenvalue.
void implicitQL(double d[kN], double e[kN], double z[kN][kN]) {
  for (int i = 1; i < kN; ++i) e[i - 1] = e[i];
  e[kN - 1] = 0.0;
  for (int l = 0; l < kN; ++l) {
    int iterations = 0;
    int m;
    do {
      for (m = l; m < kN - 1; ++m) {
        const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
        if (std::fabs(e[m]) + dd == dd) break;
      }
      if (m == l) break;
      if (iterations++ == kMaxIterations) return;  // keep what has been reached
      double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
      double r = std::hypot(g, 1.0);
      g = d[m] - d[l] + e[l] / (g + (g >= 0.0 ? std::fabs(r) : -std::fabs(r)));
      double s = 1.0, c = 1.0, p = 0.0;
      int i;
      bool underflow = false;
      for (i = m - 1; i >= l; --i) {
        double f = s * e[i];
        const double b = c * e[i];
        r = std::hypot(f, g);
        e[i + 1] = r;
        if (r == 0.0) {
          d[i + 1] -= p;
          e[m] = 0.0;
          underflow = true;
          break;
        }
        s = f / r;
        c = g / r;
        g = d[i + 1] - p;
        r = (d[i] - g) * s + 2.0 * c * b;
        p = s * r;
        d[i + 1] = g + p;
        g = c * r - b;
        for (int k = 0; k < kN; ++k) {
          f = z[k][i + 1];
          z[k][i + 1] = s * z[k][i] + c * f;
          z[k][i] = c * z[k][i] - s * f;
        }
      }
      if (underflow) continue;
      d[l] -= p;
      e[l] = g;
      e[m] = 0.0;
    } while (true);
  }
}

}  // namespace

void symmetricEigen3(const double m[3][3], double values[3], Vec3 vectors[3]) {
  double a[kN][kN];
  for (int i = 0; i < kN; ++i)
    for (int j = 0; j < kN; ++j) a[i][j] = m[i][j];
  double d[kN], e[kN];
  householderTridiagonal(a, d, e);
  implicitQL(d, e, a);

  // Sort decreasingly, carrying the eigenvector columns along.
  int order[kN] = {0, 1, 2};
  std::sort(order, order + kN, [&](int x, int y) { return d[x] > d[y]; });
  double v[kN][kN];  // v[k] = eigenvector k
  for (int k = 0; k < kN; ++k) {
    values[k] = d[order[k]];
    for (int r = 0; r < kN; ++r) v[k][r] = a[r][order[k]];
  }
  // Right-handed frame: a determinant of -1 flips the first eigenvector.
  const double det = v[0][0] * (v[1][1] * v[2][2] - v[1][2] * v[2][1]) -
                     v[0][1] * (v[1][0] * v[2][2] - v[1][2] * v[2][0]) +
                     v[0][2] * (v[1][0] * v[2][1] - v[1][1] * v[2][0]);
  if (det < 0.0)
    for (int r = 0; r < kN; ++r) v[0][r] = -v[0][r];
  for (int k = 0; k < kN; ++k) vectors[k] = Vec3(float(v[k][0]), float(v[k][1]), float(v[k][2]));
}

bool principalAxes(const Vec3* points, int count, PrincipalAxes& out) {
  out = PrincipalAxes();
  if (!points || count <= 0) return false;

  double c[3] = {0.0, 0.0, 0.0};
  for (int i = 0; i < count; ++i) {
    const Vec3& p = points[i];
    if (!p.isFinite()) return false;
    c[0] += p.x;
    c[1] += p.y;
    c[2] += p.z;
  }
  for (double& x : c) x /= count;

  double maxSq = 0.0;
  double m[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  for (int i = 0; i < count; ++i) {
    const double q[3] = {points[i].x - c[0], points[i].y - c[1], points[i].z - c[2]};
    maxSq = std::max(maxSq, q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
    for (int r = 0; r < 3; ++r)
      for (int s = r; s < 3; ++s) m[r][s] += q[r] * q[s];
  }
  for (int r = 0; r < 3; ++r)
    for (int s = r; s < 3; ++s) {
      m[r][s] /= count;
      m[s][r] = m[r][s];
    }

  double values[3];
  Vec3 vectors[3];
  symmetricEigen3(m, values, vectors);

  const double R = std::sqrt(maxSq);
  const float spread = float(R / std::sqrt(2.0));
  PrincipalAxes result;
  result.centroid = Vec3(float(c[0]), float(c[1]), float(c[2]));
  result.maxDistance = float(R);
  result.spread = spread;
  for (int k = 0; k < 3; ++k) {
    result.values[k] = float(values[k]);
    result.unitAxes[k] = vectors[k];
    result.axes[k] = vectors[k] * spread;
    if (!std::isfinite(result.values[k]) || !vectors[k].isFinite()) return false;
  }
  if (!result.centroid.isFinite() || !std::isfinite(spread)) return false;
  out = result;
  return true;
}
