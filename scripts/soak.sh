#!/usr/bin/env bash
# Soak test of the study window with real mouse events.
#
#   bash scripts/soak.sh [DRAGS] [SEED]
#
# Starts build/korvane (built by scripts/build.sh) under a virtual X display
# with Mesa's software OpenGL, types SEED (0 to 19, default 1) into the seed
# field and steps through the nineteen study models with "Load From
# Sequence", giving each an equal share of DRAGS (default 10000) mouse drags.
# On every model it adds planes, switches between Default and 3-Ball, aligns
# the current plane with the X, Y and Z keys, picks planes from the list, and
# drags: mostly presses on the current plane's glyph (its edges and axes in
# Default, its three balls in 3-Ball) moved in several steps and released,
# a few turns of the camera. Where the handles are is read from the window's
# pixels: the glyph is drawn unlit in colours nothing else in the view uses
# (tools/soak/soak_probe.cpp, built here into build/soak/). SEED also seeds
# the soak's own random choices; the window's timing can still make two runs
# with the same seed part ways.
#
# After every action the window must answer a ping within 30 s. A crash, an
# exit or a hang ends the soak with the model, the seed, the drag number,
# the events that led to it and a backtrace (the window runs under gdb), and
# exit status 1. Files go to build/soak/<time>-seed<SEED>/: a screenshot of
# every model before its drags, the event log, the window's output.
set -euo pipefail

SCRIPT="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$0")/.."

DRAGS="${1:-10000}"
SEED="${2:-1}"
if ! [[ "$DRAGS" =~ ^[0-9]+$ ]] || [ "$DRAGS" -lt 1 ]; then
  echo "usage: bash scripts/soak.sh [DRAGS >= 1] [SEED 0-19]" >&2
  exit 2
fi
if ! [[ "$SEED" =~ ^[0-9]+$ ]] || [ "$SEED" -gt 19 ]; then
  echo "usage: bash scripts/soak.sh [DRAGS >= 1] [SEED 0-19] (the seed field takes 0 to 19)" >&2
  exit 2
fi

HANG_SECONDS=30    # a window that answers no ping for this long hangs
LOAD_SECONDS=300   # a model load that has not finished by then is stuck
MODEL_COUNT=19     # models in the study sequence
MAX_PLANES=4       # planes added per model at most
PROBE=build/soak/soak_probe

# ---- set-up, outside the virtual display ----

if [ -z "${SOAK_ON_DISPLAY:-}" ]; then
  if [ ! -x build/korvane ] || [ ! -d objs ]; then
    echo "soak: build/korvane or objs/ missing; run 'bash scripts/build.sh' first" >&2
    exit 2
  fi
  # Debian packages for the display, the events, the backtraces and the probe.
  PKGS=(xvfb xauth xdotool gdb g++ libx11-dev zlib1g-dev libgl1-mesa-dri)
  missing=()
  for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" = "0" ] || SUDO="sudo"
    echo "soak: installing ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
  if [ ! -x "$PROBE" ] || [ tools/soak/soak_probe.cpp -nt "$PROBE" ]; then
    mkdir -p "$(dirname "$PROBE")"
    g++ -std=c++17 -O2 -Wall -Wextra -o "$PROBE" tools/soak/soak_probe.cpp -lX11 -lz
  fi
  SOAK_ON_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1600x1200x24 -noreset" bash "$SCRIPT" "$DRAGS" "$SEED"
fi

# ---- on the virtual display ----

export LIBGL_ALWAYS_SOFTWARE=1
OUT="$PWD/build/soak/$(date +%Y%m%d-%H%M%S)-seed$SEED"
mkdir -p "$OUT"
EVENTS="$OUT/events.log"   # every action, in window coordinates of the main view
APPLOG="$OUT/korvane.log"  # the window's output, and gdb's report when it stops
STATE="$OUT/view.raw"      # the view as last seen, for the probe's comparison
RANDOM="$SEED"

STARTED=$SECONDS
APP_PID=""
GDB_PID=""
WIN=""
DRAG=0            # drags done
MODEL=0           # models loaded
MODEL_NAME="(none yet)"
MODEL_EVENTS=()   # the current model's events, for the report
MODE=default      # manipulation mode chosen in the panel
PLANES=0          # planes on the current model
AIMED=0           # drags pressed on a handle
MOVED=0           # of those, drags after which the glyph moved and the camera did not
CAMERA=0          # drags that turned the camera
LAST_AIMED=0      # whether the last drag was aimed at a handle

