"""SEB command sequences of the sample TARN test: the command definition file, sequence packets
(type 23) and sequence files.

Commands are built byte by byte here, independently of the C++ splitter: sync code FA F3 20,
command number, 16-bit parameter count n, n parameter bytes and a 2-byte trailer (the 16-bit
sum of the bytes before it).
"""

from __future__ import annotations

import struct

SYNC = b"\xfa\xf3\x20"
SET_BIN_TIME, PAUSE_IMM, SEND_SCAN_STATUS = 18, 21, 23
SET_DAC, SET_DAC_IMM, RAMP, RAMP_IMM, PAUSE = 28, 29, 32, 33, 46
NOOP = 5  # a command the definition file does not describe

# Packet bytes 8-13 are the SEB header (L at 12-13), 14-16 the memory address.
SEB_HEADER = 6
MEMADDR = 3


def command(number: int, params: bytes) -> bytes:
    head = SYNC + bytes([number]) + struct.pack(">H", len(params)) + params
    return head + struct.pack(">H", sum(head) & 0xFFFF)


def set_bin_time(count: int) -> bytes:
    return command(SET_BIN_TIME, struct.pack(">H", count))


def set_dac(number: int, dac_id: int, value: int, delay: int = 0) -> bytes:
    params = struct.pack(">BH", dac_id, value)
    if number == SET_DAC:
        params += struct.pack(">H", delay)
    return command(number, params)


def ramp(number: int, dac_id: int, start: int, end: int, steps: int, flags: int) -> bytes:
    return command(number, struct.pack(">BHHHB", dac_id, start, end, steps, flags))


def pause(number: int, duration: int) -> bytes:
    return command(number, struct.pack(">I", duration))


def send_scan_status(scan_id: int, counter: int) -> bytes:
    return command(SEND_SCAN_STATUS, struct.pack(">HB", scan_id, counter))


def _field(kind: int, name: str, offset: int, description: str, **extra) -> dict:
    return {"type": kind, "field": name, "description": description, "offset": offset, **extra}


def _simple(name: str, offset: int, size: int, mask: str, description: str, shift: int = 0):
    return _field(1, name, offset, description, size=size, mask=mask, shift=shift)


def _dac_id(offset: int = 6) -> dict:
    return _field(3, "dac", offset, "DAC addressed", size=1, mask="FF", shift=0)


def _dac_value(name: str, offset: int, description: str) -> dict:
    return _field(4, name, offset, description, size=2, mask="FFFF", shift=0)


def definitions() -> list:
    """The content of "seb_cmds.json": one object per command number (ids in hexadecimal),
    plus two elements that are not objects, which readers skip."""

    def cmd(number: int, name: str, description: str, data: list) -> dict:
        return {"id": f"{number:X}", "name": name, "description": description, "data": data}

    ramp_fields = [
        _dac_id(),
        _dac_value("start", 7, "first DAC value"),
        _dac_value("end", 9, "last DAC value"),
        _simple("steps", 11, 2, "FFFF", "number of steps"),
        _simple("direction", 13, 1, "01", "0 up, 1 down"),
        _simple("mode", 13, 1, "F0", "ramp shape", shift=4),
        {"type": 0, "field": "reserved", "description": "spare bits", "offset": 13},
    ]
    return [
        "SEB command definitions, ground test build",
        cmd(
            SET_BIN_TIME,
            "SET_BIN_TIME",
            "bin time of the following scans",
            [_field(2, "bin_time", 6, "bin time (database item)", hkid=245)],
        ),
        cmd(PAUSE_IMM, "PAUSE_IMM", "pause now", [_simple("duration", 6, 4, "FFFFFFFF", "10 us")]),
        cmd(
            SEND_SCAN_STATUS,
            "SEND_SCAN_STATUS",
            "send a scan status packet",
            [
                _simple("scan_id", 6, 2, "FFFF", "scan id"),
                _field(2, "counter", 8, "counter select (database item)", hkid=203),
            ],
        ),
        cmd(
            SET_DAC,
            "SET_DAC",
            "set a DAC after a delay",
            [
                _dac_id(),
                _dac_value("value", 7, "DAC counts"),
                _simple("delay", 9, 2, "FFFF", "delay, 10 us"),
            ],
        ),
        cmd(
            SET_DAC_IMM,
            "SET_DAC_IMM",
            "set a DAC now",
            [_dac_id(), _dac_value("value", 7, "DAC counts")],
        ),
        cmd(RAMP, "RAMP", "ramp a DAC", ramp_fields),
        cmd(RAMP_IMM, "RAMP_IMM", "ramp a DAC now", ramp_fields),
        cmd(PAUSE, "PAUSE", "pause", [_simple("duration", 6, 4, "FFFFFFFF", "10 us")]),
        1046,
    ]


def scan_setup() -> list[bytes]:
    """The sequence the test loads first: bin time, two DACs, a ramp, a status, a pause."""
    return [
        set_bin_time(1000),
        set_dac(SET_DAC_IMM, 0, 200),  # EM1
        set_dac(SET_DAC_IMM, 8, 0xF00),  # ENDCAP_1, a negative signed 12-bit value
        ramp(RAMP, 13, 1000, 50000, 500, 0x21),  # RF_AMP
        send_scan_status(1, 2),
        pause(PAUSE, 250000),
    ]


def second_sequence() -> list[bytes]:
    """The sequence loaded later, sent in two packets with the RAMP_IMM cut between them."""
    return [
        set_dac(SET_DAC, 15, 3000, 10),  # AUX_AMP
        command(NOOP, b""),
        ramp(RAMP_IMM, 13, 50000, 1000, 250, 0x11),
        pause(PAUSE_IMM, 5000),
        send_scan_status(2, 1),
    ]


def sequence_packet_data(stream: bytes, address: int) -> bytes:
    """Data field of a type-23 packet: SEB header with L, memory address, command bytes."""
    length = MEMADDR + len(stream)
    header = b"\x00\x00\x00\x00" + struct.pack(">H", length)
    return header + address.to_bytes(3, "big") + stream


def sequence_file(commands: list[bytes]) -> bytes:
    """A sequence file: two bytes (a format version), then the commands."""
    return b"\x00\x01" + b"".join(commands)


def manifest(commands: list[bytes]) -> list[list]:
    """[number, hex bytes] of each command, as the tests compare them."""
    return [[c[3], c.hex()] for c in commands]
