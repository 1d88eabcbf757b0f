"""Telemetry streams of the sample tests, built from the mission definitions so that every
value sits where the database says it does."""

from __future__ import annotations

import dataclasses
import random
import struct
from dataclasses import dataclass

from k814util.sample import custom, limits, science, seb
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


@dataclass
class Emitted:
    """One packet of a generated stream and what the generator intended for it."""

    kind: int  # TOM full type or CCSDS APID
    data: bytes  # the packet, or damage bytes when kind is DAMAGE
    unix: float | None = None  # intended Unix time (None when not determined)
    ground: tuple[int, int] | None = None  # station receipt time (seconds, milliseconds)
    text: str | None = None  # the message text a message packet carries
    marker: tuple[int, int, str] | None = None  # (id, type, text) of a marker packet
    seb: list | None = None  # the commands of an SEB sequence this packet starts
    sci: dict | None = None  # what the science model needs to know about the packet
    custom: list | None = None  # items the custom decoders should read from it (custom.py)
    limits: dict | None = None  # raw values of the items with planted limit violations


DAMAGE = -1


class TarnClock:
    """The instrument's tick counter across processor restarts, and the mission time it reads."""

    def __init__(self, start_unix: float, uptime: float):
        self.boot_unix = start_unix - uptime  # Unix time at which the counter read 0

    def ticks(self, unix: float) -> int:
        return round((unix - self.boot_unix) * TARN_TICKS_PER_SECOND)

    def restart(self, unix: float) -> None:
        self.boot_unix = unix

    def unix(self, ticks: int) -> float:
        return self.boot_unix + ticks / TARN_TICKS_PER_SECOND

    def time_fields(self, ticks: int) -> tuple[int, int, int]:
        mission = self.unix(ticks) - TARN_MISSION_EPOCH_UNIX
        secs = int(mission)
        return secs, min(round((mission - secs) * 65536), 65535), ticks


