// A standing human facing +z with the arms held a little away from the
// body: torso, neck, head, upper arms, forearms, hands, thighs, shins and
// feet. Mirror symmetric in the plane x = 0.

#include <cmath>

#include "models.h"

namespace modelgen {

namespace {

const Affine kMirrorX = scaling(V3(-1, 1, 1));

void addPair(Model& m, const Part& right) {
  m.addPart(right);
  m.addPart(transformed(right, kMirrorX));
}

// Tapered round segment from a to b.
Part segment(const V3& a, const V3& b, double ra, double rb) {
  std::vector<V3> path;
  std::vector<double> radii;
  for (int k = 0; k <= 10; ++k) {
    const double t = k / 10.0;
    path.push_back(lerp(a, b, t));
    // Slight swelling in the upper third, as for muscles.
    radii.push_back(ra + (rb - ra) * t + 0.08 * (ra + rb) * std::sin(3.14159265358979 * t) * (1.0 - t));
  }
  return tube(path, radii, 20, 0.9);
}

}  // namespace

Model makeHuman() {
  Model m;
  m.name = "2";
  m.label = "Human";

  // Torso from the hips to the shoulders: wide at hips and chest, narrow at
  // the waist, flatter front to back.
  {
    const std::vector<V3> path =
        smoothPath({{0, 9.0, 0}, {0, 10.4, 0}, {0, 12.0, 0.05}, {0, 13.6, 0}, {0, 14.6, -0.05}}, 6);
    const std::vector<V3> sizes =
        smoothPath({{1.75, 1.05, 0}, {1.6, 1.0, 0}, {1.45, 0.95, 0}, {1.9, 1.15, 0}, {1.7, 0.9, 0}}, 6);
    std::vector<double> wide, deep;
    for (const V3& s : sizes) {
      wide.push_back(s.x);
      deep.push_back(s.y);
    }
    m.addPart(ellipticTube(path, wide, deep, V3(1, 0, 0), 32, 0.45));
  }
  m.addPart(segment(V3(0, 14.4, 0), V3(0, 15.7, 0.05), 0.55, 0.5));
  m.addPart(transformed(ellipsoid(V3(0.95, 1.25, 1.05), 32, 20), translation(V3(0, 16.6, 0.12))));

  // Arms and hands.
  const V3 shoulder(2.0, 14.1, 0), elbow(2.75, 11.5, -0.05), wrist(3.3, 9.1, 0.25);
  addPair(m, segment(shoulder, elbow, 0.55, 0.42));
  addPair(m, segment(elbow, wrist, 0.42, 0.3));
  const V3 handDir = normalised(wrist - elbow);
  addPair(m, transformed(ellipsoid(V3(0.2, 0.75, 0.42), 16, 12),
                         translation(wrist + handDir * 0.75) * rotationFromY(handDir)));

  // Legs and feet.
  const V3 hip(0.95, 9.3, 0), knee(1.1, 5.1, 0.12), ankle(1.15, 1.0, -0.05);
  addPair(m, segment(hip, knee, 0.85, 0.55));
  addPair(m, segment(knee, ankle, 0.55, 0.32));
  addPair(m, transformed(roundedBox(V3(0.42, 0.32, 1.1), 0.25, 0.25), translation(V3(1.15, 0.32, 0.4))));

  m.addPlane(V3(1, 0, 0), 0.0);
  return m;
}

}  // namespace modelgen
