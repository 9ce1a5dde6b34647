#!/usr/bin/env bash
# The main job: builds both exes, seeds a throwaway Wine prefix (build/demo/wineprefix) with
# leftovers of the add-in (settings files, product folders, registry keys), runs the cleaner's
# dialog there and prints the log it wrote.
#
# On your own display (DISPLAY set) you press OK yourself. Without one, the dialog runs under
# Xvfb, the test driver presses OK, and screenshots go to build/demo/screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/build.sh >/dev/null

export WINEPREFIX=$PWD/build/demo/wineprefix
export WINE_RUN=$PWD/tools/wine/run.sh
# The shipped 32-bit exe, as users get it; wine64 runs it under WOW64.
export CLEANER=$PWD/build/x86/app/TallowbriskCleaner.exe
export DRIVER=$PWD/build/x64/driver/driver.exe
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    export INTERACTIVE=1
fi

tools/wine/with_xvfb.sh bash -c '
    tools/wine/make_prefix.sh "$WINEPREFIX" >/dev/null
    /usr/bin/python3 tools/demo.py
    status=$?
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    exit $status'
