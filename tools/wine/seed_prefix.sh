#!/usr/bin/env bash
# Makes the seeded prefix at $1 that the tests copy (tools/wine/own_prefix.sh), unless it is
# there already: both build trees' tests share it, and the first to need it makes it while the
# other waits. tools/test.sh deletes it first, so that each test command seeds a new one.
set -euo pipefail
prefix=$(realpath -m "${1:?usage: seed_prefix.sh PREFIX}")
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ -f "$prefix/.seeded" ]; then
    echo "seed_prefix: $prefix is seeded already"
    exit 0
fi
"$(dirname "$0")/make_prefix.sh" "$prefix"
touch "$prefix/.seeded"
