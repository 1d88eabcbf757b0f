"""Mass-spectrometry figures of the spectra (ragged arrays, TIC traces, extracted-ion
chromatograms, averaged and dark-subtracted spectra, peaks) against the sample generator's
design: its counts, its planted peaks, its marker times and the calibration curve it wrote."""

import numpy as np
import pytest
from conftest import counted_bins, mz_curve

pytest.importorskip("k814util.k814util")
pytest.importorskip("scipy")

import k814util


@pytest.fixture
def sample(tarn_run):
    return tarn_run, k814util.spectra(tarn_run["tm_file"])


def _designed_mz(want):
    return np.array(mz_curve(want, counted_bins(want)))


def _designed_counts(want):
    """The zero-filled count list of a small scan from the manifest's counts and segments."""
    counts = np.zeros(counted_bins(want))
    bins = [b for start, n, repeat in want["segments"] for b in range(start, start + n * repeat)]
    counts[bins] = want["counts"]
    return counts


def _marker_window(run, marker_id):
    """The designed scans whose first packet lies in the marker's stretch (to the next)."""
    placed = [(e["marker"][0], e["unix"]) for e in run["expected"] if "marker" in e]
    k = next(i for i, (m, _) in enumerate(placed) if m == marker_id)
    lo, hi = placed[k][1], placed[k + 1][1] if k + 1 < len(placed) else np.inf
    return [w for w in run["science"]["scans"] if lo - 1e-4 <= w["unix_time"] < hi - 1e-4]


def test_ragged_arrays_equal_the_padded_rows(sample):
    run, sp = sample
    designed = run["science"]["scans"]
    assert sp.offsets[0] == 0 and sp.offsets[-1] == len(sp.flat_counts) == len(sp.flat_mz)
    np.testing.assert_array_equal(np.diff(sp.offsets), [counted_bins(w) for w in designed])
    # The flat arrays hold the bins only: no padding to the longest scan.
    assert sp.flat_counts.nbytes + sp.flat_mz.nbytes == 12 * sum(counted_bins(w) for w in designed)
    for r in range(len(sp)):
        mz, counts = sp.scan_arrays(r)
        n = sp.n_bins[r]
        np.testing.assert_array_equal(counts, sp.counts[r, :n])
        np.testing.assert_array_equal(mz, sp.mz[r, :n])
        assert not sp.counts[r, n:].any() and np.isnan(sp.mz[r, n:]).all()
    frame = sp.long()
    assert len(frame) == len(sp.flat_counts)
    r = 5
    rows = frame[frame["scan"] == r]
    np.testing.assert_array_equal(rows["bin"], np.arange(sp.n_bins[r]))
    np.testing.assert_array_equal(rows["count"], _designed_counts(designed[r]))
    np.testing.assert_allclose(rows["mz"], _designed_mz(designed[r]), rtol=1e-9, atol=1e-9)
    # The frame owns its columns: changing it leaves the spectra alone.
    frame.loc[frame.index[0], "count"] = -5
    assert sp.flat_counts[0] != -5


@pytest.mark.parametrize("by", [("kind", "mode"), ("kind",), ("mode",), None])
def test_tic_traces_by_kind_and_mode(sample, by):
    run, sp = sample
    designed = run["science"]["scans"]
    frame = sp.tic(by=by)
    groups = list(by or ())
    assert list(frame.columns[: len(groups)]) == groups
    assert sorted(frame.index) == [w["index"] for w in designed]
    traces = frame.groupby(groups, observed=True) if groups else [((), frame)]
    seen = 0
    for key, trace in traces:
        key = key if isinstance(key, tuple) else (key,)
        want = [w for w in designed if all(w[g] == v for g, v in zip(groups, key))]
        assert list(trace.index) == [w["index"] for w in want], key
        assert list(trace["tic"]) == [w["count_sum"] for w in want], key
        assert (np.diff(trace["relative_time"]) > 0).all(), key
        seen += len(trace)
    assert seen == len(designed)


