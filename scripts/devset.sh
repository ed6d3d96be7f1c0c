#!/usr/bin/env bash
# Fetches an open development set of real meshes and converts it to plain OFF:
#
#   bash scripts/devset.sh [OUT_DIR]        (default: devset/ at the repository root)
#
# Sources, each fetched with its own package client into a temporary folder
# (nothing is installed):
#   - npm's `bunny`: the Stanford bunny as arrays of positions and cells;
#   - Debian's `openscad-testing-data`: twelve closed, non-trivial STL, AMF
#     and 3MF test meshes (the package ships no OFF; plain cubes, empty and
#     unreadable files are left out);
#   - Debian's `invesalius-examples`: a CT project (Cranium.inv3) with the
#     two surfaces its program made (kept as they are: open where the scan
#     ends) and the CT volume, from which korvane_isosurface (tools/isosurface)
#     extracts closed bone and skin surfaces at the project's own mask
#     thresholds, after averaging 2x2x2 blocks of samples (no decimation).
#
# Every mesh becomes OUT_DIR/<name>.off; OUT_DIR/MANIFEST.tsv lists name,
# source package and version, original file, faces, vertices, boundary and
# non-manifold edge counts, whether closed and the licence the package states.
# A mesh whose OFF file and manifest line exist is skipped, and a package is
# fetched only when one of its meshes is missing. Needs npm, node, apt-get,
# dpkg-deb, assimp (assimp-utils), python3 and, unless
# $KORVANE_BUILD_DIR/tools/korvane_isosurface exists, cmake to build it.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$(mkdir -p "${1:-$ROOT/devset}" && cd "${1:-$ROOT/devset}" && pwd)
BUILD=${KORVANE_BUILD_DIR:-$ROOT/build}
MESH="python3 $ROOT/scripts/devset_mesh.py"
MANIFEST=$OUT/MANIFEST.tsv
HEADER=$'name\tpackage\tversion\toriginal\tfaces\tvertices\tboundary_edges\tnonmanifold_edges\tclosed\tlicence'

die() { echo "devset: $*" >&2; exit 1; }

for tool in npm node apt-get dpkg-deb assimp python3 tar; do
  command -v "$tool" >/dev/null || die "'$tool' is missing (scripts/setup.sh installs what the project needs; assimp comes with assimp-utils)"
done

WORK=$(mktemp -d)
# apt-get download writes as its own unprivileged user where it can.
chmod 755 "$WORK"
trap 'rm -rf "$WORK"' EXIT

# Manifest lines already made, by name.
declare -A DONE=()
if [[ -f $MANIFEST ]]; then
  while IFS= read -r line; do
    name=${line%%$'\t'*}
    [[ $name != name && -f $OUT/$name.off ]] && DONE[$name]=$line
  done <"$MANIFEST"
fi
ORDER=()

# The manifest in the order the meshes were met, written through a temporary
# name after every mesh, so a run that stops keeps what it made.
write_manifest() {
  {
    echo "$HEADER"
    for name in "${ORDER[@]}"; do if [[ -n ${DONE[$name]:-} ]]; then echo "${DONE[$name]}"; fi; done
  } >"$MANIFEST.partial"
  mv "$MANIFEST.partial" "$MANIFEST"
}

# have NAME: the mesh is already there (and is listed in the manifest).
have() {
  ORDER+=("$1")
  [[ -n ${DONE[$1]:-} ]] || return 1
  printf '  %-40s already there\n' "$1"
}

