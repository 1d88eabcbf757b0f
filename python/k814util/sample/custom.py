"""Packets for the TARN decoders that need code rather than a bit definition, and the values
those decoders should give for them.

Each decoder type T has one database row with data ID 2000 + T. The packets are built here
byte by byte, and the expected items are worked out from the written bytes by a model of each
decoder that this module keeps for itself, so a test can check the library without trusting
any of its code. Offsets of the models count from the data field (the byte after the 8-byte
TOM header); "offsets" of an expected item are seconds after the packet's own time.
"""

from __future__ import annotations

import math
import random
import struct
from collections.abc import Callable
from dataclasses import dataclass

from k814util.sample.tmdefs import Item, PacketType

HEADER = 8
ROW_BASE = 2000  # the row of decoder type T has data ID ROW_BASE + T

GC_SAMPLES, MAIF, MAIF_1MIN, PIRANI, PIRANI_RAW = 30, 31, 32, 33, 34
RSIM, ROVER_HK, LASER_ENERGY, SEB_ADC, SEB_ANALOG = 35, 36, 37, 38, 39
LASER_PULSES, SUMMED, AGGREGATED = 15, 27, 28

# Fields the decoders read, as data-field offsets.
GC_OFFSET, GC_CHANNEL, GC_MASK, GC_SHIFT = 44, 2, 0xFFF0, 4
MAIF_SAMPLE, MAIF_PRESSURE, MAIF_CURRENT, MAIF_1MIN_OFFSET = 105, 7, 9, 6
MAIF_STATUS = 33  # where item 831 lies, in the MAIF packets as in the laser packets
PIRANI_VALUE, PIRANI_RAW_OFFSET, PIRANI_REFERENCE = 6, 85, 81
RSIM_SAMPLES, RSIM_POWER = 10, {227: (2010, 12), 228: (2026, 8), 229: (2038, 4)}
RSIM_LENGTH = 2046
ENERGY, PULSE_REGS, PULSE_TIME = 8, 10, 12
ENERGY_MASK = 0x0FFF
ADC_CHANNEL, ADC_SPACING = 5, 200
LASER_HK = 33

# Plain items that the computing decoders name by data ID.
RF_DIV, RF_CNT, FIL_V, FIL_I, RF_PRESSURE, RF_TEMP = 2321, 2322, 2323, 2324, 2325, 2326
ROVER_V, ROVER_I = 2301, 2311  # bus k (0-3) at ROVER_V + k and ROVER_I + k


def packet_types() -> list[PacketType]:
    return [
        PacketType(GC_SAMPLES, "GC_SAMPLES", 4, 1200),
        PacketType(MAIF, "MAIF", 200, 470),
        PacketType(MAIF_1MIN, "MAIF_1MIN", 12006, 12006),
        PacketType(PIRANI, "MICRO_PIRANI", 4, 256),
        PacketType(PIRANI_RAW, "MICRO_PIRANI_RAW", 84, 512),
        PacketType(RSIM, "RSIM_BUS", 1010, RSIM_LENGTH),
        PacketType(ROVER_HK, "ROVER_HK", 20, 20),
        PacketType(LASER_ENERGY, "LASER_ENERGY", 4, 1028),
        PacketType(SEB_ADC, "SEB_ADC", 204, 204),
        PacketType(SEB_ANALOG, "SEB_ANALOG", 32, 32),
    ]


def _row(decode_type, subsystem, name, description, packet_type, offset, size, mask=0, **kw):
    """A custom decoder's row. ``offset`` and ``size`` are DECODE_ID1 and DECODE_ID2 as the
    decoder reads them (for some decoders a channel or a data ID rather than a position)."""
    return Item(
        ROW_BASE + decode_type,
        subsystem,
        name,
        description,
        packet_type,
        offset + HEADER,
        size,
        decode_type,
        mask=mask,
        **kw,
    )


