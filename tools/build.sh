#!/usr/bin/env bash
# Builds the shipped 32-bit exe (build/x86) and its 64-bit twin (build/x64), with the tests.
#   tools/build.sh [x86|x64]...   only those trees (default both); the 32-bit tree's tests
#                                 also need the twin's test driver, which is built first
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

configure() {
    local dir=build/$1 toolchain
    case $1 in x86) toolchain=cmake/toolchain-mingw-i686.cmake ;; *) toolchain=cmake/toolchain-mingw-x86_64.cmake ;; esac
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
}

for tree in "${@:-x86 x64}"; do
    for tree in $tree; do
        configure "$tree"
        if [ "$tree" = x86 ]; then
            configure x64
            cmake --build build/x64 -j "$jobs" --target driver
        fi
        cmake --build "build/$tree" -j "$jobs"
        case $tree in
            x86) echo "build: build/x86/app/TallowbriskCleaner.exe (shipped, 32-bit)" ;;
            x64) echo "build: build/x64/app/TallowbriskCleaner.exe (64-bit twin, runs under wine64)" ;;
        esac
    done
done
