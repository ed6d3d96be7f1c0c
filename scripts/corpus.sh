#!/usr/bin/env bash
# Makes the batch tool's hostile-input corpus (tools/corpus) in a temporary
# folder, runs BUILD_DIR/korvane-batch on every input, one process per input,
# and prints how it treated them: crashes, hangs, runs over 2 GB, wrong exit
# codes and unclear messages (the rules are in tools/corpus/outcome.h).
# Every input's outcome goes to BUILD_DIR/corpus-outcomes.tsv.
#
#   bash scripts/corpus.sh [BUILD_DIR]        (default: build)
#
# BUILD_DIR may be the build of another checkout (an older commit): the
# generator and the limited runner always come from this checkout's build/.
# Each run has a wall-time limit (CORPUS_WALL, 60 s) and an address-space
# limit (CORPUS_AS_MB, 4096 MiB); CORPUS_JOBS (2) runs go at once.
# CORPUS_SAMPLE=1 makes only one input per kind; CORPUS_KEEP=1 keeps the
# temporary folder (inputs, standard error of every run, results).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tools="$root/build"
build=$(cd "${1:-$tools}" && pwd)
jobs=${CORPUS_JOBS:-2}
wall=${CORPUS_WALL:-60}
as_mb=${CORPUS_AS_MB:-4096}

[ -f "$tools/CMakeCache.txt" ] || cmake -S "$root" -B "$tools" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(korvane_corpus korvane_corpus_run)
[ "$build" = "$tools" ] && targets+=(korvane-batch)
cmake --build "$tools" -j2 --target "${targets[@]}" >/dev/null
batch="$build/korvane-batch"
if [ ! -x "$batch" ]; then
  echo "corpus.sh: no korvane-batch in $build" >&2
  exit 2
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/korvane-corpus.XXXXXX")
if [ "${CORPUS_KEEP:-0}" = 1 ]; then
  echo "Keeping $tmp"
else
  trap 'rm -rf "$tmp"' EXIT
fi
sample=()
[ "${CORPUS_SAMPLE:-0}" = 1 ] && sample=(--sample)
"$tools/tools/korvane_corpus" generate "${sample[@]}" "$tmp/corpus"
mkdir -p "$tmp/runs" "$tmp/results"

echo "Running $batch on every input ($jobs at a time, ${wall} s and ${as_mb} MiB each)..."
# The file names are plain ([a-z0-9._-]), so GNU parallel may put them in the
# command as they are.
tail -n +2 "$tmp/corpus/manifest.tsv" | cut -f1 |
  parallel --will-cite --jobs "$jobs" --halt never \
    "$tools/tools/korvane_corpus_run" --wall "$wall" --as-mb "$as_mb" \
    --stderr "$tmp/runs/{}.err" --record "$tmp/runs/{}.run" -- \
    "$batch" --quiet --out "$tmp/results" "$tmp/corpus/{}"

echo
echo "korvane-batch: $batch ($(git -C "$build" rev-parse --short HEAD 2>/dev/null || echo "unknown commit"))"
echo
"$tools/tools/korvane_corpus" report --corpus "$tmp/corpus" --runs "$tmp/runs" --results "$tmp/results" \
  --wall "$wall" --as-mb "$as_mb" --tsv "$build/corpus-outcomes.tsv"
