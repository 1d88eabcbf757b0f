"""The lines the compiled libraries write for a person, in one place.

The reader's notes on damaged telemetry ("Skipped 12 bytes [..]"), problems of meta-marker rule
and definition files, decoder and fitting warnings: each is a :class:`Diagnostic` with a kind
and its text. By default it goes where it always went (standard error, or standard output for
the few that always went there), unchanged. A script can instead::

    with k814util.capture_diagnostics() as lines:   # collect them for a block
        f = k814util.open(path)
    print(len(lines), "lines;", sum(d.kind == "reader" for d in lines), "about damage")

    k814util.diagnostics_to_logging()                # or hand every line to logging
    f.diagnostics()                                  # the lines of f's binding, kept with it

Kinds: ``"reader"`` (damaged telemetry, a file that cannot be opened), ``"rules"``
(meta-marker rule files), ``"config"`` (configuration and definition files), ``"binding"``
(warnings while binding, such as a directory name that does not carry the test's TID),
``"decoder"`` (a field past a packet's end), ``"fit"`` (least-squares fitting),
``"database"`` (differences of database rows) and ``"event"`` (the libraries' event messages).
"""

from __future__ import annotations

import contextlib
import logging
from collections.abc import Iterator
from typing import NamedTuple

from k814util import k814util as _k

__all__ = [
    "Diagnostic",
    "KINDS",
    "LEVELS",
    "binding_diagnostics",
    "capture_diagnostics",
    "diagnostics_to_logging",
]

#: Every kind of line, in the order above.
KINDS = ("reader", "rules", "config", "binding", "decoder", "fit", "database", "event")
#: The logging level each kind is logged at by :func:`diagnostics_to_logging`: damage and broken
#: files are warnings, the rest information a person may want.
LEVELS = {
    "reader": logging.WARNING,
    "rules": logging.WARNING,
    "config": logging.WARNING,
    "binding": logging.WARNING,
    "decoder": logging.INFO,
    "fit": logging.WARNING,
    "database": logging.INFO,
    "event": logging.INFO,
}

_LOGGER = "k814util"


class Diagnostic(NamedTuple):
    """One line the libraries wrote for a person.

    Parameters
    ----------
    kind : str
        What it is about (see ``KINDS``): "reader" for damaged telemetry, "rules" for the
        meta-marker rule files, "binding", ...
    text : str
        The line, without its end; ``str()`` gives it as the libraries write it.

    Examples
    --------
    >>> from k814util import Diagnostic
    >>> str(Diagnostic("reader", "Skipped 7 bytes [11160 - 11167]"))
    'Skipped 7 bytes [11160 - 11167]'
    """

    kind: str
    text: str

    def __str__(self) -> str:
        return self.text


class BindingDiagnostics(list):
    """The lines of one binding: a list of :class:`Diagnostic`, oldest first.

    Attributes
    ----------
    dropped : int
        How many more lines the binding had than were kept (it keeps the first 100,000).
    """

    dropped: int = 0


def _lines(pairs) -> list[Diagnostic]:
    return [Diagnostic(kind, text) for kind, text in pairs]


@contextlib.contextmanager
def capture_diagnostics() -> Iterator[list[Diagnostic]]:
    """Collects the lines written while the block runs, instead of printing them.

    Captures nest: an inner one takes the lines of its own block. Lines of the block are also
    kept with the binding they came during (:meth:`TMFile.diagnostics`).

    Yields
    ------
    list of Diagnostic
        Filled when the block ends (also when it raises).

    Examples
    --------
    >>> import k814util
    >>> _ = k814util.bind(vireo_tm)
    >>> with k814util.capture_diagnostics() as lines:  # the sample's TARN file is damaged
    ...     f = k814util.open(tarn_tm)
    >>> lines[0]
    Diagnostic(kind='reader', text='Invalid header - type: 95 length: 26149')
    """
    lines: list[Diagnostic] = []
    _k._diagnostics_capture_begin()
    try:
        yield lines
    finally:
        lines.extend(_lines(_k._diagnostics_capture_end()))


def _to_logging(kind: str, text: str) -> None:
    logging.getLogger(_LOGGER).log(LEVELS.get(kind, logging.INFO), text, extra={"kind": kind})


def diagnostics_to_logging(enabled: bool = True) -> None:
    """Hands every line that no capture takes to ``logging.getLogger("k814util")``.

    Each line is logged at the level ``LEVELS`` gives its kind, with the kind in the record's
    ``kind`` attribute.

    Parameters
    ----------
    enabled : bool, optional
        False puts the lines back on their streams.

    Examples
    --------
    >>> import logging
    >>> import k814util
    >>> kept = []
    >>> class Keep(logging.Handler):
    ...     def emit(self, record):
    ...         kept.append((record.levelname, record.kind, record.getMessage()))
    >>> keep = Keep()
    >>> logging.getLogger("k814util").addHandler(keep)
    >>> _ = k814util.bind(vireo_tm)
    >>> k814util.diagnostics_to_logging()
    >>> _ = k814util.bind(tarn_tm)  # the sample's TARN file is damaged
    >>> kept[0]
    ('WARNING', 'reader', 'Invalid header - type: 95 length: 26149')
    >>> logging.getLogger("k814util").removeHandler(keep)
    """
    _k._diagnostics_forward(_to_logging if enabled else None)


def binding_diagnostics() -> BindingDiagnostics:
    """The lines of the process's current binding.

    Those written while it was made and on every read on since (refresh), whatever a capture or
    logging did with them.

    Returns
    -------
    BindingDiagnostics

    Examples
    --------
    >>> import k814util
    >>> from k814util.diagnostics import binding_diagnostics
    >>> _ = k814util.bind(tarn_tm)
    >>> binding_diagnostics()[0].kind
    'reader'
    """
    pairs, dropped = _k._binding_diagnostics()
    result = BindingDiagnostics(_lines(pairs))
    result.dropped = int(dropped)
    return result
