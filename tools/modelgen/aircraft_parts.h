#pragma once

// Aircraft parts shared by the plane models: fuselages, lifting surfaces,
// engine pods, propellers and wheels. Aircraft point their nose along +x
// with y up; the right wing spans +z.

#include <vector>

#include "shapes.h"

namespace modelgen {

// One fuselage station: position along x, height of the centre line, and
// the half height and half width of the (elliptic) section there.
struct FuselageStation {
  double x, y, halfHeight, halfWidth;
};

// Fuselage through the stations (ordered from nose to tail), refined with a
// smooth curve and closed by shallow domes at both ends.
Part fuselage(const std::vector<FuselageStation>& stations, double domeScale = 0.6);

// One station of a lifting surface: distance along the span, x of the
// leading edge, offset across the span (height for wings and tails, z for
// fins), chord and thickness ratio.
struct WingStation {
  double span, leadingX, offset, chord, thickness;
};

// Horizontal surface spanning +z (span = z), or a vertical fin spanning +y
// (span = y) when `vertical` is set. Symmetric airfoil sections.
Part liftingSurface(const std::vector<WingStation>& stations, bool vertical);

// Engine pod along x: intake at `front`, length and largest radius.
Part enginePod(const V3& front, double length, double radius);

// Spinner and blades of a propeller turning about x, hub at `hub`.
Part spinner(const V3& hub, double radius, double length);
Part propellerBlade(const V3& hub, double length, double chord, double angleDegrees);

// Wheel turning about z with centre `c`.
Part wheel(const V3& c, double radius, double width);

// Round strut between two points.
Part strut(const V3& a, const V3& b, double radius);

}  // namespace modelgen
