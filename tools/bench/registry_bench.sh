#!/usr/bin/env bash
# Benchmarks the registry cleaner on Wine prefixes holding N extra synthetic COM classes.
#   tools/bench/registry_bench.sh [BUILD_DIR] [N...]     (defaults: build/x64, 2000 5000 20000)
# BUILD_DIR is a build tree with the registry_bench target (a 32-bit one runs under WOW64,
# where both registry views are seeded and cleaned). Each N gets a fresh prefix in
# BUILD_DIR/bench-prefix; there, the reference (each rule searching for itself) and the
# cleaner each run a whole session in a process of their own. The table gives a session's
# time as a multiple of one least-work walk of HKCR\CLSID (per view), and each process's
# peak memory. REPEATS (3) is how many walks and sessions each process times in turns; the
# fastest of each counts. BENCH_EXE names a registry_bench.exe built elsewhere (BUILD_DIR then
# only holds the prefix).
# Then, on the same classes, the preview of a cleaning run is timed against the run itself.
# Last, on the last prefix, a session that removes LOG_CLASSES (1500) product classes, with the
# backup, is timed with the log written through against the buffered log it had before.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/x64}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(2000 5000 20000)

repeats=${REPEATS:-3}
if [ -n "${BENCH_EXE:-}" ]; then
    bench=$(realpath "$BENCH_EXE")
else
    cmake --build "$build" -j2 --target registry_bench >/dev/null
    bench=$(realpath "$build/tools/bench/registry_bench.exe")
fi
export WINEPREFIX=$(realpath -m "$build/bench-prefix")

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<" $2"; }

rows=()
for n in "${counts[@]}"; do
    tools/wine/with_xvfb.sh tools/wine/make_prefix.sh "$WINEPREFIX" >/dev/null
    tools/wine/run.sh "$bench" seed "$n"
    /usr/lib/wine/wineserver -w
    before=$(tools/wine/with_xvfb.sh tools/wine/run.sh "$bench" run rules "$repeats")
    after=$(tools/wine/with_xvfb.sh tools/wine/run.sh "$bench" run shared "$repeats")
    echo "extra=$n $before"
    echo "extra=$n $after"
    rows+=("| $(field classes "$before") | $(field views "$before") | $(field walk_s "$before") | \
$(field session_s "$before") | $(field session_in_walks "$before") | $(field session_s "$after") | \
$(field session_in_walks "$after") | $(field peak_working_set_kb "$before") / $(field peak_private_kb "$before") | \
$(field peak_working_set_kb "$after") / $(field peak_private_kb "$after") |")
    # The preview against a real run, on the same classes (the runs above removed nothing).
    echo "extra=$n $(tools/wine/with_xvfb.sh tools/wine/run.sh "$bench" compare)"
done
echo "log: $(tools/wine/with_xvfb.sh tools/wine/run.sh "$bench" log "${LOG_CLASSES:-1500}" "$repeats")"
/usr/lib/wine/wineserver -k 2>/dev/null || true

echo
echo "| COM classes (all views) | views | walk s | before: session s | before: walks | after: session s | after: walks | before: peak KB (working set / private) | after: peak KB |"
echo "|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
