#include "aircraft_parts.h"

#include <cmath>

namespace modelgen {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Closed symmetric airfoil loop in chord units: (u, v) with u from the
// leading edge (0) to the trailing edge (1) and v across; 2 n points
// without repeats, the sharp trailing edge once.
std::vector<std::pair<double, double>> airfoil(double thickness, int n) {
  auto half = [&](double u) {
    return 5.0 * thickness *
           (0.2969 * std::sqrt(u) - 0.1260 * u - 0.3516 * u * u + 0.2843 * u * u * u - 0.1036 * u * u * u * u);
  };
  std::vector<std::pair<double, double>> loop;
  for (int k = n; k >= 0; --k) {
    const double u = 0.5 * (1.0 - std::cos(kPi * k / n));
    loop.push_back({u, k == n ? 0.0 : half(u)});
  }
  for (int k = 1; k < n; ++k) {
    const double u = 0.5 * (1.0 - std::cos(kPi * k / n));
    loop.push_back({u, -half(u)});
  }
  return loop;
}

WingStation mix(const WingStation& a, const WingStation& b, double t) {
  return {a.span + (b.span - a.span) * t, a.leadingX + (b.leadingX - a.leadingX) * t,
          a.offset + (b.offset - a.offset) * t, a.chord + (b.chord - a.chord) * t,
          a.thickness + (b.thickness - a.thickness) * t};
}

}  // namespace

Part fuselage(const std::vector<FuselageStation>& stations, double domeScale) {
  std::vector<V3> controls;
  for (const FuselageStation& s : stations) controls.emplace_back(s.x, s.y, 0.0);
  // Interpolate the section sizes with the same curve as the centre line by
  // running them through the spline as extra coordinates.
  std::vector<V3> sizes;
  for (const FuselageStation& s : stations) sizes.emplace_back(s.halfHeight, s.halfWidth, 0.0);
  const std::vector<V3> path = smoothPath(controls, 6);
  const std::vector<V3> size = smoothPath(sizes, 6);
  std::vector<double> ra, rb;
  for (const V3& s : size) {
    ra.push_back(s.x);
    rb.push_back(s.y);
  }
  return ellipticTube(path, ra, rb, V3(0, 1, 0), 32, domeScale);
}

Part liftingSurface(const std::vector<WingStation>& stations, bool vertical) {
  std::vector<WingStation> fine;
  for (size_t i = 0; i + 1 < stations.size(); ++i)
    for (int k = 0; k < 4; ++k) fine.push_back(mix(stations[i], stations[i + 1], k / 4.0));
  fine.push_back(stations.back());
  std::vector<std::vector<V3>> sections;
  for (const WingStation& s : fine) {
    std::vector<V3> loop;
    for (const auto& uv : airfoil(s.thickness, 14)) {
      const double x = s.leadingX - s.chord * uv.first;
      const double across = s.offset + s.chord * uv.second;
      loop.push_back(vertical ? V3(x, s.span, across) : V3(x, across, s.span));
    }
    sections.push_back(loop);
  }
  return loft(sections);
}

Part enginePod(const V3& front, double length, double radius) {
  // Profile about y from the exhaust (y = 0) to the intake (y = length).
  const double L = length, r = radius;
  const std::vector<ProfilePoint> p = {{0.0, 0.05 * L},     {0.45 * r, 0.0}, {0.7 * r, 0.08 * L},  {0.9 * r, 0.3 * L},
                                       {r, 0.6 * L},        {r, 0.85 * L},   {0.95 * r, 0.97 * L}, {0.85 * r, L},
                                       {0.6 * r, 0.97 * L}, {0.0, 0.95 * L}};
  return transformed(revolve(p, 32), translation(front) * rotationZ(-90.0) * translation(V3(0, -L, 0)));
}

Part spinner(const V3& hub, double radius, double length) {
  // Quarter ellipse from the back plate (y = 0) to the tip (y = length).
  std::vector<ProfilePoint> p = {{0.0, 0.0}, {radius, 0.0}};
  for (int k = 1; k < 8; ++k) {
    const double a = 0.5 * kPi * k / 8.0;
    p.push_back({radius * std::cos(a), length * std::sin(a)});
  }
  p.push_back({0.0, length});
  return transformed(revolve(p, 24), translation(hub) * rotationZ(-90.0));
}

Part propellerBlade(const V3& hub, double length, double chord, double angleDegrees) {
  // Blade along +y in the plane x = 0, turned about x.
  std::vector<V3> path;
  std::vector<double> ra, rb;
  for (int k = 0; k <= 10; ++k) {
    const double t = k / 10.0;
    path.emplace_back(0.0, length * t, 0.0);
    ra.push_back(chord * 0.5 * (0.7 + 0.6 * std::sin(kPi * (0.25 + 0.6 * t))));
    rb.push_back(chord * 0.09);
  }
  // ra runs along z (the blade's chord), rb along x (its thickness). The
  // blades are left without pitch so that the aircraft keeps its mirror
  // plane exactly.
  return transformed(ellipticTube(path, ra, rb, V3(0, 0, 1), 12, 0.5), translation(hub) * rotationX(angleDegrees));
}

Part wheel(const V3& c, double radius, double width) {
  const double hw = 0.5 * width;
  const std::vector<ProfilePoint> p = {{0.0, -0.6 * hw},     {0.35 * radius, -0.6 * hw}, {0.55 * radius, -hw},
                                       {0.85 * radius, -hw}, {radius, -0.5 * hw},        {radius, 0.5 * hw},
                                       {0.85 * radius, hw},  {0.55 * radius, hw},        {0.35 * radius, 0.6 * hw},
                                       {0.0, 0.6 * hw}};
  return transformed(revolve(p, 32), translation(c) * rotationX(90.0));
}

Part strut(const V3& a, const V3& b, double radius) {
  return tube({a, lerp(a, b, 0.5), b}, {radius, radius, radius}, 10, 0.5);
}

}  // namespace modelgen
