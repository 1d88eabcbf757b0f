"""The TARN mass-spectrum scans: scans (one line each, and a table by kind and mode),
spectrum (one scan, or the mean of a window's scans, as CSV or a plot), tic (total ion counts
as CSV or a chromatogram) and xic (the counts of one m/z window per scan)."""

from __future__ import annotations

import argparse
import csv
import sys

from k814util.console.common import (
    KINDS,
    Failure,
    add_file_command,
    add_window,
    bound,
    window,
)
from k814util.console.trend import add_utc


def _tarn(args: argparse.Namespace):
    """The test's TMFile; Failure for a test of a mission without mass-spectrum scans."""
    f = bound(args)
    if f.mission() != "tarn":
        raise Failure(f"{args.command}: only TARN tests carry mass-spectrum scans")
    return f


def _scan_rows(args: argparse.Namespace):
    """(the scans, their table columns) of the test's file."""
    import k814util
    from k814util.spectra import table_columns

    _tarn(args)
    scans = k814util.ScienceDataCacheWrapper(False, False)
    return scans, table_columns(scans)


def cmd_scans(args: argparse.Namespace) -> int:
    """The ``scans`` subcommand: one line per scan, then a table of the scans by kind and mode.

    Parameters
    ----------
    args : argparse.Namespace
        The parsed options.

    Returns
    -------
    int
        0.

    Raises
    ------
    Failure
        When the file cannot be bound.

    Examples
    --------
    >>> from k814util.console import main
    >>> tm = ("build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...       "tarn_12345.tlm")
    >>> main(["scans", tm, "-q"])
    Scans: 21
    ...
    0
    """
    from k814util.console.plotting import marker_label
    from k814util.spectra import MODE_NAMES

    if bound(args).mission() != "tarn":
        print("Scans: none (only TARN tests carry them)")
        return 0
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


def _real(value) -> str:
    """A CSV field of a float: empty for a missing value."""
    return "" if value != value else repr(float(value))


def _spectra(args: argparse.Namespace):
    import k814util

    bound(args)
    return k814util.Spectra(k814util.ScienceDataCacheWrapper(False, False))


def cmd_average(args: argparse.Namespace) -> int:
    """``spectrum --average``: the mean spectrum of a window's scans as CSV, its peaks, or a plot.

    Without ``--peaks`` the CSV has ``mz``, ``count`` (and ``dark`` with ``--subtract-dark``)
    for each point of the grid; with it, the peaks of :meth:`k814util.Spectra.peaks`. With
    ``--png`` the mean is plotted, the dark mean in grey and the peaks marked.

    Parameters
    ----------
    args : argparse.Namespace
        The parsed options.

    Returns
    -------
    int
        0.

    Raises
    ------
    Failure
        For a test without mass-spectrum scans, no scans in the window, or no dark scan to
        subtract there.

    Examples
    --------
    >>> from k814util.console import main
    >>> tm = ("build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...       "tarn_12345.tlm")
    >>> main(["spectrum", tm, "--average", "--marker", "2", "--subtract-dark", "--peaks", "-q"])
    mz,height,area,width,apex_mz,bin
    ...
    0
    """
    _tarn(args)
    sp = _spectra(args)
    try:
        averaged = sp.average(
            kind=args.kind, mode=args.mode, subtract_dark=args.subtract_dark, **window(args)
        )
        peaks = sp.peaks(averaged) if args.peaks else None
    except ValueError as exc:
        # The console's words for the Python argument the message names.
        said = str(exc).replace("subtract_dark=False", "no --subtract-dark")
        raise Failure(f"k814util: {said}") from None
    if args.png:
        from k814util.console import plotting

        fig, plt = plotting.averaged_spectrum(bound(args), averaged, peaks, args, True)
        plotting.save_or_show(fig, plt, args.png)
        print(f"mean spectrum of {len(averaged.scans)} scans written to {args.png}")
        return 0
    out = csv.writer(sys.stdout, lineterminator="\n")
    if peaks is not None:
        out.writerow(list(peaks.columns))
        for row in peaks.itertuples(index=False):
            out.writerow([*(_real(v) for v in row[:-1]), int(row[-1])])
        return 0
    dark = averaged.dark is not None
    out.writerow(["mz", "count", *(["dark"] if dark else [])])
    for k in range(len(averaged.mz)):
        extra = [_real(averaged.dark[k])] if dark else []
        out.writerow([repr(float(averaged.mz[k])), _real(averaged.counts[k]), *extra])
    return 0


def cmd_spectrum(args: argparse.Namespace) -> int:
    """The ``spectrum`` subcommand: one scan's bins as CSV or a plot, or (``--average``) a mean.

    Parameters
    ----------
    args : argparse.Namespace
        The parsed options.

    Returns
    -------
    int
        0.

    Raises
    ------
    Failure
        For a test without mass-spectrum scans, no scan number (status 2) or one out of range.

    Examples
    --------
    >>> import os, tempfile
    >>> from k814util.console import main
    >>> tm = ("build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...       "tarn_12345.tlm")
    >>> main(["spectrum", tm, "9", "-q", "--png", os.path.join(tempfile.mkdtemp(), "s.png")])
    spectrum of scan 9 written to ...s.png
    0
    """
    _tarn(args)
    import k814util

    if args.average:
        return cmd_average(args)
    if args.index is None:
        raise Failure("k814util spectrum: give a scan number, or --average", status=2)
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


