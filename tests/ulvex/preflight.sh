#!/usr/bin/env bash
# ulvex's check of the ports before any session: each failing port ends
# the run with exit 3 within a second and a message that names the remedy
# or the culprit. The permission row runs ulvex as user nobody (setpriv,
# util-linux) on a board whose device is root:dialout 0660; it needs root
# and says "skipped" without it.
#   preflight.sh VTARGET ULVEX IMAGE [LIMIT_MS]
set -euo pipefail
vtarget=$1 ulvex=$2 image=$3
# A second; a sanitizer's build starts and ends slower, so it gets more.
limit_ms=${4:-1000}
scratch=$(mktemp -d)
# nobody reaches the board's link through it (mktemp makes it 0700).
chmod 0755 "$scratch"
boards=()
holder=""
cleanup() {
    [ -n "$holder" ] && kill "$holder" 2>/dev/null || true
    for b in "${boards[@]}"; do kill "$b" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
# start_board NAME: a virtual board whose pty the link $scratch/NAME names.
start_board() {
    "$vtarget" --target 0 --link "$scratch/$1" >"$scratch/$1.out" 2>&1 &
    boards+=($!)
    for _ in $(seq 100); do grep -q '^vtarget ready' "$scratch/$1.out" && break; sleep 0.05; done
}
start_board board
# A process that locks the board's port, as another loader would.
python3 -c 'import fcntl, sys, time
f = open(sys.argv[1]); fcntl.flock(f, fcntl.LOCK_EX); open(sys.argv[2], "w").close(); time.sleep(30)' \
    "$scratch/board" "$scratch/locked" >/dev/null 2>&1 &
holder=$!
for _ in $(seq 100); do [ -e "$scratch/locked" ] && break; sleep 0.05; done
touch "$scratch/plain-file"
failed=0
# expect_refusal PORT EXPECTED [COMMAND...]: ulvex, run through COMMAND if
# given, refuses PORT with exit 3 within a second and a message with EXPECTED.
expect_refusal() {
    local port=$1 expected=$2 status=0 start ms message
    shift 2
    start=$(date +%s%N)
    message=$("$@" "$ulvex" flash "$image" -p "$port" -t 0 2>&1 >/dev/null) || status=$?
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    if [ "$status" -ne 3 ] || [[ "$message" != *"$expected"* ]] || [ "$ms" -ge "$limit_ms" ]; then
        echo "FAILED: $port: exit $status after $ms ms: $message"
        failed=1
    else
        echo "ok: $port: $message"
    fi
}
# port | what the message must say
while IFS='|' read -r port expected; do
    expect_refusal "$port" "$expected"
done <<ROWS
$scratch/no-such-board|no such device. Serial ports here:
$scratch/plain-file|not a serial device
$scratch/board|in use by $holder (python3)
rfc2217://no-such-board.invalid:4000|cannot resolve no-such-board.invalid
ROWS
# A device of group dialout, mode 0660, and a user outside that group.
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: $scratch/dialout-board: permission denied as nobody (needs root to run as nobody)"
elif ! command -v setpriv >/dev/null; then
    echo "skipped: $scratch/dialout-board: permission denied as nobody (no setpriv; util-linux)"
else
    start_board dialout-board
    node=$(readlink -f "$scratch/dialout-board")
    chown root:dialout "$node"
    chmod 0660 "$node"
    # nobody runs a copy of the program, its library and the image from the
    # scratch: a checkout in a private home directory is out of its reach.
    mkdir -m 0755 "$scratch/program"
    cp "$ulvex" "$(ldd "$ulvex" | awk '/libulvex/ {print $3}')" "$image" "$scratch/program/"
    chmod -R a+rX "$scratch/program"
    ulvex="$scratch/program/$(basename "$ulvex")" image="$scratch/program/$(basename "$image")"
    as_nobody=(env "LD_LIBRARY_PATH=$scratch/program" setpriv --reuid=nobody --regid=nogroup
        --clear-groups)
    expect_refusal "$scratch/dialout-board" \
        'The device belongs to group dialout; join it with `sudo usermod -aG dialout $USER`' \
        "${as_nobody[@]}"
fi
exit "$failed"
