// Vertex-removal decimation: the flattest vertex goes first and its hole is
// closed by a fan from one ring vertex.
//
// Working data: every face ever present (original faces first, fan faces
// appended) with an alive flag, and per vertex the list of alive faces that
// use it. Neighbours are derived from those lists, so they cannot drift from
// the faces. Vertices wait in an ordered set keyed by (cost, index), which
// picks the same vertex as a scan for the smallest cost with the lower index
// winning ties, in O(log n) instead of O(n) per removal.

#include "meshedit/decimate.h"

#include <QDebug>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "engine/principal_axes.h"
#include "meshedit/nearest_point_grid.h"
#include "model/render_mesh.h"

namespace {

constexpr float kNotRemovable = std::numeric_limits<float>::max();
constexpr float kOneThird = 0.33333334f;

using Tri = std::array<int, 3>;

Vec3 centroidOf(const QVector<Vec3>& vertices, const int* corners) {
  return (vertices[corners[0]] + vertices[corners[1]] + vertices[corners[2]]) * kOneThird;
}

class Decimator {
 public:
  Decimator(const QVector<Vec3>& vertices, const RenderFaces& faces)
      : pos_(vertices),
        vertexFaces_(size_t(vertices.size())),
        mark_(size_t(vertices.size()), 0),
        removedFlag_(size_t(vertices.size()), 0),
        refusedFlag_(size_t(vertices.size()), 0) {
    tris_.reserve(size_t(faces.size()) * 2);
    for (const RenderFace& f : faces) addFace(Tri{f[0], f[1], f[2]});
  }

  // Runs the removal loop; returns the number of vertices removed. `skipped`
  // counts the vertices left in place after a refused removal, each once: a
  // refused vertex comes up again whenever a neighbour goes.
  int run(int budgetVertices, int& skipped) {
    const int n = pos_.size();
    costs_.assign(size_t(n), kNotRemovable);
    for (int v = 0; v < n; ++v) setCost(v, cost(v));

    int removed = 0;
    skipped = 0;
    std::vector<int> ring;
    while (!queue_.empty()) {
      // Stop once more than 40 % are gone: removed * 10 > 4 * n.
      if (qint64(removed) * 10 > qint64(budgetVertices) * 4) break;
      const int v = queue_.begin()->second;
      setCost(v, kNotRemovable);
      if (!removeVertex(v, ring)) {
        refusedFlag_[size_t(v)] = 1;
        continue;
      }
      ++removed;
      removedFlag_[size_t(v)] = 1;
      for (int r : ring)
        if (!removedFlag_[size_t(r)]) setCost(r, cost(r));
    }
    for (int v = 0; v < n; ++v) skipped += refusedFlag_[size_t(v)] && !removedFlag_[size_t(v)];
    return removed;
  }

  // The alive faces in their final order: survivors keep their original
  // index list, fan faces are triangles.
  void result(const RenderFaces& original, RenderFaces& faces) const {
    faces.clear();
    for (size_t f = 0; f < tris_.size(); ++f) {
      if (!alive_[f]) continue;
      if (f < size_t(original.size()))
        faces.append(original[int(f)]);
      else
        faces.append(RenderFace{tris_[f][0], tris_[f][1], tris_[f][2]});
    }
  }

 private:
  void addFace(const Tri& t) {
    const int f = int(tris_.size());
    tris_.push_back(t);
    alive_.push_back(1);
    for (int c = 0; c < 3; ++c) {
      // A degenerate face is listed once per distinct corner.
      if ((c >= 1 && t[c] == t[0]) || (c == 2 && t[2] == t[1])) continue;
      vertexFaces_[size_t(t[c])].push_back(f);
    }
  }

  void killFace(int f) {
    alive_[size_t(f)] = 0;
    for (int c = 0; c < 3; ++c) {
      std::vector<int>& list = vertexFaces_[size_t(tris_[size_t(f)][c])];
      auto it = std::find(list.begin(), list.end(), f);
      if (it != list.end()) {
        *it = list.back();
        list.pop_back();
      }
    }
  }

  void setCost(int v, float c) {
    if (!(c < kNotRemovable)) c = kNotRemovable;  // NaN too
    float& old = costs_[size_t(v)];
    if (old < kNotRemovable) queue_.erase({old, v});
    old = c;
    if (c < kNotRemovable) queue_.insert({c, v});
  }

