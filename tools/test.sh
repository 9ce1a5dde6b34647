#!/usr/bin/env bash
# Runs every test: a short fuzzing run, and the unit and end-to-end tests under Wine of both
# builds, the shipped 32-bit exe (build/x86, as WOW64 processes, with the checks of its file)
# and its 64-bit twin (build/x64). The three run side by side, and so do the tests of each build
# tree, each test in a fresh Wine prefix of its own (cmake/WineTests.cmake). Each line of a
# build tree's tests begins with the tree's name.
#
# Which build runs which scenario depends on how this machine starts Wine's 32-bit half
# (tools/wine/kernel32.sh), by the labels of cmake/WineTests.cmake:
#   natively       the shipped exe runs every scenario, the twin those that can differ
#   under emulation the twin runs every scenario, the shipped exe the core few (20 times slower)
#   not at all     the twin runs every scenario; the shipped exe only its image's checks
# The closing lines say which build ran which scenarios, and the run fails if one ran in neither
# (tools/test_split.py).
#   TEST_JOBS=N tools/test.sh     N tests at a time in each tree (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
jobs=${TEST_JOBS:-2}

tools/setup.sh
IFS=$'\t' read -r mode reason < <(tools/wine/kernel32.sh mode)
case $mode in
    native) x86_labels=(); x64_labels=(-L differs) ;;
    *) x86_labels=(-L core); x64_labels=() ;;
esac
echo "test: Wine's 32-bit half runs $mode here: $reason"

# One seeded prefix for both trees' tests, made anew for each run while the 32-bit tree builds
# (the tests' fixture waits for it); then the twin builds while the 32-bit tree's tests run.
rm -rf build/wineprefix build/wineprefix.lock
mkdir -p build
seed_log=build/wineprefix.log
tools/wine/with_xvfb.sh tools/wine/seed_prefix.sh build/wineprefix >"$seed_log" 2>&1 &
seed=$!
tools/build.sh x86

suite() {
    local tree=$1
    shift
    rm -f "build/$tree/results.xml"
    tools/wine/with_xvfb.sh ctest --test-dir "build/$tree" -j"$jobs" --output-on-failure \
        --output-junit "$PWD/build/$tree/results.xml" "$@" 2>&1 | sed -u "s/^/$tree: /"
}
fuzz_log=$(mktemp)
tests/fuzz/run.sh 30 >"$fuzz_log" 2>&1 &
fuzz=$!
suite x86 "${x86_labels[@]}" &
x86=$!
{ tools/build.sh x64 2>&1 | sed -u "s/^/x64: /" && suite x64 "${x64_labels[@]}"; } &
x64=$!

status=0
wait $seed || { status=1; echo "test: seeding the Wine prefix FAILED:"; cat "$seed_log"; }
wait $x86 || { status=1; echo "test: build/x86's tests FAILED"; }
wait $x64 || { status=1; echo "test: build/x64's tests FAILED"; }
fuzz_status=0
wait $fuzz || fuzz_status=$?
cat "$fuzz_log"
rm -f "$fuzz_log"
[ $fuzz_status -eq 0 ] || { status=1; echo "test: the fuzzing run FAILED"; }

/usr/bin/python3 tools/test_split.py --mode "$mode" --reason "$reason" build/x86 build/x64 || status=1
echo "test: finished in $(( $(date +%s) - start )) s"
exit $status