def items() -> list[Item]:
    """The database rows: one per custom decoder type, and the plain items some of them read."""
    lin = {"eng": (0, 0.0, 1.0)}
    rows = [
        _row(
            203,
            "SCI",
            "SEGMENT_START",
            "first bin + 1 of each segment",
            AGGREGATED,
            4,
            2,
            0xFFFF,
            units="bin",
        ),
        _row(
            204,
            "GC",
            "TCD_SIGNAL",
            "thermal conductivity detector, channel in bits 16-23",
            GC_SAMPLES,
            GC_OFFSET,
            GC_CHANNEL,
            GC_MASK,
            shift=GC_SHIFT,
            units="counts",
        ),
        _row(
            207,
            "MAIF",
            "P_SAMPLE",
            "MAIF pressure sample",
            MAIF,
            MAIF_SAMPLE,
            2,
            0xFFFF,
            sci=(1, 0.0, 0.001),
            units="mbar",
        ),
        _row(
            208,
            "MAIF",
            "PRESSURE",
            "MAIF pressure block",
            MAIF,
            MAIF_PRESSURE,
            2,
            0xFFFF,
            sci=(1, 0.0, 0.001),
            units="mbar",
        ),
        _row(
            209,
            "MAIF",
            "CURRENT",
            "MAIF current block",
            MAIF,
            MAIF_CURRENT,
            2,
            0xFFFF,
            sci=(1, 0.0, 0.01),
            units="mA",
        ),
        _row(
            210,
            "MAIF",
            "PRESSURE_1MIN",
            "MAIF one-minute pressure record",
            MAIF_1MIN,
            MAIF_1MIN_OFFSET,
            2,
            0xFFFF,
            sci=(1, 0.0, 0.001),
            units="mbar",
        ),
        _row(
            211,
            "RSIM",
            "BUS1_I",
            "RSIM bus 1 current, 1 kHz",
            RSIM,
            RSIM_SAMPLES,
            2,
            0x0FFF,
            sci=(1, 0.0, 0.5),
            units="mA",
        ),
        _row(
            212,
            "RSIM",
            "BUS1_I_MIN",
            "RSIM bus 1 current minimum",
            RSIM,
            RSIM_SAMPLES,
            2,
            0x0FFF,
            sci=(1, 0.0, 0.5),
            units="mA",
        ),
        _row(
            213,
            "RSIM",
            "BUS1_I_MAX",
            "RSIM bus 1 current maximum",
            RSIM,
            RSIM_SAMPLES,
            2,
            0x0FFF,
            sci=(1, 0.0, 0.5),
            units="mA",
        ),
        _row(
            214,
            "RSIM",
            "BUS1_I_AVG",
            "RSIM bus 1 current mean",
            RSIM,
            RSIM_SAMPLES,
            2,
            0x0FFF,
            sci=(1, 0.0, 0.5),
            units="mA",
        ),
        _row(
            215,
            "LASER",
            "PULSE_TIME",
            "laser pulse time, ticks",
            LASER_ENERGY,
            PULSE_TIME,
            4,
            0xFFFFFFFF,
        ),
        _row(
            216, "LASER", "PULSE_REGS", "laser pulse register", LASER_ENERGY, PULSE_REGS, 2, 0xFFFF
        ),
    ]
    energy = {
        217: ("UV_ETU", "UV energy, ETU"),
        218: ("UV_ETU_CAL", "UV energy, ETU calibrated"),
        219: ("UV_FLIGHT", "UV energy, flight unit"),
        242: ("UV_SPARE", "UV energy, flight spare"),
    }
    stats = {218: 231, 219: 237, 242: 243}
    for t, (name, text) in energy.items():
        rows.append(_row(t, "LASER", name, text, LASER_ENERGY, ENERGY, 2, ENERGY_MASK, units="uJ"))
        for k, suffix in enumerate(("AVG", "MIN", "MAX", "STD")):
            if t in stats:
                rows.append(
                    _row(
                        stats[t] + k,
                        "LASER",
                        f"{name}_{suffix}",
                        f"{text}, {suffix}",
                        LASER_ENERGY,
                        ENERGY,
                        2,
                        ENERGY_MASK,
                        units="uJ",
                    )
                )
    rows += [
        _row(
            220,
            "PIRANI",
            "PRESSURE",
            "micro-Pirani pressure samples",
            PIRANI,
            PIRANI_VALUE,
            2,
            0xFFFF,
            sci=(1, 0.0, 0.01),
            units="Pa",
        ),
        _row(
            221,
            "PIRANI",
            "PRESSURE_AVG",
            "micro-Pirani mean",
            PIRANI,
            PIRANI_VALUE,
            2,
            0xFFFF,
            sci=(1, 0.0, 0.01),
            units="Pa",
        ),
        _row(
            222,
            "PIRANI",
            "PRESSURE_HI",
            "micro-Pirani highest",
            PIRANI,
            PIRANI_VALUE,
            2,
            0xFFFF,
            sci=(1, 0.0, 0.01),
            units="Pa",
        ),
        _row(
            223,
            "PIRANI",
            "PRESSURE_LO",
            "micro-Pirani lowest",
            PIRANI,
            PIRANI_VALUE,
            2,
            0xFFFF,
            sci=(1, 0.0, 0.01),
            units="Pa",
        ),
        _row(
            224,
            "SEB",
            "ADC_CH5",
            "SEB ADC channel 5",
            SEB_ADC,
            ADC_CHANNEL,
            2,
            0xFFFF,
            **lin,
            sci=(1, 0.0, 1.0),
            units="counts",
        ),
        _row(
            225,
            "PIRANI",
            "ALGO_PRESSURE",
            "micro-Pirani pressure from bridge readings",
            PIRANI_RAW,
            PIRANI_RAW_OFFSET,
            2,
            0xFFFF,
            units="mPa",
        ),
        _row(226, "SEB", "RF_FREQ", "RF frequency", SEB_ANALOG, RF_DIV, RF_CNT, units="Hz"),
        _row(
            230,
            "SCI",
            "SUMMED_TIC",
            "total ion count of a summed packet",
            SUMMED,
            0,
            2,
            units="counts",
        ),
        _row(
            235,
            "LASER",
            "HK_MAIF_STATUS",
            "MAIF status, timed by the pulse period",
            LASER_PULSES,
            LASER_HK,
            2,
            0xFFFF,
        ),
        _row(236, "SEB", "FIL_R", "filament resistance", SEB_ANALOG, FIL_V, FIL_I, units="kOhm"),
        _row(
            241,
            "SEB",
            "RF_PRESSURE_NORM",
            "RF pressure normalised to 20 degC",
            SEB_ANALOG,
            RF_PRESSURE,
            RF_TEMP,
            units="mbar",
        ),
    ]
    for t, (at, _) in RSIM_POWER.items():
        bus = t - 226
        rows.append(
            _row(
                t,
                "RSIM",
                f"BUS{bus}_POWER",
                f"RSIM bus {bus} power",
                RSIM,
                at,
                4,
                0xFFFFFFFF,
                units="W",
            )
        )
    for k in range(4):
        rows.append(
            _row(
                247 + k,
                "ROVER",
                f"BUS{k + 1}_POWER",
                f"rover bus {k + 1} power",
                ROVER_HK,
                ROVER_V + k,
                ROVER_I + k,
                units="W",
            )
        )
        rows.append(
            Item(
                ROVER_V + k,
                "ROVER",
                f"V_BUS{k + 1}",
                f"rover bus {k + 1} voltage",
                ROVER_HK,
                HEADER + 4 + 2 * k,
                mask=0xFFFF,
                sci=(1, *SCI_K[ROVER_V + k]),
                units="V",
            )
        )
        rows.append(
            Item(
                ROVER_I + k,
                "ROVER",
                f"I_BUS{k + 1}",
                f"rover bus {k + 1} current",
                ROVER_HK,
                HEADER + 12 + 2 * k,
                mask=0xFFFF,
                sci=(1, *SCI_K[ROVER_I + k]),
                units="A",
            )
        )
    a = HEADER
    rows += [
        Item(RF_DIV, "SEB", "RF_DIV", "RF frequency divider", SEB_ANALOG, a + 4, mask=0xFFFF),
        Item(RF_CNT, "SEB", "RF_CNT", "RF frequency counts", SEB_ANALOG, a + 6, mask=0xFFFF),
        Item(
            FIL_V,
            "SEB",
            "FIL_V",
            "filament voltage",
            SEB_ANALOG,
            a + 8,
            mask=0xFFFF,
            array_length=4,
            sample_period=0.25,
            sci=(1, *SCI_K[FIL_V]),
            units="V",
        ),
        Item(
            FIL_I,
            "SEB",
            "FIL_I",
            "filament current",
            SEB_ANALOG,
            a + 16,
            mask=0xFFFF,
            sci=(1, *SCI_K[FIL_I]),
            units="mA",
        ),
        Item(
            RF_PRESSURE,
            "SEB",
            "RF_PRESSURE",
            "RF pressure",
            SEB_ANALOG,
            a + 18,
            mask=0xFFFF,
            sci=(1, *SCI_K[RF_PRESSURE]),
            units="mbar",
        ),
        Item(
            RF_TEMP,
            "SEB",
            "RF_TEMP",
            "RF temperature",
            SEB_ANALOG,
            a + 20,
            mask=0xFFFF,
            array_length=3,
            sample_period=0.5,
            sci=(1, *SCI_K[RF_TEMP]),
            units="degC",
        ),
    ]
    return rows


