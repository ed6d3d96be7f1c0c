#!/usr/bin/env bash
# Runs a command on a virtual X server of its own. Tests that need the
# keyboard focus cannot share a display: a window another test shows at the
# same moment takes the focus from theirs. The server picks a free display
# number itself (-displayfd), so two of these never race for one.
set -euo pipefail
dir=$(mktemp -d "${TMPDIR:-/tmp}/korvane-display.XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1600x1200x24 -noreset -nolisten tcp 3>"$dir/display" 2>"$dir/server.log" &
pid=$!
number=
read -r number <"$dir/display" || true
if [ -z "$number" ]; then
  echo "own_display.sh: the virtual X server did not start:" >&2
  cat "$dir/server.log" >&2
  exit 1
fi
status=0
DISPLAY=":$number" "$@" || status=$?
exit "$status"
