"""The database's items and the small facts scripts, the console and the archive share about
them: finding an item by id or mnemonic, value modes, units, and sample numbers."""

from __future__ import annotations

import difflib
import fnmatch
import operator
from typing import Union

import numpy as np

from k814util import _columns
from k814util import k814util as _k

Item = Union[int, str]

#: The value modes by name, as the module numbers them.
MODES = {"raw": 0, "eng": 1, "sci": 2}
#: The columns of a catalogue row, in order.
ITEM_COLUMNS = (
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


class UnknownItemError(LookupError):
    """No database item has the mnemonic or id asked for; the message names close matches.

    Examples
    --------
    >>> import k814util
    >>> try:
    ...     k814util.open(tarn_tm).series("SEB:HV_MOM")
    ... except k814util.UnknownItemError as error:
    ...     print(error)
    no database item has the mnemonic 'SEB:HV_MOM'; close matches: SEB:HV_MON, HV_MON, ...
    """


def parse_mode(mode: int | str) -> int:
    """The number of a value mode given by name (any case) or number.

    Parameters
    ----------
    mode : str or int
        "raw", "eng", "sci" or 0-2.

    Returns
    -------
    int
        0 raw, 1 eng, 2 sci.

    Raises
    ------
    ValueError
        For anything else.

    Examples
    --------
    >>> from k814util.catalogue import parse_mode
    >>> parse_mode("SCI"), parse_mode(1)
    (2, 1)
    """
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


def mode_name(mode: int | str) -> str:
    """The name of a value mode given by name or number.

    Parameters
    ----------
    mode : str or int
        "raw", "eng", "sci" or 0-2.

    Returns
    -------
    str
        "raw", "eng" or "sci".

    Raises
    ------
    ValueError
        For anything else.

    Examples
    --------
    >>> from k814util.catalogue import mode_name
    >>> mode_name(0)
    'raw'
    """
    number = parse_mode(mode)
    return next(name for name, n in MODES.items() if n == number)


def item_id(item: Item) -> int:
    """An item given by number as its data id (TypeError for a bool or a non-integer)."""
    if isinstance(item, bool):  # an int to Python, but never meant as item 0 or 1
        raise TypeError(f"an item is a data id or a mnemonic, not {item!r}")
    return operator.index(item)


def sample_numbers(packet: np.ndarray) -> np.ndarray:
    """Each value's position among the values of its packet (packets come in order)."""
    n = len(packet)
    if n == 0:
        return np.zeros(0, dtype=np.int64)
    starts = np.flatnonzero(np.r_[True, packet[1:] != packet[:-1]])
    counts = np.diff(np.r_[starts, n])
    return np.arange(n, dtype=np.int64) - np.repeat(starts, counts)


def matching_items(rows: list[tuple], pattern: str | None) -> list[tuple]:
    """The catalogue rows whose mnemonic matches a pattern, ignoring case.

    Parameters
    ----------
    rows : list of tuple
        Rows of :attr:`ItemCatalogue.rows` (the mnemonic second).
    pattern : str or None
        A shell-style pattern when it has wildcards, otherwise a part of the mnemonic; None
        keeps every row.

    Returns
    -------
    list of tuple

    Examples
    --------
    >>> from k814util.catalogue import matching_items
    >>> rows = [(17, "SEB:EMON_A"), (18, "SEB:EMON_B"), (21, "SEB:HV_MON")]
    >>> matching_items(rows, "emon"), matching_items(rows, "SEB:*_B")
    ([(17, 'SEB:EMON_A'), (18, 'SEB:EMON_B')], [(18, 'SEB:EMON_B')])
    """
    if pattern is None:
        return list(rows)
    glob = pattern.upper() if any(c in pattern for c in "*?[") else f"*{pattern.upper()}*"
    return [row for row in rows if fnmatch.fnmatchcase(row[1].upper(), glob)]


class ItemCatalogue:
    """The bound file's database items by id and by mnemonic.

    A mnemonic is the subsystem:name key, or a bare name when only one subsystem uses it.

    Attributes
    ----------
    rows : list of tuple
        One per item, by id, with the fields of ``ITEM_COLUMNS``.

    Examples
    --------
    >>> import k814util
    >>> from k814util.catalogue import ItemCatalogue
    >>> _ = k814util.bind(tarn_tm)
    >>> items = ItemCatalogue()
    >>> items.resolve("HV_MON"), items.resolve(21), items.units(21, "sci")
    ((21, 'SEB:HV_MON'), (21, 'SEB:HV_MON'), 'V')
    """

    def __init__(self) -> None:
        columns = _columns.arrays(_k._frames_items())
        self.rows: list[tuple] = list(zip(*(columns[c].tolist() for c in ITEM_COLUMNS)))
        self.by_id = {row[0]: row for row in self.rows}
        self.ids = {row[1]: row[0] for row in self.rows}
        names: dict[str, list[int]] = {}
        for row in self.rows:
            names.setdefault(row[3], []).append(row[0])
        for name, ids in names.items():
            if len(ids) == 1:
                self.ids.setdefault(name, ids[0])

    def resolve(self, item: Item) -> tuple[int, str]:
        """The id and mnemonic of an item given by id or mnemonic.

        Parameters
        ----------
        item : int or str
            A data id or a mnemonic.

        Returns
        -------
        tuple of (int, str)
            The id and the mnemonic.

        Raises
        ------
        UnknownItemError
            Naming close matches.
        TypeError
            For a bool or a number that is not an integer.
        """
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
        hkid = item_id(item)
        if hkid not in self.by_id:
            raise UnknownItemError(f"no database item has the id {hkid}")
        return hkid, self.by_id[hkid][1]

    def units(self, hkid: int, mode: int | str) -> str:
        """The units of an item in a mode.

        Parameters
        ----------
        hkid : int
            The item's id.
        mode : str or int
            "raw", "eng", "sci" or 0-2.

        Returns
        -------
        str
            "" when it has none.
        """
        return self.by_id[hkid][5 + parse_mode(mode)] or ""


def require_pandas():
    """pandas, or ImportError saying which extra brings it."""
    try:
        import pandas
    except ImportError:  # pragma: no cover - depends on the installation
        raise ImportError(
            "DataFrames need pandas: install the package's 'analysis' extra "
            "(pip install 'k814util[analysis]')"
        ) from None
    return pandas


def time_index(pd, unix_time: np.ndarray):
    """A UTC DatetimeIndex named "time", to the microsecond."""
    micros = np.round(unix_time * 1e6).astype(np.int64)
    return pd.DatetimeIndex(pd.to_datetime(micros, unit="us", utc=True), name="time")
