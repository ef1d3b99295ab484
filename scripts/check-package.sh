#!/usr/bin/env bash
# Checks a built package of the station the way a distribution would:
#   scripts/check-package.sh subtitle-station_VERSION_ARCH.deb
# lintian must report no error (its warnings are printed), the menu entry must
# pass desktop-file-validate and the AppStream metadata appstreamcli validate
# (without network), and the package must hold the three programs, their
# manual pages and the operator's manual. Exits non-zero on the first failure.
set -euo pipefail
deb=${1:?usage: check-package.sh FILE.deb}
[[ -f $deb ]] || { echo "check-package.sh: no such file: $deb" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"

status=0
fail() {
    echo "check-package.sh: $*" >&2
    status=1
}

for path in usr/bin/subtitle-station usr/bin/subtitle-station-cli usr/bin/led-card-sim \
    usr/share/man/man1/subtitle-station.1.gz usr/share/man/man1/subtitle-station-cli.1.gz \
    usr/share/man/man1/led-card-sim.1.gz \
    usr/share/applications/org.subtitlestation.Station.desktop \
    usr/share/metainfo/org.subtitlestation.Station.metainfo.xml \
    usr/share/mime/packages/subtitle-station.xml \
    usr/share/icons/hicolor/scalable/apps/org.subtitlestation.Station.svg \
    usr/share/icons/hicolor/48x48/apps/org.subtitlestation.Station.png \
    usr/share/icons/hicolor/256x256/apps/org.subtitlestation.Station.png \
    "usr/share/subtitle-station/舞台字幕机使用说明.html" \
    usr/share/doc/subtitle-station/copyright usr/share/doc/subtitle-station/changelog.gz \
    usr/share/doc/subtitle-station/fonts-licences.txt; do
    [[ -f $work/root/$path ]] || fail "missing from the package: /$path"
done

desktop-file-validate "$work/root/usr/share/applications/org.subtitlestation.Station.desktop" ||
    fail "desktop-file-validate found errors"
appstreamcli validate --no-net \
    "$work/root/usr/share/metainfo/org.subtitlestation.Station.metainfo.xml" ||
    fail "appstreamcli validate found problems"

# lintian's tags E: are errors; W: and below are printed for the record. It
# exits 1 when it found errors and 2 when it could not check at all.
lintian_status=0
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || lintian_status=$?
cat "$work/lintian.txt"
if ((lintian_status > 1)); then
    fail "lintian could not check the package"
elif ((lintian_status == 1)) || grep -q '^E: ' "$work/lintian.txt"; then
    fail "lintian reports errors"
fi
exit "$status"
