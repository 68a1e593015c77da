"""Indications as Python objects: each code's name and its parameters by
name, as ulvex's JSON Lines carry them (docs/ulvex-events.schema.json)."""
from __future__ import annotations

import dataclasses
import struct
from typing import Any

# By code: the name, the record's shape and its parameters' names. Shapes:
# "" none, "w" one word, "ww" two words, "l" one long, "ll" two longs, "t" text.
KINDS: tuple[tuple[str, str, tuple[str, ...]], ...] = (
    ("UNKNOWN_IND", "", ()),
    ("START_PROGRAM_IND", "l", ("version",)),
    ("LOADER_ID_UNKNOWN_IND", "", ()),
    ("COM_PORT_ACCESS_FAIL_IND", "", ()),
    ("READY_TO_DOWNLOAD_IND", "", ()),
    ("START_DOWNLOADER_IND", "", ()),
    ("DOWNLOAD_SUCCESS_IND", "", ()),
    ("DOWNLOAD_FAILED_IND", "", ()),
    ("HEX_FILE_ERROR_IND", "", ()),
    ("PROGRAM_SIZE_IND", "l", ("size",)),
    ("PROGRAM_OFFSET_IND", "l", ("offset",)),
    ("COMMUNICATION_ERROR_IND", "", ()),
    ("PROGRAM_PROGRESS_IND", "l", ("address",)),
    ("FLASHTYPE_IND", "ww", ("manufacturer", "device")),
    ("CHIP_ERASE_START_IND", "", ()),
    ("CHIP_ERASE_FINISHED_IND", "", ()),
    ("PROGRAMMING_SUCCESS_IND", "", ()),
    ("CRC_OK_IND", "ll", ("crc_file", "crc_target")),
    ("CRC_ERROR_IND", "ll", ("crc_file", "crc_target")),
    ("RESET_TARGET_IND", "", ()),
    ("MAIL_ERROR_IND", "w", ("error",)),
    ("STOP_PROGRAM_IND", "l", ("ms",)),
    ("TEXT_INFO_IND", "t", ("text",)),
    ("COMPORT_CTRL_IND", "w", ("action",)),
    ("COM_PORT_SEARCHING_IND", "", ()),
    ("COM_PORT_SEARCHING_TIMEOUT_IND", "", ()),
    ("COM_PORT_FOUND_IND", "", ()),
    ("ERASE_SECTOR_IND", "l", ("address",)),
    ("TARGET_FOUND_IND", "", ()),
    ("SECTOR_ERASE_START_IND", "", ()),
    ("SECTOR_ERASE_FINISHED_IND", "", ()),
)
CODES = {name: code for code, (name, _, _) in enumerate(KINDS)}
START, STOP = CODES["START_PROGRAM_IND"], CODES["STOP_PROGRAM_IND"]
TEXT_INFO = CODES["TEXT_INFO_IND"]
_FORMATS = {"": "", "w": "<H", "ww": "<HH", "l": "<I", "ll": "<II"}


@dataclasses.dataclass(frozen=True)
class Event:
    """One indication: `name` ("PROGRAM_PROGRESS_IND"), `code`, the
    `session` id, `params` by name ({"address": 0x80100}), the port it came
    from as given, and `time` (time.monotonic() when it arrived)."""

    name: str
    code: int
    session: int
    params: dict[str, Any]
    port: str = ""
    time: float = 0.0

    def __getitem__(self, key: str) -> Any:
        return self.params[key]


def decode(code: int, body: bytes) -> tuple[str, dict[str, Any]]:
    """The name and parameters of a record's code and the bytes after its
    header (at most 512)."""
    name, shape, names = KINDS[code] if code < len(KINDS) else KINDS[0]
    if shape == "t":
        text = body.split(b"\0", 1)[0]
        return name, {"text": text.decode("utf-8", "replace")}
    if not shape:
        return name, {}
    return name, dict(zip(names, struct.unpack_from(_FORMATS[shape], body)))
