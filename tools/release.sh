#!/usr/bin/env bash
# Builds the shipped 32-bit TallowbriskCleaner.exe for release into dist/, with SHA256SUMS.
#
# The build starts from a copy of the work tree's files (tracked, and new ones that git does
# not ignore) in a fresh folder, so nothing of an earlier build or of its folder reaches it.
# The same commit gives the same bytes wherever and whenever it is built.
#
# Signing (Authenticode, SHA-256) happens when both are given, as PEM files:
#   SIGN_CERT         the code-signing certificate (with its chain, if any)
#   SIGN_KEY          its private key
#   SIGN_PASS_FILE    optional: a file holding the key's password
#   SIGN_TIMESTAMP    optional: an RFC 3161 time-stamp server, so the signature outlives the certificate
# Without SIGN_CERT and SIGN_KEY the exe is left unsigned, and the script says so.
#
# RELEASE_BUILD (default build/release) and DIST (default dist) name the folders; both are
# replaced.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
build=$(realpath -m "${RELEASE_BUILD:-build/release}")
dist=$(realpath -m "${DIST:-dist}")
exe_name=TallowbriskCleaner.exe

tools/setup.sh

rm -rf "$build" "$dist"
mkdir -p "$build/src" "$dist"
if git -C "$top" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$top" ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
        xargs -0 cp --parents -t "$build/src"
else
    tar -C "$top" --exclude='./build*' --exclude=./dist -cf - . | tar -C "$build/src" -xf -
fi

cmake -S "$build/src" -B "$build/x86" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build/x86" -j "$(nproc)" --target TallowbriskCleaner >/dev/null
cp "$build/x86/app/$exe_name" "$dist/$exe_name"

if [ -n "${SIGN_CERT:-}" ] && [ -n "${SIGN_KEY:-}" ]; then
    sign=(osslsigncode sign -certs "$SIGN_CERT" -key "$SIGN_KEY" -h sha256
          -n "Tallowbrisk Cleaner" -in "$build/x86/app/$exe_name" -out "$dist/$exe_name")
    [ -n "${SIGN_PASS_FILE:-}" ] && sign+=(-readpass "$SIGN_PASS_FILE")
    [ -n "${SIGN_TIMESTAMP:-}" ] && sign+=(-ts "$SIGN_TIMESTAMP")
    rm -f "$dist/$exe_name"
    "${sign[@]}" >/dev/null
    # The certificate itself is the trust anchor that the check is given: a self-signed test
    # certificate passes as well as one that a public authority issued.
    osslsigncode verify -CAfile "$SIGN_CERT" -in "$dist/$exe_name" >/dev/null
    echo "release: $dist/$exe_name is signed, and its signature checks out"
else
    echo "release: $dist/$exe_name is NOT signed (set SIGN_CERT and SIGN_KEY to sign it)"
fi

(cd "$dist" && sha256sum "$exe_name" >SHA256SUMS)
cat "$dist/SHA256SUMS"
