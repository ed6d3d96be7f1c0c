#pragma once

#include <QVector>
#include <string>

#include "engine/vec3.h"
#include "model/render_face.h"

// Small analytic meshes for the loading and feature tests.
namespace loadingsupport {

struct Shape {
  QVector<Vec3> vertices;
  RenderFaces faces;
};

// Appends `other` to `shape` (indices shifted); returns the first new face.
int append(Shape& shape, const Shape& other);

// An n x n grid of squares (2 triangles each) spanning origin + [0,1]u x [0,1]v.
Shape grid(const Vec3& origin, const Vec3& u, const Vec3& v, int n);

// An open cylinder of radius r from `base` along unit `axis` for `length`,
// `around` x `along` quads split into triangles.
Shape cylinder(const Vec3& base, const Vec3& axis, float r, float length, int around, int along);

// OFF text of a shape (faces as "3 a b c").
std::string offText(const Shape& shape);

}  // namespace loadingsupport
