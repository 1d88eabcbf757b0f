"""Writes a synthetic but realistic archive: a workstation configuration, mission definition
folders and one TID directory per test run, each with its tm.meta and telemetry file.

Everything is derived from fixed seeds and fixed dates, so two runs write identical bytes (the
INI file differs only by the absolute root it names). File modification times are set to the
test start so that "newest file" rules behave the same on every machine.
"""

from __future__ import annotations

import json
import os
import random
import struct
from dataclasses import dataclass, field
from datetime import datetime
from pathlib import Path
from zoneinfo import ZoneInfo

from k814util.sample.packets import ccsds_packet, ccsds_secondary_header, tom_packet

STATION_ZONE = ZoneInfo("America/New_York")
INI_NAME = ".814config.INI"
MANIFEST_NAME = "manifest.json"

# Telemetry database header as the station writes it: the TAB-separated columns, then the
# revision keyword in a cell of its own.
TMDB_COLUMNS = (
    "SUB_SYSTEM NAME DESCRIPTION ADC_# DATA_ID PACKET_TYPE PACKET_SUBTYPE PACKET_NAME APPLY_WHEN "
    "DECODE_TYPE DECODE_ID1 DECODE_ID2 DECODE_ID3 DECODE_ID4 CLOCK RAW_FMT ENG_FMT ENG_EQ_TYPE "
    "ENG_K1 ENG_K2 SCI_UNITS SCI_FMT SCI_EQ_TYPE SCI_FROM_ENG SCI_K1 SCI_K2 SCI_K3 SCI_K4 SCI_K5 "
    "SCI_K6 SCI_K7 SCI_K8 DISCRETE_LABELS MUX_CH LIMIT_TYPE_1 YELLOW_LIMIT_1 RED_LIMIT_1 "
    "LIMIT_TYPE_2 YELLOW_LIMIT_2 RED_LIMIT_2 LIMITS HISTORY EXTRA_1 QUIP_MINE_TYPE"
).split()

# TARN clock: 10,000 ticks per second since the flight software booted.
TARN_TICKS_PER_SECOND = 10_000
# Mission time of TARN time packets counts from this Unix second, in 1/65536 s fractions.
TARN_MISSION_EPOCH_UNIX = 946_728_000
# VIREO packets count whole seconds from 2010-01-01T00:00:00Z.
VIREO_EPOCH_UNIX = 1_262_304_000


@dataclass
class TestRun:
    """One test run of the archive and what was written for it."""

    mission: str
    model: str
    tid: int
    name: str
    start: datetime
    tm_file: str
    dac_table: str
    annotations: list = field(default_factory=list)
    packets: int = 0
    packets_by_type: dict = field(default_factory=dict)
    size: int = 0
    path: Path | None = None

    @property
    def tid_dir(self) -> str:
        return f"{self.start:%Y-%m-%d-%H.%M.%S}-{self.tid:05d}-{self.name}"

    @property
    def group(self) -> str:
        return self.mission.upper() + (f"_{self.model.upper()}" if self.model else "")

    @property
    def start_unix(self) -> int:
        return int(self.start.timestamp())


