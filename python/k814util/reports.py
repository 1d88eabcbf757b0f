"""The bound file's reports as records: what is bound, its packets by type and its SEB command
sequences (what :class:`k814util.TMFile`'s report methods return). The compiled module makes
the reports, which are small and nested, and hands them over as JSON text."""

from __future__ import annotations

import json
from typing import TYPE_CHECKING, NamedTuple

import numpy as np

from k814util import k814util as _k
from k814util.catalogue import require_pandas

if TYPE_CHECKING:
    import pandas as pd


class PacketTypeCount(NamedTuple):
    """How many packets of one full type the file holds.

    Parameters
    ----------
    type : int
        The full packet type.
    name : str or None
        The packet-type catalogue's name; None for a type the catalogue lacks.
    count : int
        How many packets.

    Examples
    --------
    >>> import k814util
    >>> k814util.open(tarn_tm).packet_summary().types[-1]
    PacketTypeCount(type=131, name='GSE_TEST_START', count=1)
    """

    type: int
    name: str | None
    count: int


class PacketSummary(NamedTuple):
    """The file's packets: count, time span, the clock's T0 and state, and each type's count.

    Parameters
    ----------
    packets : int
        How many packets.
    first_unix, last_unix : float or None
        The first and last packet's Unix time; None without packets.
    t0_unix : float
        The T0 packet's Unix time: relative times count from it.
    t0_ticks : int
        The T0 packet's raw timestamp, in instrument clock ticks.
    synced : bool
        Whether the time resolver is synchronised to the instrument clock.
    types : tuple of PacketTypeCount
        By type.

    Examples
    --------
    >>> import k814util
    >>> s = k814util.open(vireo_tm).packet_summary()
    >>> s.packets, s.last_unix - s.t0_unix, s.synced
    (195, 119.5, True)
    """

    packets: int
    first_unix: float | None
    last_unix: float | None
    t0_unix: float
    t0_ticks: int
    synced: bool
    types: tuple[PacketTypeCount, ...]


class SebField(NamedTuple):
    """One decoded field of an SEB command.

    Parameters
    ----------
    name : str
        The field's name in the command definitions.
    text : str
        The field interpreter's text; "(short)" for a field past the command's end.
    sci : float or None
        The science value; None for a field past the command's end.

    Examples
    --------
    >>> import k814util
    >>> command = k814util.open(tarn_tm).seb_sequences()[0].commands[0]
    >>> command.fields[0]
    SebField(name='bin_time', text='100us', sci=100)
    """

    name: str
    text: str
    sci: float | None


class SebCommand(NamedTuple):
    """One SEB command.

    Parameters
    ----------
    number : int
        The command's number.
    name : str
        Its name in the command definitions ("seb_cmds.json").
    data : bytes
        Its bytes, sync code to trailer.
    fields : tuple of SebField
        Its decoded fields.

    Examples
    --------
    >>> import k814util
    >>> command = k814util.open(tarn_tm).seb_sequences()[0].commands[0]
    >>> command.number, command.name, command.data.hex()
    (18, 'SET_BIN_TIME', 'faf32012000203e8030c')
    """

    number: int
    name: str
    data: bytes
    fields: tuple[SebField, ...]


class SebSequence(NamedTuple):
    """One SEB command sequence.

    Parameters
    ----------
    relative_time : float
        The relative time of its first packet.
    packets : tuple of int
        The indexes of the packets it came in.
    byte_count : int
        The bytes of its commands.
    unfinished : int
        The bytes still waiting for a continuation.
    commands : tuple of SebCommand
        Its commands, in order.

    Examples
    --------
    >>> import k814util
    >>> seq = k814util.open(tarn_tm).seb_sequences()[0]
    >>> seq.packets, len(seq.commands), seq.commands[0].fields[0]
    ((36,), 6, SebField(name='bin_time', text='100us', sci=100))
    """

    relative_time: float
    packets: tuple[int, ...]
    byte_count: int
    unfinished: int
    commands: tuple[SebCommand, ...]


def mission() -> str:
    """The mission of the test the process is bound to, as binding read it.

    Returns
    -------
    str
        "tarn" or "vireo".

    Raises
    ------
    RuntimeError
        When the process is not bound.
    """
    bound = _k._console_binding()
    if bound is None:
        raise RuntimeError("the process is not bound to a telemetry file")
    return bound[1].lower()


def packet_summary() -> PacketSummary:
    """Packet count, time span, the clock's T0 and state, and the count of each packet type.

    Of the process's current binding (:meth:`TMFile.packet_summary` checks the file first).

    Returns
    -------
    PacketSummary
    """
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


def packet_types() -> pd.DataFrame:
    """The count of each full packet type, with the catalogue's name.

    Returns
    -------
    pandas.DataFrame
        Indexed by type: ``name`` and ``count``.
    """
    pd = require_pandas()
    rows = packet_summary().types
    frame = pd.DataFrame(rows, columns=list(PacketTypeCount._fields))
    return frame.astype({"type": np.int64, "count": np.int64}).set_index("type")


def seb_sequences() -> list[SebSequence]:
    """The SEB command sequences of the bound TARN file's sequence packets.

    Continuations are joined and a command cut between packets completed; each command comes
    with its decoded fields.

    Returns
    -------
    list of SebSequence
        Empty for other missions.
    """
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


def seb_commands() -> pd.DataFrame:
    """Every SEB command of the bound file, one row each.

    Returns
    -------
    pandas.DataFrame
        ``sequence`` (its number), ``relative_time`` (of the sequence), ``position`` in the
        sequence, ``number``, ``name``, ``fields`` (name=text, blank-separated) and ``data``
        (the bytes in hexadecimal).
    """
    pd = require_pandas()
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
        for k, s in enumerate(seb_sequences())
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