def tarn_stream(
    mission: Mission,
    start_unix: int,
    tid_dir: str,
    seconds: int,
    rng: random.Random,
    scans: science.Timeline | None = None,
):
    """TOM packets of a TARN test, yielded as :class:`Emitted`.

    The instrument has been up for 600 s when the test starts. Before its first time packet come
    a ground-made packet and a little housekeeping and science. Then: SEB housekeeping every
    second, a time packet every ten seconds and a digital housekeeping packet with time fields
    every fifteen, raw science, laser pulses, markers and messages (one split over two
    packets). From 41 s the mass-spectrum scans of ``scans`` (by default
    :func:`science.timeline`) with their scan statuses and sequences; the filaments are off
    from 41 s to 59 s. At 80 s the processor restarts: a boot-loader message, then counters from
    zero until the next time packet. Damage: garbage between two packets, a packet with a
    corrupt checksum, and a last packet cut short (the station was still writing).
    """
    layout = Layout(mission)
    clock = TarnClock(start_unix, 600.0)
    seq: dict[int, int] = {}
    timeline = scans or science.timeline(mission, layout)
    events = list(timeline.events)
    # The custom decoders' packets draw on a generator of their own, so that adding them left
    # every other packet as it was.
    custom_packets = custom.schedule(random.Random(16))

    def packet(full_type: int, unix: float, values: dict, length: int, raw: bytes = b""):
        s = seq.get(full_type, 0)
        seq[full_type] = s + 1
        ticks = clock.ticks(unix)
        data = raw or layout.data(full_type, length, values, TOM_DATA_OFFSET)
        return Emitted(full_type, tom_packet(full_type, s, ticks, data), clock.unix(ticks))

    def time_packet(unix: float) -> Emitted:
        secs, subsecs, tick = clock.time_fields(clock.ticks(unix))
        values = {"TIME:SECS": secs, "TIME:SUBSECS": subsecs, "TIME:TICK": tick}
        return packet(2, unix, values, 11)

    def hk(unix: float, second: int, filaments: int) -> Emitted:
        planted = limits.values(second, seconds)
        e = packet(
            22,
            unix,
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
                "SEB:T_RF": max(0, 2048 - second),
                "SEB:T_PRT": 110 + second // 20,
                "SEB:I_OFFSET": (0x1000 - 40 + second) & 0xFFFF,
            }
            | planted,
            64,
        )
        return dataclasses.replace(e, sci={"filaments": filaments}, limits=planted)

    def expected(e: Emitted, items: list) -> Emitted:
        """The packet with the custom decoders' items, each timed in Unix seconds too."""
        for item in items:
            offsets = item["offsets"]
            item["unix"] = None if offsets is None else [e.unix + t for t in offsets]
        return dataclasses.replace(e, custom=items)

    def message(unix: float, text: str) -> Emitted:
        return dataclasses.replace(packet(8, unix, {}, 0, text.encode("ascii")), text=text)

    t = float(start_unix)
    # The ground equipment's test-start packet: subtype, flags, then the TID directory name.
    yield packet(0x83, t, {}, 0, b"\x00\x00" + tid_dir.encode("ascii"))
    yield hk(t + 0.2, 0, 0b01)
    yield packet(10, t + 0.4, {}, 0, b"\x01" + bytes(rng.randrange(256) for _ in range(99)))
    yield packet(10, t + 0.6, {}, 0, b"\x01" + bytes(rng.randrange(256) for _ in range(99)))

    second = 1
    filaments = 0b01
    while second < seconds:
        now = start_unix + second
        emitted = []
        restarted = second == 80
        if restarted:
            # The processor restarts: counters from zero, the boot loader announces itself,
            # and no time packet comes until the digital housekeeping at 82 s.
            clock.restart(now - 0.5)
            emitted.append(message(now - 0.45, "TARN CDH Boot Loader v1.2 starting\n"))
        if second % 10 == 0 and not restarted:
            emitted.append(time_packet(now))
        if second % 15 == 7:
            secs, subsecs, tick = clock.time_fields(clock.ticks(now + 0.001))
            values = {
                "CDH:TIME_SECS": secs,
                "CDH:TIME_SUBSECS": subsecs,
                "CDH:TIME_TICK": tick,
                "CDH:V_BUS": 45000 + rng.randrange(-100, 100),
                "CDH:MODE": 2,
            }
            emitted.append(packet(7, now + 0.001, values, 32))
        if second == 41:
            filaments = 0b00  # both filaments off for the dark-count and laser scans
        if second == 60:
            filaments = 0b11
        emitted.append(hk(now + 0.0017, second, filaments))
        if second % 7 == 3:
            counts = bytes(rng.randrange(0, 256) for _ in range(1500))
            emitted.append(packet(10, now + 0.025, {}, 0, b"\x02" + counts))
        if second % 5 == 2:
            energies = [11000 + rng.randrange(-300, 300) for _ in range(10)]
            mean = sum(energies) / len(energies)
            spread = (sum((x - mean) ** 2 for x in energies) / len(energies)) ** 0.5
            values = {
                "LASER:PULSE_ENERGY": energies,
                "LASER:PULSE_COUNT": len(energies),
                "LASER:ENERGY_MEAN": round(mean),
                "LASER:ENERGY_MIN": min(energies),
                "LASER:ENERGY_MAX": max(energies),
                "LASER:ENERGY_STD": round(spread * 10),
                "LASER:PULSE_PERIOD": 100000,
                "LASER:MAIF_STATUS": 0x2C01,
            }
            e = packet(15, now + 0.04, values, 36)
            emitted.append(expected(e, [custom.entry(235, custom.laser_hk(e.data[8:-4]))]))
        if second % 30 == 5:
            marker_id = second // 30 + 1
            phase = "filament B on" if second >= 60 else "warm-up"
            mission_time = clock.time_fields(clock.ticks(now + 0.05))
            text = f"step {marker_id}: {phase}"
            values = {
                "MARKER:SECS": mission_time[0],
                "MARKER:SUBSECS": mission_time[1],
                "MARKER:ID": marker_id,
                "MARKER:TEXT": text,
            }
            marker = packet(9, now + 0.05, values, 72)
            emitted.append(dataclasses.replace(marker, marker=(marker_id, 0, text)))
        if second % 45 == 12:
            emitted.append(message(now + 0.07, f"SEB status nominal at {second} s\n"))
        if second in (30, 70):
            # The test conductor announces the SEB test; meta-marker rules key on it.
            emitted.append(message(now + 0.06, f"SEB Test = {1 if second == 30 else 0}\n"))
        if second == 20:
            # A scan set-up sequence in one packet, after three bytes that start no command.
            commands = seb.scan_setup()
            data = seb.sequence_packet_data(b"\x00\x00\x55" + b"".join(commands), 0)
            e = packet(23, now + 0.03, {}, 0, data)
            meta = {"seq_new": True, "commands": commands}
            emitted.append(dataclasses.replace(e, seb=seb.manifest(commands), sci=meta))
        if second == 40:
            # A sequence in two packets; the RAMP_IMM is cut between them.
            commands = seb.second_sequence()
            stream = b"".join(commands)
            cut = len(commands[0]) + len(commands[1]) + 5
            first = packet(23, now + 0.03, {}, 0, seb.sequence_packet_data(stream[:cut], 0))
            meta = {"seq_new": True, "commands": commands[:2]}
            emitted.append(dataclasses.replace(first, seb=seb.manifest(commands), sci=meta))
            rest = packet(23, now + 0.032, {}, 0, seb.sequence_packet_data(stream[cut:], cut))
            emitted.append(
                dataclasses.replace(rest, sci={"seq_new": False, "commands": commands[2:]})
            )
        if second == 50:
            # One log line that the flight software sent in two packets.
            emitted.append(message(now + 0.08, "Scan sequence 3 loaded: 42 steps, "))
            emitted.append(message(now + 0.09, "bin period 100 us\n"))
        # The science packets of this second, in time order among the others.
        while events and events[0].t < second + 1:
            ev = events.pop(0)
            e = packet(ev.packet_type, start_unix + ev.t, {}, 0, ev.data)
            meta = dict(ev.meta)
            extra = {}
            if ev.packet_type == science.SEB_SEQUENCE:
                extra["seb"] = seb.manifest(meta["commands"])
            e = dataclasses.replace(e, sci=meta, **extra)
            if ev.packet_type == science.SUMMED:
                counts = timeline.plans[meta["plan"]].counts
                e = expected(e, [custom.entry(230, custom.summed_tic(counts))])
            elif ev.packet_type == science.AGGREGATED:
                starts = custom.segment_starts(ev.data)
                e = expected(e, [custom.entry(203, (starts, None))])
            emitted.append(e)
        for k, made in enumerate(custom_packets.get(second, [])):
            unix = now + 0.3 + 0.01 * k
            if not isinstance(made, custom.CustomPacket):
                made = made(clock.ticks(unix))  # laser samples are timed against the packet
            e = packet(made.packet_type, unix, {}, 0, made.data)
            items = [x for x in made.expect(made.data, clock.ticks(unix)) if x is not None]
            emitted.append(expected(e, items))
        emitted.sort(key=lambda e: e.unix)
        yield from emitted
        if second == 33:
            yield Emitted(DAMAGE, bytes(rng.randrange(256) for _ in range(7)))
        if second == 47:
            bad = bytearray(hk(now + 0.5, second, filaments).data)
            bad[20] ^= 0x40  # the checksum no longer matches: the packet is lost
            yield Emitted(DAMAGE, bytes(bad))
        second += 1
    cut = time_packet(start_unix + second).data
    yield Emitted(DAMAGE, cut[:15])


