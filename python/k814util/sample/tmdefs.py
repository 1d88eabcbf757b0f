"""Mission definition files of the sample archive: telemetry databases, packet-type catalogues,
DAC tables, clocks, constants, a lookup table and patches.

Every database row is declared once, as a :class:`Item` with its packet type and byte offset;
the same declarations place the values in the generated packets (see ``streams.py``), so the
database always describes the bytes that were written.
"""

from __future__ import annotations

import json
from dataclasses import dataclass, field
from pathlib import Path

# Columns the station writes, in order (the reader also accepts ARRAY_LENGTH, SAMPLE_PERIOD).
TMDB_COLUMNS = (
    "SUB_SYSTEM NAME DESCRIPTION ADC_# DATA_ID PACKET_TYPE PACKET_SUBTYPE PACKET_NAME APPLY_WHEN "
    "DECODE_TYPE DECODE_ID1 DECODE_ID2 DECODE_ID3 DECODE_ID4 CLOCK RAW_FMT ENG_FMT ENG_EQ_TYPE "
    "ENG_K1 ENG_K2 SCI_UNITS SCI_FMT SCI_EQ_TYPE SCI_FROM_ENG SCI_K1 SCI_K2 SCI_K3 SCI_K4 SCI_K5 "
    "SCI_K6 SCI_K7 SCI_K8 DISCRETE_LABELS MUX_CH LIMIT_TYPE_1 YELLOW_LIMIT_1 RED_LIMIT_1 "
    "LIMIT_TYPE_2 YELLOW_LIMIT_2 RED_LIMIT_2 LIMITS HISTORY EXTRA_1 QUIP_MINE_TYPE"
).split()
EXTRA_COLUMNS = ["ARRAY_LENGTH", "SAMPLE_PERIOD"]
REVISION = "1042"

UNSIGNED, BIG_STRING, TWOS = 1, 7, 4
TIME42, TIME41 = 9, 14


@dataclass
class Item:
    """One database row and where its value sits in a packet.

    ``offset`` counts from the packet's first byte; the database itself counts from the data
    field, ``Mission.header`` bytes later (TARN's TOM header; 0 for VIREO).
    """

    data_id: int
    subsystem: str
    name: str
    description: str
    packet_type: int
    offset: int
    size: int = 2
    decode_type: int = UNSIGNED
    mask: int = 0
    shift: int = 0
    array_length: int = 1
    sample_period: float = 0.0
    byte_order: str | None = None  # a DECODE_ID2 list such as "1:2"; default big-endian size
    eng: tuple = (0, 0.0, 1.0)  # (ENG_EQ_TYPE, K1, K2)
    sci: tuple = (0,)  # (SCI_EQ_TYPE, K1 ... K8)
    sci_from_eng: bool = False
    units: str = "Value"
    labels: str = ""
    limits: tuple = ()  # (type1, yellow1, red1, type2, yellow2, red2)
    clock: str = ""
    extra: str = ""
    apply_when: str = ""
    packet_name: str = ""

    @property
    def key(self) -> str:
        return f"{self.subsystem}:{self.name}"

    def cells(self, header: int = 0) -> dict:
        sci = list(self.sci) + [0.0] * (9 - len(self.sci))
        decode_id2 = self.byte_order or str(self.size)
        cells = {
            "SUB_SYSTEM": self.subsystem,
            "NAME": self.name,
            "DESCRIPTION": self.description,
            "ADC_#": "0",
            "DATA_ID": str(self.data_id),
            "PACKET_TYPE": str(self.packet_type),
            "PACKET_SUBTYPE": "0",
            "PACKET_NAME": self.packet_name,
            "APPLY_WHEN": self.apply_when,
            "DECODE_TYPE": str(self.decode_type),
            "DECODE_ID1": str(self.offset - header),
            "DECODE_ID2": decode_id2,
            "DECODE_ID3": f"0x{self.mask:X}",
            "DECODE_ID4": str(self.shift),
            "CLOCK": self.clock,
            "RAW_FMT": "%1.0f",
            "ENG_FMT": "%.3f",
            "ENG_EQ_TYPE": str(self.eng[0]),
            "ENG_K1": _num(self.eng[1]),
            "ENG_K2": _num(self.eng[2]),
            "SCI_UNITS": self.units,
            "SCI_FMT": "%.4f",
            "SCI_EQ_TYPE": str(sci[0]),
            "SCI_FROM_ENG": "Yes" if self.sci_from_eng else "No",
            "DISCRETE_LABELS": self.labels,
            "MUX_CH": "0",
            "EXTRA_1": self.extra,
            "QUIP_MINE_TYPE": "all",
            "ARRAY_LENGTH": str(self.array_length),
            "SAMPLE_PERIOD": _num(self.sample_period),
        }
        for i in range(8):
            cells[f"SCI_K{i + 1}"] = _num(sci[i + 1])
        for n, (kind, yellow, red) in enumerate(
            [self.limits[0:3], self.limits[3:6]] if self.limits else [], start=1
        ):
            cells[f"LIMIT_TYPE_{n}"] = str(kind)
            cells[f"YELLOW_LIMIT_{n}"] = _num(yellow)
            cells[f"RED_LIMIT_{n}"] = _num(red)
        return cells


