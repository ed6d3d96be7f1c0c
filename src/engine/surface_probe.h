#pragma once

#include <QVector>
#include <memory>
#include <random>
#include <vector>

#include "engine/vec3.h"
#include "model/render_face.h"

class KDtree;

// A triangle mesh seen as a surface to sample and to measure distances to,
// in a normalised frame: coordinates are (p - centre) / size, where centre is
// the bounding-box centre and size the bounding-box diagonal of the vertices
// that the usable triangles reach, so the surface fits in a ball of diameter 1
// whatever the model's units (huge or tiny coordinates included).
//
// Usable triangles: polygons are split into fans; a triangle with an index
// out of range, a non-finite vertex or no area is left out. Everything is
// O(F) to build apart from the kd-tree (O(D log D) for D dense points).
class SurfaceProbe {
 public:
  struct Sample {
    Vec3 position;  // normalised frame
    Vec3 normal;    // unit; the sign follows the face order and may be inconsistent
  };

  // Builds the triangle list; `ok()` tells whether any usable area was found.
  SurfaceProbe(const QVector<Vec3>& vertices, const RenderFaces& faces);
  ~SurfaceProbe();
  SurfaceProbe(const SurfaceProbe&) = delete;
  SurfaceProbe& operator=(const SurfaceProbe&) = delete;

  bool ok() const { return ok_; }
  const char* failure() const { return failure_; }

  // Frame: model point = centre + size * normalised point.
  const double* centre() const { return centre_; }
  double size() const { return size_; }

  // Area centroid and area-weighted second moments about it (normalised
  // frame; exact over the triangles, not sampled).
  Vec3 areaCentroid() const { return areaCentroid_; }
  void areaCovariance(double out[3][3]) const;

  // `count` samples uniform over the area, from a generator seeded with
  // `seed` (the same mesh and seed give the same samples).
  std::vector<Sample> samples(int count, unsigned seed) const;

  // Builds the distance structure: every triangle's centroid (or, when
  // `maxCentroids` > 0 and there are more triangles, the centroids of that
  // many triangles spread evenly over their order) plus `areaPoints`
  // area-uniform points, each tagged with its triangle, in a kd-tree. Call
  // once before distanceTo/closestPoint.
  void buildDistanceIndex(int areaPoints, unsigned seed, int maxCentroids = 0);

  // Distance (normalised units) from q to the surface, found as the
  // distance to the triangle of the nearest dense point; `cap` (> 0) when
  // nothing lies within `cap`. `closest` and `normal` (optional) get the
  // point found and its triangle's unit normal (sign as the face order gives).
  // NOTE: near a triangle's edge the triangle of the nearest dense point may
  // be a neighbour of the right one; the error is at most the dense points'
  // spacing and usually far less.
  float distanceTo(const Vec3& q, float cap, Vec3* closest = nullptr, Vec3* normal = nullptr) const;

  // Extent of the usable vertices along a unit direction: min and max of
  // direction . (p - origin), normalised frame.
  void extentAlong(const Vec3& origin, const Vec3& direction, float& lo, float& hi) const;

 private:
  struct Triangle {
    Vec3 a, b, c;
  };
  // A point uniform over the area and its triangle.
  Vec3 randomPoint(std::mt19937& rng, size_t& triangle) const;

  std::vector<Triangle> triangles_;
  std::vector<double> cumulativeArea_;
  std::vector<Vec3> usedVertices_;
  double centre_[3] = {0, 0, 0};
  double size_ = 0.0;
  Vec3 areaCentroid_;
  double covariance_[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  bool ok_ = false;
  const char* failure_ = "";

  std::vector<float> densePoints_;  // 3 floats each
  std::vector<int> denseTriangle_;  // triangle of each dense point
  std::unique_ptr<KDtree> tree_;
};
