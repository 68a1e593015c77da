"""ulvex: program, verify and drive target boards from Python, over the
Ulvex library (libulvex.so.2) through ctypes.

    result = ulvex.flash("app.hex", "/dev/ttyUSB0", "kolt-a-int", baud=921600)
    result.raise_if_failed()          # or look at result.ok / result.result
    with ulvex.TestMode("/dev/ttyUSB0", "kolt-a-int") as board:
        board.write16(0x1000, 0xBEEF)

- flash(image, port, target, baud=None, bus="duplex", on_event=None) -> FlashResult
- flash_many(jobs, on_event=None) -> list[FlashResult], every board at once
- TestMode(port, target, baud=None, start_monitor=True): read, write, read16,
  write16, read_words, crc32, checksum, write_flash, erase_sector,
  erase_block, erase_chip, flash_type, set_flash_commands, go, dtr, rts,
  brk, send, receive
- targets(), find_target(t), ports()
- Event: an indication by name with its parameters
- UlvexError and its subclasses StartError, PortError, DownloadError,
  ImageError, MailError, CrcMismatch, NotVerified

The library is $ULVEX_LIBRARY, else the one of the build or installed tree
this package came with, else libulvex.so.2 through the system's loader.
"""
from ._library import library_path
from .errors import (CrcMismatch, DownloadError, ImageError, MailError, NotVerified, PortError,
                     StartError, UlvexError)
from .events import Event
from .flash import FlashResult, Job, flash, flash_many
from .ports import Holder, Port, ports
from .targets import Target, find_target, targets
from .testmode import TestMode

__all__ = [
    "CrcMismatch", "DownloadError", "Event", "FlashResult", "Holder", "ImageError", "Job",
    "MailError", "NotVerified", "Port", "PortError", "StartError", "Target", "TestMode",
    "UlvexError", "find_target", "flash", "flash_many", "library_path", "ports", "targets",
]
