// Five cups: a straight mug, a tea cup on its saucer, a banded stein, a
// two-handled trophy cup and a barrel-shaped mug. Every body is a revolved
// wall profile about y; handles are tubes swept along smooth curves in the
// plane z = 0, so each cup is mirror symmetric in that plane.

#include <cmath>
#include <functional>

#include "models.h"

namespace modelgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSlices = 64;

// A cup wall: outer radius as a function of height over [0, height], a
// horizontal wall thickness, a floor thickness and rounded bottom and rim.
struct CupWall {
  double height = 10.0;
  std::function<double(double)> outer;
  double wall = 0.4;
  double floor = 0.6;
  double fillet = 0.5;
};

Part cupBody(const CupWall& c) {
  std::vector<ProfilePoint> p;
  p.push_back({0.0, 0.0});
  // Rounded outer bottom edge, meeting the wall at the fillet's height.
  const double rb = c.outer(c.fillet);
  for (int k = 0; k <= 4; ++k) {
    const double a = -0.5 * kPi + 0.5 * kPi * k / 4.0;
    p.push_back({rb - c.fillet + c.fillet * std::cos(a), c.fillet + c.fillet * std::sin(a)});
  }
  // Outer wall.
  const int steps = 24;
  for (int k = 1; k <= steps; ++k) {
    const double y = c.fillet + (c.height - c.fillet) * k / steps;
    p.push_back({c.outer(y), y});
  }
  // Rounded rim from the outside over to the inside.
  const double rt = c.outer(c.height);
  for (int k = 1; k < 8; ++k) {
    const double a = kPi * k / 8.0;
    p.push_back({rt - 0.5 * c.wall + 0.5 * c.wall * std::cos(a), c.height + 0.5 * c.wall * std::sin(a)});
  }
  // Inner wall down to the floor, then a rounded inner edge.
  const double fi = 0.5 * c.fillet;
  for (int k = 0; k <= steps; ++k) {
    const double y = c.height - (c.height - c.floor - fi) * k / steps;
    p.push_back({c.outer(y) - c.wall, y});
  }
  const double ri = c.outer(c.floor + fi) - c.wall;
  for (int k = 1; k <= 4; ++k) {
    const double a = 0.5 * kPi * k / 4.0;
    p.push_back({ri - fi + fi * std::cos(a), c.floor + fi - fi * std::sin(a)});
  }
  p.push_back({0.0, c.floor});
  return revolve(p, kSlices);
}

// A handle in the plane z = 0 leaving the wall at height y0, bulging out
// by `reach` and re-entering at y1. `shape` shifts the outermost control
// points up (positive) or down, giving ear- or D-shaped handles.
std::vector<V3> handlePath(const CupWall& c, double y0, double y1, double reach, double shape) {
  const double x0 = c.outer(y0) - 0.5 * c.wall, x1 = c.outer(y1) - 0.5 * c.wall;
  const double xm = std::max(c.outer(y0), c.outer(y1));
  const double mid = 0.5 * (y0 + y1);
  const std::vector<V3> controls = {
      {x0, y0, 0},
      {xm + 0.45 * reach, y0 + 0.08 * (y0 - y1), 0},
      {xm + reach, mid + shape + 0.3 * (y0 - mid), 0},
      {xm + reach, mid + shape - 0.3 * (y0 - mid), 0},
      {xm + 0.45 * reach, y1 - 0.08 * (y0 - y1), 0},
      {x1, y1, 0},
  };
  return smoothPath(controls, 8);
}

Part roundHandle(const std::vector<V3>& path, double radius) {
  return tube(path, std::vector<double>(path.size(), radius), 16, 0.4);
}

// Flat band handle: `width` across (along z), `thickness` in the plane.
Part bandHandle(const std::vector<V3>& path, double width, double thickness) {
  return ellipticTube(path, std::vector<double>(path.size(), width), std::vector<double>(path.size(), thickness),
                      V3(0, 0, 1), 20, 0.4);
}

void addCupSymmetry(Model& m, double height, double yBase) {
  m.addPlane(V3(0, 0, 1), 0.0);
  m.addAxis(V3(0, 0.5 * height, 0), V3(0, yBase + 0.5 * height, 0));
}

Model straightMug() {
  Model m;
  m.name = "21";
  m.label = "Cup 1";
  CupWall c;
  c.height = 9.5;
  c.outer = [](double) { return 4.0; };
  c.wall = 0.45;
  c.floor = 0.6;
  c.fillet = 0.6;
  m.addPart(cupBody(c));
  m.addPart(roundHandle(handlePath(c, 7.8, 2.6, 2.8, 0.6), 0.55));
  addCupSymmetry(m, c.height, 0.0);
  return m;
}

Model teaCup() {
  Model m;
  m.name = "22";
  m.label = "Cup 2";
  CupWall c;
  c.height = 5.0;
  c.outer = [](double y) {
    const double s = 1.0 - y / 5.0;
    return 2.2 + 2.5 * (1.0 - s * s);
  };
  c.wall = 0.3;
  c.floor = 0.45;
  c.fillet = 0.35;
  const double lift = 0.05;
  m.addPart(transformed(cupBody(c), translation(V3(0, lift, 0))));
  std::vector<V3> path = handlePath(c, 4.1, 1.5, 1.9, 0.5);
  for (V3& p : path) p.y += lift;
  m.addPart(bandHandle(path, 0.42, 0.28));
  // Saucer: thin revolved dish with a foot ring and a raised rim.
  const std::vector<ProfilePoint> saucer = {{0.0, -0.45}, {2.4, -0.45}, {2.6, -0.3},  {4.5, -0.05}, {6.5, 0.25},
                                            {7.3, 0.45},  {7.5, 0.6},   {7.45, 0.72}, {7.25, 0.76}, {6.5, 0.55},
                                            {4.5, 0.2},   {3.0, 0.05},  {0.0, 0.05}};
  m.addPart(revolve(saucer, kSlices));
  addCupSymmetry(m, c.height, lift);
  return m;
}

