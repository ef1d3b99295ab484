#!/usr/bin/env bash
# Builds the Debian package of the station: subtitle-station, subtitle-station-cli,
# led-card-sim, their manual pages, the operator's manual, the menu entry with
# its icons and file types, and the AppStream metadata.
#
#   scripts/package.sh [--tree DIR] [--out DIR] [--check]
#
# Without --tree it configures and builds a release tree, build-release (no
# tests, no benchmarks, Debian's hardening flags), and packages it.
# --tree DIR packages an already configured tree instead (the test suite
# packages its plain tree "build" this way rather than building a second
# time); the tree is brought up to date first.
# --out DIR is where the .deb goes (default: dist); its path is printed last.
# --check runs lintian (errors fail), desktop-file-validate and appstreamcli
# validate on what was packaged.
# The version is the project's (project(VERSION) in CMakeLists.txt), the
# architecture this machine's (dpkg --print-architecture), the library
# dependencies those dpkg-shlibdeps finds.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

tree=
out=dist
check=false
while (($#)); do
    case $1 in
    --tree) tree=${2:?--tree needs a directory}; shift 2 ;;
    --out) out=${2:?--out needs a directory}; shift 2 ;;
    --check) check=true; shift ;;
    -h | --help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package.sh: unknown argument: $1" >&2; exit 2 ;;
    esac
done

if [[ -z $tree ]]; then
    scripts/install-deps.sh
    tree=build-release
    # Debian's hardening: CMake takes CXXFLAGS and LDFLAGS from the
    # environment on the first configure; the preprocessor's flags go with
    # the compiler's.
    eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
    export CXXFLAGS="$CPPFLAGS $CXXFLAGS"
    cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DSTATION_BENCHMARKS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
fi
if [[ ! -f $tree/CPackConfig.cmake ]]; then
    echo "package.sh: $tree is not a configured tree of the station" >&2
    exit 1
fi
cmake --build "$tree" -j "$(nproc)" --target subtitle-station subtitle-station-cli led-card-sim \
    station_share station_help

mkdir -p "$out"
out=$(cd "$out" && pwd)
staging=$(mktemp -d "$out/.cpack.XXXXXX")
trap 'rm -rf "$staging"' EXIT
# cpack installs the tree's install rules into its staging directory, strips
# the programs and asks dpkg-shlibdeps for the libraries they need.
(cd "$tree" && cpack -G DEB -B "$staging" >"$staging/cpack.log" 2>&1) || {
    cat "$staging/cpack.log" >&2
    exit 1
}
deb=$(find "$staging" -maxdepth 1 -name '*.deb' | head -n 1)
if [[ -z $deb ]]; then
    echo "package.sh: cpack made no .deb" >&2
    cat "$staging/cpack.log" >&2
    exit 1
fi
mv -f "$deb" "$out/"
deb=$out/$(basename "$deb")

if $check; then
    "$source_dir/scripts/check-package.sh" "$deb"
fi
echo "$deb"
