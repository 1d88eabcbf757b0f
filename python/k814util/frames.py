"""Whole-file values of the bound telemetry file as numpy arrays and pandas DataFrames.

The functions here become methods of :class:`k814util.TMFile`::

    f = k814util.open("tm.dat")
    s = f.series("SEB:EMON_A", mode="eng")   # dict of numpy arrays, one entry per value
    df = f.dataframe(["SEB:EMON_A", "SEB:T_BOARD"], layout="wide")
    f.items("EMON")                          # which items there are
    f.packets()                              # one row per packet
    f.seb_sequences(), f.seb_commands()      # TARN command sequences, decoded
    f.refresh()                              # packets the station appended since

The compiled module decodes the whole file in one pass and fills arrays Python allocated, so no
Python runs per packet or per value. ``series`` gives exactly what ``all_data`` gives packet by
packet, in the same order. pandas (the ``analysis`` extra) is imported only by the functions that
return DataFrames; ``series`` needs numpy alone.
"""

from __future__ import annotations

import difflib
import fnmatch
import json
import operator
from collections.abc import Iterable
from typing import TYPE_CHECKING, NamedTuple, Union

import numpy as np

from k814util import k814util as _k

if TYPE_CHECKING:
    import pandas as pd

Item = Union[int, str]

MODES = {"raw": 0, "eng": 1, "sci": 2}

_SERIES_KEYS = ("unix_time", "relative_time", "value", "packet")
_PACKET_INT_COLUMNS = (
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
)
_ITEM_COLUMNS = (
    "id",
    "mnemonic",
    "subsystem",
    "name",
    "packet_type",
    "units_raw",
    "units_eng",
    "units_sci",
    "description",
)


class TarnMarker(NamedTuple):
    """One TARN marker packet: its place among the file's markers, the packet, id and text."""

    marker_index: int
    packet: int
    marker_id: int
    sclk: int
    relative_time: float
    unix_time: float
    text: str


class PacketTypeCount(NamedTuple):
    """How many packets of one full type the file holds; name is None for a type the packet
    catalogue lacks."""

    type: int
    name: str | None
    count: int


class PacketSummary(NamedTuple):
    """The file's packets: count, time span (Unix seconds; None without packets), the clock's
    T0 and state, and the count of each packet type."""

    packets: int
    first_unix: float | None
    last_unix: float | None
    t0_unix: float
    t0_ticks: int
    synced: bool
    types: tuple[PacketTypeCount, ...]


class SebField(NamedTuple):
    """One decoded field of an SEB command: the interpreter's text ("(short)" for a field past
    the command's end) and the science value (None then)."""

    name: str
    text: str
    sci: float | None


class SebCommand(NamedTuple):
    """One SEB command: number, name, its bytes (sync code to trailer) and decoded fields."""

    number: int
    name: str
    data: bytes
    fields: tuple[SebField, ...]


class SebSequence(NamedTuple):
    """One SEB command sequence: the relative time of its first packet, the packets it came
    in, the bytes of its commands, the bytes still waiting for a continuation, the commands."""

    relative_time: float
    packets: tuple[int, ...]
    byte_count: int
    unfinished: int
    commands: tuple[SebCommand, ...]


class UnknownItemError(LookupError):
    """No database item has the mnemonic or id asked for; the message names close matches."""


def _pandas():
    try:
        import pandas
    except ImportError:  # pragma: no cover - depends on the installation
        raise ImportError(
            "DataFrames need pandas: install the package's 'analysis' extra "
            "(pip install 'k814util[analysis]')"
        ) from None
    return pandas


def _mode(mode: int | str) -> int:
    if isinstance(mode, str):
        try:
            return MODES[mode.lower()]
        except KeyError:
            raise ValueError(
                f"mode must be one of 'raw', 'eng', 'sci' or 0-2, not {mode!r}"
            ) from None
    number = operator.index(mode)
    if number not in MODES.values():
        raise ValueError(f"mode must be one of 'raw', 'eng', 'sci' or 0-2, not {mode!r}")
    return number


