"""The scans of a TARN telemetry file as numpy arrays, against a Python loop over the scan objects.

    python bench/spectra_bench.py TM_FILE --ini INI [--scans N] [--repeat R]

Binds the file (``k814util.scans``), then times, for the first N scans (default 10,000; 0 for
every scan of the file), median of R runs taken in turn:
- arrays: ``k814util.Spectra(scans, 0, N)``: zero-padded counts, the m/z of every counted bin,
  the bins per scan and the table's per-scan columns, filled by the compiled module;
- loop: the same counts and m/z by hand: for each scan ``get_scan(i).counts()`` and
  ``m_over_z_values()``, copied with ``np.fromiter`` into rows of arrays of the same shape
  (zeros and NaN; the loop is even given the width, untimed).
Prints both times, the ratio loop/arrays, and whether the two agree.

Then the layout of every scan of the file, before (padded: one row per scan as wide as the
longest, as the spectra were held) and after (ragged: the bins one after another with each
scan's offset), same run:
- bytes: the arrays held, against the scans' own counts (int32) and m/z (float64);
- ``long()``: its time against numpy alone building the same four columns from the flat arrays
  (median of R), and the padded way (the counted cells picked out of the matrices by a mask);
  and its peak memory above what was held before (tracemalloc, each in a fresh process so no
  freed pages of an earlier step hide it) against the frame's own bytes;
- ``xic()`` of a window around the first scan's middle m/z against the same sums in numpy on
  the padded matrices (median of R; the two checked equal where a scan covers the window).
"""

from __future__ import annotations

import argparse
import json
import os
import statistics
import subprocess
import sys
import time
import tracemalloc

import numpy as np


def _loop(scans, n: int, width: int) -> tuple[np.ndarray, np.ndarray]:
    counts = np.zeros((n, width), np.int32)
    mz = np.full((n, width), np.nan)
    get_scan = scans.get_scan
    for i in range(n):
        scan = get_scan(i)
        c = scan.counts()
        m = scan.m_over_z_values()
        counts[i, : len(c)] = np.fromiter(c, np.int32, len(c))
        mz[i, : len(m)] = np.fromiter(m, np.float64, len(m))
    return counts, mz


def _numpy_columns(sp) -> dict[str, np.ndarray]:
    """The columns of long() built with numpy alone from the flat arrays: the yardstick."""
    return {
        "scan": np.repeat(np.arange(sp.start, sp.start + len(sp), dtype=np.int64), sp.n_bins),
        "bin": np.arange(len(sp.flat_counts), dtype=np.int64)
        - np.repeat(sp.offsets[:-1], sp.n_bins),
        "mz": sp.flat_mz.copy(),
        "count": sp.flat_counts.copy(),
    }


def _padded_long(sp):
    """long() as it was made from the padded matrices (which the spectra then held)."""
    import pandas as pd

    counted = np.arange(sp.counts.shape[1]) < sp.n_bins[:, None]
    rows, bins = np.nonzero(counted)
    return pd.DataFrame(
        {"scan": rows + sp.start, "bin": bins, "mz": sp.mz[counted], "count": sp.counts[counted]}
    )


def _measure_long(tm_file: str, how: str) -> None:
    """Child process: the peak of one way of making the long frame, as JSON."""
    import pandas  # noqa: F401 - imported before, so its import is not counted

    import k814util

    sp = k814util.Spectra(k814util.scans(tm_file))
    if how == "padded":
        sp.counts  # noqa: B018 - the padded matrices are held before, as they were
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    start = time.perf_counter()
    frame = sp.long() if how != "padded" else _padded_long(sp)
    seconds = time.perf_counter() - start
    peak = tracemalloc.get_traced_memory()[1] - before
    own = int(frame.memory_usage(index=False).sum())
    print(json.dumps({"peak": peak, "own": own, "seconds": seconds, "rows": len(frame)}))


