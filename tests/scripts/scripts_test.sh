#!/usr/bin/env bash
# Runs the suite runner of scripts/test on tiny ctest projects and the layer check on a
# copy of the tree with one include that points up.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../scripts/common.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"
failures=0
expect() { # WHAT EXPECTED_RC ACTUAL_RC
    if [[ "$2" == 0 && "$3" != 0 || "$2" != 0 && "$3" == 0 ]]; then
        echo "FAIL: $1 (expected exit ${2/1/non-zero}, got $3)"
        failures=$((failures + 1))
    else
        echo "ok: $1"
    fi
}

project() { # DIR TEST-COMMAND...: a ctest project whose tests run the given commands
    local dir="$1" i=0
    shift
    mkdir -p "$dir"
    {
        echo "cmake_minimum_required(VERSION 3.25)"
        echo "project(fixture NONE)"
        echo "enable_testing()"
        for cmd in "$@"; do
            i=$((i + 1))
            echo "add_test(NAME t$i COMMAND sh -c \"$cmd\")"
        done
    } >"$dir/CMakeLists.txt"
    cmake -S "$dir" -B "$dir/build" >/dev/null || exit 2
}

project "$work/pass" "exit 0" "exit 0"
project "$work/fail" "exit 0" "exit 1"
project "$work/empty"

run_suite pass "$work/pass/build" >/dev/null
expect "a suite of passing tests passes" 0 $?
out="$(run_suite fail "$work/fail/build")"
expect "a suite with one failing test fails" 1 $?
grep -q "^fail: 50% tests passed" <<<"$out" || { echo "FAIL: no summary line in: $out"; failures=$((failures + 1)); }
run_suite empty "$work/empty/build" >/dev/null
expect "a suite that found no tests fails" 1 $?

# The whole test command's way of combining suites: one failing suite fails the run.
(
    status=0
    run_suite pass "$work/pass/build" >/dev/null || status=1
    run_suite fail "$work/fail/build" >/dev/null || status=1
    run_suite pass "$work/pass/build" >/dev/null || status=1
    exit $status
)
expect "a later passing suite does not hide an earlier failure" 1 $?

# The layer check on a copy of the tree.
tree="$work/tree"
mkdir -p "$tree"
(cd "$ZV_ROOT" && cp -r core audio library app tools bench "$tree/" && { [[ -d ui ]] && cp -r ui "$tree/" || true; })
"$ZV_ROOT/scripts/check-layers" "$tree" >/dev/null
expect "the tree as it is keeps its layers" 0 $?
echo '#include "audio/deck/Deck.h"' >>"$tree/audio/card/SoundCard.h"
"$ZV_ROOT/scripts/check-layers" "$tree" >/dev/null
expect "a sound card file that includes a deck header is refused" 1 $?
sed -i '$d' "$tree/audio/card/SoundCard.h"
echo '#include "app/MainWindow.h"' >>"$tree/library/Playlist.cpp"
"$ZV_ROOT/scripts/check-layers" "$tree" >/dev/null
expect "the library including the application shell is refused" 1 $?

((failures == 0))
