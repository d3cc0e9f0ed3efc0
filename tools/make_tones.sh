#!/bin/sh
# Makes the music tests' own sounds: a 2 s 440 Hz MP3 and a 1 s 660 Hz WAV (44.1 kHz,
# 16-bit mono), each a plain sine with short fades so its edges are clean to measure.
# Usage: tools/make_tones.sh OUTDIR   (needs sox and lame)
set -eu
out=${1:?usage: make_tones.sh OUTDIR}
mkdir -p "$out"
sox -n -r 44100 -b 16 -c 1 "$out/tone440.wav" synth 2.0 sine 440 fade 0.01 2.0 0.01 vol 0.5
lame --quiet -b 128 "$out/tone440.wav" "$out/tone440.mp3"
rm -f "$out/tone440.wav"
sox -n -r 44100 -b 16 -c 1 "$out/tone660.wav" synth 1.0 sine 660 vol 0.5
# Not audio at all, yet named like music.
printf 'this is not audio\n' > "$out/not audio.mp3"
printf 'this is not audio\n' > "$out/not audio.wav"
