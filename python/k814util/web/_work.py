"""What the quick-look server asks of a run, done in the run's worker process.

Every function here takes the worker's bound TMFile first and is sent to the worker by name
(``Run.apply(functools.partial(func, ...))``): the whole-file arrays stay in the worker and only
the answer the page needs (a decimated series, a table as rows) crosses the pipe. The answers
are plain dicts, lists and small numpy arrays; the server turns arrays into JSON lists.
"""

from __future__ import annotations

from collections import OrderedDict

import numpy as np

from k814util.web.decimate import decimate

# The tables the page reads, by the endpoint's name: the TMFile method that makes them.
TABLES = {
    "messages": "messages",
    "markers": "markers",
    "meta-markers": "meta_markers",
    "limit-violations": "limit_violations",
    "limits": "limits",
}
# How many of the latest message-log lines and markers a growth poll carries, so that a client
# that missed a few polls still gets them.
_RECENT = 200


class Call:
    """``func(tmfile, *args)``, sent to a run's worker as one picklable object (func by name).

    Parameters
    ----------
    func : callable
        A function of this module.
    *args
        Its arguments after the TMFile.
    """

    def __init__(self, func, *args):
        self.func = func
        self.args = args

    def __call__(self, f):
        _catch_up(f)
        return self.func(f, *self.args)


# The telemetry file's size when the worker last read on: a run the station is still writing
# is read on before any answer, so that what a page polls is never older than the disk.
_READ_SIZE: dict = {}


def _catch_up(f) -> None:
    """Reads what the station appended to f's file since the last look (a stat when
    nothing was)."""
    import os

    name = f.filename()
    try:
        size = os.path.getsize(name)
    except OSError:
        return
    if _READ_SIZE.get(name) != size:
        if name in _READ_SIZE:
            f.refresh()
        _READ_SIZE[name] = size


class BadRequest(ValueError):
    """A request the run cannot answer as asked (the page shows the message)."""


class NotFound(LookupError):
    """A part of the run that does not exist (a scan index past the last scan)."""


def finite_list(values: np.ndarray) -> list:
    """An array as a list, NaN and infinities as None (JSON has neither).

    Parameters
    ----------
    values : numpy.ndarray
        Any one-dimensional array.

    Returns
    -------
    list
        Its values as Python objects.
    """
    if values.dtype.kind == "f":
        finite = np.isfinite(values)
        if not finite.all():
            return np.where(finite, values, None).tolist()
    return values.tolist()


def rows(frame, offset: int = 0, limit: int | None = None) -> dict:
    """A DataFrame as ``{"columns", "rows", "total", "offset"}``: rows ``offset`` to
    ``offset + limit``; a named index (``id``, ``scan``) becomes the first column, the UTC
    ``time`` index is left out (``relative_time`` says the same), categories become their
    texts."""
    total = len(frame)
    frame = frame.iloc[offset : None if limit is None else offset + limit]
    if frame.index.name not in (None, "time"):
        frame = frame.reset_index()
    columns = [str(c) for c in frame.columns]
    data = []
    for name in frame.columns:
        column = frame[name]
        if str(column.dtype).startswith("datetime"):
            data.append(finite_list(column.astype("int64").to_numpy() / 1e9))
        elif str(column.dtype) == "category":
            data.append(column.astype(str).tolist())
        else:
            data.append(finite_list(column.to_numpy()))
    table = [dict(zip(columns, row)) for row in zip(*data)]
    return {"columns": columns, "rows": table, "total": total, "offset": offset}


def summary(f) -> dict:
    """The run's summary: ``Run.summary()`` made JSON, its T0, its time span in relative
    seconds and its packet count."""
    import k814util

    packets = f.packet_summary()._asdict()
    packets["types"] = [t._asdict() for t in packets["types"]]
    n = len(f)
    span = [f[0].relative_timestamp(), f[n - 1].relative_timestamp()] if n else [None, None]
    return {
        "mission": f.mission(),
        "summary": {"test": k814util.describe_test(f.filename()), "packets": packets},
        "t0_unix": f.t0_in_unix_time(),
        "time_span": span,
        "packets": n,
    }


