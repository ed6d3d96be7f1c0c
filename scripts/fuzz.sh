#!/usr/bin/env bash
# Builds the mesh reader fuzz target with clang's libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer into fuzz-build/, then runs it for the given
# number of seconds (default 60). Not part of the normal build or tests.
#   bash scripts/fuzz.sh [seconds]
# Crashing inputs land in fuzz-build/artifacts/; copy them to
# tests/trimesh/fuzz_regressions/ so the test suite keeps reading them.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
out=fuzz-build
mkdir -p "$out/corpus" "$out/artifacts"
CXX="${CXX:-clang++-14}"
"$CXX" -std=c++17 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I src src/trimesh/*.cpp fuzz/trimesh_read_fuzzer.cpp -o "$out/trimesh_read_fuzzer"
cp -n fuzz/seeds/* "$out/corpus/" 2>/dev/null || true
# Regression inputs are seeds too.
cp -n tests/trimesh/fuzz_regressions/* "$out/corpus/" 2>/dev/null || true
exec "$out/trimesh_read_fuzzer" "$out/corpus" -artifact_prefix="$out/artifacts/" \
  -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1
