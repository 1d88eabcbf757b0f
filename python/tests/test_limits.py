"""The limits report of the bound file against the limit violations the sample generator
planted (and listed in its manifest) on both missions, and the rules a report follows:
persistence, spans open at the end of the file, unknown items, items without limits."""

import os
from datetime import datetime, timezone

import numpy as np
import pytest

if os.environ.get("K814_REQUIRE_MODULE"):
    import k814util.k814util  # noqa: F401
else:
    pytest.importorskip("k814util.k814util")

import k814util.console
from k814util.sample import generate_archive
from k814util.sample import limits as planted

import k814util
from k814util import limits

pd = pytest.importorskip("pandas")

PLANTED = [planted.PRESSURE, planted.CURRENT, planted.STATE]
EXACT = ("id", "mnemonic", "set", "level", "value_mode", "comparison", "limit")
EXACT += ("first_packet", "last_packet", "samples", "open")
CLOSE = ("worst", "start_unix", "end_unix", "worst_unix")


@pytest.fixture(params=["tarn", "vireo"])
def mission(request, archive, monkeypatch):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    run = next(r for r in manifest["runs"] if r["mission"] == request.param)
    return run, k814util.open(run["tm_file"])


@pytest.fixture
def damaged(tmp_path, monkeypatch):
    """A TARN run whose telemetry file has a stretch overwritten a third of the way in."""
    manifest = generate_archive(tmp_path, runs=2)
    monkeypatch.setenv("INI814", str(tmp_path / ".814config.INI"))
    run = next(r for r in manifest["runs"] if r.get("problem") == "damaged telemetry file")
    return run, k814util.open(run["tm_file"])


def _compare(df, expected):
    assert list(df.columns) == list(limits.VIOLATION_COLUMNS)
    assert len(df) == len(expected)
    for row, span in zip(df.itertuples(index=False), expected):
        got = row._asdict()
        assert {k: got[k] for k in EXACT} == {k: span[k] for k in EXACT}, span
        for key in CLOSE:
            assert got[key] == pytest.approx(span[key], abs=1e-3), (key, span)
        # Relative times are the unix times moved by the file's start.
        assert got["end_relative"] - got["start_relative"] == pytest.approx(
            span["end_unix"] - span["start_unix"], abs=1e-3
        )
        assert got["worst_relative"] - got["start_relative"] == pytest.approx(
            span["worst_unix"] - span["start_unix"], abs=1e-3
        )


@pytest.mark.parametrize("level", ["yellow", "red"])
def test_the_report_finds_the_planted_spans(mission, level):
    run, f = mission
    expected = [s for s in run["limit_violations"] if level == "yellow" or s["level"] == "red"]
    assert expected, "the generator plants spans of both levels"
    _compare(limits.limit_violations(f, PLANTED, level=level), expected)


def test_a_damaged_file_reports_on_the_packets_the_reader_kept(damaged):
    # The manifest's spans count the packets the overwritten stretch left whole; those after
    # the stretch have their indexes moved by the packets lost in it.
    run, f = damaged
    assert len(f) == run["packets"]
    assert run["damage_bytes"] > 4096
    assert run["limit_violations"][-1]["first_packet"] > len(f) // 3
    _compare(limits.limit_violations(f, PLANTED), run["limit_violations"])


def test_a_red_span_lies_inside_its_yellow_span(mission):
    _, f = mission
    df = limits.limit_violations(f, planted.PRESSURE)
    red = df[(df["level"] == "red") & (df["set"] == 1)]
    yellow = df[(df["level"] == "yellow") & (df["set"] == 1)]
    assert len(red) == 1 and len(yellow) == 1
    assert yellow["first_packet"].iloc[0] < red["first_packet"].iloc[0]
    assert red["last_packet"].iloc[0] < yellow["last_packet"].iloc[0]


def test_violations_shorter_than_the_persistence_are_not_reported(mission):
    _, f = mission
    # The values do leave the yellow limit at 40 s and 41 s ...
    s = f.series(planted.PRESSURE, mode="raw")
    t = s["unix_time"] - s["unix_time"][0]
    beyond = s["value"] > 1000
    short = beyond & (t > 35) & (t < 45)
    assert short.sum() == 2
    # ... but for two samples, fewer than the set's persistence of 3.
    table = limits.limits(f).set_index("mnemonic")
    assert table.loc[planted.PRESSURE, "persistence_1"] == 3
    df = limits.limit_violations(f, planted.PRESSURE)
    packets = s["packet"][short]
    inside = (df["first_packet"] <= packets.max()) & (df["last_packet"] >= packets.min())
    assert not inside.any()
    # Every sample beyond the limit outside that stretch is in a reported span.
    set1 = df[(df["set"] == 1) & (df["level"] == "yellow")]
    covered = sum(int(n) for n in set1["samples"])
    assert covered == int(beyond.sum()) - 2


def test_a_span_still_open_at_the_end_says_so(mission):
    _, f = mission
    s = f.series(planted.CURRENT, mode="raw")
    df = limits.limit_violations(f, planted.CURRENT)
    still = df[df["open"]]
    assert sorted(zip(still["set"], still["comparison"])) == [(1, "above"), (2, "not equal")]
    assert (still["last_packet"] == s["packet"][-1]).all()
    assert (still["samples"] == planted.OPEN_SECONDS).all()
    assert not df[~df["open"]]["last_packet"].eq(s["packet"][-1]).any()


