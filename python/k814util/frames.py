"""Whole-file values of the bound telemetry file as numpy arrays and pandas DataFrames: what
:class:`k814util.TMFile`'s table methods return::

    f = k814util.open("tm.dat")
    s = f.series("SEB:EMON_A", mode="eng")   # dict of numpy arrays, one entry per value
    df = f.dataframe(["SEB:EMON_A", "SEB:T_BOARD"], layout="wide")
    f.items("EMON")                          # which items there are
    f.packets()                              # one row per packet

The compiled module decodes the whole file in one pass and hands the columns over as one column
table (:mod:`k814util._columns`), so no Python runs per packet or per value. ``series`` gives
exactly what ``all_data`` gives packet by packet, in the same order. pandas (the ``analysis``
extra) is imported only by the functions that return DataFrames; ``series`` needs numpy alone.
"""

from __future__ import annotations

from collections.abc import Iterable
from typing import TYPE_CHECKING, NamedTuple

import numpy as np

from k814util import _columns, windows
from k814util import k814util as _k
from k814util.catalogue import ITEM_COLUMNS as _ITEM_COLUMNS
from k814util.catalogue import (
    MODES,
    ItemCatalogue,
    UnknownItemError,
    item_id,
    matching_items,
    mode_name,
    parse_mode,
    require_pandas,
    sample_numbers,
    time_index,
)
from k814util.catalogue import Item as Item

if TYPE_CHECKING:
    import pandas as pd

__all__ = ["MODES", "UnknownItemError", "matching_items", "TarnMarker"]


class TarnMarker(NamedTuple):
    """One TARN marker packet.

    Parameters
    ----------
    marker_index : int
        The marker's own 0-based index field: its place among the file's markers.
    packet : int
        The marker packet's index (``get_pkt``).
    marker_id : int
        The marker's id.
    sclk : int
        The packet's raw timestamp, in instrument clock ticks.
    relative_time, unix_time : float
        The packet's times.
    text : str
        The marker's text.

    Examples
    --------
    >>> import k814util
    >>> first = k814util.open(tarn_tm).tarn_markers()[0]
    >>> first.marker_index, first.marker_id, first.text, round(first.relative_time, 2)
    (0, 1, 'step 1: warm-up', 4.85)
    """

    marker_index: int
    packet: int
    marker_id: int
    sclk: int
    relative_time: float
    unix_time: float
    text: str


def _series_of(hkid: int, mode: int) -> dict[str, np.ndarray]:
    if not 0 <= hkid < 2**31:
        raise UnknownItemError(f"no database item has the id {hkid}")
    try:
        table = _k._frames_series(hkid, mode)
    except ValueError as exc:
        raise UnknownItemError(str(exc)) from None
    columns = _columns.arrays(table)
    if columns["value"].dtype == object:  # text items: their texts as a string array
        columns["value"] = columns["value"].astype(str)
    return columns


def _window(file, columns: dict, start, end, window) -> dict:
    """The columns (equal-length arrays with unix_time and relative_time) inside the window."""
    keep = windows.select(file, columns["unix_time"], columns["relative_time"], start, end, window)
    if keep is None:
        return columns
    return {name: column[keep] for name, column in columns.items()}


def series(
    item: Item, mode: int | str = "sci", start=None, end=None, window=None, file=None
) -> dict[str, np.ndarray]:
    """TMFile.series of the bound file (file: the TMFile, for marker windows)."""
    hkid = ItemCatalogue().resolve(item)[0] if isinstance(item, str) else item_id(item)
    return _window(file, _series_of(hkid, parse_mode(mode)), start, end, window)