def test_tic_rejects_an_unknown_group(sample):
    _, sp = sample
    with pytest.raises(ValueError, match="'kind' and/or 'mode', not marker"):
        sp.tic(by=("marker",))


# Window edges between bins, so rounding in the last place cannot move a bin in or out.
@pytest.mark.parametrize(
    "centre,tolerance", [(3.0133, 0.5), (5.0117, 0.08), (8.0131, 2.0), (12.0113, 1.5)]
)
def test_xic_against_design(sample, centre, tolerance):
    run, sp = sample
    got = sp.xic(centre, tolerance)
    assert got.dtype == np.float64 and got.shape == (len(sp),)
    checked = 0
    for w in run["science"]["scans"]:
        mz = _designed_mz(w)
        inside = (mz >= centre - tolerance) & (mz <= centre + tolerance)
        k = w["index"]
        if not inside.any():
            assert np.isnan(got[k]), k
        elif w["counts"] is not None:
            assert got[k] == _designed_counts(w)[inside].sum(), k
            checked += 1
        else:
            assert got[k] >= 0, k
    assert checked > 0


def test_xic_over_every_bin_is_the_designed_sum_and_outside_all_missing(sample):
    run, sp = sample
    everything = sp.xic(0.0, 1e6)
    np.testing.assert_array_equal(everything, [w["count_sum"] for w in run["science"]["scans"]])
    # No scan reaches m/z 1e5: not a chromatogram of zeros, but no measurement at all.
    assert np.isnan(sp.xic(1e5, 1.0)).all()
    with pytest.raises(ValueError, match="tolerance"):
        sp.xic(10.0, -1.0)


def _mean_on(grid, scans):
    """Each designed scan interpolated onto grid within its own m/z range, averaged where
    covered: worked scan by scan with numpy's interp."""
    total, number = np.zeros(len(grid)), np.zeros(len(grid))
    for w in scans:
        mz, counts = _designed_mz(w), _designed_counts(w)
        inside = (grid >= mz[0]) & (grid <= mz[-1])
        total[inside] += np.interp(grid[inside], mz, counts)
        number += inside
    with np.errstate(invalid="ignore"):
        return np.where(number > 0, total / np.maximum(number, 1), np.nan)


def test_average_of_a_marker_window_with_and_without_the_dark(sample):
    run, sp = sample
    window = [w for w in _marker_window(run, 2) if w["kind"] == "summed"]
    ldi = [w for w in window if w["mode"] == "LDI"]
    dark = [w for w in window if w["mode"] == "Dark"]
    assert len(ldi) >= 2 and len(dark) >= 2 and all(w["counts"] is not None for w in window)
    longest = max(ldi, key=counted_bins)
    grid = _designed_mz(longest)

    plain = sp.average(window=2, kind="summed", mode="LDI", subtract_dark=False)
    np.testing.assert_allclose(plain.mz, grid, rtol=1e-9, atol=1e-9)
    np.testing.assert_allclose(plain.counts, _mean_on(grid, ldi), rtol=1e-9, atol=1e-6)
    assert list(plain.scans) == [w["index"] for w in ldi] and len(plain.dark_scans) == 0

    subtracted = sp.average(window=2, kind="summed", mode="LDI")
    want_dark = _mean_on(grid, dark)
    assert list(subtracted.dark_scans) == [w["index"] for w in dark]
    np.testing.assert_allclose(subtracted.dark, want_dark, rtol=1e-9, atol=1e-6)
    np.testing.assert_allclose(
        subtracted.counts, _mean_on(grid, ldi) - want_dark, rtol=1e-9, atol=1e-6
    )
    # The dark scans reach beyond the LDI scans here: every grid point has its dark mean.
    assert np.isfinite(subtracted.counts).all()
    # Where no dark scan reaches, nothing is left to subtract from: missing, not the raw mean.
    wide = sp.average(window=2, kind="single")
    beyond = wide.mz > max(_designed_mz(w)[-1] for w in dark)
    assert beyond.any() and np.isnan(wide.counts[beyond]).all()
    assert np.isfinite(wide.counts[~beyond]).all()


