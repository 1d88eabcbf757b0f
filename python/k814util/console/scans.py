"""The TARN mass-spectrum scans: scans (one line each, and a table by kind and mode),
spectrum (one scan as CSV or a plot) and tic (total ion counts as CSV or a chromatogram)."""

from __future__ import annotations

import argparse
import csv
import sys

from k814util.console.common import KINDS, Failure, add_file_command, bound
from k814util.console.trend import add_utc


def _scan_rows(args: argparse.Namespace):
    """(the scans, their table columns) of the test's file."""
    import k814util
    from k814util.spectra import table_columns

    bound(args)
    scans = k814util.ScienceDataCacheWrapper(False, False)
    return scans, table_columns(scans)


def cmd_scans(args: argparse.Namespace) -> int:
    from k814util.console.plotting import marker_label
    from k814util.spectra import MODE_NAMES

    _, cols = _scan_rows(args)
    n = len(cols["scan"])
    print(f"Scans: {n}")
    print(
        f"  {'scan':>6} {'time [s]':>11}  {'kind':<10} {'mode':<7} {'bins':>6} {'TIC':>10}  marker"
    )
    kinds = [KINDS.get(int(t), str(t)) for t in cols["src_pkt_type"]]
    for i in range(n):
        print(
            f"  {cols['scan'][i]:>6} {cols['relative_time'][i]:>11.3f}  {kinds[i]:<10} "
            f"{cols['mode'][i]:<7} {cols['bins'][i]:>6} {cols['tic'][i]:>10}  "
            f"{marker_label(int(cols['marker_id'][i]), cols['marker_text'][i])}"
        )
    modes = (*MODE_NAMES[1:], MODE_NAMES[0])  # the known modes first
    table = {(k, m): 0 for k in KINDS.values() for m in modes}
    for kind, mode in zip(kinds, cols["mode"]):
        table[kind, mode] = table.get((kind, mode), 0) + 1
    print("By kind and mode:")
    print(f"  {'kind':<10}" + "".join(f"{m:>9}" for m in modes) + f"{'total':>9}")
    for kind in dict.fromkeys([*KINDS.values(), *kinds]):
        row = [table.get((kind, m), 0) for m in modes]
        print(f"  {kind:<10}" + "".join(f"{c:>9}" for c in row) + f"{sum(row):>9}")
    totals = [sum(1 for m in cols["mode"] if m == mode) for mode in modes]
    print(f"  {'total':<10}" + "".join(f"{c:>9}" for c in totals) + f"{n:>9}")
    return 0


def cmd_spectrum(args: argparse.Namespace) -> int:
    import k814util

    bound(args)
    scans = k814util.ScienceDataCacheWrapper(False, False)
    n = scans.size()
    index = args.index + n if args.index < 0 else args.index
    try:
        scan = scans.get_scan(index)
    except IndexError as exc:
        raise Failure(f"k814util: {exc} ({n} scans)") from None
    sp = k814util.Spectra(scans, index, index + 1)
    if not args.png:
        bins = int(sp.n_bins[0])
        mz, counts = sp.mz[0, :bins], sp.counts[0, :bins]
        out = csv.writer(sys.stdout, lineterminator="\n")
        out.writerow(["bin", "mz", "count"])
        for k in range(bins):
            out.writerow([k, repr(float(mz[k])), int(counts[k])])
        return 0
    from k814util.console import plotting

    fig, plt = plotting.spectrum(scan, index, sp, True)
    plotting.save_or_show(fig, plt, args.png)
    print(f"spectrum of scan {index} written to {args.png}")
    return 0


def cmd_tic(args: argparse.Namespace) -> int:
    _, cols = _scan_rows(args)
    if not args.png:
        out = csv.writer(sys.stdout, lineterminator="\n")
        out.writerow(["scan", "relative_time", "tic", "corrected_tic", "mode"])
        for row in zip(
            cols["scan"], cols["relative_time"], cols["tic"], cols["corrected_tic"], cols["mode"]
        ):
            out.writerow(
                [int(row[0]), repr(float(row[1])), int(row[2]), repr(float(row[3])), row[4]]
            )
        return 0
    from k814util.console import plotting

    fig, plt = plotting.tic(bound(args), cols, args.utc, True)
    plotting.save_or_show(fig, plt, args.png)
    print(f"TIC chromatogram of {len(cols['scan'])} scans written to {args.png}")
    return 0


def register(sub) -> None:
    add_file_command(
        sub, "scans", cmd_scans, "the TARN mass-spectrum scans, one line each, by kind and mode"
    )
    spectrum = add_file_command(
        sub, "spectrum", cmd_spectrum, "one scan's m/z and counts as CSV, or a plot"
    )
    spectrum.add_argument("index", type=int, help="scan number (negative: from the end)")
    spectrum.add_argument("--png", metavar="OUT", help="plot the spectrum to this PNG file")
    tic = add_file_command(
        sub, "tic", cmd_tic, "total ion counts against time as CSV, or a chromatogram plot"
    )
    tic.add_argument("--png", metavar="OUT", help="plot the chromatogram to this PNG file")
    add_utc(tic)
