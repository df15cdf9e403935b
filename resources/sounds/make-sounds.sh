#!/bin/sh
# Rebuilds the four shipped alarm sounds (16-bit PCM mono WAV, 22050 Hz) with sox.
# Soft sine tones with short fades, so none of them clicks or shrills:
#   fix.wav      rising pair     (fix gained)
#   lostfix.wav  falling pair    (fix lost)
#   warn.wav     two mid beeps   (nearing the limit)
#   over.wav     three high beeps (over the limit)
# Dither is off so the files come out the same on every run.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# tone NAME SECONDS FREQUENCY: one sine tone with 10 ms fade-in and 40 ms fade-out.
tone() {
    sox -D -n -r 22050 -b 16 -c 1 "$tmp/$1.wav" synth "$2" sine "$3" \
        fade h 0.01 "$2" 0.04 vol 0.5
}
gap() {
    sox -D -n -r 22050 -b 16 -c 1 "$tmp/$1.wav" trim 0 "$2"
}

tone fixLow 0.14 660
tone fixHigh 0.22 880
sox -D "$tmp/fixLow.wav" "$tmp/fixHigh.wav" fix.wav

tone lostHigh 0.14 880
tone lostLow 0.26 587
sox -D "$tmp/lostHigh.wav" "$tmp/lostLow.wav" lostfix.wav

tone warnBeep 0.12 990
gap warnGap 0.08
sox -D "$tmp/warnBeep.wav" "$tmp/warnGap.wav" "$tmp/warnBeep.wav" warn.wav

tone overBeep 0.09 1320
gap overGap 0.05
sox -D "$tmp/overBeep.wav" "$tmp/overGap.wav" "$tmp/overBeep.wav" "$tmp/overGap.wav" \
    "$tmp/overBeep.wav" over.wav
