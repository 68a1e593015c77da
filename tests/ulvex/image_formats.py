#!/usr/bin/env python3
"""One image in every format ulvex takes, made by real tools: Intel HEX and
S-records by srec_cat, ELF files by arm-none-eabi-as and -ld (two segments,
the second loaded at its physical address 0x090000 while it runs at
0x20000000), and the raw binary with --base. Each is flashed into its own
vtarget board, all at once, and must leave the same flash contents and give
the file's CRC. Then the files ulvex must refuse, before any board is
touched; verify of an S-record; and Ctrl-C. No run may leave a temporary
file in $TMPDIR.

    image_formats.py VTARGET ULVEX JOBS_SCHEMA
"""
import json
import os
import select
import signal
import struct
import subprocess
import sys
import tempfile
import zlib

import intelhex
import jsonschema

from boards import Boards, write_image

# Records of 32 bytes from BASE on cross the 64 KiB boundary at 0x090000.
BASE, SIZE, SEED = 0x08F010, 8192, 7
LINKER_SCRIPT = """SECTIONS {
  .text 0x%X : { *(.text) }
  .data 0x20000000 : AT(0x%X + SIZEOF(.text)) { *(.data) }
  .bss : { *(.bss) }
}
""" % (BASE, BASE)
ASSEMBLY = """.section .text
.incbin "image.bin", 0, 4096
.section .data
.incbin "image.bin", 4096
.ifdef BSS
.section .bss
.space 1024
.endif
"""


def run(command, cwd):
    subprocess.run(command, cwd=cwd, check=True, capture_output=True)


def patch(source, target, change):
    """A copy of an ELF file with change(bytearray) applied."""
    data = bytearray(open(source, "rb").read())
    change(data)
    open(target, "wb").write(data)


def phdr(data, index):
    """Offset of a 32-bit little-endian ELF file's program header."""
    phoff, = struct.unpack_from("<I", data, 28)
    return phoff + 32 * index


def make_files(s):
    """Every file of the test in s, by name."""
    write_image(s + "/image.hex", BASE, SIZE, SEED)  # and its bytes in image.hex.bin
    os.rename(s + "/image.hex.bin", s + "/image.bin")
    open(s + "/image.s", "w").write(ASSEMBLY)
    open(s + "/image.ld", "w").write(LINKER_SCRIPT)
    for name, options in (("image", []), ("bss", ["--defsym", "BSS=1"])):
        run(["arm-none-eabi-as", *options, "image.s", "-o", name + ".o"], s)
        run(["arm-none-eabi-ld", "-n", "-T", "image.ld", name + ".o", "-o", name + ".elf"], s)
    run(["arm-none-eabi-strip", "--strip-all", "bss.elf", "-o", "stripped.elf"], s)
    # No section headers at all: only the program headers are left.
    patch(s + "/stripped.elf", s + "/stripped.elf",
          lambda d: struct.pack_into("<I", d, 32, 0) or struct.pack_into("<HHH", d, 46, 0, 0, 0))
    patch(s + "/image.elf", s + "/overlap.elf",
          lambda d: struct.pack_into("<I", d, phdr(d, 1) + 12, BASE + 0x800))
    elf = open(s + "/image.elf", "rb").read()
    offset, = struct.unpack_from("<I", elf, phdr(elf, 1) + 4)  # the second segment's bytes
    open(s + "/truncated.elf", "wb").write(elf[:offset + 100])
    run(["objcopy", "-I", "elf32-little", "-O", "elf64-little", "image.elf", "high.elf"], s)
    patch(s + "/high.elf", s + "/high.elf", lambda d: struct.pack_into(
        "<Q", d, struct.unpack_from("<Q", d, 32)[0] + 56 + 24, 0x100000000))
    run(["objcopy", "-I", "binary", "-O", "elf32-little", "--change-addresses", hex(BASE),
         "image.bin", "object.o"], s)
    for name, length in (("s2", 3), ("s3", 4)):
        run(["srec_cat", "image.bin", "-binary", "-offset", hex(BASE), "-o", name + ".srec",
             "-motorola", "-address-length=%d" % length], s)
    # S1 addresses reach 64 KiB only: these bytes at 0, for a board whose flash starts there.
    run(["srec_cat", "image.bin", "-binary", "-o", "s1.srec", "-motorola", "-address-length=2"], s)
    open(s + "/notes.txt", "w").write("release notes\n")


def results(stdout):
    events = [json.loads(line) for line in stdout.splitlines() if line.startswith("{")]
    return [(e["result"], e["crc_file"], e["crc_target"]) for e in events if e["event"] == "result"]


