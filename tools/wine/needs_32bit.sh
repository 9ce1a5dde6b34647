#!/usr/bin/env bash
# Runs a test of the 32-bit build, or reports it skipped (exit code 77, ctest's SKIP_RETURN_CODE)
# when this machine cannot start 32-bit processes: a kernel without 32-bit support, or no
# wine32:i386. Wine's 32-bit loader needs the 32-bit C library's loader to start.
set -euo pipefail
loader=${LOADER32:-/lib/ld-linux.so.2}
if ! "$loader" --version >/dev/null 2>&1; then
    echo "SKIPPED: this machine cannot start 32-bit processes ('$loader --version' fails), so Wine cannot run the 32-bit build"
    exit 77
fi
exec "$@"
