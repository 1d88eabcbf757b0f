"""Time windows on the whole-file answers (relative seconds, UTC, marker and meta-marker
spans) against the whole answers sliced by hand with the generator's marker times, and
resampling against pandas' own on the same frame."""

from datetime import datetime, timezone

import numpy as np
import pytest

pytest.importorskip("k814util.k814util")
pd = pytest.importorskip("pandas")

import k814util  # noqa: E402

ITEMS = ["SEB:HV_MON", "SEB:EMON_A"]


def _markers(run):
    """(id, unix time) of the marker packets the generator wrote, in order."""
    return [(e["marker"][0], e["unix"]) for e in run["expected"] if "marker" in e]


def _sliced(s, keep):
    return {k: v[keep] for k, v in s.items()}


def _same(a, b):
    assert a.keys() == b.keys()
    for k in a:
        np.testing.assert_array_equal(a[k], b[k])


def test_windows_select_what_slicing_by_hand_does(tarn):
    run, f = tarn
    whole = f.series("SEB:HV_MON")
    everything = f.dataframe(ITEMS)
    offset = f[0].unix_timestamp() - f[0].relative_timestamp()
    (id2, u2), (_, u3) = _markers(run)[1:3]
    utc2 = datetime.fromtimestamp(u2, timezone.utc)
    iso3 = datetime.fromtimestamp(u3, timezone.utc).isoformat().replace("+00:00", "Z")
    meta = next(m for m in f.get_meta_markers() if m.metaMarkerId == 50003)

    def by_hand(window, rel, unix):
        """The window worked out on relative and Unix times from the generator's markers."""
        keep = np.ones(len(rel), dtype=bool)
        for key, value in window.items():
            if key == "window" and value == id2:  # a TARN marker lasts until the next one
                keep &= (rel >= u2 - offset) & (rel < u3 - offset)
            elif key == "window":
                start, stop = meta.startRelativeTimeInSecs, meta.endRelativeTimeInSecs
                keep &= (rel >= start) & (rel <= stop)
            elif isinstance(value, (int, float)):
                keep &= rel >= value if key == "start" else rel <= value
            else:  # the UTC forms stand for the markers' times
                bound = u3 if value is iso3 else u2
                keep &= unix >= bound if key == "start" else unix <= bound
        return keep

    cases = [
        dict(start=40, end=70),
        dict(start=55.5),
        dict(start=utc2, end=iso3),
        dict(start=np.datetime64(round(u2 * 1e6), "us")),
        dict(window=id2),
        dict(window=50003),
        dict(window=id2, start=50),
        dict(start=1e9),  # nothing there: empty, no error
    ]
    frame_unix = everything.index.astype("int64").to_numpy() / 1e6
    for window in cases:
        keep = by_hand(window, whole["relative_time"], whole["unix_time"])
        assert keep.any() == (window != dict(start=1e9)), window
        _same(f.series("SEB:HV_MON", **window), _sliced(whole, keep))
        frame_keep = by_hand(window, everything["relative_time"].to_numpy(), frame_unix)
        pd.testing.assert_frame_equal(f.dataframe(ITEMS, **window), everything[frame_keep])
    packets = f.packets(window=id2)
    allp = f.packets()
    expected = allp[(allp.relative_time >= u2 - offset) & (allp.relative_time < u3 - offset)]
    pd.testing.assert_frame_equal(packets, expected)
    lines = f.messages(start=utc2, end=iso3)
    unix_of = f.messages().index.astype("int64") / 1e6
    assert len(lines) == int(((unix_of >= u2 - 1e-6) & (unix_of <= u3 + 1e-6)).sum()) > 0


def test_a_marker_id_that_is_not_there_names_those_that_are(tarn):
    _, f = tarn
    with pytest.raises(ValueError) as caught:
        f.series("SEB:HV_MON", window=777)
    message = str(caught.value)
    assert "777" in message and "markers: 1, 2, 3, 4" in message and "50003" in message
    with pytest.raises(TypeError):
        f.series("SEB:HV_MON", start=True)
    with pytest.raises(ValueError, match="NaT"):
        f.series("SEB:HV_MON", start=pd.NaT)
    with pytest.raises(ValueError, match="how must be one of"):
        f.dataframe(ITEMS, resample="10s", how="bogus")
    # Nothing in the window: empty frames in both layouts, resampled or not.
    for layout in ("long", "wide"):
        assert f.dataframe(ITEMS, layout=layout, start=1e9, resample="10s").empty


