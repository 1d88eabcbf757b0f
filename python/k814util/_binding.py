"""Factories that bind the process to a telemetry file before handing out script objects.

The compiled module holds one binding per process: the telemetry file, its interpretation
engine and its packet cache. Every factory here binds first, with the checks module
initialisation makes, but raises instead of ending the interpreter when the file cannot be
bound. Asking again for the file already bound reads what the station appended since.
"""

from __future__ import annotations

import json
import os
from typing import Callable, Union

from k814util import k814util as _k

PathLike = Union[str, "os.PathLike[str]"]
#: ``progress(bytes_done, bytes_total, packets)``, called while a telemetry file is read.
Progress = Callable[[int, int, int], object]

_MISSING_FILE = "tmfile does not exist: "


class BindingError(RuntimeError):
    """The process cannot be bound to the telemetry file.

    The message says why, in the words module initialisation would print (``line``), followed
    in brackets by what exactly is missing when that is known (``detail``).

    Parameters
    ----------
    message : str
        The whole message.
    line : str, optional
        The line module initialisation would print (default: the message).
    detail : str, optional
        What exactly is missing: the configuration file, a group, a key and the path it names.

    Attributes
    ----------
    line : str
        As given.
    detail : str
        As given; "" when not known.

    Examples
    --------
    >>> import k814util
    >>> try:
    ...     k814util.open("build")
    ... except k814util.BindingError as error:
    ...     print(error)
    build is a directory without a valid tm.meta: give its telemetry file instead
    """

    def __init__(self, message: str, line: str | None = None, detail: str = ""):
        super().__init__(message)
        self.line = message if line is None else line
        self.detail = detail


class TelemetryFileNotFoundError(BindingError, FileNotFoundError):
    """The telemetry file does not exist (a :class:`BindingError` and a ``FileNotFoundError``).

    Parameters
    ----------
    message : str
        The whole message.
    line : str, optional
        The line module initialisation would print (default: the message).
    detail : str, optional
        What exactly is missing, when that is known.

    Examples
    --------
    >>> import k814util
    >>> try:
    ...     k814util.open("build/no-such-file.tlm")
    ... except FileNotFoundError as error:
    ...     print(error.line)
    tmfile does not exist: build/no-such-file.tlm
    """


class StaleBindingError(BindingError):
    """The object was made for a binding the process has left since.

    The process was bound to another file (or the same file again from its start) after the
    object was made, so the object's whole-file answers would be another binding's. Make the
    object again (:func:`k814util.open`).

    Parameters
    ----------
    message : str
        The whole message.
    line : str, optional
        The line module initialisation would print (default: the message).
    detail : str, optional
        What exactly is missing, when that is known.

    Examples
    --------
    >>> import k814util
    >>> tarn = k814util.open(tarn_tm)
    >>> vireo = k814util.open(vireo_tm)
    >>> try:
    ...     tarn.series("SEB:HV_MON")
    ... except k814util.StaleBindingError:
    ...     print("stale")
    stale
    """


def ensure_current(obj) -> None:
    """Raises :class:`StaleBindingError` when obj (a TMFile or a scan wrapper) was made for an
    earlier binding than the process's current one."""
    if obj._binding_generation() != _k._binding_generation():
        bound = _k._bound_path()
        now = f"bound to {bound}" if bound else "not bound to any file"
        raise StaleBindingError(
            f"this {type(obj).__name__} was made for an earlier binding; the process is {now} "
            "since (make the object again to read that file)"
        )


def is_current(obj) -> bool:
    """Whether obj was made for the process's current binding."""
    return obj._binding_generation() == _k._binding_generation()


def _error(exc: RuntimeError) -> BindingError:
    """The binding's exception as the package's, with the line and the detail apart."""
    message = str(exc)
    failure = _k._binding_last_failure()
    line, detail = message, ""
    if failure is not None and failure[0] == message:
        _, line, detail = failure
    cls = TelemetryFileNotFoundError if line.startswith(_MISSING_FILE) else BindingError
    return cls(message, line, detail)


def _configuration(ini: PathLike | None) -> str | None:
    """The absolute path of the configuration file ini, checked; None for the default."""
    if ini is None:
        return None
    path = os.path.abspath(os.fspath(ini))
    if not os.path.isfile(path):
        raise BindingError(
            f"the configuration file {path} does not exist",
            line=f"the configuration file {path} does not exist",
        )
    return path


