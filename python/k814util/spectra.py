"""Mass spectra of a TARN test as numpy arrays, for plotting and analysis libraries.

::

    sp = k814util.spectra("build/sample-archive/data/tarn/.../tarn_12345.tlm")
    sp.flat_counts   # int32: every scan's counts() one after another (float64 with the
                     # fractions when summed scans are averaged)
    sp.flat_mz       # float64, same length: the m/z of each of those bins
    sp.offsets       # int64, scans + 1: scan r is flat_counts[offsets[r]:offsets[r + 1]]
    sp.n_bins        # int64, the length of each scan's counts()
    sp.counts        # scans x bins, zero-padded to the longest scan (made when first asked)
    sp.mz            # same shape: m/z of every counted bin, NaN in the padding
    sp.table()       # pandas: one row per scan (times, TIC, mode, marker, ...)
    sp.long()        # pandas: one row per (scan, bin) with m/z and count
    sp.tic(), sp.xic(mz, tolerance), sp.average(window=3), sp.peaks(spectrum)

The flat arrays and offsets are the layout of pyarrow's list arrays and awkward arrays
(``pyarrow.ListArray.from_arrays(sp.offsets, sp.flat_counts)`` makes one without a copy):
scans of very different lengths cost only their own bins, where the padded matrix costs the
longest scan's for each. They are filled by the compiled module in one walk over the scans'
segments and cross as one column table; Python only allocates them. pandas is imported by the
methods that return data frames (the ``analysis`` extra), scipy by :meth:`Spectra.peaks`, so
the arrays work with numpy alone.
"""

from __future__ import annotations

from typing import TYPE_CHECKING

import numpy as np

from k814util import _columns, msanalysis, windows
from k814util import k814util as _k
from k814util._binding import PathLike, ensure_current, scans

if TYPE_CHECKING:
    import pandas as pd
    import xarray as xr

    from k814util.windows import TimeLike

#: Scan modes by their number (``PythonStyleTarnScan.determine_scan_mode()``).
MODE_NAMES = ("Unknown", "EI", "Dark", "LDI")
#: Scan kinds by their science packet type (``src_pkt_type``).
KIND_NAMES = {26: "single", 27: "summed", 28: "aggregated"}
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
    """The per-scan columns of :meth:`Spectra.table`, without the arrays of counts and m/z.

    Parameters
    ----------
    scans : ScienceDataCacheWrapper
        The scans of the bound file.
    start, stop : int, optional
        Scans ``start`` to ``stop - 1`` (clipped like a slice; all by default).

    Returns
    -------
    dict of str to numpy.ndarray
        ``scan`` first, then the columns :meth:`Spectra.table` describes.

    Raises
    ------
    StaleBindingError
        When the wrapper was made for an earlier binding.

    Examples
    --------
    >>> import k814util
    >>> from k814util.spectra import table_columns
    >>> scans = k814util.scans(
    ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...     "tarn_12345.tlm"
    ... )
    >>> cols = table_columns(scans, 0, 3)
    >>> cols["scan"].tolist(), list(cols)[:3]
    ([0, 1, 2], ['scan', 'relative_time', 'unix_time'])
    """
    ensure_current(scans)
    rows = _rows(scans, start, stop)
    table = _k._spectra(scans, rows.start, max(rows.stop, rows.start), False)
    return _table(_columns.arrays(table), rows)


def empty_table_columns() -> dict[str, np.ndarray]:
    """The columns of :func:`table_columns` for no scans, with their dtypes.

    Returns
    -------
    dict of str to numpy.ndarray
        Every column, empty.

    Examples
    --------
    >>> from k814util.spectra import empty_table_columns
    >>> cols = empty_table_columns()
    >>> len(cols["scan"]), cols["tic"].dtype, cols["mode"].dtype
    (0, dtype('int64'), dtype('O'))
    """
    real, whole, text = np.float64, np.int64, object
    kinds = dict.fromkeys(_TABLE_COLUMNS, whole)
    kinds.update(dict.fromkeys(("relative_time", "unix_time", "corrected_tic"), real))
    kinds.update(marker_time=real, mode=text, ion_source=text, marker_text=text)
    return {"scan": np.zeros(0, np.int64), **{n: np.zeros(0, k) for n, k in kinds.items()}}


