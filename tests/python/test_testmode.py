"""ulvex.TestMode against vtarget boards: memory and CRC against the board's
dump and zlib, raw bytes, every failure as its exception, the cleanup."""
import os
import random
import zlib

import intelhex
import pytest

import ulvex

# address, data: one mail and several each way. A KOLT monitor's CRC takes
# whole 16-bit words.
WRITES = [(0x010002, random.Random(1).randbytes(8)),
          (0x020000, random.Random(2).randbytes(10000)),
          (0xFFE000, bytes(range(256)))]


def test_memory_and_crc_against_the_board_and_zlib(boards):
    port = boards.start("b", 0, "--monitor-running")
    with ulvex.TestMode(port, "kolt-a-int", start_monitor=False) as board:
        for address, data in WRITES:
            board.write(address, data)
            assert board.read(address, len(data)) == data
            assert board.crc32(address, address + len(data) - 1) == zlib.crc32(data)
        board.write16(0x030000, 0xA55A)
        assert (board.read16(0x030000), board.read_words(0x030000, 2)) == (0xA55A, [0xA55A, 0xFFFF])
    boards.stop()
    memory = intelhex.IntelHex(port + ".dump.hex")
    for address, data in WRITES:
        assert memory.tobinstr(address, size=len(data)) == data


def test_raw_bytes_with_the_boot_loader(boards):
    port = boards.start("b", 0)
    with ulvex.TestMode(port, 0, baud=9600, start_monitor=False) as board:
        assert board.receive(1, timeout=2) == b"\x02"  # the idle prompt
        board.send(b"\x01\x10\x00")  # a download of 16 bytes: answered 0x06
        assert b"\x06" in board.receive(4, timeout=1)
        board.dtr = True  # the library's port again
        assert board.events[-1].params == {"action": 0}


# name, vtarget options (None: no board), the call, exception, library code
FAILURES = [
    ("missing port", None, lambda b: None, ulvex.PortError, 0),
    ("silent board", ["--silent-after", "1"], lambda b: [b.read16(0), b.read16(0)],
     ulvex.MailError, 1),
    ("negative confirm", ["--nak-every", "1"], lambda b: b.write(0x1000, b"\x01"),
     ulvex.MailError, 9),
]


@pytest.mark.parametrize("name, options, call, exception, code", FAILURES,
                         ids=[f[0] for f in FAILURES])
def test_failure_raises(boards, name, options, call, exception, code):
    port = (boards.start("b", 0, "--monitor-running", *options) if options is not None
            else os.path.join(boards.scratch, "none"))
    with pytest.raises(exception) as raised:
        with ulvex.TestMode(port, 0, start_monitor=False) as board:
            call(board)
    assert (raised.value.code, raised.value.port) == (code, port)


def descriptors_on(port):
    device = os.path.realpath(port)
    return [fd for fd in os.listdir("/proc/self/fd")
            if os.path.realpath("/proc/self/fd/" + fd) == device]


@pytest.mark.parametrize("start_monitor", [True, False])
def test_cleanup_when_the_body_raises(boards, start_monitor):
    port = boards.start("b", 0, *([] if start_monitor else ["--monitor-running"]))
    with pytest.raises(ZeroDivisionError):
        with ulvex.TestMode(port, 0, start_monitor=start_monitor) as board:
            board.dtr = True
            assert descriptors_on(port)
            1 / 0
    assert (descriptors_on(port), board.events[-1].name) == ([], "STOP_PROGRAM_IND")
    with ulvex.TestMode(port, 0, start_monitor=False) as again:
        assert again.read16(0xFFE000) == 0xFFFF
