#!/usr/bin/env bash
# Runs every test: the checks of the shipped 32-bit exe, the unit and end-to-end tests of the
# 64-bit twin under Wine (one fresh prefix per run, inside build/x64), and a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

tools/setup.sh
tools/build.sh

status=0
tests/fuzz/run.sh 30 || status=1
ctest --test-dir build/x86 --output-on-failure || status=1
tools/wine/with_xvfb.sh ctest --test-dir build/x64 -j1 --output-on-failure || status=1

echo "test: finished in $(( $(date +%s) - start )) s"
exit $status
