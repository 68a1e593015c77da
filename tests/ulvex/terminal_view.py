#!/usr/bin/env python3
"""ulvex flash with a pseudo-terminal as its standard output, its bytes fed
to a terminal model (pyte): at 80 and at 40 columns the final screen shows
every board with its result and no line is longer than the terminal;
colours come on a terminal and never with NO_COLOR. Ctrl-C while the
boards are programmed ends ulvex with 130, naming each board's stage.

    terminal_view.py VTARGET ULVEX IMAGE
"""
import fcntl
import os
import re
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

import pyte

from boards import Boards, write_image

ESCAPE = re.compile(rb"\x1b\[[0-9;?]*[A-Za-z]")


def run_on_terminal(command, columns, environment, interrupt_at=None):
    """Exit status, the terminal's bytes and standard error of the run."""
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 40, columns, 0, 0))
    process = subprocess.Popen(command, stdout=slave, stderr=subprocess.PIPE, env=environment)
    os.close(slave)
    output, deadline, interrupted = b"", time.monotonic() + 60, None
    while time.monotonic() < deadline:
        if select.select([master], [], [], 0.5)[0]:
            try:
                output += os.read(master, 65536)
            except OSError:  # the program is gone
                break
        if interrupt_at and interrupted is None and interrupt_at in output:
            process.send_signal(signal.SIGINT)
            interrupted = time.monotonic()
        if process.poll() is not None and not select.select([master], [], [], 0.1)[0]:
            break
    status = process.wait(timeout=5)
    if interrupted is not None and time.monotonic() - interrupted > 2:
        status = "late"
    os.close(master)
    return status, output, process.stderr.read().decode()


def longest_line(output):
    """Columns of the longest line as drawn, each line from its last \\r."""
    plain = ESCAPE.sub(b"", output)
    return max(len(line.split(b"\r")[-1]) for line in plain.split(b"\n"))


def screen_of(output, columns):
    screen = pyte.Screen(columns, 40)
    pyte.ByteStream(screen).feed(output)
    return screen.display


def main():
    vtarget, ulvex, image = sys.argv[1:4]
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        boards = Boards(vtarget, scratch)
        environment = dict(os.environ, TERM="xterm")
        environment.pop("NO_COLOR", None)
        for columns, no_colour in ((80, False), (40, True)):
            names = ["board%d-%d" % (columns, i) for i in range(3)]
            ports = [boards.start(name, 0) for name in names]
            command = [ulvex, "flash", image, "-t", "0", "-b", "921600"]
            for port in ports:
                command += ["-p", port]
            env = dict(environment, NO_COLOR="1") if no_colour else environment
            status, output, errors = run_on_terminal(command, columns, env)
            screen = screen_of(output, columns)
            shown = [n for n in names if any(n in l and "verified" in l for l in screen)]
            coloured = b"\x1b[32m" in output
            got = (status, shown, longest_line(output) < columns, coloured)
            want = (0, names, True, not no_colour)
            if got != want:
                failures.append("%d columns: got %s, want %s\n%s\n%s" %
                                (columns, got, want, "\n".join(screen).rstrip(), errors))
        # Ctrl-C: both boards are named with the stage they were in.
        big = write_image(scratch + "/big.hex", 0x080000, 64 * 1024, 1)
        ports = [boards.start("stopped%d" % i, 0) for i in range(2)]
        command = [ulvex, "flash", big, "-t", "0", "-p", ports[0], "-p", ports[1]]
        status, _, errors = run_on_terminal(command, 80, environment, interrupt_at=b"programming")
        named = all("%s interrupted while " % p in errors for p in ports) and \
            "while programming (" in errors
        if (status, named) != (130, True):
            failures.append("Ctrl-C: exit %s, boards named %s: %s" % (status, named, errors))
        boards.stop()
    for failure in failures:
        print("FAILED:", failure)
    print("terminal view: %d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
