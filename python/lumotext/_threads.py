"""The threads argument of the batch calls."""

from __future__ import annotations

import os


def available_cpus() -> int:
    """The CPUs this process may run on."""
    try:
        return len(os.sched_getaffinity(0))
    except (AttributeError, OSError):
        return os.cpu_count() or 1


def thread_count(threads: int | None) -> int:
    """threads checked, None standing for every CPU this process may run on."""
    if threads is None:
        return available_cpus()
    if isinstance(threads, bool) or not isinstance(threads, int):
        raise TypeError(f"threads must be an int or None, not {type(threads).__name__}")
    if threads < 1:
        raise ValueError(f"threads must be at least 1, not {threads}")
    return threads