def telemetry_file(path: PathLike) -> str:
    """The telemetry file path names: path itself, or for a TID directory the file its tm.meta
    names. Raises :class:`BindingError` for a directory without one."""
    name = os.fspath(path)
    if not os.path.isdir(name):
        return name
    meta = _k._archive_test_meta(name)
    if not meta["valid"]:
        raise BindingError(
            f"{name} is a directory without a valid tm.meta: give its telemetry file instead"
        )
    if not meta["tmfile_name"]:
        raise BindingError(f"the tm.meta of {name} names no telemetry file (tmfile_name)")
    inside = os.path.join(name, meta["tmfile_name"])
    if not os.path.isfile(inside):
        raise TelemetryFileNotFoundError(
            f"{_MISSING_FILE}{inside}", detail=f"named by the tm.meta of {name}"
        )
    return inside


def bind(path: PathLike, progress: Progress | None = None, ini: PathLike | None = None) -> str:
    """Binds the process to a telemetry file and returns its absolute path.

    Parameters
    ----------
    path : str or os.PathLike
        The telemetry file, or a TID directory: the file its ``tm.meta`` names is bound.
    progress : callable, optional
        Called as ``progress(bytes_done, bytes_total, packets)`` while the file is read: once as
        the read starts, at most a few times per second while it goes, and once as it ends,
        with ``bytes_done`` equal to ``bytes_total``. ``bytes_done`` is the file offset
        reached, ``bytes_total`` the file's size when the read began and ``packets`` the packets
        read so far. For the file already bound, only what was appended since is read (and
        reported; nothing when it did not grow). The first exception it raises ends the reports
        without stopping the read; once the binding is complete, that exception is raised
        (Ctrl-C while reading included).
    ini : str or os.PathLike, optional
        The workstation configuration file (default: ``$INI814``, else ".814config.INI" in the
        home directory). Once the binding succeeds it stays the process's configuration file
        (``$INI814``), since later lookups of the bound test read it.

    Returns
    -------
    str
        The absolute path of the telemetry file bound.

    Raises
    ------
    TelemetryFileNotFoundError
        The file does not exist.
    BindingError
        The test has no valid ``tm.meta``, its configuration group is invalid, or its mission is
        one this module cannot read. The process keeps the binding it had.

    Examples
    --------
    >>> import k814util
    >>> k814util.bind(tarn_tm).endswith("tarn_12345.tlm")
    True
    >>> seen = []
    >>> _ = k814util.bind(vireo_tm, progress=lambda done, total, packets: seen.append(packets))
    >>> seen[-1]
    195
    """
    if progress is not None and not callable(progress):
        raise TypeError(f"progress must be callable, not {type(progress).__name__}")
    config = _configuration(ini)
    name = telemetry_file(path)
    saved = os.environ.get("INI814")
    if config is not None:
        os.environ["INI814"] = config
    raised = None
    try:
        if progress is None:
            _k.bindTelemetryFile(name)
        else:
            raised = _k._bind_with_progress(name, progress)
    except RuntimeError as exc:
        if config is not None:  # the process keeps its binding, and its configuration
            if saved is None:
                os.environ.pop("INI814", None)
            else:
                os.environ["INI814"] = saved
        raise _error(exc) from None
    if raised is not None:
        raise raised
    return os.path.abspath(name)


def describe_test(path: PathLike, ini: PathLike | None = None) -> dict:
    """The test metadata and configuration of a telemetry file, without binding the process.

    Nothing of the telemetry file is read but its size.

    Parameters
    ----------
    path : str or os.PathLike
        The telemetry file, or a TID directory.
    ini : str or os.PathLike, optional
        The workstation configuration file, as :func:`bind` takes it.

    Returns
    -------
    dict
        ``file``, ``size`` (bytes), ``meta`` (the fields of ``tm.meta``, its annotations and
        start time), ``config`` (the configuration file), ``group`` (the configuration group)
        and ``paths`` (each configured path with its ``key``, ``value``, ``required`` and
        ``exists``).

    Raises
    ------
    TelemetryFileNotFoundError, BindingError
        As :func:`bind` would.

    Examples
    --------
    >>> import k814util
    >>> info = k814util.describe_test(tarn_tm)
    >>> info["group"], info["meta"]["tid"], info["meta"]["model"], info["size"]
    ('TARN_FM', 12345, 'FM', 121478)
    """
    config = _configuration(ini)
    name = telemetry_file(path)
    saved = os.environ.get("INI814")
    if config is not None:
        os.environ["INI814"] = config
    try:
        info = json.loads(_k._console_test_info(name))
    finally:
        if config is not None:
            if saved is None:
                os.environ.pop("INI814", None)
            else:
                os.environ["INI814"] = saved
    if "error" in info:
        line, detail = info["error"], info.get("detail", "")
        message = f"{line} ({detail})" if detail else line
        cls = TelemetryFileNotFoundError if line.startswith(_MISSING_FILE) else BindingError
        raise cls(message, line, detail)
    return info


