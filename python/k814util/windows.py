"""Time windows on a test's whole-file answers, and the spans of its markers.

A window is given as ``start=`` / ``end=`` (relative seconds as numbers; UTC as
``datetime``, ``numpy.datetime64``, pandas ``Timestamp`` or ISO text such as
"2012-04-02T12:36:00Z", a time without a zone being UTC), both ends included, or as
``window=`` the id of a marker or meta-marker, whose span(s) it selects: a TARN marker lasts until
the next marker (the last one until the end of the data), a VIREO marker from its start to its
end (an open one until the end of the data), a meta-marker from its start to its end. A window
that selects nothing gives empty results, not an error; an id that no marker or meta-marker has
is a ``ValueError`` naming the ids there are.
"""

from __future__ import annotations

import numbers
from datetime import datetime, timezone
from typing import TYPE_CHECKING, NamedTuple, Union

import numpy as np

if TYPE_CHECKING:
    import pandas as pd

TimeLike = Union[float, int, str, datetime, np.datetime64, "pd.Timestamp"]

__all__ = ["Span", "resample", "select", "spans", "to_unix"]

# The ways resample combines a bin's values.
_HOW = ("mean", "last", "first", "min", "max", "median", "sum", "count", "std")


class Span(NamedTuple):
    """A marker's or meta-marker's stretch of a test, in relative seconds, with its label
    ("id text")."""

    kind: str  # "marker" or "meta-marker"
    id: int
    start: float
    end: float
    label: str


def _clock(f) -> tuple[float, float] | None:
    """(end of the data, Unix minus relative time) of the bound file; None without packets."""
    n = len(f)
    if n == 0:
        return None
    first, last = f.get_pkt(0), f.get_pkt(n - 1)
    return last.relative_timestamp(), first.unix_timestamp() - first.relative_timestamp()


def spans(f) -> list[Span]:
    """The markers' and meta-markers' spans of the bound file f (a TMFile), markers first, each
    kind in time order."""
    clock = _clock(f)
    if clock is None:
        return []
    end, offset = clock
    out: list[Span] = []
    if f.mission() == "tarn":
        found = f.tarn_markers()
        for k, m in enumerate(found):
            stop = found[k + 1].relative_time if k + 1 < len(found) else end
            out.append(
                Span(
                    "marker", m.marker_id, m.relative_time, stop, f"{m.marker_id} {m.text}".rstrip()
                )
            )
    else:
        from k814util import k814util as _k

        markers = _k.PyVireoMarkerCache()
        for m in (markers.get(i) for i in range(markers.size())):
            start = m.t_start_us() / 1e6 - offset
            stop = m.t_end_us() / 1e6 - offset if m.is_complete() else end
            label = f"{m.marker_id()} {m.text()}".rstrip()
            out.append(Span("marker", int(m.marker_id()), start, stop, label))
    metas = sorted(
        (m.startRelativeTimeInSecs, m.endRelativeTimeInSecs, m.metaMarkerId, m.msg)
        for m in f.get_meta_markers()
    )
    for start, stop, mid, msg in metas:
        out.append(Span("meta-marker", int(mid), start, max(stop, start), f"{mid} {msg}".rstrip()))
    return out


def to_unix(value: TimeLike) -> float:
    """A UTC time as Unix seconds; a time without a zone is UTC."""
    if isinstance(value, str):
        text = value.strip()
        if text.endswith(("Z", "z")):
            text = text[:-1] + "+00:00"
        try:
            value = datetime.fromisoformat(text)
        except ValueError:
            raise ValueError(
                f"not a time: {value!r} (ISO form, e.g. 2012-04-02T12:36:00Z)"
            ) from None
    if isinstance(value, np.datetime64):
        if np.isnat(value):
            raise ValueError("not a time: NaT")
        return float(value.astype("datetime64[us]").astype(np.int64)) / 1e6
    if isinstance(value, datetime):  # pandas' Timestamp too
        if value != value:  # pandas' NaT
            raise ValueError("not a time: NaT")
        if value.tzinfo is None:
            value = value.replace(tzinfo=timezone.utc)
        return value.timestamp()
    raise TypeError(f"a time is a number of relative seconds or a UTC time, not {value!r}")


def _bound(value, unix_time: np.ndarray, relative_time: np.ndarray):
    """The column a bound applies to and the bound in its units."""
    if isinstance(value, bool):
        raise TypeError(f"a time is a number of relative seconds or a UTC time, not {value!r}")
    if isinstance(value, numbers.Real):
        return relative_time, float(value)
    return unix_time, to_unix(value)


def select(
    f,
    unix_time: np.ndarray,
    relative_time: np.ndarray,
    start: TimeLike | None = None,
    end: TimeLike | None = None,
    window: int | None = None,
) -> np.ndarray | None:
    """The boolean mask of the samples inside the window, or None when none is asked for."""
    if start is None and end is None and window is None:
        return None
    keep = np.ones(len(relative_time), dtype=bool)
    if start is not None:
        column, bound = _bound(start, unix_time, relative_time)
        keep &= column >= bound
    if end is not None:
        column, bound = _bound(end, unix_time, relative_time)
        keep &= column <= bound
    if window is not None:
        keep &= _in_spans(f, window, relative_time)
    return keep


def _in_spans(f, window, relative_time: np.ndarray) -> np.ndarray:
    if isinstance(window, bool) or not isinstance(window, numbers.Integral):
        raise TypeError(f"window is a marker or meta-marker id, not {window!r}")
    found = spans(f)
    chosen = [s for s in found if s.id == int(window)]
    if not chosen:
        markers = sorted({s.id for s in found if s.kind == "marker"})
        metas = sorted({s.id for s in found if s.kind == "meta-marker"})
        raise ValueError(
            f"no marker or meta-marker has the id {window}; markers: "
            f"{', '.join(map(str, markers)) or 'none'}; meta-markers: "
            f"{', '.join(map(str, metas)) or 'none'}"
        )
    inside = np.zeros(len(relative_time), dtype=bool)
    for s in chosen:
        # A marker's stretch ends where the next begins; the last one, and meta-markers, at
        # their end.
        last = s.kind == "meta-marker" or s.end >= relative_time.max(initial=-np.inf)
        upper = relative_time <= s.end if last else relative_time < s.end
        inside |= (relative_time >= s.start) & upper
    return inside


def resample(frame: pd.DataFrame, period, how: str = "mean") -> pd.DataFrame:
    """The frame's values in bins of ``period`` (anything pandas' ``resample`` takes, "10s",
    "1min") of its UTC time index, each bin's values combined by ``how`` ("mean", "last",
    "first", "min", "max", "median", "sum", "count", "std").

    A long frame (``TMFile.dataframe(layout="long")``) is resampled per item: columns
    ``item`` and ``value``, indexed by time; a wide frame per column (its ``relative_time``,
    ``packet`` and ``sample`` columns are left out). Bins without values are dropped.
    """
    if how not in _HOW:
        raise ValueError(f"how must be one of {', '.join(_HOW)}, not {how!r}")
    if "item" in frame.columns and "value" in frame.columns:
        if frame.empty:  # no bins to make: the frame's columns, no rows
            return frame[["item", "value"]]
        grouped = frame.groupby("item", observed=True)["value"].resample(period).agg(how)
        out = grouped.dropna().reset_index(level="item")
        return out[["item", "value"]]
    values = frame.drop(columns=[c for c in ("relative_time", "packet", "sample") if c in frame])
    return values.resample(period).agg(how).dropna(how="all")
