"""Spectra as arrays: every row against the scan objects' own methods and against the scans the
sample generator designed (its manifest), never against the arrays' own output."""

import subprocess
import sys

import numpy as np
import pytest
from conftest import counted_bins, mz_curve

pytest.importorskip("k814util.k814util")

from k814util.spectra import MODE_NAMES

import k814util
from k814util import k814util as proxy

TICK = 1 / 65536
KINDS = {26: "single", 27: "summed", 28: "aggregated"}


@pytest.fixture
def sample(tarn_run):
    return tarn_run, k814util.spectra(tarn_run["tm_file"])


def test_arrays_against_scans_and_design(sample):
    run, sp = sample
    designed = run["science"]["scans"]
    n = len(designed)
    assert len(sp) == n == len(sp.scans)
    assert sp.n_bins.dtype == np.int64 and sp.n_bins.shape == (n,)
    assert sp.counts.dtype == np.int32 and sp.mz.dtype == np.float64
    width = max(counted_bins(w) for w in designed)
    assert sp.counts.shape == sp.mz.shape == (n, width)
    # The sample has gapped scans and scans starting above bin 0, where the counted bins
    # outrun nBins(): the m/z row must cover them all.
    assert any(counted_bins(w) > w["bins"] for w in designed)
    for r, (scan, want) in enumerate(zip(sp.scans, designed)):
        k, nb = want["index"], counted_bins(want)
        assert sp.n_bins[r] == nb, k
        row, mz = sp.counts[r], sp.mz[r]
        # The same list as the scan object gives, then zeros.
        assert row[:nb].tolist() == list(scan.counts()), k
        assert not row[nb:].any(), k
        first = min(start for start, _, _ in want["segments"])
        assert not row[:first].any(), k
        if want["counts"] is not None:
            assert row[first : first + want["bins"]].tolist() == want["counts"], k
        for b, c in want["samples"]:
            assert row[b] == c, (k, b)
        assert row.sum() == want["count_sum"], k
        assert (np.arange(width) * row).sum() == want["weighted_sum"], k
        # m/z: exactly the scan's m_over_z_values() where those exist, the calibration curve
        # on every counted bin, NaN in the padding only.
        mzv = np.array(scan.m_over_z_values())
        assert np.array_equal(mz[: len(mzv)], mzv), k
        np.testing.assert_allclose(mz[:nb], np.array(mz_curve(want, nb)), rtol=1e-9, atol=1e-9)
        assert np.isnan(mz[nb:]).all() and not np.isnan(mz[:nb]).any(), k


def test_table_against_design_and_markers(sample):
    pd = pytest.importorskip("pandas")
    run, sp = sample
    designed = run["science"]["scans"]
    expected = run["expected"]
    placed = [(i, e["marker"]) for i, e in enumerate(expected) if "marker" in e]
    table = sp.table()
    assert isinstance(table, pd.DataFrame) and table.index.name == "scan"
    assert list(table.columns) == [
        "relative_time",
        "unix_time",
        "tic",
        "corrected_tic",
        "highest_count",
        "highest_count_bin",
        "mode",
        "ion_source",
        "src_pkt_type",
        "summed_scans",
        "marker_id",
        "marker_text",
        "marker_time",
        "bins",
    ]
    assert table.index.tolist() == [w["index"] for w in designed]
    t0 = table["unix_time"].iloc[0] - table["relative_time"].iloc[0]
    for (k, row), want, scan in zip(table.iterrows(), designed, sp.scans):
        assert row["relative_time"] == pytest.approx(want["relative_time"], abs=TICK), k
        assert row["unix_time"] == pytest.approx(want["unix_time"], abs=TICK), k
        assert row["tic"] == want["count_sum"] and row["bins"] == counted_bins(want), k
        assert (row["highest_count"], row["highest_count_bin"]) == (
            want["count_max"],
            want["max_bin"],
        ), k
        assert row["mode"] == want["mode"], k
        assert row["ion_source"] == ("none", "GC", "LDI")[want["ion_source"]], k
        assert KINDS[row["src_pkt_type"]] == want["kind"], k
        assert row["summed_scans"] == want["summed_scans"], k
        # No design value for the corrected TIC: the scan object's own.
        assert row["corrected_tic"] == scan.corrected_total_ion_count(), k
        # The marker: the last one placed at or before the scan's last science packet.
        last = expected[want["packet_indexes"][-1]]["unix"]
        before = [(i, m) for i, m in placed if expected[i]["unix"] <= last + 1e-5]
        assert before, k
        i, (marker_id, _, text) = before[-1]
        assert (row["marker_id"], row["marker_text"]) == (marker_id, text), k
        assert row["marker_time"] + t0 == pytest.approx(expected[i]["unix"], abs=1e-4), k
        assert (scan.marker_id(), scan.marker_text()) == (marker_id, text), k
    assert table["mode"].value_counts().to_dict() == {
        m: run["science"]["by_mode"].get(m, 0) for m in MODE_NAMES
    }


