#!/usr/bin/env bash
# Runs every test: a short fuzzing run, and the unit and end-to-end tests under Wine of both
# builds: the shipped 32-bit exe (build/x86, as WOW64 processes, with the checks of its file)
# and its 64-bit twin (build/x64, the scenarios whose outcome can differ between the builds,
# see tests/e2e/CMakeLists.txt). The three run side by side, and so do the tests of each build
# tree, each test in a fresh Wine prefix of its own (cmake/WineTests.cmake). Each line of a
# build tree's tests begins with the tree's name.
#   TEST_JOBS=N tools/test.sh     N tests at a time in each tree (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
jobs=${TEST_JOBS:-2}

tools/setup.sh
# The 32-bit tree, whose tests take longest, first; the twin builds while they run.
tools/build.sh x86

suite() {
    tools/wine/with_xvfb.sh ctest --test-dir "build/$1" -j"$jobs" --output-on-failure 2>&1 | sed -u "s/^/$1: /"
}
fuzz_log=$(mktemp)
tests/fuzz/run.sh 30 >"$fuzz_log" 2>&1 &
fuzz=$!
suite x86 &
x86=$!
{ tools/build.sh x64 2>&1 | sed -u "s/^/x64: /" && suite x64; } &
x64=$!

status=0
wait $x86 || { status=1; echo "test: build/x86's tests FAILED"; }
wait $x64 || { status=1; echo "test: build/x64's tests FAILED"; }
fuzz_status=0
wait $fuzz || fuzz_status=$?
cat "$fuzz_log"
rm -f "$fuzz_log"
[ $fuzz_status -eq 0 ] || { status=1; echo "test: the fuzzing run FAILED"; }
# ctest lists skipped tests without their output: say why the 32-bit ones were.
if ! reason=$(tools/wine/needs_32bit.sh true); then
    echo "test: the 32-bit build's Wine tests were skipped. $reason"
fi

echo "test: finished in $(( $(date +%s) - start )) s"
exit $status
