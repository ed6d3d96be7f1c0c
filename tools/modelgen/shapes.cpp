#include "shapes.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace modelgen {

namespace {

constexpr double kPi = 3.14159265358979323846;

double radians(double degrees) { return degrees * kPi / 180.0; }

// Any unit vector perpendicular to the unit vector t, preferring the
// direction of `hint` where it is not parallel to t.
V3 perpendicular(const V3& t, const V3& hint) {
  V3 n = hint - t * dot(hint, t);
  if (length(n) < 1e-6) {
    const V3 other = std::fabs(t.x) < 0.9 ? V3(1, 0, 0) : V3(0, 0, 1);
    n = other - t * dot(other, t);
  }
  return normalised(n);
}

}  // namespace

double dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(const V3& a, const V3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(const V3& v) { return std::sqrt(dot(v, v)); }
V3 normalised(const V3& v) {
  const double l = length(v);
  return l > 0.0 ? v / l : V3();
}
V3 lerp(const V3& a, const V3& b, double t) { return a + (b - a) * t; }

// ---------------------------------------------------------------------------
// Affine maps

V3 Affine::applyLinear(const V3& v) const {
  return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
          m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

V3 Affine::apply(const V3& p) const { return applyLinear(p) + t; }

double Affine::determinant() const {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Affine Affine::operator*(const Affine& o) const {
  Affine r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double s = 0.0;
      for (int k = 0; k < 3; ++k) s += m[i][k] * o.m[k][j];
      r.m[i][j] = s;
    }
  r.t = applyLinear(o.t) + t;
  return r;
}

Affine translation(const V3& t) {
  Affine a;
  a.t = t;
  return a;
}

Affine scaling(const V3& s) {
  Affine a;
  a.m[0][0] = s.x;
  a.m[1][1] = s.y;
  a.m[2][2] = s.z;
  return a;
}

Affine uniformScaling(double s) { return scaling(V3(s, s, s)); }

Affine rotationX(double degrees) {
  const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
  Affine a;
  a.m[1][1] = c;
  a.m[1][2] = -s;
  a.m[2][1] = s;
  a.m[2][2] = c;
  return a;
}

Affine rotationY(double degrees) {
  const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
  Affine a;
  a.m[0][0] = c;
  a.m[0][2] = s;
  a.m[2][0] = -s;
  a.m[2][2] = c;
  return a;
}

Affine rotationZ(double degrees) {
  const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
  Affine a;
  a.m[0][0] = c;
  a.m[0][1] = -s;
  a.m[1][0] = s;
  a.m[1][1] = c;
  return a;
}

Affine rotationFromY(const V3& direction) {
  const V3 from(0, 1, 0);
  const V3 to = normalised(direction);
  const double c = dot(from, to);
  if (c > 1.0 - 1e-12) return Affine();
  if (c < -1.0 + 1e-12) return rotationX(180.0);
  // Rodrigues' formula about k = from x to (unnormalised, |k| = sin).
  const V3 k = cross(from, to);
  const double f = 1.0 / (1.0 + c);
  Affine a;
  const double kk[3] = {k.x, k.y, k.z};
  const double cross_[3][3] = {{0, -k.z, k.y}, {k.z, 0, -k.x}, {-k.y, k.x, 0}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      a.m[i][j] = (i == j ? 1.0 : 0.0) + cross_[i][j] + f * (kk[i] * kk[j] - (i == j ? dot(k, k) : 0.0));
  return a;
}

Part transformed(const Part& part, const Affine& a) {
  Part out;
  out.vertices.reserve(part.vertices.size());
  for (const V3& p : part.vertices) out.vertices.push_back(a.apply(p));
  out.faces = part.faces;
  if (a.determinant() < 0.0)
    for (Tri& t : out.faces) std::swap(t.b, t.c);
  return out;
}

double signedVolume(const Part& part) {
  double v = 0.0;
  for (const Tri& t : part.faces) v += dot(part.vertices[t.a], cross(part.vertices[t.b], part.vertices[t.c]));
  return v / 6.0;
}

void orientOutward(Part& part) {
  if (signedVolume(part) < 0.0)
    for (Tri& t : part.faces) std::swap(t.b, t.c);
}

// ---------------------------------------------------------------------------
// Lofts and surfaces of revolution

namespace {

// Appends the quads between two rings of `m` points starting at indices a and b.
void joinRings(Part& part, int a, int b, int m) {
  for (int j = 0; j < m; ++j) {
    const int j1 = (j + 1) % m;
    part.faces.push_back({a + j, a + j1, b + j1});
    part.faces.push_back({a + j, b + j1, b + j});
  }
}

Part loftRings(const std::vector<std::vector<V3>>& sections, bool closedLoop) {
  Part part;
  if (sections.empty()) return part;
  const int m = int(sections.front().size());
  for (const std::vector<V3>& s : sections) part.vertices.insert(part.vertices.end(), s.begin(), s.end());
  const int n = int(sections.size());
  for (int i = 0; i + 1 < n; ++i) joinRings(part, i * m, (i + 1) * m, m);
  if (closedLoop) joinRings(part, (n - 1) * m, 0, m);
  return part;
}

V3 centroid(const std::vector<V3>& points) {
  V3 c;
  for (const V3& p : points) c = c + p;
  return points.empty() ? c : c / double(points.size());
}

}  // namespace

Part loft(const std::vector<std::vector<V3>>& sections, const V3& startCap, const V3& endCap) {
  Part part = loftRings(sections, false);
  if (sections.empty()) return part;
  const int m = int(sections.front().size());
  const int n = int(sections.size());
  const int s = int(part.vertices.size());
  part.vertices.push_back(startCap);
  part.vertices.push_back(endCap);
  for (int j = 0; j < m; ++j) {
    const int j1 = (j + 1) % m;
    part.faces.push_back({s, j1, j});
    part.faces.push_back({s + 1, (n - 1) * m + j, (n - 1) * m + j1});
  }
  orientOutward(part);
  return part;
}

Part loft(const std::vector<std::vector<V3>>& sections) {
  if (sections.empty()) return Part();
  return loft(sections, centroid(sections.front()), centroid(sections.back()));
}

Part loftClosed(const std::vector<std::vector<V3>>& sections) {
  Part part = loftRings(sections, true);
  orientOutward(part);
  return part;
}

Part revolve(const std::vector<ProfilePoint>& profile, int slices) {
  std::vector<std::vector<V3>> rings;
  for (size_t i = 1; i + 1 < profile.size(); ++i) {
    std::vector<V3> ring;
    for (int j = 0; j < slices; ++j) {
      const double a = 2.0 * kPi * j / slices;
      ring.emplace_back(profile[i].r * std::cos(a), profile[i].y, -profile[i].r * std::sin(a));
    }
    rings.push_back(ring);
  }
  return loft(rings, V3(0, profile.front().y, 0), V3(0, profile.back().y, 0));
}

Part revolveLoop(const std::vector<ProfilePoint>& loop, int slices) {
  std::vector<std::vector<V3>> sections;
  for (int j = 0; j < slices; ++j) {
    const double a = 2.0 * kPi * j / slices;
    std::vector<V3> s;
    for (const ProfilePoint& p : loop) s.emplace_back(p.r * std::cos(a), p.y, -p.r * std::sin(a));
    sections.push_back(s);
  }
  return loftClosed(sections);
}

// ---------------------------------------------------------------------------
// Primitive parts

namespace {

// Samples along one axis of a rounded box: the core coordinate and the
// component of the rounding direction.
struct BoxSample {
  double core;
  double dir;
};

std::vector<BoxSample> boxSamples(double half, double radius, double spacing, int roundSteps) {
  std::vector<BoxSample> s;
  const double core = std::max(0.0, half - radius);
  for (int k = 0; k < roundSteps; ++k) s.push_back({-core, -std::tan(kPi / 4.0 * double(roundSteps - k) / roundSteps)});
  if (core < 1e-9) {
    s.push_back({0.0, 0.0});
  } else {
    const int steps = std::max(1, int(std::ceil(2.0 * core / spacing)));
    for (int k = 0; k <= steps; ++k) s.push_back({-core + 2.0 * core * k / steps, 0.0});
  }
  for (int k = 1; k <= roundSteps; ++k) s.push_back({core, std::tan(kPi / 4.0 * double(k) / roundSteps)});
  return s;
}

}  // namespace

Part roundedBox(const V3& half, double radius, double spacing, int roundSteps) {
  roundSteps = std::max(1, roundSteps);
  std::vector<BoxSample> samples[3];
  for (int a = 0; a < 3; ++a) samples[a] = boxSamples(half[a], radius, spacing, roundSteps);
  const int last[3] = {int(samples[0].size()) - 1, int(samples[1].size()) - 1, int(samples[2].size()) - 1};

  Part part;
  std::map<std::tuple<int, int, int>, int> index;
  auto vertex = [&](int i, int j, int k) {
    const auto key = std::make_tuple(i, j, k);
    auto it = index.find(key);
    if (it != index.end()) return it->second;
    const int g[3] = {i, j, k};
    V3 core, dir;
    for (int a = 0; a < 3; ++a) {
      core[a] = samples[a][g[a]].core;
      dir[a] = samples[a][g[a]].dir;
    }
    part.vertices.push_back(core + normalised(dir) * radius);
    const int id = int(part.vertices.size()) - 1;
    index[key] = id;
    return id;
  };

  // Each face has fixed axis a at its first or last sample; (b, c) follow
  // cyclically so that e_b x e_c = e_a points out of the positive face.
  for (int a = 0; a < 3; ++a) {
    const int b = (a + 1) % 3, c = (a + 2) % 3;
    for (int side = 0; side < 2; ++side) {
      for (int u = 0; u < last[b]; ++u)
        for (int v = 0; v < last[c]; ++v) {
          int q[4];
          const int uv[4][2] = {{u, v}, {u + 1, v}, {u + 1, v + 1}, {u, v + 1}};
          for (int corner = 0; corner < 4; ++corner) {
            int g[3];
            g[a] = side == 0 ? 0 : last[a];
            g[b] = uv[corner][0];
            g[c] = uv[corner][1];
            q[corner] = vertex(g[0], g[1], g[2]);
          }
          if (side == 1) {
            part.faces.push_back({q[0], q[1], q[2]});
            part.faces.push_back({q[0], q[2], q[3]});
          } else {
            part.faces.push_back({q[0], q[2], q[1]});
            part.faces.push_back({q[0], q[3], q[2]});
          }
        }
    }
  }
  orientOutward(part);
  return part;
}

Part cylinder(double radius, double halfHeight, int slices, double bevel, int lengthSteps) {
  std::vector<ProfilePoint> p;
  p.push_back({0.0, -halfHeight});
  lengthSteps = std::max(1, lengthSteps);
  if (bevel > 0.0) {
    p.push_back({radius - bevel, -halfHeight});
    const double y0 = -halfHeight + bevel, y1 = halfHeight - bevel;
    for (int k = 0; k <= lengthSteps; ++k) p.push_back({radius, y0 + (y1 - y0) * k / lengthSteps});
    p.push_back({radius - bevel, halfHeight});
  } else {
    for (int k = 0; k <= lengthSteps; ++k) p.push_back({radius, -halfHeight + 2.0 * halfHeight * k / lengthSteps});
  }
  p.push_back({0.0, halfHeight});
  return revolve(p, slices);
}

Part ellipsoid(const V3& radii, int slices, int stacks) {
  std::vector<ProfilePoint> p;
  for (int k = 0; k <= stacks; ++k) {
    const double a = kPi * k / stacks;
    p.push_back({k == 0 || k == stacks ? 0.0 : std::sin(a), -std::cos(a)});
  }
  return transformed(revolve(p, slices), scaling(radii));
}

Part torus(double major, double minor, int slices, int sides) {
  std::vector<ProfilePoint> loop;
  for (int k = 0; k < sides; ++k) {
    const double a = 2.0 * kPi * k / sides;
    loop.push_back({major + minor * std::cos(a), minor * std::sin(a)});
  }
  return revolveLoop(loop, slices);
}

Part ellipticTube(const std::vector<V3>& path, const std::vector<double>& radiiA, const std::vector<double>& radiiB,
                  const V3& up, int sides, double domeScale) {
  const int n = int(path.size());
  if (n < 2) return Part();
  // Tangents and parallel-transported frames.
  std::vector<V3> t(n), na(n), nb(n);
  for (int i = 0; i < n; ++i) t[i] = normalised(path[std::min(i + 1, n - 1)] - path[std::max(i - 1, 0)]);
  na[0] = perpendicular(t[0], up);
  for (int i = 1; i < n; ++i) na[i] = perpendicular(t[i], na[i - 1]);
  for (int i = 0; i < n; ++i) nb[i] = cross(t[i], na[i]);

  auto ring = [&](const V3& centre, int i, double scale) {
    std::vector<V3> r;
    for (int j = 0; j < sides; ++j) {
      const double a = 2.0 * kPi * j / sides;
      r.push_back(centre + na[i] * (std::cos(a) * radiiA[i] * scale) + nb[i] * (std::sin(a) * radiiB[i] * scale));
    }
    return r;
  };

  const int domeRings = domeScale > 0.0 ? std::max(2, sides / 4) : 0;
  std::vector<std::vector<V3>> sections;
  const double depth0 = 0.5 * (radiiA[0] + radiiB[0]) * domeScale;
  const double depth1 = 0.5 * (radiiA[n - 1] + radiiB[n - 1]) * domeScale;
  for (int k = domeRings - 1; k >= 1; --k) {
    const double a = 0.5 * kPi * k / domeRings;
    sections.push_back(ring(path[0] - t[0] * (depth0 * std::sin(a)), 0, std::cos(a)));
  }
  for (int i = 0; i < n; ++i) sections.push_back(ring(path[i], i, 1.0));
  for (int k = 1; k < domeRings; ++k) {
    const double a = 0.5 * kPi * k / domeRings;
    sections.push_back(ring(path[n - 1] + t[n - 1] * (depth1 * std::sin(a)), n - 1, std::cos(a)));
  }
  return loft(sections, path[0] - t[0] * depth0, path[n - 1] + t[n - 1] * depth1);
}

Part tube(const std::vector<V3>& path, const std::vector<double>& radii, int sides, double domeScale) {
  return ellipticTube(path, radii, radii, V3(0, 1, 0), sides, domeScale);
}

std::vector<V3> arc(const V3& centre, const V3& u, const V3& v, double radius, double a0, double a1, int count) {
  std::vector<V3> pts;
  for (int k = 0; k <= count; ++k) {
    const double a = radians(a0 + (a1 - a0) * k / count);
    pts.push_back(centre + u * (radius * std::cos(a)) + v * (radius * std::sin(a)));
  }
  return pts;
}

std::vector<V3> smoothPath(const std::vector<V3>& c, int perSpan) {
  std::vector<V3> out;
  const int n = int(c.size());
  if (n < 2) return c;
  for (int i = 0; i + 1 < n; ++i) {
    const V3 p0 = c[std::max(i - 1, 0)], p1 = c[i], p2 = c[i + 1], p3 = c[std::min(i + 2, n - 1)];
    for (int k = 0; k < perSpan; ++k) {
      const double s = double(k) / perSpan, s2 = s * s, s3 = s2 * s;
      out.push_back((p1 * 2.0 + (p2 - p0) * s + (p0 * 2.0 - p1 * 5.0 + p2 * 4.0 - p3) * s2 +
                     (-p0 + p1 * 3.0 - p2 * 3.0 + p3) * s3) *
                    0.5);
    }
  }
  out.push_back(c.back());
  return out;
}

// ---------------------------------------------------------------------------
// Model assembly

int Model::addPart(const Part& part) {
  const int id = segmentCount++;
  addPart(part, id);
  return id;
}

void Model::addPart(const Part& part, int segment) {
  const int base = int(vertices.size());
  vertices.insert(vertices.end(), part.vertices.begin(), part.vertices.end());
  for (const Tri& t : part.faces) {
    faces.push_back({t.a + base, t.b + base, t.c + base});
    faceSegment.push_back(segment);
  }
  segmentCount = std::max(segmentCount, segment + 1);
}

void Model::addPlane(const V3& normal, double d) { planes.push_back({normalised(normal), d / length(normal)}); }

void Model::addAxis(const V3& direction, const V3& point) { axes.push_back({direction, point}); }

void Model::fitIntoBall(double maxRadius) {
  if (vertices.empty()) return;
  V3 lo = vertices.front(), hi = vertices.front();
  for (const V3& p : vertices)
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], p[a]);
      hi[a] = std::max(hi[a], p[a]);
    }
  const V3 c = (lo + hi) * 0.5;
  double far = 0.0;
  for (const V3& p : vertices) far = std::max(far, length(p - c));
  const double s = far > 0.0 ? maxRadius / far : 1.0;
  for (V3& p : vertices) p = (p - c) * s;
  for (SymmetryPlane& pl : planes) pl.d = s * (pl.d - dot(pl.normal, c));
  for (SymmetryAxis& ax : axes) {
    ax.point = (ax.point - c) * s;
    ax.direction = ax.direction * s;
  }
}

}  // namespace modelgen
