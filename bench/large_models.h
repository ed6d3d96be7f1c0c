#pragma once

// Finer versions of a bundled model for the responsiveness benches: midpoint
// subdivision (every triangle into four), written once per process into a
// temporary folder. Nothing here is stored in the source tree.

#include <QTemporaryDir>

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

namespace largemodels {

struct P3 {
  double x, y, z;
};

// Reads a plain OFF file (header, counts, vertices, faces with a count).
inline bool readOff(const char* path, std::vector<P3>& v, std::vector<std::vector<int>>& f) {
  FILE* in = std::fopen(path, "r");
  if (!in) return false;
  char head[16] = {};
  int nv = 0, nf = 0, ne = 0;
  bool ok = std::fscanf(in, "%15s %d %d %d", head, &nv, &nf, &ne) == 4;
  for (int i = 0; ok && i < nv; ++i) {
    P3 p;
    ok = std::fscanf(in, "%lf %lf %lf", &p.x, &p.y, &p.z) == 3;
    v.push_back(p);
  }
  for (int i = 0; ok && i < nf; ++i) {
    int n = 0;
    ok = std::fscanf(in, "%d", &n) == 1 && n == 3;
    std::vector<int> face(3);
    for (int c = 0; ok && c < 3; ++c) ok = std::fscanf(in, "%d", &face[c]) == 1;
    f.push_back(face);
  }
  std::fclose(in);
  return ok;
}

// One round of midpoint subdivision.
inline void subdivide(std::vector<P3>& v, std::vector<std::vector<int>>& f) {
  std::map<std::pair<int, int>, int> mid;
  auto midpoint = [&](int a, int b) {
    const std::pair<int, int> key(std::min(a, b), std::max(a, b));
    auto it = mid.find(key);
    if (it != mid.end()) return it->second;
    v.push_back({(v[a].x + v[b].x) / 2, (v[a].y + v[b].y) / 2, (v[a].z + v[b].z) / 2});
    mid[key] = int(v.size()) - 1;
    return int(v.size()) - 1;
  };
  std::vector<std::vector<int>> out;
  out.reserve(f.size() * 4);
  for (const std::vector<int>& t : f) {
    const int a = t[0], b = t[1], c = t[2];
    const int ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
    out.push_back({a, ab, ca});
    out.push_back({ab, b, bc});
    out.push_back({ca, bc, c});
    out.push_back({ab, bc, ca});
  }
  f.swap(out);
}

// Path of `model` (a bundled model name such as "66") subdivided `rounds`
// times; empty when the bundled model is missing.
inline QByteArray subdividedModel(const char* model, int rounds) {
  static QTemporaryDir dir;
  static std::map<std::pair<std::string, int>, QByteArray> made;
  const auto key = std::make_pair(std::string(model), rounds);
  auto it = made.find(key);
  if (it != made.end()) return it->second;
  const QByteArray src = QByteArray(KORVANE_SOURCE_DIR) + "/objs/" + model + ".off";
  std::vector<P3> v;
  std::vector<std::vector<int>> f;
  if (!readOff(src.constData(), v, f)) return QByteArray();
  for (int r = 0; r < rounds; ++r) subdivide(v, f);
  const QByteArray out = dir.filePath(QString("%1_x%2.off").arg(model).arg(rounds)).toLocal8Bit();
  FILE* o = std::fopen(out.constData(), "w");
  std::fprintf(o, "OFF\n%d %d 0\n", int(v.size()), int(f.size()));
  for (const P3& p : v) std::fprintf(o, "%.9g %.9g %.9g\n", p.x, p.y, p.z);
  for (const std::vector<int>& t : f) std::fprintf(o, "3 %d %d %d\n", t[0], t[1], t[2]);
  std::fclose(o);
  made[key] = out;
  return out;
}

}  // namespace largemodels
