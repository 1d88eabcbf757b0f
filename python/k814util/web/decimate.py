"""Thinning a series for a chart without losing what matters on it.

A chart of W pixel columns cannot show more than the first, lowest, highest and last sample of
each column: everything else is drawn over. Keeping exactly those four per column gives a line
that looks the same as the whole series (no spike disappears, no step moves) from at most 4 W
points.
"""

from __future__ import annotations

import numpy as np

__all__ = ["decimate"]


def decimate(
    time: np.ndarray, value: np.ndarray, columns: int, start: float, end: float
) -> np.ndarray:
    """The indices of the samples to keep: per pixel column, the first, minimum, maximum and
    last sample.

    Parameters
    ----------
    time : numpy.ndarray
        The samples' times (seconds), any order; every one between ``start`` and ``end``.
    value : numpy.ndarray
        The samples' values, as long as ``time``: numbers (NaN never wins a minimum or a
        maximum), or texts, of which the first and last of each column are kept.
    columns : int
        How many pixel columns ``[start, end]`` is cut into (at least 1).
    start, end : float
        The span the columns cover; ``end < start`` is refused.

    Returns
    -------
    numpy.ndarray
        Indices into ``time`` and ``value`` (int64), increasing, at most ``4 * columns`` of
        them, so ``time[kept]`` keeps the samples' order.

    Raises
    ------
    ValueError
        When ``columns`` is below 1, ``end`` lies before ``start`` or the arrays differ in
        length.

    Examples
    --------
    >>> import numpy as np
    >>> t = np.arange(10.0)
    >>> v = np.array([0, 1, 9, 2, 3, 4, -5, 5, 6, 7.0])
    >>> decimate(t, v, 2, 0.0, 9.0).tolist()
    [0, 2, 4, 5, 6, 9]
    """
    columns = int(columns)
    if columns < 1:
        raise ValueError(f"columns must be at least 1, not {columns}")
    if end < start:
        raise ValueError(f"end {end} lies before start {start}")
    n = len(time)
    if len(value) != n:
        raise ValueError(f"time and value differ in length ({n} and {len(value)})")
    if n == 0:
        return np.zeros(0, dtype=np.int64)
    width = end - start
    if width > 0:
        column = ((np.asarray(time, dtype=np.float64) - start) * (columns / width)).astype(np.int64)
        np.clip(column, 0, columns - 1, out=column)
    else:
        column = np.zeros(n, dtype=np.int64)
    # Samples come in packet order, which is nearly always time order: sort only when needed.
    if n > 1 and (column[1:] < column[:-1]).any():
        order = np.argsort(column, kind="stable")
        column = column[order]
    else:
        order = np.arange(n, dtype=np.int64)
    starts = np.flatnonzero(np.r_[True, column[1:] != column[:-1]])
    ends = np.r_[starts[1:], n] - 1
    kept = [order[starts], order[ends]]
    ordered = np.asarray(value)[order]
    if ordered.dtype.kind in "fiub":
        ordered = ordered.astype(np.float64, copy=False)
        position = np.arange(n, dtype=np.int64)
        counts = np.diff(np.r_[starts, n])
        for reduce in (np.fmin, np.fmax):
            extreme = reduce.reduceat(ordered, starts)
            # The first sample of each column that equals its extreme.
            hit = ordered == np.repeat(extreme, counts)
            first = np.minimum.reduceat(np.where(hit, position, n), starts)
            found = first < n
            kept.append(order[first[found]])
    return np.unique(np.concatenate(kept))
