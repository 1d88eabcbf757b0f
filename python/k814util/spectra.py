"""Mass spectra of a TARN test as numpy arrays, for plotting and analysis libraries.

::

    sp = k814util.spectra("build/sample-archive/data/tarn/.../tarn_12345.tlm")
    sp.counts        # int32, scans x bins: each scan's counts(), zero-padded to the longest
                     # (float64 with the fractions when summed scans are averaged)
    sp.mz            # float64, same shape: m/z of every counted bin, NaN in the padding
    sp.n_bins        # int64, the length of each scan's counts()
    sp.table()       # pandas: one row per scan (times, TIC, mode, marker, ...)
    sp.long()        # pandas: one row per (scan, bin) with m/z and count

The arrays are filled by the compiled module, one walk over the scans' segments per array,
and cross as one column table; Python only allocates them. pandas is imported by the methods
that return data frames (the ``analysis`` extra), so the arrays work with numpy alone.
"""

from __future__ import annotations

from typing import TYPE_CHECKING

import numpy as np

from k814util import _columns
from k814util import k814util as _k
from k814util._binding import PathLike, ensure_current, scans

if TYPE_CHECKING:
    import pandas as pd

#: Scan modes by their number (``PythonStyleTarnScan.determine_scan_mode()``).
MODE_NAMES = ("Unknown", "EI", "Dark", "LDI")
#: Ion sources by their number: none attached, a GC housekeeping packet, a laser-pulses packet.
ION_SOURCE_NAMES = ("none", "GC", "LDI")

# The per-scan columns of table(), in order, after "scan".
_TABLE_COLUMNS = (
    "relative_time",
    "unix_time",
    "tic",
    "corrected_tic",
    "highest_count",
    "highest_count_bin",
    "mode",
    "ion_source",
    "src_pkt_type",
    "summed_scans",
    "marker_id",
    "marker_text",
    "marker_time",
    "bins",
)


def _rows(scans: _k.ScienceDataCacheWrapper, start: int, stop: int | None) -> range:
    """The scan numbers start..stop-1, clipped to the scans like a slice."""
    return range(*slice(start, stop).indices(scans.size()))


def _table(columns: dict[str, np.ndarray], rows: range) -> dict[str, np.ndarray]:
    """The columns of :meth:`Spectra.table` from the compiled module's, "scan" first."""
    columns["mode"] = np.asarray(MODE_NAMES, dtype=object)[columns["mode"]]
    columns["ion_source"] = np.asarray(ION_SOURCE_NAMES, dtype=object)[columns["ion_source"]]
    columns["bins"] = columns["n_bins"]
    table = {"scan": np.arange(rows.start, rows.stop, dtype=np.int64)}
    table.update((name, columns[name]) for name in _TABLE_COLUMNS)
    return table


def table_columns(
    scans: _k.ScienceDataCacheWrapper, start: int = 0, stop: int | None = None
) -> dict[str, np.ndarray]:
    """The per-scan columns of :meth:`Spectra.table` (``scan`` first) of scans start to
    stop - 1, without the arrays of counts and m/z.

    Raises :class:`k814util.StaleBindingError` when the wrapper was made for an earlier binding.
    """
    ensure_current(scans)
    rows = _rows(scans, start, stop)
    table = _k._spectra(scans, rows.start, max(rows.stop, rows.start), False)
    return _table(_columns.arrays(table), rows)


def empty_table_columns() -> dict[str, np.ndarray]:
    """The columns of :func:`table_columns` for no scans, with their dtypes."""
    real, whole, text = np.float64, np.int64, object
    kinds = dict.fromkeys(_TABLE_COLUMNS, whole)
    kinds.update(dict.fromkeys(("relative_time", "unix_time", "corrected_tic"), real))
    kinds.update(marker_time=real, mode=text, ion_source=text, marker_text=text)
    return {"scan": np.zeros(0, np.int64), **{n: np.zeros(0, k) for n, k in kinds.items()}}


