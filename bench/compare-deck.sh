#!/usr/bin/env bash
# Side-by-side timing of the deck engine against Debian's reference programs on one
# 3-minute 192 kbps MP3 and on a folder of four such files:
#   (a) decoding only            bench_decode        vs  mpg123 -w /dev/null
#   (b) decoding and analysis    zorvendal-analyse   vs  mpg123 -w /dev/null
#   (c) decoding, analysis and rendering at speed 4300, plain and Master Tempo
#                                bench_deck_render   vs  mpg123 + soundstretch -tempo=5
# Needs root for the reference packages (installed once). Output: hyperfine tables.
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

zv_install_tools mpg123 sox soundstretch lame hyperfine

zv_install_packages
zv_build build Release ""
bin="$ZV_ROOT/build/bin"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Three minutes of music-like sound: two tones under a slow tremolo and some noise.
sox -q -n -r 44100 -c 2 "$work/src.wav" synth 180 sine 220 sine 331 synth 180 pinknoise \
    mix tremolo 2.1 80 gain -n -3
lame --quiet -b 192 "$work/src.wav" "$work/track.mp3"
mkdir "$work/folder"
for i in 1 2 3 4; do cp "$work/track.mp3" "$work/folder/track$i.mp3"; done
f="$work/track.mp3"

hyperfine -N -w 1 -r 7 \
    -n "(a) bench_decode" "$bin/bench_decode $f" \
    -n "(a/b) mpg123 decode" "mpg123 -q -w /dev/null $f" \
    -n "(b) zorvendal-analyse" "$bin/zorvendal-analyse $f"

hyperfine -w 1 -r 5 \
    -n "(b) zorvendal-analyse folder" "$bin/zorvendal-analyse $work/folder/track1.mp3 $work/folder/track2.mp3 $work/folder/track3.mp3 $work/folder/track4.mp3" \
    -n "(b) mpg123 folder" "for t in $work/folder/*.mp3; do mpg123 -q -w /dev/null \$t; done"

hyperfine -w 1 -r 5 \
    -n "(c) deck plain 4300" "$bin/bench_deck_render $f 4300 plain" \
    -n "(c) deck master tempo 4300" "$bin/bench_deck_render $f 4300 tempo" \
    -n "(c) deck master tempo 4300 classic" "$bin/bench_deck_render $f 4300 tempo classic" \
    -n "(c) mpg123 + soundstretch" "mpg123 -q -w $work/dec.wav $f && soundstretch $work/dec.wav $work/out.wav -tempo=5 >/dev/null 2>&1"
