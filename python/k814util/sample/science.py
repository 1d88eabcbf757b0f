"""The science stream of the sample TARN test: mass-spectrum scans in single (type 26), summed
(type 27) and aggregated (type 28) science packets, with the scan-status, SEB housekeeping,
laser, GC and SEB sequence packets that describe them.

Every scan is designed here first (its bins, counts, summed scans and status values), then laid
out on the test's time line so that the way the station's tools group packets into scans ends
each one by a chosen rule. The packets are built byte by byte from the designs, independently of
the C++ scan assembly, and :func:`expected_scans` walks the written packets with the grouping and
attachment rules to say which packets each scan gets; it checks on the way that every scan ends
where its design says, so a change of the time line that breaks a design fails loudly here.
"""

from __future__ import annotations

import math
import random
import struct
from dataclasses import dataclass, field

from k814util.sample import seb
from k814util.sample.tmdefs import TARN_DAC, Mission

GC_HK, LASER_PULSES, LASER_STATUS, SEB_HK, SEB_SEQUENCE = 14, 15, 16, 22, 23
SCAN_STATUS, SINGLE, SUMMED, AGGREGATED = 25, 26, 27, 28
RAW_SCIENCE = 10  # raw detector frames: neither science scans nor auxiliary packets

CLOSING_BYTE = 134  # data byte 3 of the single science packet that ends its scan
STATUS_LENGTH = 200
BINS_PER_SEGMENT = 100
KIND = {SINGLE: "single", SUMMED: "summed", AGGREGATED: "aggregated"}
SCAN_TYPE_FLAG = {SINGLE: 1, SUMMED: 2, AGGREGATED: 4}
MODES = ("Unknown", "EI", "Dark", "LDI")
EM_ON_VOLTS = -1900.0  # a multiplier below this is switched on

# Full count lists go into the manifest up to this many bins; larger scans get a digest.
FULL_COUNTS_MAX = 300


def dac_volts(row_id: int, raw: int) -> float:
    """A DAC value through the sample's DAC table row: masked, sign-extended, (raw - offset) /
    scale, 0 when the scale is 0."""
    _, _, _, bits, mask, signed, offset, scale = next(r for r in TARN_DAC if r[0] == row_id)
    v = raw & mask
    if signed and v & (1 << (bits - 1)):
        v -= 1 << bits
    return 0.0 if scale == 0 else (v - offset) / scale


# The special scan-type table ("scantypesinfo.json" beside the database): one entry converts its
# scan value through a database item, one is shown raw on purpose, one asks for a conversion but
# names no item. Special scan ids of the statuses, cycled by scan id, also hit a DAC row by its id
# (13, RF_AMP) and an id that nothing knows (250), which shows raw.
SCAN_TYPES = [
    {"name": "RF sweep", "key": 101, "hkid": 352, "rawlabel": " counts", "defaulttosci": True},
    {"name": "Hold", "key": 102, "hkid": 201, "rawlabel": " steps", "defaulttosci": False},
    {"name": "Tune", "key": 103, "hkid": 0, "rawlabel": "", "defaulttosci": True},
]
SPECIAL_SCANS = [(101, 1234), (102, 77), (103, 500), (13, 40000), (250, 321)]


def special_scan(scan_id: int) -> tuple[int, int]:
    """(special scan id, raw scan value) of a status with this scan id."""
    return SPECIAL_SCANS[scan_id % len(SPECIAL_SCANS)]


def scan_value(mission: Mission, special_id: int, raw: int) -> float:
    """A special scan's value as the laboratory shows it: through the table's item when the
    entry asks for it, else through the DAC row of that id, else raw."""
    entry = next((e for e in SCAN_TYPES if e["key"] == special_id), None)
    if entry is not None:
        if entry["defaulttosci"] and entry["hkid"] >= 1:
            return item_sci(mission, entry["hkid"], raw)
        return float(raw)
    if any(r[0] == special_id for r in TARN_DAC):
        return dac_volts(special_id, raw)
    return float(raw)


def dac_name(row_id: int) -> str:
    return next((r[2] for r in TARN_DAC if r[0] == row_id), "Unknown")


def item_sci(mission: Mission, data_id: int, raw: float) -> float:
    """Science value of a raw number through a database item, for the equation types the science
    items use: 0 (identity), 1 (polynomial in K1, K2), 2 (ADC volts, engineering only)."""
    it = mission.item(data_id)
    x = float(raw)
    if it.sci_from_eng:
        kind, k1, k2 = it.eng
        if kind == 2:
            x = -0.5 * k1 * k2 + k1 * k2 / 65536.0 * x
        elif kind != 0:
            raise ValueError(f"item {data_id}: engineering type {kind} not modelled")
    kind = it.sci[0]
    if kind == 0:
        return x
    if kind == 1:
        k = list(it.sci[1:]) + [0.0, 0.0]
        return k[0] + k[1] * x
    raise ValueError(f"item {data_id}: science type {kind} not modelled")


# --- designs ------------------------------------------------------------------------------------


