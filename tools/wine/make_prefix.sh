#!/usr/bin/env bash
# Makes a fresh Wine prefix at $1 for one test run. Anything there before is deleted.
# Documents, Desktop and the other shell folders that Wine links to $HOME become plain
# folders inside the prefix, so nothing run in it can reach the real home.
set -euo pipefail
prefix=$(realpath -m "${1:?usage: make_prefix.sh PREFIX}")
case "$prefix" in
    */build*/*) ;;
    *) echo "make_prefix: refusing to replace $prefix (not inside a build tree)" >&2; exit 2 ;;
esac
: "${DISPLAY:?make_prefix: set DISPLAY first (tools/wine/with_xvfb.sh); the prefix binds its desktop to it}"

[ -d "$prefix" ] && WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
rm -rf "$prefix"
mkdir -p "$prefix/home"
export WINEPREFIX="$prefix" HOME="$prefix/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Each step quietly, unless it fails: then what it printed, and its exit status.
step() {
    local out status=0
    out=$("$@" 2>&1) || status=$?
    if [ $status -ne 0 ]; then
        printf 'make_prefix: %s exited with %d:\n%s\n' "$*" "$status" "$out" >&2
        exit 1
    fi
}
step /usr/lib/wine/wine64 wineboot -i

# Xvfb runs no window manager: let Wine draw the windows' frames and captions itself, as
# Windows would.
for value in Managed Decorated; do
    step /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v "$value" /d N /f
done
# Report Windows 10, as the machines the cleaner runs on do: the cleaning session then
# drives the taskbar button, which it does only from Windows 8 on.
step /usr/lib/wine/wine64 winecfg -v win10
step /usr/lib/wine/wineserver -w

for link in "$prefix"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
        rm "$link"
        mkdir "$link"
    fi
done
echo "make_prefix: $prefix ready"