def test_average_without_dark_scans_says_so(sample):
    run, sp = sample
    assert not any(w["mode"] == "Dark" for w in _marker_window(run, 3))
    with pytest.raises(ValueError, match="no dark scan in the window of marker 3"):
        sp.average(window=3)
    averaged = sp.average(window=3, subtract_dark=False)
    assert list(averaged.scans) == [w["index"] for w in _marker_window(run, 3)]
    with pytest.raises(ValueError, match="no Dark scans"):
        sp.average(window=3, mode="Dark", subtract_dark=False)
    with pytest.raises(ValueError, match="scan kind"):
        sp.average(kind="double")


def test_average_of_the_dark_scans_is_not_their_own_difference(sample):
    """Dark scans less their own mean would be all zeros: refused; without the subtraction they
    average to the generator's dark level."""
    run, sp = sample
    dark = [w for w in _marker_window(run, 2) if w["mode"] == "Dark"]
    assert dark
    with pytest.raises(ValueError, match="subtract_dark=False"):
        sp.average(window=2, mode="Dark")
    mean = sp.average(window=2, mode="Dark", subtract_dark=False)
    assert list(mean.scans) == [w["index"] for w in dark]
    covered = np.isfinite(mean.counts)
    level = max(float(w["dark_level"]) for w in dark)
    assert covered.any() and (mean.counts[covered] <= 2 * level).all()


def _planted_counts(w):
    """A scan as the generator designed it, from the manifest alone: its dark level in every
    bin plus each planted Gaussian, whole counts per bin within four widths as it adds them.
    The random dark counts (0 to 2 a bin in each spectrum summed) differ from their level by
    at most the level itself."""
    n = counted_bins(w)
    bins = np.arange(n)
    counts = np.full(n, float(w["dark_level"]))
    for p in w["planted_peaks"]:
        sigma = p["sigma_bins"]
        near = np.abs(bins - p["bin"]) <= int(4 * sigma)
        counts[near] += np.floor(
            p["height"] * np.exp(-0.5 * ((bins[near] - p["bin"]) / sigma) ** 2)
        )
    return counts


def _mean_of(grid, scans, values):
    """values(w) of each scan interpolated onto grid within its m/z range (to the last place:
    the grid is the module's m/z), averaged where covered."""
    total, number = np.zeros(len(grid)), np.zeros(len(grid))
    for w in scans:
        mz = _designed_mz(w)
        inside = (grid >= mz[0] - 1e-9) & (grid <= mz[-1] + 1e-9)
        total[inside] += np.interp(grid[inside], mz, values(w))
        number += inside
    with np.errstate(invalid="ignore"):
        return np.where(number > 0, total / np.maximum(number, 1), np.nan), number


def _level(w):
    return np.full(counted_bins(w), float(w["dark_level"]))


def test_dark_scans_hold_their_dark_level_only(sample):
    run, sp = sample
    dark = [w for w in run["science"]["scans"] if w["mode"] == "Dark"]
    assert len(dark) >= 3
    for w in dark:
        counts = np.asarray(sp.scan_arrays(w["index"])[1], np.float64)
        assert w["planted_peaks"] == [] and w["dark_level"] == w["summed_scans"], w["index"]
        # Each of its spectra gives every bin 0 to 2 dark counts, a third of them each.
        assert 0 <= counts.min() and counts.max() <= 2 * w["dark_level"], w["index"]
        spread = np.sqrt(2 / 3 * w["summed_scans"] / len(counts))
        assert abs(counts.mean() - w["dark_level"]) < 5 * spread, w["index"]
    # Averaged, the dark scans alone: their levels, to within their own spread.
    window = [w for w in dark if w in _marker_window(run, 2)]
    mean = sp.average(window=2, mode="Dark", subtract_dark=False)
    want, _ = _mean_of(mean.mz, window, _level)
    # Each bin within its level of the level (0 to twice it), and on the whole close to it.
    np.testing.assert_array_less(np.abs(mean.counts - want), want + 1e-9)
    assert abs(np.mean(mean.counts - want)) < 0.3


