#!/usr/bin/env bash
# Builds the station and starts it. Arguments go to the station, for example
# --home DIR or the link options (--link-local 127.0.0.1 --link-target 127.0.0.1).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target subtitle-station
exec build/src/app/subtitle-station "$@"
