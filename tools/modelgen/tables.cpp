// Five tables: a dining table with apron, a round pedestal table, a square
// coffee table with turned legs and a shelf, a trestle table and an oval
// table with splayed legs. All stand on y = 0 with the top's centre on the
// y axis, which is a rotation axis of each; the mirror planes follow from
// the top's outline.

#include <cmath>

#include "models.h"

namespace modelgen {

namespace {

constexpr double kSpacing = 0.45;
constexpr double kPi = 3.14159265358979323846;

Part board(const V3& centre, const V3& half, double radius) {
  return transformed(roundedBox(half, radius, kSpacing), translation(centre));
}

// Mirror planes x = 0 and z = 0 and the vertical axis up to `height`.
void addRectangularSymmetry(Model& m, double height) {
  m.addPlane(V3(1, 0, 0), 0.0);
  m.addPlane(V3(0, 0, 1), 0.0);
  m.addAxis(V3(0, 0.5 * height, 0), V3(0, 0.5 * height, 0));
}

// A square outline adds the two diagonal planes.
void addSquareSymmetry(Model& m, double height) {
  addRectangularSymmetry(m, height);
  m.addPlane(V3(1, 0, -1), 0.0);
  m.addPlane(V3(1, 0, 1), 0.0);
}

Model diningTable() {
  Model m;
  m.name = "141";
  m.label = "Table 1";
  m.addPart(board(V3(0, 7.25, 0), V3(6.0, 0.25, 3.5), 0.15));
  for (double x : {-5.3, 5.3})
    for (double z : {-2.8, 2.8}) m.addPart(board(V3(x, 3.5, z), V3(0.3, 3.5, 0.3), 0.08));
  for (double z : {-2.8, 2.8}) m.addPart(board(V3(0, 6.45, z), V3(5.0, 0.55, 0.1), 0.05));
  for (double x : {-5.3, 5.3}) m.addPart(board(V3(x, 6.45, 0), V3(0.1, 0.55, 2.5), 0.05));
  addRectangularSymmetry(m, 7.5);
  return m;
}

Model pedestalTable() {
  Model m;
  m.name = "142";
  m.label = "Table 2";
  m.addPart(transformed(cylinder(4.6, 0.2, 96, 0.1, 2), translation(V3(0, 7.3, 0))));
  // Turned column with a collar at the top and a swelling near the foot.
  const std::vector<ProfilePoint> column = {{0.0, 0.5}, {0.9, 0.5},  {0.95, 0.8}, {0.7, 1.1}, {0.75, 1.6},
                                            {0.6, 2.5}, {0.45, 4.0}, {0.42, 5.5}, {0.5, 6.4}, {0.8, 6.6},
                                            {1.4, 6.9}, {1.4, 7.15}, {0.0, 7.15}};
  m.addPart(revolve(column, 48));
  // Four curved feet from the column out to the floor.
  for (int k = 0; k < 4; ++k) {
    const std::vector<V3> controls = {{0.2, 1.4, 0}, {1.5, 1.2, 0}, {2.6, 0.6, 0}, {3.3, 0.25, 0}};
    std::vector<V3> path = smoothPath(controls, 8);
    std::vector<double> wide, thick;
    for (size_t i = 0; i < path.size(); ++i) {
      const double t = double(i) / double(path.size() - 1);
      wide.push_back(0.35 - 0.12 * t);
      thick.push_back(0.45 - 0.22 * t);
    }
    const Part foot = ellipticTube(path, thick, wide, V3(0, 1, 0), 16, 0.6);
    m.addPart(transformed(foot, rotationY(90.0 * k)));
  }
  addSquareSymmetry(m, 7.5);
  return m;
}

Model coffeeTable() {
  Model m;
  m.name = "143";
  m.label = "Table 3";
  m.addPart(board(V3(0, 3.6, 0), V3(3.5, 0.2, 3.5), 0.15));
  const std::vector<ProfilePoint> leg = {{0.0, 0.0}, {0.16, 0.0}, {0.2, 0.08}, {0.22, 0.8}, {0.3, 1.2}, {0.26, 1.5},
                                         {0.3, 2.6}, {0.36, 3.0}, {0.4, 3.1},  {0.4, 3.45}, {0.0, 3.45}};
  const Part turned = revolve(leg, 32);
  for (double x : {-3.0, 3.0})
    for (double z : {-3.0, 3.0}) m.addPart(transformed(turned, translation(V3(x, 0, z))));
  m.addPart(board(V3(0, 1.0, 0), V3(3.1, 0.1, 3.1), 0.08));
  addSquareSymmetry(m, 3.8);
  return m;
}

Model trestleTable() {
  Model m;
  m.name = "144";
  m.label = "Table 4";
  m.addPart(board(V3(0, 7.3, 0), V3(7.0, 0.3, 3.0), 0.2));
  for (double x : {-5.0, 5.0}) {
    m.addPart(board(V3(x, 3.8, 0), V3(0.25, 3.0, 0.9), 0.1));
    m.addPart(board(V3(x, 0.35, 0), V3(0.4, 0.35, 2.6), 0.12));
    m.addPart(board(V3(x, 6.75, 0), V3(0.35, 0.25, 2.6), 0.1));
  }
  m.addPart(board(V3(0, 3.0, 0), V3(5.0, 0.3, 0.2), 0.08));
  addRectangularSymmetry(m, 7.6);
  return m;
}

Model ovalTable() {
  Model m;
  m.name = "145";
  m.label = "Table 5";
  // Oval top: a round slab stretched to 6 by 3.6.
  m.addPart(transformed(cylinder(1.0, 0.22, 96, 0.04, 1), translation(V3(0, 7.0, 0)) * scaling(V3(6.0, 1.0, 3.6))));
  for (double sx : {-1.0, 1.0})
    for (double sz : {-1.0, 1.0}) {
      const V3 top(2.55 * sx, 6.85, 1.32 * sz), bottom(4.1 * sx, 0.0, 2.35 * sz);
      std::vector<V3> path;
      std::vector<double> radii;
      for (int k = 0; k <= 8; ++k) {
        path.push_back(lerp(top, bottom, k / 8.0));
        radii.push_back(0.3 - 0.14 * k / 8.0);
      }
      m.addPart(tube(path, radii, 16, 0.3));
    }
  // A ring under the top joins the legs.
  std::vector<ProfilePoint> ring;
  for (int k = 0; k < 12; ++k) {
    const double a = 2.0 * kPi * k / 12.0;
    ring.push_back({1.0 + 0.03 * std::cos(a), 0.25 * std::sin(a)});
  }
  m.addPart(transformed(revolveLoop(ring, 96), translation(V3(0, 6.5, 0)) * scaling(V3(3.55, 1.0, 1.85))));
  addRectangularSymmetry(m, 7.2);
  return m;
}

}  // namespace

std::vector<Model> makeTables() { return {diningTable(), pedestalTable(), coffeeTable(), trestleTable(), ovalTable()}; }

}  // namespace modelgen