# record NAME PACKAGE VERSION ORIGINAL LICENCE STATS: STATS is the converter's
# "faces<TAB>vertices<TAB>boundary<TAB>non-manifold" line.
record() {
  local faces vertices boundary nonmanifold closed
  IFS=$'\t' read -r faces vertices boundary nonmanifold <<<"$6"
  closed=no
  [[ $boundary == 0 ]] && closed=yes
  DONE[$1]=$(printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s' "$1" "$2" "$3" "$4" "$faces" "$vertices" \
    "$boundary" "$nonmanifold" "$closed" "$5")
  printf '  %-40s %8s faces  closed: %s\n' "$1" "$faces" "$closed"
  write_manifest
}

# The licence a Debian package's copyright file gives for all its files.
deb_licence() {
  awk '/^Files: \*[[:space:]]*$/ {all = 1; next} all && /^License:/ {sub(/^License: */, ""); print; exit}' "$1"
}

# fetch_deb PACKAGE: downloads and unpacks it into $WORK/PACKAGE; sets VERSION.
fetch_deb() {
  local dir=$WORK/$1
  mkdir -p "$dir"
  chmod 755 "$dir"
  if ! (cd "$dir" && apt-get download "$1" >"$dir.log" 2>&1); then
    sed 's/^/  /' "$dir.log" >&2
    die "could not download the Debian package '$1' (no network, or apt's lists are missing or old: run 'apt-get update')"
  fi
  dpkg-deb -x "$dir"/"$1"_*.deb "$dir/root" || die "could not unpack $1"
  VERSION=$(dpkg-deb -f "$dir"/"$1"_*.deb Version)
}

start=$SECONDS
echo "Development set in $OUT"

# --- npm: bunny ------------------------------------------------------------
if ! have bunny; then
  dir=$WORK/npm
  mkdir -p "$dir"
  if ! (cd "$dir" && npm pack bunny@1 --silent >"$dir.log" 2>&1); then
    sed 's/^/  /' "$dir.log" >&2
    die "could not fetch the npm package 'bunny' (no network, or the registry refused it)"
  fi
  tar -xzf "$dir"/bunny-*.tgz -C "$dir" || die "could not unpack the npm package 'bunny'"
  node -e 'const m = require(process.argv[1]); process.stdout.write(JSON.stringify({positions: m.positions, cells: m.cells}))' \
    "$dir/package" >"$dir/bunny.json" || die "the npm package 'bunny' has no positions and cells"
  read -r version licence < <(node -e 'const p = require(process.argv[1]); console.log(p.version, p.license)' "$dir/package/package.json")
  stats=$($MESH json2off "$dir/bunny.json" "$OUT/bunny.off")
  record bunny "npm:bunny" "$version" "index.js" "$licence" "$stats"
fi

# --- Debian: openscad-testing-data ----------------------------------------
# name and path below /usr/share/openscad; chosen among the package's meshes
# that are closed and more than a cube, from a few dozen faces to a few thousand.
OPENSCAD=(
  "openscad-bad-stl-tardis testdata/scad/misc/bad-stl-tardis.stl"
  "openscad-adns2610-dev-circuit-inv testdata/stl/adns2610_dev_circuit_inv.stl"
  "openscad-bad-stl-wing testdata/scad/misc/bad-stl-wing.stl"
  "openscad-bad-stl-pcbvicebar testdata/scad/misc/bad-stl-pcbvicebar.stl"
  "openscad-cube-with-hole testdata/amf/cube-with-hole.amf"
  "openscad-issue945e testdata/scad/bugs/issue945e.stl"
  "openscad-import-stl testdata/scad/3D/features/import.stl"
  "openscad-import-3mf testdata/scad/3D/features/import.3mf"
  "openscad-stl-export-expected regression/stlexport/stl-export-expected.stl"
  "openscad-issue945f testdata/scad/bugs/issue945f.stl"
  "openscad-sphere20face testdata/amf/sphere20face.amf"
  "openscad-issue1580-back-to-back testdata/scad/bugs/issue1580-back-to-back.stl"
)
missing=()
for entry in "${OPENSCAD[@]}"; do have "${entry%% *}" || missing+=("$entry"); done
if ((${#missing[@]})); then
  fetch_deb openscad-testing-data
  base=$WORK/openscad-testing-data/root/usr/share/openscad
  licence=$(deb_licence "$WORK/openscad-testing-data/root/usr/share/doc/openscad-testing-data/copyright")
  for entry in "${missing[@]}"; do
    name=${entry%% *} path=${entry#* }
    [[ -f $base/$path ]] || die "openscad-testing-data $VERSION has no $path"
    timeout 120 assimp export "$base/$path" "$WORK/$name.obj" -fobjnomtl >"$WORK/$name.log" 2>&1 ||
      die "assimp could not convert $path: $(tail -n 1 "$WORK/$name.log")"
    stats=$($MESH obj2off "$WORK/$name.obj" "$OUT/$name.off")
    record "$name" openscad-testing-data "$VERSION" "$path" "$licence" "$stats"
  done
fi

# --- Debian: invesalius-examples -------------------------------------------
INVESALIUS=(invesalius-cranium-surface0 invesalius-cranium-surface1 invesalius-cranium-bone invesalius-cranium-skin)
missing=()
for name in "${INVESALIUS[@]}"; do have "$name" || missing+=("$name"); done
if ((${#missing[@]})); then
  fetch_deb invesalius-examples
  doc=$WORK/invesalius-examples/root/usr/share/doc/invesalius-examples
  licence=$(deb_licence "$doc/copyright")
  project=$WORK/cranium
  mkdir -p "$project"
  tar -xzf "$doc/examples/Cranium.inv3" -C "$project" --strip-components=1 ||
    die "could not unpack Cranium.inv3 from invesalius-examples $VERSION"
  # The volume's shape (z, y, x), spacing (x, y, z) and each mask's lower
  # threshold, from the project's property lists.
  read -r nz ny nx sx sy sz bone skin < <(python3 - "$project" <<'EOF'
import plistlib, sys, os
d = sys.argv[1]
main = plistlib.load(open(os.path.join(d, "main.plist"), "rb"))
if main["matrix"]["dtype"] != "int16":
    sys.exit("devset: the Cranium volume is not 16-bit")
low = [plistlib.load(open(os.path.join(d, main["masks"][k]), "rb"))["threshold_range"][0] for k in ("0", "1")]
print(*main["matrix"]["shape"], *main["spacing"], *low)
EOF
  )
  iso_tool=$BUILD/tools/korvane_isosurface
  if [[ ! -x $iso_tool ]]; then
    command -v cmake >/dev/null || die "cmake is needed to build korvane_isosurface"
    echo "  building korvane_isosurface in $BUILD"
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$WORK/cmake.log" 2>&1 &&
      cmake --build "$BUILD" -j2 --target korvane_isosurface >>"$WORK/cmake.log" 2>&1 ||
      { tail -n 20 "$WORK/cmake.log" >&2; die "could not build korvane_isosurface"; }
  fi
  for name in "${missing[@]}"; do
    case $name in
      invesalius-cranium-surface[01])
        file=surface_${name: -1}.vtp
        stats=$($MESH vtp2off "$project/$file" "$OUT/$name.off")
        original="examples/Cranium.inv3:$file" ;;
      *)
        # The volume holds whole numbers: an iso value half a step below the
        # threshold keeps the threshold's samples inside and no sample on it.
        threshold=$bone
        [[ $name == *skin ]] && threshold=$skin
        iso=$(python3 -c "print($threshold - 0.5)")
        "$iso_tool" "$project/matrix.dat" "$nx" "$ny" "$nz" "$sx" "$sy" "$sz" "$iso" 2 "$WORK/$name.off" >/dev/null ||
          die "korvane_isosurface failed on Cranium.inv3"
        mv "$WORK/$name.off" "$OUT/$name.off"
        stats=$($MESH stats "$OUT/$name.off")
        original="examples/Cranium.inv3:matrix.dat (isosurface at $iso after 2x2x2 means)" ;;
    esac
    record "$name" invesalius-examples "$VERSION" "$original" "$licence" "$stats"
  done
fi

write_manifest
echo "${#ORDER[@]} meshes; manifest $MANIFEST ($((SECONDS - start)) s)"
