"""Telemetry streams of the sample tests, built from the mission definitions so that every
value sits where the database says it does."""

from __future__ import annotations

import random
import struct

from k814util.sample.packets import ccsds_packet, ccsds_secondary_header, tom_packet
from k814util.sample.tmdefs import Item, Mission

TOM_DATA_OFFSET = 8
# TARN clock: 10,000 ticks per second since the flight software booted.
TARN_TICKS_PER_SECOND = 10_000
# Mission time of TARN time packets counts from this Unix second, in 1/65536 s fractions.
TARN_MISSION_EPOCH_UNIX = 946_728_000
# VIREO packets count whole seconds from 2010-01-01T00:00:00Z.
VIREO_EPOCH_UNIX = 1_262_304_000


def place(buf: bytearray, item: Item, value) -> None:
    """Writes a raw value (or a list of them, for arrays) where item says, honouring its size,
    byte order, mask and shift."""
    values = value if isinstance(value, (list, tuple)) else [value]
    if item.size <= 0:  # text fields
        text = value if isinstance(value, (bytes, bytearray)) else str(value).encode("latin-1")
        buf[item.offset : item.offset + len(text)] = text
        return
    order = [int(c) for c in item.byte_order.split(":")] if item.byte_order else None
    for i, v in enumerate(values):
        start = item.offset + i * item.size
        raw = int(v)
        if item.mask:
            current = int.from_bytes(buf[start : start + item.size], "big")
            raw = (current & ~item.mask) | ((raw << item.shift) & item.mask)
        raw &= (1 << (8 * item.size)) - 1
        if order:
            # order[k] is the significance (1 = least) of the k-th byte in the packet.
            for k, significance in enumerate(order):
                buf[start + k] = (raw >> (8 * (significance - 1))) & 0xFF
        else:
            buf[start : start + item.size] = raw.to_bytes(item.size, "big")


class Layout:
    """Fills packets of one mission from item values."""

    def __init__(self, mission: Mission):
        self.mission = mission

    def data(self, packet_type: int, length: int, values: dict, header: int) -> bytes:
        """Data field (after a header of ``header`` bytes) with ``values`` keyed by item key."""
        buf = bytearray(header + length)
        for key, value in values.items():
            item = self.mission.item(key)
            if item.packet_type != packet_type:
                raise ValueError(f"{key} does not travel in packet type {packet_type}")
            place(buf, item, value)
        return bytes(buf[header:])


