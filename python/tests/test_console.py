"""The console's figures inspected as objects (traces per scan kind and mode, the meta-marker
lane, the UTC axis, titles and labels), its drawing helpers on hand-worked tables, and what it
says on standard error by default, with --verbose and with --quiet."""

import argparse
import os
import subprocess
import sys
from collections import Counter
from pathlib import Path

import numpy as np
import pytest

if os.environ.get("K814_REQUIRE_MODULE"):
    import k814util.k814util  # noqa: F401
else:
    pytest.importorskip("k814util.k814util")

from k814util.console import plotting, scans  # noqa: E402
from k814util.sample import tmdefs  # noqa: E402
from k814util.windows import Span  # noqa: E402

ORANGE = (1.0, 0.4980392156862745, 0.054901960784313725)  # tab:orange, the meta-marker bars


@pytest.mark.parametrize(
    "spans, lanes",
    [
        ([], []),
        ([(0, 10), (10, 20), (20, 30)], [0, 0, 0]),  # touching spans share a lane
        ([(0, 10), (5, 15), (10, 20), (12, 13)], [0, 1, 0, 2]),
        ([(0, 100), (1, 2), (3, 4), (5, 6)], [0, 1, 1, 1]),
        ([(5, 5), (5, 5)], [0, 0]),  # instants take no room
    ],
)
def test_lanes(spans, lanes):
    assert plotting.lanes([Span("meta-marker", 0, a, b, "") for a, b in spans]) == lanes


def test_decimate_keeps_each_columns_lowest_and_highest_value():
    x = np.arange(100.0)
    y = np.arange(100.0)[::-1].copy()
    y[57] = 1000.0
    dx, dy = plotting.decimate(x, y, columns=10)
    lows, highs = dy[0::2], dy[1::2]
    assert lows.tolist() == [90, 80, 70, 60, 50, 40, 30, 20, 10, 0]
    assert highs.tolist() == [99, 89, 79, 69, 59, 1000, 39, 29, 19, 9]
    assert np.all(np.diff(dx) >= 0) and len(dx) == 20
    # Short traces are drawn as they are, NaN left out.
    y[3] = np.nan
    short_x, short_y = plotting.decimate(x, y, columns=50)
    assert len(short_x) == 99 and not np.isnan(short_y).any()


@pytest.mark.parametrize(
    "unit, mode, label",
    [("Raw", "raw", "raw"), ("V", "sci", "V (sci)"), ("", "eng", "eng (no unit)")],
)
def test_axis_label_names_the_mode_once(unit, mode, label):
    assert plotting.axis_label(unit, mode) == label


def _args(run, f):
    return argparse.Namespace(path=run["tm_file"], bound_file=f)


def test_tic_draws_one_trace_per_kind_and_mode_and_metas_in_their_lane(tarn):
    run, f = tarn
    _, cols = scans._scan_rows(_args(run, f))
    fig, _ = plotting.tic(f, cols, utc=False, to_file=True)
    counts, corrected, lane = fig.axes
    designed = run["science"]["scans"]
    want = Counter((s["kind"], s["mode"]) for s in designed)
    labels = {line.get_label(): line for line in counts.get_lines()}
    assert sorted(labels) == sorted(f"{k} {m} ({n})" for (k, m), n in want.items())
    assert sorted(line.get_label() for line in corrected.get_lines()) == sorted(labels)
    for (kind, mode), n in want.items():
        line = labels[f"{kind} {mode} ({n})"]
        mine = [s for s in designed if (s["kind"], s["mode"]) == (kind, mode)]
        assert line.get_ydata().tolist() == [s["count_sum"] for s in mine]
        assert line.get_xdata() == pytest.approx([s["relative_time"] for s in mine], abs=1e-3)
    # The meta-markers: a bar each in the lane under the panels, none in a data panel.
    metas = f.get_meta_markers()
    assert len(metas) > 0 and lane.get_ylabel() == "meta-\nmarkers"
    bars = [p for p in lane.patches if p.get_facecolor()[:3] == pytest.approx(ORANGE)]
    assert len(bars) == len(metas)
    for ax in (counts, corrected):
        assert not [p for p in ax.patches if p.get_facecolor()[:3] == pytest.approx(ORANGE)]
    assert "meta-markers in the lane below" in fig._suptitle.get_text()
    assert f"{len(designed)} scans" in fig._suptitle.get_text()


@pytest.mark.parametrize("mission", ["tarn", "vireo"])
def test_trend_on_utc_and_titles_by_mission(archive, monkeypatch, mission):
    from matplotlib import dates

    import k814util

    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    run = next(r for r in manifest["runs"] if r["mission"] == mission)
    hkid, ptype = {"tarn": (21, 22), "vireo": (12, 704)}[mission]
    f = k814util.open(run["tm_file"])
    series = f.series(hkid, "raw")
    fig, _ = plotting.trend(f, {"": [("item", series)]}, "raw", utc=True, to_file=True)
    bottom = fig.axes[-1]
    assert bottom.get_xlabel() == "UTC"
    drawn = [d.timestamp() for d in dates.num2date(fig.axes[0].get_lines()[0].get_xdata())]
    unix = [e["unix"] for e in run["expected"] if e["type"] == ptype]
    assert drawn == pytest.approx(unix, abs=1e-3)
    title = fig._suptitle.get_text()
    if mission == "vireo":
        assert "meta-marker" not in title and "VIREO marker intervals shaded" in title
        assert len(fig.axes) == 1  # no lane
    else:
        assert "TARN markers shaded, meta-markers in the lane below" in title
        assert len(fig.axes) == 2


