#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that the desktop gets everything it
# looks for there, under one application id, and that the programs run from it.
# Usage: install-tree.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1
id=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
    bin/velocimo bin/velocimo-sim bin/velocimo-replay
    share/velocimo/sounds/fix.wav share/velocimo/sounds/lostfix.wav
    share/velocimo/sounds/warn.wav share/velocimo/sounds/over.wav
    share/velocimo/screenshots/dashboard-day.png share/velocimo/screenshots/compass-night.png
    "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"
    "share/icons/hicolor/scalable/apps/$id.svg"
    "share/icons/hicolor/48x48/apps/$id.png" "share/icons/hicolor/64x64/apps/$id.png"
    "share/icons/hicolor/128x128/apps/$id.png" "share/icons/hicolor/256x256/apps/$id.png"
    share/man/man1/velocimo.1.gz share/man/man1/velocimo-sim.1.gz
    share/man/man1/velocimo-replay.1.gz
    share/doc/velocimo/copyright share/doc/velocimo/changelog.gz
)
status=0
for f in "${expected[@]}"; do
    if [ ! -s "$prefix/$f" ]; then
        echo "missing: $f" >&2
        status=1
    fi
done
for size in 48 64 128 256; do
    got=$(file -b "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png" 2>/dev/null || true)
    case "$got" in
    "PNG image data, $size x $size,"*) ;;
    *) echo "icon ${size}x${size} is: $got" >&2; status=1 ;;
    esac
done

desktop="$prefix/share/applications/$id.desktop"
grep -qx "Icon=$id" "$desktop" || { echo "the desktop entry's icon is not $id" >&2; status=1; }
grep -qx "Exec=velocimo" "$desktop" || { echo "the desktop entry does not start velocimo" >&2; status=1; }
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
grep -qF "<id>$id</id>" "$metainfo" || { echo "the metainfo's id is not $id" >&2; status=1; }
grep -qF ">$id.desktop</launchable>" "$metainfo" || { echo "the metainfo launches something else" >&2; status=1; }
desktop-file-validate "$desktop" || status=1
appstreamcli validate --no-net "$metainfo" >/dev/null || { appstreamcli validate --no-net "$metainfo"; status=1; }

for page in velocimo velocimo-sim velocimo-replay; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "$page(1): $warnings" >&2
        status=1
    fi
done

version=$("$prefix/bin/velocimo" --version)
[ "$version" = "Velocimo 1.1" ] || { echo "velocimo --version said: $version" >&2; status=1; }
"$prefix/bin/velocimo-replay" --help >/dev/null || status=1
"$prefix/bin/velocimo-sim" --help >/dev/null || status=1
exit $status
