"""A conftest.py for hardware-in-the-loop tests: the board is programmed with
the firmware under test before each test module, then the tests poke it in
test mode. Copy it beside your tests as conftest.py and set:

    ULVEX_PORT=/dev/serial/by-id/usb-FTDI_...   # or a vtarget link, rfc2217://...
    ULVEX_TARGET=kolt-a-int                     # a name or number of ulvex.targets()
    FIRMWARE=build/app.hex

With a virtual board instead of hardware:

    build/sim/vtarget --target 0 --link /tmp/board &
    ULVEX_PORT=/tmp/board ULVEX_TARGET=0 FIRMWARE=examples/sample.hex \\
        PYTHONPATH=build/python python3 -m pytest examples/pytest_fixture.py
"""
import os

import pytest

import ulvex

BAUD = 921600


@pytest.fixture(scope="module")
def programmed_board():
    """Programs FIRMWARE and fails the module's tests with the reason when
    the board was not verified (PortError, MailError, CrcMismatch, ...)."""
    port, target = os.environ["ULVEX_PORT"], os.environ["ULVEX_TARGET"]
    result = ulvex.flash(os.environ["FIRMWARE"], port, target, baud=BAUD)
    result.raise_if_failed()
    return result


@pytest.fixture
def board(programmed_board):
    """The programmed board in test mode, closed after the test whatever it did.
    A real board runs its new firmware after the restart, so the monitor is
    started again; vtarget's monitor keeps running (set VTARGET=1)."""
    monitor_runs = os.environ.get("VTARGET") == "1"
    with ulvex.TestMode(programmed_board.port, programmed_board.target, baud=BAUD,
                        start_monitor=not monitor_runs) as b:
        yield b


def test_flash_holds_the_image(board, programmed_board):
    """The target's CRC over the image's range is the one the session checked."""
    events = {e.name: e for e in programmed_board.events}
    start, size = events["PROGRAM_OFFSET_IND"]["offset"], events["PROGRAM_SIZE_IND"]["size"]
    assert board.crc32(start, start + size - 1) == programmed_board.crc_file