class _Catalogue:
    """The database's items by id and by mnemonic (the subsystem:name key; a bare name too when
    only one subsystem uses it)."""

    def __init__(self) -> None:
        self.rows = _k._frames_items()
        self.by_id = {row[0]: row for row in self.rows}
        self.ids = {row[1]: row[0] for row in self.rows}
        names: dict[str, list[int]] = {}
        for row in self.rows:
            names.setdefault(row[3], []).append(row[0])
        for name, ids in names.items():
            if len(ids) == 1:
                self.ids.setdefault(name, ids[0])

    def resolve(self, item: Item) -> tuple[int, str]:
        """The id and mnemonic of an item given by id or mnemonic."""
        if isinstance(item, str):
            # The database's own key index first: it also knows the keys that patches renamed.
            hkid = _k._frames_item_id(item) or self.ids.get(item, 0)
            if hkid in self.by_id:
                return hkid, self.by_id[hkid][1]
            candidates = list(self.ids)
            close = difflib.get_close_matches(item, candidates, n=5)
            close += [
                m
                for m in difflib.get_close_matches(item.upper(), candidates, n=5)
                if m not in close
            ]
            hint = f"; close matches: {', '.join(close)}" if close else ""
            raise UnknownItemError(f"no database item has the mnemonic {item!r}{hint}")
        hkid = _item_id(item)
        if hkid not in self.by_id:
            raise UnknownItemError(f"no database item has the id {hkid}")
        return hkid, self.by_id[hkid][1]


def _item_id(item: Item) -> int:
    if isinstance(item, bool):  # an int to Python, but never meant as item 0 or 1
        raise TypeError(f"an item is a data id or a mnemonic, not {item!r}")
    return operator.index(item)


def _series_of(hkid: int, mode: int) -> dict[str, np.ndarray]:
    if not 0 <= hkid < 2**31:
        raise UnknownItemError(f"no database item has the id {hkid}")
    try:
        found, n, text = _k._frames_series(hkid, mode)
    except ValueError as exc:
        raise UnknownItemError(str(exc)) from None
    columns = {
        "unix_time": np.empty(n, dtype=np.float64),
        "relative_time": np.empty(n, dtype=np.float64),
        "value": np.empty(n, dtype=np.float64),
        "packet": np.empty(n, dtype=np.int64),
    }
    _k._frames_fill_series(found, *(columns[key] for key in _SERIES_KEYS))
    if text:
        columns["value"] = np.array(_k._frames_series_texts(found), dtype=str)
    return columns


def series(self, item: Item, mode: int | str = "sci") -> dict[str, np.ndarray]:
    """Every value of one database item over the whole file, as numpy arrays.

    ``item`` is a data id or a mnemonic ("SEB:EMON_A", or "EMON_A" when the name is unique);
    ``mode`` is "raw", "eng", "sci" or 0-2. The result has ``unix_time``, ``relative_time``,
    ``value`` (float64; text items give their texts as a string array) and ``packet`` (the
    index ``get_pkt`` takes): one entry per value that ``all_data`` gives, packet by packet, in
    the same order, values that convert to NaN left out as there.

    Raises :class:`UnknownItemError` for an item the database does not hold.
    """
    hkid = _Catalogue().resolve(item)[0] if isinstance(item, str) else _item_id(item)
    return _series_of(hkid, _mode(mode))


def _time_index(pd, unix_time: np.ndarray):
    """A UTC DatetimeIndex named "time", to the microsecond."""
    micros = np.round(unix_time * 1e6).astype(np.int64)
    return pd.DatetimeIndex(pd.to_datetime(micros, unit="us", utc=True), name="time")


def _sample_numbers(packet: np.ndarray) -> np.ndarray:
    """Each value's position among the values of its packet (packets come in order)."""
    n = len(packet)
    if n == 0:
        return np.zeros(0, dtype=np.int64)
    starts = np.flatnonzero(np.r_[True, packet[1:] != packet[:-1]])
    counts = np.diff(np.r_[starts, n])
    return np.arange(n, dtype=np.int64) - np.repeat(starts, counts)


def dataframe(
    self, items: Item | Iterable[Item], mode: int | str = "sci", layout: str = "long"
) -> pd.DataFrame:
    """Values of several items over the whole file as one DataFrame with a UTC time index.

    ``layout="long"``: one row per value, columns ``item`` (the mnemonic), ``value``,
    ``relative_time``, ``packet`` and ``sample`` (the value's position in its packet), in
    packet order and, within a packet, in the order the items were given.
    ``layout="wide"``: one row per packet and sample, columns ``relative_time``, ``packet``,
    ``sample`` and one column per item (named by mnemonic), NaN where a packet lacks the item;
    values of the same packet stand in the same row. A row's time is that of the first item
    given that has a value there.
    """
    pd = _pandas()
    if layout not in ("long", "wide"):
        raise ValueError(f"layout must be 'long' or 'wide', not {layout!r}")
    number = _mode(mode)
    single = isinstance(items, str) or not isinstance(items, Iterable)
    wanted = [items] if single else list(items)
    if not wanted:
        raise ValueError("dataframe needs at least one item")
    catalogue = _Catalogue()
    resolved = [catalogue.resolve(item) for item in wanted]
    names = [name for _, name in resolved]
    if len(set(names)) != len(names):
        raise ValueError(f"an item is asked for twice: {names}")
    found = [_series_of(hkid, number) for hkid, _ in resolved]
    samples = [_sample_numbers(s["packet"]) for s in found]
    if layout == "long":
        return _long(pd, names, found, samples)
    return _wide(pd, names, found, samples)


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
        index=_time_index(pd, unix_time),
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
    frame = {
        "relative_time": relative_time,
        "packet": rows // width,
        "sample": rows % width,
    }
    frame.update((name, columns[name]) for name in names)
    return pd.DataFrame(frame, index=_time_index(pd, unix_time))


