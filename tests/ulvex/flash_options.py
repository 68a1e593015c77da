#!/usr/bin/env python3
"""ulvex flash's options, a row each, against fresh vtarget boards: what
the run prints, its exit status and what it leaves behind.

    flash_options.py VTARGET ULVEX IMAGE
"""
import json
import os
import subprocess
import sys
import tempfile

from boards import Boards


def results(stdout):
    events = [json.loads(line) for line in stdout.splitlines() if line.startswith("{")]
    return sorted(e["result"] for e in events if e["event"] == "result")


# name, vtarget options, ulvex arguments ({board}, {image}, {scratch} filled in), environment,
# expected exit, check of (stdout, stderr, scratch) -> true when right
ROWS = [
    ("--quiet prints the summary only", [], ["{image}", "-p", "{board}", "-t", "0", "--quiet"], {},
     0, lambda out, err, s: out.splitlines()[0].startswith("port ") and "programming" not in out),
    ("--log-dir writes the session log", [], ["{image}", "-p", "{board}", "-t", "0", "--json",
                                              "--log-dir", "{scratch}/logs"], {},
     0, lambda out, err, s: os.path.getsize(s + "/logs/Session_1.log") > 0),
    ("single wire with DTR and RTS", ["--echo"], ["{image}", "-p", "{board}", "-t", "0", "--bus",
                                                  "single", "--dtr", "--rts", "--json"], {},
     0, lambda out, err, s: results(out) == ["verified"]),
    ("--keep-going programs the ports that passed", [],
     ["{image}", "-p", "{board}", "-p", "{scratch}/missing", "-t", "0", "--json", "--keep-going"],
     {}, 1, lambda out, err, s: results(out) == ["port-error", "verified"] and "missing" in err),
    ("ULVEX_PORT and ULVEX_TARGET", [], ["{image}", "--json"],
     {"ULVEX_PORT": "{board}", "ULVEX_TARGET": "kolt-a-int"},
     0, lambda out, err, s: results(out) == ["verified"]),
    ("an unreadable image touches no board", [], ["{scratch}/none.hex", "-p", "{board}", "-t", "0"],
     {}, 2, lambda out, err, s: out == "" and "cannot read the image" in err),
    ("--jobs with IMAGE is a usage error", [], ["{image}", "--jobs", "{scratch}/jobs.json"], {},
     2, lambda out, err, s: "--jobs takes the boards from its file" in err),
]


def main():
    vtarget, ulvex, image = sys.argv[1:4]
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        boards = Boards(vtarget, scratch)
        for number, (name, board_options, arguments, environment, status, check) in enumerate(ROWS):
            fill = {"board": boards.start("board%d" % number, 0, *board_options),
                    "image": os.path.abspath(image), "scratch": scratch}
            env = {k: v for k, v in os.environ.items() if not k.startswith("ULVEX_")}
            env.update({k: v.format(**fill) for k, v in environment.items()})
            done = subprocess.run([ulvex, "flash", *(a.format(**fill) for a in arguments)],
                                  capture_output=True, text=True, env=env, timeout=60)
            if done.returncode != status or not check(done.stdout, done.stderr, scratch):
                failures.append("%s: exit %d\n%s%s" % (name, done.returncode, done.stdout,
                                                       done.stderr))
        boards.stop()
    for failure in failures:
        print("FAILED:", failure)
    print("%d options, %d failures" % (len(ROWS), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