# Science coefficients (K1 + K2 * raw) of the plain items the computing decoders combine.
SCI_K = {
    **{ROVER_V + k: (0.0, 0.001) for k in range(4)},
    **{ROVER_I + k: (-0.1, 0.0005) for k in range(4)},
    FIL_V: (0.0, 0.001),
    FIL_I: (0.0, 0.01),
    RF_PRESSURE: (0.0, 0.001),
    RF_TEMP: (-50.0, 0.01),
}


def _sci(data_id: int, raw: int) -> float:
    k1, k2 = SCI_K[data_id]
    return k1 + k2 * raw


# --- the decoders' model ------------------------------------------------------------------------


def _be(d: bytes, at: int, n: int = 2) -> int:
    return int.from_bytes(d[at : at + n], "big")


def _le(d: bytes, at: int, n: int = 2) -> int:
    return int.from_bytes(d[at : at + n], "little")


Values = tuple[list[float], list[float]]  # values, seconds after the packet


def gc(d: bytes) -> Values:
    vals, offs = [], []
    for k in range(20):
        at = GC_OFFSET + 60 * k
        if at + 3 > len(d):
            break
        if d[at] == GC_CHANNEL:
            v = ((_be(d, at + 1) & GC_MASK) >> GC_SHIFT) & 0xFFFF
            vals.append(float(v | (GC_CHANNEL << 16)))  # the offset is 44: channel kept
            offs.append(-1.0 + 0.05 * k)
    return vals, offs


