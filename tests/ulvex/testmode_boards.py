#!/usr/bin/env python3
"""ulvex verify and ulvex read against vtarget boards of type 0.

    testmode_boards.py VTARGET ULVEX VALIDATOR SCHEMA IMAGE

Board A is programmed with IMAGE, board B with IMAGE less its last byte (an
odd size: the file's CRC takes the erased byte after it). Then every row of
CASES runs ulvex once; the CRCs expected are zlib's over the bytes that
python3-intelhex reads, every --json output is checked against SCHEMA.
"""
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import zlib

import intelhex

from boards import Boards


def crc(data):
    return "%08X" % zlib.crc32(data)


def results(stdout):
    """The result events of JSON Lines as (port, result, crc_file, crc_target, detail)."""
    events = [json.loads(line) for line in stdout.splitlines() if line]
    assert events[-1]["event"] == "summary", "the summary is not last"
    return [(e["port"], e["result"], e["crc_file"], e["crc_target"], e["detail"])
            for e in events if e["event"] == "result"]


def main():
    vtarget, ulvex, validator, schema, image_path = sys.argv[1:6]
    hexfile = intelhex.IntelHex(image_path)
    base = hexfile.minaddr()
    image = hexfile.tobinstr()
    odd = image[:-1]
    assert len(image) % 2 == 0 and image[-1] != 0xFF, "the sample no longer suits these cases"
    scratch = tempfile.mkdtemp()
    odd_path = os.path.join(scratch, "odd.hex")
    odd_hex = intelhex.IntelHex()
    odd_hex.frombytes(odd, offset=base)
    odd_hex.write_hex_file(odd_path)
    env = {k: v for k, v in os.environ.items() if not k.startswith("ULVEX_")}
    out = lambda name: os.path.join(scratch, name)  # noqa: E731
    boards = Boards(vtarget, scratch)
    try:
        a, b = boards.start("a", 0), boards.start("b", 0)
        blank_echoing = boards.start("e", 0, "--echo")  # a single-wire bus, never programmed
        flash = [ulvex, "flash", "--quiet", "-t", "kolt-a-int", "-b", "921600"]
        flashes = [subprocess.Popen(flash + [path, "-p", port], env=env, stdout=subprocess.DEVNULL)
                   for path, port in ((image_path, a), (odd_path, b))]
        if [f.wait() for f in flashes] != [0, 0]:
            print("FAILED: the boards were not programmed")
            return 1
        # name | arguments | exit | what the output must give | file and its bytes
        cases = [
            ("verified", ["verify", image_path, "-p", a, "--json"], 0,
             [(a, "verified", crc(image), crc(image))], None),
            ("odd image padded", ["verify", odd_path, "-p", b], 0,
             "%s: file CRC %s, target CRC %s: verified" % (b, crc(odd + b"\xff"),
                                                           crc(odd + b"\xff")), None),
            ("two boards in turn, one differs", ["verify", image_path, "-p", a, "-p", b, "--json"],
             1, [(a, "verified", crc(image), crc(image)),
                 (b, "crc-mismatch", crc(image), crc(odd + b"\xff"))], None),
            ("single wire, DTR and RTS", ["verify", image_path, "-p", blank_echoing, "--bus",
                                          "single", "--dtr", "--rts", "--json"], 1,
             [(blank_echoing, "crc-mismatch", crc(image), crc(b"\xff" * len(image)))], None),
            ("port that does not open", ["verify", image_path, "-p", "COM200", "--json"], 1,
             [("COM200", "port-error", None, None, "/dev/ttyS199: ")], None),
            ("type without a CRC", ["verify", image_path, "-p", a, "--json", "-t", "ml675001"], 1,
             [(a, "not-supported", None, None)], None),
            ("read the image", ["read", "%X" % base, "0x%X" % (base + len(image) - 1), "-o",
                                out("image.bin"), "-p", a, "--json"], 0,
             [(a, "read", crc(image), crc(image))], ("image.bin", image)),
            ("read across blocks", ["read", "%X" % (base + 1), "%X" % (base + 0x301), "-o",
                                    out("part.bin"), "-p", a], 0,
             ", CRC %s, target CRC " % crc(image[1:0x302]), ("part.bin", image[1:0x302])),
            ("read words", ["read", "%X" % base, "%X" % (base + 0x17F), "--words", "-o",
                            out("words.bin"), "-p", a, "--json"], 0,
             [(a, "read", crc(image[:0x300]), None)], ("words.bin", image[:0x300])),
            ("read from a port that does not open", ["read", "0", "FF", "-o", out("gone.bin"),
                                                     "-p", "COM200", "--json"], 1,
             [("COM200", "port-error", None, None)], ("gone.bin", None)),
            ("END below START", ["read", "200", "100", "-o", out("no.bin"), "-p", a], 2, "",
             ("no.bin", None)),
        ]
        failed = 0
        for name, args, status, expected, written in cases:
            args = args + ["-b", "921600"] + ([] if "-t" in args else ["-t", "kolt-a-int"])
            run = subprocess.run([ulvex] + args, env=env, capture_output=True, text=True)
            problems = []
            if run.returncode != status:
                problems.append("exit %d, not %d" % (run.returncode, status))
            if "--json" in args and status != 2:
                check = subprocess.run([sys.executable, validator, schema, "--lines"],
                                       input=run.stdout, capture_output=True, text=True)
                if check.returncode != 0:
                    problems.append(check.stderr.splitlines()[0])
                got = results(run.stdout)
                for want, have in zip(expected, got):
                    if have[:4] != want[:4] or (len(want) > 4 and want[4] not in have[4]):
                        problems.append("result %s, not %s" % (have, want))
                if len(got) != len(expected):
                    problems.append("%d results, not %d" % (len(got), len(expected)))
            elif expected not in run.stdout:
                problems.append("no %r in the output" % expected)
            if written:
                path = out(written[0])
                have = open(path, "rb").read() if os.path.exists(path) else None
                if have != written[1]:
                    problems.append("%s holds %s" % (written[0], "nothing" if have is None else
                                                     "%d other bytes" % len(have)))
            print("%s: %s%s" % ("FAILED" if problems else "ok", name,
                                "".join("\n  " + p for p in problems)))
            if problems:
                print("  " + re.sub(r"\n", "\n  ", (run.stdout + run.stderr).strip()))
            failed |= bool(problems)
        # Ctrl-C during a long read: exit 130, the board named, no file left.
        reading = subprocess.Popen([ulvex, "read", "0", "FFFFFF", "-o", out("stopped.bin"), "-p",
                                    a, "-t", "kolt-a-int", "-b", "921600"], env=env,
                                   stderr=subprocess.PIPE, text=True)
        time.sleep(1.5)
        reading.send_signal(signal.SIGINT)
        stopped = (reading.wait(timeout=5), "%s interrupted" % a in reading.stderr.read(),
                   os.path.exists(out("stopped.bin")))
        print("%s: read interrupted %s" % ("ok" if stopped == (130, True, False) else "FAILED",
                                           stopped))
        return failed or stopped != (130, True, False)
    finally:
        boards.stop()
        subprocess.run(["rm", "-rf", scratch])


if __name__ == "__main__":
    sys.exit(main())
