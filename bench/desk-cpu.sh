#!/usr/bin/env bash
# The whole program's cost on this machine: two demo tracks playing on the virtual sound
# card with the rhythm window running, in a real X window under Xvfb. Prints the CPU
# share of one core over SECONDS (default 30) from /proc and the resident memory.
# Installs Xvfb when missing (as root).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
command -v Xvfb >/dev/null || apt-get install -y -qq xvfb >/dev/null
display=":77"
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
out="$(mktemp --suffix=.png)"
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$root/build/bin/render-desk" "$out" $((seconds + 8)) &
pid=$!
sleep 6 # demo tracks written, both decks playing
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
start=$(ticks)
sleep "$seconds"
end=$(ticks)
hz=$(getconf CLK_TCK)
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$pid/status")
wait $pid
awk -v t=$((end - start)) -v hz="$hz" -v s="$seconds" -v rss="$rss" 'BEGIN {
    printf "CPU %.1f %% of one core over %d s; resident memory %.0f MB\n", 100 * t / hz / s, s, rss / 1024 }'
rm -f "$out"
