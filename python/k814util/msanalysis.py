"""The mass spectrometrist's figures over the ragged arrays of :class:`k814util.Spectra`: the
extracted-ion chromatogram, spectra averaged on a common m/z grid, and peak picking.

Every function works on the flat layout (all scans' bins one after another, each scan from its
offset) with whole-array numpy operations, so their cost grows with the bins involved and not
with a Python loop over scans.
"""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np

# Query cells (scans x grid points) interpolated at once when averaging: the ten or so
# temporary arrays of a chunk stay near 40 MB whatever the window holds.
_CHUNK_CELLS = 1 << 19


@dataclass(frozen=True)
class AveragedSpectrum:
    """A mean spectrum on an m/z grid (:meth:`k814util.Spectra.average`).

    ``mz`` is the grid and ``counts`` the mean counts there (float64; NaN where no scan covers
    the grid point, or no dark scan when the dark mean was subtracted); ``scans`` are the scan
    numbers averaged, ``dark_scans`` those of the dark mean subtracted (empty when none was),
    and ``dark`` that mean on the grid (None when none was subtracted)."""

    mz: np.ndarray
    counts: np.ndarray
    scans: np.ndarray
    dark_scans: np.ndarray
    dark: np.ndarray | None = None


def xic(
    flat_mz: np.ndarray,
    flat_counts: np.ndarray,
    offsets: np.ndarray,
    lower: float,
    upper: float,
) -> np.ndarray:
    """Per scan, the counts of the bins whose m/z lies in [lower, upper]; NaN for a scan
    without such a bin."""
    rows = len(offsets) - 1
    hits = np.flatnonzero((flat_mz >= lower) & (flat_mz <= upper))
    # The scan of each hit: the last offset at or before it.
    owner = np.searchsorted(offsets, hits, side="right") - 1
    sums = np.bincount(owner, weights=flat_counts[hits], minlength=rows).astype(np.float64)
    covered = np.bincount(owner, minlength=rows) > 0
    sums[~covered] = np.nan
    return sums


def _ragged_subset(
    flat_mz: np.ndarray, flat_counts: np.ndarray, n_bins: np.ndarray, keep: np.ndarray
) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    """The kept rows' m/z, counts (float64) and offsets, rows without bins left out."""
    keep = keep & (n_bins > 0)
    take = np.repeat(keep, n_bins)
    lengths = n_bins[keep]
    offsets = np.zeros(len(lengths) + 1, dtype=np.int64)
    np.cumsum(lengths, out=offsets[1:])
    return flat_mz[take], flat_counts[take].astype(np.float64), offsets


def grid_of(mz: np.ndarray, offsets: np.ndarray) -> np.ndarray:
    """The common grid of a ragged set of scans: the m/z of the scan with the most bins (the
    first of them)."""
    lengths = np.diff(offsets)
    r = int(np.argmax(lengths))
    return mz[offsets[r] : offsets[r + 1]].copy()


