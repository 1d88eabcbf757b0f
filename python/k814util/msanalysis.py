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

    Parameters
    ----------
    mz : numpy.ndarray
        The grid (float64).
    counts : numpy.ndarray
        The mean counts there (float64; NaN where no scan covers the grid point, or no dark scan
        when the dark mean was subtracted).
    scans : numpy.ndarray
        The scan numbers averaged.
    dark_scans : numpy.ndarray
        Those of the dark mean subtracted (empty when none was).
    dark : numpy.ndarray or None
        That mean on the grid (None when none was subtracted).

    Examples
    --------
    >>> import numpy as np
    >>> from k814util.msanalysis import AveragedSpectrum
    >>> a = AveragedSpectrum(np.array([1.0, 2.0]), np.array([3.0, 4.0]), np.array([0]),
    ...                      np.zeros(0, np.int64))
    >>> a.dark is None
    True
    """

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
    """Per scan, the counts of the bins whose m/z lies in [lower, upper].

    Parameters
    ----------
    flat_mz, flat_counts : numpy.ndarray
        Every scan's m/z and counts one after another.
    offsets : numpy.ndarray
        Scans + 1: scan r is ``flat_counts[offsets[r]:offsets[r + 1]]``.
    lower, upper : float
        The m/z window, both ends included.

    Returns
    -------
    numpy.ndarray
        float64, one per scan; NaN for a scan without a bin in the window.

    Examples
    --------
    >>> import numpy as np
    >>> from k814util.msanalysis import xic
    >>> mz = np.array([1.0, 2.0, 3.0, 5.0, 6.0])
    >>> counts = np.array([10, 20, 30, 40, 50])
    >>> xic(mz, counts, np.array([0, 3, 5]), 1.5, 3.0)
    array([50., nan])
    """
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
    """The common grid of a ragged set of scans: the m/z of the scan with the most bins.

    Parameters
    ----------
    mz : numpy.ndarray
        The scans' m/z one after another.
    offsets : numpy.ndarray
        Scans + 1 offsets into ``mz``.

    Returns
    -------
    numpy.ndarray
        A copy of the longest scan's m/z (the first of them when several are as long).

    Examples
    --------
    >>> import numpy as np
    >>> from k814util.msanalysis import grid_of
    >>> grid_of(np.array([1.0, 2.0, 1.5, 2.5, 3.5]), np.array([0, 2, 5]))
    array([1.5, 2.5, 3.5])
    """
    lengths = np.diff(offsets)
    r = int(np.argmax(lengths))
    return mz[offsets[r] : offsets[r + 1]].copy()


def on_grid(
    mz: np.ndarray, counts: np.ndarray, offsets: np.ndarray, grid: np.ndarray
) -> tuple[np.ndarray, np.ndarray]:
    """The sum over the scans and the number of scans at each grid point.

    Each scan's counts are interpolated linearly between its bins and taken only within its
    own m/z range, and not within a gap of its bins (a step more than twice as wide as the
    steps beside it). All scans are searched at once: shifting scan i's m/z by i times more than
    their whole range makes the flat m/z one increasing array, in which a sorted search finds
    every (scan, grid point) pair's bins.

    Parameters
    ----------
    mz, counts : numpy.ndarray
        The scans' m/z (increasing within each scan) and counts one after another.
    offsets : numpy.ndarray
        Scans + 1 offsets into them.
    grid : numpy.ndarray
        Where to evaluate.

    Returns
    -------
    tuple of numpy.ndarray
        (sum, number): float64 and int64, as long as ``grid``.

    Raises
    ------
    ValueError
        When a scan's m/z do not increase with the bin.

    Examples
    --------
    >>> import numpy as np
    >>> from k814util.msanalysis import on_grid
    >>> total, number = on_grid(np.array([1.0, 3.0, 2.0, 4.0]), np.array([0.0, 2.0, 10.0, 20.0]),
    ...                         np.array([0, 2, 4]), np.array([1.0, 2.0, 3.0, 4.0]))
    >>> total.tolist(), number.tolist()
    ([0.0, 11.0, 17.0, 20.0], [1, 2, 2, 1])
    """
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
        # A scan with a gap in its bins (m/z it never measured) gives nothing inside the gap:
        # a step more than twice its neighbours' is a gap, not a bin spacing to interpolate.
        left = np.where(j > first, mz[j] - mz[np.maximum(j - 1, first)], np.inf)
        right = np.where(j1 < last, mz[np.minimum(j1 + 1, last)] - mz[j1], np.inf)
        gap = (x1 - x0) > 2.0 * np.minimum(left, right)
        inside &= ~(gap & (grid[None, :] > x0) & (grid[None, :] < x1))
        with np.errstate(invalid="ignore", divide="ignore"):
            frac = np.where(x1 > x0, (grid[None, :] - x0) / (x1 - x0), 0.0)
        value = counts[j] + frac * (counts[j1] - counts[j])
        total += np.where(inside, value, 0.0).sum(axis=0)
        number += inside.sum(axis=0)
    return total, number


def mean_on_grid(
    mz: np.ndarray, counts: np.ndarray, offsets: np.ndarray, grid: np.ndarray
) -> np.ndarray:
    """The mean over the scans covering each grid point (:func:`on_grid`).

    Parameters
    ----------
    mz, counts : numpy.ndarray
        The scans' m/z and counts one after another.
    offsets : numpy.ndarray
        Scans + 1 offsets into them.
    grid : numpy.ndarray
        Where to evaluate.

    Returns
    -------
    numpy.ndarray
        float64; NaN where no scan covers the grid point.

    Raises
    ------
    ValueError
        When a scan's m/z do not increase with the bin.

    Examples
    --------
    >>> import numpy as np
    >>> from k814util.msanalysis import mean_on_grid
    >>> mean_on_grid(np.array([1.0, 3.0, 2.0, 4.0]), np.array([0.0, 2.0, 10.0, 20.0]),
    ...              np.array([0, 2, 4]), np.array([0.0, 2.0, 3.0]))
    array([nan, 5.5, 8.5])
    """
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
    """The peaks of one spectrum (see :meth:`k814util.Spectra.peaks`).

    Found by ``scipy.signal.find_peaks`` and measured by ``scipy.signal.peak_widths``; NaN
    counts count as 0 and bins without a finite m/z are left out.

    Parameters
    ----------
    mz, counts : numpy.ndarray
        The spectrum.
    height, prominence : float, optional
        The least height and prominence of a peak; without either, the prominence is 5 % of
        the range of the counts.
    distance : int, optional
        The least distance between peaks (bins).
    rel_height : float, default 0.5
        Where the width is measured, as a fraction of the prominence below the apex.

    Returns
    -------
    dict of str to numpy.ndarray
        ``mz`` (centroid), ``height``, ``area``, ``width``, ``apex_mz`` and ``bin``, one entry
        per peak in m/z order.

    Raises
    ------
    ImportError
        Without scipy.

    Examples
    --------
    >>> import numpy as np
    >>> from k814util.msanalysis import peaks
    >>> mz = np.linspace(10.0, 20.0, 101)
    >>> counts = 1000 * np.exp(-0.5 * ((mz - 14.0) / 0.2) ** 2)
    >>> found = peaks(mz, counts)
    >>> centroid, height, width = found["mz"][0], found["height"][0], found["width"][0]
    >>> round(float(centroid), 3), float(height), round(float(width), 2)
    (14.0, 1000.0, 0.48)
    """
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