def _tic_by(args: argparse.Namespace) -> int:
    by = tuple(g.strip() for g in args.by.split(",") if g.strip())
    try:
        frame = _spectra(args).tic(by=by)
    except ValueError as exc:
        raise Failure(f"k814util tic --by: {exc}", status=2) from None
    out = csv.writer(sys.stdout, lineterminator="\n")
    out.writerow([*by, "scan", "relative_time", "tic", "corrected_tic"])
    for scan, row in zip(frame.index, frame.itertuples(index=False)):
        groups = [getattr(row, g) for g in by]
        out.writerow(
            [*groups, int(scan), repr(float(row.relative_time)), int(row.tic)]
            + [repr(float(row.corrected_tic))]
        )
    return 0


def cmd_xic(args: argparse.Namespace) -> int:
    """The ``xic`` subcommand: the counts of one m/z window in each scan, as CSV or a plot.

    A scan without a bin in the window has an empty field (it did not measure there).

    Parameters
    ----------
    args : argparse.Namespace
        The parsed options.

    Returns
    -------
    int
        0.

    Raises
    ------
    Failure
        For a test without mass-spectrum scans or a negative tolerance (status 2).

    Examples
    --------
    >>> from k814util.console import main
    >>> tm = ("build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...       "tarn_12345.tlm")
    >>> main(["xic", tm, "12", "--tolerance", "0.5", "-q"])
    scan,relative_time,kind,mode,xic
    0,...,single,LDI,...
    20,...,single,EI,...
    0
    """
    _tarn(args)
    sp = _spectra(args)
    try:
        values = sp.xic(args.mz, args.tolerance)
    except ValueError as exc:
        raise Failure(f"k814util xic: {exc}", status=2) from None
    cols = sp.columns()
    if args.png:
        from k814util.console import plotting

        fig, plt = plotting.xic(bound(args), cols, values, args.mz, args.tolerance, args.utc, True)
        plotting.save_or_show(fig, plt, args.png)
        covered = int((values == values).sum())
        print(
            f"chromatogram of m/z {args.mz} +- {args.tolerance} ({covered} of {len(values)} "
            f"scans cover it) written to {args.png}"
        )
        return 0
    out = csv.writer(sys.stdout, lineterminator="\n")
    out.writerow(["scan", "relative_time", "kind", "mode", "xic"])
    for k in range(len(values)):
        out.writerow(
            [
                int(cols["scan"][k]),
                repr(float(cols["relative_time"][k])),
                KINDS.get(int(cols["src_pkt_type"][k]), str(cols["src_pkt_type"][k])),
                cols["mode"][k],
                _real(values[k]),
            ]
        )
    return 0


def cmd_tic(args: argparse.Namespace) -> int:
    """The ``tic`` subcommand: each scan's total ion count as CSV, traces by group or a plot.

    Parameters
    ----------
    args : argparse.Namespace
        The parsed options.

    Returns
    -------
    int
        0.

    Raises
    ------
    Failure
        For a test without mass-spectrum scans, an unknown group or ``--by`` with ``--png``
        (status 2).

    Examples
    --------
    >>> from k814util.console import main
    >>> tm = ("build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...       "tarn_12345.tlm")
    >>> main(["tic", tm, "--by", "mode", "-q"])
    mode,scan,relative_time,tic,corrected_tic
    Dark,6,...
    0
    """
    if args.by:
        if args.png:
            raise Failure("k814util tic: --by writes CSV; the plot has a trace per group", 2)
        return _tic_by(args)
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
    """Adds the ``scans``, ``spectrum``, ``tic`` and ``xic`` subcommands.

    Parameters
    ----------
    sub : argparse._SubParsersAction
        The console's subcommands.

    Examples
    --------
    >>> import argparse
    >>> from k814util.console import scans
    >>> parser = argparse.ArgumentParser()
    >>> scans.register(parser.add_subparsers(dest="command"))
    >>> args = parser.parse_args(["xic", "tm.dat", "28", "--tolerance", "0.2"])
    >>> args.mz, args.tolerance
    (28.0, 0.2)
    """
    add_file_command(
        sub, "scans", cmd_scans, "the TARN mass-spectrum scans, one line each, by kind and mode"
    )
    spectrum = add_file_command(
        sub, "spectrum", cmd_spectrum, "one scan's m/z and counts as CSV, or a plot"
    )
    spectrum.add_argument("index", type=int, nargs="?", help="scan number (negative: from the end)")
    spectrum.add_argument("--png", metavar="OUT", help="plot the spectrum to this PNG file")
    mean = spectrum.add_argument_group("mean spectrum (--average)")
    mean.add_argument(
        "--average",
        action="store_true",
        help="the mean spectrum of the window's scans on the m/z of the longest of them",
    )
    mean.add_argument("--kind", choices=list(KINDS.values()), help="only scans of this kind")
    mean.add_argument("--mode", choices=["EI", "Dark", "LDI", "Unknown"], help="only this mode")
    mean.add_argument(
        "--subtract-dark",
        action="store_true",
        help="subtract the mean of the window's dark scans (the others averaged)",
    )
    mean.add_argument(
        "--peaks", action="store_true", help="the peaks as CSV, or marked in the plot"
    )
    add_window(spectrum)
    tic = add_file_command(
        sub, "tic", cmd_tic, "total ion counts against time as CSV, or a chromatogram plot"
    )
    tic.add_argument("--png", metavar="OUT", help="plot the chromatogram to this PNG file")
    tic.add_argument(
        "--by", metavar="GROUPS", help="CSV of the traces by 'kind', 'mode' or 'kind,mode'"
    )
    add_utc(tic)
    xic = add_file_command(
        sub, "xic", cmd_xic, "the extracted-ion chromatogram of one m/z as CSV, or a plot"
    )
    xic.add_argument("mz", type=float, help="m/z at the window's centre")
    xic.add_argument(
        "--tolerance", type=float, default=0.5, metavar="T", help="half width (default 0.5)"
    )
    xic.add_argument("--png", metavar="OUT", help="plot the chromatogram to this PNG file")
    add_utc(xic)