def _num(v: float) -> str:
    return repr(float(v)).removesuffix(".0") if float(v).is_integer() else repr(float(v))


@dataclass
class PacketType:
    type: int
    name: str
    min_length: int
    max_length: int
    gse: bool = False
    time_item: str = ""

    def line(self) -> str:
        parts = [str(self.type), self.name, "true" if self.gse else "false"]
        parts += [str(self.min_length), str(self.max_length)]
        if self.time_item:
            parts.append(self.time_item)
        return ", ".join(parts)


@dataclass
class Mission:
    """A mission's definitions: rows, packet types and the companion files."""

    prefix: str
    items: list[Item]
    packet_types: list[PacketType]
    dac_rows: list[tuple]
    clocks: list[dict]
    constants: list[dict]
    lookup_tables: dict[str, list[tuple[float, float]]] = field(default_factory=dict)
    header: int = 0  # bytes before the data field, from which the database counts offsets

    def item(self, data_id_or_key) -> Item:
        for it in self.items:
            if it.data_id == data_id_or_key or it.key == data_id_or_key:
                return it
        raise KeyError(data_id_or_key)


def database_text(items: list[Item], header: int = 0) -> str:
    columns = TMDB_COLUMNS + EXTRA_COLUMNS
    lines = ["\t".join(columns + [f"$Revision: {REVISION} $"])]
    lines.append("# data rows, ordered by packet type and offset")
    for it in sorted(items, key=lambda i: (i.packet_type, i.offset, i.data_id)):
        cells = it.cells(header)
        lines.append("\t".join(cells.get(c, "") for c in columns))
    return "\n".join(lines) + "\n"


# --- TARN ---------------------------------------------------------------------------------------

ADC_VOLTS = (2, 10.0, 1.0)  # 16-bit ADC, 10 V span around mid-scale
LABELS_ON_OFF = "0=OFF;1=ON"


