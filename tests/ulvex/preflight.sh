#!/usr/bin/env bash
# ulvex's check of the ports before any session: each failing port ends
# the run with exit 3 within a second and a message that names the remedy
# or the culprit.
#   preflight.sh VTARGET ULVEX IMAGE
set -euo pipefail
vtarget=$1 ulvex=$2 image=$3
scratch=$(mktemp -d)
board=""
holder=""
cleanup() {
    [ -n "$holder" ] && kill "$holder" 2>/dev/null || true
    [ -n "$board" ] && kill "$board" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
"$vtarget" --target 0 --link "$scratch/board" >"$scratch/board.out" 2>&1 &
board=$!
for _ in $(seq 100); do grep -q '^vtarget ready' "$scratch/board.out" && break; sleep 0.05; done
# A process that locks the board's port, as another loader would.
python3 -c 'import fcntl, sys, time
f = open(sys.argv[1]); fcntl.flock(f, fcntl.LOCK_EX); open(sys.argv[2], "w").close(); time.sleep(30)' \
    "$scratch/board" "$scratch/locked" >/dev/null 2>&1 &
holder=$!
for _ in $(seq 100); do [ -e "$scratch/locked" ] && break; sleep 0.05; done
touch "$scratch/plain-file"
failed=0
# port | what the message must say
while IFS='|' read -r port expected; do
    start=$(date +%s%N)
    status=0
    message=$("$ulvex" flash "$image" -p "$port" -t 0 2>&1 >/dev/null) || status=$?
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    if [ "$status" -ne 3 ] || [[ "$message" != *"$expected"* ]] || [ "$ms" -ge 1000 ]; then
        echo "FAILED: $port: exit $status after $ms ms: $message"
        failed=1
    else
        echo "ok: $port: $message"
    fi
done <<ROWS
$scratch/no-such-board|no such device. Serial ports here:
$scratch/plain-file|not a serial device
$scratch/board|in use by $holder (python3)
rfc2217://no-such-board.invalid:4000|cannot resolve no-such-board.invalid
ROWS
exit "$failed"
