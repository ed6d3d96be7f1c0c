#pragma once

#include "engine/vec3.h"
#include "sections/section_plane.h"

// Reverses the order of the segments and swaps start and end of each one, so
// the chain runs the other way.
void reverseContour(SectionContour& contour);

// Cubic Hermite curve h00 p0 + h10 m0 + h01 p1 + h11 m1 at parameter t.
Vec3 hermitePoint(const Vec3& p0, const Vec3& p1, const Vec3& m0, const Vec3& m1, float t);

// Appends to `from` a curve of 11 bridge segments (normal (0, 0, 0)) from the
// end of its last segment to the start of `to`'s first segment, leaving and
// arriving along those two segments; the tangents are scaled by the gap length
// times `tanFactor`. `from` and `to` may be the same contour. Nothing happens
// when either has no segment.
void hermiteBridge(SectionContour& from, const SectionContour& to, float tanFactor);

// Appends one bridge segment (normal (0, 0, 0)) from the end of `from`'s last
// segment to the start of `to`'s first segment. Nothing happens when either
// has no segment.
void straightBridge(SectionContour& from, const SectionContour& to);

// Signed shoelace area of the contour's polygon (the start point of every
// segment, and the last end point when the contour is open, closed back to the
// first point) in the frame x = r1 . p, y = r2 . p (the axes are used as
// given, not normalised). Counter-clockwise is positive. Accumulated in double
// relative to the first point.
float contourArea(const SectionContour& contour, const Vec3& r1, const Vec3& r2);
