#!/usr/bin/env bash
# Makes sample.hex, the image of the README's run command: 12 KiB of
# deterministic bytes (a text line, then a linear congruential sequence) at
# 0x080000, the start of the internal flash of target type 0 (KOLT-A),
# written as Intel HEX by srec_cat (package srecord).
set -euo pipefail
cd "$(dirname "$0")"
bin=$(mktemp)
trap 'rm -f "$bin"' EXIT
python3 - "$bin" <<'PY'
import sys

size = 12 * 1024
data = bytearray(b"Ulvex sample image for a virtual KOLT-A board\n")
x = 1
while len(data) < size:
    x = (x * 1103515245 + 12345) & 0x7FFFFFFF
    data.append((x >> 16) & 0xFF)
with open(sys.argv[1], "wb") as out:
    out.write(data)
PY
srec_cat "$bin" -binary -offset 0x080000 -o sample.hex -intel
