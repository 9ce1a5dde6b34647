#!/usr/bin/env bash
# Benchmarks the folder removal against a path-based walk under Wine.
#   tools/bench/folder_bench.sh [BUILD_DIR] [ROUNDS] [FOLDERS]   (defaults: build/x64, 9, 2000)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/x64}
make -C "$build" -j2 folder_bench >/dev/null
bench=$(realpath "$build/tools/bench/folder_bench.exe")
export WINEPREFIX=$(realpath -m "$build/bench-prefix")
[ -f "$WINEPREFIX/system.reg" ] || tools/wine/with_xvfb.sh tools/wine/make_prefix.sh "$WINEPREFIX" >/dev/null
tools/wine/run.sh "$bench" "${2:-9}" "${3:-2000}"
/usr/lib/wine/wineserver -k 2>/dev/null || true
