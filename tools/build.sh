#!/usr/bin/env bash
# Builds the shipped 32-bit exe (build/x86) and its 64-bit twin with the tests (build/x64).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for arch in x86:i686 x64:x86_64; do
    dir=build/${arch%%:*}
    toolchain=cmake/toolchain-mingw-${arch##*:}.cmake
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
    cmake --build "$dir" -j "$jobs"
done
echo "build: build/x86/app/TallowbriskCleaner.exe (shipped, 32-bit)"
echo "build: build/x64/app/TallowbriskCleaner.exe (64-bit twin, runs under wine64)"
