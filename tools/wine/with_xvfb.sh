#!/usr/bin/env bash
# Runs a command with an X display: the caller's one if DISPLAY is set, otherwise a private
# Xvfb on a free display number, stopped when the command ends.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
    exec "$@"
fi
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r number <"$fifo"
rm -f "$fifo"
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
export DISPLAY=":$number"
"$@"
