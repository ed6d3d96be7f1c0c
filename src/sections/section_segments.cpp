#include "sections/section_segments.h"

#include <algorithm>
#include <cfloat>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "model/render_mesh.h"
#include "sections/face_tree.h"

namespace {

inline bool crosses(float t) { return t >= 0.0f && t <= 1.0f; }

}  // namespace

bool intersectTriangleEdges(const CutPlane& plane, const Vec3& q0, const Vec3& q1, const Vec3& q2, Vec3& a, Vec3& b,
                            int& edgeA, int& edgeB) {
  const Vec3& n = plane.normal;
  const Vec3& P = plane.point;
  const Vec3 e0 = q1 - q0;
  const Vec3 e1 = q2 - q1;
  const Vec3 e2 = q0 - q2;
  // A parallel edge divides by zero and gives an infinite or NaN parameter,
  // which fails the range test.
  const float t0 = -n.dot(q0 - P) / n.dot(e0);
  const float t1 = -n.dot(q1 - P) / n.dot(e1);
  const float t2 = -n.dot(q2 - P) / n.dot(e2);
  const bool c0 = crosses(t0), c1 = crosses(t1), c2 = crosses(t2);

  if (c0) {
    if (c1) {
      a = q0 + e0 * t0;
      b = q1 + e1 * t1;
      edgeA = 0;
      edgeB = 1;
      // Plane through q1: both crossings above are q1 itself. The third edge
      // holds the other end of the true crossing.
      if (c2 && !((a - b).length() > minSegmentLength)) {
        b = q2 + e2 * t2;
        edgeB = 2;
      }
      return true;
    }
    if (c2) {
      a = q0 + e0 * t0;
      b = q2 + e2 * t2;
      edgeA = 0;
      edgeB = 2;
      return true;
    }
  }
  if (c1 && c2) {
    a = q1 + e1 * t1;
    b = q2 + e2 * t2;
    edgeA = 1;
    edgeB = 2;
    return true;
  }
  return false;
}

bool intersectTriangle(const CutPlane& plane, const Vec3& q0, const Vec3& q1, const Vec3& q2, Vec3& a, Vec3& b) {
  int edgeA = 0, edgeB = 0;
  return intersectTriangleEdges(plane, q0, q1, q2, a, b, edgeA, edgeB);
}

namespace {

// Appends the crossing of face i, if any, exactly as the plain scan over all
// faces does.
// With `margin` > 0, a face whose corners all lie farther than it on one side
// (by the distances the crossing test divides) is passed over.
inline void cutFace(SectionPlane& plane, int i, const RenderFaces& faces, const Vec3* v, int vertexCount,
                    const QVector<Vec3>& faceNormals, const QVector<int>& faceSegment, bool restrict, float margin) {
  if (restrict && (i >= faceSegment.size() || faceSegment[i] != plane.segmentIndex)) return;
  const RenderFace& f = faces[i];
  if (f.size() < 3) return;
  const int* idx = f.constData();
  if (idx[0] < 0 || idx[0] >= vertexCount || idx[1] < 0 || idx[1] >= vertexCount || idx[2] < 0 || idx[2] >= vertexCount)
    return;
  if (margin > 0.0f) {
    const float s0 = plane.normal.dot(v[idx[0]] - plane.point), s1 = plane.normal.dot(v[idx[1]] - plane.point),
                s2 = plane.normal.dot(v[idx[2]] - plane.point);
    if ((s0 > margin && s1 > margin && s2 > margin) || (s0 < -margin && s1 < -margin && s2 < -margin)) return;
  }
  Vec3 a, b;
  if (!intersectTriangle(plane, v[idx[0]], v[idx[1]], v[idx[2]], a, b)) return;
  if (!((a - b).length() > minSegmentLength)) return;
  // NaN or infinite coordinates (in the mesh or the plane) never enter the section.
  if (!a.isFinite() || !b.isFinite()) return;
  SectionSegment s;
  s.start = a;
  s.end = b;
  s.normal = i < faceNormals.size() ? faceNormals[i] : Vec3(0.0f, 0.0f, 0.0f);
  s.face = i;
  plane.segments.append(s);
}

}  // namespace

