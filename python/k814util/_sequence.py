"""Indexing shared by the compiled classes that are sequences (the message log, the VIREO
markers, the packets of a file, the scans): negative indexes count from the end, slices give
lists."""

from __future__ import annotations

import operator
from typing import Any, Callable


def position(index: Any, n: int) -> int:
    """A list index (negative from the end) as a position, or -1 when it is outside: indexes
    beyond the module's int range are outside too, not an overflow."""
    i = operator.index(index)
    i = i + n if i < 0 else i
    return i if 0 <= i < n else -1


def item_of(obj: object, index: Any, n: int, get: Callable[[int], Any]) -> Any:
    """obj[index] for a sequence of n elements that get(i) hands out: a list for a slice,
    IndexError outside."""
    if isinstance(index, slice):
        return [get(i) for i in range(*index.indices(n))]
    i = position(index, n)
    if i < 0:
        raise IndexError("index out of range")
    return get(i)