def dataframe(
    items: Item | Iterable[Item],
    mode: int | str = "sci",
    layout: str = "long",
    start=None,
    end=None,
    window=None,
    resample=None,
    how: str = "mean",
    file=None,
):
    """TMFile.dataframe of the bound file (file: the TMFile, for marker windows)."""
    pd = require_pandas()
    if layout not in ("long", "wide"):
        raise ValueError(f"layout must be 'long' or 'wide', not {layout!r}")
    number = parse_mode(mode)
    single = isinstance(items, str) or not isinstance(items, Iterable)
    wanted = [items] if single else list(items)
    if not wanted:
        raise ValueError("dataframe needs at least one item")
    catalogue = ItemCatalogue()
    resolved = [catalogue.resolve(item) for item in wanted]
    names = [name for _, name in resolved]
    if len(set(names)) != len(names):
        raise ValueError(f"an item is asked for twice: {names}")
    # A value's sample is its position among its packet's values: counted before the window,
    # which may cut a packet's array.
    found = []
    for hkid, _ in resolved:
        whole = _series_of(hkid, number)
        whole["sample"] = sample_numbers(whole["packet"])
        found.append(_window(file, whole, start, end, window))
    samples = [s.pop("sample") for s in found]
    frame = (_long if layout == "long" else _wide)(pd, names, found, samples)
    if resample is not None:
        frame = windows.resample(frame, resample, how)
    frame.attrs["units"] = {name: catalogue.units(hkid, number) for hkid, name in resolved}
    frame.attrs["mode"] = mode_name(number)
    return frame


def _long(pd, names, found, samples) -> pd.DataFrame:
    # Stable order by packet keeps each item's values in its order and the items in the order
    # given within a packet.
    packet = np.concatenate([s["packet"] for s in found])
    order = np.argsort(packet, kind="stable")
    values = [s["value"] for s in found]
    if any(v.dtype.kind != "f" for v in values):
        values = [v.astype(object) for v in values]
    codes = np.concatenate(
        [np.full(len(s["packet"]), i, dtype=np.int16) for i, s in enumerate(found)]
    )
    unix_time = np.concatenate([s["unix_time"] for s in found])[order]
    return pd.DataFrame(
        {
            "item": pd.Categorical.from_codes(codes[order], categories=names),
            "value": np.concatenate(values)[order],
            "relative_time": np.concatenate([s["relative_time"] for s in found])[order],
            "packet": packet[order],
            "sample": np.concatenate(samples)[order],
        },
        index=time_index(pd, unix_time),
    )


