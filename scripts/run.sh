#!/usr/bin/env bash
# Installs what is missing, builds, and starts Korvane with the bundled study
# models. Pass --research to start the research configuration instead.
set -euo pipefail
cd "$(dirname "$0")/.."
app=korvane
if [ "${1:-}" = "--research" ]; then app=korvane-research; fi
bash scripts/setup.sh
bash scripts/build.sh
# The application looks for its models at ../objs, so it starts in build/.
cd build
exec "./$app"