def _wrapper(variant: str, seconds: int, ms: int) -> bytes:
    """A station wrapper record: 40 + N bytes with the receipt time where the variant keeps it."""
    n = 24
    record = bytearray(40 + n)
    record[0:12] = b"C7333IA0" + variant.encode("ascii")
    record[12:20] = f"{n:8d}".encode("ascii")
    at = 24 if variant == "GANN" else 32
    record[at : at + 4] = seconds.to_bytes(4, "big")
    record[at + 4 : at + 6] = ms.to_bytes(2, "big")
    return bytes(record)


SYNC_WORD = b"\xfe\xfa\x30\xc8"


# Marker packets of the VIREO test by second: (marker id, marker type, text). Id 0 closes the
# marker whose id is the type, or every open marker when the type is 0 as well.
VIREO_MARKERS = {
    4: (1, 1, "step 1: warm-up"),
    24: (0, 1, ""),
    30: (2, 1, "step 2: scan"),
    40: (3, 2, "laser check"),
    50: (2, 1, "step 2: scan repeat"),  # 2 is still open: it closes and opens again
    70: (0, 0, ""),
    80: (0, 7, ""),  # nothing with id 7 is open
    100: (4, 1, "step 4: cool-down"),  # still open at the end
}


def vireo_stream(mission: Mission, start_unix: int, seconds: int, rng: random.Random):
    """CCSDS packets of a VIREO test, yielded as :class:`Emitted` (data holds any wrapper
    record and sync prefix in front of the packet): housekeeping every second, science every
    two seconds, markers and messages. The station wrapped every third packet in a receipt
    record (GANN and FANN alternately) and the frame sync prefix stands before every fifth."""
    layout = Layout(mission)
    seq: dict[int, int] = {}
    n = 0

    def emit(apid: int, now: int, fine: int, values: dict, length: int, raw: bytes = b""):
        nonlocal n
        s = seq.get(apid, 0)
        seq[apid] = (s + 1) & 0x3FFF
        # Byte 10 carries the fine time in 1/256 s; byte 11 is spare.
        header = ccsds_secondary_header(now - VIREO_EPOCH_UNIX, fine << 8)
        body = raw or layout.data(apid, length, values, 12)
        prefix = b""
        ground = None
        if n % 3 == 0:
            ground = (now + 2, (n * 37) % 1000)
            prefix += _wrapper("GANN" if n % 6 == 0 else "FANN", *ground)
        if n % 5 == 0:
            filler = (0, 2, 3)[(n // 5) % 3]
            prefix += bytes(filler) + SYNC_WORD + bytes(6)
        n += 1
        packet = prefix + ccsds_packet(apid, s, header + body)
        return Emitted(apid, packet, now + fine / 256.0, ground)

    for second in range(seconds):
        now = start_unix + second
        values = {
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
        }
        planted = limits.values(second, seconds)
        yield dataclasses.replace(emit(704, now, 0, values | planted, 46), limits=planted)
        if second % 2 == 1:
            counts = [
                int(1000 * 2.718281828 ** (-((b - 16) ** 2) / 20)) + rng.randrange(0, 5)
                for b in range(32)
            ]
            yield emit(720, now, 128, {"SCI:BIN_COUNTS": counts}, 64)
        if second in VIREO_MARKERS:
            marker = VIREO_MARKERS[second]
            body = struct.pack(">II", marker[0], marker[1]) + marker[2].encode("ascii") + b"\0"
            yield dataclasses.replace(emit(743, now, 128, {}, 0, body), marker=marker)
        messages = []
        if second % 25 == 9:
            messages.append(f"LEU energy sample interval {second % 7 + 1} s\n")
        if second == 61:
            # One line the instrument sent in two packets.
            messages += ["LEU warm-up ", "complete\n"]
        for text in messages:
            yield dataclasses.replace(emit(709, now, 64, {}, 0, text.encode("ascii")), text=text)