class Spectra:
    """The scans ``start`` to ``stop - 1`` of a :class:`ScienceDataCacheWrapper` as arrays.

    Row ``r`` is scan ``start + r``. ``flat_counts[offsets[r]:offsets[r + 1]]`` (and
    ``counts[r, :n_bins[r]]``) equals that scan's ``counts()`` (int32), except that averaged
    summed scans keep their fractions (float64 then, where ``counts()`` truncates); the same
    stretch of ``flat_mz`` (and ``mz[r, k]``) is the scan's Bin-to-Mass chain at every counted
    bin (its ``m_over_z_values()`` stop at ``nBins() - 1``, which is shorter when a scan starts
    above bin 0 or has gaps), NaN without a mass calibration. The figures of :meth:`table` are
    taken with the arrays; each scan's marker is the one its scan object reports (with the
    wrapper's ``skip_zero_id_markers``).

    Parameters
    ----------
    scans : ScienceDataCacheWrapper
        The scans of the bound file.
    start, stop : int, optional
        Scans ``start`` to ``stop - 1`` (clipped like a slice; all by default).

    Attributes
    ----------
    flat_counts : numpy.ndarray
        Every scan's counts one after another (int32; float64 for averaged summed scans).
    flat_mz : numpy.ndarray
        The m/z of each of those bins (float64).
    offsets : numpy.ndarray
        int64, scans + 1: row r is ``flat_counts[offsets[r]:offsets[r + 1]]``.
    n_bins : numpy.ndarray
        int64, the length of each scan's counts.
    start : int
        The scan number of row 0.
    scans : ScienceDataCacheWrapper or None
        The wrapper the arrays came from (None once pickled to another process).

    Raises
    ------
    StaleBindingError
        When the wrapper was made for an earlier binding.

    Examples
    --------
    >>> import k814util
    >>> scans = k814util.scans(
    ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...     "tarn_12345.tlm"
    ... )
    >>> sp = k814util.Spectra(scans, 0, 5)
    >>> len(sp), int(sp.offsets[-1]) == len(sp.flat_counts)
    (5, True)
    """

    __slots__ = (
        "scans",
        "start",
        "flat_counts",
        "flat_mz",
        "offsets",
        "n_bins",
        "_columns",
        "_padded",
    )

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
        self.flat_counts: np.ndarray = columns["counts"]
        self.flat_mz: np.ndarray = columns["mz"]
        self.offsets: np.ndarray = columns["offsets"]
        self.n_bins: np.ndarray = columns["n_bins"]
        self._columns = _table(columns, rows)
        self._padded: tuple[np.ndarray, np.ndarray] | None = None

    def __len__(self) -> int:
        return len(self.n_bins)

    def __getstate__(self) -> dict:
        # Spectra travel (from a run's worker) as their arrays; the scan wrapper, a proxy of the
        # process that made them, stays behind.
        return {name: getattr(self, name) for name in self.__slots__ if name != "scans"}

    def __setstate__(self, state: dict) -> None:
        self.scans = None
        for name, value in state.items():
            setattr(self, name, value)

    def __repr__(self) -> str:
        return (
            f"Spectra({len(self)} scans from {self.start}, {len(self.flat_counts)} bins, "
            f"the longest {int(self.n_bins.max(initial=0))})"
        )

    def _pad(self) -> tuple[np.ndarray, np.ndarray]:
        if self._padded is None:
            width = int(self.n_bins.max(initial=0))
            # Row-major, the counted cells of the matrix are the flat arrays in order.
            counted = np.arange(width) < self.n_bins[:, None]
            counts = np.zeros((len(self), width), dtype=self.flat_counts.dtype)
            mz = np.full((len(self), width), np.nan)
            counts[counted] = self.flat_counts
            mz[counted] = self.flat_mz
            self._padded = (counts, mz)
        return self._padded

    @property
    def counts(self) -> np.ndarray:
        """Scans x bins (the longest scan's): row r holds scan r's counts, zeros past them.

        Made from the flat arrays when first asked for, then kept.

        Returns
        -------
        numpy.ndarray

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> sp.counts.shape == (len(sp), int(sp.n_bins.max()))
        True
        """
        return self._pad()[0]

    @property
    def mz(self) -> np.ndarray:
        """Scans x bins like :attr:`counts`: each counted bin's m/z, NaN past them.

        Returns
        -------
        numpy.ndarray

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> import numpy as np
        >>> bool(np.isnan(sp.mz[0, sp.n_bins[0]:]).all())
        True
        """
        return self._pad()[1]

    def scan_arrays(self, row: int) -> tuple[np.ndarray, np.ndarray]:
        """The m/z and counts of one row (scan ``start + row``): views of the flat arrays.

        Parameters
        ----------
        row : int
            The row (0 for the first scan of these spectra).

        Returns
        -------
        tuple of numpy.ndarray
            (m/z, counts), as long as the scan's counts.

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> mz, counts = sp.scan_arrays(2)
        >>> len(mz) == len(counts) == int(sp.n_bins[2])
        True
        """
        lo, hi = int(self.offsets[row]), int(self.offsets[row + 1])
        return self.flat_mz[lo:hi], self.flat_counts[lo:hi]

    def columns(self) -> dict[str, np.ndarray]:
        """The columns of :meth:`table` as numpy arrays, ``scan`` first (no pandas needed).

        Returns
        -------
        dict of str to numpy.ndarray

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> sp.columns()["mode"][:3].tolist()
        ['LDI', 'LDI', 'LDI']
        """
        return dict(self._columns)

    def table(self) -> pd.DataFrame:
        """One row per scan, indexed by ``scan`` number.

        The columns: ``relative_time`` and ``unix_time`` (seconds), ``tic`` and ``corrected_tic``,
        ``highest_count`` and its bin ``highest_count_bin``, ``mode`` ("Unknown", "EI", "Dark",
        "LDI"), ``ion_source`` ("none", "GC", "LDI"), ``src_pkt_type`` (26, 27, 28),
        ``summed_scans``, ``marker_id``, ``marker_text`` and the marker's relative ``marker_time``
        (0, "" and 0.0 without a marker), and ``bins`` (the length of the scan's counts).

        ``corrected_tic`` is the scan's ``corrected_total_ion_count()``: for each scan status i
        of the scans summed, TIC_i divided by t_i * V_i * exp(-0.0992 * (F_i + 68)), summed
        and multiplied by 100 * 100, with t_i the ionisation time (ms), V_i the EM2 setting
        (V) and F_i the source A focus A readback (V) of status i; for a summed packet of
        version 2, the sum of its correction factors times the TICs (counts); 0 when the scan
        lacks a scan status or a TIC per status.

        Returns
        -------
        pandas.DataFrame

        Raises
        ------
        ImportError
            Without pandas (the ``analysis`` extra).

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> str(sp.table().loc[6, "mode"]), int(sp.table().loc[6, "summed_scans"])
        ('Dark', 1)
        """
        from k814util.catalogue import require_pandas

        pd = require_pandas()

        frame = pd.DataFrame(self._columns).set_index("scan")
        frame["mode"] = pd.Categorical(frame["mode"], categories=MODE_NAMES)
        frame["ion_source"] = pd.Categorical(frame["ion_source"], categories=ION_SOURCE_NAMES)
        return frame

    def long(self) -> pd.DataFrame:
        """One row per counted bin of every scan: ``scan``, ``bin``, ``mz``, ``count``.

        The long format plotting libraries group and facet by. Its columns are made from the flat
        arrays (m/z and counts copied, so the frame owns them) and handed to pandas as they are,
        without a second copy.

        Returns
        -------
        pandas.DataFrame

        Raises
        ------
        ImportError
            Without pandas (the ``analysis`` extra).

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> frame = sp.long()
        >>> list(frame.columns), len(frame) == len(sp.flat_counts)
        (['scan', 'bin', 'mz', 'count'], True)
        """
        from k814util.catalogue import require_pandas

        pd = require_pandas()

        starts = np.repeat(self.offsets[:-1], self.n_bins)
        bins = np.arange(len(self.flat_counts), dtype=np.int64)
        bins -= starts
        del starts
        scan = np.repeat(np.arange(self.start, self.start + len(self), dtype=np.int64), self.n_bins)
        columns = {
            "scan": scan,
            "bin": bins,
            "mz": self.flat_mz.copy(),
            "count": self.flat_counts.copy(),
        }
        return pd.DataFrame(columns, copy=False)

    def to_mzml(self, path: PathLike, overwrite: bool = False) -> int:
        """Writes every scan to an mzML file as an MS1 profile spectrum.

        :func:`k814util.exports.to_mzml` writes it: it needs the ``ms`` extra's psims and the
        process bound to the TARN test the scans came from.

        Parameters
        ----------
        path : str or os.PathLike
            The mzML file to write.
        overwrite : bool, default False
            Replace ``path`` when it exists.

        Returns
        -------
        int
            The number of spectra written.

        Raises
        ------
        FileExistsError
            When ``path`` exists and ``overwrite`` is false.
        ValueError
            When the bound test is not TARN's.
        ImportError
            Without psims.

        Examples
        --------
        >>> import os, tempfile
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> with tempfile.TemporaryDirectory() as tmp:
        ...     sp.to_mzml(os.path.join(tmp, "tarn.mzML")) == len(sp)
        True
        """
        from k814util import exports

        return exports.to_mzml(self, path, overwrite)

    def to_xarray(self, attrs: dict | None = None) -> xr.Dataset:
        """The scans as an xarray Dataset (:func:`k814util.exports.to_xarray`).

        ``counts`` and ``mz`` on dimensions ``scan`` and ``bin``, the columns of :meth:`table`
        along ``scan``, coordinates ``scan`` and ``time`` (UTC).

        Parameters
        ----------
        attrs : dict, optional
            The dataset's attributes.

        Returns
        -------
        xarray.Dataset

        Raises
        ------
        ImportError
            Without xarray (the ``analysis`` extra).

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> sp.to_xarray()["tic"].dims
        ('scan',)
        """
        from k814util import exports

        return exports.to_xarray(self, attrs)

    def to_netcdf(self, path: PathLike, overwrite: bool = False, attrs: dict | None = None) -> None:
        """Writes :meth:`to_xarray` to a NetCDF file (:func:`k814util.exports.to_netcdf`).

        Parameters
        ----------
        path : str or os.PathLike
            The file to write.
        overwrite : bool, default False
            Replace ``path`` when it exists.
        attrs : dict, optional
            The dataset's attributes.

        Raises
        ------
        FileExistsError
            When ``path`` exists and ``overwrite`` is false.

        Examples
        --------
        >>> import os, tempfile, xarray as xr
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> with tempfile.TemporaryDirectory() as tmp:
        ...     sp.to_netcdf(os.path.join(tmp, "tarn.nc"))
        ...     back = xr.load_dataset(os.path.join(tmp, "tarn.nc"))
        >>> back["tic"].values.tolist() == sp.columns()["tic"].tolist()
        True
        """
        from k814util import exports

        exports.to_netcdf(self, path, overwrite, attrs)

    def to_zarr(self, path: PathLike, overwrite: bool = False, attrs: dict | None = None) -> None:
        """Writes :meth:`to_xarray` to a zarr store (:func:`k814util.exports.to_zarr`).

        Parameters
        ----------
        path : str or os.PathLike
            The store (a directory) to write.
        overwrite : bool, default False
            Replace ``path`` when it exists.
        attrs : dict, optional
            The dataset's attributes.

        Raises
        ------
        FileExistsError
            When ``path`` exists and ``overwrite`` is false.
        ImportError
            Without xarray or zarr.

        Examples
        --------
        >>> import os, tempfile, xarray as xr
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> with tempfile.TemporaryDirectory() as tmp:
        ...     sp.to_zarr(os.path.join(tmp, "tarn.zarr"))
        ...     xr.open_zarr(os.path.join(tmp, "tarn.zarr")).sizes["scan"] == len(sp)
        True
        """
        from k814util import exports

        exports.to_zarr(self, path, overwrite, attrs)

    def kinds(self) -> np.ndarray:
        """Each scan's kind ("single", "summed", "aggregated") from its science packet type.

        Returns
        -------
        numpy.ndarray
            Strings (object dtype), one per scan.

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> sp.kinds()[4:7].tolist()
        ['single', 'aggregated', 'summed']
        """
        found, each = np.unique(self._columns["src_pkt_type"], return_inverse=True)
        names = np.array([KIND_NAMES.get(int(t), str(int(t))) for t in found], dtype=object)
        return names[each]

    def tic(self, by: tuple[str, ...] | str | None = ("kind", "mode")) -> pd.DataFrame:
        """The total ion count chromatograms, one trace per group of ``by``.

        Parameters
        ----------
        by : {"kind", "mode"}, tuple of them or None, default ("kind", "mode")
            The groups; None gives one trace.

        Returns
        -------
        pandas.DataFrame
            Indexed by ``scan``, with the group columns, ``relative_time``, ``unix_time``, ``tic``
            and ``corrected_tic``, sorted by group, each group's scans in time order;
            ``frame.groupby(list(by))`` gives the traces apart.

        Raises
        ------
        ValueError
            For a group other than "kind" and "mode".

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> frame = sp.tic(by="mode")
        >>> sorted(frame["mode"].unique())
        ['Dark', 'EI', 'LDI']
        """
        from k814util.catalogue import require_pandas

        pd = require_pandas()

        groups = (by,) if isinstance(by, str) else tuple(by or ())
        unknown = [g for g in groups if g not in ("kind", "mode")]
        if unknown:
            raise ValueError(f"tic groups by 'kind' and/or 'mode', not {', '.join(unknown)}")
        c = self._columns
        data = {"scan": c["scan"]}
        if "kind" in groups:
            data["kind"] = self.kinds()
        if "mode" in groups:
            data["mode"] = c["mode"]
        for name in ("relative_time", "unix_time", "tic", "corrected_tic"):
            data[name] = c[name]
        frame = pd.DataFrame(data)
        frame = frame.sort_values([*groups, "scan"], kind="stable").set_index("scan")
        return frame

    def xic(self, mz: float, tolerance: float = 0.5) -> np.ndarray:
        """The extracted-ion chromatogram: per scan, the counts of its bins in an m/z window.

        Parameters
        ----------
        mz : float
            The window's centre.
        tolerance : float, default 0.5
            Its half width: bins with m/z in [mz - tolerance, mz + tolerance] count.

        Returns
        -------
        numpy.ndarray
            float64, one per scan (row); NaN for a scan with no bin in that window (it did not
            measure there), so a window no scan covers gives all NaN, not zeros.

        Raises
        ------
        ValueError
            For a negative tolerance.

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> import numpy as np
        >>> chromatogram = sp.xic(12.0, 0.5)
        >>> chromatogram.shape == (len(sp),), bool(np.isnan(sp.xic(1e5)).all())
        (True, True)
        """
        if not tolerance >= 0:
            raise ValueError(f"the m/z tolerance must not be negative, not {tolerance!r}")
        return msanalysis.xic(
            self.flat_mz, self.flat_counts, self.offsets, mz - tolerance, mz + tolerance
        )

    def _in_window(
        self, window: int | None, start: TimeLike | None, end: TimeLike | None
    ) -> np.ndarray:
        keep = np.ones(len(self), dtype=bool)
        if window is not None or start is not None or end is not None:
            if self.scans is None:
                raise ValueError(
                    "these spectra came from a run's worker, without its binding: average a "
                    "window there, with Run.apply(lambda f: k814util.spectra(f.filename())"
                    ".average(...))"
                )
            ensure_current(self.scans)
            f = _k.TMFile(_k._bound_path())
            c = self._columns
            inside = windows.select(f, c["unix_time"], c["relative_time"], start, end, window)
            if inside is not None:
                keep &= inside
        return keep

    def average(
        self,
        window: int | None = None,
        start: TimeLike | None = None,
        end: TimeLike | None = None,
        kind: str | None = None,
        mode: str | None = None,
        subtract_dark: bool = True,
    ) -> msanalysis.AveragedSpectrum:
        """The mean spectrum of the scans inside a window of the test, on a common m/z grid.

        The common m/z grid is the m/z of the longest of the scans chosen (the most bins); every
        scan is interpolated linearly onto it within its own m/z range, and each grid point's
        mean is over the scans that cover it. With ``subtract_dark``, the mean of the window's
        dark-mode scans (of any kind: the instrument sums its dark scans), on the same grid, is
        subtracted (NaN where no dark scan covers the grid point).

        Parameters
        ----------
        window : int, optional
            A marker or meta-marker id: the scans inside its span(s).
        start, end : float, datetime or str, optional
            Relative seconds or UTC, as :meth:`TMFile.series` takes them. None of the three: every
            scan.
        kind : {"single", "summed", "aggregated"}, optional
            Only scans of this kind.
        mode : {"EI", "Dark", "LDI", "Unknown"}, optional
            Only scans of this mode; None: every mode but "Dark" when the dark is subtracted,
            every mode otherwise.
        subtract_dark : bool, default True
            Subtract the mean of the window's dark scans.

        Returns
        -------
        AveragedSpectrum
            ``mz`` (the grid), ``counts`` (the mean, minus the dark mean when subtracted),
            ``scans`` and ``dark_scans`` (the scan numbers averaged), ``dark`` (the dark mean).

        Raises
        ------
        ValueError
            When no scan matches, when ``subtract_dark`` finds no dark scan in the window, for an
            unknown kind or mode, for mode "Dark" with ``subtract_dark``, and when the scans
            have no m/z (no mass calibration).

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> mean = sp.average(window=2, kind="summed", mode="LDI")
        >>> mean.scans.tolist(), mean.dark_scans.tolist()
        ([7, 10, 11], [6, 8, 9])
        """
        if mode is not None and mode not in MODE_NAMES:
            raise ValueError(f"a scan mode is one of {', '.join(MODE_NAMES)}, not {mode!r}")
        if kind is not None and kind not in KIND_NAMES.values():
            raise ValueError(
                f"a scan kind is one of {', '.join(KIND_NAMES.values())}, not {kind!r}"
            )
        if mode == "Dark" and subtract_dark:
            # The dark mean less itself: zeros that would pass for a spectrum.
            raise ValueError(
                "the mean of the dark scans with their own mean subtracted is zero: average "
                "them with subtract_dark=False"
            )
        keep = self._in_window(window, start, end)
        modes = self._columns["mode"]
        chosen = keep & (self.kinds() == kind if kind is not None else True)
        chosen &= modes == mode if mode is not None else True
        if mode is None and subtract_dark:
            chosen &= modes != "Dark"
        where = _describe_window(window, start, end)
        if not chosen.any():
            among = f" among the {kind} scans" if kind else ""
            raise ValueError(f"no {f'{mode} ' if mode else ''}scans {where}{among}")
        mz, counts, offsets = msanalysis._ragged_subset(
            self.flat_mz, self.flat_counts, self.n_bins, chosen
        )
        if len(mz) == 0 or np.isnan(mz).all():
            raise ValueError("the scans have no m/z (the test has no mass calibration)")
        grid = msanalysis.grid_of(mz, offsets)
        mean = msanalysis.mean_on_grid(mz, counts, offsets, grid)
        scan_numbers = self._columns["scan"]
        dark_rows = keep & (modes == "Dark")
        if not subtract_dark:
            return msanalysis.AveragedSpectrum(
                grid, mean, scan_numbers[chosen], np.zeros(0, np.int64)
            )
        if not dark_rows.any():
            raise ValueError(f"no dark scan {where} to subtract")
        dmz, dcounts, doffsets = msanalysis._ragged_subset(
            self.flat_mz, self.flat_counts, self.n_bins, dark_rows
        )
        dark = msanalysis.mean_on_grid(dmz, dcounts, doffsets, grid)
        return msanalysis.AveragedSpectrum(
            grid, mean - dark, scan_numbers[chosen], scan_numbers[dark_rows], dark
        )

    def peaks(
        self,
        spectrum: int | msanalysis.AveragedSpectrum | tuple[np.ndarray, np.ndarray],
        height: float | None = None,
        prominence: float | None = None,
        distance: int | None = None,
        rel_height: float = 0.5,
    ) -> pd.DataFrame:
        """The peaks of a spectrum: a scan of these spectra, an averaged spectrum or two arrays.

        ``scipy.signal.find_peaks`` finds them with ``height``, ``prominence`` and ``distance``
        (bins) as it takes them; without a height or prominence, the prominence is 5 % of the
        range of the counts. Needs scipy (the ``analysis`` extra).

        Parameters
        ----------
        spectrum : int, AveragedSpectrum or tuple of numpy.ndarray
            A scan number (of these scans), an averaged spectrum (:meth:`average`) or a pair of
            arrays (m/z, counts).
        height, prominence : float, optional
            The least height and prominence of a peak (counts).
        distance : int, optional
            The least distance between peaks (bins).
        rel_height : float, default 0.5
            Where the width is measured, as a fraction of the prominence below the apex.

        Returns
        -------
        pandas.DataFrame
            One row per peak, in m/z order: ``mz`` (the centroid of the bins above the width's
            contour line, each weighted by its counts above that line), ``height`` (the counts at
            the apex), ``area`` (counts integrated over m/z, trapezoids, between where the peak
            meets its base as ``scipy.signal.peak_widths`` finds it at relative height 1;
            background included), ``width`` (m/z, at ``rel_height`` of the peak's prominence: 0.5,
            the full width at half maximum), ``apex_mz`` and ``bin`` (the apex's index in the
            spectrum).

        Raises
        ------
        IndexError
            For a scan number outside these scans.

        Examples
        --------
        >>> import k814util
        >>> sp = k814util.spectra(
        ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
        ...     "tarn_12345.tlm"
        ... )
        >>> found = sp.peaks(sp.average(window=2))
        >>> list(found.columns)
        ['mz', 'height', 'area', 'width', 'apex_mz', 'bin']
        """
        from k814util.catalogue import require_pandas

        pd = require_pandas()

        if isinstance(spectrum, msanalysis.AveragedSpectrum):
            mz, counts = spectrum.mz, spectrum.counts
        elif isinstance(spectrum, tuple):
            mz, counts = spectrum
        else:
            row = int(spectrum) - self.start
            if not 0 <= row < len(self):
                raise IndexError(
                    f"scan {spectrum} is not one of these scans ({self.start} to "
                    f"{self.start + len(self) - 1})"
                )
            mz, counts = self.scan_arrays(row)
        found = msanalysis.peaks(mz, counts, height, prominence, distance, rel_height)
        return pd.DataFrame(found)

    def _repr_html_(self) -> str:
        """A short HTML summary for notebooks: scans, bins, time span, kinds and modes.

        Returns
        -------
        str
            The summary as HTML.
        """
        from k814util import _html

        return _html.table("Spectra", _html.spectra_rows(self))


