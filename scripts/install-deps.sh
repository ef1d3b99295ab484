#!/usr/bin/env bash
# Installs every Debian package the station, its tools and its tests need, and
# only those that are missing. Works as root or through sudo.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config git
    qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libqt6svg6 qt6-translations-l10n
    libmpg123-dev libkissfft-dev
    fonts-arphic-uming fonts-wqy-zenhei fontconfig
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool x11-utils x11-xserver-utils lame clang-format libxcb1-dev libxcb-xtest0-dev libglib2.0-bin clang libclang-rt-14-dev iproute2 stress-ng
    dpkg-dev scdoc librsvg2-bin lintian desktop-file-utils appstream shared-mime-info man-db dex
    liblo-dev liblo-tools qt6-websockets-dev chromium chromium-driver
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "error: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
