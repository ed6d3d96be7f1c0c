#pragma once

// The automatic segmentation's input checks and its coarse proxy: which
// faces are usable, positions scaled into the unit cube, and a soup of a few
// thousand triangles made by clustering vertices on a grid. Standard
// containers inside; O(n) expected.

#include <QVector>
#include <vector>

#include "engine/vec3.h"
#include "model/render_face.h"

namespace segproxy {

// Per vertex: position moved to the centre of the used vertices' box and
// scaled so the box's longest side is 1 (three doubles), and whether it is
// finite. Per face: its three corners when usable, else -1 in corner 0.
struct Input {
  std::vector<double> position;
  std::vector<char> finite;
  std::vector<int> corner;
  int goodFaces = 0;
  double area = 0.0;  // of the good faces, in scaled units
};

// A face is usable when its first three indices are in range, its corners
// finite and distinct (vertices at one position count as one: they are
// joined, so a soup whose triangles never shared corners is connected) and
// it has an area.
Input prepareInput(const QVector<Vec3>& vertices, const RenderFaces& faces);

// Triangles handed to the segmentation.
struct Soup {
  std::vector<double> points;  // three coordinates each
  std::vector<int> triangles;  // three point indices each
  int faceCount() const { return int(triangles.size() / 3); }
};

// The usable faces as they are.
Soup wholeSoup(const Input& in);

// A proxy of about `targetFaces` faces by vertex clustering (see the .cpp).
Soup clusteredSoup(const Input& in, int targetFaces);

}  // namespace segproxy
