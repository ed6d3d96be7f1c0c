#include "support/loading_support.h"

#include <cmath>
#include <sstream>

namespace loadingsupport {

int append(Shape& shape, const Shape& other) {
  const int base = shape.vertices.size();
  const int firstFace = shape.faces.size();
  shape.vertices += other.vertices;
  for (const RenderFace& f : other.faces) {
    shape.faces.append(RenderFace(f[0] + base, f[1] + base, f[2] + base));
  }
  return firstFace;
}

Shape grid(const Vec3& origin, const Vec3& u, const Vec3& v, int n) {
  Shape s;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) s.vertices.append(origin + u * (float(i) / n) + v * (float(j) / n));
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const int a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
      s.faces.append({a, b, d});
      s.faces.append({a, d, c});
    }
  return s;
}

Shape cylinder(const Vec3& base, const Vec3& axis, float r, float length, int around, int along) {
  // Any two unit vectors perpendicular to the axis.
  const Vec3 h = std::fabs(axis.x) < 0.9f ? Vec3(1, 0, 0) : Vec3(0, 1, 0);
  const Vec3 p = axis.cross(h).normalized();
  const Vec3 q = axis.cross(p).normalized();
  Shape s;
  for (int j = 0; j <= along; ++j)
    for (int i = 0; i < around; ++i) {
      const float t = 2.0f * float(M_PI) * i / around;
      s.vertices.append(base + axis * (length * j / along) + p * (r * std::cos(t)) + q * (r * std::sin(t)));
    }
  for (int j = 0; j < along; ++j)
    for (int i = 0; i < around; ++i) {
      const int a = j * around + i, b = j * around + (i + 1) % around, c = a + around, d = b + around;
      s.faces.append({a, b, d});
      s.faces.append({a, d, c});
    }
  return s;
}

std::string offText(const Shape& shape) {
  std::ostringstream out;
  out.precision(9);
  out << "OFF\n" << shape.vertices.size() << " " << shape.faces.size() << " 0\n";
  for (const Vec3& v : shape.vertices) out << v.x << " " << v.y << " " << v.z << "\n";
  for (const RenderFace& f : shape.faces) out << "3 " << f[0] << " " << f[1] << " " << f[2] << "\n";
  return out.str();
}

}  // namespace loadingsupport
