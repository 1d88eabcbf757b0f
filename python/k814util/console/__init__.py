"""The k814util console: reports, values, plots and archives of telemetry tests.

Every subcommand runs in this process on the package's own API: it binds the process to the
test's telemetry file (showing a progress bar on a terminal) and reads what it prints from the
same objects and tables a script gets. A module per family of subcommands: ``reports`` (info,
summary, log, markers, sequences, show), ``values`` (items, values), ``limits``, ``trend`` (plot),
``follow``, ``scans`` (scans, spectrum, tic), ``export`` (mzML, NetCDF), ``archive``, ``serve``
(the quick-look server) and ``sample``; ``plotting`` draws every figure, ``common`` holds what
they share.
"""

from __future__ import annotations

import argparse
import os
import sys

from k814util.console import (
    archive,
    export,
    follow,
    limits,
    reports,
    sample,
    scans,
    serve,
    trend,
    values,
)
from k814util.console.common import Failure, run

__all__ = ["Failure", "main"]


class _Parser(argparse.ArgumentParser):
    """A parser that refuses an unknown option itself, so a subcommand's mistake is shown with
    that subcommand's usage instead of the top level's (subparsers are made of this class too)."""

    _intermixing = False

    def parse_known_args(self, args=None, namespace=None):
        if self._intermixing:  # a pass of parse_known_intermixed_args: it sorts out the rest
            return super().parse_known_args(args, namespace)
        parsed, extra = super().parse_known_args(args, namespace)
        if extra and not any(e.startswith("-") for e in extra) and not self._has_subcommands():
            # argparse hands every positional over at its first stretch: items named after an
            # option ("export FILE --netcdf OUT ITEM...") would be left over. Parsing options
            # and positionals apart takes them wherever they stand.
            self._intermixing = True
            try:
                parsed, extra = self.parse_known_intermixed_args(args, namespace)
            finally:
                self._intermixing = False
        if extra:
            self.error("unrecognized arguments: " + " ".join(extra))
        return parsed, extra

    def _has_subcommands(self) -> bool:
        return any(isinstance(a, argparse._SubParsersAction) for a in self._actions)


def parser() -> tuple[argparse.ArgumentParser, dict[str, argparse.ArgumentParser]]:
    """The console's argument parser.

    Returns
    -------
    tuple of (argparse.ArgumentParser, dict)
        The parser, and the parsers of the subcommands that write parquet by name (``main``
        checks their options).

    Examples
    --------
    >>> from k814util.console import parser
    >>> top, writers = parser()
    >>> sorted(writers)
    ['limits', 'values']
    """
    top = _Parser(prog="k814util", description=__doc__.split("\n")[0])
    sub = top.add_subparsers(dest="command", required=True)
    sample.register(sub)
    reports.register(sub)
    writers = {"values": values.register(sub), "limits": limits.register(sub)}
    trend.register(sub)
    follow.register(sub)
    scans.register(sub)
    archive.register(sub)
    export.register(sub)
    serve.register(sub)
    return top, writers


def main(args: list[str] | None = None) -> int:
    """Runs the console.

    Parameters
    ----------
    args : list of str, optional
        The arguments (default: the command line's).

    Returns
    -------
    int
        The exit status: 0 done, 1 failed (the reason on standard error), 2 wrong usage, 130
        interrupted.

    Examples
    --------
    >>> from k814util.console import main
    >>> main(["info", tarn_tm])
    Telemetry file ...tarn_12345.tlm (121478 bytes)
    ...
    0
    """
    top, writers = parser()
    parsed = top.parse_args(args)
    if getattr(parsed, "format", None) == "parquet" and not parsed.out:
        writers.get(parsed.command, top).error("--format parquet needs --out FILE")
    try:
        if hasattr(parsed, "path"):  # a command on a test's telemetry file
            return run(parsed)
        return parsed.func(parsed)
    except Failure as exc:
        sys.stdout.flush()
        print(str(exc).replace("\n", " "), file=sys.stderr)
        return exc.status
    except KeyboardInterrupt:
        print("interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader of our output (head, less) went away: not a failure of ours.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 0
