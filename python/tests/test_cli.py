"""The console on both sample missions against what the generator wrote: every reading
subcommand, plots, following a file the station appends to, the progress bar and the exits."""

import csv
import fcntl
import os
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import termios
import time
from pathlib import Path

import pytest

pytest.importorskip("k814util.k814util")

from k814util.sample import metamarkers, tmdefs

HK_ITEM = {"tarn": (21, 22), "vireo": (12, 704)}  # (housekeeping item, its packet type)


def _run(*args, ini=None, **kw):
    cmd = [sys.executable, "-m", "k814util", *map(str, args)]
    if ini:
        cmd += ["--ini", str(ini)]
    return subprocess.run(cmd, capture_output=True, text=True, check=False, **kw)


@pytest.fixture(params=["tarn", "vireo"])
def run(request, archive):
    root, manifest = archive
    found = next(r for r in manifest["runs"] if r["mission"] == request.param)
    return root / ".814config.INI", found


def _expected_log(run):
    """The message log the generator's message texts make: parts joined, cut at line ends."""
    return "".join(e["text"] for e in run["expected"] if "text" in e).splitlines()


def _expected_meta_ids(tid):
    """Meta-marker ids of the rules that cover the test (the first rule of an id counts)."""
    ids = []
    for rule in metamarkers.RULES:
        lo, hi = (int(x) for x in rule["tids"].split("-"))
        if lo <= tid <= hi and rule["meta_marker_id"] not in ids:
            ids.append(rule["meta_marker_id"])
    return ids


def test_reading_subcommands_against_the_manifest(run):
    ini, run = run
    tm, mission = run["tm_file"], run["mission"]
    steps = ("summary", "log", "markers", "sequences")
    res = {cmd: _run(cmd, tm, ini=ini) for cmd in (*steps, "show")}
    for cmd, r in res.items():
        assert r.returncode == 0, (cmd, r.stderr)
    assert res["show"].stdout == "".join(res[cmd].stdout for cmd in steps)

    summary = res["summary"].stdout
    assert f"tid_dir        {run['tid_dir']}" in summary
    assert f"group {run['group']}: verified" in summary
    assert f"Unix {run['start_unix']})" in summary
    assert f"Packets: {run['packets']}\n" in summary
    counts = dict(re.findall(r"^ +(\d+)  \S.{23}  (\d+)$", summary, re.M))
    assert counts == {t: str(n) for t, n in run["packets_by_type"].items()}

    log = res["log"].stdout.splitlines()
    assert log[0] == f"Message log: {len(_expected_log(run))} lines"
    assert [line.split(None, 1)[1] for line in log[1:]] == _expected_log(run)

    markers = res["markers"].stdout.splitlines()
    written = [e["marker"] for e in run["expected"] if "marker" in e]
    if mission == "tarn":
        listed = [m for m in markers if m.startswith("  #")]
        assert [re.match(r"  #\d+ id (\d+) at [\d.]+ s: (.*)$", m).groups() for m in listed] == [
            (str(i), text) for i, _, text in written
        ]
        want = _expected_meta_ids(run["tid"])
        metas = markers[markers.index(f"Meta-markers: {len(want)}") + 1 :]
        assert sorted(int(m.split()[1]) for m in metas) == sorted(want)
        # The marker-bound rules (see the generator): marker 1 to 2, marker 2 to a second
        # before marker 4, and the 20 s before marker 4.
        t = {int(i): float(at) for i, at in (m.split()[2:5:2] for m in listed)}
        spans = {int(m.split()[1]): (float(m.split()[3]), float(m.split()[6])) for m in metas}
        for rule, span in (
            (50001, (t[1], t[2])),
            (50003, (t[2], t[4] - 1)),
            (50004, (t[4] - 20, t[4])),
        ):
            assert spans[rule] == pytest.approx(span, abs=2e-3), rule
        commands = [c for e in run["expected"] for c, _ in e.get("seb", [])]
        lines = res["sequences"].stdout.splitlines()
        assert lines[0] == f"SEB sequences: {sum(1 for e in run['expected'] if 'seb' in e)}"
        assert [int(line.split()[0]) for line in lines if line.startswith("    ")] == commands
        # Fields decoded through the definitions, the DAC table and the database.
        for text in ("dac=EM_A value=-2352.94V", "bin_time=100us", "Unknown command 5"):
            assert text in res["sequences"].stdout
        # The rule files' problems are reported, once, and are not fatal.
        assert res["markers"].stderr.count("zz_broken.json failed validation. Skipping") == 1
    else:
        # Markers with an id open intervals; the one never closed is listed as open.
        opened = [text for i, _, text in written if i]
        assert markers[0] == f"VIREO markers: {len(opened)}"
        assert [m.split("  ")[-1].strip() for m in markers[1:]] == opened
        assert sum("(open)" in m for m in markers) == 1
        assert res["sequences"].stdout.startswith("SEB sequences: none")


