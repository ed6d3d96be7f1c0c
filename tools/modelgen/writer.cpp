#include "writer.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>

namespace modelgen {

namespace {

// Prints a number with six decimals; -0 is written as 0 so that files do
// not change with the sign of a rounding error.
void putNumber(std::FILE* f, double v) {
  if (std::fabs(v) < 5e-7) v = 0.0;
  std::fprintf(f, "%.6f", v);
}

// Writes `path` through a temporary file in the same folder.
bool writeAtomically(const std::string& path, const std::function<void(std::FILE*)>& body) {
  const std::string tmp = path + ".tmp" + std::to_string(long(getpid()));
  std::FILE* f = std::fopen(tmp.c_str(), "w");
  if (!f) {
    std::fprintf(stderr, "Cannot write %s\n", tmp.c_str());
    return false;
  }
  body(f);
  const bool ok = !std::ferror(f);
  if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "Cannot write %s\n", path.c_str());
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool writeModel(const Model& model, const std::string& dir) {
  const std::string base = dir + "/" + model.name;

  const bool off = writeAtomically(base + ".off", [&](std::FILE* f) {
    std::fprintf(f, "OFF\n%zu %zu 0\n", model.vertices.size(), model.faces.size());
    for (const V3& p : model.vertices) {
      putNumber(f, p.x);
      std::fputc(' ', f);
      putNumber(f, p.y);
      std::fputc(' ', f);
      putNumber(f, p.z);
      std::fputc('\n', f);
    }
    for (const Tri& t : model.faces) std::fprintf(f, "3 %d %d %d\n", t.a, t.b, t.c);
  });

  const bool seg = writeAtomically(base + "_0.seg", [&](std::FILE* f) {
    for (int s : model.faceSegment) std::fprintf(f, "%d\n", s);
  });

  const bool sym = writeAtomically(base + ".sym", [&](std::FILE* f) {
    for (const SymmetryPlane& p : model.planes) {
      std::fputs("P", f);
      for (double v : {p.normal.x, p.normal.y, p.normal.z, p.d}) {
        std::fputc(' ', f);
        putNumber(f, v);
      }
      std::fputc('\n', f);
    }
    for (const SymmetryAxis& a : model.axes) {
      std::fputs("A", f);
      for (double v : {a.direction.x, a.direction.y, a.direction.z, a.point.x, a.point.y, a.point.z}) {
        std::fputc(' ', f);
        putNumber(f, v);
      }
      std::fputc('\n', f);
    }
  });

  return off && seg && sym;
}

}  // namespace modelgen
