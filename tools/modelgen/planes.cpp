// Five aeroplanes: an airliner with wing engines, a delta-wing fighter with
// canards, a high-wing propeller aircraft with struts and fixed gear, a
// T-tail business jet with rear engines and a biplane. Each is mirror
// symmetric in the plane z = 0 (nose along +x, y up).

#include "aircraft_parts.h"
#include "models.h"

namespace modelgen {

namespace {

const Affine kMirrorZ = scaling(V3(1, 1, -1));

// Adds a part on the right (+z) side and its mirror image on the left.
void addPair(Model& m, const Part& right) {
  m.addPart(right);
  m.addPart(transformed(right, kMirrorZ));
}

Model airliner() {
  Model m;
  m.name = "62";
  m.label = "Plane 1";
  m.addPart(fuselage({{15.0, -0.1, 0.2, 0.2},
                      {14.4, -0.1, 0.95, 0.9},
                      {13.0, 0.0, 1.5, 1.45},
                      {10.0, 0.0, 1.65, 1.6},
                      {0.0, 0.0, 1.65, 1.6},
                      {-7.0, 0.05, 1.6, 1.55},
                      {-11.0, 0.4, 1.1, 1.05},
                      {-14.0, 0.85, 0.45, 0.4},
                      {-15.0, 0.95, 0.15, 0.12}}));
  addPair(m, liftingSurface({{0.0, 3.8, -0.9, 6.4, 0.14}, {5.0, 1.0, -0.6, 3.9, 0.12}, {14.0, -4.8, 0.15, 1.3, 0.1}},
                            false));
  addPair(m, liftingSurface({{0.0, -10.2, 0.7, 3.4, 0.1}, {5.4, -13.4, 1.0, 1.2, 0.09}}, false));
  m.addPart(liftingSurface({{0.6, -9.0, 0.0, 4.6, 0.11}, {6.6, -13.6, 0.0, 1.7, 0.1}}, true));
  addPair(m, enginePod(V3(4.0, -1.75, 5.0), 4.2, 0.85));
  addPair(m, liftingSurface({{-1.2, 2.4, 5.0, 2.6, 0.12}, {-0.55, 1.5, 5.0, 2.8, 0.12}}, true));
  m.addPlane(V3(0, 0, 1), 0.0);
  return m;
}

Model fighter() {
  Model m;
  m.name = "63";
  m.label = "Plane 2";
  m.addPart(fuselage({{10.0, 0.0, 0.05, 0.05},
                      {8.5, 0.05, 0.45, 0.45},
                      {6.0, 0.1, 0.85, 0.8},
                      {3.0, 0.1, 1.0, 1.15},
                      {-3.0, 0.1, 0.95, 1.2},
                      {-7.0, 0.1, 0.8, 0.9},
                      {-8.0, 0.1, 0.7, 0.75}},
                     0.2));
  m.addPart(transformed(ellipsoid(V3(2.2, 0.6, 0.55), 24, 12), translation(V3(5.0, 0.85, 0.0))));
  addPair(m, liftingSurface({{0.0, 3.6, -0.15, 10.6, 0.05}, {6.5, -5.4, -0.25, 1.2, 0.04}}, false));
  addPair(m, liftingSurface({{0.0, 6.6, 0.2, 2.0, 0.06}, {3.0, 5.0, 0.3, 0.6, 0.05}}, false));
  m.addPart(liftingSurface({{0.5, -2.8, 0.0, 5.0, 0.06}, {4.8, -6.6, 0.0, 1.3, 0.05}}, true));
  m.addPlane(V3(0, 0, 1), 0.0);
  return m;
}

Model lightAircraft() {
  Model m;
  m.name = "64";
  m.label = "Plane 3";
  m.addPart(fuselage({{6.0, 0.0, 0.7, 0.7},
                      {4.5, 0.1, 1.2, 0.95},
                      {1.5, 0.3, 1.55, 1.0},
                      {-1.5, 0.3, 1.45, 0.95},
                      {-6.0, 0.4, 0.65, 0.5},
                      {-11.5, 0.6, 0.35, 0.25},
                      {-12.2, 0.62, 0.25, 0.15}},
                     0.3));
  addPair(m, liftingSurface({{0.0, 2.6, 1.75, 3.0, 0.15}, {10.5, 2.3, 1.95, 2.5, 0.13}}, false));
  addPair(m, strut(V3(1.0, -0.6, 0.9), V3(1.3, 1.7, 5.6), 0.09));
  addPair(m, liftingSurface({{0.0, -9.4, 0.55, 2.2, 0.09}, {3.6, -10.2, 0.6, 1.3, 0.08}}, false));
  m.addPart(liftingSurface({{0.5, -9.0, 0.0, 2.8, 0.1}, {3.6, -11.0, 0.0, 1.4, 0.09}}, true));
  const V3 hub(6.4, 0.0, 0.0);
  m.addPart(spinner(hub, 0.45, 1.0));
  m.addPart(propellerBlade(hub + V3(0.2, 0, 0), 2.6, 0.5, 0.0));
  m.addPart(propellerBlade(hub + V3(0.2, 0, 0), 2.6, 0.5, 180.0));
  // Fixed landing gear: two main wheels and a nose wheel on their legs.
  addPair(m, strut(V3(0.6, -0.9, 0.7), V3(0.6, -2.3, 2.1), 0.1));
  addPair(m, wheel(V3(0.6, -2.5, 2.2), 0.55, 0.4));
  m.addPart(strut(V3(4.6, -0.7, 0.0), V3(4.6, -2.4, 0.0), 0.09));
  m.addPart(wheel(V3(4.6, -2.6, 0.0), 0.45, 0.3));
  m.addPlane(V3(0, 0, 1), 0.0);
  return m;
}

Model businessJet() {
  Model m;
  m.name = "65";
  m.label = "Plane 4";
  m.addPart(fuselage({{11.0, -0.15, 0.1, 0.1},
                      {10.0, -0.1, 0.7, 0.65},
                      {8.0, 0.0, 1.1, 1.05},
                      {2.0, 0.0, 1.15, 1.1},
                      {-5.0, 0.1, 1.05, 1.0},
                      {-9.0, 0.45, 0.6, 0.55},
                      {-11.0, 0.65, 0.2, 0.15}}));
  addPair(m, liftingSurface({{0.0, 1.8, -0.75, 4.2, 0.13}, {8.5, -2.6, -0.3, 1.4, 0.1}}, false));
  addPair(m, liftingSurface({{-0.4, -2.5, 8.45, 1.4, 0.08}, {1.6, -3.4, 8.6, 0.6, 0.07}}, true));
  addPair(m, enginePod(V3(-4.4, 0.75, 2.15), 3.4, 0.7));
  addPair(m, liftingSurface({{0.6, -5.4, 0.55, 1.6, 0.14}, {1.6, -5.8, 0.65, 1.4, 0.14}}, false));
  m.addPart(liftingSurface({{0.6, -7.4, 0.0, 3.6, 0.11}, {4.7, -10.6, 0.0, 2.0, 0.1}}, true));
  addPair(m, liftingSurface({{0.0, -10.0, 4.55, 2.0, 0.09}, {4.0, -11.4, 4.65, 0.9, 0.08}}, false));
  m.addPlane(V3(0, 0, 1), 0.0);
  return m;
}

Model biplane() {
  Model m;
  m.name = "66";
  m.label = "Plane 5";
  m.addPart(fuselage({{5.0, 0.2, 0.8, 0.8},
                      {3.5, 0.25, 1.05, 0.9},
                      {0.0, 0.3, 1.1, 0.9},
                      {-4.0, 0.45, 0.7, 0.55},
                      {-8.5, 0.7, 0.3, 0.2},
                      {-9.2, 0.72, 0.2, 0.12}},
                     0.3));
  // Upper wing in one piece across the fuselage, lower wing in two halves.
  m.addPart(liftingSurface({{-8.4, 2.9, 2.6, 2.3, 0.12},
                            {-7.8, 3.05, 2.6, 2.5, 0.12},
                            {0.0, 3.1, 2.6, 2.5, 0.12},
                            {7.8, 3.05, 2.6, 2.5, 0.12},
                            {8.4, 2.9, 2.6, 2.3, 0.12}},
                           false));
  addPair(m, liftingSurface({{0.0, 2.6, -0.55, 2.4, 0.12}, {7.6, 2.55, -0.3, 2.4, 0.12}, {8.1, 2.4, -0.3, 2.1, 0.12}},
                            false));
  // Interplane struts near the tips and cabane struts over the fuselage.
  for (double x : {2.2, 0.9}) {
    addPair(m, strut(V3(x, -0.35, 5.8), V3(x + 0.2, 2.55, 5.8), 0.08));
    addPair(m, strut(V3(x, 1.0, 0.55), V3(x + 0.2, 2.55, 1.2), 0.07));
  }
  addPair(m, liftingSurface({{0.0, -7.0, 0.75, 1.8, 0.09}, {3.0, -7.5, 0.8, 1.1, 0.08}}, false));
  m.addPart(
      liftingSurface({{0.6, -6.8, 0.0, 2.2, 0.1}, {2.6, -7.7, 0.0, 1.4, 0.09}, {3.0, -8.2, 0.0, 0.6, 0.08}}, true));
  const V3 hub(5.3, 0.2, 0.0);
  m.addPart(spinner(hub, 0.4, 0.8));
  m.addPart(propellerBlade(hub + V3(0.15, 0, 0), 2.4, 0.45, 0.0));
  m.addPart(propellerBlade(hub + V3(0.15, 0, 0), 2.4, 0.45, 180.0));
  addPair(m, strut(V3(2.2, -0.6, 0.6), V3(2.0, -2.0, 1.5), 0.09));
  addPair(m, wheel(V3(2.0, -2.2, 1.6), 0.6, 0.35));
  m.addPlane(V3(0, 0, 1), 0.0);
  return m;
}

}  // namespace

std::vector<Model> makePlanes() { return {airliner(), fighter(), lightAircraft(), businessJet(), biplane()}; }

}  // namespace modelgen
