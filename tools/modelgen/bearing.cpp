// A ball bearing lying flat: outer and inner race with grooves for the
// balls, eight balls and a cage ring between the races. Its axis is y;
// besides the axis, the mid plane y = 0 and the vertical planes through
// opposite balls are mirror planes.

#include <cmath>

#include "models.h"

namespace modelgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kBalls = 8;

// Cross-section of a race: a rectangle from r0 to r1 and -h to h with
// rounded corners. The face towards the balls (r0 when `grooveOnInside`,
// else r1) carries a circular groove of radius `grooveRadius` centred on the
// balls' circle at (ballR, 0). Counter-clockwise in the (r, y) plane.
std::vector<ProfilePoint> raceLoop(double r0, double r1, double h, double corner, bool grooveOnInside, double ballR,
                                   double grooveRadius) {
  std::vector<ProfilePoint> loop;
  auto cornerArc = [&](double cr, double cy, double a0) {
    for (int k = 0; k <= 4; ++k) {
      const double a = a0 + 0.5 * kPi * k / 4.0;
      loop.push_back({cr + corner * std::cos(a), cy + corner * std::sin(a)});
    }
  };
  // The groove meets the face at y = +-g; `upwards` follows the loop.
  auto groove = [&](double faceR, bool upwards) {
    const double dr = ballR - faceR;
    const double g = std::sqrt(std::max(0.0, grooveRadius * grooveRadius - dr * dr));
    const double side = dr > 0.0 ? -1.0 : 1.0;  // groove bottom lies away from the ball centre
    const int steps = 12;
    for (int k = 1; k < steps; ++k) {
      const double y = upwards ? -g + 2.0 * g * k / steps : g - 2.0 * g * k / steps;
      loop.push_back({ballR + side * std::sqrt(grooveRadius * grooveRadius - y * y), y});
    }
  };
  cornerArc(r0 + corner, -h + corner, kPi);
  cornerArc(r1 - corner, -h + corner, 1.5 * kPi);
  if (!grooveOnInside) groove(r1, true);
  cornerArc(r1 - corner, h - corner, 0.0);
  cornerArc(r0 + corner, h - corner, 0.5 * kPi);
  if (grooveOnInside) groove(r0, false);
  return loop;
}

}  // namespace

Model makeBearing() {
  Model m;
  m.name = "342";
  m.label = "Bearing";
  const double ballR = 4.3, ball = 0.8;
  // Outer race: groove on its inner face; inner race: groove on its outer face.
  m.addPart(revolveLoop(raceLoop(5.0, 6.2, 1.0, 0.15, true, ballR, ball * 1.02), 96));
  m.addPart(revolveLoop(raceLoop(2.4, 3.6, 1.0, 0.15, false, ballR, ball * 1.02), 96));
  for (int k = 0; k < kBalls; ++k) {
    const double a = 2.0 * kPi * k / kBalls;
    m.addPart(transformed(ellipsoid(V3(ball, ball, ball), 24, 16),
                          translation(V3(ballR * std::cos(a), 0.0, ballR * std::sin(a)))));
  }
  // Cage: a thin band through the balls' centres.
  const std::vector<ProfilePoint> cage = {{3.95, -0.22}, {4.65, -0.22}, {4.65, 0.22}, {3.95, 0.22}};
  m.addPart(revolveLoop(cage, 96));
  m.addPlane(V3(0, 1, 0), 0.0);
  m.addPlane(V3(1, 0, 0), 0.0);
  m.addPlane(V3(0, 0, 1), 0.0);
  m.addAxis(V3(0, 1.0, 0), V3(0, 0, 0));
  return m;
}

}  // namespace modelgen
