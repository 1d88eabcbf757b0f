"""Mass-spectrometry figures on a large TARN scan file, each against numpy alone, same run.

    python bench/ms_bench.py [TM_FILE --ini INI] [--packets 1000000] [--repeat 3]
                             [--mzml-scans 5000] [--profile-scans 1000]

Without a file, writes a sample archive of ``--packets`` TARN packets to a temporary folder
(``python -m k814util sample DIR --tarn-packets N``: about 105,000 scans of 200 to 1,000 bins for
a million packets) and removes it at the end. Binds the file, makes its :class:`Spectra`, then
(median of R runs, taken in turn):

- ``xic()`` of a 1-m/z window against the same sums in numpy on the padded matrices (made from
  the flat arrays before, untimed; their making and bytes are printed); the two checked equal
  where a scan covers the window;
- writing the first ``--mzml-scans`` scans as mzML (``exports.to_mzml``: psims, 64-bit arrays,
  zlib) against writing the same arrays with numpy alone (``np.save`` of their m/z and counts as
  float64, one call each) and against encoding them alone (per scan, the float64 bytes
  compressed with zlib and base64-encoded, as mzML holds them, without XML); then where the
  mzML writer's time goes: ``cProfile`` of one writing of the first ``--profile-scans`` scans,
  its own time summed by where it is spent (zlib, base64, numpy's bytes, psims's XML and CV
  parameters, psims's offset index, k814util, the rest).
"""

from __future__ import annotations

import argparse
import base64
import cProfile
import glob
import os
import pstats
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zlib

import numpy as np


def _sample(folder: str, packets: int) -> tuple[str, str]:
    """A generated archive's TARN file and configuration."""
    subprocess.run(
        [sys.executable, "-m", "k814util", "sample", folder, "--tarn-packets", str(packets)],
        check=True,
        stdout=subprocess.DEVNULL,
    )
    (tm_file,) = glob.glob(os.path.join(folder, "data", "tarn", "*", "*.tlm"))
    return tm_file, os.path.join(folder, ".814config.INI")


def _median(func, repeat: int) -> tuple[float, object]:
    times, result = [], None
    for _ in range(max(1, repeat)):
        start = time.perf_counter()
        result = func()
        times.append(time.perf_counter() - start)
    return statistics.median(times), result