def _tarn_items() -> list[Item]:
    items = [
        # Time packet (type 2): mission time at a tick count.
        Item(550, "TIME", "SECS", "mission seconds since epoch", 2, 9, 4),
        Item(551, "TIME", "SUBSECS", "mission time fraction, 1/65536 s", 2, 13, 2),
        Item(552, "TIME", "TICK", "instrument tick at the mission time", 2, 15, 4),
        Item(553, "TIME", "MET", "mission elapsed time", 2, 9, 6, TIME42, clock="TARN_MET"),
        # Digital housekeeping (type 7): the same three time fields, then CDH readings.
        Item(526, "CDH", "TIME_SECS", "CDH mission seconds", 7, 9, 4),
        Item(527, "CDH", "TIME_SUBSECS", "CDH mission time fraction", 7, 13, 2),
        Item(528, "CDH", "TIME_TICK", "CDH tick of the time fields", 7, 15, 4),
        Item(
            529,
            "CDH",
            "V_BUS",
            "CDH bus voltage",
            7,
            19,
            eng=ADC_VOLTS,
            units="V",
            sci=(1, 0.0, 3.0),
            sci_from_eng=True,
            limits=(3, 24.0, 22.0, 7, 32.0, 34.0),
        ),
        Item(
            530,
            "CDH",
            "MODE",
            "CDH operating mode",
            7,
            21,
            1,
            labels="0=SAFE;1=STANDBY;2=SCIENCE;3=DIAGNOSTIC",
        ),
        # Marker (type 9): mission time, marker id and a NUL-padded text of 62 bytes.
        Item(900, "MARKER", "SECS", "marker mission seconds", 9, 8, 4),
        Item(901, "MARKER", "SUBSECS", "marker mission time fraction", 9, 12, 2),
        Item(902, "MARKER", "ID", "marker id", 9, 14, 4),
        Item(903, "MARKER", "TEXT", "marker text", 9, 18, -4, BIG_STRING),
        # Message packet (type 8): text up to the checksum.
        Item(800, "MSG", "TEXT", "flight software message", 8, 8, -4, BIG_STRING),
        # SEB housekeeping (type 22).
        Item(
            17,
            "SEB",
            "EMON_A",
            "emission current monitor, filament A",
            22,
            9,
            array_length=8,
            sample_period=0.125,
            eng=ADC_VOLTS,
            sci=(1, 0.0, 20.0),
            sci_from_eng=True,
            units="uA",
        ),
        Item(
            18,
            "SEB",
            "EMON_B",
            "emission current monitor, filament B",
            22,
            25,
            array_length=8,
            sample_period=0.125,
            eng=ADC_VOLTS,
            sci=(1, 0.0, 20.0),
            sci_from_eng=True,
            units="uA",
        ),
        Item(
            86,
            "SEB",
            "BIN_PERIOD",
            "bin period, 100 ns units",
            22,
            41,
            4,
            sci=(1, 0.0, 1.0),
            units="100ns",
        ),
        Item(
            105, "SEB", "FIL_A_ON", "filament A enabled", 22, 45, 1, mask=0x01, labels=LABELS_ON_OFF
        ),
        Item(
            102,
            "SEB",
            "FIL_B_ON",
            "filament B enabled",
            22,
            45,
            1,
            mask=0x02,
            shift=1,
            labels=LABELS_ON_OFF,
        ),
        Item(
            20,
            "SEB",
            "T_BOARD",
            "SEB board thermistor",
            22,
            46,
            eng=(0, 0.0, 1.0),
            sci=(4, 0.0, 10000.0, 1.129148e-3, 2.34125e-4, 8.76741e-8),
            units="degC",
            # A board too warm: above the limits (type 7: science units, above), as a board
            # thermistor's limits are; the sample's board stays well below them.
            limits=(7, 45.0, 60.0, 7, 50.0, 70.0),
        ),
        Item(
            21,
            "SEB",
            "HV_MON",
            "high voltage monitor",
            22,
            48,
            eng=ADC_VOLTS,
            sci=(1, 0.0, 300.0),
            sci_from_eng=True,
            units="V",
        ),
        Item(
            22,
            "SEB",
            "T_RF",
            "RF board temperature (calibration table)",
            22,
            50,
            sci=(12,),
            units="degC",
            extra="tarn_rf_temp.csv",
        ),
        Item(
            23,
            "SEB",
            "T_PRT",
            "platinum thermometer",
            22,
            52,
            sci=(6, 100.0, 0.39083, -5.775e-5),
            units="degC",
        ),
        Item(
            24,
            "SEB",
            "I_OFFSET",
            "offset current, signed 12.4 fixed point",
            22,
            54,
            sci=(11, 16.0, 4.0),
            units="nA",
        ),
        # Laser pulses (type 15) and laser status (type 16).
        Item(
            1087,
            "LASER",
            "PULSE_ENERGY",
            "per-pulse energy",
            15,
            9,
            array_length=10,
            sample_period=0.1,
            sci=(1, 0.0, 0.01),
            units="uJ",
        ),
        Item(1088, "LASER", "PULSE_COUNT", "pulses in this packet", 15, 29),
        # Energy statistics over the packet's pulses, as the laser controller reports them.
        Item(
            1089,
            "LASER",
            "ENERGY_MEAN",
            "mean pulse energy",
            15,
            31,
            sci=(1, 0.0, 0.01),
            units="uJ",
        ),
        Item(
            1090,
            "LASER",
            "ENERGY_MIN",
            "lowest pulse energy",
            15,
            33,
            sci=(1, 0.0, 0.01),
            units="uJ",
        ),
        Item(
            1091,
            "LASER",
            "ENERGY_MAX",
            "highest pulse energy",
            15,
            35,
            sci=(1, 0.0, 0.01),
            units="uJ",
        ),
        Item(
            1092,
            "LASER",
            "ENERGY_STD",
            "pulse energy standard deviation",
            15,
            37,
            sci=(1, 0.0, 0.001),
            units="uJ",
        ),
        Item(1094, "LASER", "PULSE_PERIOD", "pulse period", 15, 39, sci=(1, 0.0, 1.0), units="us"),
        Item(
            831,
            "LASER",
            "MAIF_STATUS",
            "MAIF status word, FPGA version in bits 8-15",
            15,
            41,
            mask=0xFFFF,
        ),
        Item(
            1093,
            "LASER",
            "HEAD_TEMP",
            "laser head temperature",
            16,
            9,
            sci=(8, 10.0, 10000.0, 1.129148e-3, 2.34125e-4, 8.76741e-8),
            units="degC",
        ),
        # Single science packet (type 26): the RF values every science packet carries.
        Item(
            351,
            "RF",
            "AMP",
            "RF amplitude monitor",
            26,
            16,
            eng=ADC_VOLTS,
            sci=(1, 0.0, 200.0),
            sci_from_eng=True,
            units="Vpp",
        ),
        Item(352, "RF", "AMP_DAC", "RF amplitude DAC", 26, 18, sci=(1, 0.0, 0.25), units="Vpp"),
        Item(
            353,
            "RF",
            "AUX_AMP_DAC",
            "auxiliary amplitude DAC",
            26,
            20,
            sci=(1, 0.0, 0.05),
            units="Vpp",
        ),
    ]
    # Scan status (type 25): fixed DAC bytes at packet bytes 28-71, items around them.
    status = [
        (201, "SCAN_ID", 9, 2, (1, 0.0, 1.0), ""),
        (202, "RF_AMP_MON_LAST", 11, 2, (1, 0.0, 0.0030517578125), "Vpp"),
        (203, "COUNTER_SEL", 13, 1, (0,), "ch"),
        (204, "BIN_COUNT_REG", 14, 2, (0,), ""),
        (205, "RF_STEP", 16, 2, (1, 0.0, 0.001), "V/bin"),
        (206, "AUX_STEP", 18, 2, (1, 0.0, 0.001), "V/bin"),
    ]
    for i, data_id in enumerate(range(207, 237)):
        status.append((data_id, f"STATUS_{data_id}", 72 + 2 * i, 2, (1, 0.0, 1.0), ""))
    # Sequence timing registers; a PAUSE command names one of them by its position from 237.
    named = {
        237: ("PRE_ION_DELAY", (1, 0.0, 0.01), "ms"),
        238: ("ION_DELAY", (1, 0.0, 0.01), "ms"),
        239: ("ION_TIME", (1, 0.0, 0.01), "ms"),
        240: ("CC_DURATION", (1, 0.0, 0.01), "ms"),
        241: ("COOL_TIME", (1, 0.0, 0.01), "ms"),
        242: ("ISOLATION_TIME", (1, 0.0, 0.01), "ms"),
        243: ("EXCITE_TIME", (1, 0.0, 0.01), "ms"),
        244: ("POST_SCAN_DELAY", (1, 0.0, 0.01), "ms"),
        245: ("BIN_TIME", (1, 0.0, 0.1), "us"),
    }
    for i, data_id in enumerate(range(237, 246)):
        name, sci, units = named.get(data_id, (f"SETTING_{data_id}", (1, 0.0, 1.0), ""))
        status.append((data_id, name, 132 + 2 * i, 2, sci, units))
    for i, name in enumerate(("SCAN_FLAGS", "SOURCE_FLAGS", "DETECTOR_FLAGS")):
        status.append((246 + i, name, 150 + i, 1, (0,), ""))
    status += [
        (249, "EM1_V", 153, 2, (1, -3000.0, 1.0), "V"),
        (250, "EM2_V", 155, 2, (1, -3000.0, 1.0), "V"),
        (251, "PHASE_CYCLE", 157, 2, (0,), ""),
        (252, "SPECIAL_SCAN_ID", 159, 4, (0,), ""),
        (253, "RAW_SCAN_VALUE", 163, 4, (0,), ""),
        (254, "SRC_A_FOCUS", 167, 2, (1, 0.0, 0.05), "V"),
        (255, "SRC_B_FOCUS", 169, 2, (1, 0.0, 0.05), "V"),
        (256, "BIN_COUNT_SET", 171, 2, (0,), ""),
        (354, "RF_FREQ_SET", 173, 4, (1, 0.0, 0.1), "Hz"),
        (355, "RF_PHASE", 177, 2, (1, 0.0, 0.0054931640625), "deg"),
        (356, "RF_FREQ", 179, 4, (1, 0.0, 0.1), "Hz"),
    ]
    for data_id, name, offset, size, sci, units in status:
        items.append(
            Item(
                data_id,
                "SCAN",
                name,
                name.lower().replace("_", " "),
                25,
                offset,
                size,
                sci=sci,
                units=units or "Value",
            )
        )
    return items


