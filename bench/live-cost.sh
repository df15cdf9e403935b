#!/usr/bin/env bash
# The live program's running cost: velocimo (offscreen) connected to velocimo-sim's 1 Hz
# drive for SECONDS (default 60). Prints its CPU seconds, wake-ups per second (voluntary
# context switches of all its threads, from /proc) and system calls per second (a second run
# under strace -c -f). Where gpsd, xgpsspeed and Xvfb are installed (apt-get install gpsd
# gpsd-clients xvfb), it then runs xgpsspeed on the same drive through gpsd, on a virtual
# display, and prints its CPU seconds beside: runs vary by several percent, so compare the
# medians of a few. Needs strace (apt-get install strace). Not part of CI.
# usage: bench/live-cost.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-60}
program="$build/bin/velocimo"
sim="$build/bin/velocimo-sim"
for f in "$program" "$sim"; do [ -x "$f" ] || { echo "no $f: build first" >&2; exit 1; }; done
if ! command -v strace >/dev/null; then
    if [ "$(id -u)" = 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends strace >/dev/null
    else
        echo "needs strace: apt-get install strace" >&2
        exit 1
    fi
fi

dir=$(mktemp -d /tmp/velocimo-live-XXXXXX)
mkdir -p "$dir/run" "$dir/config/Korvane"
chmod 700 "$dir/run"
sim_pid=
peers=()
cleanup() {
    for p in "${peers[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
"$sim" --link "$dir/gps" >/dev/null 2>"$dir/sim.err" &
sim_pid=$!
for _ in $(seq 50); do [ -e "$dir/gps" ] && break; sleep 0.1; done
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo]\r\n"AutoConnect"=dword:00000001\r\n\r\n[HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo\\Ports]\r\n"COM1:"="%s"\r\n' \
    "$dir/gps" >"$dir/config/Korvane/Velocimo.reg"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config"

switches() { # voluntary context switches of every thread of $1
    cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ {s += $2} END {print s + 0}'
}
cpuns() { # nanoseconds on the CPU of every thread of $1 (schedstat: finer than clock ticks)
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f\n", s}'
}

# CPU and wake-ups over SECONDS after a few seconds of start-up; then the system calls over
# another SECONDS, strace attached to every thread.
"$program" >/dev/null 2>"$dir/velocimo.err" &
pid=$!
sleep 5
s0=$(switches $pid)
t0=$(cpuns $pid)
sleep "$seconds"
s1=$(switches $pid)
t1=$(cpuns $pid)
attach=()
for task in /proc/$pid/task/*; do attach+=(-p "${task##*/}"); done
timeout -s INT "$seconds" strace -c -f -o "$dir/strace.txt" "${attach[@]}" 2>/dev/null || true
kill $pid
wait $pid 2>/dev/null || true
calls=$(awk '$1 ~ /^[0-9.]+$/ && NF >= 5 && $NF != "total" {s += $4} END {print s + 0}' "$dir/strace.txt")

echo "velocimo, ${seconds} s connected to velocimo-sim at 1 Hz:"
awk -v t="$((t1 - t0))" -v s="$((s1 - s0))" -v n="$seconds" 'BEGIN {
    printf "  CPU seconds           %.4f\n", t / 1e9
    printf "  wake-ups per second   %.1f\n", s / n
}'
awk -v c="$calls" -v n="$seconds" 'BEGIN { printf "  system calls per sec  %.1f  (strace -c -f)\n", c / n }'
echo "  calls per second by name:"
awk -v n="$seconds" '$1 ~ /^[0-9.]+$/ && NF >= 5 && $NF != "total" {printf "    %-16s %.1f\n", $NF, $4 / n}' "$dir/strace.txt" | head -8

# The peer: xgpsspeed, fed by gpsd from the same simulator, drawing on a virtual display.
for tool in gpsd xgpsspeed Xvfb; do
    command -v "$tool" >/dev/null || { echo "(no $tool: xgpsspeed not measured)"; exit 0; }
done
display=:$((90 + RANDOM % 100))
port=$((20000 + RANDOM % 20000))
Xvfb "$display" -screen 0 640x480x24 >/dev/null 2>&1 &
peers+=($!)
gpsd -N -n -b -S "$port" -F "$dir/gpsd.sock" "$dir/gps" >/dev/null 2>&1 &
peers+=($!)
sleep 1
DISPLAY=$display xgpsspeed --speedunits kmh "localhost:$port" >/dev/null 2>&1 &
peer=$!
peers+=("$peer")
sleep 5
p0=$(cpuns $peer)
sleep "$seconds"
p1=$(cpuns $peer)
awk -v v="$((t1 - t0))" -v p="$((p1 - p0))" -v n="$seconds" 'BEGIN {
    printf "xgpsspeed (gpsd 3.22 clients), %d s on the same drive:\n", n
    printf "  CPU seconds           %.4f\n", p / 1e9
    if (p > 0) printf "  velocimo / xgpsspeed  %.2f\n", v / p
}'