def tarn_stream(
    mission: Mission,
    start_unix: int,
    tid_dir: str,
    seconds: int,
    min_packets: int,
    rng: random.Random,
):
    """TOM packets of a TARN test: a ground-made packet at the start, then one SEB housekeeping
    packet a second, a time packet every ten seconds, raw science, laser pulses, markers and
    messages. Yields (full type, packet bytes)."""
    layout = Layout(mission)
    boot_ticks = 6_000_000  # the instrument had been up for 600 s when the test started
    seq: dict[int, int] = {}

    def emit(full_type: int, ticks: int, values: dict, length: int, raw: bytes = b"") -> bytes:
        s = seq.get(full_type, 0)
        seq[full_type] = s + 1
        data = raw or layout.data(full_type, length, values, TOM_DATA_OFFSET)
        return tom_packet(full_type, s, ticks, data)

    count = 0
    # The ground equipment's test-start packet: subtype, flags, then the TID directory name.
    yield 0x83, emit(0x83, boot_ticks, {}, 0, b"\x00\x00" + tid_dir.encode("ascii"))
    count += 1
    second = 0
    filaments = 0b01
    while second < seconds or count < min_packets:
        ticks = boot_ticks + second * TARN_TICKS_PER_SECOND
        mission_seconds = start_unix + second - TARN_MISSION_EPOCH_UNIX
        if second % 10 == 0:
            yield (
                2,
                emit(
                    2,
                    ticks,
                    {"TIME:SECS": mission_seconds, "TIME:SUBSECS": 0, "TIME:TICK": ticks},
                    11,
                ),
            )
            count += 1
        if second == 60:
            filaments = 0b11
        yield (
            22,
            emit(
                22,
                ticks + 17,
                {
                    "SEB:EMON_A": [36000 + rng.randrange(-200, 200) for _ in range(8)],
                    "SEB:EMON_B": [
                        32768 + (3000 if filaments & 2 else 0) + rng.randrange(-50, 50)
                        for _ in range(8)
                    ],
                    "SEB:BIN_PERIOD": 1000,
                    "SEB:FIL_A_ON": filaments & 1,
                    "SEB:FIL_B_ON": (filaments >> 1) & 1,
                    "SEB:T_BOARD": 30000 + second * 4,
                    "SEB:HV_MON": 40000 + rng.randrange(-20, 20),
                    "SEB:T_RF": 2048 - second,
                    "SEB:T_PRT": 110 + second // 20,
                    "SEB:I_OFFSET": (0x1000 - 40 + second) & 0xFFFF,
                },
                64,
            ),
        )
        count += 1
        if second % 7 == 3:
            counts = bytes(rng.randrange(0, 256) for _ in range(1500))
            yield 10, emit(10, ticks + 250, {}, 0, b"\x02" + counts)
            count += 1
        if second % 5 == 2:
            yield (
                15,
                emit(
                    15,
                    ticks + 400,
                    {
                        "LASER:PULSE_ENERGY": [11000 + rng.randrange(-300, 300) for _ in range(10)],
                        "LASER:PULSE_COUNT": 10,
                        "LASER:DIODE_I": 2150,
                        "LASER:DIODE_T": 6500 + second,
                        "LASER:Q_DELAY": 1200,
                        "LASER:REP_RATE": 100,
                        "LASER:PULSE_PERIOD": 100000,
                        "LASER:MAIF_STATUS": 0x2C01,
                    },
                    36,
                ),
            )
            count += 1
        if second % 30 == 5:
            marker_id = second // 30 + 1
            phase = "filament B on" if second >= 60 else "warm-up"
            yield (
                9,
                emit(
                    9,
                    ticks + 500,
                    {
                        "MARKER:SECS": mission_seconds,
                        "MARKER:SUBSECS": 0x8000,
                        "MARKER:ID": marker_id,
                        "MARKER:TEXT": f"step {marker_id}: {phase}",
                    },
                    72,
                ),
            )
            count += 1
        if second % 45 == 12:
            yield (
                8,
                emit(
                    8,
                    ticks + 700,
                    {"MSG:TEXT": f"SEB status nominal at {second} s"},
                    0,
                    b"\x00" + f"SEB status nominal at {second} s".encode("ascii"),
                ),
            )
            count += 1
        second += 1


def vireo_stream(mission: Mission, start_unix: int, seconds: int, rng: random.Random):
    """CCSDS packets of a VIREO test: housekeeping every second, science every two seconds,
    markers and messages. Yields (APID, packet bytes)."""
    layout = Layout(mission)
    seq: dict[int, int] = {}

    def emit(
        apid: int, unix_seconds: int, fine: int, values: dict, length: int, raw: bytes = b""
    ) -> bytes:
        s = seq.get(apid, 0)
        seq[apid] = (s + 1) & 0x3FFF
        # Byte 10 carries the fine time in 1/256 s; byte 11 is spare.
        header = ccsds_secondary_header(unix_seconds - VIREO_EPOCH_UNIX, fine << 8)
        body = raw or layout.data(apid, length, values, 12)
        return ccsds_packet(apid, s, header + body)

    for second in range(seconds):
        now = start_unix + second
        yield (
            704,
            emit(
                704,
                now,
                0,
                {
                    "MMC.HK:V_2P50_VREF": 49152,
                    "LEU_STATUS:ENERGY_SAMPLE_INTERVAL_SETTING": 200,
                    "HK:T_CTL": 2048 + second,
                    "HK:T_AMUX": 20000 - 10 * second,
                    "HK:T_10K": 2048,
                    "HK:T_PRT": 3100 + second,
                    "HK:R_SENSE": 32768,
                    "HK:GAIN": 0x00018000,
                    "HK:V_28": 42000 + rng.randrange(-30, 30),
                    "HK:MODE": 1 if second >= 10 else 0,
                    "HK:COUNTS_LE": second * 3,
                },
                46,
            ),
        )
        if second % 2 == 1:
            counts = [
                int(1000 * 2.718281828 ** (-((b - 16) ** 2) / 20)) + rng.randrange(0, 5)
                for b in range(32)
            ]
            yield 720, emit(720, now, 128, {"SCI:BIN_COUNTS": counts}, 64)
        if second % 20 == 4:
            text = f"test step {second // 20}".encode("ascii")
            yield 743, emit(743, now, 128, {}, 0, struct.pack(">H", second // 20) + text + b"\0")
        if second % 25 == 9:
            text = f"LEU energy sample interval {second % 7 + 1} s\n".encode("ascii")
            yield 709, emit(709, now, 64, {}, 0, text)