def open(
    path: PathLike, progress: Progress | None = None, ini: PathLike | None = None
) -> _k.TMFile:
    """The telemetry file as a :class:`TMFile`, the process bound to it first.

    Parameters
    ----------
    path : str or os.PathLike
        The telemetry file, or a TID directory whose ``tm.meta`` names it.
    progress : callable, optional
        Told how the read goes, as :func:`bind` says.
    ini : str or os.PathLike, optional
        The workstation configuration file, as :func:`bind` takes it.

    Returns
    -------
    TMFile
        Its packets (``len``, indexing, iteration), times, markers and decoded values, and the
        whole-file tables (``series``, ``dataframe``, ``packets``, ...).

    Raises
    ------
    TelemetryFileNotFoundError, BindingError
        As :func:`bind` would.

    Examples
    --------
    >>> import k814util
    >>> f = k814util.open(tarn_tm)
    >>> len(f), f[40].marker_text(), f.mission()
    (771, 'step 1: warm-up', 'tarn')
    >>> f.series("SEB:HV_MON")["value"][:2]
    array([341.66412354, 342.08984375])
    """
    name = telemetry_file(path)
    bind(name, progress, ini)
    return _k.TMFile(name)


def message_log(path: PathLike, ini: PathLike | None = None) -> _k.PyMsgLogCache:
    """The instrument's message log of a telemetry file, the process bound to it first.

    Parameters
    ----------
    path : str or os.PathLike
        The telemetry file, or a TID directory.
    ini : str or os.PathLike, optional
        The workstation configuration file, as :func:`bind` takes it.

    Returns
    -------
    PyMsgLogCache
        One :class:`PyMsgLogLine` per line (``len``, indexing, iteration).

    Raises
    ------
    TelemetryFileNotFoundError, BindingError
        As :func:`bind` would.

    Examples
    --------
    >>> import k814util
    >>> for line in k814util.message_log(vireo_tm)[:1]:
    ...     print(f"{line.relativeTime():6.2f}  {line.msg()}")
      9.25  LEU energy sample interval 3 s
    """
    bind(path, ini=ini)
    return _k.PyMsgLogCache()


def vireo_markers(path: PathLike, ini: PathLike | None = None) -> _k.PyVireoMarkerCache:
    """The VIREO test markers of a telemetry file, sorted by start, the process bound first.

    Parameters
    ----------
    path : str or os.PathLike
        The telemetry file, or a TID directory.
    ini : str or os.PathLike, optional
        The workstation configuration file, as :func:`bind` takes it.

    Returns
    -------
    PyVireoMarkerCache
        One :class:`PyVireoMarker` per marker; a marker still open at the end of the file has
        ``t_end_us() == 0``.

    Raises
    ------
    TelemetryFileNotFoundError, BindingError
        As :func:`bind` would.

    Examples
    --------
    >>> import k814util
    >>> m = k814util.vireo_markers(vireo_tm)[-1]
    >>> m.text(), m.t_start_us(), m.t_end_us(), m.is_complete()
    ('step 4: cool-down', 1473858410500000, 0, False)
    """
    bind(path, ini=ini)
    return _k.PyVireoMarkerCache()


def scans(
    path: PathLike,
    skip_zero_id_markers: bool = False,
    average_summed_scans: bool = False,
    ini: PathLike | None = None,
) -> _k.ScienceDataCacheWrapper:
    """The mass-spectrum scans of a TARN telemetry file, the process bound to it first.

    Parameters
    ----------
    path : str or os.PathLike
        The telemetry file, or a TID directory.
    skip_zero_id_markers : bool, optional
        Pass over markers of id 0 when finding each scan's marker.
    average_summed_scans : bool, optional
        Divide summed scans' counts by the number of scans summed.
    ini : str or os.PathLike, optional
        The workstation configuration file, as :func:`bind` takes it.

    Returns
    -------
    ScienceDataCacheWrapper
        ``len``, indexing, slicing and iteration give :class:`PythonStyleTarnScan` objects
        with counts, m/z values, totals and conditions.

    Raises
    ------
    TelemetryFileNotFoundError, BindingError
        As :func:`bind` would.

    Examples
    --------
    >>> import k814util
    >>> scans = k814util.scans(tarn_tm)
    >>> len(scans), scans[0].scan_mode_as_string(), len(scans[0].counts())
    (21, 'LDI', 20000)
    """
    bind(path, ini=ini)
    return _k.ScienceDataCacheWrapper(skip_zero_id_markers, average_summed_scans)
