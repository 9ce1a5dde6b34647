#!/usr/bin/env bash
# Runs one test in a Wine prefix of its own, so that the tests of a build tree can run side by
# side (ctest -j): a copy of the build tree's seeded prefix (made once by make_prefix.sh), with
# its own wineserver (Wine starts one per prefix), on an X display of its own (a private Xvfb,
# as tools/wine/with_xvfb.sh makes one), and its own scratch home inside it.
#   own_prefix.sh SEEDED PREFIX COMMAND...
# Anything at PREFIX before is deleted. The wineserver is stopped when the command ends, and
# the prefix stays for a look at what the test left.
set -euo pipefail
seeded=$(realpath -m "${1:?usage: own_prefix.sh SEEDED PREFIX COMMAND...}")
prefix=$(realpath -m "${2:?usage: own_prefix.sh SEEDED PREFIX COMMAND...}")
shift 2
case "$prefix" in
    */build*/*) ;;
    *) echo "own_prefix: refusing to replace $prefix (not inside a build tree)" >&2; exit 2 ;;
esac
[ -f "$seeded/system.reg" ] || { echo "own_prefix: no seeded prefix at $seeded (the wine.prefix test makes it)" >&2; exit 2; }

[ -d "$prefix" ] && WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
rm -rf "$prefix"
mkdir -p "$prefix"
# Wine's own programs and libraries (well over a gigabyte, which no test writes to) are linked,
# not copied; everything else (the registry, the users' folders) is the prefix's own copy.
shared=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)
(cd "$seeded" && tar -cf - --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
    --exclude=./drive_c/windows/winsxs .) | tar -C "$prefix" -xf -
for folder in "${shared[@]}"; do
    cp -al "$seeded/$folder" "$prefix/$folder"
done
# Wine notes in the prefix which folder below /tmp its wineserver's socket lives in: the copy
# gets a folder of its own, never the seeded prefix's.
rm -f "$prefix/wineserver"

export WINEPREFIX="$prefix" HOME="$prefix/home"
unset DISPLAY
status=0
"$(dirname "$0")/with_xvfb.sh" bash -c '"$@"; status=$?; /usr/lib/wine/wineserver -k 2>/dev/null; exit $status' \
    own_prefix "$@" || status=$?
exit $status
