#!/usr/bin/env bash
# Runs a host program against a vtarget board started for it:
#   RunWithBoard.sh VTARGET COMPORT TARGET-TYPE PROGRAM [ARGS...]
# The board's link is mapped to COM<COMPORT>; the board stops afterwards.
set -euo pipefail
vtarget=$1 comport=$2 type=$3
shift 3
dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
"$vtarget" --link "$dir/board" --target "$type" >"$dir/ready" &
pid=$!
for _ in $(seq 100); do
    grep -q '^vtarget ready' "$dir/ready" && break
    sleep 0.1
done
grep -q '^vtarget ready' "$dir/ready" || { echo "vtarget did not start" >&2; exit 1; }
export "ULVEX_COM$comport=$dir/board"
"$@"
