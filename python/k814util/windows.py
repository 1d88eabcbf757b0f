"""Time windows on a test's whole-file answers, and the spans of its markers.

A window is given as ``start=`` / ``end=`` (relative seconds as numbers; UTC as
``datetime``, ``numpy.datetime64``, pandas ``Timestamp`` or ISO text such as
"2012-04-02T16:36:00Z", a time without a zone being UTC), both ends included, or as
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
    """A marker's or meta-marker's stretch of a test.

    Attributes
    ----------
    kind : str
        "marker" or "meta-marker".
    id : int
        The marker's or meta-marker's id.
    start, end : float
        The stretch, in relative seconds.
    label : str
        "id text", for plots and reports.
    """

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
    """The markers' and meta-markers' spans of the bound file.

    A TARN marker lasts until the next marker (the last one until the end of the data), a VIREO
    marker from its start to its end (an open one until the end of the data), a meta-marker
    from its start to its end.

    Parameters
    ----------
    f : TMFile
        A file of the process's current binding.

    Returns
    -------
    list of Span
        Markers first, each kind in time order; empty for a file without packets.

    Examples
    --------
    >>> import k814util
    >>> from k814util.windows import spans
    >>> found = spans(k814util.open(tarn_tm))
    >>> [(s.kind, s.id, round(s.start, 2), round(s.end, 2)) for s in found][:2]
    [('marker', 1, 4.85, 34.85), ('marker', 2, 34.85, 64.85)]
    """
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
    """A UTC time as Unix seconds.

    Parameters
    ----------
    value : str, datetime, numpy.datetime64 or pandas.Timestamp
        ISO text ("2012-04-02T16:36:20Z") or a time object; a time without a zone is UTC.

    Returns
    -------
    float
        Seconds since 1970-01-01T00:00:00Z.

    Raises
    ------
    ValueError
        For text that is not an ISO time, or NaT.
    TypeError
        For anything else.

    Examples
    --------
    >>> from k814util.windows import to_unix
    >>> to_unix("2012-04-02T16:36:20Z"), to_unix("2012-04-02T16:36:20")
    (1333384580.0, 1333384580.0)
    """
    if isinstance(value, str):
        text = value.strip()
        if text.endswith(("Z", "z")):
            text = text[:-1] + "+00:00"
        try:
            value = datetime.fromisoformat(text)
        except ValueError:
            raise ValueError(
                f"not a time: {value!r} (ISO form, e.g. 2012-04-02T16:36:00Z)"
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
    """The boolean mask of the samples inside a time window.

    Parameters
    ----------
    f : TMFile
        The bound file, whose markers and meta-markers ``window`` names.
    unix_time, relative_time : numpy.ndarray
        The samples' times.
    start, end : float, str or datetime, optional
        Bounds, both included: relative seconds as numbers, UTC otherwise (:func:`to_unix`).
    window : int, optional
        A marker or meta-marker id: the samples inside its span(s).

    Returns
    -------
    numpy.ndarray or None
        A boolean array, or None when no window is asked for.

    Raises
    ------
    ValueError
        For an id no marker or meta-marker has (naming the ids there are).
    TypeError
        For a bound or id of the wrong type.

    Examples
    --------
    >>> import numpy as np
    >>> import k814util
    >>> from k814util.windows import select
    >>> f = k814util.open(tarn_tm)
    >>> rel = np.array([0.0, 10.0, 40.0, 70.0])
    >>> select(f, rel + f.t0_in_unix_time(), rel, window=2)
    array([False, False,  True, False])
    """
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
    """A frame's values in bins of a period of its UTC time index.

    A long frame (``TMFile.dataframe(layout="long")``) is resampled per item: columns ``item``
    and ``value``, indexed by time; a wide frame per column (its ``relative_time``, ``packet``
    and ``sample`` columns are left out). Bins without values are dropped.

    Parameters
    ----------
    frame : pandas.DataFrame
        A frame of :meth:`TMFile.dataframe`.
    period : str or pandas offset
        Anything pandas' ``resample`` takes: "10s", "1min".
    how : str, optional
        How each bin's values combine: "mean" (default), "last", "first", "min", "max",
        "median", "sum", "count" or "std".

    Returns
    -------
    pandas.DataFrame

    Raises
    ------
    ValueError
        For another ``how``.

    Examples
    --------
    >>> import k814util
    >>> from k814util.windows import resample
    >>> frame = k814util.open(tarn_tm).dataframe(["SEB:HV_MON"], end=40)
    >>> resample(frame, "20s", "count")["value"].tolist()
    [18, 20, 3]
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