def _tarn_stream(run: TestRun, seconds: int, min_packets: int, rng: random.Random):
    """TOM packets of a TARN test: one SEB housekeeping packet a second, a time packet every
    ten seconds, science packets, markers, messages and a ground-made packet at the start.

    Layouts of the data fields are provisional until the mission database defines them; the
    sizes are chosen so that checksums run over odd lengths and across the 360-word blocks.
    """
    boot_ticks = 6_000_000  # the instrument had been up for 600 s when the test started
    seq: dict[int, int] = {}

    def emit(full_type: int, ticks: int, data: bytes) -> bytes:
        s = seq.get(full_type, 0)
        seq[full_type] = s + 1
        return tom_packet(full_type, s, ticks, data)

    second = 0
    count = 0
    yield 0x83, emit(0x83, boot_ticks, b"\x00" + run.tid_dir.encode("ascii"))
    count += 1
    while second < seconds or count < min_packets:
        ticks = boot_ticks + second * TARN_TICKS_PER_SECOND
        if second % 10 == 0:
            mission_seconds = run.start_unix + second - TARN_MISSION_EPOCH_UNIX
            data = struct.pack(">BIHI", 0, mission_seconds, 0, ticks)
            yield 2, emit(2, ticks, data)
            count += 1
        hk = [rng.randrange(0, 4096) for _ in range(23)]
        yield 22, emit(22, ticks + 17, struct.pack(">B23H", 1, *hk))
        count += 1
        if second % 7 == 3:
            counts = bytes(rng.randrange(0, 256) for _ in range(1500))
            yield 10, emit(10, ticks + 250, b"\x02" + counts)
            count += 1
        if second % 30 == 5:
            text = f"marker {second // 30}".encode("ascii")
            yield 9, emit(9, ticks + 500, struct.pack(">BH", 0, second // 30 + 1) + text)
            count += 1
        if second % 45 == 12:
            text = f"SEB status nominal at {second} s".encode("ascii")
            yield 8, emit(8, ticks + 700, b"\x00" + text)
            count += 1
        second += 1


def _vireo_stream(run: TestRun, seconds: int, rng: random.Random):
    """CCSDS packets of a VIREO test: housekeeping every second, markers and messages."""
    hk_apid, msg_apid, marker_apid = 704, 709, 743
    seq: dict[int, int] = {}

    def emit(apid: int, unix_seconds: int, fine: int, payload: bytes) -> bytes:
        s = seq.get(apid, 0)
        seq[apid] = (s + 1) & 0x3FFF
        # Byte 10 carries the fine time in 1/256 s; byte 11 is spare.
        header = ccsds_secondary_header(unix_seconds - VIREO_EPOCH_UNIX, fine << 8)
        return ccsds_packet(apid, s, header + payload)

    for second in range(seconds):
        now = run.start_unix + second
        hk = [rng.randrange(0, 65536) for _ in range(26)]
        yield hk_apid, emit(hk_apid, now, 0, struct.pack(">26H", *hk))
        if second % 20 == 4:
            text = f"test step {second // 20}".encode("ascii")
            yield marker_apid, emit(marker_apid, now, 128, struct.pack(">H", second // 20) + text)
        if second % 25 == 9:
            text = f"LEU energy sample interval {second % 7 + 1} s\n".encode("ascii")
            yield msg_apid, emit(msg_apid, now, 64, text)


def _write(path: Path, data: bytes | str, mtime: float) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    path.write_bytes(data)
    os.utime(path, (mtime, mtime))


class SampleArchive:
    """The archive's layout below one root directory."""

    def __init__(self, root: str | os.PathLike, tarn_min_packets: int = 0):
        self.root = Path(root).resolve()
        self.tarn_min_packets = tarn_min_packets
        self.runs = [
            TestRun(
                mission="tarn",
                model="FM",
                tid=12345,
                name="tarn_sample",
                start=datetime(2012, 4, 2, 12, 35, 42, tzinfo=STATION_ZONE),
                tm_file="tarn_12345.tlm",
                dac_table="TAR_DAC_Conversions.txt",
                annotations=[
                    {"key": 1, "x": 12.5, "text": "filament on", "relevant_hkids": [17, 18]},
                    {"key": 2, "x": 95.0, "text": "scan sequence started", "relevant_hkids": []},
                ],
            ),
            TestRun(
                mission="vireo",
                model="",
                tid=23456,
                name="vireo_sample",
                start=datetime(2016, 9, 14, 9, 5, 10, tzinfo=STATION_ZONE),
                tm_file="vireo_23456.tlm",
                dac_table="VIREO_DAC_Conversions.txt",
            ),
        ]

    def mission_dir(self, kind: str, mission: str) -> Path:
        return self.root / kind / mission

    def group_paths(self, run: TestRun) -> dict[str, Path]:
        m = run.mission
        prefix = "TAR" if m == "tarn" else "VIREO"
        defs = self.mission_dir("TMDef", m)
        paths = {
            "gse": self.mission_dir("gse", m),
            "tm_definitions": defs,
            "tm_database": defs / f"{prefix}_TM_Database.txt",
            "dac_file": defs / f"{prefix}_DAC_Conversions.txt",
            "viewers_root": self.mission_dir("Viewers", m),
            "data_root": self.mission_dir("data", m),
            "mcal_root": self.mission_dir("mcal", m),
        }
        if m == "tarn":
            paths.update(
                {
                    "sequence_root": self.mission_dir("sequence", m),
                    "seq_config": self.mission_dir("sequence", m) / "config-default.ops",
                    "heater_table": self.mission_dir("fswTables", m) / "heater.txt",
                    "sclk_table": defs / "TAR_SCLK.txt",
                }
            )
        return paths

    def run_dir(self, run: TestRun) -> Path:
        return self.group_paths(run)["data_root"] / run.tid_dir

    def write(self) -> dict:
        self.root.mkdir(parents=True, exist_ok=True)
        ini_lines = ["[814]", f"default_group={self.runs[0].group}", ""]
        for run in self.runs:
            self._write_definitions(run)
            ini_lines.append(f"[{run.group}]")
            for key, path in self.group_paths(run).items():
                ini_lines.append(f"{key}={path}")
            ini_lines.append("")
            self._write_run(run)
        ini = self.root / INI_NAME
        _write(ini, "\n".join(ini_lines), self.runs[0].start_unix)
        manifest = {
            "ini": str(ini),
            "runs": [
                {
                    "mission": r.mission,
                    "model": r.model,
                    "group": r.group,
                    "tid": r.tid,
                    "tid_dir": r.tid_dir,
                    "start_unix": r.start_unix,
                    "tm_file": str(r.path),
                    "bytes": r.size,
                    "packets": r.packets,
                    "packets_by_type": {str(k): v for k, v in sorted(r.packets_by_type.items())},
                }
                for r in self.runs
            ],
        }
        _write(self.root / MANIFEST_NAME, json.dumps(manifest, indent=2) + "\n", 0)
        return manifest

    def _write_definitions(self, run: TestRun) -> None:
        paths = self.group_paths(run)
        mtime = run.start_unix - 86400
        for key, path in paths.items():
            if key in ("tm_database", "dac_file", "seq_config", "heater_table", "sclk_table"):
                continue
            path.mkdir(parents=True, exist_ok=True)
        header = "\t".join(TMDB_COLUMNS) + "\t$Revision: 1042 $\n"
        _write(paths["tm_database"], header, mtime)
        _write(paths["dac_file"], "# DAC conversion table\n", mtime)
        if run.mission == "tarn":
            _write(paths["seq_config"], "# default sequence configuration\n", mtime)
            _write(paths["heater_table"], "# heater table\n", mtime)
            _write(paths["sclk_table"], "# spacecraft clock table\n", mtime)

    def _write_run(self, run: TestRun) -> None:
        directory = self.run_dir(run)
        directory.mkdir(parents=True, exist_ok=True)
        rng = random.Random(run.tid)
        if run.mission == "tarn":
            stream = _tarn_stream(run, 120, self.tarn_min_packets, rng)
        else:
            stream = _vireo_stream(run, 120, rng)
        run.path = directory / run.tm_file
        run.packets = 0
        run.size = 0
        run.packets_by_type = {}
        with open(run.path, "wb") as out:
            for kind, packet in stream:
                out.write(packet)
                run.packets += 1
                run.size += len(packet)
                run.packets_by_type[kind] = run.packets_by_type.get(kind, 0) + 1
        os.utime(run.path, (run.start_unix + 120, run.start_unix + 120))
        meta = {
            "gse": {
                "version": 3,
                "mission": run.mission,
                "model": run.model,
                "patch_files": [],
                "tid": run.tid,
                "tid_dir": run.tid_dir,
                "tmfile_name": run.tm_file,
                "default_mcal": "",
                "dac_table": run.dac_table,
            },
            "annotations": run.annotations,
        }
        _write(directory / "tm.meta", json.dumps(meta, indent=4) + "\n", run.start_unix)


def generate_archive(root: str | os.PathLike, tarn_min_packets: int = 0) -> dict:
    """Writes the sample archive below ``root`` and returns its manifest."""
    return SampleArchive(root, tarn_min_packets).write()