def packets(self) -> pd.DataFrame:
    """Every packet of the file, one row each, indexed by the position ``get_pkt`` takes:
    header fields (``index``, ``type``, ``full_type``, ``total_length``, ``length``,
    ``sequence``, ``sclk``, ``checksum``, ``gse_created``), ``unix_time``, ``relative_time``,
    ``type_name`` (from the packet-type catalogue) and ``marker_id`` (the preceding TARN
    marker's id, 0 when none), as the packet objects report them."""
    pd = _pandas()
    table, n = _k._frames_packets()
    ints = np.empty((n, len(_PACKET_INT_COLUMNS)), dtype=np.int64)
    reals = np.empty((n, 2), dtype=np.float64)
    names = _k._frames_fill_packets(table, ints, reals)
    frame = {name: ints[:, i] for i, name in enumerate(_PACKET_INT_COLUMNS)}
    frame["gse_created"] = frame["gse_created"].astype(bool)
    frame["unix_time"] = reals[:, 0]
    frame["relative_time"] = reals[:, 1]
    frame["type_name"] = pd.Categorical(names)
    return pd.DataFrame(frame, index=pd.RangeIndex(n, name="packet"))


def matching_items(rows: list[tuple], pattern: str | None) -> list[tuple]:
    """The catalogue rows whose mnemonic matches pattern, ignoring case: a shell-style pattern
    when it has wildcards, otherwise any mnemonic containing it; all rows for None."""
    if pattern is None:
        return list(rows)
    glob = pattern.upper() if any(c in pattern for c in "*?[") else f"*{pattern.upper()}*"
    return [row for row in rows if fnmatch.fnmatchcase(row[1].upper(), glob)]


def items(self, pattern: str | None = None) -> pd.DataFrame:
    """The database's items, indexed by id: ``mnemonic``, ``subsystem``, ``name``,
    ``packet_type``, the units of each mode and ``description``.

    ``pattern`` keeps the items whose mnemonic matches it, ignoring case: a shell-style pattern
    ("SEB:T_*") when it has wildcards, otherwise any mnemonic containing it.
    """
    pd = _pandas()
    rows = matching_items(_Catalogue().rows, pattern)
    frame = pd.DataFrame(rows, columns=list(_ITEM_COLUMNS))
    frame = frame.astype({"id": np.int64, "packet_type": np.int64})
    return frame.set_index("id")


def messages(self) -> pd.DataFrame:
    """The instrument's message log, one row per line: ``relative_time`` and ``msg``, with a
    UTC time index."""
    pd = _pandas()
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
    return pd.DataFrame(
        {"relative_time": relative_time, "msg": np.array(texts, dtype=object)},
        index=_time_index(pd, unix_time),
    )


def vireo_markers(self) -> pd.DataFrame:
    """The VIREO test markers, sorted by start: ``marker_id``, ``marker_type``, ``t_start_us``,
    ``t_end_us`` (0 while open), ``complete`` and ``text``, with the start as UTC time index."""
    pd = _pandas()
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
    frame.index = _time_index(pd, frame["t_start_us"].to_numpy() / 1e6)
    return frame


def markers(self) -> pd.DataFrame:
    """The TARN marker packets, in time order: ``marker_index`` (the marker's own 0-based index
    field; ``quip_marker_index()`` of the packets after it is one more), ``packet`` (the marker
    packet's index), ``marker_id``, ``sclk``, ``relative_time``, ``unix_time`` and ``text``,
    with a UTC time index."""
    pd = _pandas()
    frame = pd.DataFrame(tarn_markers(self), columns=list(TarnMarker._fields))
    frame = frame.astype(
        {
            "marker_index": np.int64,
            "packet": np.int64,
            "marker_id": np.int64,
            "sclk": np.int64,
            "relative_time": np.float64,
            "unix_time": np.float64,
        }
    )
    frame.index = _time_index(pd, frame["unix_time"].to_numpy())
    return frame


