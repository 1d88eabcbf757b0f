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
import re
from dataclasses import dataclass, field
from datetime import datetime, timedelta
from pathlib import Path
from zoneinfo import ZoneInfo

from k814util.sample import bulk, limits, masscal, metamarkers, science, seb, tmdefs
from k814util.sample.streams import DAMAGE, Layout, tarn_stream, vireo_stream

STATION_ZONE = ZoneInfo("America/New_York")
INI_NAME = ".814config.INI"
MANIFEST_NAME = "manifest.json"

# Written by the station beside a tm.meta: the run's definition patches, in order.
TARN_PATCHES = ["TAR_TM_Patch_FM.txt", "TAR_GSE_Packets.json"]
SEB_FILES = ["scan_setup.seq", "truncated.seq"]

# Names of the further test runs of a larger archive, per mission (cycled with a number when
# more are asked for).
FURTHER_NAMES = {
    "tarn": ["ei_bakeout", "ldi_survey", "thermal_cycle", "gc_checkout", "hv_ramp", "dark_counts"],
    "vireo": ["cal_lamp", "dark_frames", "mirror_scan", "cold_soak", "stray_light", "flat_field"],
}
BROKEN_META = "broken tm.meta"
DAMAGED_TELEMETRY = "damaged telemetry file"


@dataclass
class TestRun:
    """One test run of the archive and what was written for it.

    Parameters
    ----------
    mission, model : str
        The mission ("tarn", "vireo") and model ("FM", ...).
    tid : int
        The test ID.
    name : str
        The test's name (the end of its TID directory's name).
    start : datetime.datetime
        When the test started (UTC).
    tm_file, dac_table : str
        The telemetry file's and the DAC table's names.
    mission_defs : Mission
        The mission's definitions the generator writes and decodes with.
    **fields
        What writing it found out: ``packets``, ``packets_by_type``, ``expected``, ``science``,
        ``custom_items``, ``limit_violations``, ``size``, ``path`` and the rest.

    Examples
    --------
    >>> import tempfile
    >>> from k814util.sample import SampleArchive
    >>> run = SampleArchive(tempfile.mkdtemp()).runs[0]
    >>> run.mission, run.tid, run.tid_dir
    ('tarn', 12345, '2012-04-02-12.35.42-12345-tarn_sample')
    """

    mission: str
    model: str
    tid: int
    name: str
    start: datetime
    tm_file: str
    dac_table: str
    mission_defs: tmdefs.Mission
    patch_files: list = field(default_factory=list)
    annotations: list = field(default_factory=list)
    packets: int = 0
    packets_by_type: dict = field(default_factory=dict)
    damage_bytes: int = 0
    expected: list = field(default_factory=list)
    default_mcal: str = ""
    science: dict = field(default_factory=dict)
    custom_items: list = field(default_factory=list)
    limit_violations: list = field(default_factory=list)
    size: int = 0
    path: Path | None = None
    seconds: int = 120
    problem: str = ""

    @property
    def tid_dir(self) -> str:
        return f"{self.start:%Y-%m-%d-%H.%M.%S}-{self.tid:05d}-{self.name}"

    @property
    def group(self) -> str:
        return self.mission.upper() + (f"_{self.model.upper()}" if self.model else "")

    @property
    def start_unix(self) -> int:
        return int(self.start.timestamp())


def _write(path: Path, data: bytes | str, mtime: float) -> None:
    path.parent.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    path.write_bytes(data)
    os.utime(path, (mtime, mtime))


