#!/usr/bin/env bash
# Runs the README's cluster example on a one-node Slurm started here.
#
#   bash scripts/slurm_test.sh [--keep] [--build-dir DIR]
#
# Installs what is missing (Debian's slurm-wlm and munge, through
# scripts/setup.sh --slurm) and builds build/korvane-batch and the bundled
# models; with --build-dir (as the test suite runs it) it installs and builds
# nothing and takes korvane-batch from DIR as it is. It starts in a temporary
# folder its own MUNGE daemon (a fresh key) and a Slurm controller and node on
# this machine, both on localhost, under the machine's host name, on ports
# nobody listens on. Everything it started is stopped when it ends, however
# it ends.
#
# The job script is the README's example itself, taken from README.md. It is
# submitted from a folder laid out as the example expects: build/ (a link to
# the build) and models/, which holds four bundled models with their
# companion files (_0.seg, .sym), an OBJ with its material file, and an OFF
# file cut short. One array task per model:
#   1. every task but the cut-short model's ends with status 0, that one with
#      status 1; every other model has a summary.json whose input, vertex,
#      face and segment counts match its files, whose planes and outputs are
#      sound, with no warnings but those on missing companion files, and whose planes are those of the same tool
#      run without Slurm; no companion file became a model of its own;
#   2. the cut-short model is made whole, one finished model loses its
#      summary, and the array is run again: every task ends with status 0,
#      those two models are done (the whole one's counts checked as above),
#      and every file of the other models is left as it was (skipped).
# Exit status 0 when all of it holds; otherwise 1 with what failed, and the
# tails of the daemons' logs. With --keep the temporary folder (logs,
# configuration, job outputs, results) is left for a look.
set -euo pipefail

usage() {
  echo "usage: bash scripts/slurm_test.sh [--keep] [--build-dir DIR]" >&2
  exit 2
}
KEEP=0
BUILD=""
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) KEEP=1 ;;
    --build-dir)
      [ $# -ge 2 ] || usage
      BUILD="$(cd "$2" && pwd)" || usage
      shift
      ;;
    *) usage ;;
  esac
  shift
done

cd "$(dirname "$0")/.."
ROOT="$(pwd)"
# Nothing from a Slurm this may itself run under (a job's variables, a
# user's default options) reaches the commands below.
for v in $(compgen -e | grep -E '^(SLURM|SBATCH|SQUEUE|SINFO|SCANCEL|SCONTROL|SALLOC|SRUN)_' || true); do unset "$v"; done

START_SECONDS=30   # a daemon that is not up after this long failed to start
ARRAY_SECONDS=300  # an array still running after this long is stuck
STOP_SECONDS=20    # a daemon or job still there this long after its stop is killed

fail() {
  echo "slurm_test: FAILED: $*" >&2
  exit 1
}
say() { echo "slurm_test: $*"; }

# ---- packages and build ----

if [ -z "$BUILD" ]; then
  bash scripts/setup.sh --slurm
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$(nproc)" --target korvane-batch korvane_models >/dev/null
  BUILD="$ROOT/build"
fi
[ -x "$BUILD/korvane-batch" ] || fail "$BUILD/korvane-batch is missing (build it first)"
for tool in munged munge unmunge slurmctld slurmd sbatch squeue scancel sinfo scontrol python3; do
  command -v "$tool" >/dev/null || fail "$tool is missing (bash scripts/setup.sh --slurm installs it)"
done

# ---- the temporary cluster's folder, and its stop ----

T="$(mktemp -d /tmp/korvane-slurm.XXXXXX)"
# MUNGE wants every folder on the way to its socket open to all.
chmod 755 "$T"
mkdir -p "$T/munge-key" "$T/munge-socket" "$T/state" "$T/spool" "$T/log" "$T/run" "$T/work/models"
chmod 700 "$T/munge-key"
chmod 755 "$T/munge-socket"

MUNGED_PID=""
SLURMCTLD_PID=""
SLURMD_PID=""
NODE=""
JOB_IDS=()
SUCCEEDED=0