def main():
    vtarget, ulvex, jobs_schema = sys.argv[1:4]
    failures = []
    with tempfile.TemporaryDirectory() as s:
        make_files(s)
        tmpdir = s + "/tmp"
        os.mkdir(tmpdir)
        env = dict({k: v for k, v in os.environ.items() if not k.startswith("ULVEX_")},
                   TMPDIR=tmpdir)
        data = open(s + "/image.bin", "rb").read()
        crc = "%08X" % zlib.crc32(data)
        boards = Boards(vtarget, s)
        flash = [ulvex, "flash", "-b", "921600", "--json"]
        # name, IMAGE and its options, target type, address of the image there
        rows = [("Intel HEX", ["image.hex"], 0, BASE),
                ("ELF", ["image.elf"], 0, BASE),
                ("ELF with .bss", ["bss.elf"], 0, BASE),
                ("stripped ELF", ["stripped.elf"], 0, BASE),
                ("S2 records", ["s2.srec"], 0, BASE),
                ("S3 records, --format srec", ["s3.srec", "--format", "srec"], 0, BASE),
                ("raw binary", ["image.bin", "--format", "bin", "--base", "0x%X" % BASE], 0, BASE),
                ("S1 records", ["s1.srec"], 10, 0)]
        runs, dumps = [], {}
        for i, (name, image, target, address) in enumerate(rows):
            port = boards.start("board%d" % i, target)
            dumps[name] = (port + ".dump.hex", address)
            runs.append((name, subprocess.Popen(
                flash + ["-p", port, "-t", str(target), *image], cwd=s, env=env,
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True), 1))
        jobs = {"boards": [
            {"port": boards.start("jobs-elf", 0), "target": 0, "image": "image.elf",
             "format": "elf"},
            {"port": boards.start("jobs-bin", 0), "target": 0, "image": "image.bin",
             "format": "bin", "base": "%X" % BASE}]}
        jsonschema.validate(jobs, json.load(open(jobs_schema)))
        json.dump(jobs, open(s + "/jobs.json", "w"))
        for board in jobs["boards"]:
            dumps["jobs file, " + board["format"]] = (board["port"] + ".dump.hex", BASE)
        runs.append(("jobs file", subprocess.Popen(flash + ["--jobs", "jobs.json"], cwd=s, env=env,
                                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                                   text=True), 2))
        for name, process, count in runs:
            out, err = process.communicate(timeout=120)
            got = (process.returncode, results(out))
            if got != (0, [("verified", crc, crc)] * count):
                failures.append("%s: exit %d, results %s: %s" % (name, *got, err))

        # Refused before any board is touched: the port does not even exist.
        verify = [ulvex, "verify", "s3.srec", "-p", boards.running[0][2], "-t", "0", "-b", "921600"]
        refusals = [("overlapping segments", ["overlap.elf"], "segment 0 and segment 1 both write"),
                    ("truncated ELF", ["truncated.elf"], "is truncated: segment 1 needs"),
                    ("ELF above 4 GiB", ["high.elf"], "above the 4 GiB"),
                    ("object file", ["object.o"], "has no program headers"),
                    ("text file", ["notes.txt"], "is neither Intel HEX, ELF nor Motorola S-record"),
                    ("--base without bin", ["image.bin", "--base", "8F010"], "without format bin"),
                    ("bin without --base", ["image.bin", "--format", "bin"], "without a base")]
        checks = [(name, [ulvex, "flash", *image, "-p", s + "/none", "-t", "0"], 2, "", want)
                  for name, image, want in refusals]
        checks.append(("verify S-records", verify, 0, "target CRC %s: verified" % crc, ""))
        for name, command, status, out_want, err_want in checks:
            done = subprocess.run(command, cwd=s, env=env, capture_output=True, text=True)
            if (done.returncode, out_want in done.stdout, err_want in done.stderr) != \
                    (status, True, True):
                failures.append("%s: exit %d: %s%s" % (name, done.returncode, done.stdout,
                                                       done.stderr))

        # Ctrl-C while the converted image is in use.
        port = boards.start("interrupted", 0)
        process = subprocess.Popen(flash + ["image.elf", "-p", port, "-t", "0"], cwd=s, env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        # The session's first indication: the converted image is in use.
        if select.select([process.stdout], [], [], 30)[0]:
            process.stdout.readline()
        in_use = os.listdir(tmpdir)
        process.send_signal(signal.SIGINT)
        process.communicate(timeout=10)
        if process.returncode != 130 or not in_use:
            failures.append("Ctrl-C: exit %d, temporary files while running: %s" %
                            (process.returncode, in_use))
        if os.listdir(tmpdir):
            failures.append("left in $TMPDIR: %s" % os.listdir(tmpdir))

        boards.stop()
        reference = intelhex.IntelHex(dumps["Intel HEX"][0]).todict()
        for name, (dump, address) in dumps.items():
            memory = intelhex.IntelHex(dump)
            if memory.tobinstr(address, address + SIZE - 1) != data or \
                    (address == BASE and memory.todict() != reference):
                failures.append("%s: the flash differs from the Intel HEX board's" % name)
    for failure in failures:
        print("FAILED:", failure)
    print("%d formats flashed, %d refusals, %d failures" % (len(dumps), len(refusals),
                                                            len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
