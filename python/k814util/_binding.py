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
    """The process cannot be bound to the telemetry file; the message says why, in the words
    module initialisation would print."""


class TelemetryFileNotFoundError(BindingError, FileNotFoundError):
    """The telemetry file does not exist."""


class StaleBindingError(BindingError):
    """The object was made for a binding the process has left since: it was bound to another
    file (or the same file again) after the object was made, so the object's whole-file answers
    would be another binding's. Make the object again (``k814util.open``) or use a ``Run``."""


def ensure_current(obj) -> None:
    """Raises :class:`StaleBindingError` when obj (a TMFile or a scan wrapper) was made for an
    earlier binding than the process's current one."""
    made = getattr(obj, "_binding_generation", None)
    if made is None:  # the compiled objects do not record their binding yet
        return
    if made() != _k._binding_generation():
        raise StaleBindingError(
            f"{type(obj).__name__} was made for an earlier binding: the process has been bound "
            f"to {_k._bound_path() or 'no file'} since"
        )


def bind(path: PathLike, progress: Progress | None = None) -> str:
    """Binds the process to the telemetry file at ``path`` and returns its absolute path.

    ``progress``, when given, is called as ``progress(bytes_done, bytes_total, packets)``
    while the file is read: once as the read starts, at most a few times per second while it
    goes, and once as it ends, with ``bytes_done`` equal to ``bytes_total`` (a read stops only
    at the end of the file). ``bytes_done`` is the file offset reached, ``bytes_total`` the
    file's size when the read began and ``packets`` the packets read so far. For the file already
    bound, only what was appended since is read (and reported; nothing when it did not grow).
    The first exception ``progress`` raises ends the reports without stopping the read; once
    the binding is complete, that exception is raised (Ctrl-C while reading included).

    Raises :class:`TelemetryFileNotFoundError` for a missing file and :class:`BindingError`
    for a test without a valid ``tm.meta``, an invalid configuration group or a mission this
    module cannot read.
    """
    name = os.fspath(path)
    if progress is not None and not callable(progress):
        raise TypeError(f"progress must be callable, not {type(progress).__name__}")
    raised = None
    try:
        if progress is None:
            _k.bindTelemetryFile(name)
        else:
            raised = _k._bind_with_progress(name, progress)
    except RuntimeError as exc:
        message = str(exc)
        if message.startswith(_MISSING_FILE):
            raise TelemetryFileNotFoundError(message) from None
        raise BindingError(message) from None
    if raised is not None:
        raise raised
    return os.path.abspath(name)


def describe_test(path: PathLike) -> dict:
    """The test metadata and configuration of the telemetry file at ``path``, without binding
    the process or reading its packets: ``file``, ``size``, ``meta`` (tm.meta's fields,
    annotations and start time), ``config``, ``group`` and ``paths`` (each configured path with
    ``required`` and ``exists``).

    Raises :class:`TelemetryFileNotFoundError` or :class:`BindingError` as :func:`bind` would.
    """
    info = json.loads(_k._console_test_info(os.fspath(path)))
    if "error" in info:
        message = info["error"]
        if message.startswith(_MISSING_FILE):
            raise TelemetryFileNotFoundError(message)
        raise BindingError(message)
    return info


def open(path: PathLike, progress: Progress | None = None) -> _k.TMFile:
    """The telemetry file at ``path``, with its packets (``len``, indexing, iteration), times,
    markers and decoded values. ``progress`` is reported to as :func:`bind` says."""
    bind(path, progress)
    return _k.TMFile(os.fspath(path))


def message_log(path: PathLike) -> _k.PyMsgLogCache:
    """The instrument's message log of the telemetry file, one :class:`PyMsgLogLine` per line."""
    bind(path)
    return _k.PyMsgLogCache()


def vireo_markers(path: PathLike) -> _k.PyVireoMarkerCache:
    """The VIREO test markers of the telemetry file, sorted by start time; markers still open at
    the end of the file have ``t_end_us() == 0``."""
    bind(path)
    return _k.PyVireoMarkerCache()


def scans(
    path: PathLike, skip_zero_id_markers: bool = False, average_summed_scans: bool = False
) -> _k.ScienceDataCacheWrapper:
    """The mass-spectrum scans of a TARN telemetry file (``len``, indexing, slicing, iteration),
    each a :class:`PythonStyleTarnScan` with counts, m/z values, totals and conditions.

    ``skip_zero_id_markers`` passes over markers of id 0 when finding each scan's marker;
    ``average_summed_scans`` divides summed scans' counts by the number of scans summed.
    """
    bind(path)
    return _k.ScienceDataCacheWrapper(skip_zero_id_markers, average_summed_scans)