def on_grid(
    mz: np.ndarray, counts: np.ndarray, offsets: np.ndarray, grid: np.ndarray
) -> tuple[np.ndarray, np.ndarray]:
    """(sum over the scans, number of scans) at each grid point, each scan's counts
    interpolated linearly between its bins and taken only within its own m/z range.

    All scans are searched at once: shifting scan i's m/z by i times more than their whole
    range makes the flat m/z one increasing array, in which a sorted search finds every (scan,
    grid point) pair's bins."""
    rows = len(offsets) - 1
    total = np.zeros(len(grid))
    number = np.zeros(len(grid), dtype=np.int64)
    if rows == 0 or len(grid) == 0:
        return total, number
    lo = float(mz.min())
    span = float(mz.max()) - lo + 1.0
    local = np.repeat(np.arange(rows, dtype=np.float64), np.diff(offsets))
    key = (mz - lo) + local * span
    if np.any(np.diff(key) <= 0):
        raise ValueError("the scans' m/z do not increase with the bin, so they cannot be averaged")
    shifted = grid - lo
    step = max(1, _CHUNK_CELLS // len(grid))
    for a in range(0, rows, step):
        b = min(rows, a + step)
        i = np.arange(a, b)
        first = offsets[a:b, None]
        last = offsets[a + 1 : b + 1, None] - 1
        query = shifted[None, :] + (i * span)[:, None]
        j = np.searchsorted(key, query, side="right") - 1
        j = np.clip(j, first, np.maximum(last - 1, first))
        j1 = np.minimum(j + 1, last)
        x0, x1 = mz[j], mz[j1]
        inside = (grid[None, :] >= mz[first]) & (grid[None, :] <= mz[last])
        with np.errstate(invalid="ignore", divide="ignore"):
            frac = np.where(x1 > x0, (grid[None, :] - x0) / (x1 - x0), 0.0)
        value = counts[j] + frac * (counts[j1] - counts[j])
        total += np.where(inside, value, 0.0).sum(axis=0)
        number += inside.sum(axis=0)
    return total, number


def mean_on_grid(
    mz: np.ndarray, counts: np.ndarray, offsets: np.ndarray, grid: np.ndarray
) -> np.ndarray:
    """The mean over the scans covering each grid point; NaN where none does."""
    total, number = on_grid(mz, counts, offsets, grid)
    with np.errstate(invalid="ignore", divide="ignore"):
        return np.where(number > 0, total / np.maximum(number, 1), np.nan)


def peaks(
    mz: np.ndarray,
    counts: np.ndarray,
    height: float | None = None,
    prominence: float | None = None,
    distance: int | None = None,
    rel_height: float = 0.5,
) -> dict[str, np.ndarray]:
    """The peaks of one spectrum, found by ``scipy.signal.find_peaks`` and measured by
    ``scipy.signal.peak_widths``; see :meth:`k814util.Spectra.peaks`."""
    from scipy.signal import find_peaks, peak_widths

    x = np.asarray(mz, dtype=np.float64)
    y = np.nan_to_num(np.asarray(counts, dtype=np.float64), nan=0.0)
    finite = np.isfinite(x)
    x, y = x[finite], y[finite]
    if height is None and prominence is None and len(y):
        # A twentieth of the spectrum's range: counting noise of a few counts is no peak, and
        # a spectrum crowded with peaks (where a noise estimate from the counts would be the
        # peaks' own) still gives its main ones.
        prominence = max(0.05 * float(np.ptp(y)), np.finfo(float).tiny)
    found, _ = find_peaks(y, height=height, prominence=prominence, distance=distance)
    names = ("mz", "height", "area", "width", "apex_mz", "bin")
    if len(found) == 0:
        return {n: np.zeros(0, np.int64 if n == "bin" else np.float64) for n in names}
    index = np.arange(len(y), dtype=np.float64)
    _, contour, left, right = peak_widths(y, found, rel_height=rel_height)
    _, _, base_left, base_right = peak_widths(y, found, rel_height=1.0)
    # Centroid: the m/z of the bins above the width's contour line, each weighted by its
    # counts above that line (so a dark-subtracted spectrum's negative counts weigh nothing).
    a = np.ceil(left).astype(np.int64)
    b = np.floor(right).astype(np.int64) + 1
    owner = np.repeat(np.arange(len(found)), b - a)
    at = np.arange(len(owner)) - np.repeat(np.cumsum(b - a) - (b - a), b - a) + np.repeat(a, b - a)
    lift = np.maximum(y[at] - contour[owner], 0.0)
    weight = np.bincount(owner, weights=lift, minlength=len(found))
    with np.errstate(invalid="ignore", divide="ignore"):
        centroid = np.bincount(owner, weights=lift * x[at], minlength=len(found)) / weight
    centroid = np.where(weight > 0, centroid, x[found])
    # Area: the trapezoid integral of the counts over m/z between where the peak meets its base.
    pieces = np.concatenate(([0.0], np.cumsum(0.5 * (y[1:] + y[:-1]) * np.diff(x))))
    lo_area = np.interp(base_left, index, pieces)
    hi_area = np.interp(base_right, index, pieces)
    return {
        "mz": centroid,
        "height": y[found],
        "area": hi_area - lo_area,
        "width": np.interp(right, index, x) - np.interp(left, index, x),
        "apex_mz": x[found],
        "bin": np.flatnonzero(finite)[found].astype(np.int64),
    }
