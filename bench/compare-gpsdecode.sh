#!/usr/bin/env bash
# velocimo-replay against gpsd's gpsdecode on one log of 1,000,625 GP RMC/GGA/GSA sentences
# cut from the receiver captures: sentences per second (median of interleaved runs), the
# ratios, and the peak memory of each. Needs gpsdecode (apt-get install gpsd-clients) and
# GNU time; installs them when missing and run as root. Not part of CI.
# usage: bench/compare-gpsdecode.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
replay=${REPLAY:-$build/bin/velocimo-replay}
[ -x "$replay" ] || { echo "no $replay: build first" >&2; exit 1; }
if ! command -v gpsdecode >/dev/null || [ ! -x /usr/bin/time ]; then
    if [ "$(id -u)" = 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends gpsd-clients time >/dev/null
    else
        echo "needs gpsdecode and GNU time: apt-get install gpsd-clients time" >&2
        exit 1
    fi
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Every GP RMC/GGA/GSA line of the captures (1601), 625 times over.
cat tests/data/nmea/*.log | tr -d '\r' | grep -aE '^\$GP(RMC|GGA|GSA),' | sed 's/$/\r/' >"$work/one"
per=$(wc -l <"$work/one")
for ((i = 0; i < 625; i++)); do cat "$work/one"; done >"$work/log"
total=$(wc -l <"$work/log")
echo "log: $total sentences ($per from the captures, 625 times), $(du -m "$work/log" | cut -f1) MB"

names=("velocimo-replay (JSON)" "velocimo-replay --csv --fields Satellites" "gpsdecode")
cmds=("$replay $work/log" "$replay --csv --fields Satellites $work/log" "gpsdecode")

# Seconds of one run; gpsdecode reads standard input.
timed() {
    local i=$1 log=$2
    local start end
    start=$(date +%s.%N)
    if [ "$i" = 2 ]; then gpsdecode <"$log" >/dev/null; else ${cmds[$i]/$work\/log/$log} >/dev/null; fi
    end=$(date +%s.%N)
    calc "$end - $start"
}
calc() { awk "BEGIN { printf \"%.6f\", $* }"; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

declare -a times0 times1 times2
for ((r = 0; r < runs; r++)); do
    for i in 0 1 2; do
        t=$(timed $i "$work/log")
        eval "times$i+=($t)"
    done
done
declare -a rate
for i in 0 1 2; do
    eval "m=\$(printf '%s\n' \"\${times$i[@]}\" | median)"
    rate[$i]=$(calc "$total / $m")
done

peak() { # KB of the largest resident set
    local i=$1 log=$2
    if [ "$i" = 2 ]; then
        /usr/bin/time -f %M gpsdecode <"$log" 2>&1 >/dev/null | tail -1
    else
        /usr/bin/time -f %M ${cmds[$i]/$work\/log/$log} 2>&1 >/dev/null | tail -1
    fi
}
for n in 1000 10000 100000; do head -n $n "$work/log" >"$work/log$n"; done
cp "$work/log" "$work/log1000000" # the whole log (1,000,625)

echo
printf '%-44s %12s %9s %s\n' "program" "sentences/s" "vs gpsd" "peak MB at 1k / 10k / 100k / 1M"
for i in 0 1 2; do
    mem=""
    for n in 1000 10000 100000 1000000; do
        kb=$(peak $i "$work/log$n")
        mem+="$(printf '%.1f' "$(calc "$kb / 1024")") / "
    done
    printf '%-44s %12.0f %8.2fx %s\n' "${names[$i]}" "${rate[$i]}" \
        "$(calc "${rate[$i]} / ${rate[2]}")" "${mem% / }"
done
echo "(median of $runs interleaved runs each)"
