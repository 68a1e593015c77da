#!/usr/bin/env bash
# Runs a Windows program under wine against a vtarget board on a COM port:
#   RunWithWineBoard.sh WINE-RUN VTARGET COMPORT TARGET-TYPE PROGRAM.exe [ARGS...]
# The board's pseudo-terminal becomes COM<COMPORT> of the wine prefix in
# $WINEPREFIX (a link in its dosdevices folder); the program finds the
# number in ULVEX_TEST_COMPORT too. VTARGET_OPTIONS adds board options,
# STDIN_FILE gives the program its standard input. The program runs in a
# scratch directory; the board stops afterwards and what it said is shown.
set -euo pipefail
wine_run=$1 vtarget=$2 comport=$3 type=$4
shift 4
: "${WINEPREFIX:?RunWithWineBoard.sh needs WINEPREFIX}"
"$wine_run" --init

dir=$(mktemp -d)
link=$WINEPREFIX/dosdevices/com$comport
pid=""
# shellcheck disable=SC2317 # called by the EXIT trap
finish() {
    [ -n "$pid" ] && { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }
    rm -f "$link"
    rm -rf "$dir"
}
trap finish EXIT

rm -f "$link"
# shellcheck disable=SC2086 # the options are words
"$vtarget" --link "$link" --target "$type" ${VTARGET_OPTIONS:-} >"$dir/board.out" 2>&1 &
pid=$!
for _ in $(seq 100); do
    grep -q '^vtarget ready' "$dir/board.out" && break
    sleep 0.1
done
grep -q '^vtarget ready' "$dir/board.out" || { echo "vtarget did not start" >&2; exit 1; }

program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
export ULVEX_TEST_COMPORT=$comport
status=0
(cd "$dir" && "$wine_run" "$program" "$@" <"${STDIN_FILE:-/dev/null}") || status=$?
printf '\nboard: %s\n' "$(tail -n +2 "$dir/board.out")"
exit "$status"
