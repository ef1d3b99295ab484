#!/usr/bin/env bash
# How long `subtitle-station-cli send --file` takes per line on simulated cards
# that answer late: all three screens with CARDS cards each, beside the
# horizontal screen's cards alone. The per-line figure is (time for LINES+1
# lines - time for 1 line) / LINES, so connecting and disconnecting drop out.
#
#     bench/tools/cli-send-timing.sh [BUILD_DIR] [DELAY_MS] [CARDS] [LINES]
#
# Everything stays on 127.0.0.1.
set -euo pipefail
build=${1:-build}
delay=${2:-1}
cards=${3:-4}
lines=${4:-40}
cli=$build/tools/cli/subtitle-station-cli
sim=$build/tools/led-card-sim/led-card-sim
offset=$((1000 + RANDOM % 4000))
work=$(mktemp -d)
trap 'kill "$simpid" 2>/dev/null || true; [[ -n "${KEEP:-}" ]] || rm -rf "$work"' EXIT

specs=()
for screen in h s x; do
    for ((i = 0; i < cards; i++)); do
        n=$((${#specs[@]} + 1))
        specs+=("mac=02-00-00-00-00-$(printf '%02X' "$n") screen=$screen delay=$delay")
    done
done
printf '%s\n' "${specs[@]}" >"$work/cards.txt"
"$sim" --port-offset "$offset" --cards "$work/cards.txt" --log "$work/sim.log" &
simpid=$!
sleep 1

# Config.ini (GBK, CRLF) with the given screens in use and their card lists.
write_config() {
    local home=$1
    shift
    local text="[ScreenParam]"$'\n'
    local k=1
    for screen in h s x; do
        local inuse=0
        [[ " $* " == *" $screen "* ]] && inuse=1
        text+="ScreenKind$k=$inuse"$'\n'"ScreenStyle$k=1"$'\n'
        k=$((k + 1))
    done
    local n=1
    for screen in h s x; do
        text+="mac_${screen}_count=$cards"$'\n'
        for ((i = 0; i < cards; i++)); do
            text+="mac_${screen}$i=mac:02-00-00-00-00-$(printf '%02X' "$n") 舞台屏->A卡"$'\n'
            n=$((n + 1))
        done
    done
    mkdir -p "$home"
    printf '%s' "$text" | sed 's/$/\r/' | iconv -f UTF-8 -t GBK >"$home/Config.ini"
}

# Seconds for a script of N lines, Enter given at once for each next line.
run_lines() {
    local home=$1 count=$2
    seq 1 "$count" | sed 's/.*/第&句字幕/' | iconv -f UTF-8 -t GBK >"$work/script.txt"
    local start end
    start=$(date +%s.%N)
    seq 1 "$count" | sed 's/.*//' | QT_QPA_PLATFORM=offscreen "$cli" send --home "$home" \
        --link-local 127.0.0.1 --link-target 127.0.0.1 --link-port-offset "$offset" \
        --file "$work/script.txt" >"$work/out.txt" 2>"$work/err.txt" || {
        echo "send failed:" >&2
        tail -n 5 "$work/err.txt" "$work/out.txt" >&2
        exit 1
    }
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

per_line() {
    local home=$1
    local one many
    one=$(run_lines "$home" 1) || exit 1
    many=$(run_lines "$home" $((lines + 1))) || exit 1
    echo "($many - $one) * 1000 / $lines" | bc -l
}

write_config "$work/all" h s x
write_config "$work/one" h
all=$(per_line "$work/all")
one=$(per_line "$work/one")
printf 'reply delay %s ms, %s cards per screen, %s lines\n' "$delay" "$cards" "$lines"
printf '  3 screens: %6.1f ms per line\n' "$all"
printf '  h alone:   %6.1f ms per line\n' "$one"
printf '  ratio:     %6.2f\n' "$(echo "$all / $one" | bc -l)"