def test_long_format_and_ranges(sample):
    pytest.importorskip("pandas")
    run, sp = sample
    long = sp.long()
    assert list(long.columns) == ["scan", "bin", "mz", "count"]
    assert len(long) == sp.n_bins.sum()
    # Grouped by scan: bins 0..n-1 in order, with the arrays' values.
    for r in (0, 6, len(sp) - 1):
        part = long[long["scan"] == r]
        assert part["bin"].tolist() == list(range(sp.n_bins[r]))
        assert part["count"].tolist() == sp.counts[r, : sp.n_bins[r]].tolist()
        assert np.array_equal(part["mz"].to_numpy(), sp.mz[r, : sp.n_bins[r]])
    # A range of scans (clipped like a slice) gives the same rows, narrower.
    n = len(sp)
    for start, stop, rows in ((5, 8, [5, 6, 7]), (-2, None, [n - 2, n - 1]), (5, 3, [])):
        part = k814util.Spectra(sp.scans, start, stop)
        assert len(part) == len(rows) and part.columns()["scan"].tolist() == rows
        width = max((sp.n_bins[r] for r in rows), default=0)
        assert part.counts.shape == (len(rows), width)
        assert np.array_equal(part.counts, sp.counts[rows, :width])
        assert np.array_equal(part.mz, sp.mz[rows, :width], equal_nan=True)


def test_spectra_of_a_range_outside_the_scans(sample):
    _, sp = sample
    n = len(sp)
    for first, last in ((-1, n), (0, n + 1), (3, 2)):
        with pytest.raises(IndexError):
            proxy._spectra(sp.scans, first, last)


def test_import_stays_light():
    code = "import sys, k814util; print(sorted({'pandas', 'matplotlib'} & set(sys.modules)))"
    res = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert res.stdout.strip() == "[]"


def test_averaged_summed_scans_keep_their_fractions(tarn_run):
    """Averaging divides a summed scan's counts by the scans summed; the arrays keep what the
    division gives, so row sums stay the TIC the table reports."""
    sp = k814util.spectra(tarn_run["tm_file"], average_summed_scans=True)
    assert sp.counts.dtype == np.float64
    designed = tarn_run["science"]["scans"]
    fractional = 0
    for r, want in enumerate(designed):
        divisor = want["summed_scans"] if want["kind"] == "summed" else 1
        row = sp.counts[r]
        for b, c in want["samples"]:
            assert row[b] == pytest.approx(c / divisor), (want["index"], b)
        assert row.sum() == pytest.approx(want["count_sum"] / divisor), want["index"]
        fractional += bool(np.any(row != np.floor(row)))
    assert fractional > 0
    # Without averaging every count is whole and the arrays are integers.
    assert k814util.spectra(tarn_run["tm_file"]).counts.dtype == np.int32