def test_vireo_marker_windows_run_from_start_to_end(archive, monkeypatch):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    run = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    f = k814util.open(run["tm_file"])
    markers = f.vireo_markers()
    whole = f.series("HK:V_28")
    offset = f[0].unix_timestamp() - f[0].relative_timestamp()
    end = f[len(f) - 1].relative_timestamp()
    closed = markers[markers["complete"]].iloc[0]
    start_rel = closed.t_start_us / 1e6 - offset
    stop_rel = closed.t_end_us / 1e6 - offset
    rel = whole["relative_time"]
    keep = (rel >= start_rel) & (rel <= stop_rel)
    _same(f.series("HK:V_28", window=int(closed.marker_id)), _sliced(whole, keep))
    if (~markers["complete"]).any():  # an open marker lasts to the end of the data
        opened = markers[~markers["complete"]].iloc[0]
        start_rel = opened.t_start_us / 1e6 - offset
        keep = (rel >= start_rel) & (rel <= end)
        _same(f.series("HK:V_28", window=int(opened.marker_id)), _sliced(whole, keep))


@pytest.mark.parametrize("how", ["mean", "last", "max", "count"])
def test_resample_equals_pandas_on_the_same_frame(tarn, how):
    _, f = tarn
    long = f.dataframe(ITEMS)
    ours = f.dataframe(ITEMS, resample="10s", how=how)
    for name in ITEMS:
        expected = long[long["item"] == name]["value"].resample("10s").agg(how).dropna()
        got = ours[ours["item"] == name]["value"]
        pd.testing.assert_series_equal(got, expected, check_names=False, check_freq=False)
    wide = f.dataframe(ITEMS, layout="wide")
    ours = f.dataframe(ITEMS, layout="wide", resample="10s", how=how)
    expected = wide[ITEMS].resample("10s").agg(how).dropna(how="all")
    pd.testing.assert_frame_equal(ours, expected, check_freq=False)


def test_runs_take_the_same_windows(tarn):
    run, f = tarn
    with k814util.Run(run["tm_file"]) as r:
        for window in (dict(start=40, end=70), dict(window=2), dict(window=50003)):
            _same(r.series("SEB:HV_MON", **window), f.series("SEB:HV_MON", **window))
        pd.testing.assert_frame_equal(
            r.dataframe(ITEMS, resample="10s"), f.dataframe(ITEMS, resample="10s")
        )
        pd.testing.assert_frame_equal(r.packets(window=2), f.packets(window=2))
        # Spectra travel as their arrays and table, without the worker's scan wrapper.
        theirs, mine = r.spectra(), k814util.spectra(run["tm_file"])
        for name in ("flat_counts", "flat_mz", "offsets", "n_bins", "counts"):
            np.testing.assert_array_equal(getattr(theirs, name), getattr(mine, name))
        pd.testing.assert_frame_equal(theirs.table(), mine.table())
        with pytest.raises(ValueError, match="without its binding"):
            theirs.average(window=3)
        pd.testing.assert_frame_equal(r.messages(start=40), f.messages(start=40))


def test_the_console_takes_the_same_windows(tarn, capsys):
    import csv
    import io

    from k814util.console import main

    run, f = tarn
    path = run["tm_file"]
    for options, window in (
        (["--marker", "2"], dict(window=2)),
        (["--start", "40", "--end", "70.5"], dict(start=40, end=70.5)),
        (["--start", "2012-04-02T16:36:20Z"], dict(start="2012-04-02T16:36:20Z")),
    ):
        assert main(["values", path, "SEB:HV_MON", "-q", *options]) == 0
        rows = list(csv.DictReader(io.StringIO(capsys.readouterr().out)))
        expected = f.series("SEB:HV_MON", **window)
        assert [float(r["value"]) for r in rows] == expected["value"].tolist()
        assert [int(r["packet"]) for r in rows] == expected["packet"].tolist()
    assert main(["values", path, "SEB:HV_MON", "-q", "--start", "soon"]) == 2
    assert "--start: not a time: 'soon'" in capsys.readouterr().err
    assert main(["values", path, "SEB:HV_MON", "-q", "--marker", "9"]) == 1
    assert "markers: 1, 2, 3, 4" in capsys.readouterr().err
    # An output the console cannot write is one line, exit 1.
    missing = "/nonexistent-folder/x.csv"
    assert main(["values", path, "SEB:HV_MON", "-q", "--out", missing]) == 1
    assert capsys.readouterr().err == f"cannot write {missing}: No such file or directory\n"
