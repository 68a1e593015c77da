"""Whole programming sessions: flash() for one board, flash_many() for
several at once, each ending with a FlashResult whose `result` is the word
ulvex's JSON gives (verified, loaded, crc-mismatch, port-error,
download-failed, image-error, mail-error, not-verified, not-started)."""
from __future__ import annotations

import dataclasses
import os
import queue
import time
from typing import Any, Callable, Iterable, Mapping, Union

from . import _library
from .errors import (MAIL_ERROR_TEXTS, START_TEXTS, CrcMismatch, DownloadError, ImageError,
                     MailError, NotVerified, PortError, StartError, UlvexError)
from .events import CODES, STOP, Event
from .targets import Target, find_target

DEFAULT_BAUD = 115200
EventHandler = Callable[[Event], Any]
PathLike = Union[str, "os.PathLike[str]"]

# The indications that decide a session's result; the first one does.
_DECIDING = {CODES[n]: n for n in (
    "CRC_OK_IND", "CRC_ERROR_IND", "COM_PORT_ACCESS_FAIL_IND", "COM_PORT_SEARCHING_TIMEOUT_IND",
    "DOWNLOAD_FAILED_IND", "LOADER_ID_UNKNOWN_IND", "HEX_FILE_ERROR_IND", "MAIL_ERROR_IND")}
_RESULTS = {
    "CRC_OK_IND": ("verified", ""),
    "CRC_ERROR_IND": ("crc-mismatch", "the target's CRC32 differs from the image's"),
    "COM_PORT_ACCESS_FAIL_IND": ("port-error", "the port did not open"),
    "COM_PORT_SEARCHING_TIMEOUT_IND": ("port-error", "no boot loader answered: is the board "
                                       "powered, in its boot loader and on this port?"),
    "DOWNLOAD_FAILED_IND": ("download-failed", "the boot loader did not take the monitor: is "
                            "the board in its boot loader, and is the target type its own?"),
    "LOADER_ID_UNKNOWN_IND": ("download-failed", "the target type has no boot procedure"),
    "HEX_FILE_ERROR_IND": ("image-error", "the library cannot read the image as Intel HEX"),
    "MAIL_ERROR_IND": ("mail-error", ""),
}
_EXCEPTIONS: dict[str, type[UlvexError]] = {
    "crc-mismatch": CrcMismatch, "port-error": PortError, "download-failed": DownloadError,
    "image-error": ImageError, "mail-error": MailError, "not-verified": NotVerified,
    "not-started": StartError,
}


@dataclasses.dataclass
class Job:
    """One board of flash_many(): its image, port and target, and its link."""

    image: PathLike
    port: str
    target: int | str | Target
    baud: int | None = None
    bus: str = "duplex"
    dtr: bool = False
    rts: bool = False


@dataclasses.dataclass
class FlashResult:
    """How one board's session ended. `ok` is True for "verified" and for
    "loaded" (a type that loads into RAM has no CRC to compare); `detail`
    says why not otherwise; `code` is the library's number for the failure
    (the mail error, the FlashLoader result), else 0. `crc_file` and
    `crc_target` come from the CRC indication, `ms` from STOP_PROGRAM_IND,
    `seconds` is the wall time until it came; `events` holds every
    indication of the session."""

    port: str
    target: Target
    image: str
    result: str = "not-verified"
    ok: bool = False
    detail: str = ""
    code: int = 0
    crc_file: int | None = None
    crc_target: int | None = None
    ms: int = 0
    seconds: float = 0.0
    events: list[Event] = dataclasses.field(default_factory=list)

    def raise_if_failed(self) -> "FlashResult":
        """Returns the result when ok, else raises the UlvexError subclass of
        its result (PortError, MailError, CrcMismatch, ...)."""
        if self.ok:
            return self
        text = "%s: %s: %s" % (self.port, self.result, self.detail)
        if self.result == "port-error":
            failure = self.detail.split(": ", 1) if ": " in self.detail else ["", self.detail]
            raise PortError(text, self.code, self.port, failure[0], failure[1])
        raise _EXCEPTIONS.get(self.result, UlvexError)(text, self.code, self.port)


