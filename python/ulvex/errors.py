"""Exceptions raised by the ulvex package; each carries the library's code
and a text that says what failed."""
from __future__ import annotations

# MailError codes of ulvex.h, as a user reads them.
MAIL_ERROR_TEXTS = {
    1: "no answer from the monitor after two retransmissions (the board reset or lost power, "
       "or the rate is too fast for the line)",
    2: "the mail receiver is in an undefined state",
    3: "no memory for the mail's frame",
    4: "the request frame is longer than 4352 bytes",
    5: "the answer is too short (garbled on the line?)",
    6: "the answer's checksum is wrong (garbled on the line?)",
    7: "the library was given no place for the answer",
    8: "a wrong answer, or the port failed (adapter unplugged, remote server gone)",
    9: "the monitor refused the request (flash protected or worn out, or the address lies "
       "outside the target's memory)",
    10: "more data asked for than one mail carries",
}

# FlashLoader's reasons for not starting a session.
START_TEXTS = {
    2: "the image does not open, or its name has 200 characters or more",
    4: "the library refuses this target type",
    5: "the library refuses this bus mode",
    6: "the session's worker thread did not start",
}


class UlvexError(Exception):
    """Base of every ulvex failure: `code` is the library's number for it
    (a MailError code, a FlashLoader or monitor-start result, or 0 where the
    library gives none), `text` says what failed."""

    def __init__(self, text: str, code: int = 0, port: str | None = None) -> None:
        super().__init__(text)
        self.text, self.code, self.port = text, code, port


class StartError(UlvexError):
    """FlashLoader refused to start a session (code 2, 4, 5 or 6)."""


class PortError(UlvexError):
    """The port did not open; `tried` is the device or URL the library
    opened for it and `reason` the system's reason."""

    def __init__(self, text: str, code: int = 0, port: str | None = None, tried: str = "",
                 reason: str = "") -> None:
        super().__init__(text, code, port)
        self.tried, self.reason = tried, reason


class DownloadError(UlvexError):
    """The boot loader did not start a monitor (no board, wrong type, a
    board not in its boot loader)."""


class ImageError(UlvexError):
    """The library could not read the image as Intel HEX."""


class MailError(UlvexError):
    """A mail to the monitor failed; `code` is the MailError code (1 timeout,
    6 checksum, 8 wrong answer or failed port, 9 negative confirm, ...)."""


class CrcMismatch(UlvexError):
    """The target's CRC32 differs from the image's."""


class NotVerified(UlvexError):
    """The session ended without a CRC to say that the board holds the image."""


def mail_error(code: int, what: str, port: str | None = None) -> MailError:
    """The MailError of a failed call, e.g. mail_error(9, "write of 4 bytes at 0x1000")."""
    detail = MAIL_ERROR_TEXTS.get(code, "unknown mail error")
    return MailError("%s: %s failed with mail error %d: %s" % (port, what, code, detail), code,
                     port)
