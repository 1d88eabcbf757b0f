"""Limits of the bound telemetry file's items and the spans in which values left them.

Every database row can carry two limit sets, each a yellow and a red limit checked in raw,
engineering or science units, below, above, equal or not equal::

    from k814util import limits
    f = k814util.open("tm.dat")
    limits.limits(f)                                     # the items that have limits
    limits.limit_violations(f, ["HK:V_28"], level="red")  # when, how long and how far

The compiled module walks each item's raw values once and checks them against both sets
exactly as the limit checker does, in the checker's own value mode. A span opens once
``persistence`` consecutive values violate (the set's persistence, 1 unless the row's LIMITS
object gives ``persistence_1`` / ``persistence_2``) and closes at the first value that does
not; it covers all of those values. A red span also lies inside a yellow one: both are listed.
"""

from __future__ import annotations

from collections.abc import Iterable
from typing import TYPE_CHECKING

import numpy as np

from k814util import k814util as _k
from k814util._binding import ensure_current
from k814util._columns import arrays
from k814util.catalogue import Item, ItemCatalogue, require_pandas

if TYPE_CHECKING:
    import pandas as pd

LIMIT_COLUMNS = ("id", "mnemonic", "subsystem", "units") + tuple(
    f"{name}_{n}"
    for n in (1, 2)
    for name in ("value_mode", "comparison", "yellow", "red", "persistence")
)
VIOLATION_COLUMNS = (
    "id",
    "mnemonic",
    "set",
    "level",
    "value_mode",
    "comparison",
    "limit",
    "start_unix",
    "end_unix",
    "start_relative",
    "end_relative",
    "first_packet",
    "last_packet",
    "samples",
    "worst",
    "worst_unix",
    "worst_relative",
    "open",
)


def limits(f) -> pd.DataFrame:
    """The items of f's database that have limits, one row each in id order.

    Parameters
    ----------
    f : TMFile
        A file of the process's current binding.

    Returns
    -------
    pandas.DataFrame
        ``id``, ``mnemonic``, ``subsystem``, ``units`` (the science units), then for each set n
        (1 and 2) ``value_mode_n`` ("raw", "eng", "sci"; "" when the set has no limit),
        ``comparison_n`` ("below", "above", "equal", "not equal"), ``yellow_n`` and ``red_n``
        (NaN when not set) and ``persistence_n``.

    Raises
    ------
    StaleBindingError
        When f was made for an earlier binding.

    Examples
    --------
    >>> import k814util
    >>> from k814util import limits
    >>> table = limits.limits(k814util.open(tarn_tm))
    >>> pressure = table[table["mnemonic"] == "LIM:PRESSURE"]
    >>> pressure[["value_mode_1", "comparison_1", "yellow_1", "red_1"]]
      value_mode_1 comparison_1  yellow_1  red_1
    2          raw        above    1000.0 2000.0
    """
    ensure_current(f)
    pd = require_pandas()
    return pd.DataFrame(arrays(_k._limits_table()), columns=list(LIMIT_COLUMNS))


def _hkids(items: Item | Iterable[Item] | None) -> list[int]:
    if items is None:
        return []
    if isinstance(items, (str, int)):
        items = [items]
    catalogue = ItemCatalogue()
    return [catalogue.resolve(item)[0] for item in items]


