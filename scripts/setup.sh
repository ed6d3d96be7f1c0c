#!/usr/bin/env bash
# Installs the Debian packages Korvane needs to build, run and test.
# Safe to run again: it only installs what is missing.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != "0" ]; then SUDO="sudo"; fi

# What building and running needs.
PKGS=(cmake g++ make qtbase5-dev libqt5opengl5-dev libgl1-mesa-dev libglu1-mesa-dev
      libtriangle-dev googletest libgtest-dev libbenchmark-dev xvfb xauth
      libgl1-mesa-dri libxcb1-dev)
# With --test, also the independent programs the tests read our files with:
# an OBJ reader, GNU Octave for the matrix file and a browser for the report.
if [ "${1:-}" = "--test" ]; then
  PKGS+=(assimp-utils octave chromium)
fi

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

# Triangle is in Debian's non-free section.
NONFREE=/etc/apt/sources.list.d/korvane-non-free.sources
if [ ! -f "$NONFREE" ]; then
  $SUDO tee "$NONFREE" >/dev/null <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: non-free
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
