#pragma once

// Closed meshes of analytic shapes with known parts, for the automatic
// segmentation's tests and its bench (which includes this header too).
// Header only; Qt containers as the render mesh has them.

#include <QVector>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "engine/vec3.h"
#include "model/render_face.h"

namespace shapemeshes {

struct Mesh {
  QVector<Vec3> vertices;
  RenderFaces faces;
};

// Closed surface of revolution about the z axis with radius r(z) for z in
// [z0, z1], where r(z0) = r(z1) = 0 (the poles): `rings` rings of `around`
// vertices spaced evenly along the profile's length, plus the two poles.
// Triangles run counter-clockwise seen from outside; 2 * around * rings
// faces.
inline Mesh revolution(const std::function<double(double)>& radius, double z0, double z1, int rings, int around) {
  // The profile's length, sampled finely.
  const int samples = 8192;
  std::vector<double> z(samples + 1), r(samples + 1), s(samples + 1, 0.0);
  for (int i = 0; i <= samples; ++i) {
    z[i] = z0 + (z1 - z0) * i / samples;
    r[i] = radius(z[i]);
    if (i > 0) s[i] = s[i - 1] + std::hypot(z[i] - z[i - 1], r[i] - r[i - 1]);
  }
  Mesh m;
  m.vertices.append(Vec3(0.0f, 0.0f, float(z0)));
  int at = 0;
  for (int k = 1; k <= rings; ++k) {
    const double want = s[samples] * k / (rings + 1);
    while (at + 1 < samples && s[at + 1] < want) ++at;
    const double t = (want - s[at]) / std::max(1e-300, s[at + 1] - s[at]);
    const double zk = z[at] + t * (z[at + 1] - z[at]), rk = r[at] + t * (r[at + 1] - r[at]);
    for (int j = 0; j < around; ++j) {
      const double a = 2.0 * M_PI * j / around;
      m.vertices.append(Vec3(float(rk * std::cos(a)), float(rk * std::sin(a)), float(zk)));
    }
  }
  m.vertices.append(Vec3(0.0f, 0.0f, float(z1)));
  const int top = m.vertices.size() - 1;
  auto v = [&](int k, int j) { return 1 + (k - 1) * around + (j % around); };
  for (int j = 0; j < around; ++j) m.faces.append({0, v(1, j + 1), v(1, j)});
  for (int k = 1; k < rings; ++k)
    for (int j = 0; j < around; ++j) {
      m.faces.append({v(k, j), v(k, j + 1), v(k + 1, j + 1)});
      m.faces.append({v(k, j), v(k + 1, j + 1), v(k + 1, j)});
    }
  for (int j = 0; j < around; ++j) m.faces.append({v(rings, j), v(rings, j + 1), top});
  return m;
}

inline Mesh sphere(double radius, int rings, int around) {
  return revolution([radius](double z) { return std::sqrt(std::max(0.0, radius * radius - z * z)); }, -radius, radius,
                    rings, around);
}

// Dumbbell, one closed surface: balls of radius 0.3 centred at z = -0.5 and
// z = 0.5 joined by a bar of radius 0.06 (the bar spans |z| < 0.5; it meets
// the balls at |z| of about 0.206).
constexpr double kDumbbellBallRadius = 0.3, kDumbbellBallCentre = 0.5, kDumbbellBarRadius = 0.06;
inline Mesh dumbbell(int rings, int around) {
  auto radius = [](double z) {
    const double R = kDumbbellBallRadius, c = kDumbbellBallCentre;
    const double left = std::sqrt(std::max(0.0, R * R - (z + c) * (z + c)));
    const double right = std::sqrt(std::max(0.0, R * R - (z - c) * (z - c)));
    const double bar = std::abs(z) < c ? kDumbbellBarRadius : 0.0;
    return std::max({left, right, bar});
  };
  const double end = kDumbbellBallCentre + kDumbbellBallRadius;
  return revolution(radius, -end, end, rings, around);
}

// Centroid of face f.
inline Vec3 faceCentroid(const Mesh& m, int f) {
  const RenderFace& t = m.faces[f];
  return (m.vertices[t[0]] + m.vertices[t[1]] + m.vertices[t[2]]) / 3.0f;
}

// The most common id among the faces whose centroid's z passes `inside`,
// and its share of them.
inline std::pair<int, double> majority(const Mesh& m, const QVector<int>& ids,
                                       const std::function<bool(float)>& inside) {
  std::map<int, int> votes;
  int n = 0;
  for (int f = 0; f < m.faces.size(); ++f)
    if (inside(faceCentroid(m, f).z)) {
      ++votes[ids[f]];
      ++n;
    }
  std::pair<int, int> best(-1, 0);
  for (const auto& v : votes)
    if (v.second > best.second) best = v;
  return {best.first, n ? double(best.second) / n : 0.0};
}

}  // namespace shapemeshes
