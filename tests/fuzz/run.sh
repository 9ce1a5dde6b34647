#!/usr/bin/env bash
# Builds the libFuzzer target of the bitmap resource code natively (clang 14, AddressSanitizer,
# UndefinedBehaviorSanitizer, the system zlib) into build-fuzz/ and runs it for SECONDS
# (default 30), seeded with the shipped picture and the test pictures.
#   tests/fuzz/run.sh [SECONDS]
# Exits non-zero if the build fails or the fuzzer finds a crash, a leak or undefined behaviour;
# the offending input is then left in build-fuzz/artifacts/.
set -euo pipefail
seconds="${1:-30}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$root/build-fuzz"

mkdir -p "$build"
CC=clang-14 CXX=clang++-14 cmake -S "$root/tests/fuzz" -B "$build" >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log" >&2; exit 1; }
make -C "$build" -j2 --no-print-directory unpack_fuzzer >/dev/null

# The corpus grows from run to run; the seeds are laid anew each time.
rm -rf "$build/seeds"
mkdir -p "$build/seeds" "$build/corpus" "$build/artifacts"
cp "$root/res/tallowbrisk.bmp.gz" "$root"/tests/unit/controls/res/* "$build/seeds/"

"$build/unpack_fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=16384 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$build/corpus" "$build/seeds" 2>"$build/fuzz.log" ||
    { tail -60 "$build/fuzz.log" >&2; echo "fuzz: FAILED, see $build/artifacts/" >&2; exit 1; }
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$build/fuzz.log" || true
grep -E '^#[0-9]+ +DONE' "$build/fuzz.log" | tail -1 || true
echo "fuzz: $seconds s, no crash"