# Stops one daemon this script started (a child of this shell, so its PID is
# not reused before it is waited for): TERM, then KILL if it stays.
stop_daemon() {
  local name="$1" pid="$2" waited=0
  [ -n "$pid" ] || return 0
  kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null || true; return 0; }
  kill -TERM "$pid" 2>/dev/null || true
  while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt $((STOP_SECONDS * 10)) ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "slurm_test: $name (pid $pid) did not stop; killing it" >&2
    kill -KILL "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
}

# The processes of this cluster's jobs, by PID: the job steps' slurmstepd
# (Slurm detaches them from slurmd; each keeps the node's log open) and what
# they run (started in the job's folder).
job_processes() {
  local d pid
  for d in /proc/[0-9]*; do
    pid="${d#/proc/}"
    [ "$pid" != "$SLURMD_PID" ] || continue
    if [ "$(readlink "$d/cwd" 2>/dev/null)" = "$T/work" ] ||
      find "$d/fd" -maxdepth 1 -lname "$T/log/slurmd.log" 2>/dev/null | grep -q .; then
      echo "$pid"
    fi
  done
}

# True when the node runs nothing and takes jobs.
node_idle() { [ "$(sinfo -h -n "$NODE" -o %T 2>/dev/null)" = idle ]; }

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  set +e
  # The jobs first, while the controller and the node can still end them;
  # any of their processes still there after that are stopped by PID.
  local waited=0 left
  if [ ${#JOB_IDS[@]} -gt 0 ]; then
    if kill -0 "$SLURMCTLD_PID" 2>/dev/null && kill -0 "$SLURMD_PID" 2>/dev/null; then
      scancel "${JOB_IDS[@]}" 2>/dev/null
      # Until the controller has none of them and the node is idle again (a
      # task may have been launched just as they were cancelled).
      while { [ -n "$(squeue -h -j "$(IFS=,; echo "${JOB_IDS[*]}")" 2>/dev/null)" ] || ! node_idle; } &&
        [ "$waited" -lt $((STOP_SECONDS * 10)) ]; do
        sleep 0.1
        waited=$((waited + 1))
      done
    fi
    waited=0
    while left="$(job_processes)" && [ -n "$left" ] && [ "$waited" -lt $((STOP_SECONDS * 10)) ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    if [ -n "$left" ]; then
      echo "slurm_test: job processes $(echo $left) did not end; stopping them" >&2
      kill -TERM $left 2>/dev/null
      sleep 2
      left="$(job_processes)"
      [ -z "$left" ] || kill -KILL $left 2>/dev/null
    fi
  fi
  stop_daemon slurmd "$SLURMD_PID"
  stop_daemon slurmctld "$SLURMCTLD_PID"
  stop_daemon munged "$MUNGED_PID"
  if [ "$SUCCEEDED" != 1 ]; then
    for f in "$T"/log/*.log "$T"/work/slurm-*.out; do
      [ -s "$f" ] || continue
      echo "---- ${f#"$T"/} (last lines) ----" >&2
      tail -n 15 "$f" >&2
    done
  fi
  if [ "$KEEP" = 1 ]; then
    echo "slurm_test: kept $T" >&2
  else
    rm -rf "$T"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Waits up to SECONDS for COMMAND to succeed; false if it never did.
wait_for() {
  local seconds="$1" waited=0
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$waited" -lt $((seconds * 10)) ] || return 1
    sleep 0.1
    waited=$((waited + 1))
  done
}

# True when something listens on 127.0.0.1:PORT.
port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Two free ports, one after the other, for the controller and the node.
CTLD_PORT=""
for p in $(seq 16817 2 16917); do
  if ! port_taken "$p" && ! port_taken $((p + 1)); then
    CTLD_PORT="$p"
    break
  fi
done
[ -n "$CTLD_PORT" ] || fail "no two free ports between 16817 and 16918"
SLURMD_PORT=$((CTLD_PORT + 1))

# ---- MUNGE ----

dd if=/dev/urandom of="$T/munge-key/munge.key" bs=1024 count=1 status=none
chmod 400 "$T/munge-key/munge.key"
MUNGE_SOCKET="$T/munge-socket/munge.socket"
munged --foreground --socket="$MUNGE_SOCKET" --key-file="$T/munge-key/munge.key" \
  --pid-file="$T/run/munged.pid" --seed-file="$T/munge-key/munged.seed" >"$T/log/munged.log" 2>&1 &
MUNGED_PID=$!
munge_round_trip() { munge -S "$MUNGE_SOCKET" -n | unmunge -S "$MUNGE_SOCKET"; }
wait_for "$START_SECONDS" munge_round_trip || fail "munged did not start (no credential round trip)"
say "munged up (pid $MUNGED_PID)"

# ---- Slurm: controller and node on this machine ----

# The controller and the node go by this machine's host name, short form (as
# Slurm compares it); both are reached at 127.0.0.1.
HOST="$(hostname)"
NODE="${HOST%%.*}"
[ -n "$NODE" ] || fail "this machine has no host name"
# The node's processors as slurmd itself counts them.
HARDWARE="$(slurmd -C | head -n 1 | tr ' ' '\n' |
  grep -E '^(CPUs|Boards|SocketsPerBoard|CoresPerSocket|ThreadsPerCore)=' | tr '\n' ' ')"
echo "$HARDWARE" | grep -q 'CPUs=' || fail "slurmd -C did not say how many processors this machine has"
: >"$T/plugstack.conf"
export SLURM_CONF="$T/slurm.conf"
cat >"$SLURM_CONF" <<EOF
ClusterName=korvanetest
SlurmctldHost=$NODE(127.0.0.1)
SlurmctldPort=$CTLD_PORT
SlurmdPort=$SLURMD_PORT
SlurmUser=$(id -un)
SlurmdUser=$(id -un)
AuthType=auth/munge
AuthInfo=socket=$MUNGE_SOCKET
StateSaveLocation=$T/state
SlurmdSpoolDir=$T/spool
SlurmctldPidFile=$T/run/slurmctld.pid
SlurmdPidFile=$T/run/slurmd.pid
SlurmctldLogFile=$T/log/slurmctld.log
SlurmdLogFile=$T/log/slurmd.log
PlugStackConfig=$T/plugstack.conf
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
SchedulerParameters=sched_interval=1
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/filetxt
JobCompLoc=$T/log/jobcomp.txt
ReturnToService=2
MailProg=/bin/true
MinJobAge=3600
NodeName=$NODE NodeAddr=127.0.0.1 $HARDWARE State=UNKNOWN
PartitionName=korvane Nodes=$NODE Default=YES MaxTime=INFINITE State=UP
EOF

slurmctld -D -f "$SLURM_CONF" >"$T/log/slurmctld.out" 2>&1 &
SLURMCTLD_PID=$!
controller_up() { scontrol ping | grep -q 'is UP'; }
wait_for "$START_SECONDS" controller_up ||
  fail "slurmctld is not up (controller $NODE, port $CTLD_PORT): $(scontrol ping 2>&1)"
say "slurmctld up (pid $SLURMCTLD_PID, port $CTLD_PORT, controller $NODE)"

slurmd -D -N "$NODE" -f "$SLURM_CONF" >"$T/log/slurmd.out" 2>&1 &
SLURMD_PID=$!
wait_for "$START_SECONDS" node_idle || fail "node $NODE is not idle: $(sinfo -h -n "$NODE" -o '%T %E' 2>&1)"
say "slurmd up (pid $SLURMD_PID, port $SLURMD_PORT), node $NODE idle"

# ---- the job script: the README's example, word for word ----

# The indented block after "with Slurm:" in the cluster paragraph.
awk '
  /On a cluster/ { cluster = 1 }
  cluster && /with Slurm:/ { block = 1; next }
  block && /^    / { sub(/^    /, ""); print; started = 1; next }
  block && /^[[:space:]]*$/ { if (started) exit; next }
  block { exit }
' README.md >"$T/work/korvane.sh"
head -n 1 "$T/work/korvane.sh" | grep -q '^#!' || fail "no job script found after 'with Slurm:' in README.md"
grep -q 'SLURM_ARRAY_TASK_ID' "$T/work/korvane.sh" || fail "the README's job script does not use SLURM_ARRAY_TASK_ID"
grep -q 'korvane-batch' "$T/work/korvane.sh" || fail "the README's job script does not run korvane-batch"
say "job script from README.md:"
sed 's/^/    /' "$T/work/korvane.sh"

# ---- the models folder ----

# A folder laid out as the example expects: build/ and models/.
ln -s "$BUILD" "$T/work/build"
BUNDLED=(2 62 145 385)
for m in "${BUNDLED[@]}"; do
  for f in "objs/$m.off" "objs/${m}_0.seg" "objs/$m.sym"; do
    [ -s "$ROOT/$f" ] || fail "$f is missing (the build generates it)"
    cp "$ROOT/$f" "$T/work/models/"
  done
done
# A box, 8 vertices and 12 triangles; cut short after its vertices for the
# first run, so that its task fails.
BOX_OFF="OFF
8 12 0
-0.5 -0.4 -0.3
0.5 -0.4 -0.3
0.5 0.4 -0.3
-0.5 0.4 -0.3
-0.5 -0.4 0.3
0.5 -0.4 0.3
0.5 0.4 0.3
-0.5 0.4 0.3
3 0 2 1
3 0 3 2
3 4 5 6
3 4 6 7
3 0 1 5
3 0 5 4
3 1 2 6
3 1 6 5
3 2 3 7
3 2 7 6
3 3 0 4
3 3 4 7"
echo "$BOX_OFF" | head -n 10 >"$T/work/models/box.off"
# An octahedron as OBJ, with the material file such exports come with.
cat >"$T/work/models/octahedron.obj" <<'EOF'
# octahedron, 6 vertices and 8 triangles
mtllib octahedron.mtl
v 0.7 0 0
v -0.7 0 0
v 0 0.6 0
v 0 -0.6 0
v 0 0 0.5
v 0 0 -0.5
usemtl grey
f 1 3 5
f 3 2 5
f 2 4 5
f 4 1 5
f 3 1 6
f 2 3 6
f 4 2 6
f 1 4 6
EOF
printf 'newmtl grey\nKd 0.5 0.5 0.5\n' >"$T/work/models/octahedron.mtl"
MODELS=()
for m in "${BUNDLED[@]}"; do MODELS+=("$m.off"); done
MODELS+=(box.off octahedron.obj)
N=${#MODELS[@]}

# The same tool without Slurm, on the same models (the box whole), for the
# planes to compare with.
cp -r "$T/work/models" "$T/reference-models"
echo "$BOX_OFF" >"$T/reference-models/box.off"
"$BUILD/korvane-batch" --quiet --out "$T/reference" $(for m in "${MODELS[@]}"; do echo "$T/reference-models/$m"; done) ||
  fail "korvane-batch run directly (without Slurm) failed"

# ---- running the array ----

# Submits the job script as an array of N tasks from the work folder, waits
# for it to end, and leaves "TASK STATE EXITCODE" lines in $T/tasks-LABEL.
run_array() {
  local label="$1" id waited=0
  id="$(cd "$T/work" && sbatch --parsable --array="1-$N" korvane.sh)" || fail "sbatch refused the job ($label)"
  id="${id%%;*}"
  JOB_IDS+=("$id")
  say "$label: array job $id, $N tasks"
  while [ -n "$(squeue -h -j "$id" 2>/dev/null)" ]; do
    [ "$waited" -lt $((ARRAY_SECONDS * 10)) ] || fail "$label: array job $id still running after $ARRAY_SECONDS s"
    kill -0 "$SLURMD_PID" 2>/dev/null || fail "$label: slurmd ended during the array"
    sleep 0.2
    waited=$((waited + 2))
  done
  # The job completion log: one line per task as it ended.
  awk -v id="$id" '{
      delete f
      for (i = 1; i <= NF; i++) { k = $i; sub(/=.*/, "", k); v = $i; sub(/^[^=]*=/, "", v); f[k] = v }
      if (f["ArrayJobId"] == id) print f["ArrayTaskId"], f["JobState"], f["ExitCode"]
    }' "$T/log/jobcomp.txt" 2>/dev/null | sort -n >"$T/tasks-$label"
  say "$label: array job $id ended after $(awk "BEGIN { printf \"%.1f\", $waited / 10 }") s"
  [ "$(wc -l <"$T/tasks-$label")" = "$N" ] ||
    fail "$label: the completion log has $(wc -l <"$T/tasks-$label") of $N tasks: $(cat "$T/tasks-$label")"
  [ "$(cut -d' ' -f1 "$T/tasks-$label" | tr '\n' ' ')" = "$(seq -s ' ' 1 "$N") " ] ||
    fail "$label: tasks $(cut -d' ' -f1 "$T/tasks-$label" | tr '\n' ' ')ended, not 1 to $N"
  ARRAY_ID="$id"
}

