#!/usr/bin/env bash
# Runs a test of the 32-bit build, or reports it skipped (exit code 77, ctest's SKIP_RETURN_CODE)
# when this machine cannot start 32-bit processes, natively or under emulation
# (tools/wine/kernel32.sh). Under emulation the end-to-end tests' own time limits grow
# (WINE_TIME_SCALE, tests/e2e/wine_harness.py).
set -euo pipefail
IFS=$'\t' read -r mode reason < <("$(dirname "$0")/kernel32.sh" mode)
case $mode in
    none)
        echo "SKIPPED: Wine cannot run the 32-bit build here: $reason"
        exit 77 ;;
    emulated)
        export WINE_TIME_SCALE=${WINE_TIME_SCALE:-10} ;;
esac
exec "$@"