@dataclass
class Status:
    """The raw values of one scan-status packet."""

    scan_id: int
    phase_cycle: int
    bin_time_us: float
    ion_time_ms: float
    bins: int
    rf_dac_end: int  # raw, through DAC row 13
    # Raw DAC settings 0 (EM_A, -2352.9 V) and 1 (EM_B, a signed byte: -92 is +2164.7 V).
    em_settings: tuple[int, int] = (200, 0xA4)
    em_readbacks: tuple[int, int] = (0, 0)  # raw DAC register readbacks 0 and 1
    src_a_focus: int = 172  # raw readback 6, through DAC row 6: -67.45 V

    @property
    def bin_time_raw(self) -> int:
        return round(self.bin_time_us * 10)

    @property
    def ion_time_raw(self) -> int:
        return round(self.ion_time_ms * 100)

    def timing_raw(self) -> dict[int, int]:
        """Raw values of the timing registers 237 to 245."""
        base = {237: 150, 238: 75, 240: 320, 241: 1200, 242: 440, 243: 260, 244: 90}
        return {**base, 239: self.ion_time_raw, 245: self.bin_time_raw}

    def readbacks(self) -> list[int]:
        return [*self.em_readbacks, 128, 131, 126, 40, self.src_a_focus, 118]

    def settings(self) -> list[int]:
        # Settings and register readbacks differ where a reader could confuse the two.
        return [*self.em_settings, 128, 130, 126, 40, self.src_a_focus + 6, 112]

    def data(self, layout) -> bytes:
        """The 200-byte data field: items where the database puts them, and the fixed DAC bytes
        (data bytes 20 to 63) that are read through DAC table rows."""
        timing = self.timing_raw()
        names = {
            237: "PRE_ION_DELAY",
            238: "ION_DELAY",
            239: "ION_TIME",
            240: "CC_DURATION",
            241: "COOL_TIME",
            242: "ISOLATION_TIME",
            243: "EXCITE_TIME",
            244: "POST_SCAN_DELAY",
            245: "BIN_TIME",
        }
        values = {
            "SCAN:SCAN_ID": self.scan_id,
            "SCAN:RF_AMP_MON_LAST": 9000 + 3 * self.bins,
            "SCAN:COUNTER_SEL": 2,
            "SCAN:BIN_COUNT_REG": self.bins,
            "SCAN:RF_STEP": 131,
            "SCAN:AUX_STEP": 27,
            "SCAN:SCAN_FLAGS": 0x81,
            "SCAN:SOURCE_FLAGS": 0x02,
            "SCAN:DETECTOR_FLAGS": 0x10,
            "SCAN:EM1_V": 3000 - round(-dac_volts(0, self.em_settings[0])),
            "SCAN:EM2_V": 3000 - round(-dac_volts(1, self.em_settings[1])),
            "SCAN:PHASE_CYCLE": self.phase_cycle,
            "SCAN:SPECIAL_SCAN_ID": special_scan(self.scan_id)[0],
            "SCAN:RAW_SCAN_VALUE": special_scan(self.scan_id)[1],
            "SCAN:SRC_A_FOCUS": 1530,
            "SCAN:SRC_B_FOCUS": 1490,
            "SCAN:BIN_COUNT_SET": self.bins,
            "SCAN:RF_FREQ_SET": 10_250_000,
            "SCAN:RF_PHASE": 16384,
            "SCAN:RF_FREQ": 10_249_870,
        }
        values.update({f"SCAN:{names[k]}": v for k, v in timing.items()})
        buf = bytearray(layout.data(SCAN_STATUS, STATUS_LENGTH, values, 8))
        buf[20:28] = bytes(self.readbacks())
        for i, v in enumerate((0xF00, 0x0C0, 0x100, 0x7FF, 0x080)):
            # The first group keeps other flags in the high nibble of its first byte.
            buf[28 + 2 * i] = 0xA0 | (v >> 8)
            buf[29 + 2 * i] = v & 0xFF
        buf[38:42] = struct.pack(">HH", 1300, 2600)
        buf[42:50] = bytes(self.settings())
        for i, v in enumerate((0xF10, 0x0C8, 0x104, 0x7F0, 0x088)):
            buf[50 + 2 * i : 52 + 2 * i] = struct.pack(">H", v)
        buf[60:64] = struct.pack(">HH", self.rf_dac_end, 3100)
        return bytes(buf)

    def manifest(self, mission: Mission) -> dict:
        return {
            "scan_id": self.scan_id,
            "phase_cycle": self.phase_cycle,
            "bin_time_us": item_sci(mission, 245, self.bin_time_raw),
            "ion_time_ms": item_sci(mission, 239, self.ion_time_raw),
            "bin_count": self.bins,
            "em_a_setting_v": dac_volts(0, self.em_settings[0]),
            "em_b_setting_v": dac_volts(1, self.em_settings[1]),
            "src_a_focus_a_readback_v": dac_volts(6, self.src_a_focus),
            "src_a_focus_a_setting_v": dac_volts(6, self.src_a_focus + 6),
            "src_b_focus_a_readback_v": dac_volts(7, 118),
            "src_b_focus_a_setting_v": dac_volts(7, 112),
            "rf_dac_end": dac_volts(13, self.rf_dac_end),
            "aux_dac_end": dac_volts(15, 3100),
            "em_raw": list(self.em_settings),
            # Readbacks the scan objects publish, through their database items as the
            # laboratory's database defines them (values as data() writes them).
            "counter_sel": 2,
            "bin_count_reg": self.bins,
            "last_rf_amp_mon": item_sci(mission, 202, (9000 + 3 * self.bins) & 0xFFFF),  # 16 bits
            "rf_step_reg": item_sci(mission, 205, 131),
            "aux_step_reg": item_sci(mission, 206, 27),
            "aux_step_set": item_sci(mission, 254, 1530),
            "rf_step_set": item_sci(mission, 255, 1490),
            "rf_freq_hz": item_sci(mission, 356, 10_249_870),
            "charge_control": item_sci(mission, 240, self.timing_raw()[240]),
            "special_scan_id": special_scan(self.scan_id)[0],
            "raw_scan_value": special_scan(self.scan_id)[1],
            "scan_value": scan_value(mission, *special_scan(self.scan_id)),
        }


# --- the corrected total ion count ---------------------------------------------------------------

# The laboratory's constants, which the scan objects pass to the correction: a, b, c (V), d (1/V).
CTIC_A, CTIC_B, CTIC_C, CTIC_D = 100.0, 100.0, -68.0, -0.0992


