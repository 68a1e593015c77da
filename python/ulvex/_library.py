"""libulvex.so through ctypes: finding and loading it, the prototypes of its
exports, the one process-wide indication callback, session ids and the COM
numbers that name ports by path."""
from __future__ import annotations

import atexit
import ctypes
import os
import struct
import threading
import time
from typing import Any, Callable

from .errors import UlvexError
from .events import STOP, TEXT_INFO, Event, decode

VERSION_MAJOR = 2
LIBRARY_NAME = "libulvex.so.2"
RECORD_SIZE = 516  # the library always hands over the whole IndicationRecord

u32, u16, u8 = ctypes.c_uint32, ctypes.c_uint16, ctypes.c_uint8
P = ctypes.POINTER
CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_void_p)


class OpenFailure(ctypes.Structure):
    _fields_ = [("port", ctypes.c_char * 16), ("tried", ctypes.c_char * 256),
                ("reason", ctypes.c_char * 256)]


# Every export used here, with its argument types; all return uint32 except
# ReadCallbackFunction, which is not used.
_PROTOTYPES: dict[str, list[Any]] = {
    "FlashLoader": [u32, u32, u32, u32, ctypes.c_char_p, u32],
    "SetupCallbackFunction": [CALLBACK],
    "FLoaderDLLVersion": [],
    "SetDebug": [u32],
    "ULVEX_SetPortPath": [u32, ctypes.c_char_p],
    "ULVEX_GetLastOpenFailure": [u32, P(OpenFailure)],
    "TM_InitTestMode": [u32],
    "TM_StopTestMode": [],
    "TM_StartMonitorProgram": [u32, u32, u32, u32],
    "TM_OpenAccessPort": [u32, u32, u32],
    "TM_CloseAccessPort": [],
    "TM_ReadMemory8": [u32, u32, P(u8)],
    "TM_ReadMemory16": [u32, u32, P(u16)],
    "TM_WriteMemory8": [u32, u32, P(u8)],
    "TM_WriteMemory16": [u32, u32, P(u16)],
    "TM_WriteIntFlash8": [u32, u32, P(u8)],
    "TM_WriteIntFlash16": [u32, u32, P(u16)],
    "TM_WriteExtFlash8": [u32, u32, P(u8)],
    "TM_WriteExtFlash16": [u32, u32, P(u16)],
    "TM_WriteExtFlash16_2": [u32, u32, P(u16)],
    "TM_Rd16": [u32, P(u16)],
    "TM_Wr16": [u32, u32],
    "TM_CalcCRC32": [u32, u32, P(u32)],
    "TM_CalcChecksum": [u32, u32, P(u32)],
    "TM_SetExtFlashProgCMDAddress": [u32, u32, u32],
    "TM_ExtFlashSectorErase": [u32],
    "TM_ExtFlashBlockErase": [u32],
    "TM_ExtFlashChipErase": [],
    "TM_ExtFlashTypeInfo": [P(u16), P(u16)],
    "TM_GoFromAddress": [u32],
    "TM_SetDTR": [], "TM_ClrDTR": [], "TM_SetRTS": [], "TM_ClrRTS": [],
    "TM_SetBREAK": [], "TM_ClrBREAK": [],
    "TM_SendSerialData": [ctypes.c_char_p, u32],
}


def library_path() -> str:
    """Where the library is taken from: $ULVEX_LIBRARY, else the build tree
    or installed tree this package belongs to, else the system's loader."""
    if os.environ.get("ULVEX_LIBRARY"):
        return os.environ["ULVEX_LIBRARY"]
    try:
        from . import _paths  # written by CMake beside the package
        if os.path.exists(_paths.LIBRARY):
            return str(_paths.LIBRARY)
    except ImportError:
        pass
    return LIBRARY_NAME


_lock = threading.Lock()
_lib: ctypes.CDLL | None = None
# Session id -> where its records go (a queue's put, a list's append).
RawRecord = tuple[bytes, float]
_sinks: dict[int, Callable[[RawRecord], None]] = {}
_ports_given: dict[int, str] = {}
_next_session = 0
_com_in_use: set[int] = set()


# ctypes gives a thread of the library a new Python thread state for each
# call and drops it afterwards, which costs more than the call itself. The
# first call on a thread takes one more hold on its state, given back with
# the last indication a thread sends (STOP_PROGRAM_IND), so the state lives
# as long as the session.
_ensure, _release = ctypes.pythonapi.PyGILState_Ensure, ctypes.pythonapi.PyGILState_Release
_ensure.restype, _release.argtypes = ctypes.c_int, [ctypes.c_int]
_held = threading.local()