void computeSegments(SectionPlane& plane, const RenderMesh& mesh, const QVector<int>& faceSegment,
                     bool useSegmentation) {
  plane.segments.clear();
  const QVector<Vec3>& vertices = mesh.vertices();
  const RenderFaces& faces = mesh.faces();
  const QVector<Vec3>& faceNormals = mesh.faceNormals();
  const Vec3* v = vertices.constData();
  const int vertexCount = vertices.size();
  const int faceCount = faces.size();
  const bool restrict = useSegmentation && !faceSegment.isEmpty() && plane.segmentIndex != kEverySegment;

  // Only the faces near the plane are tested; they are visited in face order,
  // so the segments are those of a scan over every face.
  std::vector<int> candidates;
  const std::shared_ptr<const FaceTree> tree = faceTreeFor(mesh);
  if (tree->candidateFaces(plane.normal, plane.point, candidates)) {
    // The margin in single precision, rounded up; a margin that is not a
    // normal positive float turns the test off.
    float margin = float(tree->margin(plane.normal, plane.point)) * 1.001f;
    if (!(margin >= FLT_MIN && margin < 1e30f)) margin = 0.0f;
    for (int i : candidates) cutFace(plane, i, faces, v, vertexCount, faceNormals, faceSegment, restrict, margin);
  } else {
    for (int i = 0; i < faceCount; ++i)
      cutFace(plane, i, faces, v, vertexCount, faceNormals, faceSegment, restrict, 0.0f);
  }
  removeDuplicateSegments(plane.segments);
}

namespace {

// A segment as an unordered pair of points in a canonical form: -0 becomes +0
// (they compare equal) and the smaller point comes first, so two segments are
// equal either way round exactly when their keys are bitwise equal.
struct SegmentKey {
  std::array<uint32_t, 6> bits;
  bool operator==(const SegmentKey& o) const { return bits == o.bits; }
};

struct SegmentKeyHash {
  size_t operator()(const SegmentKey& k) const {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint32_t w : k.bits) {
      h ^= w;
      h *= 0xBF58476D1CE4E5B9ull;
      h ^= h >> 29;
    }
    return size_t(h);
  }
};

inline bool lessPoint(const Vec3& p, const Vec3& q) {
  if (p.x != q.x) return p.x < q.x;
  if (p.y != q.y) return p.y < q.y;
  return p.z < q.z;
}

inline uint32_t floatBits(float f) {
  f += 0.0f;  // -0 -> +0
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

inline bool hasNaN(const Vec3& p) { return p.x != p.x || p.y != p.y || p.z != p.z; }

}  // namespace

void removeDuplicateSegments(QList<SectionSegment>& segments) {
  const int n = segments.size();
  if (n < 2) return;
  // Open-addressing set of the keys seen so far.
  size_t size = 16;
  while (size < size_t(n) * 2) size *= 2;
  const size_t mask = size - 1;
  std::vector<int> table(size, -1);
  std::vector<SegmentKey> keys;
  keys.reserve(size_t(n));
  std::vector<char> keep(size_t(n), 1);
  int dropped = 0;
  SegmentKeyHash hasher;
  for (int i = 0; i < n; ++i) {
    const SectionSegment& s = segments.at(i);
    // A NaN coordinate never compares equal, so such a segment is never a
    // duplicate of anything.
    if (hasNaN(s.start) || hasNaN(s.end)) continue;
    const bool swap = lessPoint(s.end, s.start);
    const Vec3& p = swap ? s.end : s.start;
    const Vec3& q = swap ? s.start : s.end;
    const SegmentKey key{
        {floatBits(p.x), floatBits(p.y), floatBits(p.z), floatBits(q.x), floatBits(q.y), floatBits(q.z)}};
    size_t slot = hasher(key) & mask;
    bool seen = false;
    while (table[slot] >= 0) {
      if (keys[size_t(table[slot])] == key) {
        seen = true;
        break;
      }
      slot = (slot + 1) & mask;
    }
    if (seen) {
      keep[size_t(i)] = 0;
      ++dropped;
    } else {
      table[slot] = int(keys.size());
      keys.push_back(key);
    }
  }
  if (dropped == 0) return;
  QList<SectionSegment> kept;
  kept.reserve(n - dropped);
  for (int i = 0; i < n; ++i)
    if (keep[size_t(i)]) kept.append(segments.at(i));
  segments = kept;
}
