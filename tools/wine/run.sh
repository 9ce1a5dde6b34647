#!/usr/bin/env bash
# Runs a Windows program under Wine's 64-bit loader in the prefix named by WINEPREFIX.
# The plain `wine` wrapper would pick the 32-bit loader, which this kernel cannot start.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name a prefix made by tools/wine/make_prefix.sh}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine links a few shell folders to $HOME; the prefix keeps its own scratch home.
export HOME="$WINEPREFIX/home"
exec /usr/lib/wine/wine64 "$@"