def _describe_window(window, start, end) -> str:
    """Where average() looked, for its messages."""
    parts = []
    if window is not None:
        parts.append(f"in the window of marker {window}")
    if start is not None:
        parts.append(f"from {start}")
    if end is not None:
        parts.append(f"to {end}")
    if not parts:
        parts.append("in the test")
    return " ".join(parts)


def spectra(
    path: PathLike, skip_zero_id_markers: bool = False, average_summed_scans: bool = False
) -> Spectra:
    """Every mass-spectrum scan of a TARN telemetry file as arrays (:class:`Spectra`).

    Binds the process to the file like :func:`k814util.scans` (same arguments, same
    exceptions).

    Parameters
    ----------
    path : str or os.PathLike
        The telemetry file.
    skip_zero_id_markers : bool, default False
        Give each scan the latest marker with a nonzero id.
    average_summed_scans : bool, default False
        Divide a summed scan's counts by the number of scans summed.

    Returns
    -------
    Spectra

    Raises
    ------
    TelemetryFileNotFoundError
        For a missing file.
    BindingError
        When the file cannot be bound (its message says why).

    Examples
    --------
    >>> import k814util
    >>> sp = k814util.spectra(
    ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...     "tarn_12345.tlm"
    ... )
    >>> len(sp)
    21
    """
    return Spectra(scans(path, skip_zero_id_markers, average_summed_scans))