say() { printf 'soak: %s\n' "$*"; }

# Appends one event to the log and to the current model's list.
record() {
  printf '%s\n' "$*" >>"$EVENTS"
  MODEL_EVENTS+=("$*")
}

# Ends the window and gdb, by their process ids.
stop_window() {
  if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then kill -KILL "$APP_PID" 2>/dev/null || true; fi
  if [ -n "$GDB_PID" ]; then
    for _ in $(seq 50); do kill -0 "$GDB_PID" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$GDB_PID" 2>/dev/null && kill -KILL "$GDB_PID" 2>/dev/null || true
  fi
}
trap stop_window EXIT

# Waits up to $1 seconds for gdb to finish its report and exit.
wait_for_gdb() {
  local tenths=$(($1 * 10))
  for ((t = 0; t < tenths; t++)); do
    kill -0 "$GDB_PID" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# Reports a crash, an exit or a hang found while doing $2 and ends the soak
# with status 1. $1: 1 = no answer to a ping, 2 = window gone, 3 = a model
# load that does not end.
fail() {
  local status=$1 doing=$2 what stack="korvane stopped"
  if [ "$status" != 2 ] && ! grep -q "received signal" "$APPLOG"; then
    stack="main thread"
    if [ "$status" = 3 ]; then
      what="STUCK LOAD (not finished after ${LOAD_SECONDS} s)"
    else
      what="HANG (no answer for ${HANG_SECONDS} s)"
    fi
    "$PROBE" shot "$WIN" "$OUT/hang.png" || true
    # gdb stops the window on SIGINT and writes every thread's stack.
    kill -INT "$APP_PID" 2>/dev/null || true
    wait_for_gdb 60 || true
  else
    wait_for_gdb 60 || true
    what="$(grep -m1 -o "received signal SIG[A-Z0-9]*" "$APPLOG" | sed 's/received signal /CRASH (/; s/$/)/')" || true
    if [ -z "$what" ]; then
      what="EXIT ($(grep -m1 -o "exited [a-z ]*[0-9]*" "$APPLOG" || echo "window gone"))"
    fi
  fi
  # The view as read before the last action.
  [ -f "$STATE" ] && "$PROBE" png "$STATE" "$OUT/last-view.png" || true
  {
    echo
    say "$what while $doing"
    say "seed $SEED, model $MODEL of $MODEL_COUNT: $MODEL_NAME; drags done: $DRAG of $DRAGS (counting the last one below)"
    say "events on this model (view coordinates, origin at the main view's top left), last 25:"
    local n=${#MODEL_EVENTS[@]} i
    for ((i = (n > 25 ? n - 25 : 0); i < n; i++)); do echo "    ${MODEL_EVENTS[$i]}"; done
    say "so far $AIMED drags pressed on a handle, $MOVED of them moved the plane; $CAMERA camera turns; $((SECONDS - STARTED)) s"
    say "where the window stopped ($stack):"
    sed -n "/^--- $stack ---\$/,/^--- [a-z ]* ---\$/p" "$APPLOG" | grep '^#' | head -30 | sed 's/^/    /' || true
    say "files: $OUT (events.log, korvane.log, last-view.png: the view before the last action, screenshots)"
  } | tee -a "$EVENTS"
  exit 1
}

# The window must answer a ping within HANG_SECONDS; $1 says what was going on.
alive() {
  local status=0
  "$PROBE" ping "$WIN" "$HANG_SECONDS" || status=$?
  [ "$status" = 0 ] || fail "$status" "$1"
}

# Waits until the window has taken the events sent so far and repainted.
settle() {
  alive "$1"
  sleep 0.05
  alive "$1"
}

# Clicks (x, y) with the left button.
click() { xdotool mousemove "$1" "$2" sleep 0.02 click 1; }

# Reads the view: COUNT[kind], X[kind], Y[kind] for every glyph part and
# for "mesh" and "free" (background) pixels; STILL and GLYPH_MOVED compare
# with the view read last.
declare -A COUNT PX PY
STILL=-1
GLYPH_MOVED=0
VIEW_FRESH=0      # whether nothing but looking happened since the view was read
look() {
  local out status=0 kind n x y
  out="$("$PROBE" targets "$WIN" "$RANDOM" "$STATE")" || status=$?
  [ "$status" = 0 ] || fail 2 "reading the view"
  VIEW_FRESH=1
  while read -r kind n x y; do
    case "$kind" in
      still) STILL=$n ;;
      moved) GLYPH_MOVED=$n ;;
      *) COUNT[$kind]=$n PX[$kind]=$x PY[$kind]=$y ;;
    esac
  done <<<"$out"
}

