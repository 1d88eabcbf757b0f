"""TARN mass spectra in the files other tools read: mzML (written with psims, the ``ms``
extra) for mass-spectrometry software, and an xarray dataset (``analysis`` extra) that saves as
NetCDF.

::

    sp = k814util.spectra("build/sample-archive/data/tarn/.../tarn_12345.tlm")
    sp.to_mzml("tarn.mzML")                 # every scan an MS1 profile spectrum
    sp.to_xarray().to_netcdf("tarn.nc")     # dimensions scan and bin

Each scan goes to mzML with its own bins only (from the flat arrays, never the padding), as
64-bit floats compressed with zlib; the per-scan figures of :meth:`Spectra.table` ride along as
the spectrum's CV and user parameters.
"""

from __future__ import annotations

import os
from typing import TYPE_CHECKING

import numpy as np

if TYPE_CHECKING:
    import xarray as xr

    from k814util.spectra import Spectra

#: How the ``ms`` extra is installed, for the message when psims is missing.
MS_EXTRA = "pip install 'k814util[ms]'"
ANALYSIS_EXTRA = "pip install 'k814util[analysis]'"


_SOFTWARE = "custom unreleased software tool"


def _refuse_existing(path: os.PathLike | str, overwrite: bool) -> None:
    if not overwrite and os.path.exists(path):
        raise FileExistsError(f"{os.fspath(path)} exists; pass overwrite=True to replace it")


def run_description() -> dict:
    """What the mzML file says of the test the process is bound to: ``test_name`` and ``tid``
    (from the TID directory's name), ``mission`` and ``model``, ``file`` (the telemetry file).

    Raises RuntimeError when the process is not bound to a telemetry file."""
    from k814util import k814util as _k
    from k814util.archive import TID_DIR

    bound = _k._console_binding()
    if bound is None:
        raise RuntimeError("the process is not bound to a telemetry file")
    f = _k.TMFile(bound[0])
    named = TID_DIR.match(f.directory_string())
    return {
        "test_name": named.group(3) if named else f.directory_string(),
        "tid": int(f.tid()),
        "mission": bound[1].lower(),
        "model": f.model(),
        "file": f.filename(),
    }


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
    """Writes the scans of ``spectra`` (the rows ``rows`` selects, all by default) to ``path`` as
    an indexed mzML file and returns the number of spectra written. The process must be bound
    to the TARN test the scans came from: its test name, TID, mission and model go into the
    file description, its meta-markers into each scan's parameters.

    Raises FileExistsError when ``path`` exists and ``overwrite`` is false, ValueError for a
    test of a mission without mass-spectrum scans, ImportError without psims."""
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
    _refuse_existing(path, overwrite)
    chosen = range(len(spectra))[rows if rows is not None else slice(None)]
    times = spectra.columns()["relative_time"]
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
                for row in chosen:
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
                        UserParam(name="corrected TIC", value=float(cols["corrected_tic"][row])),
                        UserParam(name="marker id", value=int(cols["marker_id"][row])),
                        UserParam(name="marker text", value=str(cols["marker_text"][row])),
                        UserParam(name="unix time", value=float(cols["unix_time"][row])),
                    ]
                    params += [UserParam(name="meta-marker", value=m) for m in meta[row]]
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


def to_xarray(spectra: Spectra, attrs: dict | None = None) -> xr.Dataset:
    """The scans as an xarray Dataset: ``counts`` and ``mz`` on dimensions ``scan`` and
    ``bin`` (the padded matrices: zeros and NaN past each scan's ``bins``), every column of
    :meth:`Spectra.table` a variable along ``scan`` (text columns as strings), coordinates
    ``scan`` (the scan numbers) and ``time`` (each scan's UTC time, from its unix time).
    ``attrs`` become the dataset's attributes.

    Raises ImportError without xarray."""
    try:
        import xarray as xr
    except ImportError:
        raise ImportError(f"to_xarray needs xarray: {ANALYSIS_EXTRA}") from None

    cols = spectra.columns()
    scan = cols.pop("scan")
    unix = cols["unix_time"]
    # Unix seconds to UTC microseconds (the float's own precision at today's dates); datetime64
    # has no zone, its values are UTC.
    # Held as nanoseconds, the resolution xarray and pandas read times back in.
    time = np.round(unix * 1e6).astype("datetime64[us]").astype("datetime64[ns]")
    variables = {}
    for name, values in cols.items():
        if values.dtype == object:
            values = values.astype(str)
        attrs_of = {"units": _UNITS[name]} if name in _UNITS else {}
        variables[name] = xr.Variable("scan", values, attrs_of)
    variables["counts"] = xr.Variable(("scan", "bin"), spectra.counts, {"units": "counts"})
    variables["mz"] = xr.Variable(("scan", "bin"), spectra.mz, {"units": "m/z"})
    coords = {"scan": scan, "time": ("scan", time, {"long_name": "UTC time of the scan"})}
    return xr.Dataset(variables, coords=coords, attrs=dict(attrs or {}))


def to_netcdf(
    spectra: Spectra, path: os.PathLike | str, overwrite: bool = False, attrs: dict | None = None
) -> None:
    """Writes :func:`to_xarray` of the scans to ``path`` as NetCDF (the engine xarray picks:
    netCDF4 or h5netcdf when installed, else scipy's NetCDF 3, whose 32-bit integers hold
    every per-scan figure).

    Raises FileExistsError when ``path`` exists and ``overwrite`` is false."""
    _refuse_existing(path, overwrite)
    dataset = to_xarray(spectra, attrs)
    # NetCDF 3 has no int64: whole microseconds since the first scan's second, as float64,
    # are small enough to come back exact (counted from 1970 they would lose nanoseconds when
    # xarray scales them back).
    times = dataset["time"].values
    since = str(times.min().astype("datetime64[s]")) if len(times) else "1970-01-01"
    encoding = {"time": {"units": f"microseconds since {since}", "dtype": "float64"}}
    tmp = f"{os.fspath(path)}.part"
    try:
        dataset.to_netcdf(tmp, encoding=encoding)
    except BaseException:
        if os.path.exists(tmp):
            os.remove(tmp)
        raise
    os.replace(tmp, path)
