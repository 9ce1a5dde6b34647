#!/usr/bin/env bash
# Installs, once, every Debian package the build and the tests need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
    cmake make
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    libz-mingw-w64-dev
    wine64
    xvfb x11-utils imagemagick
    googletest
    clang-14 libclang-rt-14-dev zlib1g-dev
    python3 python3-pefile icoutils
    osslsigncode openssl
    # Builds the Windows Installer packages that the end-to-end tests install with Wine's msiexec.
    wixl
    # Wine's 32-bit half: with it wine64 starts the shipped 32-bit exe as a WOW64 process.
    wine32:i386
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    # wine32:i386 comes from the i386 architecture, which a fresh amd64 machine lacks.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
