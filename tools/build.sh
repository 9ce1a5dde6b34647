#!/usr/bin/env bash
# Builds the shipped 32-bit exe (build/x86) and its 64-bit twin (build/x64), with the tests.
#   tools/build.sh [x86|x64]...   only those trees (default both); the 32-bit tree's tests
#                                 also need the twin's test driver, which is built first
#   tools/build.sh --exe x86|x64  only the exe and the test driver (the twin's too), no tests
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
targets=()
if [ "${1:-}" = --exe ]; then
    targets=(--target TallowbriskCleaner driver)
    shift
fi

configure() {
    local dir=build/$1 toolchain
    case $1 in x86) toolchain=cmake/toolchain-mingw-i686.cmake ;; *) toolchain=cmake/toolchain-mingw-x86_64.cmake ;; esac
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        # Both trees' tests copy one seeded Wine prefix (cmake/WineTests.cmake).
        cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
            -DWINE_SEEDED_PREFIX="$PWD/build/wineprefix" >/dev/null
    fi
}

for tree in "${@:-x86 x64}"; do
    for tree in $tree; do
        configure "$tree"
        if [ "$tree" = x86 ]; then
            configure x64
            cmake --build build/x64 -j "$jobs" --target driver
        fi
        cmake --build "build/$tree" -j "$jobs" "${targets[@]}"
        case $tree in
            x86) echo "build: build/x86/app/TallowbriskCleaner.exe (shipped, 32-bit)" ;;
            x64) echo "build: build/x64/app/TallowbriskCleaner.exe (64-bit twin, runs under wine64)" ;;
        esac
    done
done