def _ctic_divisor(mission: Mission, st: Status) -> float:
    """t_ion * V_EM2 * E of one scan status (0 when any of them is)."""
    t_ion = item_sci(mission, 239, st.ion_time_raw)
    v_em2 = dac_volts(1, st.em_settings[1])
    e = math.exp((dac_volts(6, st.src_a_focus) - CTIC_C) * CTIC_D)
    return 0.0 if t_ion == 0 or v_em2 == 0 or e == 0 else t_ion * v_em2 * e


def corrected_tic(
    mission: Mission,
    tic: list[int],
    c_factors: list[float],
    statuses: list[Status],
    version: int,
    summed: int,
    count_sum: float,
) -> tuple[float, float]:
    """The corrected total ion count of a scan and the factor that turns its counts into
    corrected counts, as ``corrected_total_ion_count()`` and
    ``corrected_total_ion_count_factor()`` of a scan object give them (summed counts not
    averaged).

    With TIC_i the total ion count of summed scan i and, from its scan status, t_ion,i the
    ionisation time in milliseconds (item 239), V_EM2,i the setting of electron multiplier 2 in
    volts (DAC setting 1) and V_focus,i the source A focus A readback in volts (DAC readback 6)::

        corrected TIC = 100 * 100 * sum_i TIC_i / (t_ion,i * V_EM2,i * E_i)
        E_i = exp((V_focus,i + 68) * -0.0992)

    in counts per millisecond-volt times 10^4 (E_i is 1 at a focus of -68 V). A
    summed packet of version 2 carries a correction factor c_i per summed scan instead:
    sum_i c_i * TIC_i, in counts. The factor is the same sum with each TIC_i replaced by
    TIC_i / T, T the scan's total count. Both are 0 for a scan without scan status, without one
    total ion count per status (per summed scan, for the factor), or with a zero ionisation time,
    multiplier setting or exponential."""
    if not statuses:
        return 0.0, 0.0
    total = float(count_sum)
    if version == 2:
        if len(c_factors) != len(tic):
            return 0.0, 0.0
        value = sum(c * t for c, t in zip(c_factors, tic))
        factor = sum(t / total * c for t, c in zip(tic, c_factors)) if tic and total else 0.0
        return value, factor
    divisors = [_ctic_divisor(mission, st) for st in statuses]
    if not tic or len(tic) != len(statuses) or 0.0 in divisors:
        return 0.0, 0.0
    value = CTIC_A * CTIC_B * sum(t / d for t, d in zip(tic, divisors))
    factor = 0.0
    if total and summed == len(tic):
        factor = sum(CTIC_A * CTIC_B / d * (t / total) for t, d in zip(tic, divisors))
    return value, factor


@dataclass
class Plan:
    """One scan as designed: its packet kind, segments, counts and what should end it."""

    number: int
    packet_type: int
    segments: list[tuple[int, int]]  # (start bin, bins)
    counts: list[int]  # as written: 8-bit, or 16-bit sums for summed packets
    ends_by: str
    version: int = 0
    summed: int = 1
    byte1_flags: int = 0  # bits 6-7 of data byte 1 of an aggregated packet (not a version)
    scan_tics: list[int] = field(default_factory=list)
    mbc_sics: list[int] = field(default_factory=list)
    c_factors: list[float] = field(default_factory=list)
    indexes: list[int] = field(default_factory=list)  # filled as the packets are written
    # The Gaussian peaks planted: (index in counts, height, standard deviation in bins); a
    # summed scan's are those of every spectrum summed.
    peaks: list[tuple[int, int, float]] = field(default_factory=list)
    # Designed as a dark-count scan: the detector's dark counts and nothing else.
    dark: bool = False

    @property
    def bins(self) -> int:
        return sum(n for _, n in self.segments)


def rf_raw(start_bin: int) -> tuple[int, int, int]:
    """Raw RF amplitude, RF amplitude DAC and auxiliary DAC at a segment's first bin: the RF
    ramps with the bin number."""
    return 33000 + start_bin // 2, 260 + start_bin // 4, 500 + start_bin // 8


#: Mean counts a bin of the detector's dark counts in one spectrum: every bin of every spectrum
#: draws 0, 1 or 2 of them, equally likely.
DARK_COUNTS_MEAN = 1.0


def dark_counts(rng: random.Random, bins: int) -> list[int]:
    """The detector's dark counts of one spectrum: 0 to 2 a bin (mean ``DARK_COUNTS_MEAN``)."""
    return [rng.randrange(0, 3) for _ in range(bins)]


