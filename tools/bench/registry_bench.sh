#!/usr/bin/env bash
# Benchmarks the registry cleaner on Wine prefixes holding N extra synthetic COM classes and
# COMPONENTS synthetic Windows Installer component keys, as a machine has far more of these.
#   tools/bench/registry_bench.sh [BUILD_DIR] [N...]     (defaults: build/x64, 20000)
# BUILD_DIR is a build tree with the registry_bench target (a 32-bit one runs under WOW64,
# where both registry views are seeded and cleaned). Each N gets a fresh prefix in
# BUILD_DIR/bench-prefix; there, the cleaner runs whole sessions in a process of its own.
# The table gives a session's time as a multiple of one least-work walk of HKCR\CLSID and of
# the machine's Installer Components key (per view: the walk covers every view the session
# cleans), and the process's peak memory. REPEATS (3) is how many walks and sessions the
# process times in turns; the fastest of each counts. COMPONENTS (40000) is the number of
# component keys per view. REFERENCE=1 also times the reference (each rule searching for
# itself) in a process of its own, which takes about twice as long as the cleaner.
# BENCH_EXE names a registry_bench.exe built elsewhere (BUILD_DIR then only holds the prefix).
# Then, on the same keys, the preview of a cleaning run is timed against the run itself.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/x64}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(20000)

repeats=${REPEATS:-3}
components=${COMPONENTS:-40000}
engines=(shared)
[ "${REFERENCE:-0}" = 1 ] && engines=(rules shared)
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
    tools/wine/run.sh "$bench" seed "$n" "$components"
    /usr/lib/wine/wineserver -w
    for engine in "${engines[@]}"; do
        line=$(tools/wine/with_xvfb.sh tools/wine/run.sh "$bench" run "$engine" "$repeats")
        echo "extra=$n $line"
        exe="x86_64"
        [ "$(field bits "$line")" = 32 ] && exe="i686"
        [ "$(field views "$line")" = 2 ] && exe="$exe under WOW64"
        rows+=("| $exe | $(field engine "$line") | $(field classes "$line") | $(field components "$line") | \
$(field views "$line") | $(field classes_walk_s "$line") + $(field components_walk_s "$line") | \
$(field session_s "$line") | **$(field session_in_walks "$line")** | \
$(field peak_working_set_kb "$line") / $(field peak_private_kb "$line") |")
    done
    # The preview against a real run, on the same keys (the runs above removed nothing).
    echo "extra=$n $(tools/wine/with_xvfb.sh tools/wine/run.sh "$bench" compare)"
done
/usr/lib/wine/wineserver -k 2>/dev/null || true

echo
echo "| exe | engine | COM classes (all views) | components (all views) | views | walk s (classes + components) | session s | session in walks | peak KB (working set / private) |"
echo "|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
