#!/usr/bin/env bash
# Analysis of a whole library ahead of play: 200 three-minute 192 kbps MP3 files through
# `zorvendal-analyse --store` (the decks' decoders and beat analyser on every core, the
# results written into a scratch database), against `mpg123 -w /dev/null` decoding the
# same files one after the other. Prints both times and the speed over real time.
# The files are copies of one track, which keeps the disk out of the figure (all of them
# fit in the cache); the work per file is the same as for different music.
# Needs root for the reference packages (installed once).
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

zv_install_tools mpg123 sox lame bc

zv_install_packages
zv_build build Release ""
bin="$ZV_ROOT/build/bin"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
count=${1:-200}

sox -q -n -r 44100 -c 2 "$work/src.wav" synth 180 sine 220 sine 331 synth 180 pinknoise \
    mix tremolo 2.1 80 gain -n -3
lame --quiet -b 192 "$work/src.wav" "$work/track.mp3"
mkdir "$work/library"
for ((i = 0; i < count; ++i)); do cp "$work/track.mp3" "$work/library/track$i.mp3"; done
cat "$work"/library/*.mp3 >/dev/null # into the cache for both

seconds() { # runs the command, prints its wall time in seconds
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
audio=$((count * 180))
ours=$(seconds "$bin/zorvendal-analyse" --store --database "$work/db" "$work"/library/*.mp3)
theirs=$(seconds sh -c "for f in '$work'/library/*.mp3; do mpg123 -q -w /dev/null \"\$f\"; done")
printf 'zorvendal-analyse --store: %s s for %d files, %.0f x real time\n' "$ours" "$count" \
    "$(echo "$audio / $ours" | bc -l)"
printf 'mpg123 -w /dev/null:       %s s for %d files, %.0f x real time\n' "$theirs" "$count" \
    "$(echo "$audio / $theirs" | bc -l)"
