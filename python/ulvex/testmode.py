"""Test mode: synchronous access to a board's memory, flash, CRC and
control lines through its monitor, on the calling thread."""
from __future__ import annotations

import ctypes
import fcntl
import os
import select
import termios
import time
from types import TracebackType
from typing import Callable

from . import _library
from .errors import DownloadError, PortError, UlvexError, mail_error
from .events import CODES, Event
from .flash import DEFAULT_BAUD
from .targets import Target, find_target

READ_MAX = 4346   # bytes one read mail carries
WRITE_MAX = 4338  # data bytes one write or programming mail carries (2169 words)
_ACCESS_FAIL = CODES["COM_PORT_ACCESS_FAIL_IND"]


class TestMode:
    """A board in test mode, for a `with` block:

        with ulvex.TestMode("/dev/ttyUSB0", "kolt-a-int") as board:
            board.write(0x1000, b"\\x01\\x02")
            assert board.read(0x1000, 2) == b"\\x01\\x02"

    On entry the monitor is started through the board's boot loader
    (start_monitor=True) or the port opened to a monitor that runs already,
    at baud (default 115200) on bus "duplex" or "single". Every failed call
    raises a UlvexError subclass with the library's code: PortError (the port
    did not open), DownloadError (no monitor started), MailError (a mail
    failed: 1 timeout, 9 negative confirm, ...). On the way out, whatever
    happened, the port is closed and test mode stopped. Indications (the
    start, control-line changes, the stop) are kept in `events` and given to
    on_event on this thread. All calls must come from the thread that
    entered; one test mode per thread at a time."""

    __test__ = False  # not a pytest test class

    def __init__(self, port: str, target: int | str | Target, baud: int | None = None,
                 start_monitor: bool = True, bus: str = "duplex", *, dtr: bool = False,
                 rts: bool = False, on_event: Callable[[Event], object] | None = None) -> None:
        self.port, self.target = port, find_target(target)
        self.baud = baud or DEFAULT_BAUD
        self.start_monitor, self.on_event = start_monitor, on_event
        self.busmode = _library.bus_mode(bus, dtr, rts)
        self.events: list[Event] = []
        self._lines = {"dtr": False, "rts": False, "brk": False}
        self._handled = 0
        self._comport = self._session = 0
        self._open = self._active = False
        self._fd: int | None = None  # the device's raw descriptor, see receive()

    # -- the bracket -------------------------------------------------------

    def __enter__(self) -> "TestMode":
        lib = _library.lib()
        self._comport = _library.map_port(self.port)
        self._session = _library.open_session(
            lambda raw: self.events.append(_library.to_event(raw)), self.port)
        try:
            lib.TM_InitTestMode(self._session)
            self._active = True
            if self.start_monitor:
                started = lib.TM_StartMonitorProgram(self._comport, self.busmode, self.baud,
                                                     self.target.number)
                self._open = True
                if started != 0:
                    raise self._start_failure(started)
            elif lib.TM_OpenAccessPort(self._comport, self.baud, self.busmode) == 0:
                raise self._port_failure()
            else:
                self._open = True
            self._handle_events()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, kind: type[BaseException] | None, value: BaseException | None,
                 traceback: TracebackType | None) -> None:
        self.close()

    def close(self) -> None:
        """Closes the port and stops test mode; once is enough, more is harmless."""
        lib = _library.lib()
        if self._fd is not None:
            os.close(self._fd)
            self._fd = None
        if self._open:
            lib.TM_CloseAccessPort()
            self._open = False
        if self._active:
            lib.TM_StopTestMode()
            self._active = False
            _library.close_session(self._session)
            _library.unmap_port(self._comport)
            self._handle_events()

    def _start_failure(self, started: int) -> UlvexError:
        if any(e.code == _ACCESS_FAIL for e in self.events):
            return self._port_failure()
        return DownloadError("%s: no monitor started through the boot loader of %s at %d baud "
                             "(result %d): is the board powered and in its boot loader?"
                             % (self.port, self.target.name, self.baud, started), started,
                             self.port)

    def _port_failure(self) -> PortError:
        tried, reason = _library.open_failure(self._session) or ("", "the port did not open")
        return PortError("%s: %s%s" % (self.port, tried + ": " if tried else "", reason), 0,
                         self.port, tried, reason)

    def _handle_events(self) -> None:
        while self.on_event is not None and self._handled < len(self.events):
            self._handled += 1
            self.on_event(self.events[self._handled - 1])

    def _check(self, code: int, what: str) -> None:
        self._handle_events()
        if code != 0:
            raise mail_error(code, what, self.port)

    def _lib(self) -> ctypes.CDLL:
        self._give_back()
        if not self._open:
            raise UlvexError("%s: test mode is not open (use it in a with block)" % self.port)
        return _library.lib()

    # -- memory ----------------------------------------------------------

    def read(self, address: int, count: int) -> bytes:
        """count bytes from address, in mails of at most 4346 bytes."""
        lib, out = self._lib(), bytearray()
        while len(out) < count:
            n = min(READ_MAX, count - len(out))
            buffer = (ctypes.c_uint8 * n)()
            self._check(lib.TM_ReadMemory8(address + len(out), n, buffer),
                        "read of %d bytes at 0x%X" % (n, address + len(out)))
            out += bytes(buffer)
        return bytes(out)

    def write(self, address: int, data: bytes) -> None:
        """Writes data to address, confirmed, in mails of at most 4338 bytes."""
        self._write("TM_WriteMemory8", address, data, "write")

    def read16(self, address: int) -> int:
        """The 16-bit word at address."""
        value = ctypes.c_uint16()
        self._check(self._lib().TM_Rd16(address, ctypes.byref(value)),
                    "16-bit read at 0x%X" % address)
        return value.value

    def write16(self, address: int, value: int) -> None:
        """Writes the 16-bit word value to address, confirmed."""
        self._check(self._lib().TM_Wr16(address, value & 0xFFFF),
                    "16-bit write at 0x%X" % address)

    def read_words(self, address: int, count: int) -> list[int]:
        """count 16-bit words from address (READ_MEM16_REQ)."""
        lib, out = self._lib(), []
        while len(out) < count:
            n = min(READ_MAX // 2, count - len(out))
            buffer = (ctypes.c_uint16 * n)()
            self._check(lib.TM_ReadMemory16(address + 2 * len(out), n, buffer),
                        "read of %d words at 0x%X" % (n, address + 2 * len(out)))
            out += list(buffer)
        return out

    def crc32(self, start: int, end: int) -> int:
        """The CRC32 the target computes over start..end, end included (as
        zlib.crc32 of those bytes)."""
        crc = ctypes.c_uint32()
        self._check(self._lib().TM_CalcCRC32(start, end, ctypes.byref(crc)),
                    "CRC32 of 0x%X..0x%X" % (start, end))
        return crc.value

    def checksum(self, start: int, end: int) -> int:
        """The monitor's checksum over start..end."""
        value = ctypes.c_uint32()
        self._check(self._lib().TM_CalcChecksum(start, end, ctypes.byref(value)),
                    "checksum of 0x%X..0x%X" % (start, end))
        return value.value

    # -- flash -------------------------------------------------------------

    def write_flash(self, address: int, data: bytes, external: bool = False,
                    words: bool = True, two_devices: bool = False) -> None:
        """Programs data into internal or external flash at address, as 16-bit
        words (low byte first) or bytes as the target takes them; two_devices:
        external flash of two 8-bit devices on a 16-bit bus."""
        name = ("TM_WriteExtFlash16_2" if two_devices else
                "TM_Write%sFlash%s" % ("Ext" if external else "Int", "16" if words else "8"))
        self._write(name, address, data, "flash programming", words or two_devices)

    def flash_type(self) -> tuple[int, int]:
        """The external flash's (manufacturer code, device id)."""
        manufacturer, device = ctypes.c_uint16(), ctypes.c_uint16()
        self._check(self._lib().TM_ExtFlashTypeInfo(ctypes.byref(manufacturer),
                                                    ctypes.byref(device)), "flash type query")
        return manufacturer.value, device.value

    def set_flash_commands(self, base: int, address_2aaa: int, address_5555: int) -> None:
        """The flash base and the byte addresses of its words 0x2AAA and 0x5555."""
        self._check(self._lib().TM_SetExtFlashProgCMDAddress(base, address_2aaa, address_5555),
                    "setting the flash command addresses")

    def erase_sector(self, address: int) -> None:
        """Erases the external flash sector at address."""
        self._check(self._lib().TM_ExtFlashSectorErase(address), "sector erase at 0x%X" % address)

    def erase_block(self, address: int) -> None:
        """Erases the external flash block at address."""
        self._check(self._lib().TM_ExtFlashBlockErase(address), "block erase at 0x%X" % address)

    def erase_chip(self) -> None:
        """Erases the whole external flash."""
        self._check(self._lib().TM_ExtFlashChipErase(), "chip erase")

    def go(self, address: int) -> None:
        """Makes the monitor jump to address."""
        self._check(self._lib().TM_GoFromAddress(address), "jump to 0x%X" % address)

    def _write(self, name: str, address: int, data: bytes, what: str, words: bool = False) -> None:
        lib, data = self._lib(), bytes(data)
        if words and len(data) % 2:
            raise ValueError("%s: an odd number of bytes for 16-bit words" % what)
        function = getattr(lib, name)
        for offset in range(0, len(data), WRITE_MAX):
            chunk = data[offset:offset + WRITE_MAX]
            if words:
                buffer = (ctypes.c_uint16 * (len(chunk) // 2)).from_buffer_copy(chunk)
            else:
                buffer = (ctypes.c_uint8 * len(chunk)).from_buffer_copy(chunk)
            self._check(function(address + offset, len(buffer), buffer),
                        "%s of %d bytes at 0x%X" % (what, len(chunk), address + offset))

    # -- control lines and raw bytes --------------------------------------

    def _line(self, name: str, on: bool) -> None:
        suffix = {"dtr": "DTR", "rts": "RTS", "brk": "BREAK"}[name]
        getattr(self._lib(), ("TM_Set" if on else "TM_Clr") + suffix)()
        self._lines[name] = bool(on)
        self._handle_events()

    dtr = property(lambda self: self._lines["dtr"], lambda self, on: self._line("dtr", on),
                   doc="DTR as last set (a pseudo-terminal has no modem lines to show it)")
    rts = property(lambda self: self._lines["rts"], lambda self, on: self._line("rts", on),
                   doc="RTS as last set")
    brk = property(lambda self: self._lines["brk"], lambda self, on: self._line("brk", on),
                   doc="BREAK as last set")

    def send(self, data: bytes) -> None:
        """Sends raw bytes, without framing. On a local device they go out
        through the raw descriptor that receive() reads (see there), so that
        no answer is lost between the two; on a remote port through the
        library, whose write returns once the bytes have left."""
        if self._remote():
            self._lib().TM_SendSerialData(bytes(data), len(data))
            return
        fd, view = self._raw(), memoryview(bytes(data))
        while view:
            select.select([], [fd], [], 1.0)
            try:
                view = view[os.write(fd, view):]
            except BlockingIOError:
                continue
        termios.tcdrain(fd)

    def receive(self, count: int, timeout: float = 1.0) -> bytes:
        """Up to count raw bytes that the board sends within timeout seconds
        (a local device only). The library has no raw read, so the first raw
        call hands the device over: the access port is closed (what was
        received before is dropped) and the device opened here, exclusively;
        the next library call closes it and reopens the access port at the
        same rate and bus mode."""
        fd, out = self._raw(), bytearray()
        deadline = time.monotonic() + timeout
        while len(out) < count:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                break
            try:
                out += os.read(fd, count - len(out))
            except BlockingIOError:
                continue
        return bytes(out)

    def _remote(self) -> bool:
        return self.port.startswith(("rfc2217://", "socket://"))

    def _raw(self) -> int:
        if self._fd is not None:
            return self._fd
        if self._remote() or not os.path.exists(self.port):
            raise UlvexError("%s: raw receive needs a local device path" % self.port)
        self._lib().TM_CloseAccessPort()
        self._open = False
        try:
            fd = os.open(self.port, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        except OSError as error:
            raise PortError("%s: %s" % (self.port, error.strerror), 0, self.port, self.port,
                            str(error.strerror)) from None
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError as error:
            os.close(fd)
            raise PortError("%s: %s" % (self.port, error.strerror), 0, self.port, self.port,
                            str(error.strerror)) from None
        self._fd = fd
        return fd

    def _give_back(self) -> None:
        # The raw descriptor closed, the access port reopened for the library.
        if self._fd is None:
            return
        os.close(self._fd)
        self._fd = None
        if _library.lib().TM_OpenAccessPort(self._comport, self.baud, self.busmode) == 0:
            raise self._port_failure()
        self._open = True
        self._handle_events()
