#!/usr/bin/env bash
# Installs the station's package like a technician would and takes it away again:
#   install-test.sh BUILD_DIR VERSION
# 1. scripts/package.sh packages BUILD_DIR (no second build) and checks the
#    .deb (lintian, desktop-file-validate, appstreamcli validate).
# 2. A clean root: an overlay over this machine's own system, with a /tmp and a
#    /run of its own, so installing and purging never touch the machine. There
#    `apt-get install ./subtitle-station_*.deb` installs it.
# 3. The programs answer from PATH (--version, --help, without a display),
#    `man subtitle-station-cli` shows its page, the file types are known and
#    lead to the station's menu entry.
# 4. Under Xvfb the station starts from its installed menu entry (dex), with a
#    Config.ini in the test's XDG home that keeps the link on 127.0.0.1; a
#    screenshot is written to BUILD_DIR/package-test/. Then a playlist is opened
#    the way a file manager's double click does (gio open), and the station
#    shows it. No desktop shortcut is written beside the menu entry.
# 5. `apt-get purge` removes it, and no file the package installed is left.
# Exit 77 (a skip for ctest) when not root or when no overlay can be mounted.
set -euo pipefail

build=$(cd "${1:?usage: install-test.sh BUILD_DIR VERSION}" && pwd)
version=${2:?usage: install-test.sh BUILD_DIR VERSION}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: installing a package into a throw-away root needs root"
    exit 77
fi
for tool in dpkg-deb lintian desktop-file-validate appstreamcli Xvfb dex xdotool import gio man; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

out=$build/package-test
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d /tmp/station-package-test.XXXXXX)
root=$work/root
mounts=()
xvfb=

cleanup() {
    local status=$?
    set +e
    if [[ -n $xvfb ]]; then
        kill "$xvfb" 2>/dev/null
        wait "$xvfb" 2>/dev/null
    fi
    # Whatever the package started in the root ends with it.
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        if [[ $(readlink "/proc/$pid/root" 2>/dev/null) == "$root" ]]; then
            kill -9 "$pid" 2>/dev/null
        fi
    done
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -l "${mounts[i]}" 2>/dev/null
    done
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# Whether the output of a command holds a text; the whole output is read
# (grep -q on a pipe would end the writer early, which pipefail takes for
# a failure).
output_has() { # TEXT COMMAND...
    local text=$1
    shift
    local output
    output=$("$@" 2>&1) || return 1
    grep -qF -- "$text" <<<"$output"
}

echo "== package the tree $build"
deb=$("$source_dir/scripts/package.sh" --tree "$build" --out "$out" --check | tail -n 1)
[[ -f $deb ]] || fail "package.sh made no package"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] ||
    fail "the package's version $(dpkg-deb -f "$deb" Version) is not the project's $version"
[[ $(dpkg-deb -f "$deb" Architecture) == "$(dpkg --print-architecture)" ]] ||
    fail "the package is not for this machine's architecture"

echo "== a throw-away root over this machine's system"
# The upper layer lives on a tmpfs of its own, outside the layer below it.
mkdir -p "$work/layers" "$root"
mount -t tmpfs -o size=2g tmpfs "$work/layers" && mounts+=("$work/layers") ||
    { echo "SKIP: cannot mount a tmpfs"; exit 77; }
mkdir -p "$work/layers/upper" "$work/layers/work"
if ! mount -t overlay overlay \
    -o "lowerdir=/,upperdir=$work/layers/upper,workdir=$work/layers/work" "$root"; then
    echo "SKIP: this kernel cannot mount an overlay here"
    exit 77
fi
mounts+=("$root")
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
mount --bind /dev "$root/dev" && mounts+=("$root/dev")
mount -t tmpfs tmpfs "$root/tmp" && mounts+=("$root/tmp")
mount -t tmpfs tmpfs "$root/run" && mounts+=("$root/run")
chmod 1777 "$root/tmp"
cp "$deb" "$root/tmp/"
in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}

if in_root dpkg-query -W -f='${Status}' subtitle-station 2>/dev/null | grep -q installed; then
    fail "subtitle-station is already installed on this machine; the test wants a root without it"
fi