def spectrum(
    rng: random.Random, bins: int, peak: int, top: int, planted: list | None = None
) -> list[int]:
    """Counts of a spectrum: the dark counts (0 to 2 a bin) and a few Gaussian peaks, clipped
    at top. Each peak's (index in the counts, height, standard deviation in bins) is appended
    to planted."""
    counts = dark_counts(rng, bins)
    for _ in range(max(2, bins // 400)):
        centre = rng.randrange(bins)
        width = rng.uniform(1.5, 6.0)
        height = rng.randrange(peak // 3, peak)
        if planted is not None:
            planted.append((centre, height, width))
        for b in range(max(0, centre - int(4 * width)), min(bins, centre + int(4 * width) + 1)):
            counts[b] += int(height * math.exp(-0.5 * ((b - centre) / width) ** 2))
    return [min(c, top) for c in counts]


def split_segments(first_bin: int, bins: int) -> list[tuple[int, int]]:
    """Contiguous segments of 100 bins; the last holds the rest."""
    out = []
    at = 0
    while at < bins:
        n = min(BINS_PER_SEGMENT, bins - at)
        out.append((first_bin + at, n))
        at += n
    return out


def single_data(start_bin: int, counts: list[int], closing: bool) -> bytes:
    """Data field of a single science packet: length L = bins + 9 at bytes 4-5, 1-based first
    bin, the three RF values, a flag byte, then one byte per bin."""
    rf, dac, aux = rf_raw(start_bin)
    head = struct.pack(
        ">BBBBHHHHHB",
        0,
        0,
        0,
        CLOSING_BYTE if closing else 0,
        len(counts) + 9,
        start_bin + 1,
        rf,
        dac,
        aux,
        0x5A,
    )
    return head + bytes(counts)


def multi_data(plan: Plan) -> bytes:
    """Data field of a summed or aggregated packet: summed scans and version in byte 1, the
    segment count, one 8-byte descriptor per segment, the per-scan block, then the counts."""
    summed = plan.packet_type == SUMMED
    byte1 = ((plan.version if summed else plan.byte1_flags) << 6) | plan.summed
    out = [struct.pack(">BBH", 0, byte1, len(plan.segments))]
    for start, _ in plan.segments:
        out.append(struct.pack(">HHHH", start + 1, *rf_raw(start)))
    if summed and plan.version == 1:
        out.append(b"".join(struct.pack(">I", t) for t in plan.scan_tics))
    elif summed and plan.version >= 2:
        for tic, sic, cf in zip(plan.scan_tics, plan.mbc_sics, plan.c_factors):
            out.append(struct.pack(">IHf", tic, sic, cf))
        if plan.summed % 2:
            out.append(b"\x00\x00")  # keeps the counts on a 4-byte boundary
    out.append(struct.pack(f">{len(plan.counts)}H", *plan.counts) if summed else bytes(plan.counts))
    return b"".join(out)


@dataclass
class Event:
    """A packet of the science time line: when, what, and what the model needs to know."""

    t: float  # seconds after the test start
    packet_type: int
    data: bytes
    meta: dict


class Timeline:
    """Collects the science packets of the test in time order, from scan designs."""

    def __init__(self, mission: Mission, layout, rng: random.Random):
        self.mission = mission
        self.layout = layout
        self.rng = rng
        self.events: list[Event] = []
        self.plans: list[Plan] = []
        self.statuses: list[Status] = []

    def _add(self, t: float, packet_type: int, data: bytes, **meta) -> None:
        self.events.append(Event(round(t, 4), packet_type, data, meta))

    def _plan(self, packet_type: int, segments, counts, ends_by: str, **kw) -> Plan:
        plan = Plan(len(self.plans), packet_type, segments, counts, ends_by, **kw)
        self.plans.append(plan)
        return plan

    def single(
        self, t: float, first_bin: int, bins: int, bin_time_us: float, ends_by: str
    ) -> float:
        """A scan of single science packets, one per 100 bins, each sent when its bins are
        done; returns the time of the last packet. A scan that its own last packet ends carries
        the closing byte there."""
        segments = split_segments(first_bin, bins)
        planted: list = []
        counts = spectrum(self.rng, bins, 220, 255, planted)
        plan = self._plan(SINGLE, segments, counts, ends_by)
        plan.peaks = planted
        step = BINS_PER_SEGMENT * bin_time_us * 1e-6
        at = 0
        for k, (start, n) in enumerate(segments):
            closing = ends_by == "closing_byte" and k == len(segments) - 1
            data = single_data(start, counts[at : at + n], closing)
            self._add(t + k * step, SINGLE, data, plan=plan.number, start=start, closing=closing)
            at += n
        return t + (len(segments) - 1) * step

    def multi(
        self,
        t: float,
        packet_type: int,
        bins: int,
        summed: int,
        version: int = 0,
        byte1_flags: int = 0,
        dark: bool = False,
    ) -> Plan:
        """A summed or aggregated scan in one packet; its counts add up `summed` spectra. A
        dark scan (filaments off, RF ramp ending at most 100 V) counts only the detector's dark
        counts: no ions reach it, so no peaks."""
        segments = split_segments(0, bins)
        top = 255 // max(summed, 1) if packet_type == AGGREGATED else 12000
        planted: list = []
        if dark:
            subs = [dark_counts(self.rng, bins) for _ in range(max(summed, 1))]
        else:
            subs = [spectrum(self.rng, bins, top, top, planted) for _ in range(max(summed, 1))]
        counts = [sum(c) for c in zip(*subs)]
        plan = self._plan(
            packet_type,
            segments,
            counts,
            "built_at_once",
            version=version,
            summed=summed,
            byte1_flags=byte1_flags,
            dark=dark,
        )
        plan.peaks = planted
        if packet_type == SUMMED and version >= 1:
            plan.scan_tics = [sum(s) for s in subs]
        if packet_type == SUMMED and version >= 2:
            plan.mbc_sics = [400 + 37 * i for i in range(summed)]
            # Correction factors exact in single precision, so the manifest states them exactly.
            plan.c_factors = [(1.25, 0.75, 1.5, 0.875, 1.125)[i % 5] for i in range(summed)]
            if summed % 2 and bins != BINS_PER_SEGMENT * len(segments):
                raise ValueError("a padded summed packet must fill its segments")
        self._add(t, packet_type, multi_data(plan), plan=plan.number)
        return plan

    def status(self, t: float, status: Status) -> None:
        self.statuses.append(status)
        self._add(t, SCAN_STATUS, status.data(self.layout), status=len(self.statuses) - 1)

    def fillers(self, t: float, n: int) -> None:
        """Raw detector frames 1 ms apart: packets that count towards ending a scan."""
        for k in range(n):
            frame = b"\x03" + bytes(self.rng.randrange(256) for _ in range(23))
            self._add(t + 0.001 * k, RAW_SCIENCE, frame)

    def gc(self, t: float) -> None:
        records = b"".join(struct.pack(">BH", ch, 1000 + 17 * ch) for ch in range(1, 21))
        self._add(t, GC_HK, b"\x00\x01" + records + bytes(2))

    def laser_status(self, t: float, head_raw: int) -> None:
        self._add(
            t, LASER_STATUS, self.layout.data(LASER_STATUS, 8, {"LASER:HEAD_TEMP": head_raw}, 8)
        )

    def sequence(self, t: float, commands: list[bytes]) -> None:
        data = seb.sequence_packet_data(b"".join(commands), 0)
        self._add(t, SEB_SEQUENCE, data, seq_new=True, commands=commands)


# SEB sequences loaded during the scans: EM_A and EM_B switched on and off around ramps and
# pauses. The first has no scan-status request, so the second joins it; the third replaces both.
def sequence_x() -> list[bytes]:
    return [
        seb.set_dac(seb.SET_DAC_IMM, 0, 200),  # EM_A on
        seb.ramp(seb.RAMP, 13, 1000, 50000, 1000, 0x01),
        seb.set_dac(seb.SET_DAC_IMM, 0, 0),  # EM_A off
    ]


def sequence_y() -> list[bytes]:
    return [
        seb.set_dac(seb.SET_DAC_IMM, 1, 100),  # EM_B on (-2352.9 V)
        seb.pause(seb.PAUSE, 2),  # the ionisation time register (item 239)
        seb.ramp(seb.RAMP_IMM, 13, 50000, 1000, 250, 0x11),
        seb.set_dac(seb.SET_DAC, 0, 0, 5),  # EM_A to its readback in the scan status
        seb.pause(seb.PAUSE_IMM, 4),
        seb.send_scan_status(7, 1),
    ]


def sequence_z() -> list[bytes]:
    return [
        seb.set_dac(seb.SET_DAC, 1, 0, 5),  # EM_B to its readback
        seb.ramp(seb.RAMP, 13, 1000, 50000, 3000, 0x01),
        seb.set_dac(seb.SET_DAC_IMM, 0, 190),  # EM_A on
        seb.pause(seb.PAUSE_IMM, 2),
        seb.send_scan_status(8, 2),
    ]


def timeline(mission: Mission, layout) -> Timeline:
    """The scans of the sample test. Filaments are off from 41 s to 59 s (dark-count and laser
    scans) and on from 60 s (electron-impact scans); nothing is scheduled around the processor
    restart at 80 s."""
    tl = Timeline(mission, layout, random.Random(26_27_28))
    n = 0

    def st(bins: int, bin_time_us: float, end_v: float, **kw) -> Status:
        nonlocal n
        n += 1
        # Phase cycles of the run's mass calibration only. Ionisation time, EM_B setting (+2094
        # to +2259 V) and source focus (-65.9 to -69.0 V) vary from status to status, so every
        # summed scan's term of the corrected TIC differs.
        kw = {"em_settings": (200, 0xA0 + n % 8), "src_a_focus": 168 + n % 9, **kw}
        return Status(
            n, (0, 3, 5)[n % 3], bin_time_us, 12.5 + n % 4, bins, round(end_v * 13.1072), **kw
        )

    tl.laser_status(41.05, 30120)
    # The first scan of the test, 20,000 bins: after 51 raw frames it counts as complete, so the
    # next scan, although it starts at a higher bin, is a scan of its own. Its status comes 1.1 s
    # after its first packet.
    last = tl.single(41.1, 0, 20000, 50.0, "counter_first_scan")
    tl.fillers(last + 0.005, 51)
    tl.status(42.2, st(20000, 50.0, 180.0))
    # Closed by its last packet; the status arrives 1.5 s after the scan began.
    tl.single(42.3, 20000, 1000, 100.0, "closing_byte")
    tl.status(43.8, st(1000, 100.0, 150.0))
    tl.gc(44.0)
    # As many bins as the scan before: 21 raw frames end it, and the next scan, which goes on
    # from bin 1000, starts anew.
    last = tl.single(44.5, 0, 1000, 100.0, "counter_same_bins")
    tl.fillers(last + 0.005, 21)
    tl.status(44.7, st(1000, 100.0, 150.0))
    tl.single(45.0, 1000, 2000, 100.0, "lower_first_bin")
    tl.single(45.5, 0, 1050, 100.0, "closing_byte")  # its first packet ends the one before
    tl.status(45.515, st(2000, 100.0, 160.0))
    tl.status(45.62, st(1050, 100.0, 150.0))
    # Aggregated, two summed scans; the statuses before it are pending all along, the last two
    # are its own. Bits 6-7 of byte 1 are set, which means nothing in an aggregated packet.
    tl.status(48.5, st(250, 100.0, 120.0))
    tl.status(48.8, st(250, 100.0, 120.0))
    tl.multi(49.0, AGGREGATED, 250, 2, byte1_flags=2)
    # Summed packets of every version, dark (RF DAC end at most 100 V) and not.
    tl.status(50.3, st(80, 100.0, 90.0))
    tl.multi(50.5, SUMMED, 80, 1, version=0, dark=True)
    # EM_B at -2352.9 V in these statuses (the positive half of its signed byte): no corrected
    # TIC to spoil, as a summed packet of version 0 has no total ion count per summed scan.
    for k in range(3):
        tl.status(51.0 + 0.2 * k, st(150, 100.0, 140.0, em_settings=(200, 100)))
    tl.multi(51.5, SUMMED, 150, 3, version=0)
    tl.status(52.0, st(100, 100.0, 90.0))  # stale: 1.2 s before the packet
    tl.multi(53.2, SUMMED, 100, 2, version=1, dark=True)
    # Enough packets after it that the next statuses are not taken for late ones of its own.
    tl.fillers(53.25, 15)
    tl.status(54.6, st(300, 80.0, 95.0))
    tl.status(54.8, st(300, 80.0, 95.0))
    tl.multi(55.0, SUMMED, 300, 3, version=2, dark=True)
    tl.status(55.05, st(300, 80.0, 95.0))  # late, the next packet after the summed one
    tl.status(56.6, st(170, 100.0, 130.0))
    tl.status(56.8, st(170, 100.0, 130.0))
    tl.multi(57.0, SUMMED, 170, 2, version=3)
    for k in range(4):
        tl.status(57.5 + 0.1 * k, st(100, 100.0, 125.0))
    tl.multi(58.0, SUMMED, 100, 5, version=3)
    tl.fillers(58.05, 16)
    tl.status(58.2, st(100, 100.0, 125.0))  # too many packets after its summed packet

    # Filaments on. Two sequences, then scans with electron multipliers switched by them.
    tl.sequence(60.5, sequence_x())
    tl.sequence(60.6, sequence_y())
    rb = {"em_readbacks": (230, 110)}  # EM_A -2705.9 V, EM_B -2588.2 V: both on
    tl.single(61.0, 0, 1000, 100.0, "closing_byte")
    tl.status(61.2, st(1000, 100.0, 150.0, **rb))
    tl.status(61.8, st(200, 100.0, 150.0, **rb))
    tl.multi(62.0, AGGREGATED, 200, 1)
    for k in range(3):
        tl.status(62.6 + 0.15 * k, st(250, 100.0, 150.0, **rb))
    tl.multi(63.0, SUMMED, 250, 3, version=1)
    tl.sequence(64.5, sequence_z())
    tl.single(65.0, 0, 3000, 100.0, "lower_first_bin")
    last = tl.single(65.5, 0, 3000, 100.0, "counter_same_bins")
    tl.status(65.555, st(3000, 100.0, 150.0, **rb))
    tl.fillers(last + 0.005, 21)
    tl.status(65.9, st(3000, 100.0, 150.0, **rb))
    tl.status(67.6, st(130, 100.0, 150.0, **rb))
    tl.status(67.8, st(130, 100.0, 150.0, **rb))
    tl.multi(68.0, SUMMED, 130, 2, version=2)
    tl.status(70.8, st(200, 100.0, 150.0, **rb))
    tl.multi(71.0, SUMMED, 200, 1, version=3)
    tl.gc(72.0)
    for k in range(3):
        tl.status(72.1 + 0.1 * k, st(120, 100.0, 150.0, **rb))
    tl.multi(72.5, AGGREGATED, 120, 3)

    # After the restart: another laser status, a fast scan, and a scan still being collected
    # when the file ends.
    tl.laser_status(85.0, 29870)
    tl.single(86.0, 0, 5000, 20.0, "closing_byte")
    tl.status(86.3, st(5000, 20.0, 150.0, **rb))
    tl.single(118.5, 0, 500, 100.0, "unfinished")
    tl.events.sort(key=lambda e: e.t)
    return tl


# --- the grouping rules, applied to the written packets ----------------------------------------


@dataclass
class _Seq:
    indexes: list[int]
    commands: list[bytes]


@dataclass
class _Scan:
    packet_type: int = SINGLE
    summed: int = 1
    plan: int = -1
    segments: list[tuple[int, int, int, float]] = field(
        default_factory=list
    )  # start, n, ticks, rel
    indexes: list[int] = field(default_factory=list)
    statuses: list[int] = field(default_factory=list)
    seb_hk: int = -1
    laser_pulses: int = -1
    laser_status: int = -1
    gc_hk: int = -1
    sequences: list[_Seq] = field(default_factory=list)
    ended_by: str = ""

    @property
    def bins(self) -> int:
        return sum(s[1] for s in self.segments)


def _ticks(data: bytes) -> int:
    return struct.unpack_from(">I", data, 4)[0]


def _end_of_scan(counter: int, bins: int, completed: list[_Scan]) -> bool:
    if not completed:
        if bins == 0:
            return False
        return counter > 50 if bins > 19900 else counter > 100 and bins > 1900
    return counter > 20 and bins == completed[-1].bins


def expected_scans(
    mission: Mission, packets: list, t0_unix: float, plans: list[Plan], statuses: list[Status]
) -> dict:
    """The scans a reader of the whole file builds, with the default settings (all scan types,
    no averaging, first-packet timestamps), as the manifest's "science" section. ``packets`` are
    the intact packets in file order (their position is their index)."""
    rel = [p.unix - t0_unix for p in packets]
    for plan in plans:
        plan.indexes = [
            i for i, p in enumerate(packets) if (p.sci or {}).get("plan") == plan.number
        ]
    scans: list[_Scan] = []
    pending: list[int] = []  # status packet indexes
    pending_seqs: list[_Seq] = []
    latest = {GC_HK: -1, LASER_PULSES: -1, LASER_STATUS: -1, SEB_HK: -1}
    fate: dict[int, str] = {}
    current = _Scan()
    counter = 0

    def complete(scan: _Scan, reason: str) -> None:
        scan.ended_by = reason
        scan.seb_hk = latest[SEB_HK]
        scan.laser_pulses = latest[LASER_PULSES]
        latest[LASER_PULSES] = -1
        scan.laser_status = latest[LASER_STATUS]
        gc = latest[GC_HK]
        if gc != -1 and scan.segments and scan.segments[0][3] - rel[gc] < 2.0:
            scan.gc_hk = gc
        scan.sequences = list(pending_seqs)
        scans.append(scan)

    for i, p in enumerate(packets):
        t = p.kind
        meta = p.sci or {}
        if t in latest:
            latest[t] = i
        elif t == SEB_SEQUENCE:
            if (
                pending_seqs
                and meta["seq_new"]
                and any(c[3] == seb.SEND_SCAN_STATUS for c in pending_seqs[-1].commands)
            ):
                pending_seqs = []
            if meta["seq_new"]:
                pending_seqs.append(_Seq([i], list(meta["commands"])))
            elif pending_seqs:
                pending_seqs[-1].indexes.append(i)
                pending_seqs[-1].commands.extend(meta["commands"])
        elif t == SCAN_STATUS:
            counter = 0
            pending.append(i)
            if scans and len(scans[-1].statuses) != scans[-1].summed:
                last = scans[-1]
                first = last.segments[0][2] if last.segments else 0
                d = (first - _ticks(p.data)) * 1e-4
                if d <= 0:
                    if last.packet_type == SUMMED:
                        attach = i - last.indexes[0] <= 14
                    else:
                        attach = d >= -2.0
                    if attach:
                        last.statuses.append(i)
                        fate[i] = "late"
        elif t == SINGLE:
            counter = 0
            seg = (meta["start"], len(p.data) - 15, _ticks(p.data), rel[i])
            if current.segments and seg[0] < current.segments[-1][0]:
                complete(current, "lower_first_bin")
                current = _Scan()
                accepted = False
            else:
                accepted = True
            if current.plan not in (-1, meta["plan"]):
                raise AssertionError(f"packet {i} joins a scan of another design")
            current.plan = meta["plan"]
            current.segments.append(seg)
            current.indexes.append(i)
            if accepted and meta["closing"]:
                complete(current, "closing_byte")
                current = _Scan()
        elif t in (SUMMED, AGGREGATED):
            counter = 0
            plan = plans[meta["plan"]]
            if pending and (_ticks(p.data) - _ticks(packets[pending[-1]].data)) * 1e-4 > 1.0:
                for k in pending:
                    fate.setdefault(k, "stale")
                pending = []
            scan = _Scan(t, plan.summed, plan.number)
            scan.segments = [(s, n, _ticks(p.data), rel[i]) for s, n in plan.segments]
            scan.indexes = [i]
            scan.statuses = pending[max(0, len(pending) - plan.summed) :] if plan.summed else []
            for k in pending:
                fate.setdefault(k, "used" if k in scan.statuses else "dropped")
            complete(scan, "built_at_once")
            pending = []
        else:
            counter += 1
            if _end_of_scan(counter, current.bins, scans):
                complete(current, "counter_first_scan" if not scans else "counter_same_bins")
                current = _Scan()
                counter = 0

    for k in pending:
        fate.setdefault(k, "pending")
    for scan in scans:
        plan = plans[scan.plan]
        if scan.ended_by != plan.ends_by or scan.indexes != plan.indexes:
            raise AssertionError(
                f"scan of design {plan.number} ended by {scan.ended_by} with packets "
                f"{scan.indexes[:3]}..., designed {plan.ends_by} with {plan.indexes[:3]}..."
            )
    if current.indexes and plans[current.plan].ends_by != "unfinished":
        raise AssertionError(f"design {current.plan} was left unfinished")

    status_index = {}
    for i, p in enumerate(packets):
        if p.kind == SCAN_STATUS:
            status_index[i] = p.sci["status"]
    filaments = {i: p.sci["filaments"] for i, p in enumerate(packets) if p.kind == SEB_HK}
    out = [
        _scan_manifest(
            mission, k, s, plans[s.plan], packets, rel, status_index, statuses, filaments
        )
        for k, s in enumerate(scans)
    ]
    holders: dict[int, list[int]] = {}
    for k, s in enumerate(scans):
        for i in s.statuses:
            holders.setdefault(i, []).append(k)
    status_list = [
        {
            "index": i,
            "relative_time": round(rel[i], 6),
            **statuses[n].manifest(mission),
            "scans": holders.get(i, []),
            "fate": fate.get(i, "pending"),
        }
        for i, n in status_index.items()
    ]
    by_kind: dict[str, int] = {}
    by_mode: dict[str, int] = {}
    for s in out:
        by_kind[s["kind"]] = by_kind.get(s["kind"], 0) + 1
        by_mode[s["mode"]] = by_mode.get(s["mode"], 0) + 1
    return {
        "settings": {"scan_types": 7, "average_summed_scans": False, "timestamp_mode": 0},
        "scan_count": len(out),
        "by_kind": by_kind,
        "by_mode": by_mode,
        "scans": out,
        "statuses": status_list,
        "unfinished": current.indexes,
    }


def _em_on_times(
    mission: Mission, scan: _Scan, bins: int, st: Status | None
) -> tuple[float, float]:
    """Electron-multiplier on-times in milliseconds, from the attached sequences or, without
    any, from the last scan status."""
    if not scan.sequences:
        if st is None:
            return 0.0, 0.0
        total = scan.summed * (item_sci(mission, 245, st.bin_time_raw) * 1e-6 * bins * 1000 + 10.0)
        a = total if dac_volts(0, st.em_settings[0]) < EM_ON_VOLTS else 0.0
        b = total if dac_volts(1, st.em_settings[1]) < EM_ON_VOLTS else 0.0
        return a, b
    volts = {"EM_A": 0.0, "EM_B": 0.0}
    on_ms = {"EM_A": 0.0, "EM_B": 0.0}
    bin_time = item_sci(mission, 245, st.bin_time_raw) if st else 0.0
    for seq in scan.sequences:
        for cmd in seq.commands:
            number = cmd[3]
            before = {k: v < EM_ON_VOLTS for k, v in volts.items()}
            duration = None
            if number == seb.SET_DAC and st is not None:
                name = dac_name(cmd[6])
                if name in volts and 0 <= cmd[6] <= 7:
                    raw = st.readbacks()[cmd[6]]
                    volts[name] = dac_volts(cmd[6], raw)
            elif number == seb.SET_DAC_IMM:
                name = dac_name(cmd[6])
                if name in volts:
                    volts[name] = dac_volts(cmd[6], struct.unpack_from(">H", cmd, 7)[0])
            elif number == seb.PAUSE_IMM:
                duration = float(struct.unpack_from(">I", cmd, 6)[0])
            elif number == seb.PAUSE and st is not None:
                k = struct.unpack_from(">I", cmd, 6)[0]
                duration = item_sci(mission, 237 + k, st.timing_raw()[237 + k])
            elif number == seb.RAMP and st is not None:
                duration = st.bins * bin_time / 1000
            elif number == seb.RAMP_IMM and st is not None:
                duration = cmd[6] * bin_time / 1000
            for name in volts:
                if duration is not None and volts[name] < EM_ON_VOLTS:
                    on_ms[name] += duration
                if volts[name] < EM_ON_VOLTS and not before[name]:
                    on_ms[name] = 0.0
    return on_ms["EM_A"] * scan.summed, on_ms["EM_B"] * scan.summed


def _rf_dac_end(mission: Mission, scan: _Scan, st: Status | None) -> float:
    if st is not None:
        return dac_volts(13, st.rf_dac_end)
    values = [(n, item_sci(mission, 352, rf_raw(s)[1])) for s, n, _, _ in scan.segments]
    if not values:
        return 0.0
    if len(values) == 1:
        return values[0][1]
    (pn, pv), (ln, lv) = values[-2], values[-1]
    return lv + (lv - pv) / pn * (ln - 1)


def _counts_digest(plan: Plan) -> dict:
    bins = [b for s, n in plan.segments for b in range(s, s + n)]
    best = 0
    for k, c in enumerate(plan.counts):
        if c > plan.counts[best]:
            best = k
    picks = sorted(
        {0, len(bins) - 1, best, *range(99, len(bins), 997), *range(100, len(bins), 1009)}
    )
    digest = {
        "count_sum": sum(plan.counts),
        "count_max": max(plan.counts),
        "max_bin": bins[best],
        "weighted_sum": sum(b * c for b, c in zip(bins, plan.counts)),
        "samples": [[bins[k], plan.counts[k]] for k in picks],
        "counts": list(plan.counts) if len(bins) <= FULL_COUNTS_MAX else None,
    }
    return digest


def _planted_peaks(plan: Plan) -> list[dict]:
    """The peaks planted in a scan as designed: the bin of each centre, its height (counts
    above the background of 0 to 2, before clipping at the packet's top) and standard
    deviation (bins)."""
    bins = [b for s, n in plan.segments for b in range(s, s + n)]
    return [
        {"bin": bins[centre], "height": height, "sigma_bins": round(width, 6)}
        for centre, height, width in plan.peaks
    ]


def _segment_runs(segments: list[tuple[int, int]]) -> list[list[int]]:
    """Segments as [start bin, bins, repeat] runs of equal, contiguous segments."""
    runs: list[list[int]] = []
    for start, n in segments:
        if runs and runs[-1][1] == n and runs[-1][0] + runs[-1][1] * runs[-1][2] == start:
            runs[-1][2] += 1
        else:
            runs.append([start, n, 1])
    return runs


def _scan_manifest(
    mission: Mission,
    number: int,
    scan: _Scan,
    plan: Plan,
    packets: list,
    rel: list[float],
    status_index: dict[int, int],
    statuses: list[Status],
    filaments: dict[int, int],
) -> dict:
    last = statuses[status_index[scan.statuses[-1]]] if scan.statuses else None
    if plan.packet_type == SUMMED and plan.scan_tics:
        tic = list(plan.scan_tics)
    elif plan.packet_type != SUMMED or plan.summed == 1:
        tic = [sum(plan.counts)]
    else:
        tic = []
    ctic_list = (
        [int(t * c) for t, c in zip(tic, plan.c_factors)]
        if tic and len(tic) == len(plan.c_factors)
        else []
    )
    version = plan.version if plan.packet_type == SUMMED else 0
    ctic, ctic_factor = corrected_tic(
        mission,
        tic,
        plan.c_factors,
        [statuses[status_index[i]] for i in scan.statuses],
        version,
        plan.summed,
        sum(plan.counts),
    )
    rf_end = _rf_dac_end(mission, scan, last)
    if scan.seb_hk == -1:
        mode = 0
    elif filaments[scan.seb_hk]:
        mode = 1
    elif plan.packet_type != SUMMED:
        mode = 3
    else:
        mode = 2 if rf_end <= 100.0 else 3
    if (mode == 2) != plan.dark:
        raise AssertionError(
            f"scan {number} is {MODES[mode]} by its packets but was designed "
            f"{'' if plan.dark else 'not '}dark"
        )
    source = 1 if scan.gc_hk != -1 else 2 if scan.laser_pulses != -1 else 0
    em_a, em_b = _em_on_times(mission, scan, plan.bins, last)
    first = packets[scan.indexes[0]]
    return {
        "index": number,
        "kind": KIND[plan.packet_type],
        "packet_type": plan.packet_type,
        "scan_type": SCAN_TYPE_FLAG[plan.packet_type],
        "version": version,
        "summed_scans": plan.summed,
        "ended_by": scan.ended_by,
        "packet_indexes": scan.indexes,
        "bins": plan.bins,
        "segments": _segment_runs(plan.segments),
        **_counts_digest(plan),
        "planted_peaks": _planted_peaks(plan),
        # Every spectrum summed brings its dark counts: their expected counts a bin.
        "dark_level": DARK_COUNTS_MEAN * max(plan.summed, 1),
        "scan_tics": plan.scan_tics,
        "mbc_sics": plan.mbc_sics,
        "c_factors": plan.c_factors,
        "tic": tic,
        "ctic": ctic_list,
        "corrected_tic": ctic,
        "corrected_tic_factor": ctic_factor,
        "unix_time": round(first.unix, 6),
        "relative_time": round(rel[scan.indexes[0]], 6),
        "status_indexes": scan.statuses,
        "phase_cycle": last.phase_cycle if last else -1,
        "seb_hk": scan.seb_hk,
        "laser_pulses": scan.laser_pulses,
        "laser_status": scan.laser_status,
        "gc_hk": scan.gc_hk,
        "seb_sequence_indexes": [i for s in scan.sequences for i in s.indexes],
        "rf_dac_end": rf_end,
        "mode": MODES[mode],
        "dark": mode == 2,
        "ion_source": source,
        "em_on_ms": [em_a, em_b],
    }