# Counts the last drag as one that moved the plane when it was aimed at a
# handle and the view just read shows the glyph changed while the mesh and
# the grid stayed (the camera did not turn).
count_last_drag() {
  [ "$LAST_AIMED" = 1 ] || return 0
  record "  after drag $DRAG: $GLYPH_MOVED glyph pixels changed, mesh and grid $STILL unchanged"
  if [ "$GLYPH_MOVED" -gt 0 ] && awk "BEGIN { exit !($STILL >= 0.75) }"; then MOVED=$((MOVED + 1)); fi
  LAST_AIMED=0
}

# Press at (x0, y0) with button $5, move in 3 to 10 steps to about
# (x1, y1), release. $6 names the drag for the log.
drag() {
  local x0=$1 y0=$2 x1=$3 y1=$4 button=$5 name=$6
  local steps=$((3 + RANDOM % 8)) i x y path=""
  local events=(mousemove "$x0" "$y0" sleep 0.02 mousedown "$button" sleep 0.03)
  for ((i = 1; i <= steps; i++)); do
    x=$((x0 + (x1 - x0) * i / steps))
    y=$((y0 + (y1 - y0) * i / steps))
    if ((i < steps)); then
      x=$((x + RANDOM % 7 - 3))
      y=$((y + RANDOM % 7 - 3))
    fi
    # Kept inside the main view.
    x=$((x < X_MIN ? X_MIN : x > X_MAX ? X_MAX : x))
    y=$((y < Y_MIN ? Y_MIN : y > Y_MAX ? Y_MAX : y))
    events+=(mousemove "$x" "$y" sleep 0.02)
    path+=" ($((x - VIEW_X)),$((y - VIEW_Y)))"
  done
  events+=(mouseup "$button")
  DRAG=$((DRAG + 1))
  record "drag $DRAG [$MODE] $name: button $button down at ($((x0 - VIEW_X)),$((y0 - VIEW_Y))), moves$path, up"
  xdotool "${events[@]}"
  settle "drag $DRAG"
  look
  count_last_drag
}