  // Vertices sharing an alive face with v, v itself excluded.
  void neighbours(int v, std::vector<int>& out) {
    out.clear();
    const int stamp = nextStamp();
    for (int f : vertexFaces_[size_t(v)]) {
      for (int c : tris_[size_t(f)]) {
        if (c == v || mark_[size_t(c)] == stamp) continue;
        mark_[size_t(c)] = stamp;
        out.push_back(c);
      }
    }
  }

  float cost(int v) {
    neighbours(v, scratch_);
    if (scratch_.size() <= 2) return kNotRemovable;
    return ringCost(pos_, scratch_.data(), int(scratch_.size()));
  }

  int nextStamp() {
    if (++stamp_ == std::numeric_limits<int>::max()) {
      std::fill(mark_.begin(), mark_.end(), 0);
      stamp_ = 1;
    }
    return stamp_;
  }

  // Removes v and fills its hole; false (nothing changed) when its faces do
  // not form one closed, consistently oriented ring or no fan fits.
  bool removeVertex(int v, std::vector<int>& ring) {
    ring.clear();
    const std::vector<int> incident = vertexFaces_[size_t(v)];
    const int k = int(incident.size());
    if (k < 3) return false;

    // Each face (v, x, y), rotated to start at v, gives the ring edge x -> y.
    std::vector<std::pair<int, int>> edges;
    edges.reserve(size_t(k));
    Vec3 normalSum;
    for (int f : incident) {
      const Tri& t = tris_[size_t(f)];
      int at = -1, count = 0;
      for (int c = 0; c < 3; ++c)
        if (t[c] == v) {
          at = c;
          ++count;
        }
      const int x = t[size_t((at + 1) % 3)], y = t[size_t((at + 2) % 3)];
      if (count != 1 || x == y) return false;
      edges.push_back({x, y});
      const Vec3 p0 = pos_[t[0]], p1 = pos_[t[1]], p2 = pos_[t[2]];
      normalSum += (p1 - p0).cross(p2 - p0).normalized();
    }
    std::sort(edges.begin(), edges.end());
    for (int i = 1; i < k; ++i)
      if (edges[size_t(i)].first == edges[size_t(i - 1)].first) return false;  // two faces leave x the same way

    // Follow the ring once around: it must visit every edge and come back.
    const int stamp = nextStamp();
    int cur = edges.front().first;
    for (int i = 0; i < k; ++i) {
      if (mark_[size_t(cur)] == stamp) return false;
      mark_[size_t(cur)] = stamp;
      ring.push_back(cur);
      auto it = std::lower_bound(edges.begin(), edges.end(), std::make_pair(cur, std::numeric_limits<int>::min()));
      if (it == edges.end() || it->first != cur) return false;  // open ring: a boundary vertex
      cur = it->second;
    }
    if (cur != ring.front()) return false;

    // A triangle hole is filled by one face; it must not already exist.
    if (k == 3) {
      Tri want{ring[0], ring[1], ring[2]};
      std::sort(want.begin(), want.end());
      for (int f : vertexFaces_[size_t(ring[0])]) {
        Tri have = tris_[size_t(f)];
        std::sort(have.begin(), have.end());
        if (have == want) {
          ring.clear();
          return false;
        }
      }
    }

    // Choose the fan's start: its diagonals must be new edges, and a fan
    // whose faces all face the way the removed ones did is preferred.
    int chosen = -1;
    bool chosenFolds = true;
    for (int t = 0; t < k && !(chosen >= 0 && !chosenFolds); ++t) {
      const int s = ring[size_t(t)];
      if (k > 3) {
        const int adjacent = nextStamp();
        for (int f : vertexFaces_[size_t(s)]) {
          const Tri& tri = tris_[size_t(f)];
          if (tri[0] == v || tri[1] == v || tri[2] == v) continue;
          for (int c : tri) mark_[size_t(c)] = adjacent;
        }
        bool clash = false;
        for (int i = 2; i <= k - 2 && !clash; ++i) clash = mark_[size_t(ring[size_t((t + i) % k)])] == adjacent;
        if (clash) continue;
      }
      bool folds = false;
      for (int i = 1; i <= k - 2 && !folds; ++i) {
        const Vec3 ps = pos_[s], pa = pos_[ring[size_t((t + i) % k)]], pb = pos_[ring[size_t((t + i + 1) % k)]];
        folds = !((pa - ps).cross(pb - ps).dot(normalSum) > 0.0f);
      }
      if (chosen < 0 || (chosenFolds && !folds)) {
        chosen = t;
        chosenFolds = folds;
      }
    }
    if (chosen < 0) {
      ring.clear();
      return false;
    }

    for (int f : incident) killFace(f);
    const int s = ring[size_t(chosen)];
    for (int i = 1; i <= k - 2; ++i)
      addFace(Tri{s, ring[size_t((chosen + i) % k)], ring[size_t((chosen + i + 1) % k)]});
    return true;
  }

