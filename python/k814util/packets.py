"""The packet headers of any TOM or CCSDS file as numpy arrays, without a test directory,
configuration or database::

    import k814util
    p = k814util.read_packets("downlink.bin")
    hk = p["offset"][p["apid"] == 0x37F]

The file goes through the same damage-tolerant loop as a bound telemetry file (resynchronising
after garbage, skipping station wrapper records); as the file is read once, a packet that
claims more bytes than are left is damage, not a packet still being written, and reading goes on
after it, and whole packets among the last bytes are read too (a bound file waits for more bytes
there); the lines that loop writes to standard error for a bound file come back in
``"diagnostics"``, and every byte that is in no packet is in one of their "Skipped" lines.
Headers are checked only for their structure: CCSDS headers need version 0, packet type 0
(telemetry) and an APID other than 0; a TOM packet is taken when its checksum holds.
"""

from __future__ import annotations

import os

import numpy as np

from k814util import _columns
from k814util import k814util as _k

__all__ = ["read_packets"]

# The reader's packet format per layout, and whether VIREO frame sync prefixes are passed over.
_LAYOUTS = {"tom": (1, False), "ccsds": (2, False), "vireo": (2, True)}


def read_packets(
    path: str | os.PathLike[str], layout: str = "ccsds", with_bytes: bool = False
) -> dict[str, object]:
    """Every intact packet of a file, as a dict of equal-length numpy arrays.

    Any packet file will do: no test directory, database or configuration is read.

    Parameters
    ----------
    path : str or os.PathLike
        The packet file.
    layout : {"ccsds", "tom", "vireo"}, optional
        "vireo" is CCSDS whose headers may follow a VIREO frame sync prefix (the sync word
        FEFA30C8 and 6 more bytes).
    with_bytes : bool, optional
        Add the packets' bytes.

    Returns
    -------
    dict
        ``offset`` (int64, file offset of the packet's first header byte), ``length`` (int32,
        bytes in the packet), ``apid`` (CCSDS) or ``packet_type`` (TOM: byte 0 without the
        GSE-created bit, which is ``gse_created``, bool) (uint16), ``sequence_count``
        (uint16), ``sequence_flags`` (uint8; 3 for TOM), ``secondary_header`` (bool; False for
        TOM), ``raw_timestamp`` (uint32; CCSDS: bytes 6-9 of the packet, 0 in a packet shorter
        than 10 bytes; TOM: bytes 4-7); and ``diagnostics``, the reader's messages (a list of
        str). With ``with_bytes`` also ``bytes`` (uint8, the packets one after another) and
        ``bytes_start`` (int64, one more than packets: packet i is
        ``bytes[bytes_start[i]:bytes_start[i + 1]]``).

    Raises
    ------
    FileNotFoundError
        For a missing file.
    IsADirectoryError
        For a directory.
    ValueError
        For an unknown layout.

    Examples
    --------
    >>> import k814util
    >>> heads = k814util.read_packets(tarn_tm, layout="tom")
    >>> len(heads["offset"]), heads["packet_type"][:4], heads["gse_created"][:2]
    (771, array([ 3, 22, 10, 10], dtype=uint16), array([ True, False]))
    """
    if layout not in _LAYOUTS:
        raise ValueError(f"layout must be 'ccsds', 'vireo' or 'tom', not {layout!r}")
    name = os.fsdecode(path)
    if os.path.isdir(name):
        raise IsADirectoryError(f"{name} is a directory, not a packet file")
    if not os.path.isfile(name):
        raise FileNotFoundError(f"no such packet file: {name}")
    packet_format, sync_prefix = _LAYOUTS[layout]
    columns = _columns.arrays(_k._read_packets(name, packet_format, with_bytes, sync_prefix))
    data = columns.pop("bytes")
    diagnostics = columns.pop("diagnostics").tolist()
    result: dict[str, object] = {}
    for key, column in columns.items():
        result[key if key != "type" else ("packet_type" if layout == "tom" else "apid")] = column
    if layout == "tom":
        result["gse_created"] = columns["type"] >= 0x80
        result["packet_type"] = columns["type"] & 0x7F
    if with_bytes:
        result["bytes"] = data
        start = np.zeros(len(columns["length"]) + 1, dtype=np.int64)
        np.cumsum(columns["length"], dtype=np.int64, out=start[1:])
        result["bytes_start"] = start
    result["diagnostics"] = diagnostics
    return result
