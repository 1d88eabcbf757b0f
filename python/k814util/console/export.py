"""export: a TARN test's mass-spectrum scans as an mzML file (the ``ms`` extra) for
mass-spectrometry tools, and a test's scans or items as an xarray dataset in a NetCDF file or a
zarr store."""

from __future__ import annotations

import argparse
import os

from k814util.console.common import (
    Failure,
    add_file_command,
    add_mode,
    add_window,
    bound,
    resolve,
    window,
)

_XARRAY = "pip install 'k814util[analysis]'"


def _scan_range(text: str) -> slice:
    """A:B (either side may be empty, like a slice) of scan numbers."""
    start, sep, stop = text.partition(":")
    if not sep:
        raise argparse.ArgumentTypeError(f"not a range A:B of scans: {text!r}")
    try:
        return slice(int(start) if start else None, int(stop) if stop else None)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a range A:B of scans: {text!r}") from None


def _need(module: str, what: str, extra: str) -> None:
    try:
        __import__(module)
    except ImportError:
        raise Failure(f"k814util export: {what} needs {module}: {extra}") from None


def _check(args: argparse.Namespace) -> None:
    """Refuses what cannot be done before the file is read, so a mistake costs no binding."""
    if not (args.mzml or args.netcdf or args.zarr):
        raise Failure(
            "k814util export: give --mzml OUT.mzML, --netcdf OUT.nc or --zarr OUT.zarr", status=2
        )
    if args.items and not (args.netcdf or args.zarr):
        raise Failure("k814util export: items go to a dataset: add --netcdf or --zarr", status=2)
    windowed = args.start is not None or args.end is not None or args.marker is not None
    if windowed and not args.items:
        raise Failure("k814util export: a time window selects items' values; name items", 2)
    for out in (args.mzml, args.netcdf, args.zarr):
        if out and os.path.exists(out) and not args.force:
            raise Failure(f"k814util export: {out} exists; remove it, name another or --force")
    if args.mzml:
        _need("psims", "mzML", "pip install 'k814util[ms]'")
    if args.netcdf or args.zarr:
        _need("xarray", "a dataset", _XARRAY)
    if args.zarr:
        _need("zarr", "a zarr store", _XARRAY)


def cmd_export(args: argparse.Namespace) -> int:
    """The ``export`` subcommand: writes the files its options name.

    Parameters
    ----------
    args : argparse.Namespace
        The parsed options (``path``, ``items``, ``mzml``, ``netcdf``, ``zarr``, ``scans``,
        ``mode``, the window, ``force``).

    Returns
    -------
    int
        0 when every file was written.

    Raises
    ------
    Failure
        For a missing output, an existing file without ``--force``, a missing extra, mzML or
        scans of a test without mass-spectrum scans, and an unknown item.

    Examples
    --------
    >>> import os, tempfile
    >>> from k814util.console import main
    >>> out = os.path.join(tempfile.mkdtemp(), "hk.nc")
    >>> main(["export", "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...       "tarn_12345.tlm", "SEB:T_BOARD", "SEB:EMON_A", "-q", "--netcdf", out])
    2 items written to ...hk.nc
    0
    """
    _check(args)
    f = bound(args)
    import k814util
    from k814util import exports

    scans_needed = args.mzml or not args.items
    if scans_needed and f.mission() != "tarn":
        raise Failure(
            f"k814util export: only TARN tests carry mass-spectrum scans; "
            f"{f.filename()} is a {f.mission().upper()} test"
        )
    if args.items:
        from k814util.catalogue import ItemCatalogue

        items = [hkid for hkid, _ in resolve(ItemCatalogue(), args.items)]
        try:
            dataset = f.to_xarray(items, args.mode, **window(args))
        except ValueError as exc:
            raise Failure(f"k814util export: {exc}") from None
        what = _count(len(items), "item")
    if scans_needed:
        scans = k814util.ScienceDataCacheWrapper(False, False)
        rows = args.scans or slice(None)
        start, stop, _ = rows.indices(scans.size())
        if args.scans is not None and stop <= start:
            # An empty file would pass for an export of scans that are not there.
            a, b = args.scans.start, args.scans.stop
            shown = f"{'' if a is None else a}:{'' if b is None else b}"
            raise Failure(
                f"k814util export: --scans {shown} holds no scan; the test has {scans.size()} "
                f"scans (0 to {scans.size() - 1})"
            )
        sp = k814util.Spectra(scans, start, max(start, stop))
    if args.mzml:
        n = exports.to_mzml(sp, args.mzml, overwrite=args.force)
        print(f"{_count(n, 'spectrum', 'spectra')} written to {args.mzml}")
    if not args.items and (args.netcdf or args.zarr):
        dataset = exports.to_xarray(sp, attrs=exports.run_description())
        what = _count(len(sp), "scan")
    if args.netcdf:
        exports.save_netcdf(dataset, args.netcdf, overwrite=args.force)
        print(f"{what} written to {args.netcdf}")
    if args.zarr:
        exports.save_zarr(dataset, args.zarr, overwrite=args.force)
        print(f"{what} written to {args.zarr}")
    return 0


def register(sub) -> None:
    """Adds the ``export`` subcommand to the console's subparsers.

    Parameters
    ----------
    sub : argparse._SubParsersAction
        The console's subcommands.

    Examples
    --------
    >>> import argparse
    >>> from k814util.console import export
    >>> parser = argparse.ArgumentParser()
    >>> export.register(parser.add_subparsers(dest="command"))
    >>> args = parser.parse_args(["export", "tm.dat", "SEB:T_BOARD", "--netcdf", "hk.nc"])
    >>> args.items, args.netcdf, args.mode
    (['SEB:T_BOARD'], 'hk.nc', 'sci')
    """
    p = add_file_command(
        sub,
        "export",
        cmd_export,
        "the TARN scans as mzML, or the scans or items as a NetCDF file or zarr store",
    )
    p.add_argument(
        "items",
        nargs="*",
        metavar="ITEM",
        help="items (ids or mnemonics) for the dataset, each on its own time axis; none: the "
        "TARN scans",
    )
    p.add_argument("--mzml", metavar="OUT", help="write every scan as an MS1 spectrum to OUT")
    p.add_argument("--netcdf", metavar="OUT", help="write the dataset to OUT as NetCDF")
    p.add_argument("--zarr", metavar="OUT", help="write the dataset to OUT as a zarr store")
    p.add_argument(
        "--scans", type=_scan_range, metavar="A:B", help="only scans A to B - 1 (like a slice)"
    )
    add_mode(p)
    add_window(p)
    p.add_argument("--force", action="store_true", help="replace an existing output file")


def _count(n: int, one: str, many: str | None = None) -> str:
    """ "1 item", "2 items"."""
    return f"{n} {one if n == 1 else many or one + 's'}"