def limit_violations(
    f,
    items: Item | Iterable[Item] | None = None,
    level: str = "yellow",
    start=None,
    end=None,
    window: int | None = None,
) -> pd.DataFrame:
    """One row per span in which a value stayed beyond one of its limits, over the whole of f.

    Parameters
    ----------
    f : TMFile
        A file of the process's current binding.
    items : int, str or list of them, optional
        Ids or mnemonics (default: every item with limits). An item without limits gives no
        rows.
    level : {"yellow", "red"}, optional
        "yellow" gives yellow and red spans, "red" only red ones.
    start, end : float, str or datetime, optional
        Keep the spans that overlap this stretch of time (relative seconds, or UTC as datetimes
        or ISO text), whole: a span is checked over the whole file, so its start, samples and
        worst value stay those of the whole span.
    window : int, optional
        Keep the spans that overlap the span(s) of this marker or meta-marker id.

    Returns
    -------
    pandas.DataFrame
        ``id``, ``mnemonic``, ``set`` (1 or 2), ``level`` ("yellow" or "red"), ``value_mode``
        and ``comparison`` of the set, ``limit``, ``start_unix``, ``end_unix``,
        ``start_relative``, ``end_relative`` (the first and last violating value),
        ``first_packet``, ``last_packet`` (their ``get_pkt`` indexes), ``samples``, ``worst``
        (the value furthest beyond the limit, in the set's value mode; the first for equal
        limits), ``worst_unix``, ``worst_relative`` and ``open`` (the span lasted to the end of
        the file). Rows come item by item in the order asked, each item's spans by start, set 1
        before 2, yellow before red. A set whose value mode has no transfer function is said
        once through the diagnostics and skipped.

    Raises
    ------
    UnknownItemError
        For an item the database does not hold (with the close matches).
    ValueError
        For another level, or a ``window`` id that no marker or meta-marker has (naming those
        there are).
    StaleBindingError
        When f was made for an earlier binding.

    Examples
    --------
    >>> import k814util
    >>> from k814util import limits
    >>> v = limits.limit_violations(k814util.open(tarn_tm), ["LIM:STATE"], level="red")
    >>> v[["mnemonic", "level", "comparison", "limit", "samples", "worst", "open"]]
        mnemonic level comparison  limit  samples  worst   open
    0  LIM:STATE   red      equal    4.0        1    4.0  False
    """
    if level not in ("yellow", "red"):
        raise ValueError(f"level must be 'yellow' or 'red', not {level!r}")
    ensure_current(f)
    pd = require_pandas()
    hkids = _hkids(items)
    if items is not None and not hkids:
        return empty_violations()
    columns = arrays(_k._limit_violations(hkids, level == "red"))
    df = pd.DataFrame(columns, columns=list(VIOLATION_COLUMNS))
    if start is None and end is None and window is None:
        return df
    return df[_overlapping(f, df, start, end, window)].reset_index(drop=True)


def _overlapping(f, df: pd.DataFrame, start, end, window) -> np.ndarray:
    """Which spans of df overlap the time window (the keywords of ``TMFile.series``)."""
    from k814util.windows import _bound, select, spans

    keep = np.ones(len(df), dtype=bool)
    for bound, side, after in ((start, "end", True), (end, "start", False)):
        if bound is None:
            continue
        unix, relative = df[f"{side}_unix"].to_numpy(), df[f"{side}_relative"].to_numpy()
        column, value = _bound(bound, unix, relative)
        keep &= column >= value if after else column <= value
    if window is not None:
        empty = np.empty(0)
        select(f, empty, empty, window=window)  # the id's errors, as the series give them
        first, last = df["start_relative"].to_numpy(), df["end_relative"].to_numpy()
        inside = np.zeros(len(df), dtype=bool)
        for s in (s for s in spans(f) if s.id == int(window)):
            # A marker lasts until the next one begins; the last, and meta-markers, to their end.
            final = s.kind == "meta-marker" or s.end >= last.max(initial=-np.inf)
            inside |= (last >= s.start) & ((first <= s.end) if final else (first < s.end))
        keep &= inside
    return keep


def empty_violations() -> pd.DataFrame:
    """A violation report without rows, with the report's columns and dtypes."""
    pd = require_pandas()
    texts = ("mnemonic", "level", "value_mode", "comparison")
    integers = ("id", "set", "first_packet", "last_packet", "samples")

    def dtype(name: str) -> str:
        if name in texts:
            return "object"
        if name in integers:
            return "int64"
        return "bool" if name == "open" else "float64"

    return pd.DataFrame({name: pd.Series(dtype=dtype(name)) for name in VIOLATION_COLUMNS})
