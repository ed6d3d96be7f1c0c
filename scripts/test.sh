#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. GUI tests run under a
# virtual X server with Mesa's software OpenGL.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --test
bash scripts/build.sh
cd build
export LIBGL_ALWAYS_SOFTWARE=1
# The virtual X server runs with -noreset: without it the server resets each
# time its last client leaves, and a client connecting meanwhile is refused.
xvfb-run -a -s "-screen 0 1600x1200x24 -noreset" ctest --output-on-failure -j"$(nproc)" --timeout 900
