// A donkey standing on y = 0, head towards +x: barrel-shaped body, neck
// with a mane, head with a long muzzle and the long ears, four legs with
// hooves, and a tail with a tuft. Mirror symmetric in the plane z = 0.

#include <cmath>

#include "models.h"

namespace modelgen {

namespace {

const Affine kMirrorZ = scaling(V3(1, 1, -1));

// Tube through smooth controls with radii interpolated from `r0` to `r1`.
Part limb(const std::vector<V3>& controls, double r0, double r1, int sides = 16, double dome = 0.8) {
  const std::vector<V3> path = smoothPath(controls, 6);
  std::vector<double> radii;
  for (size_t i = 0; i < path.size(); ++i) radii.push_back(r0 + (r1 - r0) * double(i) / double(path.size() - 1));
  return tube(path, radii, sides, dome);
}

void addPair(Model& m, const Part& right) {
  m.addPart(right);
  m.addPart(transformed(right, kMirrorZ));
}

}  // namespace

Model makeDonkey() {
  Model m;
  m.name = "385";
  m.label = "Donkey";

  // Body: elliptic sections (taller than wide) along a slightly curved back.
  {
    const std::vector<V3> controls = {{-4.0, 6.4, 0}, {-2.4, 6.1, 0}, {0.4, 5.9, 0}, {2.8, 6.2, 0}, {3.9, 6.6, 0}};
    const std::vector<V3> path = smoothPath(controls, 8);
    std::vector<double> tall, wide;
    for (size_t i = 0; i < path.size(); ++i) {
      const double t = double(i) / double(path.size() - 1);
      const double bulge = std::sin(3.14159265358979 * (0.1 + 0.8 * t));
      tall.push_back(0.9 + 0.85 * bulge);
      wide.push_back(0.75 + 0.7 * bulge);
    }
    m.addPart(ellipticTube(path, tall, wide, V3(0, 1, 0), 32, 0.9));
  }
  // Neck rising forward from the chest, flattened sideways.
  {
    const std::vector<V3> path = smoothPath({{3.3, 6.7, 0}, {4.3, 8.0, 0}, {5.1, 9.6, 0}}, 8);
    std::vector<double> deep, wide;
    for (size_t i = 0; i < path.size(); ++i) {
      const double t = double(i) / double(path.size() - 1);
      deep.push_back(1.05 - 0.35 * t);
      wide.push_back(0.7 - 0.2 * t);
    }
    m.addPart(ellipticTube(path, wide, deep, V3(0, 0, 1), 24, 0.6));
    // Mane along the top of the neck.
    const std::vector<V3> manePath = smoothPath({{3.3, 7.6, 0}, {4.1, 8.9, 0}, {4.8, 10.3, 0}}, 8);
    m.addPart(ellipticTube(manePath, std::vector<double>(manePath.size(), 0.16),
                           std::vector<double>(manePath.size(), 0.35), V3(0, 0, 1), 12, 0.8));
  }
  // Head: from the poll down and forward to a rounded muzzle.
  {
    const std::vector<V3> path = smoothPath({{5.0, 10.2, 0}, {5.8, 9.3, 0}, {6.5, 8.0, 0}}, 8);
    std::vector<double> deep, wide;
    for (size_t i = 0; i < path.size(); ++i) {
      const double t = double(i) / double(path.size() - 1);
      deep.push_back(0.95 - 0.35 * t);
      wide.push_back(0.65 - 0.2 * t);
    }
    m.addPart(ellipticTube(path, wide, deep, V3(0, 0, 1), 24, 0.8));
  }
  // Long ears, leaning back and out.
  addPair(m, transformed(ellipsoid(V3(0.3, 1.35, 0.14), 16, 12),
                         translation(V3(4.7, 11.3, 0.4)) * rotationX(16.0) * rotationZ(30.0)));
  // Legs: front legs nearly straight, hind legs with the hock bent back.
  addPair(m, limb({{3.0, 5.6, 0.75}, {3.1, 3.4, 0.75}, {3.0, 1.9, 0.72}, {3.05, 0.55, 0.72}}, 0.62, 0.27));
  addPair(m, limb({{-3.0, 5.9, 0.75}, {-2.8, 3.9, 0.75}, {-3.5, 2.2, 0.72}, {-3.3, 0.55, 0.72}}, 0.75, 0.27));
  for (double x : {3.05, -3.3})
    addPair(m, transformed(cylinder(0.36, 0.25, 24, 0.06), translation(V3(x + 0.04, 0.25, 0.72))));
  // Tail with a tuft.
  m.addPart(limb({{-4.5, 6.9, 0}, {-5.0, 5.6, 0}, {-5.05, 4.3, 0}}, 0.2, 0.12, 10, 0.5));
  m.addPart(transformed(ellipsoid(V3(0.3, 0.7, 0.3), 16, 10), translation(V3(-5.05, 3.9, 0))));
  m.addPlane(V3(0, 0, 1), 0.0);
  return m;
}

}  // namespace modelgen
