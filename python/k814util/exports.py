"""TARN mass spectra and telemetry values in the files other tools read: mzML (written with
psims, the ``ms`` extra) for mass-spectrometry software, and xarray datasets (``analysis``
extra) that save as NetCDF or zarr.

::

    sp = k814util.spectra("build/sample-archive/data/tarn/.../tarn_12345.tlm")
    sp.to_mzml("tarn.mzML")                 # every scan an MS1 profile spectrum
    sp.to_xarray().to_netcdf("tarn.nc")     # dimensions scan and bin
    f = k814util.open(path)
    f.to_xarray(["SEB:EMON_A", "SEB:T_BOARD"]).to_zarr("hk.zarr")   # one time axis per item

Each scan goes to mzML with its own bins only (from the flat arrays, never the padding), as
64-bit floats compressed with zlib; the per-scan figures of :meth:`Spectra.table` ride along as
the spectrum's CV and user parameters. The datasets carry their times' encoding (float64
microseconds since the first whole second), so NetCDF 3 (scipy's writer, which has no 64-bit
integers), NetCDF 4 and zarr all store them and give back the same instants.
"""

from __future__ import annotations

import os
import re
import shutil
from collections.abc import Iterable
from decimal import Decimal
from typing import TYPE_CHECKING

import numpy as np

if TYPE_CHECKING:
    import xarray as xr

    from k814util.spectra import Spectra

#: How the ``ms`` extra is installed, for the message when psims is missing.
MS_EXTRA = "pip install 'k814util[ms]'"
#: How the ``analysis`` extra is installed, for the message when xarray is missing.
ANALYSIS_EXTRA = "pip install 'k814util[analysis]'"


_SOFTWARE = "custom unreleased software tool"


def _refuse_existing(path: os.PathLike | str, overwrite: bool) -> None:
    if not overwrite and os.path.exists(path):
        raise FileExistsError(f"{os.fspath(path)} exists; pass overwrite=True to replace it")


def _require_xarray():
    try:
        import xarray as xr
    except ImportError:
        raise ImportError(f"datasets need xarray: {ANALYSIS_EXTRA}") from None
    return xr


def _describe(f, mission: str) -> dict:
    from k814util.archive import TID_DIR

    named = TID_DIR.match(f.directory_string())
    return {
        "test_name": named.group(3) if named else f.directory_string(),
        "tid": int(f.tid()),
        "mission": mission.lower(),
        "model": f.model(),
        "file": f.filename(),
    }


def run_description() -> dict:
    """What the exported files say of the test the process is bound to.

    Returns
    -------
    dict
        ``test_name`` and ``tid`` (from the TID directory's name), ``mission`` ("tarn",
        "vireo") and ``model``, ``file`` (the telemetry file's path).

    Raises
    ------
    RuntimeError
        When the process is not bound to a telemetry file.

    Examples
    --------
    >>> import k814util
    >>> from k814util import exports
    >>> f = k814util.open(
    ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...     "tarn_12345.tlm"
    ... )
    >>> d = exports.run_description()
    >>> d["test_name"], d["tid"], d["mission"]
    ('tarn_sample', 12345, 'tarn')
    """
    from k814util import k814util as _k

    bound = _k._console_binding()
    if bound is None:
        raise RuntimeError("the process is not bound to a telemetry file")
    return _describe(_k.TMFile(bound[0]), bound[1])


def _meta_markers_at(times: np.ndarray, markers) -> list[list[str]]:
    """For each time, the messages of the meta-markers whose span holds it (a few markers, so
    one vectorised pass per marker)."""
    inside = [[] for _ in range(len(times))]
    if markers is None:
        return inside
    for m in markers:
        start, end = float(m.startRelativeTimeInSecs), float(m.endRelativeTimeInSecs)
        for row in np.flatnonzero((times >= start) & (times <= end)):
            inside[row].append(f"{int(m.metaMarkerId)}: {m.msg}")
    return inside


