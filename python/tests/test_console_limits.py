"""The console's limits report and the plot's limit marks against the violations the sample
generator planted (its manifest's spans and the limits its docstring works out by hand)."""

import re
from datetime import datetime, timezone

import pytest

pd = pytest.importorskip("pandas")
pytest.importorskip("matplotlib")
pytest.importorskip("k814util.k814util")

from k814util.console import plotting  # noqa: E402
from k814util.sample import limits as planted  # noqa: E402

import k814util  # noqa: E402
from k814util import console  # noqa: E402

PLANTED = [planted.PRESSURE, planted.CURRENT, planted.STATE]
EXACT = ("id", "mnemonic", "set", "level", "value_mode", "comparison", "limit")
EXACT += ("first_packet", "last_packet", "samples", "open")


@pytest.fixture(params=["tarn", "vireo"])
def run(request, archive, monkeypatch):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    return next(r for r in manifest["runs"] if r["mission"] == request.param)


def _utc(unix: float) -> str:
    # To the millisecond, cut rather than rounded.
    return datetime.fromtimestamp(unix, timezone.utc).strftime("%Y-%m-%dT%H:%M:%S.%f")[:23] + "Z"


@pytest.mark.parametrize("level", ["yellow", "red"])
def test_the_table_lists_the_planted_spans(run, level, capsys):
    spans = [s for s in run["limit_violations"] if level == "yellow" or s["level"] == "red"]
    assert console.main(["limits", run["tm_file"], *PLANTED, "--level", level, "-q"]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert re.split(r"\s{2,}", lines[0]) == [
        "item",
        "level",
        "start (UTC)",
        "start [s]",
        "duration",
        "worst vs limit",
    ]
    rows = [re.split(r"\s{2,}", line) for line in lines[1:-1]]
    assert len(rows) == len(spans)
    first = min(s["start_unix"] for s in spans)
    first_relative = min(float(r[3]) for r in rows)
    for cells, span in zip(rows, spans):
        assert cells[:3] == [
            span["mnemonic"],
            f"{span['level']} (set {span['set']})",
            _utc(span["start_unix"]),
        ]
        assert float(cells[3]) - first_relative == pytest.approx(
            span["start_unix"] - first, abs=2e-3
        )
        length = span["end_unix"] - span["start_unix"]
        if span["samples"] == 1:
            assert cells[4] == "1 sample"
        else:
            assert float(cells[4].lstrip(">= ").split()[0]) == pytest.approx(length, abs=0.5)
        assert cells[4].endswith(", open") == span["open"]
        worst, said = cells[5].split(" ", 1)
        assert float(worst) == pytest.approx(span["worst"], rel=1e-5)
        assert said.endswith(f"({span['comparison']} {span['limit']:g}, {span['value_mode']})")
    opened = sum(s["open"] for s in spans)
    what = "red" if level == "red" else "yellow and red"
    still = f", {opened} still open at the end of the file" if opened else ""
    assert lines[-1] == f"Limit violations: {len(spans)} span(s) {what}{still}"


def test_csv_and_parquet_carry_the_report(run, tmp_path, capsys):
    out = tmp_path / "spans.csv"
    argv = ["limits", run["tm_file"], *PLANTED, "-q"]
    assert console.main([*argv, "--format", "csv", "--out", str(out)]) == 0
    written = pd.read_csv(out)
    assert len(written) == len(run["limit_violations"])
    for row, span in zip(written.to_dict("records"), run["limit_violations"]):
        assert {k: row[k] for k in EXACT} == {k: span[k] for k in EXACT}
        assert row["start_unix"] == pytest.approx(span["start_unix"], abs=1e-3)
        assert row["worst"] == pytest.approx(span["worst"], rel=1e-9)

    pytest.importorskip("pyarrow")
    parquet = tmp_path / "spans.parquet"
    assert console.main([*argv, "--format", "parquet", "--out", str(parquet)]) == 0
    back = pd.read_parquet(parquet)
    pd.testing.assert_frame_equal(back[list(written.columns)], written, check_dtype=False)
    starts = back["start_time"].map(lambda t: t.timestamp())
    assert starts.tolist() == pytest.approx(back["start_unix"].tolist(), abs=1e-6)
    capsys.readouterr()


def test_bad_input_and_items_without_limits(run, capsys):
    tm = run["tm_file"]
    assert console.main(["limits", tm, "LIM:PRESURE", "-q"]) == 1
    assert "LIM:PRESSURE" in capsys.readouterr().err
    plain = "HK:MODE" if run["mission"] == "vireo" else "SEB:BIN_PERIOD"
    assert console.main(["limits", tm, plain, "-q"]) == 0  # no rows, not an error
    assert capsys.readouterr().out.splitlines()[-1] == "Limit violations: 0 span(s) yellow and red"
    with pytest.raises(SystemExit) as exc:
        console.main(["limits", tm, "--format", "parquet"])
    assert exc.value.code == 2
    assert "--format parquet needs --out FILE" in capsys.readouterr().err


# The lines each mode shows of LIM:PRESSURE (set 1 raw above 1000 / 2000, set 2 engineering
# below 30 / 20): a limit is drawn only in its own mode.
LINES = {"raw": {("yellow", 1000.0), ("red", 2000.0)}, "eng": {("yellow", 30.0), ("red", 20.0)}}


@pytest.mark.parametrize("mode", ["raw", "eng", "sci"])
def test_plot_draws_limits_in_their_mode_and_every_span(run, mode, monkeypatch, tmp_path):
    from matplotlib.colors import to_rgb

    drawn = []
    monkeypatch.setattr(plotting, "save_or_show", lambda fig, plt, png: drawn.append(fig))
    argv = ["plot", run["tm_file"], planted.PRESSURE, "--mode", mode, "-q"]
    assert console.main([*argv, "--png", str(tmp_path / "p.png")]) == 0
    ax = drawn[0].axes[0]
    lines = {
        (line.get_gid().rsplit(":", 1)[1], line.get_ydata()[0])
        for line in ax.get_lines()
        if (line.get_gid() or "").startswith(f"limit:{planted.PRESSURE}:")
    }
    assert lines == LINES.get(mode, set())
    for line in ax.get_lines():
        if line.get_gid():
            assert line.get_linestyle() == "--"
            level = line.get_gid().rsplit(":", 1)[1]
            assert line.get_color() == plotting.LIMIT_COLOURS[level]

    # Spans are times: the same in every mode, at the manifest's spans (relative seconds are
    # the unix times less the offset the item's own values give).
    f = k814util.open(run["tm_file"])
    s = f.series(planted.PRESSURE, mode="raw")
    offset = s["unix_time"][0] - s["relative_time"][0]
    expected = sorted(
        (x["level"], x["start_unix"] - offset, x["end_unix"] - offset)
        for x in run["limit_violations"]
        if x["mnemonic"] == planted.PRESSURE
    )
    shaded = []
    for patch in ax.patches:
        gid = patch.get_gid() or ""
        if gid.startswith(f"violation:{planted.PRESSURE}:"):
            level = gid.rsplit(":", 1)[1]
            colour = to_rgb(plotting.LIMIT_COLOURS[level])
            assert patch.get_facecolor()[:3] == pytest.approx(colour)
            shaded.append((level, patch.get_x(), patch.get_x() + patch.get_width()))
    assert len(shaded) == len(expected)
    for got, want in zip(sorted(shaded), expected):
        assert got[0] == want[0]
        assert got[1:] == pytest.approx(want[1:], abs=2e-3)
