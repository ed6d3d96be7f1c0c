#!/usr/bin/env bash
# Builds one fuzz target with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into fuzz-build/, then runs it for the given
# number of seconds (default 60). Not part of the normal build or tests.
#   bash scripts/fuzz.sh [target] [seconds]
# Targets:
#   trimesh_read  the mesh library's reading and derived data (the default)
#   render_off    the render mesh's OFF reader, from a file
#   obj_model     the OBJ model reader and the render geometry taken from it
#   segmentation  the segmentation file reader
#   symmetry      the symmetry file reader
#   cut_file      a study participant's cut file
#   slab          the slab of arbitrary contours on a plane (triangulation
#                 included; crossing contours are rounded with CGAL)
#   foreign_mesh  a foreign mesh format (PLY, STL, glTF, ...) read through the
#                 reading child process: the library's own crashes and hangs
#                 end the child and must come back as its status
# Crashing inputs land in fuzz-build/artifacts/<target>/; copy them to
# tests/trimesh/fuzz_regressions/ (trimesh_read) or
# tests/model/fuzz_regressions/<target>/ so the test suite keeps reading them.
set -euo pipefail
cd "$(dirname "$0")/.."
target=trimesh_read
if [[ $# -gt 0 && ! "$1" =~ ^[0-9]+$ ]]; then
  target="$1"
  shift
fi
seconds="${1:-60}"
out=fuzz-build
CXX="${CXX:-clang++-14}"
flags=(-std=c++17 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
  -I src -I fuzz)
# The model readers need Qt Core and a few of the core library's sources.
qt_sources=(src/model/text_input.cpp src/trimesh/regular_file.cpp src/engine/cut_plane.cpp)
libs=()
case "$target" in
  trimesh_read) sources=(src/trimesh/*.cpp); regressions=tests/trimesh/fuzz_regressions; seeds=fuzz/seeds ;;
  render_off) sources=("${qt_sources[@]}" src/model/render_mesh.cpp src/model/off_reader.cpp) ;;
  obj_model) sources=("${qt_sources[@]}" src/model/render_mesh.cpp src/model/obj_reader.cpp) ;;
  segmentation | symmetry) sources=("${qt_sources[@]}" src/model/companion_files.cpp) ;;
  cut_file) sources=("${qt_sources[@]}" src/model/cut_file.cpp) ;;
  slab)
    sources=(src/engine/cut_plane.cpp src/sections/slab_triangulation.cpp src/sections/region_triangulation.cpp
      src/sections/planar_graph.cpp src/sections/snap_rounding.cpp src/sections/crossing_split.cpp src/sections/planar_triangulation.cpp
      src/sections/isolated_worker.cpp src/sections/contour_area.cpp)
    libs=(-ltriangle -lgmp -lmpfr) ;;
  foreign_mesh)
    sources=(src/model/foreign_read.cpp src/model/assimp_reader.cpp src/sections/isolated_worker.cpp
      src/trimesh/*.cpp)
    libs=(-lassimp) ;;
  *) echo "unknown fuzz target: $target" >&2; exit 2 ;;
esac
case "$target" in
  slab) regressions="${regressions:-tests/sections/fuzz_regressions}" ;;
  *) regressions="${regressions:-tests/model/fuzz_regressions/$target}" ;;
esac
seeds="${seeds:-fuzz/seeds/$target}"
if [[ "$target" != trimesh_read ]]; then
  # shellcheck disable=SC2207
  qt=($(pkg-config --cflags --libs Qt5Core))
  flags+=(-fPIC "${qt[@]}")
fi
mkdir -p "$out/corpus/$target" "$out/artifacts/$target"
"$CXX" "${flags[@]}" "${sources[@]}" "fuzz/${target}_fuzzer.cpp" "${libs[@]}" -o "$out/${target}_fuzzer"
find "$seeds" -maxdepth 1 -type f -exec cp -n {} "$out/corpus/$target/" \; 2>/dev/null || true
# Regression inputs are seeds too.
find "$regressions" -maxdepth 1 -type f -exec cp -n {} "$out/corpus/$target/" \; 2>/dev/null || true
exec "$out/${target}_fuzzer" "$out/corpus/$target" -artifact_prefix="$out/artifacts/$target/" \
  -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1