TARN_PACKETS = [
    PacketType(2, "TIME", 11, 11, time_item="TIME:MET"),
    PacketType(7, "DIGITAL_HK", 16, 64),
    PacketType(8, "MESSAGE", 1, 1024),
    PacketType(9, "MARKER", 72, 72),
    PacketType(10, "SCIENCE_RAW", 1, 4096),
    PacketType(14, "GC_HK", 16, 256),
    PacketType(15, "LASER_PULSES", 36, 64),
    PacketType(16, "LASER_STATUS", 4, 64),
    PacketType(22, "SEB_HK", 64, 64),
    PacketType(23, "SEB_SEQUENCE", 12, 2048),
    PacketType(25, "SCAN_STATUS", 200, 200),
    PacketType(26, "SCIENCE_SINGLE", 16, 4096),
    PacketType(27, "SCIENCE_SUMMED", 16, 8192),
    PacketType(28, "SCIENCE_AGGREGATED", 16, 8192),
    PacketType(131, "GSE_TEST_START", 1, 256, gse=True),
]

# (dacId, second id, name, bits, mask, signed, offset, scale); rows 0-7 are the byte-wide DAC
# settings (0 and 1 the electron multipliers A and B), 8-12 the 12-bit values and 13/15 the RF and
# auxiliary amplitude DACs. EM_A's supply is negative only (0 to -3000 V; on below -1900 V). EM_B's
# is bipolar, a signed byte (-2988 to +3012 V): sequences switch it on at negative volts, and the
# scan statuses report it at the positive setting the corrected TIC divides by. The focus lenses
# sit at 0 to -100 V, around the -68 V where the corrected TIC's focus term is 1.
TARN_DAC = [
    (0, 0, "EM_A", 8, 0xFF, 0, 0.0, -0.085),
    (1, 0, "EM_B", 8, 0xFF, 1, 0.0, -0.0425),
    (2, 0, "LENS_1", 8, 0xFF, 0, 128.0, 0.5),
    (3, 0, "LENS_2", 8, 0xFF, 0, 128.0, 0.5),
    (4, 0, "LENS_3", 8, 0xFF, 0, 128.0, 0.5),
    (5, 0, "GATE", 8, 0xFF, 0, 0.0, 2.55),
    (6, 0, "SRC_A_FOCUS_A", 8, 0xFF, 0, 0.0, -2.55),
    (7, 0, "SRC_B_FOCUS_A", 8, 0xFF, 0, 0.0, -2.55),
    (8, 1, "ENDCAP_1", 12, 0xFFF, 1, 0.0, 204.8),
    (9, 1, "ENDCAP_2", 12, 0xFFF, 1, 0.0, 204.8),
    (10, 1, "RING_BIAS", 12, 0xFFF, 1, 0.0, 20.48),
    (11, 1, "DETECTOR_BIAS", 12, 0xFFF, 0, 0.0, 1.365),
    (12, 1, "CONVERSION_DYNODE", 12, 0xFFF, 1, 0.0, 0.4096),
    (13, 2, "RF_AMP", 16, 0xFFFF, 0, 0.0, 13.1072),
    (14, 2, "RF_FREQ_TRIM", 16, 0xFFFF, 1, 0.0, 32.768),
    (15, 2, "AUX_AMP", 16, 0xFFFF, 0, 0.0, 65.536),
]