def test_items_and_values(run, tmp_path):
    ini, run = run
    tm, mission = run["tm_file"], run["mission"]
    defs = tmdefs.tarn_mission() if mission == "tarn" else tmdefs.vireo_mission()
    pattern = "EMON" if mission == "tarn" else "T_"
    res = _run("items", tm, pattern, ini=ini)
    assert res.returncode == 0, res.stderr
    want = sorted(i.data_id for i in defs.items if pattern in f"{i.subsystem}:{i.name}")
    assert [int(line.split()[0]) for line in res.stdout.splitlines()[1:-1]] == want
    assert res.stdout.splitlines()[-1] == f"Items: {len(want)} matching '{pattern}'"

    hkid, ptype = HK_ITEM[mission]
    item = defs.item(hkid)
    hk_packets = [i for i, e in enumerate(run["expected"]) if e["type"] == ptype]
    name = f"{item.subsystem}:{item.name}"
    res = _run("values", tm, hkid, name, "--mode", "raw", ini=ini)
    assert res.returncode == 0, res.stderr
    rows = list(csv.DictReader(res.stdout.splitlines()))
    # Both names give the same item, read once.
    assert [(int(r["packet"]), r["item"], r["sample"]) for r in rows] == [
        (i, name, "0") for i in hk_packets
    ]
    assert float(rows[0]["unix_time"]) == pytest.approx(run["expected"][hk_packets[0]]["unix"])
    if mission == "vireo":  # HK:COUNTS_LE counts up by 3 a second in the generated stream
        assert [float(r["value"]) for r in rows[:5]] == [0.0, 3.0, 6.0, 9.0, 12.0]
    assert {r["mode"] for r in rows} == {"raw"}

    pytest.importorskip("pyarrow")
    out = tmp_path / "values.parquet"
    res = _run("values", tm, hkid, "--format", "parquet", "--out", out, "--mode", "raw", ini=ini)
    assert res.returncode == 0, res.stderr
    import pandas as pd

    # The CSV's columns and values, and each value's UTC time.
    frame = pd.read_parquet(out)
    assert list(frame.columns) == [*rows[0], "time"]
    assert frame[[*rows[0]]].astype(str).to_dict("records") == [
        {k: str(float(v)) if k.endswith("time") or k == "value" else v for k, v in r.items()}
        for r in rows
    ]
    utc = pd.to_datetime([float(r["unix_time"]) for r in rows], unit="s", utc=True)
    assert (abs(frame["time"] - utc) < pd.Timedelta(microseconds=1)).all()


