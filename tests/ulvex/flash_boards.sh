#!/usr/bin/env bash
# ulvex flash against N vtarget boards of type 0 at once, with --json:
# exit 0, every line valid against the event schema, one verified result
# per board and the summary last.
#   flash_boards.sh VTARGET ULVEX PYTHON VALIDATOR SCHEMA IMAGE N
set -euo pipefail
vtarget=$1 ulvex=$2 python=$3 validator=$4 schema=$5 image=$6 boards=$7
scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
ports=()
for i in $(seq "$boards"); do
    "$vtarget" --target 0 --link "$scratch/board$i" >"$scratch/board$i.out" 2>&1 &
    pids+=($!)
    ports+=(-p "$scratch/board$i")
done
for i in $(seq "$boards"); do
    for _ in $(seq 100); do grep -q '^vtarget ready' "$scratch/board$i.out" && break; sleep 0.05; done
done
status=0
"$ulvex" flash "$image" "${ports[@]}" -t kolt-a-int -b 921600 --json >"$scratch/out.jsonl" || status=$?
"$python" "$validator" "$schema" --lines <"$scratch/out.jsonl"
verified=$(grep -c '"event":"result".*"result":"verified"\|"result":"verified".*"event":"result"' "$scratch/out.jsonl" || true)
last=$(tail -n 1 "$scratch/out.jsonl")
echo "exit $status, $verified verified, last: $last"
[ "$status" -eq 0 ] && [ "$verified" -eq "$boards" ] && [[ "$last" == *'"event":"summary"'* ]]
