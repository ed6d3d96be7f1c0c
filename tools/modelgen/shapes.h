#pragma once

// A small toolkit for building closed triangle meshes from simple parts.
//
// Every builder returns a `Part`: a closed, consistently oriented 2-manifold
// whose triangles run counter-clockwise seen from outside. Builders work in
// double precision; the writer rounds to the text format at the end.
// Conventions: y is up; angles are in degrees unless a name says otherwise.

#include <string>
#include <vector>

namespace modelgen {

struct V3 {
  double x = 0.0, y = 0.0, z = 0.0;

  V3() = default;
  V3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

  V3 operator+(const V3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  V3 operator-(const V3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  V3 operator-() const { return {-x, -y, -z}; }
  V3 operator*(double s) const { return {x * s, y * s, z * s}; }
  V3 operator/(double s) const { return {x / s, y / s, z / s}; }
  double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
  double& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
};

inline V3 operator*(double s, const V3& v) { return v * s; }
double dot(const V3& a, const V3& b);
V3 cross(const V3& a, const V3& b);
double length(const V3& v);
// Unit vector along v; (0, 0, 0) stays (0, 0, 0).
V3 normalised(const V3& v);
// Linear interpolation a + t (b - a).
V3 lerp(const V3& a, const V3& b, double t);

struct Tri {
  int a = 0, b = 0, c = 0;
};

// One closed part: its own vertices and triangles (indices into `vertices`).
struct Part {
  std::vector<V3> vertices;
  std::vector<Tri> faces;
};

// Affine map x -> m x + t.
struct Affine {
  double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  V3 t;

  V3 apply(const V3& p) const;
  // The linear part only (for directions).
  V3 applyLinear(const V3& v) const;
  double determinant() const;
  // (*this * o)(x) = this(o(x)).
  Affine operator*(const Affine& o) const;
};

Affine translation(const V3& t);
Affine scaling(const V3& s);
Affine uniformScaling(double s);
Affine rotationX(double degrees);
Affine rotationY(double degrees);
Affine rotationZ(double degrees);
// Rotation that turns the +y axis onto `direction` (by the shortest arc).
Affine rotationFromY(const V3& direction);

// Applies `a` to every vertex. A mirroring map (negative determinant) would
// turn the triangles inside out, so their order is reversed to stay
// counter-clockwise seen from outside.
Part transformed(const Part& part, const Affine& a);

// Signed volume enclosed by a closed part (positive when oriented outward).
double signedVolume(const Part& part);
// Reverses every triangle when the part is oriented inward.
void orientOutward(Part& part);

// A point of a profile in the (radius, height) half-plane, for revolving about y.
struct ProfilePoint {
  double r = 0.0, y = 0.0;
};

// Surface of revolution about the y axis. The profile runs from a point on the
// axis (r = 0) through points with r > 0 to a second point on the axis; both
// end points become poles. `slices` >= 3.
Part revolve(const std::vector<ProfilePoint>& profile, int slices);

// Ring-shaped surface of revolution about y: the closed loop (all r > 0, no
// repeated first point) is swept once round the axis.
Part revolveLoop(const std::vector<ProfilePoint>& loop, int slices);

// Closed surface through a sequence of closed sections, each a loop of the
// same number of points. The first and last sections are closed by fans to
// `startCap` and `endCap`.
Part loft(const std::vector<std::vector<V3>>& sections, const V3& startCap, const V3& endCap);
// As above, capped by fans to the centroids of the end sections.
Part loft(const std::vector<std::vector<V3>>& sections);
// Sections joined end to start (a ring-shaped surface, no caps).
Part loftClosed(const std::vector<std::vector<V3>>& sections);

// Box centred at the origin with half extents `half`, every edge and corner
// rounded with `radius` (0 < radius <= smallest half extent). `spacing` is
// the largest distance between grid lines on the flat parts; `roundSteps` is
// the number of segments over each 45-degree half of a rounded edge.
Part roundedBox(const V3& half, double radius, double spacing, int roundSteps = 3);

// Cylinder along y, centred at the origin, with flat caps whose rims are
// bevelled by `bevel` (0 for sharp rims). `lengthSteps` rings along the side.
Part cylinder(double radius, double halfHeight, int slices, double bevel = 0.0, int lengthSteps = 1);

// Ellipsoid centred at the origin with semi-axes `radii` (x, y, z).
Part ellipsoid(const V3& radii, int slices, int stacks);

// Torus about the y axis: tube of radius `minor` round a circle of radius `major`.
Part torus(double major, double minor, int slices, int sides);

// A tube along a polyline path with a circular section whose radius is given
// per path point. The ends are closed by half-dome caps of the end radius
// scaled by `domeScale` (0 gives flat caps).
Part tube(const std::vector<V3>& path, const std::vector<double>& radii, int sides, double domeScale = 1.0);

// As above for an elliptical section: `radiiA` along the frame's first normal,
// `radiiB` along the second. `up` fixes the frame at the path start.
Part ellipticTube(const std::vector<V3>& path, const std::vector<double>& radiiA, const std::vector<double>& radiiB,
                  const V3& up, int sides, double domeScale = 1.0);

// Points of a circular arc of `count` + 1 points in the plane spanned by the
// unit vectors `u` and `v` round `centre`, from angle a0 to a1 (degrees,
// measured from u towards v).
std::vector<V3> arc(const V3& centre, const V3& u, const V3& v, double radius, double a0, double a1, int count);

// Smooth curve through control points (Catmull-Rom), `perSpan` points per span.
std::vector<V3> smoothPath(const std::vector<V3>& controls, int perSpan);

// Symmetry plane {x : normal . x = d}.
struct SymmetryPlane {
  V3 normal;
  double d = 0.0;
};

// Symmetry axis through `point`; |direction| is half the axis' extent.
struct SymmetryAxis {
  V3 direction;
  V3 point;
};

// A whole model: parts appended with their segment ids, plus the symmetry of
// the assembly.
struct Model {
  std::string name;  // file name without extension, e.g. "21"
  std::string label;
  std::vector<V3> vertices;
  std::vector<Tri> faces;
  std::vector<int> faceSegment;  // one id per face
  std::vector<SymmetryPlane> planes;
  std::vector<SymmetryAxis> axes;
  int segmentCount = 0;

  // Appends a part as a new segment and returns its id.
  int addPart(const Part& part);
  // Appends a part to an existing segment.
  void addPart(const Part& part, int segment);

  void addPlane(const V3& normal, double d);
  void addAxis(const V3& direction, const V3& point);

  // Moves the bounding-box centre to the origin and scales uniformly so that
  // the farthest vertex lies at distance `maxRadius`; the symmetry records are
  // mapped along.
  void fitIntoBall(double maxRadius);
};

}  // namespace modelgen
