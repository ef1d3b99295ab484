#!/usr/bin/env bash
# Builds and runs the whole test suite: the plain build with every test, then
# the tests labelled "asan" under AddressSanitizer+UBSan and those labelled
# "tsan" under ThreadSanitizer. Extra arguments are passed to every ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${CI:-}" == "true" ]]; then
    common+=(-DSTATION_WERROR=ON)
fi

echo "== plain build"
cmake -S . -B build "${common[@]}" >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" "$@"

# The sanitizer trees build only the test executables that their pass runs.
sanitizer_pass() {
    local dir=$1 label=$2 option=$3
    echo "== $label build"
    # Line tables are all a sanitizer report needs, and -O1 keeps its checks
    # meaningful; both make these trees quicker to build than the plain one.
    cmake -S . -B "$dir" "${common[@]}" -D"$option"=ON -DSTATION_BENCHMARKS=OFF \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" >/dev/null
    mapfile -t targets < <(ctest --test-dir "$dir" -N -L "$label" | sed -n 's/^ *Test *#[0-9]*: *//p')
    if ((${#targets[@]} == 0)); then
        echo "no tests labelled $label"
        return
    fi
    cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" -L "$label" "$@"
}
sanitizer_pass build-asan asan STATION_ASAN
sanitizer_pass build-tsan tsan STATION_TSAN

# Every parser's fuzz target for a few seconds on its seeds and corpus: the
# fuzz tree builds only the parsing libraries, so this stays short.
echo "== fuzz smoke"
scripts/fuzz.sh "${FUZZ_SMOKE_SECONDS:-5}"
echo "== all tests passed"
