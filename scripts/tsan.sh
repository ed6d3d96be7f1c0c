#!/bin/bash
# Builds the core tests with ThreadSanitizer into build-tsan/ (separate from
# the normal build) and runs the concurrency stress: exports, plane-list
# reads and the reads a repaint makes while cover-all runs proceed, stops,
# and loads. Exits non-zero on a failed test or any ThreadSanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_C_FLAGS="-fsanitize=thread" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build-tsan -j2 --target core_tests
TSAN_OPTIONS="halt_on_error=0 exitcode=66 suppressions=$PWD/scripts/tsan.supp" \
  ./build-tsan/tests/core_tests --gtest_filter='RunConcurrency*'
