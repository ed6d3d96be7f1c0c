#!/usr/bin/env bash
# Installs the Debian packages Korvane needs to build, run and test.
# Safe to run again: it only installs what is missing.
#   --test   also what the tests check results with
#   --slurm  also a Slurm controller and node with MUNGE (scripts/slurm_test.sh)
set -euo pipefail

WITH_TEST=0
WITH_SLURM=0
for arg in "$@"; do
  case "$arg" in
    --test) WITH_TEST=1 ;;
    --slurm) WITH_SLURM=1 ;;
    *) echo "setup: unknown option $arg (--test, --slurm)" >&2; exit 2 ;;
  esac
done

SUDO=""
if [ "$(id -u)" != "0" ]; then SUDO="sudo"; fi

# What building and running needs.
PKGS=(cmake g++ make qtbase5-dev libqt5opengl5-dev libgl1-mesa-dev libglu1-mesa-dev
      libtriangle-dev googletest libgtest-dev libbenchmark-dev xvfb xauth
      libgl1-mesa-dri libxcb1-dev libassimp-dev libcgal-dev)
# With --test, also the independent programs and libraries the tests check our
# results with: an OBJ reader and converter, GNU Octave for the matrix file, a
# browser for the report, GNU parallel for batches. (CGAL, also the sections'
# independent slicer, is part of the build.) The tests include the cluster
# example, hence the Slurm packages below too.
if [ "$WITH_TEST" = 1 ]; then
  PKGS+=(assimp-utils octave chromium parallel locales)
  WITH_SLURM=1
fi
# With --slurm, a one-machine Slurm (controller, node, MUNGE) to run the
# batch tool's job array on, and Python for reading the summaries.
if [ "$WITH_SLURM" = 1 ]; then
  PKGS+=(slurm-wlm munge python3)
fi

# The readers' tests run under a decimal-comma locale, de_DE.UTF-8.
make_test_locale() {
  if [ "$WITH_TEST" = 1 ] && command -v localedef >/dev/null && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "setup: could not generate de_DE.UTF-8" >&2
  fi
}

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  make_test_locale
  exit 0
fi

# Triangle is in Debian's non-free section. Its source entry is built from the
# machine's own Debian entry (same mirror and keyring), so any mirror works.
NONFREE=/etc/apt/sources.list.d/korvane-non-free.sources
if [ ! -f "$NONFREE" ]; then
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  if [ -z "$codename" ]; then
    echo "setup: cannot tell this system's Debian release (no VERSION_CODENAME in /etc/os-release)" >&2
    exit 1
  fi
  uris=""
  keyring=""
  # deb822 entries: the stanza that serves the release itself with "main".
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    [ "$f" = "$NONFREE" ] && continue
    read -r u k < <(awk -v rel="$codename" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " rel " ") && (" " comps " ") ~ / main /)
          { print uris, (key == "" ? "-" : key); found = 1; exit }
        types = ""; uris = ""; suites = ""; comps = ""; key = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      { line = $0; sub(/^[^:]*:[ \t]*/, "", line) }
      tolower($1) == "types:"      { types = line }
      tolower($1) == "uris:"       { uris = line; gsub(/ /, ",", uris) }
      tolower($1) == "suites:"     { suites = line }
      tolower($1) == "components:" { comps = line }
      tolower($1) == "signed-by:"  { key = line }
      END { if (!found) flush() }
    ' "$f") || true
    if [ -n "${u:-}" ]; then uris="${u//,/ }"; keyring="${k:-}"; break; fi
  done
  # Classic one-line entries: deb [signed-by=KEY] URI release main ...
  if [ -z "$uris" ] && [ -f /etc/apt/sources.list ]; then
    read -r u k < <(awk -v rel="$codename" '
      $1 == "deb" {
        key = "-"; i = 2
        if ($2 ~ /^\[/) {
          for (; i <= NF; i++) {
            if ($i ~ /signed-by=/) { key = $i; sub(/.*signed-by=/, "", key); sub(/\]$/, "", key) }
            if ($i ~ /\]$/) { i++; break }
          }
        }
        if ($(i + 1) == rel) { for (j = i + 2; j <= NF; j++) if ($j == "main") { print $i, key; exit } }
      }' /etc/apt/sources.list) || true
    if [ -n "${u:-}" ]; then uris="$u"; keyring="${k:-}"; fi
  fi
  if [ -z "$uris" ]; then
    echo "setup: found no Debian source entry for '$codename' with the main section;" >&2
    echo "setup: add one (or the non-free section) by hand, then run this again." >&2
    exit 1
  fi
  {
    echo "Types: deb"
    echo "URIs: $uris"
    echo "Suites: $codename"
    echo "Components: non-free"
    if [ -n "$keyring" ] && [ "$keyring" != "-" ]; then echo "Signed-By: $keyring"; fi
  } | $SUDO tee "$NONFREE" >/dev/null
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
make_test_locale
