"""Read access to the laboratory's instrument telemetry archives.

The compiled part is the private extension module ``_k814util``; its classes are re-exported
here, with factory functions that bind the process to a telemetry file first::

    import k814util
    for line in k814util.message_log("data/.../vireo_23456.tlm"):
        print(line.unixTime(), line.msg())

The sample-archive generator (:mod:`k814util.sample`) works without the compiled part.
"""

import os as _os

from k814util.sample import SampleArchive, generate_archive


def _keep_standard_error_open() -> None:
    # A process started with standard error closed would hand descriptor 2 to the next file the
    # framework opens, and the readers' diagnostics would be written into that file.
    try:
        _os.fstat(2)
    except OSError:
        fd = _os.open(_os.devnull, _os.O_WRONLY)
        if fd != 2:
            _os.dup2(fd, 2)
            _os.close(fd)


_keep_standard_error_open()

__version__ = "0.1.0"

__all__ = ["SampleArchive", "generate_archive", "__version__"]

try:
    from k814util import k814util as _compiled
except ImportError as _error:  # a source tree without the compiled module
    _compiled = None
    _IMPORT_ERROR = _error

    def __getattr__(name: str):
        raise AttributeError(
            f"k814util.{name} needs the compiled module _k814util, which failed to import "
            f"({_IMPORT_ERROR}); install the package with 'pip install .'"
        )


if _compiled is not None:
    from k814util import _pythonic
    from k814util._binding import (
        BindingError,
        StaleBindingError,
        TelemetryFileNotFoundError,
        bind,
        describe_test,
        message_log,
        open,
        scans,
        vireo_markers,
    )
    from k814util.diagnostics import (
        Diagnostic,
        capture_diagnostics,
        diagnostics_to_logging,
    )
    from k814util.frames import (
        PacketSummary,
        PacketTypeCount,
        SebCommand,
        SebField,
        SebSequence,
        TarnMarker,
        UnknownItemError,
    )
    from k814util.k814util import (
        ListOfFloats,
        ListOfIntegers,
        ListOfMetaMarkers,
        ListOfRfStatusEntrys,
        ListOfTMDatapoints,
        MetaMarker,
        PyMsgLogCache,
        PyMsgLogLine,
        PythonStyleTarnScan,
        PyVireoMarker,
        PyVireoMarkerCache,
        RfStatusEntry,
        ScienceDataCacheWrapper,
        TMDatapoint,
        TMFile,
        TMPacket,
        bindTelemetryFile,
        cvar,
        initK814Util,
        interpretScanValue,
    )
    from k814util.packets import read_packets
    from k814util.runs import Run, RunWorkerError
    from k814util.spectra import Spectra, spectra

    _pythonic.install()
    __all__ += [
        "BindingError",
        "StaleBindingError",
        "TelemetryFileNotFoundError",
        "Diagnostic",
        "capture_diagnostics",
        "diagnostics_to_logging",
        "UnknownItemError",
        "PacketSummary",
        "PacketTypeCount",
        "SebCommand",
        "SebField",
        "SebSequence",
        "TarnMarker",
        "bind",
        "message_log",
        "open",
        "read_packets",
        "Run",
        "RunWorkerError",
        "scans",
        "spectra",
        "Spectra",
        "describe_test",
        "vireo_markers",
        "ListOfFloats",
        "ListOfIntegers",
        "ListOfMetaMarkers",
        "ListOfRfStatusEntrys",
        "ListOfTMDatapoints",
        "MetaMarker",
        "PyMsgLogCache",
        "PyMsgLogLine",
        "PyVireoMarker",
        "PyVireoMarkerCache",
        "PythonStyleTarnScan",
        "RfStatusEntry",
        "ScienceDataCacheWrapper",
        "TMDatapoint",
        "TMFile",
        "TMPacket",
        "bindTelemetryFile",
        "cvar",
        "initK814Util",
        "interpretScanValue",
    ]
