// korvane_isosurface: the closed isosurface of a raw 16-bit volume, as OFF.
//
//   korvane_isosurface VOLUME NX NY NZ SX SY SZ ISO STEP OUT.off
//
// VOLUME holds NX * NY * NZ signed 16-bit little-endian samples, x fastest,
// with spacing SX SY SZ between samples. STEP > 1 first averages blocks of
// STEP^3 samples. The surface bounds the samples above ISO (see
// marching_tetrahedra.h); it is written to a temporary name and renamed into
// place. Prints "faces<TAB>vertices"; exit status 1 with a message on failure.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "marching_tetrahedra.h"

namespace {

bool parse(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(out);
}

int fail(const std::string& message) {
  std::cerr << "korvane_isosurface: " << message << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 11) {
    std::cerr << "usage: korvane_isosurface VOLUME NX NY NZ SX SY SZ ISO STEP OUT.off\n";
    return 2;
  }
  double n[3], spacing[3], iso, step;
  for (int k = 0; k < 3; ++k)
    if (!parse(argv[2 + k], n[k]) || n[k] < 1 || n[k] > 4096 || !parse(argv[5 + k], spacing[k]) || spacing[k] <= 0)
      return fail("sizes must be 1 to 4096 and spacings positive");
  if (!parse(argv[8], iso) || !parse(argv[9], step) || step < 1 || step > 64) return fail("bad ISO or STEP");

  isosurface::Volume volume;
  volume.nx = int(n[0]);
  volume.ny = int(n[1]);
  volume.nz = int(n[2]);
  for (int k = 0; k < 3; ++k) volume.spacing[k] = spacing[k];
  const std::size_t count = std::size_t(volume.nx) * volume.ny * volume.nz;
  // About 10 bytes a sample while it runs, and vertex ids stay within int.
  if (count > (std::size_t(1) << 27)) return fail("more than 2^27 samples");
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) return fail(std::string("cannot open ") + argv[1]);
  in.seekg(0, std::ios::end);
  if (std::uint64_t(in.tellg()) != count * 2)
    return fail(std::string(argv[1]) + " does not hold " + std::to_string(count) + " 16-bit samples");
  in.seekg(0);
  volume.values.resize(count);
  std::vector<unsigned char> bytes(count * 2);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
    return fail(std::string("cannot read ") + argv[1]);
  for (std::size_t k = 0; k < count; ++k)
    volume.values[k] = float(std::int16_t(std::uint16_t(bytes[2 * k] | (bytes[2 * k + 1] << 8))));

  isosurface::Surface surface;
  try {
    surface = isosurface::marchingTetrahedra(isosurface::downsample(volume, int(step)), float(iso));
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  }
  if (surface.triangles.empty()) return fail("no sample lies above the iso value");

  const std::string out = argv[10], partial = out + ".partial";
  {
    std::FILE* f = std::fopen(partial.c_str(), "w");
    if (!f) return fail("cannot write " + partial);
    std::fprintf(f, "OFF\n%zu %zu 0\n", surface.vertices.size(), surface.triangles.size());
    for (const auto& p : surface.vertices) std::fprintf(f, "%.9g %.9g %.9g\n", p[0], p[1], p[2]);
    for (const auto& t : surface.triangles) std::fprintf(f, "3 %d %d %d\n", t[0], t[1], t[2]);
    if (std::fclose(f) != 0) return fail("cannot write " + partial);
  }
  if (std::rename(partial.c_str(), out.c_str()) != 0) return fail("cannot rename " + partial);
  std::cout << surface.triangles.size() << "\t" << surface.vertices.size() << "\n";
  return 0;
}