def _png_size(path: Path) -> tuple[int, int]:
    """Width and height from a PNG file's header chunk; fails for anything but a PNG."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    return int.from_bytes(data[16:20], "big"), int.from_bytes(data[20:24], "big")


def test_plot_a_panel_per_unit_and_no_window_without_a_display(run, tmp_path):
    pytest.importorskip("matplotlib")
    ini, run = run
    # Two items of one unit and one of another: two panels of 300 pixels under a 100 title,
    # and on TARN the meta-markers' lane: 40 pixels and 22 per band.
    items = {"tarn": ("SEB:EMON_A", "18", "21"), "vireo": ("10", "HK:T_PRT")}[run["mission"]]
    panels = {"tarn": 2, "vireo": 2}[run["mission"]]
    png = tmp_path / "trend.png"
    res = _run("plot", run["tm_file"], *items, "--png", png, ini=ini)
    assert res.returncode == 0, res.stderr
    width, height = _png_size(png)
    lane = height - 100 - 300 * panels
    assert str(png) in res.stdout and width == 1200
    assert (lane > 40 and (lane - 40) % 22 == 0) if run["mission"] == "tarn" else lane == 0
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    res = _run("plot", run["tm_file"], items[0], ini=ini, env=dict(env, MPLBACKEND="agg"))
    assert res.returncode == 1 and "--png OUT" in res.stderr.splitlines()[-1]


def test_spectrum_and_tic(archive, tmp_path):
    pytest.importorskip("matplotlib")
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    ini, scans = root / ".814config.INI", run["science"]["scans"]
    res = _run("scans", run["tm_file"], ini=ini)
    assert res.returncode == 0 and res.stdout.startswith(f"Scans: {len(scans)}\n")
    want = next(s for s in scans if s["counts"] is not None)
    res = _run("spectrum", run["tm_file"], want["index"], ini=ini)
    counts = [int(r["count"]) for r in csv.DictReader(res.stdout.splitlines())]
    first = min(s for s, _, _ in want["segments"])
    assert counts[first : first + want["bins"]] == want["counts"]
    res = _run("tic", run["tm_file"], ini=ini)
    assert [int(r["tic"]) for r in csv.DictReader(res.stdout.splitlines())] == [
        s["count_sum"] for s in scans
    ]
    tic = tmp_path / "tic.png"
    res = _run("tic", run["tm_file"], "--png", tic, ini=ini)
    # The TIC and the corrected TIC (300 and 200 pixels), the lane of the meta-markers.
    width, height = _png_size(tic)
    assert res.returncode == 0 and width == 1200 and (height - 640) % 22 == 0 < height - 640
    res = _run("tic", run["tm_file"], "--png", tic, "--utc", ini=ini)
    assert res.returncode == 0 and _png_size(tic) == (width, height)
    res = _run("spectrum", run["tm_file"], len(scans), ini=ini)
    assert res.returncode == 1 and "get_scan was passed an invalid scan index." in res.stderr


@pytest.mark.parametrize("mission", ["tarn", "vireo"])
def test_follow_prints_what_a_steadily_writing_station_appends(archive, tmp_path, mission):
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == mission)
    hkid, ptype = HK_ITEM[mission]
    source = Path(run["tm_file"])
    test_dir = tmp_path / source.parent.name  # the TID comes from the directory's name
    test_dir.mkdir()
    shutil.copy(source.parent / "tm.meta", test_dir)
    data, tm = source.read_bytes(), test_dir / source.name
    # The station writes the rest in small pieces that cut packets, never pausing, and less
    # than the largest packet in all: the follower must read on while the writes go on.
    piece, start = {"tarn": (150, len(data) - 30000), "vireo": (50, len(data) - 8000)}[mission]
    tm.write_bytes(data[:start])
    env = dict(os.environ, INI814=str(root / ".814config.INI"))
    cmd = [sys.executable, "-m", "k814util", "follow", str(tm), str(hkid), "--interval", "0.1"]
    proc = subprocess.Popen(  # unbuffered: select() sees every line not read yet
        cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, bufsize=0
    )
    lines: list[tuple[float, str]] = []

    def read_ready(wait: float) -> None:
        if select.select([proc.stdout], [], [], wait)[0]:
            lines.append((time.monotonic(), proc.stdout.readline().decode()))

    try:
        header = proc.stdout.readline().decode()
        so_far = int(re.match(r"following .*: (\d+) packets so far", header).group(1))
        want = sum(e["type"] == ptype for e in run["expected"][so_far:])
        with tm.open("ab") as out:
            for at in range(start, len(data), piece):
                out.write(data[at : at + piece])
                out.flush()
                read_ready(0.02)
        written = time.monotonic()
        deadline = written + 30
        while sum(" = " in t for _, t in lines) < want and time.monotonic() < deadline:
            read_ready(0.5)
        # Packets after the last value print nothing: ten more looks for them to be read.
        time.sleep(1.0)
        proc.send_signal(signal.SIGINT)
        rest, _ = proc.communicate(timeout=15)
    finally:
        proc.kill()
    values = [(at, t) for at, t in lines if " = " in t]
    assert len(values) == want > 0 and values[0][0] < written
    assert proc.returncode == 0 and rest.decode().startswith(f"stopped after {run['packets']}")


def _on_a_terminal(args, env):
    """Standard error of the console on a pseudo-terminal (standard output a pipe)."""
    main, side = pty.openpty()
    fcntl.ioctl(side, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 120, 0, 0))  # as terminals have
    proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=side, env=env)
    os.close(side)
    seen = b""
    while True:
        try:
            chunk = os.read(main, 4096)
        except OSError:  # the terminal closed with the process
            break
        if not chunk:
            break
        seen += chunk
    proc.wait(timeout=30)
    os.close(main)
    return proc.returncode, seen.decode(errors="replace")


def test_progress_bar_on_a_terminal_only(archive):
    pytest.importorskip("tqdm")
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    env = dict(os.environ, INI814=str(root / ".814config.INI"))
    args = [sys.executable, "-m", "k814util", "values", run["tm_file"], "21"]
    status, terminal = _on_a_terminal(args, env)
    name = Path(run["tm_file"]).name
    assert status == 0 and f"reading {name}" in terminal and "packets/s" in terminal
    status, quiet = _on_a_terminal(args + ["--quiet"], env)
    assert status == 0 and f"reading {name}" not in quiet
    piped = subprocess.run(args, capture_output=True, text=True, env=env, check=False)
    assert piped.returncode == 0 and f"reading {name}" not in piped.stderr


@pytest.mark.parametrize("case", ["missing file", "no tm.meta", "bad group"])
def test_a_file_that_cannot_be_bound_exits_1_with_the_binding_line(tmp_path, archive, case):
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    if case == "missing file":
        path = tmp_path / "nope.tlm"
        expected = f"tmfile does not exist: {path}\n"
    elif case == "no tm.meta":
        path = tmp_path / "lonely.tlm"
        path.write_bytes(Path(run["tm_file"]).read_bytes())
        expected = f"A valid tm.meta could not be found for {path}\n"
    else:
        path = tmp_path / "run.tlm"
        path.write_bytes(b"\x00")
        (tmp_path / "tm.meta").write_text(
            '{"gse": {"version": 3, "mission": "vireo", "model": "em"}}'
        )
        ini = root / ".814config.INI"
        expected = (
            f"VIREO_EM in .814config.INI either does not exist or is invalid for {path} "
            f"(the configuration file {ini} has no group [VIREO_EM])\n"
        )
    ini = root / ".814config.INI"
    for cmd in (("info",), ("summary",), ("values", "10"), ("follow",)):
        res = _run(cmd[0], path, *cmd[1:], ini=ini)
        assert res.returncode == 1 and res.stderr == expected, cmd


_REBIND = """
import os, sys, k814util
vireo, tarn, ini = sys.argv[1:]
f = k814util.open(vireo)
before = [p.get_type() for p in f]
os.environ["INI814"] = ini
try:
    k814util.open(tarn)