# Mission time counts Unix-style seconds from the epoch (the time packets are read the same way),
# so the clock has no leap-second table.
TARN_CLOCKS = [
    {
        "name": "TARN_MET",
        "epoch": "2000-01-01T12:00:00Z",
        "leap_seconds_offset": 0,
        "sub_seconds_per_second": 65536,
        "leap_seconds": [],
    }
]


def tarn_mission() -> Mission:
    from k814util.sample import custom, limits  # their rows are declared with this module's Item

    table = [(-40.0, 3100.0), (0.0, 2450.0), (25.0, 2048.0), (50.0, 1650.0), (100.0, 1000.0)]
    return Mission(
        prefix="TAR",
        items=_tarn_items() + custom.items() + limits.items(3001, 22, 56),
        packet_types=TARN_PACKETS + custom.packet_types(),
        dac_rows=TARN_DAC,
        clocks=TARN_CLOCKS,
        constants=[
            {"type": "int", "name": "NUM_DAC_SETTINGS", "value": "8"},
            {"type": "double", "name": "TICKS_PER_SECOND", "value": "10000"},
            {"type": "string", "name": "INSTRUMENT", "value": "TARN"},
        ],
        # Counts fall as temperature rises: written high to low, the reader reverses it.
        lookup_tables={"tarn_rf_temp.csv": [(c, t) for t, c in reversed(table)]},
        header=8,
    )