# Marker 2's summed LDI scans (three, their peaks crowded), and 50 s to 55 s: one LDI scan
# among three dark ones.
@pytest.mark.parametrize(
    "where,standing",
    [({"window": 2, "kind": "summed", "mode": "LDI"}, 1), ({"start": 50.0, "end": 55.0}, 3)],
)
def test_dark_subtracted_mean_shows_the_planted_peaks(sample, where, standing):
    run, sp = sample
    designed = {w["index"]: w for w in run["science"]["scans"]}
    got = sp.average(**where)
    ldi = [designed[k] for k in got.scans]
    dark = [designed[k] for k in got.dark_scans]
    assert ldi and dark and all(w["mode"] == "Dark" for w in dark)
    assert all(w["mode"] != "Dark" and w["planted_peaks"] for w in ldi)
    # From the manifest: the mean of the designed scans minus the mean dark level. The random
    # dark counts move each scan by at most its level, so the difference is bounded by the
    # mean level of the scans averaged plus that of the dark scans.
    planted, number = _mean_of(got.mz, ldi, _planted_counts)
    ldi_level, _ = _mean_of(got.mz, ldi, _level)
    dark_level, _ = _mean_of(got.mz, dark, _level)
    bound = ldi_level + dark_level + 1e-6
    off = got.counts - (planted - dark_level)
    np.testing.assert_array_less(np.abs(off), bound)
    # Away from the peaks the dark counts average out: there the mean is the level of the
    # scans averaged less the dark mean, nearer that than half the dark level, by which an
    # unsubtracted mean would exceed it.
    baseline = planted - ldi_level < 0.5
    assert baseline.sum() >= 8
    assert abs(off[baseline].mean()) < 0.5 * dark_level[baseline].mean()
    # The planted peaks that stand out (the others in the mean add less than 2 % of their
    # height within two widths of their centre) are found there: centroid within a grid step,
    # apex height the planted height shared among the scans covering it, plus the dark counts'
    # level there, minus the dark mean.
    found = sp.peaks(got)
    step = np.median(np.diff(got.mz))
    checked = 0
    for w in ldi:
        mz = _designed_mz(w)
        for p in w["planted_peaks"]:
            at = mz[p["bin"]]
            k = int(np.argmin(np.abs(got.mz - at)))
            own = p["height"] / number[k]
            width = p["sigma_bins"] * (mz[p["bin"] + 1] - mz[p["bin"]])
            close = np.abs(got.mz - at) <= 2 * width
            if not close.any():  # beyond the common grid (the longest scan's m/z): not averaged
                continue
            shape = np.exp(-0.5 * ((got.mz[close] - at) / width) ** 2)
            others = np.max(planted[close] - ldi_level[close] - own * shape)
            if p["height"] < 2000 or others > 0.02 * own:
                continue
            near = found[np.abs(found["apex_mz"] - at) <= 1.5 * step]
            assert len(near) == 1, (w["index"], p)
            peak = near.iloc[0]
            assert peak["mz"] == pytest.approx(at, abs=step), (w["index"], p)
            height = own + ldi_level[k] - dark_level[k]
            tolerance = ldi_level[k] + dark_level[k] + others + 0.01 * own
            assert abs(peak["height"] - height) <= tolerance, (w["index"], p, peak["height"])
            checked += 1
    assert checked >= standing


def _isolated(w, top):
    """The planted peaks of a scan that stand alone (no other within eight widths) and were
    not clipped at the packet's top."""
    peaks = w["planted_peaks"]
    return [
        p
        for p in peaks
        if p["height"] + 2 < top
        and p["height"] > 60
        and 10 < p["bin"] < counted_bins(w) - 10
        and all(
            q is p or abs(q["bin"] - p["bin"]) > 8 * (p["sigma_bins"] + q["sigma_bins"])
            for q in peaks
        )
    ]