def to_mzml(
    spectra: Spectra,
    path: os.PathLike | str,
    overwrite: bool = False,
    rows: slice | None = None,
) -> int:
    """Writes scans to an indexed mzML file, each an MS1 profile spectrum.

    The process must be bound to the TARN test the scans came from: its test name, TID,
    mission and model go into the file description, its meta-markers into each scan's
    parameters. The file is written next to ``path`` and renamed when complete, so a failed
    export leaves no partial file.

    Parameters
    ----------
    spectra : Spectra
        The scans (:class:`k814util.Spectra`).
    path : str or os.PathLike
        The mzML file to write.
    overwrite : bool, default False
        Replace ``path`` when it exists.
    rows : slice, optional
        Which rows of ``spectra`` to write (all by default).

    Returns
    -------
    int
        The number of spectra written.

    Raises
    ------
    FileExistsError
        When ``path`` exists and ``overwrite`` is false.
    ValueError
        When the bound test is of a mission without mass-spectrum scans (VIREO).
    StaleBindingError
        When the process has been bound to another file since the scans were read (the file
        description would be that file's).
    ImportError
        Without psims (the ``ms`` extra).

    Examples
    --------
    >>> import os, tempfile, k814util
    >>> sp = k814util.spectra(
    ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...     "tarn_12345.tlm"
    ... )
    >>> from k814util import exports
    >>> with tempfile.TemporaryDirectory() as tmp:
    ...     exports.to_mzml(sp, os.path.join(tmp, "tarn.mzML"), rows=slice(0, 3))
    3
    """
    try:
        from psims.mzml.writer import MzMLWriter
        from psims.xml import UserParam
    except ImportError:
        raise ImportError(f"mzML needs psims: {MS_EXTRA}") from None
    from k814util import k814util as _k

    run = run_description()
    if run["mission"] != "tarn":
        raise ValueError(
            f"only TARN tests carry mass-spectrum scans; {run['file']} is a "
            f"{run['mission'].upper()} test"
        )
    if spectra.scans is not None:
        # Another test bound since: its name, TID and meta-markers are not these scans'.
        from k814util._binding import ensure_current

        ensure_current(spectra.scans)
    _refuse_existing(path, overwrite)
    chosen = range(len(spectra))[rows if rows is not None else slice(None)]
    times = spectra.columns()["relative_time"][np.arange(chosen.start, chosen.stop, chosen.step)]
    meta = _meta_markers_at(times, _k.TMFile(run["file"]).get_meta_markers())
    tmp = f"{os.fspath(path)}.part"
    try:
        _write_mzml(MzMLWriter, UserParam, tmp, spectra, chosen, run, meta)
    except BaseException:
        # A half-written file must not pass for an export.
        if os.path.exists(tmp):
            os.remove(tmp)
        raise
    os.replace(tmp, path)
    return len(chosen)


