#!/usr/bin/env bash
# Benchmarks the registry cleaner on Wine prefixes holding N extra synthetic COM classes, and
# the preview of a cleaning run against the run itself.
#   tools/bench/registry_bench.sh [BUILD_DIR] [N...]     (defaults: build/x64, 5000 10000 20000)
# BUILD_DIR is a 64-bit build tree; each N gets a fresh prefix in BUILD_DIR/bench-prefix.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/x64}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(5000 10000 20000)

make -C "$build" -j2 registry_bench >/dev/null
bench=$(realpath "$build/tools/bench/registry_bench.exe")
export WINEPREFIX=$(realpath -m "$build/bench-prefix")

for n in "${counts[@]}"; do
    tools/wine/with_xvfb.sh tools/wine/make_prefix.sh "$WINEPREFIX" >/dev/null
    tools/wine/run.sh "$bench" seed "$n"
    /usr/lib/wine/wineserver -w
    echo "extra=$n $(tools/wine/with_xvfb.sh tools/wine/run.sh "$bench" run)"
    # The preview against a real run, on the same classes (the run above removed nothing).
    echo "extra=$n $(tools/wine/with_xvfb.sh tools/wine/run.sh "$bench" compare)"
done
/usr/lib/wine/wineserver -k 2>/dev/null || true
