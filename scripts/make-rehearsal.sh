#!/usr/bin/env bash
# Creates a rehearsal home for the station and the virtual LED wall:
#   make-rehearsal.sh HOME PORT_OFFSET
#   make-rehearsal.sh --version
# HOME gets Config.ini (three screens in use, two simulated cards each, the
# sample playlist as the last open file, lines following the track when a
# lyric file plays), cards.txt for led-card-sim, and a sample show in
# HOME/show: a plain script, a lyric file with its MP3 and a project file,
# listed in show/rehearsal.lft. The station's files are GBK with CR LF, as the
# station writes them; cards.txt is UTF-8 for the simulator. Needs bash, iconv
# and lame.
#
# HOME/rehearsal-version holds the version of this sample; scripts/run.sh
# makes the home afresh when it differs from --version. Raise the version
# whenever what this script writes changes.
set -euo pipefail

version=2
if [[ ${1:-} == --version ]]; then
    echo "$version"
    exit 0
fi

home=${1:?usage: make-rehearsal.sh HOME PORT_OFFSET}
offset=${2:?usage: make-rehearsal.sh HOME PORT_OFFSET}
mkdir -p "$home/show" "$home/data"
home=$(cd "$home" && pwd)
show=$home/show

# Writes stdin (UTF-8, LF) to $1 as GBK with CR LF.
gbk() {
    sed 's/$/\r/' | iconv -f UTF-8 -t GBK >"$1"
}

# Two cards per screen; a vertical screen's card is as wide as the screen is tall.
cat >"$home/cards.txt" <<CARDS
# led-card-sim cards of the rehearsal (port offset $offset)
mac=00-1A-2B-3C-4D-01 name=横屏A screen=h width=256 height=32 scan=0 colour=1
mac=00-1A-2B-3C-4D-02 name=横屏B screen=h width=256 height=32 scan=0 colour=1
mac=00-1A-2B-3C-4D-11 name=纵屏A screen=s width=256 height=32 scan=0 colour=1
mac=00-1A-2B-3C-4D-12 name=纵屏B screen=s width=256 height=32 scan=0 colour=1
mac=00-1A-2B-3C-4D-21 name=小屏A screen=x width=192 height=32 scan=0 colour=0
mac=00-1A-2B-3C-4D-22 name=小屏B screen=x width=192 height=32 scan=0 colour=0
CARDS

gbk "$home/Config.ini" <<INI
[ScreenParam]
Light=16
ScreenKind1=1
ScreenKind2=1
ScreenKind3=1
Flash1=1
Flash2=2
Flash3=1
ScreenWidth1=256
ScreenHeight1=32
ScreenStyle1=1
ScanStyle1=0
DataPol1=0
OePol1=0
ScreenWidth2=32
ScreenHeight2=256
ScreenStyle2=1
ScanStyle2=0
DataPol2=0
OePol2=0
ScreenWidth3=192
ScreenHeight3=32
ScreenStyle3=0
ScanStyle3=0
DataPol3=0
OePol3=0
mac_h_count=2
mac_h0=mac:00-1A-2B-3C-4D-01 舞台屏->A卡
mac_h1=mac:00-1A-2B-3C-4D-02 舞台屏->B卡
mac_s_count=2
mac_s0=mac:00-1A-2B-3C-4D-11 侧屏->A卡
mac_s1=mac:00-1A-2B-3C-4D-12 侧屏->B卡
mac_x_count=2
mac_x0=mac:00-1A-2B-3C-4D-21 返送屏->A卡
mac_x1=mac:00-1A-2B-3C-4D-22 返送屏->B卡

[FontEffect]
AutoPara=0
Font1=宋体
Font2=宋体
Font3=宋体
Color1=3
Color2=2
Color3=1
Row1=1
Row2=1
Row3=1
AutoSize1=1
AutoSize2=1
AutoSize3=1
Effect1=0
Effect2=0
Effect3=4
Speed1=2
Speed2=2
Speed3=6

[Options]
AutoPlayCaption=1
LastOpenFile=$show/rehearsal.lft
INI

gbk "$show/开场.txt" <<'TXT'
各位观众晚上好
欢迎来到今晚的演出
演出即将开始
请将手机调至静音
谢谢合作
TXT

gbk "$show/月光.lrc" <<'LRC'
[ti:月光]
[ar:排练]
[00:01.00]月光洒在河面上
[00:03.50]风轻轻吹过山岗
[00:06.00]我在远方把你想
[00:08.50]歌声飘向故乡
LRC

# Ten seconds of a quiet 440 Hz tone, 16-bit mono PCM made here and encoded
# by lame; no sample file comes from elsewhere.
tone() {
    local rate=22050 seconds=10 i n
    local -a wave=()
    # One period of a sine at 441 Hz is 50 samples at 22050 Hz.
    for ((i = 0; i < 50; i++)); do
        n=$(awk -v i="$i" 'BEGIN { printf "%d", 3000 * sin(2 * 3.14159265 * i / 50) }')
        ((n < 0)) && n=$((n + 65536))
        wave+=("$(printf '\\x%02x\\x%02x' $((n & 255)) $((n >> 8)))")
    done
    local period
    period=$(printf '%s' "${wave[@]}")
    for ((i = 0; i < rate * seconds / 50; i++)); do
        printf '%b' "$period"
    done
}
tone | lame --quiet -r -s 22.05 --bitwidth 16 --signed --little-endian -m m -b 32 - "$show/月光.mp3"

gbk "$show/谢幕.lpf" <<'LPF'
[ScreenParam]
ScreenKind1=1
ScreenKind2=1
ScreenKind3=1
Flash2=2
ScreenWidth1=256
ScreenHeight1=32
ScreenStyle1=1
ScreenWidth2=32
ScreenHeight2=256
ScreenStyle2=1
ScreenWidth3=192
ScreenHeight3=32
ScreenStyle3=0

[FontEffect]
AutoPara=0
Font1=宋体
Color1=3
AutoSize1=1
AutoSize2=1
AutoSize3=1

[Content]
感谢各位的光临
下次再会
LPF

gbk "$show/rehearsal.lft" <<LFT
$show/开场.txt
$show/月光.lrc
$show/谢幕.lpf
LFT

# Last, so that a home cut short by an error is made again on the next run.
echo "$version" >"$home/rehearsal-version"