def _write_mzml(MzMLWriter, UserParam, tmp, spectra, chosen, run, meta) -> None:
    import k814util

    cols = spectra.columns()
    kinds = spectra.kinds()
    instrument = f"{run['mission'].upper()} {run['model']}"
    encoding = {"m/z array": np.float64, "intensity array": np.float64}
    user = [
        {"name": "test name", "value": run["test_name"]},
        {"name": "TID", "value": run["tid"]},
        {"name": "instrument", "value": instrument},
        {"name": "telemetry file", "value": run["file"]},
    ]
    with MzMLWriter(tmp, close=True) as out:
        out.controlled_vocabularies()
        contents = ["MS1 spectrum", "profile spectrum"]
        source = {
            "id": "telemetry",
            "name": os.path.basename(run["file"]),
            "location": "file://" + os.path.dirname(os.path.abspath(run["file"])),
            "params": ["no nativeID format"],
        }
        out.file_description([*contents, *(UserParam(**p) for p in user)], [source])
        software = {"id": "k814util", "version": k814util.__version__, "params": [_SOFTWARE]}
        out.software_list([software])
        out.instrument_configuration_list(
            [
                out.InstrumentConfiguration(
                    id="IC1",
                    # The scans' modes name the sources (EI and LDI); the detector is an
                    # electron multiplier (its EM2 setting corrects the TIC).
                    component_list=[
                        out.Source(1, ["electron ionization", "laser desorption ionization"]),
                        out.Analyzer(2, ["mass analyzer type"]),
                        out.Detector(3, ["electron multiplier"]),
                    ],
                    params=["instrument model", UserParam(name="instrument", value=instrument)],
                )
            ]
        )
        out.data_processing_list(
            [
                {
                    "id": "export",
                    "processing_methods": [
                        {
                            "order": 0,
                            "software_reference": "k814util",
                            "params": ["Conversion to mzML"],
                        }
                    ],
                }
            ]
        )
        with out.run(id=f"tid_{run['tid']}", instrument_configuration="IC1"):
            with out.spectrum_list(count=len(chosen)):
                for k, row in enumerate(chosen):
                    mz, counts = spectra.scan_arrays(row)
                    mz = np.asarray(mz, np.float64)
                    counts = np.asarray(counts, np.float64)
                    scan = int(cols["scan"][row])
                    params = [
                        "MS1 spectrum",
                        {"ms level": 1},
                        {"total ion current": float(cols["tic"][row])},
                    ]
                    if len(counts):
                        top = int(np.argmax(counts))
                        params.append({"base peak m/z": float(mz[top])})
                        params.append(
                            {
                                "name": "base peak intensity",
                                "value": float(counts[top]),
                                "unit_name": "number of detector counts",
                            }
                        )
                        if np.isfinite(mz).all():
                            params.append({"lowest observed m/z": float(mz.min())})
                            params.append({"highest observed m/z": float(mz.max())})
                    params += [
                        UserParam(name="kind", value=str(kinds[row])),
                        UserParam(name="mode", value=str(cols["mode"][row])),
                        UserParam(
                            name="corrected TIC",
                            value=_double(cols["corrected_tic"][row]),
                            type="xsd:double",
                        ),
                        UserParam(name="marker id", value=int(cols["marker_id"][row])),
                        UserParam(name="marker text", value=str(cols["marker_text"][row])),
                        UserParam(
                            name="unix time",
                            value=_double(cols["unix_time"][row]),
                            type="xsd:double",
                        ),
                    ]
                    params += [UserParam(name="meta-marker", value=m) for m in meta[k]]
                    out.write_spectrum(
                        mz,
                        counts,
                        id=f"scan={scan}",
                        centroided=False,
                        polarity=None,
                        scan_start_time={
                            "name": "scan start time",
                            "value": float(cols["relative_time"][row]),
                            "unit_name": "second",
                        },
                        params=params,
                        encoding=encoding,
                        compression="zlib",
                    )


#: Units of the per-scan variables of :func:`to_xarray`.
_UNITS = {
    "relative_time": "s",
    "unix_time": "s",
    "marker_time": "s",
    "tic": "counts",
    "corrected_tic": "counts",
    "highest_count": "counts",
    "counts": "counts",
    "mz": "m/z",
}


def _double(x) -> Decimal:
    """x for a user parameter typed xsd:double. Given a float, psims types it xsd:float, whose
    single precision would leave a Unix time only good to a minute; a Decimal of the float's
    shortest exact text keeps every digit and lets the type be said."""
    return Decimal(repr(float(x)))


def utc_times(unix_time: np.ndarray) -> np.ndarray:
    """Unix seconds as UTC instants (``datetime64[ns]``, which has no zone: its values are UTC),
    rounded to the microsecond, the float's own precision at today's dates.

    Parameters
    ----------
    unix_time : numpy.ndarray
        Seconds since 1970-01-01T00:00:00Z.

    Returns
    -------
    numpy.ndarray
        ``datetime64[ns]`` of the same shape.

    Examples
    --------
    >>> import numpy as np
    >>> from k814util.exports import utc_times
    >>> utc_times(np.array([1333370142.25]))
    array(['2012-04-02T12:35:42.250000000'], dtype='datetime64[ns]')
    """
    micros = np.round(np.asarray(unix_time, np.float64) * 1e6).astype("datetime64[us]")
    return micros.astype("datetime64[ns]")


