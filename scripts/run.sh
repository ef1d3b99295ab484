#!/usr/bin/env bash
# Builds the station and starts it.
#
# Without arguments: rehearsal mode. The station and the virtual LED wall
# (led-card-sim --window) run linked on 127.0.0.1 with a port offset, in a
# rehearsal home inside the build tree (build/rehearsal, made by
# scripts/make-rehearsal.sh on the first run, and again when that script's
# sample changed: the old home is then kept beside it as
# build/rehearsal.<date-time>). The wall ends when the station closes. The
# station goes to the top of the desktop with its manual window under it, the
# wall below them, so neither covers the other on a desktop of 1600 x 1200 or
# more (X11: asked with xdpyinfo, windows placed with -geometry and xdotool).
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
sample=$(scripts/make-rehearsal.sh --version)
if [[ ! -f $home/Config.ini || $(cat "$home/rehearsal-version" 2>/dev/null) != "$sample" ]]; then
    if [[ -e $home ]]; then
        # What the operator changed there stays at hand; the new sample starts clean.
        kept=$home.$(date +%Y%m%d-%H%M%S)
        mv "$home" "$kept"
        echo "run.sh: the rehearsal sample changed; the previous rehearsal home is now $kept"
    fi
    scripts/make-rehearsal.sh "$home" "$offset"
fi

# The desktop's size; 1600 x 1200 when it cannot be asked.
screen_w=1600
screen_h=1200
if size=$(xdpyinfo 2>/dev/null | awk '/dimensions:/ { print $2; exit }') &&
    [[ $size =~ ^([0-9]+)x([0-9]+)$ ]]; then
    screen_w=${BASH_REMATCH[1]}
    screen_h=${BASH_REMATCH[2]}
fi
# The station's main window (client 1008 x 663 with its menu bar) at the top,
# its always-on-top manual window (1018 x 76) under it, the wall below both;
# `frame` leaves room for a window manager's title bar on each.
frame=30
gap=8
station_x=$(((screen_w - 1008) / 2))
manual_x=$(((screen_w - 1018) / 2))
manual_y=$((663 + frame + gap))
wall_y=$((manual_y + 76 + frame + gap))
wall_h=$((screen_h - wall_y - frame - gap))
if ((wall_h < 300)); then
    # A small desktop: the wall keeps a usable height and covers part of the station.
    wall_h=300
    wall_y=$((screen_h - wall_h - frame - gap))
fi
wall_w=$((screen_w - 2 * gap))

build/tools/led-card-sim/led-card-sim --window --bind 127.0.0.1 --port-offset "$offset" \
    --cards "$home/cards.txt" --log "$home/cards.log" \
    --geometry "${wall_w}x${wall_h}+${gap}+${wall_y}" &
wall=$!
station=
placer=
trap 'kill "$wall" $placer 2>/dev/null || true; wait "$wall" 2>/dev/null || true' EXIT
# Ctrl+C or a TERM closes the station the way its 退出 does; the script then
# waits for it to finish writing Config.ini.
trap '[[ -n $station ]] && kill -TERM "$station" 2>/dev/null || true' INT TERM

build/src/app/subtitle-station -geometry "+${station_x}+0" --home "$home" \
    --link-local 127.0.0.1 --link-target 127.0.0.1 --link-port-offset "$offset" &
station=$!

# The station puts its manual window under where its main window would stand
# centred; move it under the main window at the top.
if command -v xdotool >/dev/null; then
    (
        manual=$(timeout 30 xdotool search --sync --all --onlyvisible --pid "$station" \
            --name '^手动播放控制$' 2>/dev/null | head -n 1) || true
        if [[ -n $manual ]]; then
            xdotool windowmove "$manual" "$manual_x" "$manual_y" 2>/dev/null || true
        fi
    ) &
    placer=$!
fi

status=0
while :; do
    wait "$station" && status=0 || status=$?
    kill -0 "$station" 2>/dev/null || break
done
exit "$status"
