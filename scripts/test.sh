#!/usr/bin/env bash
# Builds and runs the whole test suite: the plain build with every test, then
# the tests labelled "asan" under AddressSanitizer+UBSan and those labelled
# "tsan" under ThreadSanitizer. Extra arguments are passed to every ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/build-trees.sh

echo "== plain build"
build_plain
ctest --test-dir build --output-on-failure -j "$jobs" "$@"

sanitizer_pass() {
    local dir=$1 label=$2 option=$3
    echo "== $label build"
    if build_sanitizer "$dir" "$label" "$option"; then
        ctest --test-dir "$dir" --output-on-failure -j "$jobs" -L "$label" "$@"
    fi
}
sanitizer_pass build-asan asan STATION_ASAN "$@"
sanitizer_pass build-tsan tsan STATION_TSAN "$@"

# Every parser's fuzz target for a few seconds on its seeds and corpus: the
# fuzz tree builds only the parsing libraries, so this stays short.
echo "== fuzz smoke"
scripts/fuzz.sh "${FUZZ_SMOKE_SECONDS:-5}"
echo "== all tests passed"
