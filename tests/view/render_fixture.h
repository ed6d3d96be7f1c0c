#pragma once

// A shown main view whose frames stay in the back buffer, so that a test can
// paint one frame and read its pixels; plus a pinhole projection computed
// here from the camera record (independently of the GL matrices) to find
// where a world point lands.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QImage>
#include <QPointF>
#include <QTest>
#include <cmath>
#include <functional>
#include <memory>

#include "app/glwidget.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "sections/section_plane.h"
#include "view/camera.h"

namespace viewtest {

struct Rgb {
  int r = 0, g = 0, b = 0;
};

inline Rgb rgbAt(const QImage& img, int x, int y) {
  const QRgb p = img.pixel(x, y);
  return {qRed(p), qGreen(p), qBlue(p)};
}

inline bool isWhite(const Rgb& c) { return c.r == 255 && c.g == 255 && c.b == 255; }
inline bool isBlack(const Rgb& c) { return c.r < 30 && c.g < 30 && c.b < 30; }
inline bool same(const Rgb& c, int r, int g, int b, int tol = 0) {
  return std::abs(c.r - r) <= tol && std::abs(c.g - g) <= tol && std::abs(c.b - b) <= tol;
}

inline ::testing::AssertionResult hasColour(const QImage& img, QPointF p, int r, int g, int b, int tol = 0) {
  const int x = int(std::floor(p.x())), y = int(std::floor(p.y()));
  if (!img.rect().contains(x, y)) return ::testing::AssertionFailure() << "point (" << x << ", " << y << ") off image";
  const Rgb c = rgbAt(img, x, y);
  if (same(c, r, g, b, tol)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is (" << c.r << ", " << c.g << ", " << c.b
                                       << "), expected (" << r << ", " << g << ", " << b << ") +- " << tol;
}

// Whether any pixel within `radius` of p satisfies `pred`.
inline bool anyNear(const QImage& img, QPointF p, int radius, const std::function<bool(const Rgb&)>& pred) {
  const int cx = int(std::floor(p.x())), cy = int(std::floor(p.y()));
  for (int y = cy - radius; y <= cy + radius; ++y)
    for (int x = cx - radius; x <= cx + radius; ++x)
      if (img.rect().contains(x, y) && pred(rgbAt(img, x, y))) return true;
  return false;
}

// Window position (origin top left, y down) of world point p for camera c
// on a w x h viewport.
inline QPointF project(const Camera& c, const Vec3& p, int w, int h) {
  const double kPi = 3.14159265358979323846;
  const Vec3 f = (c.centre - c.eye).normalized();
  const Vec3 s = f.cross(c.up).normalized();
  const Vec3 u = s.cross(f);
  const Vec3 d = p - c.eye;
  const double xc = d.dot(s), yc = d.dot(u), zc = d.dot(f);
  const double tanY = std::tan(c.halfFovY * kPi / 180.0);
  const double tanX = tanY * c.aspect;
  const double xn = xc / (zc * tanX), yn = yc / (zc * tanY);
  return QPointF((xn + 1.0) * 0.5 * w, (1.0 - yn) * 0.5 * h);
}

// The main view with buffer swapping off: a frame stays in the back buffer
// after updateGL, where grabFrameBuffer reads it.
class ReadableView : public GLWidget {
 public:
  ReadableView() { setAutoBufferSwap(false); }
};

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view = std::make_unique<ReadableView>();
    view->resize(400, 300);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    engine = view->engine();
  }
  void TearDown() override { view.reset(); }

  // Paints one frame and reads it back.
  QImage frame() {
    view->updateGL();
    return view->grabFrameBuffer();
  }

  QPointF at(const Vec3& p) const { return project(view->camera(), p, view->width(), view->height()); }

  void look(const Vec3& eye, const Vec3& centre, const Vec3& up = Vec3(0, 1, 0)) {
    view->camera().setFrame(eye, centre, up);
  }

  // The unit cube [0,1]^3 with outward face normals; faces in pairs per
  // side: z=0, z=1, y=0, y=1, x=0, x=1.
  void loadUnitCube(const Vec3& shift = Vec3()) {
    QVector<Vec3> v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    for (Vec3& p : v) p += shift;
    const RenderFaces f = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                     {3, 7, 6}, {3, 6, 2}, {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}};
    engine->renderMesh->setGeometry(v, f);
    engine->renderMesh->flipFaceNormals();
  }

  std::unique_ptr<GLWidget> view;
  Sorvex* engine = nullptr;
};

// A plane with the given frame through `point` (d from the normal).
inline SectionPlane makePlane(const Vec3& point, const Vec3& normal, const Vec3& r1, const Vec3& r2) {
  SectionPlane p;
  p.normal = normal;
  p.r1 = r1;
  p.r2 = r2;
  p.point = point;
  p.d = normal.dot(point);
  p.handles[0] = point;
  p.handles[1] = point + r1 * 0.5f;
  p.handles[2] = point + r2 * 0.5f;
  return p;
}

// Closed square contour through corners a, b, c, d (in order), each side
// with its own outward normal, and the two slab triangles filling it.
inline void addSquareSection(SectionPlane& plane, const Vec3 corners[4], const Vec3 normals[4]) {
  SectionContour contour;
  contour.isClosed = true;
  for (int k = 0; k < 4; ++k) {
    SectionSegment s;
    s.start = corners[k];
    s.end = corners[(k + 1) % 4];
    s.normal = normals[k];
    contour.segments.append(s);
    plane.segments.append(s);
  }
  plane.contours.append(contour);
  SlabTriangle t1, t2;
  t1.corners[0] = corners[0];
  t1.corners[1] = corners[1];
  t1.corners[2] = corners[2];
  t2.corners[0] = corners[0];
  t2.corners[1] = corners[2];
  t2.corners[2] = corners[3];
  plane.triangles.append(t1);
  plane.triangles.append(t2);
}

}  // namespace viewtest
