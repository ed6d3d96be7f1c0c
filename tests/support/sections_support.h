#pragma once

#include <QList>
#include <QVector>
#include <vector>

#include "engine/vec3.h"
#include "model/render_mesh.h"
#include "sections/contour_area.h"
#include "sections/section_plane.h"

// Meshes and planes for the section tests.
namespace sectionsupport {

// Render mesh with normals as after loading (outward for faces that run
// counter-clockwise seen from outside).
RenderMesh makeMesh(const QVector<Vec3>& vertices, const RenderFaces& faces);

// The unit cube [0,1]^3 of testsupport::unitCubeOff(), read through readOff.
RenderMesh unitCubeMesh();

// Closed tube around the z axis between z = 0 and z = height: outer wall of
// radius `outer`, inner wall of radius `inner`, annular caps; `sides` facets
// around. Faces counter-clockwise seen from outside the solid.
RenderMesh tubeMesh(float inner, float outer, float height, int sides);

// Closed prism between z = 0 and z = height over a ring with `sides` corners
// around the z axis: corner k of the outer wall at angle 2 pi k / sides and
// radius outer(angle), of the inner wall at radius inner(angle) (star shapes
// give non-convex sections and holes). `caps` annular caps close it: 2 both,
// 1 the bottom one only (the mesh is open at the top), 0 none. Faces
// counter-clockwise seen from outside the solid.
RenderMesh starTubeMesh(int sides, float height, float (*outer)(float), float (*inner)(float), int caps);

// Every triangle split into four at its edge midpoints, `rounds` times; every
// coordinate then multiplied by `scale`.
RenderMesh refined(const RenderMesh& mesh, int rounds, float scale = 1.0f);

// Plane { x : normal . x = normal . point } with unit normal, `point` as given
// and in-plane axes from the usual reference-axis rule.
SectionPlane planeThrough(const Vec3& point, const Vec3& normal);

// Segment from a to b with the given face normal.
SectionSegment seg(const Vec3& a, const Vec3& b, const Vec3& normal = Vec3(0, 0, 0), int face = 0);

// Closed polygon in the z = 0 plane as segments, corner k to corner k + 1;
// `outwardNormals` gives each segment the in-plane normal pointing away from
// the polygon's interior for counter-clockwise corners.
QList<SectionSegment> polygon(const QList<Vec3>& corners, bool outwardNormals = true);

// Axis-aligned square [x0, x1] x [y0, y1] at z = 0, each side split into
// `split` segments, counter-clockwise.
QList<Vec3> squareCorners(float x0, float y0, float x1, float y1, int split);

// Whether (x, y) is inside the closed polygon xy (x, y pairs) by the even-odd
// rule; points on the boundary may go either way.
bool evenOddInside(const std::vector<double>& xy, double x, double y);

// A ContourPolygon of the points xy (x, y pairs) with its box; it takes part
// with at least three points. signedArea is left 0.
ContourPolygon polygonOf(const std::vector<double>& xy);

// Sum of the areas of the triangles.
double totalArea(const QList<SlabTriangle>& triangles);

}  // namespace sectionsupport
