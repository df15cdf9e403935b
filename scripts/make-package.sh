#!/usr/bin/env bash
# Builds the Debian package velocimo_<version>_<arch>.deb into the current folder: a release
# build for /usr with Debian's hardening flags, without tests and benchmarks, packed by CPack.
# Install it with: sudo apt install ./velocimo_*.deb
set -euo pipefail
out=$PWD
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${VELOCIMO_PACKAGE_BUILD_DIR:-build-package}

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVELOCIMO_TESTS=OFF -DVELOCIMO_BENCH=OFF
cmake --build "$build"
rm -f "$build"/velocimo_*.deb
(cd "$build" && cpack -G DEB)
for deb in "$build"/velocimo_*.deb; do
    if [ "$(realpath "$out")" != "$(realpath "$build")" ]; then
        cp "$deb" "$out/"
    fi
    echo "$out/$(basename "$deb")"
done
