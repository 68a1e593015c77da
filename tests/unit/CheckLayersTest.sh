#!/bin/sh
# scripts/check-layers on a copy of loader/ and sim/ with one planted
# violation of each rule: it must fail and name every one with its rule.
set -eu
top=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$top/loader" "$top/sim" "$work"
"$top/scripts/check-layers" --root "$work" >/dev/null || { echo "the copy fails before planting"; exit 1; }

plant() { printf '%s\n' "$2" >>"$work/$1"; }
plant loader/link/BusAccess.cpp '#include "boot/BootLoader.h"'
plant loader/image/Crc32.cpp '#include "serial/Sio.h"'
plant loader/boot/BootLoader.h '#include "programmers/Targets.h"'
plant loader/frame/Trace.cpp '#include <unistd.h>'
plant loader/programmers/kolt/KoltChip.cpp '#include "programmers/merv/MervSteps.h"'
plant sim/line/Line.cpp '#include "board/Options.h"'
plant sim/memory/merv/MervFlash.cpp '#include "memory/kolt/KoltChips.h"'
i=0
while [ $i -lt 601 ]; do echo "// filler" >>"$work/loader/api/FLoader.h"; i=$((i + 1)); done

if "$top/scripts/check-layers" --root "$work" >"$work/out"; then
    echo "planted violations passed"; exit 1
fi
failed=0
for expected in \
    "loader/link/BusAccess.cpp:[0-9]*: includes boot/BootLoader.h: link/ may use frame/, image/, serial/" \
    "loader/image/Crc32.cpp:[0-9]*: includes serial/Sio.h: image/ may use nothing" \
    "loader/boot/BootLoader.h:[0-9]*: includes programmers/Targets.h: boot/ may use" \
    "loader/frame/Trace.cpp:[0-9]*: includes unistd.h: only serial/" \
    "loader/programmers/kolt/KoltChip.cpp:[0-9]*: .*sibling family programmers/merv/" \
    "sim/line/Line.cpp:[0-9]*: includes board/Options.h: line/ may use memory/, state/" \
    "sim/memory/merv/MervFlash.cpp:[0-9]*: .*sibling family memory/kolt/" \
    "loader/api/FLoader.h:[0-9]*: [0-9]* lines"; do
    grep -q "^$expected" "$work/out" || { echo "not reported: $expected"; failed=1; }
done
[ "$(grep -c -E '^(loader|sim)/' "$work/out")" -eq 8 ] || { echo "other reports:"; cat "$work/out"; failed=1; }
exit $failed