# Every task's exit status must be 0, except the one that ran EXPECTED_FAILED
# (if any), which must have ended with status 1 and said why.
check_tasks() {
  local label="$1" expected_failed="$2" task state code out failed=""
  while read -r task state code; do
    out="$T/work/slurm-${ARRAY_ID}_$task.out"
    if [ "$code" = "0:0" ] && [ "$state" = COMPLETED ]; then
      continue
    fi
    [ -n "$expected_failed" ] || fail "$label: task $task ended $state with exit code $code: $(cat "$out" 2>/dev/null)"
    [ "$state" = FAILED ] && [ "$code" = "1:0" ] ||
      fail "$label: task $task ended $state with exit code $code (a failed model ends with status 1)"
    grep -q "korvane-batch: models/$expected_failed: " "$out" 2>/dev/null ||
      fail "$label: task $task failed, but not on models/$expected_failed: $(cat "$out" 2>/dev/null)"
    [ -z "$failed" ] || fail "$label: tasks $failed and $task both failed"
    failed="$task"
  done <"$T/tasks-$label"
  [ -z "$expected_failed" ] || [ -n "$failed" ] || fail "$label: no task failed, but models/$expected_failed is cut short"
}

# Checks the summaries of the models named (file names in models/) against
# their input files and the reference run.
check_summaries() {
  python3 - "$T/work" "$T/reference" "$@" <<'EOF'
import json, math, os, sys

work, reference, names = sys.argv[1], sys.argv[2], sys.argv[3:]
problems = []

def counts(path):
    """Vertices and triangles as the file itself declares or lists them."""
    with open(path) as f:
        lines = [l.split() for l in f if l.strip() and not l.startswith("#")]
    if path.endswith(".off"):
        return int(lines[1][0]), int(lines[1][1])
    return sum(1 for l in lines if l[0] == "v"), sum(1 for l in lines if l[0] == "f")

for name in names:
    stem = os.path.splitext(name)[0]
    folder = os.path.join(work, "results", stem)
    try:
        with open(os.path.join(folder, "summary.json")) as f:
            s = json.load(f)
    except (OSError, ValueError) as e:
        problems.append(f"{stem}: no readable summary.json ({e})")
        continue
    def check(ok, what):
        if not ok:
            problems.append(f"{stem}: {what}")
    model = os.path.join(work, "models", name)
    check(s.get("input") == "models/" + name, f"input is {s.get('input')!r}, not 'models/{name}'")
    check(os.path.realpath(s.get("absolutePath", "")) == os.path.realpath(model),
          f"absolutePath {s.get('absolutePath')!r} is not the model's")
    vertices, faces = counts(model)
    check(s.get("vertices") == vertices, f"{s.get('vertices')} vertices, the file has {vertices}")
    check(s.get("faces") == faces, f"{s.get('faces')} faces, the file has {faces}")
    seg = os.path.join(work, "models", stem + "_0.seg")
    if os.path.exists(seg):
        with open(seg) as f:
            labels = {l.strip() for l in f if l.strip()}
        check(s.get("segments") == len(labels), f"{s.get('segments')} segments, {stem}_0.seg has {len(labels)} labels")
    # Models without companion files are told what was computed instead.
    own = [w for w in s.get("warnings", []) if not w.startswith(("No segmentation file", "No symmetry file"))]
    check(own == [], f"warnings {s.get('warnings')}")
    planes = s.get("planes") or []
    check(len(planes) > 0, "no planes")
    for p in planes:
        n = p.get("normal", [])
        check(len(n) == 3 and abs(math.sqrt(sum(x * x for x in n)) - 1) < 1e-4, f"plane {p.get('index')}: normal {n} is not of unit length")
        check(math.isfinite(p.get("offset", math.nan)) and abs(p["offset"]) <= 1, f"plane {p.get('index')}: offset {p.get('offset')} outside the unit ball")
        check(p.get("area", 0) > 0, f"plane {p.get('index')}: area {p.get('area')}")
        check(p.get("slabTriangles", 0) > 0, f"plane {p.get('index')}: no slab triangles")
    expected = [name + ".obj", name + "_slab.obj", name + "_inputmesh.obj", name + ".contour"]
    check(s.get("outputs") == expected, f"outputs {s.get('outputs')}, expected {expected}")
    for out in expected + ["debug.log"]:
        check(os.path.getsize(os.path.join(folder, out)) > 0 if os.path.exists(os.path.join(folder, out)) else False,
              f"{out} is missing or empty")
    check(s.get("timings", {}).get("total", 0) > 0, "no total time")
    try:
        with open(os.path.join(reference, stem, "summary.json")) as f:
            r = json.load(f)
        check(s.get("planes") == r.get("planes"), "its planes differ from the same tool's run without Slurm")
        check(s.get("featuresPerFamily") == r.get("featuresPerFamily"), "its features differ from the run without Slurm")
    except OSError:
        problems.append(f"{stem}: no summary from the run without Slurm to compare with")

for p in problems:
    print("slurm_test: FAILED: " + p, file=sys.stderr)
sys.exit(1 if problems else 0)
EOF
}