def test_the_table_of_items_with_limits(mission):
    run, f = mission
    table = limits.limits(f)
    assert list(table.columns) == list(limits.LIMIT_COLUMNS)
    rows = table.set_index("mnemonic").loc[PLANTED]
    assert list(rows["subsystem"]) == ["LIM"] * 3
    assert list(rows["units"]) == ["counts", "A", "Value"]
    assert list(rows["value_mode_1"]) == ["raw", "sci", "raw"]
    assert list(rows["comparison_1"]) == ["above", "above", "equal"]
    assert list(rows["yellow_1"]) == [1000.0, 30.0, 3.0]
    assert list(rows["red_1"]) == [2000.0, 40.0, 4.0]
    assert list(rows["value_mode_2"]) == ["eng", "raw", ""]
    assert list(rows["comparison_2"]) == ["below", "not equal", ""]
    assert rows["red_2"].isna().tolist() == [False, True, True]
    assert list(rows["persistence_1"]) == [3, 1, 1]
    # Items without limits are not listed; the report over all items covers the planted ones.
    assert ((table["value_mode_1"] != "") | (table["value_mode_2"] != "")).all()
    everything = limits.limit_violations(f)
    assert len(everything[everything["mnemonic"].isin(PLANTED)]) == len(run["limit_violations"])


def test_unknown_items_items_without_limits_and_levels(mission):
    run, f = mission
    with pytest.raises(k814util.UnknownItemError, match="LIM:PRESSURE"):
        limits.limit_violations(f, "LIM:PRESURE")
    with pytest.raises(k814util.UnknownItemError):
        limits.limit_violations(f, [planted.STATE, 999_999])
    plain = limits.limit_violations(f, "HK:MODE" if run["mission"] == "vireo" else "SEB:BIN_PERIOD")
    assert plain.empty and list(plain.columns) == list(limits.VIOLATION_COLUMNS)
    assert limits.limit_violations(f, []).empty
    with pytest.raises(ValueError, match="level"):
        limits.limit_violations(f, planted.STATE, level="orange")


# The report's columns cross as typed arrays: numbers as numbers, texts as str, open as bool.
KINDS = {"id": "i", "set": "i", "first_packet": "i", "last_packet": "i", "samples": "i"}
KINDS |= {k: "O" for k in ("mnemonic", "level", "value_mode", "comparison")}
KINDS |= {"open": "b"}


def test_the_file_and_a_run_answer_the_modules_report(mission):
    run, f = mission
    table, everything = limits.limits(f), limits.limit_violations(f)
    red = limits.limit_violations(f, PLANTED, level="red")
    for name in everything.columns:
        assert everything[name].dtype.kind == KINDS.get(name, "f"), name
    assert everything["mnemonic"].map(type).eq(str).all()
    pd.testing.assert_frame_equal(f.limits(), table)
    pd.testing.assert_frame_equal(f.limit_violations(), everything)
    pd.testing.assert_frame_equal(f.limit_violations(PLANTED, level="red"), red)
    assert {"limits", "limit_violations"} <= set(k814util.runs.METHODS)
    with k814util.Run(run["tm_file"]) as other:
        pd.testing.assert_frame_equal(other.limits(), table)
        pd.testing.assert_frame_equal(other.limit_violations(), everything)
        pd.testing.assert_frame_equal(other.limit_violations(PLANTED, level="red"), red)
        with pytest.raises(k814util.UnknownItemError):
            other.limit_violations("LIM:PRESURE")


@pytest.mark.parametrize(
    "window",
    [{"start": 27.0}, {"end": 25.0}, {"start": 22.0, "end": 23.0}, {"start": 61.0, "end": 62.0}],
)
def test_a_window_keeps_the_spans_that_overlap_it_whole(mission, window):
    run, f = mission
    spans = [s for s in run["limit_violations"] if s["mnemonic"] == planted.PRESSURE]
    s = f.series(planted.PRESSURE, mode="raw")
    # The windows name seconds from the first value of the planted items (the test's own
    # clock starts there); as UTC text too.
    offset = s["relative_time"][0]
    first_unix = s["unix_time"][0]
    relative = {k: offset + v for k, v in window.items()}
    utc = {
        k: datetime.fromtimestamp(first_unix + v, timezone.utc).isoformat()
        for k, v in window.items()
    }
    inside = s["packet"][
        (s["relative_time"] >= relative.get("start", -np.inf))
        & (s["relative_time"] <= relative.get("end", np.inf))
    ]
    expected = [
        x for x in spans if ((inside >= x["first_packet"]) & (inside <= x["last_packet"])).any()
    ]
    assert 0 < len(expected) < len(spans)
    for given in (relative, utc):
        got = f.limit_violations(planted.PRESSURE, **given)
        _compare(got, expected)


def test_a_marker_window_keeps_the_spans_with_values_inside(mission, capsys):
    run, f = mission
    from k814util.windows import spans as marker_spans

    whole = f.limit_violations(PLANTED)
    for marker in {m.id for m in marker_spans(f)}:
        packets = np.concatenate(
            [f.series(item, mode="raw", window=marker)["packet"] for item in PLANTED]
        )
        got = f.limit_violations(PLANTED, window=marker)
        has = [
            ((packets >= a) & (packets <= b)).any()
            for a, b in zip(whole["first_packet"], whole["last_packet"])
        ]
        pd.testing.assert_frame_equal(got, whole[has].reset_index(drop=True))
    with pytest.raises(ValueError, match="no marker or meta-marker has the id 4242"):
        f.limit_violations(window=4242)
    assert k814util.console.main(["limits", run["tm_file"], "--marker", "4242", "-q"]) == 1
    assert "no marker or meta-marker has the id 4242" in capsys.readouterr().err
