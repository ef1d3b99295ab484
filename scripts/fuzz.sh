#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (tree build-fuzz) and runs each one in
# turn for SECONDS (default 60). Corpora grow in build-fuzz/corpus/<target>;
# generated seeds are in build-fuzz/seeds/<target>. A crash, hang or sanitizer
# report stops with the reproducer in build-fuzz/findings/<target>.
#
#     scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 30 simcard replies
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds == 0)); then
    echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
    exit 2
fi

scripts/install-deps.sh

dir=build-fuzz
all=(config ini text documents playlist surtitle replies mac simcard remote mirror)
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=("${all[@]}")
fi

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSTATION_FUZZ=ON -DBUILD_TESTING=OFF -DSTATION_BENCHMARKS=OFF >/dev/null
cmake --build "$dir" -j "${FUZZ_JOBS:-2}" --target fuzzers

rm -rf "$dir/seeds"
"$dir/fuzz/station_fuzz_seeds" "$dir/seeds" tests/data

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen

failed=()
printf '%-10s %8s %14s  %s\n' target seconds executions result
for t in "${targets[@]}"; do
    corpus="$dir/corpus/$t"
    findings="$dir/findings/$t"
    log="$dir/logs/$t.log"
    mkdir -p "$corpus" "$findings" "$dir/logs"
    seeds=()
    [[ -d "$dir/seeds/$t" ]] && seeds=("$dir/seeds/$t")
    start=$(date +%s)
    result=ok
    # -timeout: one input taking this long is a hang; -rss_limit_mb: memory a
    # parser may use for one input, well above anything a real file needs.
    if ! "$dir/fuzz/${t}_fuzz" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
        -rss_limit_mb=2048 -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
        result="FAILED (see $log)"
        failed+=("$t")
    fi
    end=$(date +%s)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    printf '%-10s %8s %14s  %s\n' "$t" "$((end - start))" "${execs:-?}" "$result"
done

if ((${#failed[@]} > 0)); then
    echo "fuzz findings in: ${failed[*]}" >&2
    exit 1
fi
