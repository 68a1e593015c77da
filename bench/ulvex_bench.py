#!/usr/bin/env python3
"""Many boards through one `ulvex flash` against one board alone, and
ulvex's own processor time with its live view on a terminal, in one run.

Every board is a vtarget process with line timing on its own
pseudo-terminal, started afresh for each run. Each round makes four runs,
one after another: one board with --json to a pipe; all boards with --json
to a pipe; all boards with the live view on a pseudo-terminal of 120x40
whose output this script reads and drops; all boards with --quiet (the
library's sessions without a view). Prints each run's wall time, its
slowest board's session time (the "ms" of the result events), ulvex's
user+system time over the wall time, split into the session threads and
the live view's thread, the boards' and the rest of the machine's
processor time; then each round's ratios, their median and its goal. A
missed goal is a figure, not a failure: the exit status is 0 unless a board
was not verified or a run could not be made.

    bench/ulvex_bench.py [--boards=16] [--rate=921600] [--type=1] [--kib=512]
                         [--rounds=3] [--ulvex=PATH] [--vtarget=PATH]
"""
import argparse
import fcntl
import json
import os
import random
import re
import resource
import select
import signal
import statistics
import struct
import sys
import tempfile
import termios
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def flash_base(target):
    # As bench/BenchImage: the ATmega flash from 0, the ML675001's external
    # flash, the external flash of the KOLT boards for the rest.
    return {10: 0, 17: 0, 14: 0xC8000000}.get(target, 0x080000)


def write_hex(path, base, size):
    rng = random.Random(42)
    data = rng.randbytes(size)
    lines, upper = [], None

    def record(kind, offset, payload):
        body = bytes([len(payload), offset >> 8, offset & 0xFF, kind]) + payload
        lines.append(":%s%02X\n" % (body.hex().upper(), -sum(body) & 0xFF))

    for at in range(0, size, 16):
        address = base + at
        if address >> 16 != upper:
            upper = address >> 16
            record(4, 0, upper.to_bytes(2, "big"))
        record(0, address & 0xFFFF, data[at:at + 16])
    lines.append(":00000001FF\n")
    with open(path, "w") as f:
        f.writelines(lines)


def machine_busy():
    """The jiffies all processors were busy since boot."""
    with open("/proc/stat") as f:
        fields = [int(v) for v in f.readline().split()[1:8]]
    return sum(fields) - fields[3] - fields[4]  # without idle and iowait


def own_cpu():
    r = resource.getrusage(resource.RUSAGE_SELF)
    return r.ru_utime + r.ru_stime