class Spectra:
    """The scans ``start`` to ``stop - 1`` of a :class:`ScienceDataCacheWrapper` as arrays
    (``start`` and ``stop`` clip like a slice).

    Row ``r`` is scan ``start + r``. ``counts[r, :n_bins[r]]`` equals that scan's ``counts()``
    (int32), except that averaged summed scans keep their fractions (float64 then, where
    ``counts()`` truncates);
    ``mz[r, k]`` is the scan's Bin-to-Mass chain at bin ``k`` for every counted bin (its
    ``m_over_z_values()`` stop at ``nBins() - 1``, which is shorter when a scan starts above
    bin 0 or has gaps). The figures of :meth:`table` are taken with the arrays; each scan's
    marker is the one its scan object reports (with the wrapper's ``skip_zero_id_markers``).

    Raises :class:`k814util.StaleBindingError` when the wrapper was made for an earlier binding.
    """

    __slots__ = ("scans", "start", "counts", "mz", "n_bins", "_columns")

    def __init__(
        self,
        scans: _k.ScienceDataCacheWrapper,
        start: int = 0,
        stop: int | None = None,
    ):
        ensure_current(scans)
        rows = _rows(scans, start, stop)
        columns = _columns.arrays(_k._spectra(scans, rows.start, max(rows.stop, rows.start)))
        self.scans = scans
        self.start = rows.start
        self.counts: np.ndarray = columns["counts"]
        self.mz: np.ndarray = columns["mz"]
        self.n_bins: np.ndarray = columns["n_bins"]
        self._columns = _table(columns, rows)

    def __len__(self) -> int:
        return len(self.n_bins)

    def __repr__(self) -> str:
        return f"Spectra({len(self)} scans from {self.start}, {self.counts.shape[1]} bins wide)"

    def columns(self) -> dict[str, np.ndarray]:
        """The columns of :meth:`table` as numpy arrays, ``scan`` first (no pandas needed)."""
        return dict(self._columns)

    def table(self) -> pd.DataFrame:
        """One row per scan, indexed by ``scan`` number: ``relative_time`` and ``unix_time``
        (seconds), ``tic`` and ``corrected_tic``, ``highest_count`` and its bin
        ``highest_count_bin``, ``mode`` ("Unknown", "EI", "Dark", "LDI"), ``ion_source``
        ("none", "GC", "LDI"), ``src_pkt_type`` (26, 27, 28), ``summed_scans``, ``marker_id``,
        ``marker_text`` and the marker's relative ``marker_time`` (0, "" and 0.0 without a
        marker), and ``bins`` (the length of the scan's counts).

        ``corrected_tic`` is the scan's ``corrected_total_ion_count()``: for each scan status i
        of the scans summed, TIC_i divided by t_i * V_i * exp(-0.0992 * (F_i + 68)), summed
        and multiplied by 100 * 100, with t_i the ionisation time (ms), V_i the EM2 setting
        (V) and F_i the source A focus A readback (V) of status i; for a summed packet of
        version 2, the sum of its correction factors times the TICs (counts); 0 when the scan
        lacks a scan status or a TIC per status."""
        from k814util.catalogue import require_pandas

        pd = require_pandas()

        frame = pd.DataFrame(self._columns).set_index("scan")
        frame["mode"] = pd.Categorical(frame["mode"], categories=MODE_NAMES)
        frame["ion_source"] = pd.Categorical(frame["ion_source"], categories=ION_SOURCE_NAMES)
        return frame

    def long(self) -> pd.DataFrame:
        """One row per counted bin of every scan: ``scan``, ``bin``, ``mz``, ``count`` (the
        long format plotting libraries group and facet by)."""
        from k814util.catalogue import require_pandas

        pd = require_pandas()

        counted = np.arange(self.counts.shape[1]) < self.n_bins[:, None]
        rows, bins = np.nonzero(counted)
        return pd.DataFrame(
            {
                "scan": rows + self.start,
                "bin": bins,
                "mz": self.mz[counted],
                "count": self.counts[counted],
            }
        )


def spectra(
    path: PathLike, skip_zero_id_markers: bool = False, average_summed_scans: bool = False
) -> Spectra:
    """Every mass-spectrum scan of a TARN telemetry file as arrays (:class:`Spectra`), after
    binding the process to the file like :func:`k814util.scans` (same arguments, same
    exceptions)."""
    return Spectra(scans(path, skip_zero_id_markers, average_summed_scans))
