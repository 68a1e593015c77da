"""Whole sessions through ulvex.flash and ulvex.flash_many against vtarget
boards: their results, events and the boards' memory afterwards."""
import os
import time

import pytest

import ulvex
from boards import holds_image

SAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "sample.hex")
# target type, flash base: the three families, KOLT with two memories.
FAMILIES = [(0, 0x080000), (1, 0x080000), (10, 0), (14, 0xC8000000)]


def test_four_boards_of_three_families_at_once(boards, image):
    jobs = [ulvex.Job(image(base, 8192, seed=t), boards.start("b%d" % t, t), t,
                      baud=ulvex.find_target(t).working_rates[-1]) for t, base in FAMILIES]
    results = ulvex.flash_many(jobs)
    boards.stop()
    for job, r in zip(jobs, results):
        sessions = {e.session for e in r.events}
        assert (r.result, r.ok, r.port, len(sessions)) == ("verified", True, job.port, 1)
        assert (r.events[0].name, r.events[-1].name) == ("START_PROGRAM_IND", "STOP_PROGRAM_IND")
        assert r.crc_file == r.crc_target and holds_image(job.port + ".dump.hex", job.image)


# name, vtarget options, result, exception, library code
FAILURES = [
    ("missing port", None, "port-error", ulvex.PortError, 0),
    ("silent board", ["--silent-after", "12"], "mail-error", ulvex.MailError, 1),
    ("negative confirm", ["--nak-every", "4"], "mail-error", ulvex.MailError, 9),
]


@pytest.mark.parametrize("name, options, result, exception, code", FAILURES,
                         ids=[f[0] for f in FAILURES])
def test_failed_session(boards, name, options, result, exception, code):
    port = boards.start("b", 0, *options) if options is not None else boards.scratch + "/none"
    r = ulvex.flash(SAMPLE, port, "kolt-a-int", baud=921600)
    assert (r.result, r.ok, r.code, r.events[-1].name) == (result, False, code,
                                                            "STOP_PROGRAM_IND")
    with pytest.raises(exception) as raised:
        r.raise_if_failed()
    assert raised.value.code == code and raised.value.port == port
    if exception is ulvex.PortError:
        assert (raised.value.tried, raised.value.reason) == (port, "No such file or directory")


def test_slow_handler_does_not_slow_the_session(boards, image):
    hexfile = image(0x080000, 16384)
    alone = ulvex.flash(hexfile, boards.start("a", 0), 0, baud=921600)
    seen = []

    def slow(event):  # as long, all told, as two sessions
        time.sleep(2 * alone.ms / 1000 / len(alone.events))
        seen.append(event)

    handled = ulvex.flash(hexfile, boards.start("b", 0), 0, baud=921600, on_event=slow)
    assert (alone.result, handled.result) == ("verified", "verified")
    assert seen == handled.events and [e.name for e in seen] == [e.name for e in alone.events]
    assert handled.ms < alone.ms * 1.25 + 500, (handled.ms, alone.ms)