def items(f, pattern: str | None) -> dict:
    """The database's items (``TMFile.items``) as rows, with ``units`` (the science units) and
    ``has_limits``."""
    frame = f.items(pattern).reset_index()
    limited = set(f.limits()["id"].tolist())
    frame["units"] = frame["units_sci"]
    frame["has_limits"] = frame["id"].isin(limited)
    return {"items": rows(frame)["rows"]}


def _item(item: str):
    """An item as the request names it: a data id when it is all digits, else a mnemonic."""
    return int(item) if item.strip().isdigit() else item


# Whole-file series of the latest items asked for, by (file, id, mode, packets): a zoom cuts
# its window from the series the first chart read, and a file that grew reads it again.
_SERIES: OrderedDict = OrderedDict()
_SERIES_KEPT = 6


def _whole_series(f, hkid: int, mode: int) -> dict:
    key = (f.filename(), hkid, mode, len(f))
    found = _SERIES.get(key)
    if found is None:
        found = f.series(hkid, mode)
        _SERIES[key] = found
        while len(_SERIES) > _SERIES_KEPT:
            _SERIES.popitem(last=False)
    else:
        _SERIES.move_to_end(key)
    return found


def series(f, item: str, mode: str, start, end, max_points: int) -> dict:
    """``TMFile.series`` of item between start and end (relative seconds, None for open), as
    it is when at most max_points samples fall there, else per pixel column (max_points / 4 of
    them) the first, lowest, highest and last sample."""
    from k814util import windows
    from k814util.catalogue import ItemCatalogue, mode_name, parse_mode

    key = _item(item)
    number = parse_mode(mode)
    catalogue = ItemCatalogue()
    hkid, mnemonic = catalogue.resolve(key)
    whole = _whole_series(f, hkid, number)
    keep = windows.select(f, whole["unix_time"], whole["relative_time"], start, end)
    t, v = whole["relative_time"], whole["value"]
    if keep is not None:  # what TMFile.series(item, mode, start=start, end=end) keeps
        t, v = t[keep], v[keep]
    count = len(t)
    lo = float(start) if start is not None else (float(t.min()) if count else None)
    hi = float(end) if end is not None else (float(t.max()) if count else None)
    decimated = count > max_points
    if decimated:
        kept = decimate(t, v, max(1, max_points // 4), lo, hi)
        t, v = t[kept], v[kept]
    return {
        "item": hkid,
        "mnemonic": mnemonic,
        "mode": mode_name(number),
        "units": catalogue.units(hkid, number),
        "relative_time": t,
        "value": v,
        "decimated": decimated,
        "count": count,
        "start": lo,
        "end": hi,
    }


def table(f, name: str, offset: int = 0, limit: int | None = None) -> dict:
    """One of :data:`TABLES` as rows (``offset`` to ``offset + limit``)."""
    return rows(getattr(f, TABLES[name])(), offset, limit)


_SPECTRA: dict = {}


def _spectra(f):
    """The run's scans as Spectra, made once per packet count (a growing run makes them
    again)."""
    import k814util

    if f.mission() != "tarn":
        raise BadRequest(f"scans are TARN's; this run is {f.mission()}'s")
    key = (f.filename(), len(f))
    if key not in _SPECTRA:
        _SPECTRA.clear()
        # The wrapper is kept too: making one walks the whole file again.
        scans = k814util.ScienceDataCacheWrapper(False, False)
        _SPECTRA[key] = (k814util.Spectra(scans), scans)
    return _SPECTRA[key][0]


def _scan_cache(f):
    _spectra(f)
    return _SPECTRA[(f.filename(), len(f))][1]


def scans(f, offset: int = 0, limit: int | None = None) -> dict:
    """``Spectra.table()`` of the run as rows (``offset`` to ``offset + limit``)."""
    return rows(_spectra(f).table(), offset, limit)


def scan(f, index: int) -> dict:
    """One scan: its m/z and counts (as ``Spectra`` has them), and its culled spectrum (the
    culled bins' m/z and counts)."""

    spectra = _spectra(f)
    n = len(spectra)
    if not 0 <= index < n:
        raise NotFound(f"no scan {index}: the run has {n} scans (0 to {n - 1})")
    mz, counts = spectra.scan_arrays(index)
    pairs = np.asarray(_scan_cache(f).get_scan(index).culled_counts(), dtype=np.int64)
    culled_mz = culled_counts = None
    if len(pairs) >= 2:
        bins, culled_counts = pairs[0::2], pairs[1::2]
        inside = (bins >= 0) & (bins < len(mz))
        culled_mz = np.full(len(bins), np.nan)
        culled_mz[inside] = mz[bins[inside]]
    row = spectra.table().iloc[index]
    return {
        "index": index,
        "relative_time": float(row["relative_time"]),
        "kind": _kind(int(row["src_pkt_type"])),
        "mode": str(row["mode"]),
        "mz": mz,
        "counts": counts,
        "culled_mz": culled_mz,
        "culled_counts": culled_counts,
    }


def _kind(packet_type: int) -> str:
    from k814util.spectra import KIND_NAMES

    return KIND_NAMES.get(packet_type, str(packet_type))


def tic(f, start=None, end=None, max_points: int | None = None) -> dict:
    """The TIC chromatograms, one trace per kind and mode, between start and end (relative
    seconds, None for open); a trace of more than max_points scans keeps per pixel column the
    scans of the first, lowest, highest and last TIC (``decimated`` says so)."""
    frame = _spectra(f).tic(("kind", "mode")).reset_index()
    traces = []
    for (kind, mode), part in frame.groupby(["kind", "mode"], sort=False, observed=True):
        t = part["relative_time"].to_numpy()
        keep = np.ones(len(t), dtype=bool)
        if start is not None:
            keep &= t >= start
        if end is not None:
            keep &= t <= end
        chosen = np.flatnonzero(keep)
        decimated = max_points is not None and len(chosen) > max_points
        if decimated:
            t_in = t[chosen]
            lo = float(start) if start is not None else float(t_in.min())
            hi = float(end) if end is not None else float(t_in.max())
            tics = part["tic"].to_numpy()[chosen]
            chosen = chosen[decimate(t_in, tics, max(1, max_points // 4), lo, hi)]
        traces.append(
            {
                "kind": str(kind),
                "mode": str(mode),
                "scan": part["scan"].to_numpy()[chosen],
                "relative_time": t[chosen],
                "tic": part["tic"].to_numpy()[chosen],
                "corrected_tic": part["corrected_tic"].to_numpy()[chosen],
                "decimated": bool(decimated),
                "count": int(keep.sum()),
            }
        )
    return {"traces": traces}


def growth(f) -> dict:
    """Reads what the station appended and says where the run stands: packets and the last
    packet's relative time, message-log lines and markers (totals, and the latest of each with
    its position)."""
    import k814util
    from k814util import k814util as _k

    f.refresh()
    n = len(f)
    log = k814util.PyMsgLogCache()
    # A line still waiting for its continuation in a later packet is announced once complete.
    complete = log.size() - int(_k._console_log_pending())
    first = max(0, complete - _RECENT)
    messages = []
    for i in range(first, complete):
        line = log.get(i)
        messages.append({"index": i, "relative_time": line.relativeTime(), "msg": line.msg()})
    markers = rows(f.markers())["rows"]
    for i, m in enumerate(markers):
        m["index"] = i
    return {
        "packets": n,
        "last_relative_time": f[n - 1].relative_timestamp() if n else None,
        "messages": complete,
        "recent_messages": messages,
        "markers": len(markers),
        "recent_markers": markers[-_RECENT:],
    }
