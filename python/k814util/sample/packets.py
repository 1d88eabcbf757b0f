"""Byte-exact builders for the two packet layouts found in telemetry files.

Written independently of the C++ reader so that each checks the other: the reader must accept
every packet built here, checksums included.
"""

from __future__ import annotations

import struct

TOM_HEADER_SIZE = 8
TOM_TRAILER_SIZE = 4
CCSDS_HEADER_SIZE = 6

# Both Fletcher sums are folded back into 16 bits after this many 16-bit words.
_BLOCK_WORDS = 360


def _fold(s: int) -> int:
    return (s & 0xFFFF) + (s >> 16)


def tom_checksum(data: bytes, start: tuple[int, int] = (0xFFFF, 0xFFFF)) -> int:
    """The 32-bit TOM checksum of ``data``: (sum2 << 16) | sum1 after the final fold.

    Parameters
    ----------
    data : bytes
        The bytes summed, as big-endian 16-bit words.
    start : tuple of int, default (0xFFFF, 0xFFFF)
        The sums to start from.

    Returns
    -------
    int

    Examples
    --------
    >>> from k814util.sample import tom_checksum
    >>> hex(tom_checksum(bytes([0, 1, 0, 2])))
    '0x40003'
    """
    sum1, sum2 = start
    words = len(data) // 2
    pos = 0
    while words:
        block = min(words, _BLOCK_WORDS)
        for _ in range(block):
            sum1 += (data[pos] << 8) | data[pos + 1]
            sum2 += sum1
            pos += 2
        words -= block
        sum1 = _fold(sum1)
        sum2 = _fold(sum2)
    if len(data) % 2:
        sum1 += data[-1] << 8
        sum2 += sum1
    sum1 = _fold(sum1)
    sum2 = _fold(sum2)
    return ((sum2 << 16) | sum1) & 0xFFFFFFFF


def tom_packet(full_type: int, sequence: int, ticks: int, data: bytes) -> bytes:
    """A TOM packet: 8-byte header, data (byte 0 is the subtype), big-endian checksum.

    Parameters
    ----------
    full_type : int
        The packet type (one byte).
    sequence : int
        The sequence counter (its low byte is written).
    ticks : int
        The instrument clock's ticks (32 bits).
    data : bytes
        The data field.

    Returns
    -------
    bytes

    Raises
    ------
    ValueError
        For a type beyond a byte or data beyond the 16-bit length field.

    Examples
    --------
    >>> from k814util.sample import tom_packet
    >>> len(tom_packet(26, 1, 1000, bytes(20)))
    32
    """
    if not 0 <= full_type <= 0xFF:
        raise ValueError(f"TOM type {full_type} does not fit in a byte")
    if len(data) > 0xFFFF:
        raise ValueError(f"TOM data of {len(data)} bytes exceeds the 16-bit length field")
    body = struct.pack(">BBHI", full_type, sequence & 0xFF, len(data), ticks & 0xFFFFFFFF) + data
    return body + struct.pack(">I", tom_checksum(body))


def ccsds_packet(
    apid: int,
    sequence: int,
    data: bytes,
    *,
    secondary_header: bool = True,
    segment_flags: int = 3,
    packet_type: int = 0,
) -> bytes:
    """A CCSDS space packet; ``data`` is everything after the primary header.

    Parameters
    ----------
    apid : int
        The application process id (11 bits).
    sequence : int
        The sequence count (its low 14 bits are written).
    data : bytes
        The data field (secondary header included), 1 to 65,536 bytes.
    secondary_header : bool, default True
        The secondary-header flag.
    segment_flags : int, default 3
        The sequence flags (3: unsegmented).
    packet_type : int, default 0
        0 telemetry, 1 telecommand.

    Returns
    -------
    bytes

    Raises
    ------
    ValueError
        For an APID beyond 11 bits or a data field outside 1 to 65,536 bytes.

    Examples
    --------
    >>> from k814util.sample import ccsds_packet
    >>> ccsds_packet(0x123, 5, b"ab").hex()
    '0923c00500016162'
    """
    if not 0 <= apid <= 0x7FF:
        raise ValueError(f"APID {apid} does not fit in 11 bits")
    if not 1 <= len(data) <= 0x10000:
        raise ValueError(f"CCSDS data field of {len(data)} bytes is outside 1..65536")
    word0 = (packet_type << 12) | (int(secondary_header) << 11) | apid
    word1 = (segment_flags << 14) | (sequence & 0x3FFF)
    return struct.pack(">HHH", word0, word1, len(data) - 1) + data


def ccsds_secondary_header(seconds: int, fraction: int) -> bytes:
    """Whole seconds (32 bits) and a 16-bit sub-second field."""
    return struct.pack(">IH", seconds & 0xFFFFFFFF, fraction & 0xFFFF)