echo "== apt-get install ./$(basename "$deb")"
in_root apt-get install -y -q --no-install-recommends "./tmp/$(basename "$deb")" \
    >"$out/apt-install.log" 2>&1 || { cat "$out/apt-install.log"; fail "apt-get install failed"; }
in_root dpkg -L subtitle-station >"$out/files.txt"

echo "== the programs from PATH"
[[ $(in_root subtitle-station-cli --version) == "subtitle-station-cli $version" ]] ||
    fail "subtitle-station-cli --version: $(in_root subtitle-station-cli --version 2>&1)"
[[ $(in_root subtitle-station --version) == "subtitle-station $version" ]] ||
    fail "subtitle-station --version: $(in_root subtitle-station --version 2>&1)"
[[ $(in_root led-card-sim --version) == "led-card-sim $version" ]] ||
    fail "led-card-sim --version: $(in_root led-card-sim --version 2>&1)"
output_has '--port-offset' in_root led-card-sim --help || fail "led-card-sim --help"
# No display: the help needs none.
output_has '--home DIR' in_root subtitle-station --help || fail "subtitle-station --help"
output_has 'render' in_root subtitle-station-cli --help || fail "subtitle-station-cli --help"
for tool in subtitle-station subtitle-station-cli led-card-sim; do
    [[ $(in_root sh -c "command -v $tool") == /usr/bin/$tool ]] ||
        fail "$tool is not on PATH in /usr/bin"
done

echo "== man subtitle-station-cli"
output_has /usr/share/man/man1/subtitle-station-cli.1.gz in_root man -w subtitle-station-cli ||
    fail "man does not find subtitle-station-cli(1)"
in_root env MANWIDTH=80 man -P cat subtitle-station-cli >"$out/man.txt" 2>/dev/null ||
    fail "man subtitle-station-cli"
grep -q 'send-offline' "$out/man.txt" && grep -q 'LINK OPTIONS' "$out/man.txt" ||
    fail "man subtitle-station-cli shows no command list"
for page in subtitle-station led-card-sim; do
    in_root man -w "$page" >/dev/null || fail "man does not find $page(1)"
done

echo "== desktop integration"
in_root desktop-file-validate /usr/share/applications/org.subtitlestation.Station.desktop ||
    fail "the installed menu entry does not validate"
show=/tmp/user/show
mkdir -p "$root$show"
# A playlist with one script, GBK with CR LF like the station's own files.
printf '各位观众晚上好\r\n欢迎来到今晚的演出\r\n演出即将开始\r\n' | iconv -f UTF-8 -t GBK \
    >"$root$show/开场.txt"
printf '%s\r\n' "$show/开场.txt" | iconv -f UTF-8 -t GBK >"$root$show/今晚.lft"
type=$(in_root gio info -a standard::content-type "$show/今晚.lft" |
    sed -n 's/.*standard::content-type: //p')
[[ $type == application/x-subtitle-station-playlist ]] || fail "a .lft file is of type '$type'"
output_has org.subtitlestation.Station.desktop in_root gio mime application/x-subtitle-station-playlist ||
    fail "no application opens a playlist"
output_has org.subtitlestation.Station.desktop in_root gio mime application/x-subtitle-station-project ||
    fail "no application opens a project"

echo "== the station from its menu entry under Xvfb"
display=
for n in $(seq 90 140); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then
        display=$n
        break
    fi
done
[[ -n $display ]] || fail "no free X display number"
# The X server runs in the root, so the socket is in the root's own /tmp.
chroot "$root" Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [[ -e $root/tmp/.X11-unix/X$display ]] && break
    sleep 0.1
done
[[ -e $root/tmp/.X11-unix/X$display ]] || fail "Xvfb did not start"

# The user's places, with the link kept on loopback: no datagram leaves the machine.
offset=$(python3 - <<'PY'
import random, socket
for _ in range(200):
    offset = random.randint(-44000, -28000)
    socks = []
    try:
        for port in [50001, 50002, 50003, 60001, 60002, 60003]:
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            socks.append(s)
            s.bind(("127.0.0.1", port + offset))
        print(offset)
        break
    except OSError:
        pass
    finally:
        for s in socks:
            s.close()
PY
)
[[ -n $offset ]] || fail "no free port offset on 127.0.0.1"
user=/tmp/user
mkdir -p "$root$user/config/subtitle-station" "$root$user/data" "$root$user/Desktop"
printf '[Link]\r\nLocal=127.0.0.1\r\nTarget=127.0.0.1\r\nPortOffset=%s\r\n' "$offset" \
    >"$root$user/config/subtitle-station/Config.ini"
