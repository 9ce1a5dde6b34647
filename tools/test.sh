#!/usr/bin/env bash
# Runs every test: a short fuzzing run, then the unit and end-to-end tests under Wine of both
# builds, each in a fresh prefix inside its build tree: the shipped 32-bit exe (build/x86, as
# WOW64 processes, with the checks of its file) and its 64-bit twin (build/x64).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

tools/setup.sh
tools/build.sh

status=0
tests/fuzz/run.sh 30 || status=1
tools/wine/with_xvfb.sh bash -c '
    status=0
    ctest --test-dir build/x86 -j1 --output-on-failure || status=1
    ctest --test-dir build/x64 -j1 --output-on-failure || status=1
    exit $status' || status=1
# ctest lists skipped tests without their output: say why the 32-bit ones were.
if ! reason=$(tools/wine/needs_32bit.sh true); then
    echo "test: the 32-bit build's Wine tests were skipped. $reason"
fi

echo "test: finished in $(( $(date +%s) - start )) s"
exit $status
