#!/usr/bin/env bash
# Builds everything into build/ (run scripts/setup.sh first on a new machine).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
