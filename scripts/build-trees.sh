# Sourced by scripts/test.sh and scripts/stress-tests.sh: how the plain tree
# and the sanitizer trees are configured and built. Not a command of its own.

jobs=$(nproc)
common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${CI:-}" == "true" ]]; then
    common+=(-DSTATION_WERROR=ON)
fi

# build_plain: the plain tree "build" with every target.
build_plain() {
    cmake -S . -B build "${common[@]}" >/dev/null
    cmake --build build -j "$jobs"
}

# build_plain_but_asan_tests: the plain tree with every program but the test
# programs labelled "asan", which the AddressSanitizer tree builds and runs.
build_plain_but_asan_tests() {
    cmake -S . -B build "${common[@]}" >/dev/null
    cmake --build build -j "$jobs" --target station_all_but_asan_tests
}

# build_sanitizer DIR LABEL OPTION: a sanitizer tree with only the test
# executables labelled LABEL; says so when there are none. Fails when the
# build fails, so a compile error there stops the test script.
build_sanitizer() {
    local dir=$1 label=$2 option=$3
    # Line tables are all a sanitizer report needs, and -O1 keeps its checks
    # meaningful; both make these trees quicker to build than the plain one.
    cmake -S . -B "$dir" "${common[@]}" -D"$option"=ON -DSTATION_BENCHMARKS=OFF \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" >/dev/null
    mapfile -t targets < <(ctest --test-dir "$dir" -N -L "$label" | sed -n 's/^ *Test *#[0-9]*: *//p')
    if ((${#targets[@]} == 0)); then
        echo "no tests labelled $label"
        return 0
    fi
    cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
}