def _wide(pd, names, found, samples) -> pd.DataFrame:
    width = 1 + max((int(s.max()) for s in samples if len(s)), default=0)
    keys = [s["packet"] * width + k for s, k in zip(found, samples)]
    if all(np.array_equal(keys[0], k) for k in keys[1:]):
        rows = keys[0]
    else:
        # Each item's keys increase already: a stable sort merges those runs (timsort finds
        # them) in a fraction of what a general unique, which hashes or sorts, costs.
        merged = np.sort(np.concatenate(keys), kind="stable")
        rows = merged[np.r_[True, merged[1:] != merged[:-1]]]
    n = len(rows)
    unix_time = np.empty(n)
    relative_time = np.empty(n)
    columns = {}
    # Last to first, so the first item given that has a row sets its times.
    for name, s, key in reversed(list(zip(names, found, keys))):
        at = np.searchsorted(rows, key)
        unix_time[at] = s["unix_time"]
        relative_time[at] = s["relative_time"]
        text = s["value"].dtype.kind != "f"
        column = np.full(n, None if text else np.nan, dtype=object if text else np.float64)
        column[at] = s["value"]
        columns[name] = column
    # Packet order is nearly time order, but not quite (a clock that steps back, packets the
    # station stamped late): sorted by time, stably, so rows of equal time keep packet and
    # sample order. A run already in order costs one pass.
    order = np.argsort(unix_time, kind="stable")
    frame = {
        "relative_time": relative_time[order],
        "packet": (rows // width)[order],
        "sample": (rows % width)[order],
    }
    frame.update((name, columns[name][order]) for name in names)
    return pd.DataFrame(frame, index=time_index(pd, unix_time[order]))


def packets(start=None, end=None, window=None, file=None) -> pd.DataFrame:
    """TMFile.packets of the bound file (file: the TMFile, for marker windows)."""
    pd = require_pandas()
    frame = _columns.arrays(_k._frames_packets())
    frame["type_name"] = pd.Categorical(frame["type_name"])
    order = [
        "index",
        "type",
        "full_type",
        "total_length",
        "length",
        "sequence",
        "sclk",
        "checksum",
        "gse_created",
        "marker_id",
        "unix_time",
        "relative_time",
        "type_name",
    ]
    n = len(frame["index"])
    result = pd.DataFrame({c: frame[c] for c in order}, index=pd.RangeIndex(n, name="packet"))
    keep = windows.select(file, frame["unix_time"], frame["relative_time"], start, end, window)
    return result if keep is None else result[keep]


def items(pattern: str | None = None) -> pd.DataFrame:
    """TMFile.items of the bound file."""
    pd = require_pandas()
    rows = matching_items(ItemCatalogue().rows, pattern)
    frame = pd.DataFrame(rows, columns=list(_ITEM_COLUMNS))
    frame = frame.astype({"id": np.int64, "packet_type": np.int64})
    return frame.set_index("id")


def messages(start=None, end=None, window=None, file=None) -> pd.DataFrame:
    """TMFile.messages of the bound file (file: the TMFile, for marker windows)."""
    pd = require_pandas()
    lines = _k.PyMsgLogCache()
    n = lines.size()
    unix_time = np.empty(n)
    relative_time = np.empty(n)
    texts = []
    for i in range(n):
        line = lines.get(i)
        unix_time[i] = line.unixTime()
        relative_time[i] = line.relativeTime()
        texts.append(line.msg())
    columns = _window(
        file,
        {
            "unix_time": unix_time,
            "relative_time": relative_time,
            "msg": np.array(texts, dtype=object),
        },
        start,
        end,
        window,
    )
    return pd.DataFrame(
        {"relative_time": columns["relative_time"], "msg": columns["msg"]},
        index=time_index(pd, columns["unix_time"]),
    )


def vireo_markers() -> pd.DataFrame:
    """TMFile.vireo_markers of the bound file."""
    pd = require_pandas()
    markers = _k.PyVireoMarkerCache()
    rows = [
        (m.marker_id(), m.marker_type(), m.t_start_us(), m.t_end_us(), m.is_complete(), m.text())
        for m in (markers.get(i) for i in range(markers.size()))
    ]
    columns = ["marker_id", "marker_type", "t_start_us", "t_end_us", "complete", "text"]
    frame = pd.DataFrame(rows, columns=columns)
    frame = frame.astype(
        {
            "marker_id": np.int64,
            "marker_type": np.int64,
            "t_start_us": np.int64,
            "t_end_us": np.int64,
            "complete": bool,
        }
    )
    frame.index = time_index(pd, frame["t_start_us"].to_numpy() / 1e6)
    return frame


def markers() -> pd.DataFrame:
    """TMFile.markers of the bound file."""
    pd = require_pandas()
    columns = _columns.arrays(_k._frames_tarn_markers())
    return pd.DataFrame(columns, index=time_index(pd, columns["unix_time"]))


def meta_markers(found) -> pd.DataFrame:
    """TMFile.meta_markers of the meta-markers found (``get_meta_markers()``)."""
    pd = require_pandas()
    rows = [
        (m.metaMarkerId, m.index, m.startRelativeTimeInSecs, m.endRelativeTimeInSecs, m.msg)
        for m in found
    ]
    columns = ["meta_marker_id", "index", "start_relative_time", "end_relative_time", "msg"]
    frame = pd.DataFrame(rows, columns=columns)
    return frame.astype(
        {
            "meta_marker_id": np.int64,
            "index": np.int64,
            "start_relative_time": np.float64,
            "end_relative_time": np.float64,
        }
    )


def tarn_markers() -> list[TarnMarker]:
    """TMFile.tarn_markers of the bound file."""
    columns = _columns.arrays(_k._frames_tarn_markers())
    return [TarnMarker(*row) for row in zip(*(columns[f].tolist() for f in TarnMarker._fields))]
