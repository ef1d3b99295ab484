#!/usr/bin/env bash
# Builds the station and starts it.
#
# Without arguments: rehearsal mode. The station and the virtual LED wall
# (led-card-sim --window) run linked on 127.0.0.1 with a port offset, in a
# rehearsal home inside the build tree (build/rehearsal, made on the first
# run by scripts/make-rehearsal.sh). The wall ends when the station closes.
#
# With arguments (for example --home DIR, or the link options --link-local
# 127.0.0.1 --link-target 127.0.0.1): the station alone, the arguments go to it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

if [[ $# -gt 0 ]]; then
    cmake --build build -j "$(nproc)" --target subtitle-station
    exec build/src/app/subtitle-station "$@"
fi

cmake --build build -j "$(nproc)" --target subtitle-station led-card-sim
offset=${STATION_REHEARSAL_PORT_OFFSET:-4321}
home=build/rehearsal
if [[ ! -f $home/Config.ini ]]; then
    scripts/make-rehearsal.sh "$home" "$offset"
fi

build/tools/led-card-sim/led-card-sim --window --bind 127.0.0.1 --port-offset "$offset" \
    --cards "$home/cards.txt" --log "$home/cards.log" &
wall=$!
trap 'kill "$wall" 2>/dev/null || true; wait "$wall" 2>/dev/null || true' EXIT
build/src/app/subtitle-station --home "$home" --link-local 127.0.0.1 \
    --link-target 127.0.0.1 --link-port-offset "$offset"
