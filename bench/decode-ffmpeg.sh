#!/usr/bin/env bash
# The FFmpeg decoder on one core against FFmpeg's own command-line decoder, on 3-minute
# files of music-like sound in FLAC, AAC (M4A) and Opus:
#   bench_decode FILE   (open, decode on the decoder's thread, read every block)
#   ffmpeg -i FILE -f null -
# Both run on processor 0 alone (taskset), so the decoder's thread and its reader share
# one core. Needs root for the reference packages (installed once). Output: hyperfine
# tables; the FLAC's time divided into 180 s is the real-time factor.
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

zv_install_tools sox ffmpeg hyperfine

zv_install_packages
zv_build build Release "" bench_decode
bin="$ZV_ROOT/build/bin"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Three minutes of music-like sound: two tones under a slow tremolo and some noise.
sox -q -n -r 44100 -c 2 -b 16 "$work/src.wav" synth 180 sine 220 sine 331 synth 180 \
    pinknoise mix tremolo 2.1 80 gain -n -3
ffmpeg -v error -i "$work/src.wav" "$work/track.flac"
ffmpeg -v error -i "$work/src.wav" -c:a aac -b:a 192k "$work/track.m4a"
ffmpeg -v error -i "$work/src.wav" -c:a libopus -b:a 128k "$work/track.opus"

for f in track.flac track.m4a track.opus; do
    hyperfine -N -w 1 -r 7 \
        -n "bench_decode $f" "taskset -c 0 $bin/bench_decode $work/$f" \
        -n "ffmpeg $f" "taskset -c 0 ffmpeg -v error -i $work/$f -f null -"
done