def maif_base(d: bytes) -> tuple[int, float]:
    """First sample offset and base time of a MAIF packet."""
    if len(d) >= 469 and _be(d, MAIF_STATUS) & 0xFC00 > 0x2B00:
        return 5, -_le(d, 3) / 32000.0
    return 3, -1.0


def maif_sample(d: bytes) -> Values:
    off = MAIF_SAMPLE
    if off + 2 > len(d):
        return [], []
    s, base = maif_base(d)
    t = base + (off - s) * 0.5 * 0.0025 if s <= off < s + 458 else 0.0
    return [float(_le(d, off))], [t]


def _block(d: bytes, offsets: list[int], t0: float) -> Values:
    vals, offs = [], []
    for k, off in enumerate(offsets):
        if off + 2 > len(d):
            break
        vals.append(float(_le(d, off)))
        offs.append(t0 + 0.01 * k)
    return vals, offs


def _offsets(o: int, steps: list[int]) -> list[int]:
    out = [o]
    for step in steps:
        out.append(out[-1] + step)
    return out


def maif_pressure(d: bytes) -> Values:
    s, base = maif_base(d)
    offsets = _offsets(MAIF_PRESSURE, [8] * 14 + [4] * 85)
    return _block(d, offsets, base + (MAIF_PRESSURE - s) * 0.5 * 0.0025)


def maif_current(d: bytes) -> Values:
    _, base = maif_base(d)
    return _block(d, _offsets(MAIF_CURRENT, [8] * 14 + [6] + [4] * 84), base)


def maif_1min(d: bytes) -> Values:
    t0 = -(_le(d, 4) / 1000 + 60.0)  # the row's offset is 6
    return _block(d, [MAIF_1MIN_OFFSET + 2 * k for k in range(6000)], t0)