def _time_encoding(times: np.ndarray) -> dict:
    """How a UTC time variable is stored: whole microseconds since the first time's second, as
    float64. NetCDF 3 has no int64, and counted from 1970 the microseconds would lose
    nanoseconds when xarray scales them back; counted from the data's own start they are small
    integers a float holds exactly."""
    since = str(times.min().astype("datetime64[s]")) if len(times) else "1970-01-01"
    return {"units": f"microseconds since {since}", "dtype": "float64"}


def to_xarray(spectra: Spectra, attrs: dict | None = None) -> xr.Dataset:
    """The scans as an xarray Dataset on dimensions ``scan`` and ``bin``.

    ``counts`` and ``mz`` are the padded matrices (zeros and NaN past each scan's ``bins``),
    every column of :meth:`Spectra.table` is a variable along ``scan`` (text columns as
    strings), with units where they have some; the coordinates are ``scan`` (the scan numbers)
    and ``time`` (each scan's UTC time, from its unix time, to the microsecond).

    Parameters
    ----------
    spectra : Spectra
        The scans (:class:`k814util.Spectra`).
    attrs : dict, optional
        The dataset's attributes (the console gives :func:`run_description`).

    Returns
    -------
    xarray.Dataset
        Ready for ``to_netcdf`` or ``to_zarr`` with any engine: ``time`` carries its encoding.

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
    >>> ds = sp.to_xarray()
    >>> ds["counts"].dims, ds.sizes["scan"] == len(sp)
    (('scan', 'bin'), True)
    """
    xr = _require_xarray()

    cols = spectra.columns()
    scan = cols.pop("scan")
    time = utc_times(cols["unix_time"])
    variables = {}
    for name, values in cols.items():
        if values.dtype == object:
            values = values.astype(str)
        attrs_of = {"units": _UNITS[name]} if name in _UNITS else {}
        variables[name] = xr.Variable("scan", values, attrs_of)
    variables["counts"] = xr.Variable(("scan", "bin"), spectra.counts, {"units": "counts"})
    variables["mz"] = xr.Variable(("scan", "bin"), spectra.mz, {"units": "m/z"})
    utc = xr.Variable("scan", time, {"long_name": "UTC time of the scan"}, _time_encoding(time))
    coords = {"scan": scan, "time": utc}
    return xr.Dataset(variables, coords=coords, attrs=dict(attrs or {}))


def variable_name(mnemonic: str) -> str:
    """The name of an item's variable in :func:`file_to_xarray`: its mnemonic with every
    character but letters, digits and "_" made "_", so that it names a NetCDF variable and a
    zarr array (a directory) on every file system.

    Parameters
    ----------
    mnemonic : str
        The item's "SUBSYSTEM:NAME" key.

    Returns
    -------
    str

    Examples
    --------
    >>> from k814util.exports import variable_name
    >>> variable_name("SEB:EMON_A")
    'SEB_EMON_A'
    """
    return re.sub(r"\W", "_", mnemonic, flags=re.ASCII)