def test_peaks_of_single_scans_are_the_planted_ones(sample):
    run, sp = sample
    checked = 0
    for w in run["science"]["scans"]:
        if w["kind"] != "single":
            continue
        found = sp.peaks(w["index"])
        assert list(found.columns) == ["mz", "height", "area", "width", "apex_mz", "bin"]
        mz = _designed_mz(w)
        step = np.diff(mz)
        for p in _isolated(w, 255):
            b = p["bin"]
            near = found[(found["bin"] - b).abs() <= 1]
            assert len(near) == 1, (w["index"], p)
            peak = near.iloc[0]
            # At its centre a planted peak adds its whole height to a background of 0 to 2.
            assert p["height"] <= peak["height"] <= p["height"] + 2, (w["index"], p)
            assert peak["mz"] == pytest.approx(mz[b], abs=0.5 * step[b])
            fwhm = 2 * np.sqrt(2 * np.log(2)) * p["sigma_bins"] * step[b]
            assert peak["width"] == pytest.approx(fwhm, rel=0.2), (w["index"], p)
            gaussian_area = p["height"] * p["sigma_bins"] * step[b] * np.sqrt(2 * np.pi)
            assert peak["area"] == pytest.approx(gaussian_area, rel=0.2), (w["index"], p)
            checked += 1
    assert checked >= 10


def test_peaks_of_an_averaged_spectrum_and_of_arrays(sample):
    _, sp = sample
    averaged = sp.average(window=2, kind="summed", mode="LDI")
    found = sp.peaks(averaged)
    assert len(found) > 0
    np.testing.assert_allclose(found["apex_mz"], averaged.mz[found["bin"]])
    np.testing.assert_allclose(found["height"], averaged.counts[found["bin"]])
    # A spectrum handed in as arrays gives the same peaks; an unknown scan is an IndexError.
    again = sp.peaks((averaged.mz, averaged.counts))
    np.testing.assert_array_equal(again["bin"], found["bin"])
    with pytest.raises(IndexError, match="not one of these scans"):
        sp.peaks(len(sp) + 3)


def _console(run, *args):
    import os
    import subprocess
    import sys

    return subprocess.run(
        [sys.executable, "-m", "k814util", args[0], run["tm_file"], *map(str, args[1:]), "-q"],
        capture_output=True,
        text=True,
        check=False,
        env=dict(os.environ),
    )


def _csv(text):
    import csv
    import io

    return list(csv.DictReader(io.StringIO(text)))