class SampleArchive:
    """The archive's layout below one root directory, and the writing of it.

    Parameters
    ----------
    root : str or os.PathLike
        The archive's folder.
    tarn_min_packets : int, default 0
        Pad the TARN sample test with generated scans to at least this many packets.
    runs : int, default 1
        Test runs per mission.

    Raises
    ------
    ValueError
        For fewer than one run.

    Examples
    --------
    >>> import tempfile
    >>> from k814util.sample import SampleArchive
    >>> archive = SampleArchive(tempfile.mkdtemp())
    >>> [run.group for run in archive.runs]
    ['TARN_FM', 'VIREO']
    """

    def __init__(self, root: str | os.PathLike, tarn_min_packets: int = 0, runs: int = 1):
        if runs < 1:
            raise ValueError(f"an archive needs at least one run per mission, not {runs}")
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
                mission_defs=tmdefs.tarn_mission(),
                patch_files=list(TARN_PATCHES),
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
                mission_defs=tmdefs.vireo_mission(),
            ),
        ]
        self.further_runs = [
            self._further_run(first, k, runs) for k in range(1, runs) for first in self.runs
        ]

    @staticmethod
    def _further_run(first: TestRun, k: int, runs: int) -> TestRun:
        """Test run ``k`` (from 1) of the mission of ``first``: a later date, its own name and
        length. The last of them has a problem: a TARN run a damaged telemetry file, a VIREO run
        a broken tm.meta."""
        names = FURTHER_NAMES[first.mission]
        name = names[(k - 1) % len(names)]
        if k > len(names):
            name += f"_{(k - 1) // len(names) + 1}"
        tid = first.tid + k
        problem = ""
        if k == runs - 1:
            problem = DAMAGED_TELEMETRY if first.mission == "tarn" else BROKEN_META
        return TestRun(
            mission=first.mission,
            model=first.model,
            tid=tid,
            name=name,
            start=first.start + timedelta(days=37 * k, hours=(5 * k) % 9, minutes=13 * k),
            tm_file=f"{first.mission}_{tid}.tlm",
            dac_table=first.dac_table,
            mission_defs=first.mission_defs,
            patch_files=list(first.patch_files),
            seconds=40 + (29 * k) % 80,
            problem=problem,
        )

    def mission_dir(self, kind: str, mission: str) -> Path:
        """The folder of one kind of a mission's files.

        Parameters
        ----------
        kind : str
            The top folder: "data", "TMDef", "gse", "Viewers", "mcal", "sequence", ...
        mission : str
            "tarn" or "vireo".

        Returns
        -------
        pathlib.Path
            ``root/kind/mission`` (not created here).

        Examples
        --------
        >>> from k814util.sample import SampleArchive
        >>> archive = SampleArchive("/tmp/sample")
        >>> archive.mission_dir("TMDef", "tarn").as_posix()
        '/tmp/sample/TMDef/tarn'
        """
        return self.root / kind / mission

    def group_paths(self, run: TestRun) -> dict[str, Path]:
        """The paths the configuration file's group of a run names.

        Parameters
        ----------
        run : TestRun
            One of ``runs`` or ``further_runs``.

        Returns
        -------
        dict of str to pathlib.Path
            Each key of the group (``data_root``, ``tm_database``, ...) and its path; a TARN
            group also has its sequence, heater and clock tables.

        Examples
        --------
        >>> from k814util.sample import SampleArchive
        >>> archive = SampleArchive("/tmp/sample")
        >>> tarn, vireo = archive.runs
        >>> archive.group_paths(vireo)["tm_database"].as_posix()
        '/tmp/sample/TMDef/vireo/VIREO_TM_Database.txt'
        >>> "sclk_table" in archive.group_paths(tarn), "sclk_table" in archive.group_paths(vireo)
        (True, False)
        """
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
        """The TID directory of a run, below its group's data root.

        Parameters
        ----------
        run : TestRun
            One of ``runs`` or ``further_runs``.

        Returns
        -------
        pathlib.Path

        Examples
        --------
        >>> from k814util.sample import SampleArchive
        >>> archive = SampleArchive("/tmp/sample")
        >>> archive.run_dir(archive.runs[0]).as_posix()
        '/tmp/sample/data/tarn/2012-04-02-12.35.42-12345-tarn_sample'
        """
        return self.group_paths(run)["data_root"] / run.tid_dir

    def write(self) -> dict:
        """Writes the archive: definitions, configuration file, every run and the manifest.

        Returns
        -------
        dict
            The manifest (also written as "manifest.json"): the configuration file and, per
            run, its files, packets and the values a reader must find in them.

        Examples
        --------
        >>> import tempfile
        >>> from k814util.sample import SampleArchive
        >>> manifest = SampleArchive(tempfile.mkdtemp()).write()
        >>> [(run["tid"], run["packets"]) for run in manifest["runs"]]
        [(12345, 771), (23456, 195)]
        """
        self.root.mkdir(parents=True, exist_ok=True)
        ini_lines = ["[814]", f"default_group={self.runs[0].group}", ""]
        for run in self.runs:
            self._write_definitions(run)
            ini_lines.append(f"[{run.group}]")
            for key, path in self.group_paths(run).items():
                ini_lines.append(f"{key}={path}")
            ini_lines.append("")
            self._write_run(run)
        for run in self.further_runs:
            self._write_run(run)
            self._damage(run)
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
                    "damage_bytes": r.damage_bytes,
                    "expected": r.expected,
                    "science": r.science,
                    "custom_items": r.custom_items,
                    "limit_violations": r.limit_violations,
                    "seb": {
                        "definitions": str(
                            self.group_paths(r)["gse"] / "viewerConfigs" / "seb_cmds.json"
                        ),
                        "files": [
                            str(self.group_paths(r)["sequence_root"] / name) for name in SEB_FILES
                        ],
                        "file_commands": seb.manifest(seb.scan_setup()),
                    }
                    if r.mission == "tarn"
                    else {},
                    "mcal": {
                        "file": r.default_mcal,
                        "entries": masscal.manifest_entries() if r.default_mcal else {},
                        "lab_v1_file": masscal.LAB_V1_NAME if r.mission == "tarn" else "",
                        "lab_v1_points": [list(p) for p in masscal.LAB_V1_POINTS],
                        "default_masses": list(masscal.DEFAULT_MASSES),
                    },
                }
                | ({"problem": r.problem} if r.problem else {})
                for r in self.runs + self.further_runs
            ],
        }
        _write(self.root / MANIFEST_NAME, _json_text(manifest), 0)
        return manifest

    def _write_definitions(self, run: TestRun) -> None:
        paths = self.group_paths(run)
        mtime = run.start_unix - 86400

        def write(path: Path, text: str) -> None:
            _write(path, text, mtime)

        for key, path in paths.items():
            if not tmdefs_file(key):
                path.mkdir(parents=True, exist_ok=True)
        tmdefs.write_definitions(run.mission_defs, paths["tm_definitions"], write)
        if run.mission == "tarn":
            defs = paths["tm_definitions"]
            write(defs / TARN_PATCHES[0], tmdefs.tarn_text_patch())
            write(defs / TARN_PATCHES[1], json.dumps(tmdefs.tarn_json_patch(), indent=2) + "\n")
            write(defs / "scantypesinfo.json", json.dumps(science.SCAN_TYPES, indent=2) + "\n")
            write(paths["seq_config"], "# default sequence configuration\n")
            write(paths["heater_table"], "# heater\tzone\tsetpoint degC\n1\tSEB\t20\n")
            write(paths["sclk_table"], "# spacecraft clock correlation: none (ground test)\n")
            write(paths["mcal_root"] / masscal.LAB_V1_NAME, masscal.lab_v1_text())
            write(paths["gse"] / "mcal" / "default_masses.amu", masscal.default_masses_text())
            write(
                paths["gse"] / "viewerConfigs" / "seb_cmds.json",
                json.dumps(seb.definitions(), indent=2) + "\n",
            )
            # A sequence file as the sequencer saves it, and one cut short after its sync bytes.
            sequences = paths["sequence_root"]
            _write(sequences / SEB_FILES[0], seb.sequence_file(seb.scan_setup()), mtime)
            _write(sequences / SEB_FILES[1], b"\x00\x01\xfa\xf3", mtime)
            rules = paths["gse"] / "MetaMarkerRules"
            write(rules / "sample_rules.json", metamarkers.rules_text())
            write(rules / "zz_broken.json", metamarkers.broken_rules_text())

    def _write_stream(self, run: TestRun, rng: random.Random) -> None:
        """The test's packets one by one, each with what it is meant to say. A run with a damaged
        telemetry file has a stretch overwritten afterwards: what it is meant to say are the
        packets the stretch leaves whole, and every other byte is damage."""
        scans = None
        if run.mission == "tarn":
            scans = science.timeline(run.mission_defs, Layout(run.mission_defs))
            stream = tarn_stream(
                run.mission_defs, run.start_unix, run.tid_dir, run.seconds, rng, scans
            )
        else:
            stream = vireo_stream(run.mission_defs, run.start_unix, run.seconds, rng)
        events = list(stream)
        data = bytearray(b"".join(e.data for e in events))
        hit = range(0)
        if run.problem == DAMAGED_TELEMETRY:
            hit = _overwrite(data)
        with open(run.path, "wb") as out:
            out.write(data)
        run.size = len(data)
        intact = []
        at = 0
        for e in events:
            start, at = at, at + len(e.data)
            if e.kind == DAMAGE or (start < hit.stop and hit.start < at):
                continue
            intact.append(e)
            run.packets_by_type[e.kind] = run.packets_by_type.get(e.kind, 0) + 1
            expected = {"type": e.kind, "unix": e.unix, "ground": list(e.ground or [])}
            if e.text is not None:
                expected["text"] = e.text
            if e.marker is not None:
                expected["marker"] = list(e.marker)
            if e.seb is not None:
                expected["seb"] = e.seb
            for item in e.custom or []:
                index = {"packet_index": len(intact) - 1, "packet_type": e.kind}
                run.custom_items.append({**index, **item})
            run.expected.append(expected)
        run.packets = len(intact)
        run.limit_violations = _limit_violations(run.mission_defs, intact)
        run.damage_bytes = run.size - sum(len(e.data) for e in intact)
        if scans is not None and not hit:
            # Relative times count from the first packet the instrument made (not the GSE's).
            # (A damaged file's scans lose packets the design cannot say; it has none listed.)
            t0 = next(e.unix for e in intact if e.kind < 0x80)
            run.science = science.expected_scans(
                run.mission_defs, intact, t0, scans.plans, scans.statuses
            )

    def _write_bulk(self, run: TestRun, rng: random.Random) -> None:
        """A long test of exactly ``tarn_min_packets`` packets, mostly science, for benchmarks."""
        with open(run.path, "wb") as out:
            run.size, by_type, summary = bulk.tarn_bulk(
                run.mission_defs, run.start_unix, run.tid_dir, self.tarn_min_packets, rng, out
            )
        run.packets = sum(by_type.values())
        run.packets_by_type = by_type
        run.science = summary

    def _write_run(self, run: TestRun) -> None:
        directory = self.run_dir(run)
        directory.mkdir(parents=True, exist_ok=True)
        rng = random.Random(run.tid)
        run.path = directory / run.tm_file
        run.packets = 0
        run.size = 0
        run.packets_by_type = {}
        run.damage_bytes = 0
        run.expected = []
        run.science = {}
        run.custom_items = []
        if run.mission == "tarn" and self.tarn_min_packets and any(run is r for r in self.runs):
            self._write_bulk(run, rng)
        else:
            self._write_stream(run, rng)
        os.utime(run.path, (run.start_unix + run.seconds, run.start_unix + run.seconds))
        if run.mission == "tarn":
            run.default_mcal = f"tarn_{run.tid}.mcal"
            _write(directory / run.default_mcal, masscal.tid_file_text(), run.start_unix)
        meta = {
            "gse": {
                "version": 3,
                "mission": run.mission,
                "model": run.model,
                "patch_files": run.patch_files,
                "tid": run.tid,
                "tid_dir": run.tid_dir,
                "tmfile_name": run.tm_file,
                "default_mcal": run.default_mcal,
                "dac_table": run.dac_table,
            },
            "annotations": run.annotations,
        }
        _write(directory / "tm.meta", json.dumps(meta, indent=4) + "\n", run.start_unix)

    def _damage(self, run: TestRun) -> None:
        """A broken tm.meta: cut short, no longer JSON (a damaged telemetry file is written
        damaged, see :meth:`_write_stream`)."""
        if run.problem == BROKEN_META:
            meta = self.run_dir(run) / "tm.meta"
            text = meta.read_bytes()
            _write(meta, text[: len(text) // 2], run.start_unix)


def _limit_violations(mission, intact: list) -> list[dict]:
    """The spans the planted limit items' values make in the packets the reader keeps."""
    samples: dict[str, list] = {}
    for index, e in enumerate(intact):
        for key, raw in (e.limits or {}).items():
            samples.setdefault(key, []).append((index, e.unix, raw))
    return [
        span
        for key in sorted(samples, key=lambda k: mission.item(k).data_id)
        for span in limits.expected_spans(mission.item(key), samples[key])
    ]


def _overwrite(data: bytearray) -> range:
    """Overwrites a stretch a third into data with a failing disk's fill pattern; returns it."""
    at = len(data) // 3
    stretch = min(4096, len(data) - at)
    data[at : at + stretch] = b"\xde\xad" * (stretch // 2) + b"\xde" * (stretch % 2)
    return range(at, at + stretch)


_NUMBER_LIST = re.compile(r"\[\s*(-?[0-9][-0-9.eE+]*(?:,\s*-?[0-9][-0-9.eE+]*)*)\s*\]")


def _json_text(value) -> str:
    """Indented JSON with lists of numbers kept on one line, which keeps spectra short."""
    text = json.dumps(value, indent=2)
    return (
        _NUMBER_LIST.sub(
            lambda m: "[" + ", ".join(x.strip() for x in m.group(1).split(",")) + "]", text
        )
        + "\n"
    )


def tmdefs_file(key: str) -> bool:
    """Whether a configuration key names a file (the others name directories)."""
    return key in ("tm_database", "dac_file", "seq_config", "heater_table", "sclk_table")


def generate_archive(root: str | os.PathLike, tarn_min_packets: int = 0, runs: int = 1) -> dict:
    """Writes the sample archive below ``root`` and returns its manifest.

    The first run of each mission is the sample test; with ``runs`` above 1 the others are
    shorter ones on later dates, the last of them with a problem (see
    :meth:`SampleArchive._further_run`). The manifest (also written as "manifest.json") holds
    what a reader of each file must find: packets, times, scans with their counts, planted
    peaks and dark levels, custom items, limit violations.

    Parameters
    ----------
    root : str or os.PathLike
        The folder to write (made when missing).
    tarn_min_packets : int, default 0
        Pad the TARN sample test with generated scans to at least this many packets.
    runs : int, default 1
        Test runs per mission.

    Returns
    -------
    dict
        The manifest: ``runs`` (one entry per test run) and the archive's paths.

    Raises
    ------
    ValueError
        For fewer than one run.

    Examples
    --------
    >>> import tempfile
    >>> from k814util.sample import generate_archive
    >>> manifest = generate_archive(tempfile.mkdtemp())
    >>> sorted(r["mission"] for r in manifest["runs"])
    ['tarn', 'vireo']
    """
    return SampleArchive(root, tarn_min_packets, runs).write()
