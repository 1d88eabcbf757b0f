"""export: a TARN test's mass-spectrum scans as an mzML file (the ``ms`` extra) for
mass-spectrometry tools, or as a NetCDF file of the scans' xarray dataset."""

from __future__ import annotations

import argparse
import os

from k814util.console.common import Failure, add_file_command, bound


def _scan_range(text: str) -> slice:
    """A:B (either side may be empty, like a slice) of scan numbers."""
    start, sep, stop = text.partition(":")
    if not sep:
        raise argparse.ArgumentTypeError(f"not a range A:B of scans: {text!r}")
    try:
        return slice(int(start) if start else None, int(stop) if stop else None)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a range A:B of scans: {text!r}") from None


def cmd_export(args: argparse.Namespace) -> int:
    if not args.mzml and not args.netcdf:
        raise Failure("k814util export: give --mzml OUT.mzML or --netcdf OUT.nc", status=2)
    # Refused before the file is read, so a mistake costs no binding.
    for out in (args.mzml, args.netcdf):
        if out and os.path.exists(out) and not args.force:
            raise Failure(f"k814util export: {out} exists; remove it, name another or --force")
    if args.mzml:
        try:
            import psims  # noqa: F401
        except ImportError:
            raise Failure("k814util export: mzML needs psims: pip install 'k814util[ms]'") from None
    if args.netcdf:
        try:
            import xarray  # noqa: F401
        except ImportError:
            raise Failure(
                "k814util export: NetCDF needs xarray: pip install 'k814util[analysis]'"
            ) from None
    f = bound(args)
    if f.mission() != "tarn":
        raise Failure(
            f"k814util export: only TARN tests carry mass-spectrum scans; "
            f"{f.filename()} is a {f.mission().upper()} test"
        )
    import k814util
    from k814util import exports

    scans = k814util.ScienceDataCacheWrapper(False, False)
    rows = args.scans or slice(None)
    start, stop, _ = rows.indices(scans.size())
    sp = k814util.Spectra(scans, start, max(start, stop))
    if args.mzml:
        n = exports.to_mzml(sp, args.mzml, overwrite=args.force)
        print(f"{n} spectra written to {args.mzml}")
    if args.netcdf:
        run = exports.run_description()
        exports.to_netcdf(sp, args.netcdf, overwrite=args.force, attrs=run)
        print(f"{len(sp)} scans written to {args.netcdf}")
    return 0


def register(sub) -> None:
    p = add_file_command(
        sub, "export", cmd_export, "the TARN scans as an mzML file or a NetCDF dataset"
    )
    p.add_argument("--mzml", metavar="OUT", help="write every scan as an MS1 spectrum to OUT")
    p.add_argument("--netcdf", metavar="OUT", help="write the scans' dataset to OUT")
    p.add_argument(
        "--scans", type=_scan_range, metavar="A:B", help="only scans A to B - 1 (like a slice)"
    )
    p.add_argument("--force", action="store_true", help="replace an existing output file")