except k814util.BindingError as exc:
    print(exc)
# The documented operations read the process's packets; the package's own refuse to answer for
# a binding that is not the object's.
print(before == [f.get_pkt(i).get_type() for i in range(f.length())], f.length())
try:
    len(f)
    print("current")
except k814util.StaleBindingError:
    print("stale")
"""


@pytest.mark.parametrize("broken", ["definitions", "database"])
def test_a_failed_binding_leaves_the_process_whole_or_unbound(archive, tmp_path, broken):
    # VIREO bound, then TARN in a copy of the archive with one of its files broken: the SEB
    # command definitions are read before anything is replaced (VIREO stays bound), a database
    # fails once the engine is being replaced (nothing stays bound); never TARN's packets.
    root, manifest = archive
    copy = tmp_path / "copy"
    shutil.copytree(root, copy)
    ini = copy / ".814config.INI"
    ini.write_text(ini.read_text().replace(str(root), str(copy)))
    if broken == "definitions":
        (copy / "gse/tarn/viewerConfigs/seb_cmds.json").write_text('[{"id": ')
        message, kept = "seb_cmds.json: unterminated object", "True 195\ncurrent"
    else:
        db = copy / "TMDef/tarn/TAR_TM_Database.txt"
        db.write_text(db.read_text().replace("\tDATA_ID\t", "\tID\t", 1))
        message, kept = "Could not find required database field DATA_ID", "False 0\nstale"
    runs = {r["mission"]: r for r in manifest["runs"]}
    tarn = copy / Path(runs["tarn"]["tm_file"]).relative_to(root)
    res = subprocess.run(
        [sys.executable, "-c", _REBIND, runs["vireo"]["tm_file"], str(tarn), str(ini)],
        capture_output=True,
        text=True,
        check=False,
        env=dict(os.environ, INI814=str(root / ".814config.INI")),
    )
    assert res.returncode == 0, res.stderr
    assert message in res.stdout.splitlines()[0]
    assert (
        res.stdout.splitlines()[1:]
        == kept.replace("195", str(runs["vireo"]["packets"])).splitlines()
    )


def test_wrong_usage_exits_2_with_the_usage_line(archive):
    root, manifest = archive
    tm = manifest["runs"][0]["tm_file"]
    for args in (
        ("values", tm),
        ("values", tm, "21", "--format", "parquet"),
        ("values", tm, "21", "--format", "xls"),
        ("follow", tm, "--interval", "0"),
        ("plot",),
        # an option the subcommand lacks is refused by that subcommand, with its usage
        ("show", tm, "--bogus"),
        ("archive", "list", "--bogus"),
    ):
        res = _run(*args)
        assert res.returncode == 2 and res.stderr.startswith(f"usage: k814util {args[0]} "), args
        assert "--bogus" not in args or "unrecognized arguments: --bogus" in res.stderr
    res = _run("frobnicate", tm)
    assert res.returncode == 2 and res.stderr.startswith("usage: k814util [-h]")
    res = _run("values", tm, "SEB:EMON_C", ini=root / ".814config.INI")
    last = res.stderr.splitlines()[-1]
    assert res.returncode == 1 and "'SEB:EMON_C'; close matches: " in last
    assert {"SEB:EMON_A", "SEB:EMON_B"} <= set(last.split(": ")[-1].split(", "))
