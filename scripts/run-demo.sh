#!/usr/bin/env bash
# Shows Velocimo on a simulated receiver: builds the program and velocimo-sim, starts the
# sim on a pseudo-terminal, points a throw-away settings folder's "COM1:" at it with
# AutoConnect on, and runs the program until its window closes. Your own settings are left
# alone; a Velocimo already running is only brought forward (quit it first).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=${VELOCIMO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELOCIMO_BENCH=OFF
cmake --build "$build" --target velocimo velocimo-sim

demo=$(mktemp -d "${TMPDIR:-/tmp}/velocimo-demo.XXXXXX")
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$demo"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$build/bin/velocimo-sim" --link "$demo/gps" "$@" >"$demo/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
    [ -e "$demo/gps" ] && break
    sleep 0.1
done
if [ ! -e "$demo/gps" ]; then
    echo "run-demo: velocimo-sim did not start:" >&2
    cat "$demo/sim.out" >&2
    exit 1
fi

mkdir -p "$demo/config/Korvane"
cat >"$demo/config/Korvane/Velocimo.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo]
"AutoConnect"=dword:00000001

[HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo\\Ports]
"COM1:"="$demo/gps"
REG

echo "run-demo: receiver at $demo/gps; close the window (or Ctrl+Q) to stop." >&2
XDG_CONFIG_HOME="$demo/config" "$build/bin/velocimo"
