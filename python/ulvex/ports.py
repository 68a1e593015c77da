"""The serial ports of this machine, as `ulvex ports --json` lists them.
The program is asked rather than sysfs read again here: its rules (tty
devices with a parent, no absent serial8250 ports, by-id and by-path links,
USB ids through libudev, holders from /proc) then have one implementation,
the one its schema documents (docs/ulvex-ports.schema.json)."""
from __future__ import annotations

import dataclasses
import json

from .targets import run_ulvex


@dataclasses.dataclass(frozen=True)
class Holder:
    """A process that has the port open or locked."""

    pid: int
    name: str | None


@dataclasses.dataclass(frozen=True)
class Port:
    """A serial port: its device node (a port for flash() and TestMode), its
    /dev/serial links, driver, USB ids and strings (None where they do not
    apply), whether this process may open it, and who holds it."""

    device: str
    by_id: tuple[str, ...]
    by_path: tuple[str, ...]
    driver: str | None
    vendor_id: str | None
    product_id: str | None
    manufacturer: str | None
    product: str | None
    serial_number: str | None
    accessible: bool
    holders: tuple[Holder, ...]


def ports() -> list[Port]:
    """The serial ports in the order of their device names (ttyS2 before ttyS10)."""
    rows = json.loads(run_ulvex("ports", "--json"))
    return [Port(r["device"], tuple(r["by_id"]), tuple(r["by_path"]), r["driver"],
                 r["vendor_id"], r["product_id"], r["manufacturer"], r["product"],
                 r["serial_number"], r["accessible"],
                 tuple(Holder(h["pid"], h["name"]) for h in r["holders"])) for r in rows]
