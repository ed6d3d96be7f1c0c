// A dining chair facing +z: seat, four legs (the back legs run up as the
// posts of the back), a top rail with three slats, and stretchers between
// the legs. Mirror symmetric in the plane x = 0.

#include "models.h"

namespace modelgen {

namespace {

constexpr double kSpacing = 0.35;

Part board(const V3& centre, const V3& half, double radius) {
  return transformed(roundedBox(half, radius, kSpacing), translation(centre));
}

}  // namespace

Model makeChair() {
  Model m;
  m.name = "105";
  m.label = "Chair";
  m.addPart(board(V3(0, 4.5, 0.1), V3(2.25, 0.25, 2.15), 0.12));
  for (double x : {-1.9, 1.9}) {
    m.addPart(board(V3(x, 2.2, 1.8), V3(0.2, 2.2, 0.2), 0.08));
    m.addPart(board(V3(x, 4.75, -1.85), V3(0.2, 4.75, 0.2), 0.08));
  }
  m.addPart(board(V3(0, 8.7, -1.85), V3(2.0, 0.5, 0.13), 0.1));
  for (double x : {-1.0, 0.0, 1.0}) m.addPart(board(V3(x, 6.65, -1.85), V3(0.22, 1.65, 0.08), 0.06));
  for (double x : {-1.9, 1.9}) m.addPart(board(V3(x, 1.2, 0.0), V3(0.1, 0.12, 1.75), 0.05));
  m.addPart(board(V3(0, 1.6, 1.8), V3(1.75, 0.1, 0.09), 0.05));
  m.addPlane(V3(1, 0, 0), 0.0);
  return m;
}

}  // namespace modelgen