def file_to_xarray(
    f,
    items,
    mode: int | str = "sci",
    start=None,
    end=None,
    window=None,
) -> xr.Dataset:
    """Values of items of the bound file as an xarray Dataset, each item on its own time axis.

    The backend of :meth:`k814util.TMFile.to_xarray`. Items come at their own rates (some in
    every science packet, some once a minute), so each item's variable (named by
    :func:`variable_name`) has a dimension of its own, ``time_<name>``, with the coordinates
    ``time_<name>`` (UTC), ``relative_time_<name>`` (seconds since the test's T0) and
    ``packet_<name>`` (the index ``get_pkt`` takes); the values are those of
    :meth:`k814util.TMFile.series`, in the same order. The variable's attributes name the
    item: ``mnemonic``, ``item_id``, ``units`` (in the mode asked for; "" when it has none),
    ``value_mode`` and ``long_name`` (the database's description). The dataset's attributes
    are the test's (:func:`run_description`) and ``value_mode``.

    Parameters
    ----------
    f : TMFile
        The bound file (for marker windows).
    items : int, str or iterable of them
        Data ids or mnemonics ("SEB:EMON_A", or "EMON_A" when the name is unique).
    mode : {"sci", "eng", "raw"} or int, default "sci"
        The value mode.
    start, end : float, datetime or str, optional
        Keep what lies between two times, both included (as :meth:`TMFile.series`).
    window : int, optional
        Keep what lies inside the span(s) of a marker or meta-marker id.

    Returns
    -------
    xarray.Dataset

    Raises
    ------
    UnknownItemError
        For an item the database does not hold (the message names close matches).
    ValueError
        For a bad mode, no items, an item asked for twice, or a window id no marker has.
    ImportError
        Without xarray (the ``analysis`` extra).

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(
    ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...     "tarn_12345.tlm"
    ... )
    >>> ds = f.to_xarray(["SEB:EMON_A", "SEB:T_BOARD"], mode="eng")
    >>> ds["SEB_EMON_A"].dims, ds["SEB_EMON_A"].attrs["mnemonic"]
    (('time_SEB_EMON_A',), 'SEB:EMON_A')
    """
    from k814util import frames, reports
    from k814util.catalogue import ItemCatalogue, mode_name, parse_mode

    xr = _require_xarray()
    number = parse_mode(mode)
    single = isinstance(items, str) or not isinstance(items, Iterable)
    wanted = [items] if single else list(items)
    if not wanted:
        raise ValueError("to_xarray needs at least one item")
    catalogue = ItemCatalogue()
    resolved = [catalogue.resolve(item) for item in wanted]
    names = [variable_name(mnemonic) for _, mnemonic in resolved]
    if len(set(names)) != len(names):
        raise ValueError(f"an item is asked for twice: {[m for _, m in resolved]}")
    variables, coords = {}, {}
    for (hkid, mnemonic), name in zip(resolved, names):
        found = frames.series(hkid, number, start, end, window, file=f)
        axis = f"time_{name}"
        time = utc_times(found["unix_time"])
        coords[axis] = xr.Variable(
            axis, time, {"long_name": f"UTC time of {mnemonic}"}, _time_encoding(time)
        )
        coords[f"relative_time_{name}"] = xr.Variable(
            axis, found["relative_time"], {"units": "s", "long_name": "seconds since T0"}
        )
        coords[f"packet_{name}"] = xr.Variable(axis, found["packet"], {"long_name": "packet index"})
        description = catalogue.by_id[hkid][8] or ""
        variables[name] = xr.Variable(
            axis,
            found["value"],
            {
                "mnemonic": mnemonic,
                "item_id": int(hkid),
                "units": catalogue.units(hkid, number),
                "value_mode": mode_name(number),
                "long_name": description or mnemonic,
            },
        )
    # "value_mode", not "mode": scipy's NetCDF 3 writer keeps attributes as attributes of its
    # file object, whose own "mode" one named "mode" would overwrite.
    attrs = {**_describe(f, reports.mission()), "value_mode": mode_name(number)}
    return xr.Dataset(variables, coords=coords, attrs=attrs)


def _replace(path: os.PathLike | str, write) -> None:
    """Calls write(tmp) for a sibling of path, then puts it in path's place: a failed or
    interrupted write leaves no half file behind, and an old one is replaced only once the new
    one is complete."""
    target = os.fspath(path)
    tmp = f"{target}.part"
    _remove(tmp)
    try:
        write(tmp)
    except BaseException:
        _remove(tmp)
        raise
    if os.path.isdir(target):
        # A zarr store is a directory, which os.replace cannot put over another one.
        shutil.rmtree(target)
    os.replace(tmp, target)


def _remove(path: str) -> None:
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)


def save_netcdf(dataset: xr.Dataset, path: os.PathLike | str, overwrite: bool = False) -> None:
    """Writes a dataset to ``path`` as NetCDF, with the engine xarray picks (netCDF4 or
    h5netcdf when installed, else scipy's NetCDF 3, whose 32-bit integers hold every per-scan
    figure and whose float64 times come back to the microsecond).

    Parameters
    ----------
    dataset : xarray.Dataset
        From :func:`to_xarray` or :func:`file_to_xarray`.
    path : str or os.PathLike
        The file to write.
    overwrite : bool, default False
        Replace ``path`` when it exists.

    Raises
    ------
    FileExistsError
        When ``path`` exists and ``overwrite`` is false.

    Examples
    --------
    >>> import os, tempfile, xarray as xr
    >>> from k814util.exports import save_netcdf
    >>> with tempfile.TemporaryDirectory() as tmp:
    ...     save_netcdf(xr.Dataset({"a": ("x", [1.0, 2.0])}), os.path.join(tmp, "a.nc"))
    ...     xr.load_dataset(os.path.join(tmp, "a.nc"))["a"].values.tolist()
    [1.0, 2.0]
    """
    _refuse_existing(path, overwrite)
    _replace(path, dataset.to_netcdf)


