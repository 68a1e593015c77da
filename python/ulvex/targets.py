"""The target types, as `ulvex targets --json` lists them. The build writes
that list beside the package (targets.json), so there is one table, the
command line's, and no program has to run to read it."""
from __future__ import annotations

import dataclasses
import functools
import json
import os
import subprocess

from .errors import UlvexError


@dataclasses.dataclass(frozen=True)
class Target:
    """A target type: its number and stable name ("kolt-a-int"), family,
    memory, crystal ("" where none applies), the boot loader's rate (None:
    no monitor start), the working rates its monitor takes, and whether the
    library refuses to program it."""

    number: int
    name: str
    family: str
    memory: str
    crystal: str
    boot_rate: int | None
    working_rates: tuple[int, ...]
    refused: bool

    @property
    def verifies(self) -> bool:
        """Whether a session ends with a CRC; a type that loads into RAM
        through its boot ROM has none, and its session ends as "loaded"."""
        return self.boot_rate is not None or self.refused


def ulvex_program() -> str:
    """The ulvex program of this build or installed tree, else the one on PATH."""
    try:
        from . import _paths
        if os.path.exists(_paths.PROGRAM):
            return str(_paths.PROGRAM)
    except ImportError:
        pass
    return "ulvex"


def run_ulvex(*arguments: str) -> str:
    """The standard output of `ulvex ARGUMENTS`."""
    program = ulvex_program()
    try:
        done = subprocess.run([program, *arguments], capture_output=True, text=True,
                              timeout=30)
    except (OSError, subprocess.TimeoutExpired) as error:
        raise UlvexError("cannot run %s: %s" % (program, error)) from None
    if done.returncode != 0:
        raise UlvexError("%s %s failed: %s" % (program, " ".join(arguments), done.stderr.strip()))
    return done.stdout


@functools.cache
def targets() -> tuple[Target, ...]:
    """Every target type, by number (0 to 23)."""
    data = os.path.join(os.path.dirname(__file__), "targets.json")
    if os.path.exists(data):
        with open(data, encoding="utf-8") as f:
            rows = json.load(f)
    else:
        rows = json.loads(run_ulvex("targets", "--json"))
    return tuple(Target(r["number"], r["name"], r["family"], r["memory"], r["crystal"] or "",
                        r["boot_rate"], tuple(r["working_rates"]), r["refused"]) for r in rows)


def find_target(target: int | str | Target) -> Target:
    """The target type a number or a name (any case) names; ValueError when none."""
    if isinstance(target, Target):
        return target
    types = targets()
    if isinstance(target, int) or str(target).isdigit():
        number = int(target)
        if 0 <= number < len(types):
            return types[number]
        raise ValueError("there is no target type %s (0 to %d)" % (target, len(types) - 1))
    for t in types:
        if t.name == str(target).lower():
            return t
    raise ValueError("unknown target %r (a number or a name of ulvex.targets())" % target)