def _xic(sp, repeat: int) -> None:
    start = time.perf_counter()
    counts, mz = sp.counts, sp.mz
    padding = time.perf_counter() - start
    row_mz = sp.flat_mz[sp.offsets[0] : sp.offsets[1]]
    # Between bins, so rounding cannot move a bin in or out of either way's window.
    centre = float(row_mz[len(row_mz) // 2]) + 0.013
    lower, upper = centre - 0.5, centre + 0.5

    def padded():
        inside = (mz >= lower) & (mz <= upper)
        return np.where(inside, counts, 0).sum(axis=1)

    ragged_time, xic = _median(lambda: sp.xic(centre, 0.5), repeat)
    padded_time, sums = _median(padded, repeat)
    covered = ~np.isnan(xic)
    same = np.array_equal(xic[covered], sums[covered])
    flat = sp.flat_counts.nbytes + sp.flat_mz.nbytes
    print(f"xic(m/z {centre:g} +- 0.5), {int(covered.sum()):,} of {len(xic):,} scans cover it:")
    print(f"  flat arrays ({flat / 1e6:,.0f} MB):      {ragged_time:8.3f} s")
    print(
        f"  numpy on the padded ({(counts.nbytes + mz.nbytes) / 1e6:,.0f} MB): "
        f"{padded_time:8.3f} s  flat/padded {ragged_time / padded_time:5.2f}  "
        f"({'equal' if same else 'DIFFER'})"
    )
    print(f"  (the padded matrices made from the flat arrays in {padding:.2f} s)")


def _encode_only(sp, n: int) -> int:
    """The arrays as mzML holds them, without XML: float64 bytes, zlib, base64. Returns the
    encoded bytes."""
    size = 0
    for row in range(n):
        mz, counts = sp.scan_arrays(row)
        for array in (mz, counts):
            raw = np.asarray(array, np.float64).tobytes()
            size += len(base64.standard_b64encode(zlib.compress(raw)))
    return size


def _numpy_save(sp, n: int, folder: str) -> None:
    end = int(sp.offsets[n])
    np.save(os.path.join(folder, "mz.npy"), sp.flat_mz[:end])
    np.save(os.path.join(folder, "counts.npy"), sp.flat_counts[:end].astype(np.float64))


# Where a profiled function's own time is counted: the first pattern its file or name holds.
_PLACES = (
    ("zlib", ("zlib.compress", "isal_zlib")),
    ("base64", ("b2a_base64", "b64encode", "binascii")),
    ("numpy bytes", ("tobytes", "astype", "numpy")),
    ("psims offset index", ("psims/mzml/index.py",)),
    ("psims XML and CV params", ("psims/",)),
    ("k814util", ("k814util",)),
)


def _profile(sp, n: int, folder: str) -> None:
    from k814util import exports

    out = os.path.join(folder, "profiled.mzML")
    profile = cProfile.Profile()
    profile.enable()
    exports.to_mzml(sp, out, overwrite=True, rows=slice(0, n))
    profile.disable()
    totals: dict[str, float] = {}
    rest: dict[str, float] = {}
    stats = pstats.Stats(profile).stats  # type: ignore[attr-defined]
    for (filename, _, name), (_, _, own, _, _) in stats.items():
        where = f"{filename}:{name}"
        place = next((p for p, keys in _PLACES if any(k in where for k in keys)), "the rest")
        totals[place] = totals.get(place, 0.0) + own
        if place == "the rest":
            rest[where] = rest.get(where, 0.0) + own
    whole = sum(totals.values())
    print(f"  where the writer's time goes (cProfile, {n:,} scans, {whole:.2f} s profiled):")
    for place, seconds in sorted(totals.items(), key=lambda kv: -kv[1]):
        print(f"    {place:<26} {seconds:7.3f} s  {100 * seconds / whole:5.1f} %")
    top = sorted(rest.items(), key=lambda kv: -kv[1])[:4]
    print("    the rest, most: " + "; ".join(f"{w.split('/')[-1]} {t:.3f} s" for w, t in top))


def _mzml(sp, n: int, profile_n: int, repeat: int, folder: str) -> None:
    from k814util import exports

    out = os.path.join(folder, "tarn.mzML")
    bins = int(sp.offsets[n])
    # A writer's fixed cost (psims loads its controlled vocabulary once per process; the
    # test's meta-markers are found for every file): one scan, first and then again.
    first, _ = _median(lambda: exports.to_mzml(sp, out, overwrite=True, rows=slice(0, 1)), 1)
    fixed, _ = _median(lambda: exports.to_mzml(sp, out, overwrite=True, rows=slice(0, 1)), 1)
    mzml_time, _ = _median(lambda: exports.to_mzml(sp, out, overwrite=True, rows=slice(0, n)), 1)
    numpy_time, _ = _median(lambda: _numpy_save(sp, n, folder), repeat)
    encode_time, encoded = _median(lambda: _encode_only(sp, n), repeat)
    saved = sum(os.path.getsize(os.path.join(folder, f)) for f in ("mz.npy", "counts.npy"))
    print(f"mzML of the first {n:,} scans ({bins:,} bins; the writer timed once):")
    print(
        f"  exports.to_mzml (psims):    {mzml_time:8.3f} s  {os.path.getsize(out) / 1e6:8.1f} MB"
        f"  {n / mzml_time:8,.0f} scans/s"
    )
    per_scan = (mzml_time - fixed) / max(1, n - 1)
    print(
        f"    of which fixed: {fixed:.3f} s a file ({first:.3f} s the first in the process); "
        f"then {1e3 * per_scan:.2f} ms a scan"
    )
    print(
        f"  np.save of the same arrays: {numpy_time:8.3f} s  {saved / 1e6:8.1f} MB"
        f"  mzML/numpy {mzml_time / numpy_time:6.1f}"
    )
    print(
        f"  encoding alone (zlib, base64 per scan, no XML): {encode_time:.3f} s "
        f"({encoded / 1e6:.1f} MB), {100 * encode_time / mzml_time:.0f} % of the writer's time"
    )
    _profile(sp, min(profile_n, n), folder)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tm_file", nargs="?", help="a TARN telemetry file (default: generated)")
    parser.add_argument("--ini", help="its workstation configuration")
    parser.add_argument("--packets", type=int, default=1_000_000, help="packets generated")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each side")
    parser.add_argument("--mzml-scans", type=int, default=5000, help="scans written (0: all)")
    parser.add_argument("--profile-scans", type=int, default=1000, help="scans profiled")
    args = parser.parse_args()
    if args.tm_file and not args.ini:
        parser.error("a telemetry file needs its --ini")
    folder = tempfile.mkdtemp(prefix="ms_bench")
    try:
        tm_file, ini = args.tm_file, args.ini
        if not tm_file:
            start = time.perf_counter()
            tm_file, ini = _sample(os.path.join(folder, "sample"), args.packets)
            print(f"generated {args.packets:,} packets in {time.perf_counter() - start:.1f} s")
        os.environ["INI814"] = os.path.abspath(ini)
        import k814util

        start = time.perf_counter()
        sp = k814util.spectra(tm_file)
        made = time.perf_counter() - start
        print(
            f"file: {len(sp):,} scans, {len(sp.flat_counts):,} bins, bound and made into "
            f"arrays in {made:.2f} s"
        )
        _xic(sp, args.repeat)
        n = len(sp) if args.mzml_scans <= 0 else min(args.mzml_scans, len(sp))
        _mzml(sp, n, args.profile_scans, args.repeat, folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
