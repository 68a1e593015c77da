"""Fixtures of the Python API's tests: vtarget boards on pseudo-terminals
(tests/ulvex/boards.py) and images that srec_cat writes.

Run by ctest with PYTHONPATH at the build tree's package and ULVEX_VTARGET
at the build's vtarget."""
import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "ulvex"))
from boards import Boards, write_image  # noqa: E402


@pytest.fixture
def boards(tmp_path):
    """Boards.start(name, target, *options) -> port; all stopped (and
    dumped) at the end of the test, or earlier with boards.stop()."""
    started = Boards(os.environ["ULVEX_VTARGET"], str(tmp_path))
    yield started
    started.stop()


@pytest.fixture
def image(tmp_path):
    """image(address, size, seed) -> the path of an Intel HEX file of random bytes."""
    def write(address, size, seed=1):
        return write_image(str(tmp_path / ("image-%x-%d.hex" % (address, seed))), address, size,
                           seed)
    return write
