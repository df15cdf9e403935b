#!/usr/bin/env bash
# Builds the sentence fuzzer with clang and runs it for a bounded time (seconds, default 60)
# from a seed corpus cut from the receiver captures.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELOCIMO_GUI=OFF -DVELOCIMO_TESTS=OFF -DVELOCIMO_BENCH=OFF -DVELOCIMO_FUZZ=ON \
    -DVELOCIMO_SANITIZE=fuzzer -DVELOCIMO_WERROR=OFF >/dev/null
cmake --build "$build" --target fuzz_sentences

corpus="$build/corpus"
rm -rf "$corpus"
mkdir -p "$corpus"
captures=tests/data/nmea
n=0
for log in "$captures"/*.log; do
    [ -f "$log" ] || continue
    # 2 KB pieces: long enough for whole epochs, short enough to mutate quickly.
    split -b 2048 -a 4 "$log" "$corpus/$(basename "$log" .log)-"
    n=$((n + 1))
done
echo "seed corpus: $(ls "$corpus" | wc -l) pieces from $n captures"
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/fuzz/fuzz_sentences" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$build/" "$corpus"