def _on_indication(address: int) -> None:
    # On the session's worker thread, which waits until this returns: only
    # the record is copied here; the caller's thread makes the Event.
    record = ctypes.string_at(address, RECORD_SIZE)
    if record[0] == STOP and record[1] == 0:
        if hasattr(_held, "state"):
            _release(_held.__dict__.pop("state"))
    elif not hasattr(_held, "state"):
        _held.state = _ensure()
    sink = _sinks.get(record[2] | record[3] << 8)
    if sink is not None:
        sink((record, time.monotonic()))


def to_event(raw: tuple[bytes, float]) -> Event:
    """The Event of a record that the callback copied, with its arrival time."""
    record, arrived = raw
    code, session = struct.unpack_from("<HH", record)
    name, params = decode(code, record[4:] if code == TEXT_INFO else record[4:12])
    return Event(name, code, session, params, _ports_given.get(session, ""), arrived)


# Kept for the process's life: the library calls it from its threads.
_callback = CALLBACK(_on_indication)


def _unregister_at_exit() -> None:
    if _lib is not None:
        _lib.SetupCallbackFunction(CALLBACK())


def lib() -> ctypes.CDLL:
    """The loaded library, with the callback registered; loads it once."""
    global _lib
    if _lib is not None:
        return _lib
    with _lock:
        if _lib is None:
            path = library_path()
            try:
                loaded = ctypes.CDLL(path)
            except OSError as error:
                raise UlvexError("cannot load the Ulvex library %s: %s (set ULVEX_LIBRARY to "
                                 "its path)" % (path, error)) from None
            for name, argtypes in _PROTOTYPES.items():
                function = getattr(loaded, name)
                function.argtypes, function.restype = argtypes, u32
            version = loaded.FLoaderDLLVersion()
            if version >> 16 != VERSION_MAJOR:
                raise UlvexError("%s is version %d.%d; this package needs %d.x"
                                 % (path, version >> 16, version & 0xFFFF, VERSION_MAJOR))
            loaded.SetupCallbackFunction(_callback)
            atexit.register(_unregister_at_exit)
            _lib = loaded
    return _lib


def open_session(sink: Callable[[RawRecord], None], port: str) -> int:
    """A session id of its own (1 to 65535) whose indications go to sink."""
    global _next_session
    with _lock:
        for _ in range(0xFFFF):
            _next_session = _next_session % 0xFFFF + 1
            if _next_session not in _sinks:
                _sinks[_next_session] = sink
                _ports_given[_next_session] = port
                return _next_session
    raise UlvexError("65535 sessions at once")


def close_session(session: int) -> None:
    with _lock:
        _sinks.pop(session, None)
        _ports_given.pop(session, None)


def _is_url(port: str) -> bool:
    return port.startswith(("rfc2217://", "socket://"))


def map_port(port: str | int) -> int:
    """The library's COM number for a port: COMn and n as they are, a device
    path or rfc2217:// / socket:// URL mapped with ULVEX_SetPortPath to a
    free number from 254 down. Release it with unmap_port."""
    library = lib()
    if isinstance(port, int) or port.upper().startswith("COM") and port[3:].isdigit():
        number = int(port) if isinstance(port, int) else int(port[3:])
        if not 1 <= number <= 254:
            raise UlvexError("%s: COM numbers go from 1 to 254" % port)
        return number
    path = port if _is_url(port) else os.path.abspath(port)
    with _lock:
        free = [n for n in range(254, 0, -1) if n not in _com_in_use]
        if not free:
            raise UlvexError("%s: all 254 COM numbers are in use" % port)
        if library.ULVEX_SetPortPath(free[0], path.encode()) == 0:
            raise UlvexError("%s: the library takes paths of at most 255 characters" % port)
        _com_in_use.add(free[0])
        return free[0]


def unmap_port(number: int) -> None:
    with _lock:
        if number in _com_in_use:
            lib().ULVEX_SetPortPath(number, None)
            _com_in_use.discard(number)


def open_failure(session: int) -> tuple[str, str] | None:
    """What the library tried to open for the session and why it failed."""
    failure = OpenFailure()
    if lib().ULVEX_GetLastOpenFailure(session, ctypes.byref(failure)) == 0:
        return None
    return (failure.tried.decode("utf-8", "replace"), failure.reason.decode("utf-8", "replace"))


def bus_mode(bus: str, dtr: bool = False, rts: bool = False) -> int:
    """The bus-mode word: 2 duplex or 1 single wire, with the DTR and RTS bits."""
    modes = {"duplex": 2, "single": 1}
    if bus not in modes:
        raise ValueError("bus is 'duplex' or 'single', not %r" % bus)
    return modes[bus] | (0x8000 if dtr else 0) | (0x4000 if rts else 0)