session=(env -i PATH=/usr/bin:/bin HOME="$user" LANG=C.UTF-8 DISPLAY=":$display"
    XDG_CONFIG_HOME="$user/config" XDG_DATA_HOME="$user/data" XDG_DATA_DIRS=/usr/local/share:/usr/share
    XDG_RUNTIME_DIR="$user/runtime" TMPDIR=/tmp QT_QPA_PLATFORM=xcb)
mkdir -p "$root$user/runtime" && chmod 700 "$root$user/runtime"

wait_for_window() { # NAME_PATTERN -> window id
    local id=
    for _ in $(seq 300); do
        id=$(chroot "$root" "${session[@]}" xdotool search --onlyvisible --name "$1" 2>/dev/null |
            head -n 1) || true
        [[ -n $id ]] && break
        sleep 0.1
    done
    echo "$id"
}
station_pid() {
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        if [[ $(readlink "/proc/$pid/root" 2>/dev/null) == "$root" &&
            $(readlink "/proc/$pid/exe" 2>/dev/null) == */usr/bin/subtitle-station ]]; then
            echo "$pid"
            return
        fi
    done
}
close_station() {
    local pid
    pid=$(station_pid)
    [[ -n $pid ]] || fail "the station is not running"
    kill -TERM "$pid"
    for _ in $(seq 300); do
        [[ -d /proc/$pid ]] || return 0
        sleep 0.1
    done
    fail "the station did not close on SIGTERM"
}

chroot "$root" "${session[@]}" dex /usr/share/applications/org.subtitlestation.Station.desktop \
    >"$out/station.log" 2>&1 &
window=$(wait_for_window '^舞台字幕控制系统')
[[ -n $window ]] || { cat "$out/station.log"; fail "the menu entry started no station window"; }
sleep 1 # the first frame painted
chroot "$root" "${session[@]}" import -window root "/tmp/station-from-menu.png"
cp "$root/tmp/station-from-menu.png" "$out/"
[[ -z $(ls -A "$root$user/Desktop") ]] ||
    fail "the installed station wrote a desktop shortcut beside its menu entry: $(ls "$root$user/Desktop")"
close_station
grep -q '^PortOffset=' "$root$user/config/subtitle-station/Config.ini" ||
    fail "the station's Config.ini lost its link"

echo "== a double click on a playlist (gio open)"
chroot "$root" "${session[@]}" gio open "$show/今晚.lft" >>"$out/station.log" 2>&1 &
window=$(wait_for_window "今晚.lft")
[[ -n $window ]] || { cat "$out/station.log"; fail "the playlist did not open in the station"; }
sleep 1
chroot "$root" "${session[@]}" import -window root "/tmp/station-playlist.png"
cp "$root/tmp/station-playlist.png" "$out/"
close_station
grep -q "LastOpenFile=$show/今晚.lft" <(iconv -f GBK -t UTF-8 "$root$user/config/subtitle-station/Config.ini") ||
    fail "the station did not keep the opened playlist"

echo "== apt-get purge subtitle-station"
in_root apt-get purge -y -q subtitle-station >"$out/apt-purge.log" 2>&1 ||
    { cat "$out/apt-purge.log"; fail "apt-get purge failed"; }
left=()
while IFS= read -r path; do
    # Directories such as /usr/share/man/man1 belong to many packages.
    if [[ -e $root$path && ! -d $root$path ]] || [[ $path == */subtitle-station && -d $root$path ]]; then
        left+=("$path")
    fi
done <"$out/files.txt"
((${#left[@]} == 0)) || fail "left after purge: ${left[*]}"
! in_root dpkg-query -W subtitle-station >/dev/null 2>&1 ||
    [[ $(in_root dpkg-query -W -f='${Status}' subtitle-station) == "unknown ok not-installed" ]] ||
    fail "dpkg still knows subtitle-station"

echo "== package installed, run and purged; screenshots in $out"
