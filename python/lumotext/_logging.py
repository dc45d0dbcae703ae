"""The engine's diagnostic lines as records of the `logging` logger "lumotext".

The low-level module `pylumotext` writes these lines to standard error; the
engines of `lumotext` hand them here instead, so that an application can
silence them (``logging.getLogger("lumotext").setLevel(logging.CRITICAL + 1)``),
filter them or route them like any other library's records.
"""

from __future__ import annotations

import logging

__all__ = ["logger"]

#: The logger that receives the engine's lines. Like every library logger it has
#: no handler of its own: without logging configuration, WARNING and above reach
#: standard error through logging's last-resort handler.
logger = logging.getLogger("lumotext")

# The engine's levels by number: ERROR, FATAL.
_LEVELS = (logging.ERROR, logging.CRITICAL)


def emit_engine_line(level: int, source: str, message: str) -> None:
    """Logs one engine line; `source` ("file:line" of the native code) goes to
    the record's attribute ``engine_source``."""
    python_level = _LEVELS[level] if 0 <= level < len(_LEVELS) else logging.ERROR
    logger.log(python_level, "%s", message, extra={"engine_source": source})
