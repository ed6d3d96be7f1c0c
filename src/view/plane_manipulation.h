#pragma once

#include "engine/cut_plane.h"
#include "engine/vec3.h"

class Camera;
class Sorvex;

// The geometry of hand manipulation of a section plane, without any GL:
// turning a plane about one of its in-plane axes, sliding it along its
// normal, rebuilding it through the three 3-Ball handles, the swing of
// planes about the symmetry axis in "Annotate Mode", and the stroke
// coordinates of a ray hit. Every edit either leaves a usable plane (finite,
// unit normal, d = normal . point) or leaves the plane as it was.

// Manipulation modes, the first value of the engine's pickState.
namespace manipmode {
constexpr int kDefaultIdle = 0;
constexpr int kTurnAboutR1 = 1;
constexpr int kTurnAboutR2 = 2;
constexpr int kSlide = 3;
constexpr int kThreeBallIdle = 4;
constexpr int kDragHandle1 = 5;  // handles 2 and 3 follow as 6 and 7
constexpr int kDragHandle3 = 7;

inline bool isDragging(int mode) {
  return (mode >= kTurnAboutR1 && mode <= kSlide) || (mode >= kDragHandle1 && mode <= kDragHandle3);
}
inline bool isThreeBall(int mode) { return mode >= kThreeBallIdle && mode <= kDragHandle3; }
// The idle mode a release returns to: 3-Ball modes to 4, all others to 0.
inline int afterRelease(int mode) { return isThreeBall(mode) ? kThreeBallIdle : kDefaultIdle; }
}  // namespace manipmode

// The mode a press on a pixel of colour (r, g, b) starts from `mode`, or -1
// when the pixel is no part of the glyph that can be grabbed in that mode.
// From 0: the r1 edges (254 grey) turn about r1, the r2 edges (253 grey)
// turn about r2, the red or green axis line slides. From 4: the three handle
// colours (glyphcolour::kHandle) drag handle 1, 2 or 3.
int modeForPickedColour(int mode, int r, int g, int b);

// v turned about the unit axis k by `angle` radians (right-hand rule):
// v cos a + (k x v) sin a + k (k . v)(1 - cos a). An angle of exactly 0
// returns v unchanged.
Vec3 rotateAboutAxis(const Vec3& v, float angle, const Vec3& k);

// Turn angle of a drag by (dx, dy) pixels on a w x h view: a drag across
// the whole width or height turns by 4 radians, and both directions add up.
// 0 for a view without area.
float dragTurnAngle(int dx, int dy, int w, int h);

// Sets the three 3-Ball handles of `to` to those of `from` carried along
// with the plane: each keeps its coordinates along r1, r2 and the normal
// relative to the plane's point, read in the frame of `from` (the plane
// before the change) and laid out again in the frame of `to`. A turn or slide thus carries the handles
// rigidly and leaves them where they were within the plane.
void carryHandles(const CutPlane& from, CutPlane& to);

// Turns the plane about its r1 (axis 1) or r2 (axis 2) by `angle` about its
// point: the normal and the other in-plane axis turn, d is refreshed to
// normal . point and the handles turn with the plane. Returns false (plane
// unchanged) when nothing turned or the result would not be a usable plane.
bool turnPlane(CutPlane& plane, int axis, float angle);

// Slides the plane along its normal so that its on-screen motion follows a
// drag of (dx, dy) pixels on a view of height h, seen by `camera`; `radius`
// is the model's bounding radius (a drag over the full height moves it by up
// to 2 radius); the handles slide with it. Returns false (plane unchanged)
// without motion, without a usable screen frame or for a view without height.
bool slidePlane(CutPlane& plane, const Camera& camera, float radius, int dx, int dy, int h);

// Rebuilds the plane through its three handles: point = handle 1, r1 towards
// handle 2, r2 towards handle 3 (made perpendicular to r1), normal = r1 x r2,
// d = normal . point. Coincident or collinear handles (closer than a
// hundred-thousandth of `radius`, or not finite) define no plane: returns false and
// leaves the plane unchanged.
bool planeThroughHandles(CutPlane& plane, float radius);

// Whether the plane is fit to be shown and cut: finite, a unit normal.
bool isUsablePlane(const CutPlane& plane);

// Plane coordinates (u, v, 0) of where the ray from `origin` along
// `direction` meets the plane. False when the ray misses it (parallel, plane
// behind the origin) or the numbers are not finite.
bool strokePointOnPlane(const CutPlane& plane, const Vec3& origin, const Vec3& direction, Vec3& uv);

// Swings the plane about the symmetry axis direction `axis` so that it
// contains the direction perpendicular to both the axis and the eye's
// direction from the world origin; the angle to the axis is kept. A plane
// perpendicular to the axis (|n . a| >= 0.99) keeps its normal and turns its
// in-plane axes instead; otherwise the normal is replaced and the plane
// normalised (d kept, point moved to normal * d). Nothing happens when the
// eye looks along the axis (|e . a| >= 0.99) or a vector is degenerate.
// The handles move with the plane. Returns true when the normal or the offset changed (the section is then
// out of date).
bool swingAboutSymmetryAxis(CutPlane& plane, const Vec3& axis, const Vec3& eye);

// Score of a plane for the automatic choice of the current plane seen from
// `eye` looking at `centre`: |v . n| (100 - |n . eye - d|) with v the unit
// line of sight; false when the plane's normal does not face the eye.
bool annotationScore(const CutPlane& plane, const Vec3& eye, const Vec3& centre, float& score);

// Makes the best-scoring plane the engine's current plane (none when no
// plane qualifies), first swinging every plane about the first symmetry axis
// when the engine has one. Swung planes get their sections recomputed.
// Returns the new current plane.
int autoSelectPlane(Sorvex& engine, const Camera& camera);
