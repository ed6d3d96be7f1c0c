#pragma once

// Automatic segmentation of a model that comes without a segmentation file:
// CGAL's shape diameter function segmentation. The shape diameter of a face
// is the (robustly averaged) length of rays cast from it into the solid
// within a cone around its inward normal; a mixture of a few levels is fitted
// to the log of those diameters and a graph cut, which prefers to cut along
// concave creases, labels the faces. Parts of one thickness (a leg, a bar, a
// ball) become connected segments.
//
// Large meshes are segmented on a coarse proxy made by clustering vertices on
// a grid; every original face then takes the id of the nearest proxy face (by
// centroid). The result is meant to be used exactly as a "<model>_0.seg" file
// would be: one id per face, ids 0 .. segmentCount - 1, each used.

#include <QString>
#include <QVector>
#include <atomic>

#include "engine/vec3.h"
#include "model/render_face.h"

struct AutoSegmentation {
  QVector<int> faceSegment;  // one id per input face, 0 .. segmentCount-1 (empty on failure)
  int segmentCount = 0;
  QString method;   // one line for the debug log and summary, e.g. "shape diameter: 6 segments (...)"
  QString failure;  // empty on success, else a reason a user can read
};

// The settings; the defaults are the measured choice (see the .cpp).
struct AutoSegmentationParams {
  // Meshes with more faces are segmented on a proxy of about this many faces.
  int proxyFaces = 3000;
  int rays = 3;             // rays per face of the shape diameter
  int clusters = 5;         // levels of the diameter mixture
  double smoothing = 0.26;  // weight of the dihedral angles in the graph cut, [0, 1]
  // Segments smaller than this share of the surface area join the neighbour
  // they share the longest border with (0: keep them all).
  double minSegmentArea = 0.002;
  // Limits of the child process; 0: 20 s and 1 GiB.
  int timeLimitMs = 0;
  long long memoryBytes = 0;
};

// Blocking; call from a worker thread. `cancel`, when given, is polled.
//
// Faces hold vertex indices (the first three are used). A face with a missing
// or out-of-range index, a non-finite vertex, a repeated vertex or no area
// still gets an id: that of the nearest good face to the centroid of its
// usable corners, or of the nearest good face before (else after) it in face
// order when no corner is usable.
//
// CGAL runs in a forked child process on the proxy (or the whole mesh when it
// is smaller), with a time limit of 20 s and 1 GiB of address space beyond
// what it inherits: a crash, an exhausted limit or a cancel fail the call
// with a reason, and the parent checks every id it gets back. On failure
// `faceSegment` is empty and `failure` says why; nothing else happens.
// Everything before and after the child is linear in the mesh's size (a
// proxy by grid clustering, ids back by a k-d tree over the proxy's faces).
AutoSegmentation computeAutoSegmentation(const QVector<Vec3>& vertices, const RenderFaces& faces,
                                         const std::atomic<bool>* cancel = nullptr);
AutoSegmentation computeAutoSegmentation(const QVector<Vec3>& vertices, const RenderFaces& faces,
                                         const std::atomic<bool>* cancel, const AutoSegmentationParams& params);

// Writes ids one per line, the existing segmentation file format; false with a reason on failure.
bool writeSegmentationFile(const QString& path, const QVector<int>& faceSegment, QString* why);
