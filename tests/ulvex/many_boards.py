#!/usr/bin/env python3
"""ulvex flash against eight vtarget boards at once, three ways: a --jobs
batch of mixed families, eight boards of one type from -p, and the same
with one board whose flash corrupts a word. The jobs file and each run's
JSON Lines are checked against their schemas; every verified board's
dumped memory must hold its image, as must the RAM of the one that only loads.

    many_boards.py VTARGET ULVEX SCHEMA_DIRECTORY
"""
import json
import subprocess
import sys
import tempfile

import jsonschema

from boards import Boards, holds_image, write_image

KOLT = 0x080000
# target, flash (or RAM) address of its image
MIXED = [(0, KOLT), (1, KOLT), (2, KOLT), (3, 0), (10, 0), (14, 0xC8000000), (18, 0), (15, 0x10000)]
LOADED_ONLY = 15  # its image goes to RAM with no CRC to compare
CORRUPTED_BOARD = 5


def run_ulvex(ulvex, schema, arguments):
    done = subprocess.run([ulvex, "flash", *arguments, "--json", "-b", "921600"],
                          capture_output=True, text=True, timeout=120)
    events = [json.loads(line) for line in done.stdout.splitlines()]
    validator = jsonschema.Draft202012Validator(schema)
    for event in events:
        validator.validate(event)
    results = {e["port"]: e["result"] for e in events if e["event"] == "result"}
    return done.returncode, results, events[-1]["event"] if events else None, done.stderr


def main():
    vtarget, ulvex, schemas = sys.argv[1:4]
    with open(schemas + "/ulvex-events.schema.json") as f:
        schema = json.load(f)
    with open(schemas + "/ulvex-jobs.schema.json") as f:
        jobs_schema = json.load(f)
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        images = {t: write_image("%s/image%d.hex" % (scratch, t), a, 6 * 1024, t) for t, a in MIXED}
        cases = []  # name, arguments, {port: (image, expected result)}, expected exit
        boards = Boards(vtarget, scratch)

        jobs, expected = [], {}
        for target, _ in MIXED:
            port = boards.start("mixed%d" % target, target)
            jobs.append({"port": port, "target": target, "image": "image%d.hex" % target})
            if target == LOADED_ONLY:
                jobs[-1]["baud"] = 115200  # the boot ROM's own rate
            expected[port] = (images[target], "loaded" if target == LOADED_ONLY else "verified")
        jsonschema.validate({"boards": jobs}, jobs_schema)
        with open(scratch + "/jobs.json", "w") as f:
            json.dump({"boards": jobs}, f)
        cases.append(("mixed families", ["--jobs", scratch + "/jobs.json"], expected, 0))

        for name, corrupted, status in (("one type", None, 0), ("one corrupted", CORRUPTED_BOARD, 1)):
            ports, expected = [], {}
            for i in range(8):
                options = ["--corrupt-word", hex(KOLT + 0x100)] if i == corrupted else []
                port = boards.start("%s-%d" % (name.replace(" ", "-"), i), 0, *options)
                ports += ["-p", port]
                expected[port] = (images[0], "crc-mismatch" if i == corrupted else "verified")
            cases.append((name, [images[0], *ports, "-t", "kolt-a-int"], expected, status))

        for name, arguments, expected, status in cases:
            got = run_ulvex(ulvex, schema, arguments)
            want = (status, {p: r for p, (_, r) in expected.items()}, "summary")
            if got[:3] != want:
                failures.append("%s: got %s, want %s; stderr: %s" % (name, got[:3], want, got[3]))
        boards.stop()
        for name, _, expected, _ in cases:
            for port, (image, result) in expected.items():
                if result in ("verified", "loaded") and not holds_image(port + ".dump.hex", image):
                    failures.append("%s: %s does not hold %s" % (name, port, image))
    for failure in failures:
        print("FAILED:", failure)
    print("%d runs of 8 boards, %d failures" % (len(cases), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
