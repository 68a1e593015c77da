"""What needs no board: the target table, the ports, the checks made before
any session starts."""
import json
import os
import subprocess

import pytest

import ulvex


def test_targets_are_the_command_lines():
    listed = json.loads(subprocess.run([os.environ["ULVEX_PROGRAM"], "targets", "--json"], check=True,
                                       capture_output=True, text=True).stdout)
    assert [(t.number, t.name, t.family, t.boot_rate, list(t.working_rates), t.refused)
            for t in ulvex.targets()] == [
        (r["number"], r["name"], r["family"], r["boot_rate"], r["working_rates"], r["refused"])
        for r in listed]


@pytest.mark.parametrize("given, number", [(0, 0), ("14", 14), ("KOLT-A-Ext", 1),
                                           ("ml675001-ram", 15)])
def test_find_target(given, number):
    assert ulvex.find_target(given).number == number


def test_ports_are_serial_devices():
    assert all(p.device.startswith("/dev/") and isinstance(p.accessible, bool)
               for p in ulvex.ports())


@pytest.mark.parametrize("call, error, text", [
    (lambda: ulvex.find_target(24), ValueError, "no target type 24"),
    (lambda: ulvex.find_target("kolt"), ValueError, "unknown target"),
    (lambda: ulvex.flash("/nonexistent.hex", "/tmp/x", 0), FileNotFoundError, "no such image"),
    (lambda: ulvex.flash(__file__, "/tmp/x", 4), ValueError, "does not program target type 4"),
    (lambda: ulvex.flash(__file__, "/tmp/x", 0, bus="triple"), ValueError, "bus is"),
    (lambda: ulvex.TestMode("COM255", 0).__enter__(), ulvex.UlvexError, "1 to 254"),
])
def test_refused_before_any_session(call, error, text):
    with pytest.raises(error, match=text):
        call()