def _console(*args, env):
    return subprocess.run(
        [sys.executable, "-m", "k814util", *map(str, args)],
        capture_output=True,
        text=True,
        check=False,
        env=env,
    )


_COUNT = """
import sys, k814util
with k814util.capture_diagnostics() as lines:
    k814util.open(sys.argv[1])
print(sum(d.kind == "reader" for d in lines), len(lines))
"""


def test_diagnostics_summary_verbose_and_quiet(archive):
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    assert run["damage_bytes"] > 0
    env = dict(os.environ, INI814=str(root / ".814config.INI"))
    counted = subprocess.run(
        [sys.executable, "-c", _COUNT, run["tm_file"]],
        capture_output=True,
        text=True,
        check=True,
        env=env,
    )
    reader, _ = map(int, counted.stdout.split())
    assert reader > 0
    summary = f"reader: {reader} lines about damaged telemetry; --verbose shows them"
    plain = _console("summary", run["tm_file"], env=env)
    verbose = _console("summary", run["tm_file"], "--verbose", env=env)
    quiet = _console("summary", run["tm_file"], "--quiet", env=env)
    assert plain.returncode == verbose.returncode == quiet.returncode == 0
    assert plain.stdout == verbose.stdout == quiet.stdout  # the data, never the diagnostics
    assert plain.stderr.splitlines().count(summary) == 1
    assert quiet.stderr == ""
    shown = verbose.stderr.splitlines()
    assert summary not in shown
    others = [line for line in plain.stderr.splitlines() if line != summary]
    assert len(shown) == len(others) + reader
    assert all(line in shown for line in others)


def test_summary_of_a_file_without_packets(archive, tmp_path):
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    source = Path(run["tm_file"])
    copy = tmp_path / source.parent.name
    copy.mkdir()
    (copy / "tm.meta").write_bytes((source.parent / "tm.meta").read_bytes())
    (copy / source.name).write_bytes(b"")
    env = dict(os.environ, INI814=str(root / ".814config.INI"))
    res = _console("summary", copy / source.name, env=env)
    assert res.returncode == 0, res.stderr
    lines = res.stdout.splitlines()
    assert "Packets: 0" in lines
    assert lines[lines.index("Packets: 0") + 1 :] == [
        "  time span      none: the file has no packets",
        "  T0             none: no packets, no clock",
    ]


def test_values_name_value_mode_and_units(archive):
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    item = tmdefs.tarn_mission().item(21)
    env = dict(os.environ, INI814=str(root / ".814config.INI"))
    res = _console("values", run["tm_file"], item.key, env=env)
    assert res.returncode == 0, res.stderr
    header, *rows = [line.split(",") for line in res.stdout.splitlines()]
    assert header == [
        "packet",
        "unix_time",
        "relative_time",
        "value",
        "mode",
        "units",
        "item",
        "sample",
    ]
    assert rows and {(r[4], r[5], r[6]) for r in rows} == {("sci", item.units, item.key)}


def test_tic_of_a_long_run_is_drawn_decimated(tmp_path, monkeypatch):
    from k814util.sample import generate_archive

    import k814util

    manifest = generate_archive(tmp_path, tarn_min_packets=60000)
    monkeypatch.setenv("INI814", str(tmp_path / ".814config.INI"))
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    f = k814util.open(run["tm_file"])
    _, cols = scans._scan_rows(_args(run, f))
    fig, _ = plotting.tic(f, cols, utc=False, to_file=True)
    kinds = np.array([plotting.KINDS[int(t)] for t in cols["src_pkt_type"]])
    drawn = 0
    for line in fig.axes[0].get_lines():
        kind, mode, n = line.get_label().replace("(", "").replace(")", "").split()
        tic = cols["tic"][(kinds == kind) & (cols["mode"] == mode)]
        assert len(tic) == int(n)
        y = line.get_ydata()
        # Every scan of the trace is within what is drawn, and the extremes are drawn.
        assert len(y) <= 2 * plotting.COLUMNS < len(tic) or len(y) == len(tic)
        assert (y.min(), y.max()) == (tic.min(), tic.max())
        drawn += int(n)
    assert drawn == len(cols["scan"]) > 2 * plotting.COLUMNS


def test_an_ini_that_does_not_exist_is_named(archive, tmp_path):
    root, manifest = archive
    run = manifest["runs"][0]
    missing = tmp_path / "nowhere.INI"
    for cmd in ("info", "summary"):
        res = _console(cmd, run["tm_file"], "--ini", missing, env=dict(os.environ))
        assert res.returncode == 1 and res.stdout == ""
        assert res.stderr == f"the configuration file {missing} does not exist\n"


def test_a_failing_command_reports_its_diagnostics_before_its_failure(archive):
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    env = dict(os.environ, INI814=str(root / ".814config.INI"))
    res = _console("values", run["tm_file"], "SEB:EMON_C", env=env)
    lines = res.stderr.splitlines()
    assert res.returncode == 1 and res.stdout == ""
    assert "'SEB:EMON_C'; close matches: " in lines[-1]
    assert sum("zz_broken.json failed validation" in line for line in lines[:-1]) == 1
    assert lines[-2].startswith("reader: ") and lines[-2].endswith(
        " lines about damaged telemetry; --verbose shows them"
    )
