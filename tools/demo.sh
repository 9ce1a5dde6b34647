#!/usr/bin/env bash
# The main job: builds the exe, seeds a throwaway Wine prefix (build/demo/wineprefix) with
# leftovers of the add-in (settings files, product folders, registry keys), runs the cleaner's
# dialog there and prints the log it wrote.
#
# It runs the shipped 32-bit exe, natively where the kernel starts 32-bit processes, else under
# emulation (tools/wine/kernel32.sh, about 20 times slower); where neither works, its 64-bit
# twin. On your own display (DISPLAY set) you press OK yourself. Without one, the dialog runs
# under Xvfb, the test driver presses OK, and screenshots go to build/demo/screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
IFS=$'\t' read -r mode reason < <(tools/wine/kernel32.sh mode)
case $mode in
    native) tree=x86; echo "demo: runs the shipped 32-bit exe natively: $reason" ;;
    emulated) tree=x86; export WINE_TIME_SCALE=10
        echo "demo: runs the shipped 32-bit exe under emulation, because $reason; expect a few minutes" ;;
    *) tree=x64; echo "demo: runs the 64-bit twin in place of the shipped exe, because $reason" ;;
esac
if ! build_log=$(tools/build.sh --exe "$tree" 2>&1); then
    echo "$build_log" | tail -20
    echo "demo: FAILED: the build failed (above); fix it, then run tools/demo.sh again"
    exit 1
fi

export WINEPREFIX=$PWD/build/demo/wineprefix
export WINE_RUN=$PWD/tools/wine/run.sh
export CLEANER=$PWD/build/$tree/app/TallowbriskCleaner.exe
export DRIVER=$PWD/build/x64/driver/driver.exe
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    export INTERACTIVE=1
fi

tools/wine/with_xvfb.sh bash -c '
    if ! tools/wine/make_prefix.sh "$WINEPREFIX" >/dev/null; then
        echo "demo: FAILED: Wine could not make the prefix (above); run tools/setup.sh, then tools/demo.sh again"
        exit 1
    fi
    /usr/bin/python3 tools/demo.py
    status=$?
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    exit $status'
