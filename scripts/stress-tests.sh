#!/usr/bin/env bash
# Runs the plain and the ThreadSanitizer test passes N times (default 3) while
# stress-ng keeps every core busy, as a shared CI machine may be, and prints
# every test that ever failed with how often. Exit code 1 when any did.
#
#     scripts/stress-tests.sh [N]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-3}
if ! [[ "$runs" =~ ^[0-9]+$ ]] || ((runs == 0)); then
    echo "usage: scripts/stress-tests.sh [N]" >&2
    exit 2
fi

scripts/install-deps.sh
source scripts/build-trees.sh

echo "== building the plain and the tsan trees"
build_plain >/dev/null
build_sanitizer build-tsan tsan STATION_TSAN >/dev/null

stress-ng --cpu "$jobs" --cpu-load 100 --quiet &
stress=$!
trap 'kill "$stress" 2>/dev/null || true; wait "$stress" 2>/dev/null || true' EXIT

failures=$(mktemp)
for ((i = 1; i <= runs; i++)); do
    for pass in plain tsan; do
        if [[ $pass == plain ]]; then
            dir=build
            # Installing the package again and again says nothing about load.
            args=(-LE package)
        else
            dir=build-tsan
            args=(-L tsan)
        fi
        log=$(mktemp)
        if ctest --test-dir "$dir" -j "$jobs" --output-on-failure "${args[@]}" >"$log" 2>&1; then
            echo "run $i $pass: passed"
        else
            echo "run $i $pass: FAILED (log: $dir/stress-run-$i.log)"
            cp "$log" "$dir/stress-run-$i.log"
            # The test executables, and within them the failed cases.
            sed -n 's/^[0-9]*:\(.*\)$/'"$pass"': \1/p' \
                "$dir/Testing/Temporary/LastTestsFailed.log" >>"$failures" || true
            sed -n 's/^\[  FAILED  \] \([^ ]*\) (.*$/'"$pass"':   \1/p' "$log" | sort -u >>"$failures"
        fi
        rm -f "$log"
    done
done

echo "== tests that failed under load (count of runs)"
if [[ -s $failures ]]; then
    sort "$failures" | uniq -c | sort -rn
    rm -f "$failures"
    exit 1
fi
echo "none in $runs runs"
rm -f "$failures"
