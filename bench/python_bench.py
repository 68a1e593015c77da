#!/usr/bin/env python3
"""The Python package's overhead: a 512 KiB session through ulvex.flash
against the same session through the C API (c_session_host), on vtarget
boards that play every byte at its line time (--wire-timing), a fresh board
for each session, the two kinds taking turns. Prints each pair and the
ratio of the medians, and the share of a core the Python process used
while its sessions ran.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py \\
        [--build build] [--type 1] [--kib 512] [--baud 921600] [--rounds 3]
"""
import argparse
import os
import re
import resource
import statistics
import subprocess
import sys
import tempfile
import time

import ulvex

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "ulvex"))
from boards import Boards, write_image  # noqa: E402

FLASH_BASE = {10: 0, 17: 0, 14: 0xC8000000}  # else the KOLT boards' 0x080000


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--type", type=int, default=1)
    parser.add_argument("--kib", type=int, default=512)
    parser.add_argument("--baud", type=int, default=921600)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    scratch = tempfile.mkdtemp()
    image = write_image(os.path.join(scratch, "bench.hex"), FLASH_BASE.get(args.type, 0x080000),
                        args.kib * 1024, 7)
    host = os.path.join(args.build, "bench", "c_session_host")
    boards = Boards(os.path.join(args.build, "sim", "vtarget"), scratch)
    c_ms, py_ms, py_cpu = [], [], []
    print("type %d, %d KiB at %d baud, vtarget --wire-timing; wall time from the start "
          "call to the end, ms" % (args.type, args.kib, args.baud))
    print("round       C  Python  ratio")
    try:
        for n in range(args.rounds):
            port = boards.start("c%d" % n, args.type, "--wire-timing")
            out = subprocess.run([host, port, str(args.type), str(args.baud), image],
                                 capture_output=True, text=True, check=True).stdout
            c_ms.append(float(re.search(r"wall_ms=([\d.]+)", out).group(1)))
            port = boards.start("p%d" % n, args.type, "--wire-timing")
            cpu = resource.getrusage(resource.RUSAGE_SELF)
            start = time.monotonic()
            result = ulvex.flash(image, port, args.type, baud=args.baud)
            py_ms.append((time.monotonic() - start) * 1e3)
            after = resource.getrusage(resource.RUSAGE_SELF)
            py_cpu.append((after.ru_utime + after.ru_stime - cpu.ru_utime - cpu.ru_stime) * 1e3)
            result.raise_if_failed()
            boards.stop()
            print("%5d  %6.0f  %6.0f  %5.3f" % (n + 1, c_ms[-1], py_ms[-1], py_ms[-1] / c_ms[-1]),
                  flush=True)
    finally:
        boards.stop()
    ratio = statistics.median(py_ms) / statistics.median(c_ms)
    print("median ratio Python / C: %.3f; the Python process used %.1f %% of a core "
          "(library and callbacks) during its sessions" % (ratio, 100 * sum(py_cpu) / sum(py_ms)))


if __name__ == "__main__":
    main()