def spawn(argv, stdout, stderr, env=None):
    actions = [(os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
               (os.POSIX_SPAWN_DUP2, stdout, 1), (os.POSIX_SPAWN_DUP2, stderr, 2)]
    return os.posix_spawn(argv[0], argv, env or os.environ, file_actions=actions)


def reap(pid, pidfd, seconds):
    """Waits for pid with a deadline, then kills it; returns (status, rusage)."""
    if not select.select([pidfd], [], [], seconds)[0]:
        os.kill(pid, signal.SIGKILL)
    _, status, usage = os.wait4(pid, 0)
    os.close(pidfd)
    return status, usage


class Boards:
    """vtarget processes with line timing, each on its link in a directory."""

    def __init__(self, vtarget, target, count, directory):
        self.procs = []  # (pid, pidfd, output fd, link)
        for i in range(count):
            link = os.path.join(directory, "board%02d" % i)
            read, write = os.pipe()
            pid = spawn([vtarget, "--wire-timing", "--target", str(target), "--link", link],
                        write, write)
            os.close(write)
            self.procs.append((pid, os.pidfd_open(pid), read, link))
        deadline = time.monotonic() + 20
        for pid, _, fd, link in self.procs:
            text = b""
            while b"vtarget ready" not in text:
                left = deadline - time.monotonic()
                chunk = os.read(fd, 4096) if select.select([fd], [], [], max(left, 0))[0] else b""
                if not chunk:
                    self.stop()
                    sys.exit("vtarget on %s did not get ready: %s" % (link, text.decode()))
                text += chunk

    def links(self):
        return [link for _, _, _, link in self.procs]

    def outputs(self):
        return [fd for _, _, fd, _ in self.procs]

    def stop(self):
        """Ends every board; returns their user+system seconds."""
        cpu = 0.0
        for pid, _, _, _ in self.procs:
            os.kill(pid, signal.SIGTERM)
        for pid, pidfd, fd, _ in self.procs:
            _, usage = reap(pid, pidfd, 5)
            cpu += usage.ru_utime + usage.ru_stime
            os.close(fd)
        self.procs = []
        return cpu


def sample_threads(pid, threads):
    """Adds each thread's run time so far (ns, from schedstat) by thread id."""
    try:
        tids = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return
    for tid in tids:
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                threads[int(tid)] = int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass  # the thread has just ended


def run_flash(args, image, count, view, directory):
    boards = Boards(args.vtarget, args.type, count, directory)
    argv = [args.ulvex, "flash", image, "-t", str(args.type), "-b", str(args.rate)]
    for link in boards.links():
        argv += ["-p", link]
    env = dict(os.environ)
    err_read, err_write = os.pipe()
    live = view == "live"
    if live:
        out_read, out_write = os.openpty()
        fcntl.ioctl(out_write, termios.TIOCSWINSZ, struct.pack("HHHH", 40, 120, 0, 0))
        env.setdefault("TERM", "xterm-256color")
        env.pop("NO_COLOR", None)
    else:
        argv.append("--" + view)
        out_read, out_write = os.pipe()

    busy0 = machine_busy()
    self0 = own_cpu()
    start = time.monotonic()
    pid = spawn(argv, out_write, err_write, env)
    pidfd = os.pidfd_open(pid)
    os.close(out_write)
    os.close(err_write)
    # Read everything ulvex and the boards write, so that none of them
    # blocks on a full pipe or terminal, until ulvex exits or its deadline.
    expected = 3 + args.kib * 1024 * 10 / args.rate
    deadline = start + 60 + 10 * expected
    output, errors = bytearray(), bytearray()
    sinks = {out_read: output, err_read: errors}
    sinks.update({fd: None for fd in boards.outputs()})
    threads, sampled = {}, start
    exited = False
    while not exited and time.monotonic() < deadline:
        now = time.monotonic()
        if now >= sampled:  # ten times a second: the samples cost processor time too
            sample_threads(pid, threads)
            sampled = now + 0.1
        left = min(deadline, sampled) - now
        ready = select.select(list(sinks) + [pidfd], [], [], max(left, 0))[0]
        for fd in ready:
            if fd == pidfd:
                exited = True
                continue
            try:
                chunk = os.read(fd, 65536)
            except OSError:  # EIO: the terminal's other side is closed
                chunk = b""
            if not chunk:
                del sinks[fd]
            elif sinks[fd] is not None:
                sinks[fd] += chunk
    status, usage = reap(pid, pidfd, 0 if not exited else 5)
    wall = time.monotonic() - start
    for fd in (out_read, err_read):
        while fd in sinks and select.select([fd], [], [], 0)[0]:
            try:
                chunk = os.read(fd, 65536)
            except OSError:
                chunk = b""
            if not chunk:
                break
            sinks[fd] += chunk
        os.close(fd)
    busy1 = machine_busy()
    self_cpu = own_cpu() - self0
    board_cpu = boards.stop()

    code = os.waitstatus_to_exitcode(status)
    if not exited:
        sys.exit("ulvex did not finish within %.0f s" % (deadline - start))
    # Threads in the order ulvex starts them: main, the interrupt watch,
    # the live view's drawer, then the library's session threads.
    tids = sorted(t for t in threads if t != pid)
    drawer = tids[1] if live and len(tids) > 1 else None
    result = {
        "boards": count, "view": view, "wall": wall, "exit": code,
        "cpu": usage.ru_utime + usage.ru_stime, "board_cpu": board_cpu,
        "self_cpu": self_cpu, "errors": errors.decode(errors="replace").strip(),
        "busy": (busy1 - busy0) / os.sysconf("SC_CLK_TCK"),
        "drawer": threads[drawer] / 1e9 if drawer else None,
        "sessions": sum(threads[t] for t in tids[2 if live else 1:]) / 1e9,
        "slowest": None, "verified": count if code == 0 else None,
    }
    if live:
        result["frames"] = len(re.findall(rb"\x1b\[\d+A", output)) + 1  # the first has none
        result["bytes"] = len(output)
    if view == "json":
        events = [json.loads(line) for line in output.decode().splitlines() if line.strip()]
        results = [e for e in events if e.get("event") == "result"]
        result["verified"] = sum(1 for e in results if e.get("ok"))
        result["slowest"] = max((e["ms"] / 1e3 for e in results), default=None)
    return result


def show(results, args):
    print("type %d, %d KiB of random data at 0x%06X, %d baud, vtarget --wire-timing, %d cores"
          % (args.type, args.kib, flash_base(args.type), args.rate, os.cpu_count()))
    row = "%-21s %8s %8s %8s %7s %7s %8s %7s %7s %7s %6s"
    print(row % ("", "", "", "slowest", "ulvex", "ulvex", "session", "view", "boards",
                 "others", "busy"))
    print(row % ("run", "verified", "wall", "session", "CPU", "/ wall", "threads", "thread",
                 "/ wall", "/ wall", "cores"))
    for r in results:
        wall = r["wall"]
        others = max(r["busy"] - r["cpu"] - r["board_cpu"] - r["self_cpu"], 0)
        percent = lambda seconds: "%.2f %%" % (100 * seconds / wall)
        print(row % (r["name"], "%d/%d" % (r["verified"], r["boards"]) if r["verified"]
                     is not None else "exit %d" % r["exit"], "%.2f s" % wall,
                     "%.2f s" % r["slowest"] if r["slowest"] else "-", "%.2f s" % r["cpu"],
                     percent(r["cpu"]), percent(r["sessions"]),
                     percent(r["drawer"]) if r["drawer"] is not None else "-",
                     "%.1f %%" % (100 * r["board_cpu"] / wall), "%.1f %%" % (100 * others / wall),
                     "%.0f %%" % (100 * r["busy"] / wall / os.cpu_count())))
    print("/ wall: processor time over the run's wall time, in % of one core; session threads")
    print("and view thread: parts of ulvex's; others: the machine's beyond ulvex, the boards and")
    print("this script; busy cores: the whole machine's processor time over all its cores")
    for live in (r for r in results if r["view"] == "live"):
        print("%s: %d frames, %.1f a second, %d bytes to the terminal"
              % (live["name"], live["frames"], live["frames"] / live["wall"], live["bytes"]))
    print()


def ratio(label, values, goal, percent=False):
    """Each round's figure, their median, and the goal the median meets or misses."""
    shown = lambda v: "%.2f %%" % v if percent else "%.3f" % v
    middle = statistics.median(values)
    mark = "" if goal is None else "  goal at most %s%s: %s" % (
        goal, " %" if percent else "", "met" if middle <= goal else "MISSED")
    print("%-46s %s  median %s%s" % (label, " ".join(shown(v) for v in values), shown(middle),
                                     mark))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--boards", type=int, default=16)
    parser.add_argument("--rate", type=int, default=921600)
    parser.add_argument("--type", type=int, default=1)
    parser.add_argument("--kib", type=int, default=512)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--ulvex", default=os.path.join(REPO, "build/ulvex/ulvex"))
    parser.add_argument("--vtarget", default=os.path.join(REPO, "build/sim/vtarget"))
    args = parser.parse_args()
    for path in (args.ulvex, args.vtarget):
        if not os.access(path, os.X_OK):
            sys.exit("%s: not an executable; build ulvex_cli and vtarget first" % path)

    n = args.boards
    runs = [("one board, --json", 1, "json"), ("%d boards, --json" % n, n, "json"),
            ("%d boards, live view" % n, n, "live"), ("%d boards, --quiet" % n, n, "quiet")]
    load0 = os.getloadavg()
    rounds = []
    with tempfile.TemporaryDirectory(prefix="ulvex-bench-") as directory:
        image = os.path.join(directory, "image.hex")
        write_hex(image, flash_base(args.type), args.kib * 1024)
        for r in range(args.rounds):
            rounds.append([dict(run_flash(args, image, count, view, directory),
                                name="%d: %s" % (r + 1, name)) for name, count, view in runs])
    load1 = os.getloadavg()

    results = [run for runs_of_round in rounds for run in runs_of_round]
    show(results, args)
    share = lambda run: 100 * run["cpu"] / run["wall"]
    print("rounds 1..%d:" % args.rounds)
    ratio("%d boards / one board, slowest session" % n,
          [many["slowest"] / one["slowest"] for one, many, _, _ in rounds], 1.05)
    ratio("%d boards / one board, wall time" % n,
          [many["wall"] / one["wall"] for one, many, _, _ in rounds], 1.05)
    for i, view in ((2, "live view"), (3, "--quiet")):
        ratio("%d boards / one board, wall time, %s" % (n, view),
              [r[i]["wall"] / r[0]["wall"] for r in rounds], None)
    ratio("ulvex CPU / wall, %d boards, live view" % n, [share(r[2]) for r in rounds], 3, True)
    ratio("ulvex CPU / wall, %d boards, --json to a pipe" % n, [share(r[1]) for r in rounds],
          None, True)
    ratio("ulvex CPU / wall, %d boards, --quiet" % n, [share(r[3]) for r in rounds], None, True)
    print("load average (1 min) before %.2f, after %.2f" % (load0[0], load1[0]))
    for r in results:
        if r["errors"]:
            print("%s: ulvex said: %s" % (r["name"], r["errors"]))
    return 0 if all(r["verified"] == r["boards"] for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
