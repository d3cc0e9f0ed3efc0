#!/bin/sh
# Repeats the music loop's teardown (two loops side by side, stopped at random moments and
# around the loop points) N times and prints "N runs, H hangs". Short tones of our own:
# a 0.25 s WAV and a 0.25 s MP3.
# Usage: tools/soak_music_loop.sh [N] [BUILD_DIR]   (needs sox and lame; default 200 runs)
set -eu
runs=${1:-200}
here=$(cd "$(dirname "$0")" && pwd)
build=${2:-$here/../build/linux}
program=$build/bin/soak_music_loop
[ -x "$program" ] || { echo "no $program: build the linux preset first" >&2; exit 2; }
tones=$(mktemp -d)
trap 'rm -rf "$tones"' EXIT
sox -n -r 44100 -b 16 -c 1 "$tones/a.wav" synth 0.25 sine 440 vol 0.5
sox -n -r 44100 -b 16 -c 1 "$tones/b.wav" synth 0.25 sine 660 vol 0.5
lame --quiet -b 128 "$tones/b.wav" "$tones/b.mp3"
SOAK_LOOP_MS=250 "$program" "$runs" "$tones/a.wav" "$tones/b.mp3"