# Content and modification time of every file in the results' model folders.
fingerprint() {
  (cd "$T/work/results" && find . -type f -printf '%p %T@ %s\n' | sort &&
    find . -type f -exec sha256sum {} + | sort -k 2)
}

# ---- first run: one model cut short ----

run_array first
check_tasks first box.off
GOOD=()
for m in "${MODELS[@]}"; do [ "$m" = box.off ] || GOOD+=("$m"); done
check_summaries "${GOOD[@]}" || fail "first run: summaries (above)"
[ ! -e "$T/work/results/box/summary.json" ] || fail "first run: the cut-short box.off has a summary"
# One result folder per model that ran, and none for a companion file.
folders="$(cd "$T/work/results" && ls -A | LC_ALL=C sort | tr '\n' ' ')"
expected="$(for m in "${GOOD[@]}"; do echo "${m%.*}"; done | LC_ALL=C sort | tr '\n' ' ')"
[ "$folders" = "$expected" ] || fail "first run: result folders are '$folders', expected '$expected'"
say "first run: $((N - 1)) models done, box.off failed as it should"

# ---- rerun after the partial failure ----

echo "$BOX_OFF" >"$T/work/models/box.off"
rm "$T/work/results/385/summary.json"
keep_before="$(fingerprint | grep -v -e '^\./385/' -e '^\./box/' -e ' \./385/' -e ' \./box/')"
sleep 1  # so that a rewritten file would show a later modification time
run_array rerun
check_tasks rerun ""
keep_after="$(fingerprint | grep -v -e '^\./385/' -e '^\./box/' -e ' \./385/' -e ' \./box/')"
if [ "$keep_before" != "$keep_after" ]; then
  diff <(echo "$keep_before") <(echo "$keep_after") >&2 || true
  fail "rerun: files of models that had a summary changed (above): they should have been skipped"
fi
check_summaries "${MODELS[@]}" || fail "rerun: summaries (above)"
say "rerun: box.off and 385.off done, the $((N - 2)) models with a summary skipped untouched"

SUCCEEDED=1
say "passed"