def save_zarr(dataset: xr.Dataset, path: os.PathLike | str, overwrite: bool = False) -> None:
    """Writes a dataset to ``path`` as a zarr store (a directory) in zarr format 2.

    Parameters
    ----------
    dataset : xarray.Dataset
        From :func:`to_xarray` or :func:`file_to_xarray`.
    path : str or os.PathLike
        The store to write.
    overwrite : bool, default False
        Replace ``path`` when it exists.

    Raises
    ------
    FileExistsError
        When ``path`` exists and ``overwrite`` is false.
    ImportError
        Without zarr.

    Examples
    --------
    >>> import os, tempfile, xarray as xr
    >>> from k814util.exports import save_zarr
    >>> with tempfile.TemporaryDirectory() as tmp:
    ...     save_zarr(xr.Dataset({"a": ("x", [1.0, 2.0])}), os.path.join(tmp, "a.zarr"))
    ...     xr.open_zarr(os.path.join(tmp, "a.zarr"))["a"].values.tolist()
    [1.0, 2.0]
    """
    try:
        import zarr
    except ImportError:
        raise ImportError(f"zarr stores need zarr: {ANALYSIS_EXTRA}") from None
    _refuse_existing(path, overwrite)
    # Zarr format 2 (zarr 2 writes nothing else): its fixed-length text arrays (the scans'
    # modes and marker texts) have a specification every zarr reader follows, which format 3
    # still lacks for them.
    v3 = int(zarr.__version__.split(".")[0]) >= 3
    options = {"zarr_format": 2} if v3 else {}
    _replace(path, lambda tmp: dataset.to_zarr(tmp, mode="w-", **options))


def to_netcdf(
    spectra: Spectra, path: os.PathLike | str, overwrite: bool = False, attrs: dict | None = None
) -> None:
    """Writes :func:`to_xarray` of the scans to ``path`` as NetCDF (:func:`save_netcdf`).

    Parameters
    ----------
    spectra : Spectra
        The scans.
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
    >>> import os, tempfile, k814util, xarray as xr
    >>> from k814util import exports
    >>> sp = k814util.spectra(
    ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...     "tarn_12345.tlm"
    ... )
    >>> with tempfile.TemporaryDirectory() as tmp:
    ...     exports.to_netcdf(sp, os.path.join(tmp, "tarn.nc"))
    ...     xr.load_dataset(os.path.join(tmp, "tarn.nc")).sizes["scan"] == len(sp)
    True
    """
    _refuse_existing(path, overwrite)
    save_netcdf(to_xarray(spectra, attrs), path, overwrite)


def to_zarr(
    spectra: Spectra, path: os.PathLike | str, overwrite: bool = False, attrs: dict | None = None
) -> None:
    """Writes :func:`to_xarray` of the scans to ``path`` as a zarr store (:func:`save_zarr`).

    Parameters
    ----------
    spectra : Spectra
        The scans.
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

    Examples
    --------
    >>> import os, tempfile, k814util, xarray as xr
    >>> from k814util import exports
    >>> sp = k814util.spectra(
    ...     "build/sample-archive/data/tarn/2012-04-02-12.35.42-12345-tarn_sample/"
    ...     "tarn_12345.tlm"
    ... )
    >>> with tempfile.TemporaryDirectory() as tmp:
    ...     exports.to_zarr(sp, os.path.join(tmp, "tarn.zarr"))
    ...     xr.open_zarr(os.path.join(tmp, "tarn.zarr")).sizes["scan"] == len(sp)
    True
    """
    _refuse_existing(path, overwrite)
    save_zarr(to_xarray(spectra, attrs), path, overwrite)