def test_console_xic_tic_by_and_mean_spectrum(sample, tmp_path):
    run, _ = sample
    designed = run["science"]["scans"]
    # xic: a row per scan, empty where the scan has no bin in the window.
    done = _console(run, "xic", 12.0113, "--tolerance", 1.5)
    assert done.returncode == 0, done.stderr
    rows = _csv(done.stdout)
    assert [int(r["scan"]) for r in rows] == [w["index"] for w in designed]
    for r, w in zip(rows, designed):
        mz = _designed_mz(w)
        inside = (mz >= 10.5113) & (mz <= 13.5113)
        assert (r["xic"] == "") == (not inside.any()), w["index"]
        assert (r["kind"], r["mode"]) == (w["kind"], w["mode"])
        if w["counts"] is not None and inside.any():
            assert float(r["xic"]) == _designed_counts(w)[inside].sum(), w["index"]
    # tic --by: the kind and mode first, the groups' rows together.
    done = _console(run, "tic", "--by", "kind,mode")
    rows = _csv(done.stdout)
    assert list(rows[0])[:3] == ["kind", "mode", "scan"]
    groups = [(r["kind"], r["mode"]) for r in rows]
    assert len(set(groups)) == sum(1 for k, g in enumerate(groups) if g not in groups[:k])
    assert sorted(int(r["scan"]) for r in rows) == [w["index"] for w in designed]
    by_scan = {int(r["scan"]): int(r["tic"]) for r in rows}
    assert by_scan == {w["index"]: w["count_sum"] for w in designed}
    assert _console(run, "tic", "--by", "colour").returncode == 2
    # spectrum --average: the mean on its grid, the dark beside it; the peaks; the plot.
    window = [w for w in _marker_window(run, 2) if w["kind"] == "summed"]
    ldi = [w for w in window if w["mode"] == "LDI"]
    done = _console(
        run, "spectrum", "--average", "--marker", 2, "--kind", "summed", "--mode", "LDI",
        "--subtract-dark",
    )  # fmt: skip
    assert done.returncode == 0, done.stderr
    rows = _csv(done.stdout)
    grid = _designed_mz(max(ldi, key=counted_bins))
    dark = _mean_on(grid, [w for w in window if w["mode"] == "Dark"])
    np.testing.assert_allclose([float(r["mz"]) for r in rows], grid, atol=1e-9)
    np.testing.assert_allclose([float(r["dark"]) for r in rows], dark, atol=1e-6)
    np.testing.assert_allclose(
        [float(r["count"]) for r in rows], _mean_on(grid, ldi) - dark, atol=1e-6
    )
    done = _console(run, "spectrum", "--average", "--marker", 2, "--peaks")
    assert list(_csv(done.stdout)[0]) == ["mz", "height", "area", "width", "apex_mz", "bin"]
    png = tmp_path / "mean.png"
    # The demo's figure: marker 2's summed LDI scans, their dark mean subtracted, peaks marked.
    done = _console(
        run, "spectrum", "--average", "--marker", 2, "--kind", "summed", "--mode", "LDI",
        "--subtract-dark", "--peaks", "--png", png,
    )  # fmt: skip
    assert done.returncode == 0 and png.stat().st_size > 10_000, done.stderr
    assert f"mean spectrum of {len(ldi)} scans written to {png}" in done.stdout
    png = tmp_path / "xic.png"
    done = _console(run, "xic", 3.0133, "--png", png)
    assert done.returncode == 0 and png.stat().st_size > 10_000, done.stderr
    # A window without dark scans: said on one line, status 1, nothing on standard output.
    done = _console(run, "spectrum", "--average", "--marker", 3, "--subtract-dark")
    assert done.returncode == 1 and done.stdout == ""
    assert "no dark scan in the window of marker 3" in done.stderr
    # The console names its own option, not the Python argument.
    done = _console(
        run, "spectrum", "--average", "--marker", 2, "--mode", "Dark", "--subtract-dark"
    )
    assert done.returncode == 1 and "no --subtract-dark" in done.stderr, done.stderr
    assert _console(run, "spectrum").returncode == 2


# Two scans on one grid, by hand: (m/z, counts) per scan, grid points, the expected sums and
# numbers of scans. The second scan has a gap between m/z 3 and 10 that it never measured.
@pytest.mark.parametrize(
    "grid,total,number",
    [
        # on bins and between regular ones: both scans, interpolated linearly
        ([1.0, 2.5, 3.0], [1.0 + 10.0, 2.5 + 25.0, 3.0 + 30.0], [2, 2, 2]),
        # inside the gap: the first scan alone (nothing invented for the second)
        ([5.0, 9.5], [5.0, 9.5], [1, 1]),
        # on the gap's edges: the measured bins count
        ([10.0, 11.5], [10.0 + 100.0, 11.5 + 115.0], [2, 2]),
        # beyond both: nothing
        ([0.5, 13.0], [0.0, 0.0], [0, 0]),
    ],
)
def test_on_grid_interpolates_within_bins_and_not_across_gaps(grid, total, number):
    from k814util.msanalysis import on_grid

    first = np.arange(1.0, 12.5, 0.5)  # counts = m/z
    second = np.array([1.0, 2.0, 3.0, 10.0, 11.0, 12.0])  # counts = 10 x m/z
    mz = np.concatenate([first, second])
    counts = np.concatenate([first, 10.0 * second])
    offsets = np.array([0, len(first), len(mz)])
    got_total, got_number = on_grid(mz, counts, offsets, np.array(grid))
    np.testing.assert_allclose(got_total, total)
    np.testing.assert_array_equal(got_number, number)