def meta_markers(self) -> pd.DataFrame:
    """The meta-markers of the file: ``meta_marker_id``, ``index``, ``start_relative_time``,
    ``end_relative_time`` and ``msg``, one row each in the order ``get_meta_markers`` gives."""
    pd = _pandas()
    rows = [
        (m.metaMarkerId, m.index, m.startRelativeTimeInSecs, m.endRelativeTimeInSecs, m.msg)
        for m in self.get_meta_markers()
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


def tarn_markers(self) -> list[TarnMarker]:
    """The TARN marker packets in time order, as records (``markers()`` as objects)."""
    return [TarnMarker(*row) for row in _k._frames_tarn_markers()]


def mission(self) -> str:
    """The mission of the test the process is bound to ("tarn", "vireo"), as binding read it."""
    bound = _k._console_binding()
    if bound is None:
        raise RuntimeError("the process is not bound to a telemetry file")
    return bound[1].lower()


def packet_summary(self) -> PacketSummary:
    """Packet count, time span, the clock's T0 and state, and the count of each packet type."""
    s = json.loads(_k._console_packet_summary())
    types = tuple(PacketTypeCount(t["type"], t["name"], t["count"]) for t in s["types"])
    return PacketSummary(
        int(s["packets"]),
        s["first_unix"],
        s["last_unix"],
        s["t0_unix"],
        int(s["t0_ticks"]),
        s["synced"],
        types,
    )


def packet_types(self) -> pd.DataFrame:
    """The count of each full packet type, indexed by type, with the catalogue's name."""
    pd = _pandas()
    rows = self.packet_summary().types
    frame = pd.DataFrame(rows, columns=list(PacketTypeCount._fields))
    return frame.astype({"type": np.int64, "count": np.int64}).set_index("type")


def seb_sequences(self) -> list[SebSequence]:
    """The SEB command sequences of a TARN file's sequence packets (continuations joined, a
    command cut between packets completed), each command with its decoded fields; empty for
    other missions."""
    out = []
    for s in json.loads(_k._console_seb_sequences()):
        commands = tuple(
            SebCommand(
                c["number"],
                c["name"],
                bytes.fromhex(c["bytes"]),
                tuple(SebField(f["name"], f["text"], f["sci"]) for f in c["fields"]),
            )
            for c in s["commands"]
        )
        out.append(
            SebSequence(
                s["relative_time"],
                tuple(s["packets"]),
                s["byte_count"],
                int(s["unfinished"]),
                commands,
            )
        )
    return out


def seb_commands(self) -> pd.DataFrame:
    """Every SEB command, one row each: ``sequence`` (its number), ``relative_time`` (of the
    sequence), ``position`` in the sequence, ``number``, ``name``, ``fields`` (name=text,
    blank-separated) and ``data`` (the bytes in hexadecimal)."""
    pd = _pandas()
    rows = [
        (
            k,
            s.relative_time,
            i,
            c.number,
            c.name,
            " ".join(f"{f.name}={f.text}" for f in c.fields),
            c.data.hex(),
        )
        for k, s in enumerate(self.seb_sequences())
        for i, c in enumerate(s.commands)
    ]
    columns = ["sequence", "relative_time", "position", "number", "name", "fields", "data"]
    frame = pd.DataFrame(rows, columns=columns)
    return frame.astype(
        {
            "sequence": np.int64,
            "relative_time": np.float64,
            "position": np.int64,
            "number": np.int64,
        }
    )


def refresh(self, stale_after: float = 5.0) -> int:
    """Reads what the station appended to the file since the last read and returns the number
    of new packets (binding the process to this file again, and counting all its packets, when
    it was bound to another one since).

    The file is read on only when a whole packet waits where the last read stopped (or bytes
    the reader passes over as damage), so a packet the station has only partly written does not
    use up the few reads the reader allows a packet cut off at the end of the file: refresh as
    often as you like, also while the station writes steadily. (A read that got whole packets
    may still stop inside the one being written, with a "Read partial packet" line; the next
    whole packet resets that count.) When the file keeps its size for ``stale_after``
    seconds, what waits unfinished at its end is read anyway: damage that looks like a long
    packet's start, or the end of a recording that stopped, then costs its retries and is
    passed over instead of holding back what follows it."""
    return int(_k._console_refresh(self.filename(), float(stale_after)))


def install() -> None:
    """Makes the functions above methods of TMFile."""
    for function in (
        series,
        dataframe,
        packets,
        items,
        messages,
        vireo_markers,
        markers,
        meta_markers,
        tarn_markers,
        mission,
        packet_summary,
        packet_types,
        seb_sequences,
        seb_commands,
        refresh,
    ):
        setattr(_k.TMFile, function.__name__, function)