class _Board:
    def __init__(self, job: Job) -> None:
        self.target = find_target(job.target)
        if self.target.refused:
            raise ValueError("the library does not program target type %d (%s)"
                             % (self.target.number, self.target.name))
        self.image = os.path.abspath(os.fspath(job.image))
        if not os.path.isfile(self.image):
            raise FileNotFoundError("%s: no such image file" % job.image)
        self.job, self.busmode = job, _library.bus_mode(job.bus, job.dtr, job.rts)
        self.result = FlashResult(job.port, self.target, self.image)
        self.first, self.mail_error, self.programmed = "", 0, False
        self.comport = self.session = 0
        self.start = 0.0

    def take(self, event: Event) -> None:
        r = self.result
        r.events.append(event)
        if event.name in ("CRC_OK_IND", "CRC_ERROR_IND"):
            r.crc_file, r.crc_target = event["crc_file"], event["crc_target"]
        elif event.name == "MAIL_ERROR_IND" and not self.mail_error:
            self.mail_error = event["error"]
        elif event.name == "PROGRAMMING_SUCCESS_IND":
            self.programmed = True
        if not self.first and event.code in _DECIDING:
            self.first = _DECIDING[event.code]
        if event.code == STOP:
            r.ms, r.seconds = event["ms"], event.time - self.start
            self.finish()

    def finish(self) -> None:
        r = self.result
        r.result, r.detail = _RESULTS.get(self.first, ("not-verified", "the session ended "
                                                       "without a CRC to compare"))
        r.ok = r.result == "verified"
        if r.result == "mail-error":
            r.code = self.mail_error
            r.detail = "mail error %d: %s" % (r.code, MAIL_ERROR_TEXTS.get(r.code, "unknown"))
        elif r.result == "port-error" and self.first == "COM_PORT_ACCESS_FAIL_IND":
            failure = _library.open_failure(self.session)
            if failure:
                r.detail = "%s: %s" % failure
        elif r.result == "not-verified" and self.programmed and not self.target.verifies:
            r.ok, r.result, r.detail = True, "loaded", "the target type has no CRC to compare"


def _as_job(job: Job | Mapping[str, Any] | tuple[Any, ...]) -> Job:
    if isinstance(job, Job):
        return job
    if isinstance(job, Mapping):
        return Job(**job)
    return Job(*job)


def flash_many(jobs: Iterable[Job | Mapping[str, Any] | tuple[Any, ...]],
               on_event: EventHandler | None = None) -> list[FlashResult]:
    """Programs every board at once, one session each, and blocks until the
    last STOP_PROGRAM_IND. A job is a Job, a dict of its fields or a tuple
    (image, port, target[, baud, bus, dtr, rts]). Every image and target is
    checked before any board is touched (FileNotFoundError, ValueError).
    on_event gets every indication of every board, on this thread, in the
    order they came; an exception it raises is raised once all sessions
    have ended. Returns the results in the order of the jobs."""
    boards = [_Board(_as_job(j)) for j in jobs]
    records: queue.SimpleQueue[_library.RawRecord] = queue.SimpleQueue()
    running: dict[int, _Board] = {}
    failure: BaseException | None = None
    try:
        for b in boards:
            b.comport = _library.map_port(b.job.port)
            b.session = _library.open_session(records.put, b.job.port)
            b.start = time.monotonic()
            started = _library.lib().FlashLoader(
                b.comport, b.busmode, b.job.baud or DEFAULT_BAUD, b.target.number,
                b.image.encode(), b.session)
            if started != 0:
                b.result.result, b.result.code = "not-started", started
                b.result.detail = START_TEXTS.get(started, "FlashLoader returned %d" % started)
                continue
            running[b.session] = b
        while running:
            event = _library.to_event(records.get())
            board = running.get(event.session)
            if board is None:
                continue
            board.take(event)
            if on_event is not None and failure is None:
                try:
                    on_event(event)
                except Exception as error:  # raised once every session has ended
                    failure = error
            if event.code == STOP:
                del running[event.session]
    finally:
        # A board whose session still runs (an interrupt) keeps its session
        # id and its port's number: the library may still open that port.
        for b in boards:
            if b.session not in running:
                _library.close_session(b.session)
                _library.unmap_port(b.comport)
    if failure is not None:
        raise failure
    return [b.result for b in boards]


def flash(image: PathLike, port: str, target: int | str | Target, baud: int | None = None,
          bus: str = "duplex", on_event: EventHandler | None = None, *, dtr: bool = False,
          rts: bool = False) -> FlashResult:
    """Programs image (Intel HEX) into the board on port (a device path, a
    /dev/serial/by-id link, COMn, rfc2217://HOST:PORT or socket://HOST:PORT)
    as target type target (a number or a name of targets()), at baud (default
    115200) on bus "duplex" or "single", and verifies it by CRC32. Blocks
    until the session's STOP_PROGRAM_IND; on_event gets each indication on
    this thread. The result says verified, or why not: check `ok`, or call
    raise_if_failed()."""
    return flash_many([Job(image, port, target, baud, bus, dtr, rts)], on_event)[0]
