#!/usr/bin/env bash
# Builds and runs the whole test suite: the tests labelled "asan" (nearly
# all) under AddressSanitizer+UBSan, the others in the plain optimised build
# (which also builds the station, the tools and the benchmarks), those
# labelled "tsan" under ThreadSanitizer, and a short run of every fuzz target.
# Each test program is compiled for one tree only, which keeps the whole run
# short on a small machine. Extra arguments are passed to every ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/build-trees.sh

echo "== plain build"
build_plain_but_asan_tests
ctest --test-dir build --output-on-failure -j "$jobs" -LE asan "$@"

sanitizer_pass() {
    local dir=$1 label=$2 option=$3
    echo "== $label build"
    build_sanitizer "$dir" "$label" "$option"
    # The list is read whole: grep -q leaving early made ctest die of SIGPIPE,
    # which pipefail turned into "no tests" and skipped the pass silently.
    local listed
    listed=$(ctest --test-dir "$dir" -N -L "$label")
    if grep -q "Test *#" <<<"$listed"; then
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