Model stein() {
  Model m;
  m.name = "24";
  m.label = "Cup 3";
  CupWall c;
  c.height = 13.0;
  c.outer = [](double y) { return 3.6 - 0.4 * y / 13.0; };
  c.wall = 0.5;
  c.floor = 1.0;
  c.fillet = 0.5;
  m.addPart(cupBody(c));
  const std::vector<V3> controls = {{c.outer(11.0) - 0.25, 11.0, 0}, {c.outer(11.0) + 1.6, 11.6, 0},
                                    {c.outer(11.0) + 3.2, 10.4, 0},  {c.outer(7.0) + 3.4, 7.0, 0},
                                    {c.outer(4.0) + 2.6, 3.6, 0},    {c.outer(3.0) - 0.25, 3.0, 0}};
  const std::vector<V3> path = smoothPath(controls, 8);
  m.addPart(ellipticTube(path, std::vector<double>(path.size(), 0.75), std::vector<double>(path.size(), 0.45),
                         V3(0, 0, 1), 20, 0.4));
  // Two raised bands round the wall.
  for (double y : {1.4, 11.9}) m.addPart(transformed(torus(c.outer(y), 0.28, kSlices, 12), translation(V3(0, y, 0))));
  addCupSymmetry(m, c.height, 0.0);
  return m;
}

Model trophy() {
  Model m;
  m.name = "25";
  m.label = "Cup 4";
  // Foot and stem.
  const std::vector<ProfilePoint> foot = {{0.0, 0.0}, {3.2, 0.0}, {3.35, 0.15}, {3.3, 0.35},
                                          {2.6, 0.6}, {1.4, 0.9}, {0.9, 1.2},   {0.0, 1.2}};
  m.addPart(revolve(foot, kSlices));
  const std::vector<ProfilePoint> stem = {{0.0, 1.0}, {0.7, 1.0},  {0.55, 2.0}, {0.5, 3.0}, {1.0, 3.6},
                                          {0.5, 4.2}, {0.55, 5.2}, {0.9, 5.9},  {1.0, 6.2}, {0.0, 6.2}};
  m.addPart(revolve(stem, kSlices));
  // Bowl on top of the stem.
  CupWall c;
  c.height = 6.5;
  c.outer = [](double y) {
    const double s = 1.0 - y / 6.5;
    return 0.9 + 3.4 * (1.0 - s * s * s);
  };
  c.wall = 0.3;
  c.floor = 0.5;
  c.fillet = 0.3;
  const double base = 6.0;
  m.addPart(transformed(cupBody(c), translation(V3(0, base, 0))));
  // Two ear handles, one on each side.
  const std::vector<V3> controls = {{c.outer(5.6) - 0.15, 5.6, 0}, {c.outer(5.6) + 1.3, 6.0, 0},
                                    {c.outer(5.0) + 2.3, 4.8, 0},  {c.outer(3.0) + 1.8, 2.4, 0},
                                    {c.outer(1.6) + 0.6, 1.3, 0},  {c.outer(1.6) - 0.15, 1.6, 0}};
  std::vector<V3> path = smoothPath(controls, 8);
  for (V3& p : path) p.y += base;
  const Part handle = roundHandle(path, 0.32);
  m.addPart(handle);
  m.addPart(transformed(handle, scaling(V3(-1, 1, 1))));
  m.addPlane(V3(0, 0, 1), 0.0);
  m.addPlane(V3(1, 0, 0), 0.0);
  m.addAxis(V3(0, 0.5 * (base + c.height), 0), V3(0, 0.5 * (base + c.height), 0));
  return m;
}

Model barrelMug() {
  Model m;
  m.name = "30";
  m.label = "Cup 5";
  CupWall c;
  c.height = 8.0;
  c.outer = [](double y) { return 3.1 + 0.7 * std::sin(kPi * y / 8.0); };
  c.wall = 0.4;
  c.floor = 0.6;
  c.fillet = 0.7;
  m.addPart(cupBody(c));
  const std::vector<V3> controls = {{c.outer(7.0) - 0.2, 7.0, 0}, {c.outer(7.0) + 1.2, 7.2, 0},
                                    {c.outer(6.0) + 1.9, 6.4, 0}, {c.outer(3.5) + 1.9, 3.0, 0},
                                    {c.outer(2.0) + 1.1, 1.9, 0}, {c.outer(2.0) - 0.2, 2.0, 0}};
  m.addPart(bandHandle(smoothPath(controls, 8), 0.7, 0.22));
  addCupSymmetry(m, c.height, 0.0);
  return m;
}

}  // namespace

std::vector<Model> makeCups() { return {straightMug(), teaCup(), stein(), trophy(), barrelMug()}; }

}  // namespace modelgen
