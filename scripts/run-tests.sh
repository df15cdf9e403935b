#!/usr/bin/env bash
# Installs the dependencies, builds Velocimo with its tests and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${VELOCIMO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
