#!/usr/bin/env bash
# Installs everything Velocimo needs to build, run and test on Debian 12.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-dev clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-multimedia-dev qt6-tools-dev qt6-tools-dev-tools qt6-qpa-plugins
    libqt6svg6 qt6-svg-dev libgl-dev
    fonts-wine fonts-dejavu-core
    xvfb xauth socat sox locales tzdata python3
    gpsd gpsbabel libxml2-utils
    dpkg-dev file lintian desktop-file-utils appstream
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    as_root apt-get -o DPkg::Lock::Timeout=600 update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        -o DPkg::Lock::Timeout=600 "${missing[@]}"
fi

# A comma-decimal locale, so the tests can prove that numbers never follow it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    as_root sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
fi