# --- VIREO --------------------------------------------------------------------------------------

VIREO_HK, VIREO_SCI, VIREO_MSG, VIREO_MARKER = 704, 720, 709, 743


def _vireo_items() -> list[Item]:
    hk, sci = VIREO_HK, VIREO_SCI
    return [
        Item(1, "HK", "SCLK", "spacecraft clock", hk, 6, 5, TIME41, clock="VIREO_SCLK"),
        Item(2, "MMC.HK", "V_2P50_VREF", "2.5 V reference", hk, 12, eng=ADC_VOLTS, units="V"),
        Item(
            3,
            "LEU_STATUS",
            "ENERGY_SAMPLE_INTERVAL_SETTING",
            "laser energy sample interval",
            hk,
            14,
            sci=(1, 0.0, 0.1),
            units="ms",
        ),
        Item(4, "HK", "T_CTL", "controller thermistor", hk, 16, sci=(105,), units="degC"),
        Item(5, "HK", "T_AMUX", "multiplexed thermistor", hk, 18, sci=(106,), units="degC"),
        Item(6, "HK", "T_10K", "10 kOhm thermistor", hk, 20, sci=(104,), units="degC"),
        Item(7, "HK", "T_PRT", "platinum thermometer", hk, 22, sci=(102, 0.02, 40.0), units="degC"),
        Item(8, "HK", "R_SENSE", "sense resistor", hk, 24, sci=(100, 10000.0), units="Ohm"),
        Item(9, "HK", "GAIN", "16.16 fixed-point gain", hk, 26, 4, sci=(107,)),
        Item(
            10,
            "HK",
            "V_28",
            "28 V bus",
            hk,
            30,
            eng=ADC_VOLTS,
            sci=(1, 0.0, 3.0),
            sci_from_eng=True,
            units="V",
            limits=(3, 24.0, 22.0, 7, 32.0, 34.0),
        ),
        Item(11, "HK", "MODE", "instrument mode", hk, 32, labels="0=IDLE;1=SCAN;2=CAL"),
        Item(12, "HK", "COUNTS_LE", "little-endian counter", hk, 34, byte_order="1:2"),
        Item(20, "SCI", "BIN_COUNTS", "bin counts", sci, 12, array_length=32),
        Item(30, "MEB", "MESSAGE_LOG", "instrument message text", VIREO_MSG, 12, 0, BIG_STRING),
        Item(40, "MARKER", "ID", "test marker id", VIREO_MARKER, 12, 4),
        Item(42, "MARKER", "TYPE", "test marker type", VIREO_MARKER, 16, 4),
        Item(41, "MARKER", "TEXT", "test marker text", VIREO_MARKER, 20, 0, BIG_STRING),
    ]


VIREO_PACKETS = [
    PacketType(VIREO_HK, "HK", 52, 52, time_item="HK:SCLK"),
    PacketType(VIREO_SCI, "SCIENCE", 70, 70),
    PacketType(VIREO_MSG, "MESSAGE", 7, 1024),
    PacketType(VIREO_MARKER, "MARKER", 8, 512),
]


