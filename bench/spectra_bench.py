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
"""

from __future__ import annotations

import argparse
import os
import statistics
import time

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


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tm_file")
    parser.add_argument("--ini", required=True)
    parser.add_argument("--scans", type=int, default=10_000, help="first N scans (0: all)")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each side")
    args = parser.parse_args()
    os.environ["INI814"] = os.path.abspath(args.ini)

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


if __name__ == "__main__":
    main()
