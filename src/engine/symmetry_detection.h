#pragma once

#include <QList>
#include <QString>
#include <QVector>
#include <atomic>

#include "engine/cut_plane.h"
#include "model/render_face.h"

// Finds the reflective symmetry planes of a triangle mesh, and its continuous
// rotational axes, for a model that comes without a symmetry file.
//
// Method: the surface is sampled uniformly by area (4,000 samples, fixed
// seed). Candidate planes are the three principal planes through the area
// centroid and the peaks of a vote: random pairs of samples whose normals are
// mirror images of each other across their bisector plane vote for that
// plane in a coarse (direction, offset) accumulator. Each candidate is
// refined by a few rounds of closest-point reflection fitting (reflect the
// samples, pair each with the closest surface point, refit the plane to the
// pairs) and scored by the distance of the reflected samples to the surface,
// found through a kd-tree over a dense set of surface points.
//
// Tolerance: a plane is a symmetry when the reflected samples' mean distance
// to the surface is at most 0.5% of the bounding-box diagonal and their 98th
// percentile at most 0.75% (the percentile keeps out shapes that are
// symmetric but for a few lumps, which the mean alone would let through). Planes within 2 degrees and 1% of the
// diagonal of each other are one plane.
//
// Rotational axes: the principal axes through the area centroid and the
// intersection lines of pairs of symmetry planes are tried. An axis counts
// only when it is continuous (a surface of revolution: cylinder, cone,
// sphere): the samples rotated about it by each of seven unrelated angles
// between 29 and 311 degrees must all fit the surface within the tolerance
// above. Axes of finite order (a box's two-fold axes, a cube's four-fold
// ones) are not reported; they are implied by the planes that meet on them.
// A symmetry plane that contains a reported axis is implied by the axis and
// is left out of `planes` (a cylinder gives its axis and its mid plane; a
// sphere its three principal axes and no plane).
//
// Results are in model units: planes normalised with normalizePlane; an axis
// has point = area centroid, unit direction, halfLength = half the extent of
// the mesh along it.
struct DetectedSymmetry {
  QList<CutPlane> planes;
  QList<Axis> axes;
  QString method;   // one line for the debug log
  QString failure;  // empty on success (finding nothing is success)
};

// Blocking; call from a worker thread. `cancel`, when given, is polled
// between stages and candidates; a cancelled call returns with `failure`
// "cancelled". Faces are polygons (split into fans); faces with indices out of
// range or non-finite vertices are ignored. O(F log F) in the face count.
DetectedSymmetry detectSymmetry(const QVector<Vec3>& vertices, const RenderFaces& faces,
                                const std::atomic<bool>* cancel = nullptr);

// Writes the records in the symmetry file format ("P nx ny nz d" per plane,
// "A dx dy dz px py pz" per axis with the direction scaled to halfLength),
// replacing the file atomically. Returns false with a reason in `why` (when
// given) for a record the reader would not take back (a non-finite number, a
// zero normal or direction, an axis without a positive halfLength, more
// records than the reader reads) or a failed write.
bool writeSymmetryFile(const QString& path, const QList<CutPlane>& planes, const QList<Axis>& axes, QString* why);
