#!/usr/bin/env bash
# Runs a Windows program under wine64 in the prefix named by WINEPREFIX. wine64 hands a 32-bit
# program to Wine's 32-bit loader by itself, which runs it under WOW64 as 64-bit Windows does.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name a prefix made by tools/wine/make_prefix.sh}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine links a few shell folders to $HOME; the prefix keeps its own scratch home.
export HOME="$WINEPREFIX/home"
exec /usr/lib/wine/wine64 "$@"
