#!/usr/bin/env bash
# Installs, once, every Debian package the build and the tests need, and makes sure this machine
# can start the shipped 32-bit exe under Wine (tools/wine/kernel32.sh).
# Safe to run again: it only calls apt-get when something is missing.
#
# Package mirrors lag. An index that fails to download is tried again, then done without when
# the lists already here offer every package. Where the two architectures' candidates of a
# Multi-Arch: same library differ (one suite's i386 index behind its amd64 one), the install is
# done again with that suite's priority lowered, so that both come from a suite that has them,
# and this script says so.
set -euo pipefail
cd "$(dirname "$0")/.."

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
    # Runs Wine's 32-bit half where the kernel starts no 32-bit process (tools/wine/kernel32.sh).
    qemu-user-static
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
apt_get() { DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "$@"; }

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Every missing package has a version to install in the lists apt has.
lists_offer_all() {
    local p
    for p in "${missing[@]}"; do
        # Read whole first: grep -q stops reading early, which pipefail would take for a failure.
        grep -q 'Candidate: [^(]' <<<"$(apt-cache policy "$p" 2>/dev/null)" || return 1
    done
}

update_lists() {
    local try out
    for try in 1 2 3; do
        if out=$(apt_get update -qq 2>&1); then
            return 0
        fi
        echo "setup: apt-get update, try $try of 3, failed: $(grep -m1 '^E:' <<<"$out" || echo "$out" | tail -1)"
        [ $try -lt 3 ] && sleep $((try * 5))
    done
    if lists_offer_all; then
        echo "setup: going on with the package lists apt has, which offer every package needed"
        return 0
    fi
    echo "setup: FAILED: the package lists could not be updated, and they lack a package needed:" >&2
    echo "$out" >&2
    return 1
}

# The suites (as apt names them in its lists, bookworm-security say) that have an amd64 index
# here: the candidates to lower when the two architectures disagree.
suites() {
    ls /var/lib/apt/lists/ | sed -n 's/.*_dists_\([^_]*\)_.*_binary-amd64_Packages.*/\1/p' | sort -u
}

# apt-get install, quietly; on failure its errors, on the caller's standard output.
install_with() {
    local out
    out=$(apt_get install -y -qq --no-install-recommends "$@" "${missing[@]}" 2>&1 >/dev/null) && return 0
    grep -E '^(E:| )' <<<"$out" | head -20
    return 1
}

install_missing() {
    local first suite prefs
    first=$(install_with) && return 0
    # A Multi-Arch: same library whose i386 and amd64 candidates differ: lower one suite at a
    # time, those without an i386 index of their own first, until the install goes through.
    prefs=$(mktemp -d)
    trap 'rm -rf "$prefs"' RETURN
    for suite in $(suites | while read -r s; do
        ls /var/lib/apt/lists/ | grep -q "_dists_${s}_.*_binary-i386_Packages" && echo "1 $s" || echo "0 $s"
    done | sort | cut -d' ' -f2); do
        printf 'Package: *\nPin: release n=%s\nPin-Priority: 100\n' "$suite" >"$prefs/pin"
        if apt_get install -s -qq --no-install-recommends -o Dir::Etc::Preferences="$prefs/pin" \
            -o Dir::Etc::PreferencesParts="$prefs/none" "${missing[@]}" >/dev/null 2>&1; then
            echo "setup: the i386 and amd64 versions of a library differ; installing with $suite's priority lowered, so that both come from the same suite"
            install_with -o Dir::Etc::Preferences="$prefs/pin" -o Dir::Etc::PreferencesParts="$prefs/none" && return 0
        fi
    done
    echo "setup: FAILED: these packages can't be installed: ${missing[*]}" >&2
    echo "$first" >&2
    return 1
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    # wine32:i386 comes from the i386 architecture, which a fresh amd64 machine lacks.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "setup: adding the i386 architecture to dpkg, for wine32:i386"
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    update_lists
    install_missing
fi

tools/wine/kernel32.sh setup