  const QVector<Vec3>& pos_;
  std::vector<Tri> tris_;
  std::vector<char> alive_;
  std::vector<std::vector<int>> vertexFaces_;
  std::vector<float> costs_;
  std::set<std::pair<float, int>> queue_;
  std::vector<int> mark_;
  int stamp_ = 0;
  std::vector<char> removedFlag_;
  std::vector<char> refusedFlag_;
  std::vector<int> scratch_;
};

}  // namespace

float ringCost(const QVector<Vec3>& vertices, const int* neighbours, int count) {
  if (count <= 0) return kNotRemovable;
  QVector<Vec3> points;
  points.reserve(count);
  for (int i = 0; i < count; ++i) {
    const int q = neighbours[i];
    if (q < 0 || q >= vertices.size()) return kNotRemovable;
    points.append(vertices[q]);
  }
  PrincipalAxes axes;
  if (!principalAxes(points, axes)) return kNotRemovable;
  const Vec3 n = axes.unitAxes[2];
  const float d = n.dot(axes.centroid);
  float sum = 0.0f;
  for (const Vec3& q : points) sum += std::fabs(n.dot(q) - d);
  return std::isfinite(sum) ? sum : kNotRemovable;
}

float vertexCost(const RenderMesh& mesh, int v) {
  if (v < 0 || v >= mesh.neighbours().size()) return kNotRemovable;
  std::vector<int> ring;
  for (int q : mesh.neighbours()[v])
    if (q != v) ring.push_back(q);
  return ringCost(mesh.vertices(), ring.data(), int(ring.size()));
}

bool decimateMesh(RenderMesh& mesh, QVector<int>& faceSegment, DecimationReport* report) {
  const QVector<Vec3>& vertices = mesh.vertices();
  const RenderFaces& faces = mesh.faces();
  const int n = vertices.size();
  for (int i = 0; i < faces.size(); ++i) {
    const RenderFace& f = faces[i];
    if (f.size() < 3 || f[0] < 0 || f[0] >= n || f[1] < 0 || f[1] >= n || f[2] < 0 || f[2] >= n) {
      qDebug("Decimation refused: face %i does not name three vertices of the mesh", i);
      return false;
    }
  }

  qDebug("Vertices before decimation: %i", n);
  const RenderFaces originalFaces = faces;
  QVector<Vec3> initialCentroids;
  initialCentroids.reserve(originalFaces.size());
  for (const RenderFace& f : originalFaces) initialCentroids.append(centroidOf(vertices, f.constData()));

  Decimator decimator(vertices, originalFaces);
  int skipped = 0;
  const int removed = decimator.run(n, skipped);
  RenderFaces newFaces;
  decimator.result(originalFaces, newFaces);

  if (!faceSegment.isEmpty()) {
    if (faceSegment.size() != originalFaces.size()) {
      qDebug("Segmentation has %i ids for %i faces; missing ids read as 0", int(faceSegment.size()),
             int(originalFaces.size()));
      faceSegment.resize(originalFaces.size());  // new entries are 0
    }
    const NearestPointGrid grid(initialCentroids);
    QVector<int> newSegment;
    newSegment.reserve(newFaces.size());
    for (const RenderFace& f : newFaces) {
      const int k = grid.nearest(centroidOf(vertices, f.constData()));
      newSegment.append(k >= 0 ? faceSegment[k] : 0);
    }
    faceSegment = newSegment;
  }

  mesh.mutableFaces() = newFaces;
  mesh.updateDerivedData();
  mesh.flipFaceNormals();

  qDebug("Vertices after decimation: %i", n - removed);
  if (skipped > 0) qDebug("Decimation left %i vertices in place whose ring could not be refilled", skipped);
  if (report) {
    report->verticesBefore = n;
    report->removed = removed;
    report->skipped = skipped;
    report->facesBefore = originalFaces.size();
    report->facesAfter = newFaces.size();
  }
  return true;
}