def _layout(args) -> None:
    import k814util

    sp = k814util.Spectra(k814util.scans(args.tm_file))
    bins = int(sp.n_bins.sum())
    own = bins * (4 + 8)  # each scan's counts as int32 and m/z as float64
    ragged = sp.flat_counts.nbytes + sp.flat_mz.nbytes + sp.offsets.nbytes + sp.n_bins.nbytes
    start = time.perf_counter()
    padded = sp.counts.nbytes + sp.mz.nbytes + sp.n_bins.nbytes
    pad_time = time.perf_counter() - start
    print(f"layout: {len(sp)} scans, {bins:,} bins, longest {sp.counts.shape[1]:,}")
    print(f"  scans' own counts and m/z:  {own / 1e6:10.1f} MB")
    print(f"  before (padded):            {padded / 1e6:10.1f} MB  {padded / own:6.2f}x")
    print(f"  after (ragged):             {ragged / 1e6:10.1f} MB  {ragged / own:6.3f}x")
    print(f"  padded matrices made on request from the flat arrays: {pad_time:.3f} s")

    longs, numpys, paddeds = [], [], []
    for _ in range(max(1, args.repeat)):
        start = time.perf_counter()
        frame = sp.long()
        longs.append(time.perf_counter() - start)
        del frame
        start = time.perf_counter()
        columns = _numpy_columns(sp)
        numpys.append(time.perf_counter() - start)
        del columns
        start = time.perf_counter()
        frame = _padded_long(sp)
        paddeds.append(time.perf_counter() - start)
        del frame
    after, yardstick, before = map(statistics.median, (longs, numpys, paddeds))
    print(f"long(), median of {len(longs)}:")
    print(f"  numpy alone (same columns): {yardstick:8.3f} s")
    print(f"  after (ragged):             {after:8.3f} s  {after / yardstick:6.2f}x numpy")
    print(f"  before (padded):            {before:8.3f} s  {before / yardstick:6.2f}x numpy")
    row_mz = sp.flat_mz[sp.offsets[0] : sp.offsets[1]]
    centre = float(row_mz[len(row_mz) // 2]) + 0.013
    lower, upper = centre - 0.5, centre + 0.5
    ragged_times, padded_times = [], []
    for _ in range(max(1, args.repeat)):
        start = time.perf_counter()
        xic = sp.xic(centre, 0.5)
        ragged_times.append(time.perf_counter() - start)
        start = time.perf_counter()
        inside = (sp.mz >= lower) & (sp.mz <= upper)
        padded_sum = np.where(inside, sp.counts, 0).sum(axis=1)
        padded_times.append(time.perf_counter() - start)
    covered = ~np.isnan(xic)
    same = np.array_equal(xic[covered], padded_sum[covered])
    ragged_xic, padded_xic = map(statistics.median, (ragged_times, padded_times))
    print(f"xic(m/z {centre:g} +- 0.5), {int(covered.sum())} of {len(xic)} scans cover it:")
    print(f"  flat arrays:                {ragged_xic:8.3f} s")
    print(f"  numpy on the padded:        {padded_xic:8.3f} s  ({'equal' if same else 'DIFFER'})")
    for how in ("ragged", "padded"):
        done = subprocess.run(
            [sys.executable, __file__, args.tm_file, "--ini", args.ini, "--measure-long", how],
            capture_output=True,
            text=True,
            check=True,
        )
        m = json.loads(done.stdout.strip().splitlines()[-1])
        print(
            f"  peak of long() {how:>6}: {m['peak'] / 1e6:8.1f} MB above what was held, "
            f"{m['peak'] / m['own']:5.2f}x the frame's own {m['own'] / 1e6:.1f} MB "
            f"({m['seconds']:.2f} s in its own process)"
        )


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tm_file")
    parser.add_argument("--ini", required=True)
    parser.add_argument("--scans", type=int, default=10_000, help="first N scans (0: all)")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each side")
    parser.add_argument("--measure-long", choices=("ragged", "padded"), help=argparse.SUPPRESS)
    parser.add_argument(
        "--layout-only", action="store_true", help="only the layout's bytes and long()"
    )
    args = parser.parse_args()
    os.environ["INI814"] = os.path.abspath(args.ini)
    if args.measure_long:
        _measure_long(args.tm_file, args.measure_long)
        return
    if args.layout_only:
        _layout(args)
        return

    import k814util

    start = time.perf_counter()
    scans = k814util.scans(args.tm_file)
    bind = time.perf_counter() - start
    total = len(scans)
    n = total if args.scans <= 0 else min(args.scans, total)

    array_times, loop_times = [], []
    for _ in range(max(1, args.repeat)):
        start = time.perf_counter()
        sp = k814util.Spectra(scans, 0, n)
        array_times.append(time.perf_counter() - start)
        width = sp.counts.shape[1]
        del sp
        start = time.perf_counter()
        counts, mz = _loop(scans, n, width)
        loop_times.append(time.perf_counter() - start)
        del counts, mz

    sp = k814util.Spectra(scans, 0, n)
    counts, mz = _loop(scans, n, sp.counts.shape[1])
    # The loop's m/z stop at nBins() - 1; the arrays go on over every counted bin.
    shown = ~np.isnan(mz)
    agree = np.array_equal(counts, sp.counts) and np.array_equal(mz[shown], sp.mz[shown])

    bins = int(sp.n_bins.sum())
    arrays, loop = statistics.median(array_times), statistics.median(loop_times)
    megabytes = (sp.counts.nbytes + sp.mz.nbytes) / 1e6
    print(f"file: {total} scans (bound in {bind:.2f} s); timed: the first {n}, {bins:,} bins")
    print(f"  arrays (Spectra):     {arrays:8.3f} s  {bins / arrays:14,.0f} bins/s", end="")
    print(f"  ({megabytes:.0f} MB of counts and m/z)")
    print(f"  loop over get_scan:   {loop:8.3f} s  {bins / loop:14,.0f} bins/s")
    print(f"  ratio loop/arrays:    {loop / arrays:8.1f}  (median of {len(array_times)} runs each)")
    print(f"  counts and m/z agree: {'yes' if agree else 'NO'}")
    del sp, counts, mz
    _layout(args)


if __name__ == "__main__":
    main()