def vireo_mission() -> Mission:
    from k814util.sample import limits  # its rows are declared with this module's Item

    return Mission(
        prefix="VIREO",
        items=_vireo_items() + limits.items(51, VIREO_HK, 36),
        packet_types=VIREO_PACKETS,
        dac_rows=[
            (0, 0, "LEU_ENERGY", 12, 0xFFF, 0, 0.0, 40.95),
            (1, 0, "MMC_HEATER", 12, 0xFFF, 0, 0.0, 4.095),
            (2, 0, "DETECTOR_HV", 16, 0xFFFF, 0, 0.0, 21.845),
        ],
        clocks=[
            {
                "name": "VIREO_SCLK",
                "epoch": "2010-01-01T00:00:00Z",
                "sub_seconds_per_second": 256,
                "leap_seconds_offset": 0,
            }
        ],
        constants=[{"type": "string", "name": "INSTRUMENT", "value": "VIREO"}],
    )


# --- writing ------------------------------------------------------------------------------------


def dac_text(rows: list[tuple]) -> str:
    lines = ["# dacId\tid2\tname\tbits\tmask\tsigned\toffset\tscale"]
    for dac_id, id2, name, bits, mask, signed, offset, scale in rows:
        lines.append(f"{dac_id}\t{id2}\t{name}\t{bits}\t0x{mask:X}\t{signed}\t{offset}\t{scale}")
    return "\n".join(lines) + "\n"


def write_definitions(mission: Mission, directory: Path, write) -> dict[str, Path]:
    """Writes the mission's definition set into directory with write(path, text); returns
    the paths by role."""
    paths = {
        "tm_database": directory / f"{mission.prefix}_TM_Database.txt",
        "dac_file": directory / f"{mission.prefix}_DAC_Conversions.txt",
        "packet_types": directory / "tm_packet_types.txt",
        "clocks": directory / "clocks.txt",
        "constants": directory / "constants.json",
    }
    write(paths["tm_database"], database_text(mission.items, mission.header))
    write(paths["dac_file"], dac_text(mission.dac_rows))
    write(
        paths["packet_types"],
        "# type, name, gse, min length, max length, time mnemonic\n"
        + "\n".join(p.line() for p in mission.packet_types)
        + "\n",
    )
    write(paths["clocks"], json.dumps({"clocks": mission.clocks}, indent=2) + "\n")
    write(paths["constants"], json.dumps(mission.constants, indent=2) + "\n")
    for name, points in mission.lookup_tables.items():
        body = "".join(f"{x:g},{y:g}\n" for x, y in points)
        write(directory / "lookupTables" / name, "# counts,degC\n" + body)
    return paths


def tarn_text_patch() -> str:
    """A flight-model patch: recalibrates HV_MON and retires STATUS_236."""
    columns = TMDB_COLUMNS + EXTRA_COLUMNS
    header = "\t".join(columns) + f"\t$Revision: {REVISION}p1 $"
    recal = dict.fromkeys(columns, "")
    recal.update({"DATA_ID": "21", "SCI_K2": "310", "DESCRIPTION": "high voltage monitor (FM)"})
    retire = dict.fromkeys(columns, "")
    retire["DATA_ID"] = "-236"
    rows = ["\t".join(r[c] for c in columns) for r in (recal, retire)]
    return "\n".join([header, *rows]) + "\n"


def tarn_json_patch() -> dict:
    """Describes the ground equipment's test-start packet (type 131, made by the GSE)."""
    return {
        "Packets": [
            {
                "packetName": "GSE_TEST_START",
                "packetId": 131,
                "gse": True,
                "fields": [
                    # Offsets count from the data field, after the 8-byte TOM header.
                    {"fieldName": "SUBTYPE", "type": "uint8_t", "description": "packet subtype"},
                    {
                        "fieldName": "FLAGS",
                        "type": "uint8_t",
                        "bitFields": [
                            {"name": "SIM", "mask": 1, "description": "simulated instrument"},
                            {"name": "REPLAY", "mask": 2, "description": "replayed data"},
                        ],
                    },
                ],
            }
        ]
    }