# Chooses one visible handle of the current mode from the view read last:
# TARGET names it, (TX, TY) is a pixel of it. False when none is visible.
pick_handle() {
  local kinds=() kind
  if [ "$MODE" = default ]; then set -- edge1 edge2 axis; else set -- ball1 ball2 ball3; fi
  for kind in "$@"; do
    if [ "${COUNT[$kind]}" -gt 0 ]; then kinds+=("$kind"); fi
  done
  [ ${#kinds[@]} -gt 0 ] || return 1
  TARGET=${kinds[$((RANDOM % ${#kinds[@]}))]}
  TX=${PX[$TARGET]} TY=${PY[$TARGET]}
}

# Turns the camera: a short drag from a background pixel.
camera_drag() {
  local x0=$((VIEW_X + 3)) y0=$((VIEW_Y + 3))
  if [ "${COUNT[free]}" -gt 0 ]; then x0=${PX[free]} y0=${PY[free]}; fi
  CAMERA=$((CAMERA + 1))
  drag "$x0" "$y0" $((x0 + RANDOM % 121 - 60)) $((y0 + RANDOM % 81 - 40)) 1 "camera"
}

# One drag, mostly on a handle of the current plane, now and then a camera
# turn. When no handle is in sight: in 3-Ball the balls may be inside the
# mesh, so the view is read once more with "Tri" (the mesh) off; failing
# that the plane may have left the screen, and an axis key brings it back
# to the model's centre (no drag then); a second miss in a row turns the
# camera.
MISSED=0
random_drag() {
  [ "$VIEW_FRESH" = 1 ] || look
  if [ $((RANDOM % 100)) -lt 6 ]; then
    camera_drag
    return
  fi
  local found=0
  if pick_handle; then
    found=1
  elif [ "$MODE" = three-ball ]; then
    set_tri off
    look
    if pick_handle; then found=1; fi
    set_tri on
    look
  fi
  if [ "$found" = 0 ]; then
    if [ "$MISSED" = 0 ]; then
      MISSED=1
      align_plane
    else
      MISSED=0
      camera_drag
    fi
    return
  fi
  MISSED=0
  local x0=$TX y0=$TY x1 y1 reach button=1 name="$TARGET"
  # Now and then a press beside the handle instead of on it.
  if [ $((RANDOM % 100)) -lt 10 ]; then
    x0=$((x0 + RANDOM % 7 - 3))
    y0=$((y0 + RANDOM % 7 - 3))
    name="near $TARGET"
  fi
  if [ $((RANDOM % 100)) -lt 10 ]; then button=3; fi
  if [ "$MODE" = three-ball ] && [ "${COUNT[mesh]}" -gt 0 ] && [ $((RANDOM % 100)) -lt 80 ]; then
    # A ball goes where the surface is: onto a leg, a wing, a handle.
    x1=${PX[mesh]} y1=${PY[mesh]}
    name="$name onto the mesh"
  else
    reach=$((20 + RANDOM % 200))
    x1=$((x0 + RANDOM % (2 * reach + 1) - reach))
    y1=$((y0 + RANDOM % (2 * reach + 1) - reach))
  fi
  LAST_AIMED=1
  AIMED=$((AIMED + 1))
  drag "$x0" "$y0" "$x1" "$y1" "$button" "$name"
}

# Shows ($1 = on) or hides ($1 = off) the mesh with the panel's "Tri" box.
set_tri() {
  VIEW_FRESH=0
  record "Tri $1"
  click "$TRI_X" "$TRI_Y"
  settle "turning Tri $1"
}

# Switches the panel's manipulation mode to $1 (default or three-ball).
set_mode() {
  MODE=$1
  VIEW_FRESH=0
  record "mode $MODE"
  if [ "$MODE" = default ]; then click "$DEFAULT_X" "$DEFAULT_Y"; else click "$THREEBALL_X" "$THREEBALL_Y"; fi
  settle "switching to $MODE"
}

add_plane() {
  VIEW_FRESH=0
  PLANES=$((PLANES + 1))
  record "Add New (plane $((PLANES - 1)))"
  click "$ADD_X" "$ADD_Y"
  settle "adding a plane"
}

# Makes a random plane of the list current.
pick_plane() {
  local rows
  VIEW_FRESH=0
  mapfile -t rows < <("$PROBE" rows "$WIN" | awk '$1 == "row" { print $2 }')
  [ ${#rows[@]} -gt 0 ] || return 0
  local i=$((RANDOM % ${#rows[@]}))
  record "select list row $i"
  click "$LIST_X" "${rows[$i]}"
  settle "selecting plane $i"
}

# Aligns the current plane with a random axis key. (RANDOM is read here,
# not in a command substitution: a subshell would draw from a fresh seed.)
align_plane() {
  VIEW_FRESH=0
  local keys=(x y z)
  local key=${keys[$((RANDOM % 3))]}
  record "key $key"
  xdotool key "$key"
  settle "pressing $key"
}

# "Load From Sequence", then wait until the model field shows the new name
# (the load's last step). The window must stay responsive meanwhile.
load_next_model() {
  local before now started=$SECONDS path
  MODEL=$((MODEL + 1))
  MODEL_EVENTS=()
  before="$("$PROBE" hash "$FIELD_X" "$FIELD_Y" "$FIELD_W" "$FIELD_H")"
  record "--- Load From Sequence (model $MODEL)"
  click "$LOAD_X" "$LOAD_Y"
  # The model's planes were not exported: the window asks before it leaves
  # them, and Alt+G goes on without exporting.
  if ((PLANES > 0)); then
    sleep 0.5
    record "key alt+g (go on without exporting)"
    xdotool key alt+g
  fi
  xdotool mousemove $((VIEW_X + 2)) $((VIEW_Y + 2))
  MODEL_NAME="(loading)"
  while now="$("$PROBE" hash "$FIELD_X" "$FIELD_Y" "$FIELD_W" "$FIELD_H")"; [ "$now" = "$before" ]; do
    alive "loading model $MODEL"
    ((SECONDS - started <= LOAD_SECONDS)) || fail 3 "loading model $MODEL"
    sleep 0.2
  done
  settle "loading model $MODEL"
  # The loader logs the model's symmetry file; its label is in the sequence table.
  path="$(grep -o 'Found symmetry file [^ ,]*' "$APPLOG" | tail -1 | sed 's/^Found symmetry file //; s/\.sym$/.off/')" || true
  local label
  label="$(grep -o "\"$path\", \"[^\"]*\"" src/app/model_sequence.cpp 2>/dev/null | sed 's/.*, "//; s/"$//')" || true
  MODEL_NAME="${label:-?} (${path:-?})"
  PLANES=0
  rm -f "$STATE"
  VIEW_FRESH=0
  record "model $MODEL: $MODEL_NAME"
}

# ---- start the window ----

cat >"$OUT/gdb.cmd" <<'EOF'
set pagination off
set confirm off
set startup-with-shell off
set print thread-events off
handle SIGPIPE nostop noprint pass
run
echo \n--- korvane stopped ---\n
bt 40
echo \n--- main thread ---\n
thread 1
bt 40
echo \n--- all threads ---\n
thread apply all bt 25
EOF
(cd build && exec gdb -q -batch -x "$OUT/gdb.cmd" ./korvane) >"$APPLOG" 2>&1 &
GDB_PID=$!
for _ in $(seq 600); do
  APP_PID="$(pgrep -P "$GDB_PID" -x korvane || true)"
  [ -n "$APP_PID" ] && WIN="$("$PROBE" find "$APP_PID" Korvane 2>/dev/null)" && break
  kill -0 "$GDB_PID" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$WIN" ]; then
  say "the window did not come up; its output:"
  tail -20 "$APPLOG"
  exit 1
fi
settle "starting"
layout="$("$PROBE" layout "$WIN")" || { say "the window's layout is not the study panel's; see $OUT"; "$PROBE" shot "$WIN" "$OUT/layout.png" || true; exit 1; }
eval "$layout"
X_MIN=$((VIEW_X + 2)) X_MAX=$((VIEW_X + VIEW_W - 3))
Y_MIN=$((VIEW_Y + 2)) Y_MAX=$((VIEW_Y + VIEW_H - 3))
{
  echo "# soak of build/korvane: $DRAGS drags, seed $SEED, $(date)"
  echo "# main view at ($VIEW_X,$VIEW_Y) on the screen, ${VIEW_W}x${VIEW_H}; event coordinates are within it"
} >"$EVENTS"
say "$DRAGS drags, seed $SEED; files in $OUT"

# The seed goes into its field before the first load fixes the order.
record "seed $SEED"
xdotool mousemove "$SEED_X" "$SEED_Y" sleep 0.02 click 1 sleep 0.05 key ctrl+a type "$SEED"
settle "typing the seed"

# ---- the models ----

MODELS_TO_VISIT=$((DRAGS < MODEL_COUNT ? DRAGS : MODEL_COUNT))
for ((m = 1; m <= MODELS_TO_VISIT; m++)); do
  share=$((DRAGS / MODELS_TO_VISIT + (m <= DRAGS % MODELS_TO_VISIT ? 1 : 0)))
  load_next_model
  shot="$OUT/model-$(printf %02d "$MODEL")-$(echo "${MODEL_NAME%% (*}" | tr -c 'A-Za-z0-9\n' '_').png"
  "$PROBE" shot "$WIN" "$shot" || fail 2 "taking a screenshot"
  say "model $MODEL/$MODELS_TO_VISIT: $MODEL_NAME, $share drags (done so far: $DRAG)"
  add_plane
  set_mode default
  target=$((DRAG + share))
  while ((DRAG < target)); do
    roll=$((RANDOM % 100))
    if ((roll < 5)); then
      if [ "$MODE" = default ]; then set_mode three-ball; else set_mode default; fi
    elif ((roll < 8)); then
      align_plane
    elif ((roll < 10)) && ((PLANES < MAX_PLANES)); then
      add_plane
    elif ((roll < 12)) && ((PLANES > 1)); then
      pick_plane
    else
      random_drag
    fi
  done
done

# ---- summary ----

elapsed=$((SECONDS - STARTED))
rate="$(awk "BEGIN { printf \"%.2f\", $DRAG / ($elapsed > 0 ? $elapsed : 1) }")"
{
  say "done: $DRAG drags on $MODEL models, seed $SEED, in $elapsed s ($rate drags/s); no crash, no hang"
  say "$AIMED drags pressed on a handle, $MOVED of them moved the plane; $CAMERA camera turns"
} | tee -a "$EVENTS"
exit 0