def _pirani_records(d: bytes) -> list[tuple[int, int]]:
    """(value, time step) of the records that lie inside the packet."""
    n = min(_be(d, 0), (len(d) - 4) // 12)
    out = []
    for i in range(n):
        if PIRANI_VALUE + 12 * i + 2 > len(d):
            break
        out.append((_be(d, PIRANI_VALUE + 12 * i), _be(d, 4 + 12 * i)))
    return out


def pirani(d: bytes) -> Values:
    vals, offs, total = [], [], 0
    for v, step in _pirani_records(d):
        total += step
        vals.append(float(v))
        offs.append(total * 0.0001)
    return vals, offs


def pirani_avg(d: bytes) -> Values | None:
    records = _pirani_records(d)
    if not records:
        return None  # the mean of no records is left open
    total = sum(step for _, step in records)
    return [float(int(sum(v for v, _ in records) / len(records)))], [total * 0.0001 * 0.5]


def _pirani_extreme(d: bytes, better: Callable[[int, int], bool]) -> Values:
    records = _pirani_records(d)
    if not records:
        return [0.0], [0.0]
    best = 0
    for i, (v, _) in enumerate(records):
        if better(v, records[best][0]):
            best = i
    offset = sum(step for _, step in records[: best + 1]) * 0.0001 if best else 0.0
    return [float(records[best][0])], [offset]


def pirani_hi(d: bytes) -> Values:
    return _pirani_extreme(d, lambda a, b: a > b)


def pirani_lo(d: bytes) -> Values:
    return _pirani_extreme(d, lambda a, b: a < b)


def pirani_algorithm(d: bytes) -> Values:
    o = PIRANI_RAW_OFFSET
    if o + 2 > len(d):
        return [], []
    v0 = _le(d, PIRANI_REFERENCE) * 7.629e-05 / 8.071 + 0.95
    r0 = 7500.0 * v0 / (2.7001 - v0)
    t0 = (math.sqrt(14.2103365156 - 4 * 0.05841 * (1376.35 - r0)) - 3.76966) / 0.11682
    k = 0.004616294391145 * t0**-0.5
    vals, offs, at = [], [], o
    for i in range(100):
        if at + 2 > len(d):
            break
        v = _le(d, at) * 7.629e-05 / 8.041 + v0
        r = 7500.0 * v / (2.7001 - v)
        t = (math.sqrt(20.4758965009 - 4 * 0.05785 * (1364.47 - r)) - 4.52503) / 0.1157
        dt = t - t0
        loss = 7.46e-07 * dt + 4.52350332e-15 * (t**4 - t0**4)
        vals.append(1000.0 * (v * v / r - loss) / (k * dt))
        offs.append(0.01 * i)
        at += 8 if i < 14 else 4
    return vals, offs


def _rsim_samples(d: bytes) -> list[int]:
    out = []
    for i in range(1000):
        at = RSIM_SAMPLES + 2 * i
        if at + 2 > len(d):
            break
        out.append(_be(d, at) & 0x0FFF)
    return out


def rsim(d: bytes) -> Values:
    s = _rsim_samples(d)
    return [float(v) for v in s], [-1.0 + i * 0.001 for i in range(len(s))]


def rsim_pick(d: bytes, pick) -> Values:
    s = _rsim_samples(d)
    i = s.index(pick(s))
    return [float(s[i])], [-1.0 + i * 0.001]


def rsim_avg(d: bytes) -> Values | None:
    s = _rsim_samples(d)
    if len(s) < 1000:
        return None  # whether a cut block's mean counts 1000 samples or those read is open
    return [sum(s) / len(s)], [-0.5]


def rsim_power(d: bytes, decode_type: int) -> Values:
    at, gap = RSIM_POWER[decode_type]
    if at + gap + 4 > len(d):
        return [], []  # the decoder reports failure
    (a,) = struct.unpack_from(">f", d, at)
    (b,) = struct.unpack_from(">f", d, at + gap)
    return [a * b], [-0.5]


def rover_power(d: bytes, bus: int) -> Values:
    v = _sci(ROVER_V + bus, _be(d, 4 + 2 * bus))
    i = _sci(ROVER_I + bus, _be(d, 12 + 2 * bus))
    return [v * i], [0.0]


# Energy calibrations by decoder type: {(G, R): (gain, offset)}; other pairs give x itself.
ENERGY_CAL = {
    217: {(0, 1): (80.71406, -12.0076), (1, 1): (29.82948, -2.65053), (1, 0): (19.81893, -0.87182)},
    218: {(0, 1): (0.0836, 0.0), (1, 1): (0.0323, 0.0), (1, 0): (0.0215, 0.0)},
    219: {(0, 0): (0.05045, -0.79244), (1, 0): (0.01966, 0.26179), (3, 0): (0.00701, 0.43667)},
    242: {(0, 0): (0.05619, -0.08587), (1, 0): (0.02205, 0.462), (3, 0): (0.008, 0.45496)},
}


def _laser_samples(d: bytes, field: int, size: int, ticks: int) -> list[tuple[int, float]]:
    """(raw field, seconds after the packet) of each sample inside the packet."""
    out = []
    for i in range(_be(d, 0)):
        at = field + 16 * i
        if at + size > len(d):
            break
        out.append((_be(d, at, size), (_be(d, 4 + 16 * i, 4) - ticks) / 10000.0))
    return out


def energies(d: bytes, decode_type: int, ticks: int) -> Values:
    vals, offs = [], []
    for w, t in _laser_samples(d, ENERGY, 2, ticks):
        x = w & ENERGY_MASK
        if decode_type == 217:
            x = x / 1000
        gain, offset = ENERGY_CAL[decode_type].get(((w >> 12) & 3, (w >> 14) & 3), (1.0, 0.0))
        vals.append(gain * x + offset)
        offs.append(t)
    return vals, offs


def energy_stat(d: bytes, decode_type: int, stat: int, ticks: int) -> Values:
    e, t = energies(d, decode_type, ticks)
    if not e:
        return [], []
    mean = sum(e) / len(e)
    if stat == 0:
        return [mean], [t[0]]
    if stat == 3:
        return [math.sqrt(sum((x - mean) ** 2 for x in e) / len(e))], [t[0]]
    best = 0
    for i, x in enumerate(e):
        if (x < e[best]) if stat == 1 else (x > e[best]):
            best = i
    return [e[best]], [t[best]]


def pulse_times(d: bytes, ticks: int) -> Values:
    s = _laser_samples(d, PULSE_TIME, 4, ticks)
    return [float(v) for v, _ in s], [(v - ticks) / 10000.0 for v, _ in s]


def pulse_regs(d: bytes, ticks: int) -> Values:
    s = _laser_samples(d, PULSE_REGS, 2, ticks)
    return [float(v) for v, _ in s], [t for _, t in s]


def laser_hk(d: bytes) -> Values:
    p = int(int(_be(d, 31)) / 1000)  # item 1094, the pulse period in us, at data byte 31
    return [float(_be(d, LASER_HK))], [LASER_HK * 0.5 * p]


def seb_adc(d: bytes) -> Values:
    spacing = d[ADC_SPACING] / 1000.0
    vals, offs = [], []
    for i in range(31):
        if d[6 + 3 * i] == ADC_CHANNEL:
            vals.append(float(_be(d, 7 + 3 * i)))
            offs.append((i - 31) * spacing)
    return vals, offs


def rf_freq(d: bytes) -> Values:
    a, b = _be(d, 4), _be(d, 6)
    return ([5000.0 * b / a], [0.0]) if a else ([], [])


def filament_resistance(d: bytes) -> Values:
    # Four voltages, one current: each voltage over the one current, timed like the voltage.
    i = _sci(FIL_I, _be(d, 16))
    if i == 0.0:
        return [], []
    volts = [_sci(FIL_V, _be(d, 8 + 2 * k)) for k in range(4)]
    return [v / i for v in volts], [0.25 * k for k in range(4)]


def normalized_pressure(d: bytes) -> Values:
    # One pressure, three temperatures: the pressure against each, timed like the temperature.
    p = _sci(RF_PRESSURE, _be(d, 18))
    temps = [_sci(RF_TEMP, _be(d, 20 + 2 * k)) for k in range(3)]
    return [p * 293.0 / (t + 273.15) for t in temps], [0.5 * k for k in range(3)]


def summed_tic(counts: list[int]) -> Values:
    return [float(sum(counts))], [0.0]


def segment_starts(d: bytes) -> list[float]:
    return [float(_be(d, 4 + 8 * i)) for i in range(_be(d, 2))]


# --- the packets --------------------------------------------------------------------------------


@dataclass
class CustomPacket:
    """A packet for the custom decoders: its TOM type, data field and, once its ticks are
    known, the expected items of each row that reads it."""

    packet_type: int
    data: bytes
    expect: Callable[[bytes, int], list[dict]]


def entry(decode_type: int, result: Values | None, hkid: int | None = None) -> dict | None:
    if result is None:
        return None
    values, offsets = result
    return {
        "hkid": hkid or ROW_BASE + decode_type,
        "decode_type": decode_type,
        "values": values,
        "offsets": offsets,
    }


def _gc_packet(rng: random.Random, length: int) -> CustomPacket:
    d = bytearray(length)
    d[0], d[1] = 0, 20
    for k in range(20):
        # Records of the detector (from 44) and of the flame ionisation detector (from 4).
        for base, channels in ((GC_OFFSET, (1, 2, 3)), (4, (7, 8))):
            at = base + 60 * k
            if at + 3 <= length:
                d[at] = channels[k % len(channels)]
                d[at + 1 : at + 3] = (0xA000 | rng.randrange(0x1000)).to_bytes(2, "big")
    return CustomPacket(GC_SAMPLES, bytes(d), lambda d, t: [entry(204, gc(d))])


def _maif_packet(rng: random.Random, length: int, status: int, stamp: int) -> CustomPacket:
    d = bytearray(rng.randrange(256) for _ in range(length))
    d[0] = 1
    d[3:5] = stamp.to_bytes(2, "little")
    d[MAIF_STATUS : MAIF_STATUS + 2] = status.to_bytes(2, "big")

    def expect(d, _):
        return [
            entry(207, maif_sample(d)),
            entry(208, maif_pressure(d)),
            entry(209, maif_current(d)),
        ]

    return CustomPacket(MAIF, bytes(d), expect)


def _maif_1min_packet(rng: random.Random) -> CustomPacket:
    d = bytearray(12006)
    d[4:6] = (2500).to_bytes(2, "little")  # the record ended 2.5 s before the packet
    for k in range(6000):
        at = MAIF_1MIN_OFFSET + 2 * k
        d[at : at + 2] = (20000 + 3 * k + rng.randrange(50)).to_bytes(2, "little")
    return CustomPacket(MAIF_1MIN, bytes(d), lambda d, t: [entry(210, maif_1min(d))])


def _pirani_packet(values: list[int], steps: list[int], count: int) -> CustomPacket:
    d = bytearray(4 + 12 * len(values))
    d[0:2] = count.to_bytes(2, "big")
    for i, (v, step) in enumerate(zip(values, steps)):
        d[4 + 12 * i : 6 + 12 * i] = step.to_bytes(2, "big")
        d[6 + 12 * i : 8 + 12 * i] = v.to_bytes(2, "big")
        d[8 + 12 * i : 16 + 12 * i] = bytes([0xEE] * 8)  # the sensor's temperatures
    return CustomPacket(
        PIRANI,
        bytes(d),
        lambda d, t: [
            entry(220, pirani(d)),
            entry(221, pirani_avg(d)),
            entry(222, pirani_hi(d)),
            entry(223, pirani_lo(d)),
        ],
    )


def _pirani_raw_packet(rng: random.Random) -> CustomPacket:
    d = bytearray(300)
    d[PIRANI_REFERENCE : PIRANI_REFERENCE + 2] = (21000).to_bytes(2, "little")
    at = PIRANI_RAW_OFFSET
    for i in range(100):
        if at + 2 > len(d):
            break
        d[at : at + 2] = (8000 + 600 * i + rng.randrange(50)).to_bytes(2, "little")
        at += 8 if i < 14 else 4
    return CustomPacket(PIRANI_RAW, bytes(d), lambda d, t: [entry(225, pirani_algorithm(d))])


def _rsim_packet(rng: random.Random, length: int) -> CustomPacket:
    """The bus block and the power readings after it; a shorter packet cuts the block and
    holds no power readings."""
    d = bytearray(length)
    samples = [1800 + rng.randrange(400) for _ in range(1000)]
    samples[137], samples[301], samples[802] = 3900, 120, 150  # extremes without ties
    for i, v in enumerate(samples):
        at = RSIM_SAMPLES + 2 * i
        if at + 2 <= length:
            # The top four bits carry the ADC's channel tag, which the mask removes.
            d[at : at + 2] = (0xB000 | v).to_bytes(2, "big")
    for t, (at, gap) in RSIM_POWER.items():
        if at + gap + 4 <= length:
            struct.pack_into(">f", d, at, 28.0 + (t - 227) * 0.75)
            struct.pack_into(">f", d, at + gap, 0.8125 + (t - 227) * 0.25)

    def expect(d, _):
        return [
            entry(211, rsim(d)),
            entry(212, rsim_pick(d, min)),
            entry(213, rsim_pick(d, max)),
            entry(214, rsim_avg(d)),
            *(entry(t, rsim_power(d, t)) for t in RSIM_POWER),
        ]

    return CustomPacket(RSIM, bytes(d), expect)


def _rover_packet(rng: random.Random) -> CustomPacket:
    d = bytearray(20)
    for k in range(4):
        d[4 + 2 * k : 6 + 2 * k] = (28000 + 500 * k + rng.randrange(100)).to_bytes(2, "big")
        d[12 + 2 * k : 14 + 2 * k] = (1200 + 900 * k).to_bytes(2, "big")
    return CustomPacket(
        ROVER_HK, bytes(d), lambda d, t: [entry(247 + k, rover_power(d, k)) for k in range(4)]
    )


# (G, R) of the samples of a full laser energy packet: every calibrated pair of both tables,
# an uncalibrated one, and a repeat that ties with the first sample's energy.
LASER_PAIRS = [(0, 1), (1, 1), (1, 0), (0, 0), (3, 0), (2, 2), (0, 1)]


def _laser_packet(
    rng: random.Random, count: int, samples: int, extra: int, ticks0: int
) -> CustomPacket:
    """Samples 0.1 s apart before the packet's tick ``ticks0``; ``extra`` bytes after the last
    whole sample, and a sample count that may claim more than the packet holds."""
    d = bytearray(4 + 16 * samples + extra)
    d[0:2] = count.to_bytes(2, "big")
    first = 100 + rng.randrange(50)
    for i in range(samples):
        g, r = LASER_PAIRS[i % len(LASER_PAIRS)]
        x = first if i in (0, 6) else 500 + rng.randrange(3000)
        base = 4 + 16 * i
        values = [
            (base, 4, ticks0 - 1000 * (samples - i)),  # sample time, 0.1 s apart
            (ENERGY + 16 * i, 2, (r << 14) | (g << 12) | x),
            (PULSE_REGS + 16 * i, 2, 0x5A00 | i),
            (PULSE_TIME + 16 * i, 4, ticks0 - 1000 * (samples - i) + 37),
        ]
        for at, n, v in values:
            if at + n <= len(d):
                d[at : at + n] = v.to_bytes(n, "big")

    def expect(d, ticks):
        out = [entry(215, pulse_times(d, ticks)), entry(216, pulse_regs(d, ticks))]
        for t in (217, 218, 219, 242):
            out.append(entry(t, energies(d, t, ticks)))
        for t, first_stat in ((218, 231), (219, 237), (242, 243)):
            out += [entry(first_stat + k, energy_stat(d, t, k, ticks)) for k in range(4)]
        return out

    return CustomPacket(LASER_ENERGY, bytes(d), expect)


def _seb_adc_packet(rng: random.Random) -> CustomPacket:
    d = bytearray(204)
    for i in range(31):
        d[6 + 3 * i] = (1, 5, 2, 5, 9, 3)[i % 6]
        d[7 + 3 * i : 9 + 3 * i] = rng.randrange(0x10000).to_bytes(2, "big")
    d[ADC_SPACING] = 25
    return CustomPacket(SEB_ADC, bytes(d), lambda d, t: [entry(224, seb_adc(d))])


def _seb_analog_packet(rng: random.Random, rf_div: int, fil_i: int) -> CustomPacket:
    d = bytearray(32)
    words = {4: rf_div, 6: 31000 + rng.randrange(1000), 16: fil_i, 18: 5200}
    for k in range(4):
        words[8 + 2 * k] = 2400 + 15 * k
    for k in range(3):
        words[20 + 2 * k] = 7000 + 250 * k
    for at, v in words.items():
        d[at : at + 2] = v.to_bytes(2, "big")
    return CustomPacket(
        SEB_ANALOG,
        bytes(d),
        lambda d, t: [
            entry(226, rf_freq(d)),
            entry(236, filament_resistance(d)),
            entry(241, normalized_pressure(d)),
        ],
    )


def schedule(rng: random.Random) -> dict[int, list[CustomPacket | Callable]]:
    """Packets by second of the test: after the last completed scan and before the unfinished
    one, where the packets only count towards a scan end that cannot come. Laser energy packets
    depend on their own ticks and are given as functions of them."""

    def laser(count, samples, extra):
        def make(ticks):
            return _laser_packet(rng, count, samples, extra, ticks)

        return make

    return {
        91: [_gc_packet(rng, 1200), _gc_packet(rng, 700)],  # the second is cut after record 10
        93: [
            _maif_packet(rng, 240, 0x2C01, 0),  # short: samples from 3, 1 s before the packet
            _maif_packet(rng, 470, 0x2C41, 17600),  # long, new FPGA: stamped base time
            _maif_packet(rng, 470, 0x2A05, 17600),  # long, old FPGA: 1 s before
        ],
        95: [_maif_1min_packet(rng)],
        97: [
            _pirani_packet([410, 520, 380, 520, 395, 380, 450, 430], [90, 110, 100, 95] * 2, 8),
            _pirani_packet([300, 200], [100, 100], 0),  # no records
            _pirani_packet([250, 260, 255, 270, 250], [80] * 5, 12),  # counts more than it has
        ],
        99: [_pirani_raw_packet(rng)],
        101: [_rsim_packet(rng, RSIM_LENGTH), _rsim_packet(rng, 1010)],  # the second: 500 samples
        103: [_rover_packet(rng)],
        105: [laser(7, 7, 0), laser(0, 2, 0), laser(7, 6, 5)],  # full, empty, cut short
        107: [_seb_adc_packet(rng)],
        109: [_seb_analog_packet(rng, 1250, 37), _seb_analog_packet(rng, 0, 0)],
    }
