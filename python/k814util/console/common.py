"""What every subcommand on a test's telemetry file shares: the one failure type, binding the
file once (with its progress bar), the diagnostics the library writes meanwhile, and the items
named on the command line."""

from __future__ import annotations

import argparse
import contextlib
import sys
import time
from datetime import datetime, timezone
from pathlib import Path

MODES = {"raw": 0, "eng": 1, "sci": 2}
KINDS = {26: "single", 27: "summed", 28: "aggregated"}
ANALYSIS = "pip install 'k814util[analysis]'"


class Failure(Exception):
    """Ends a subcommand with its exit status after the message, on one line of standard error.

    Parameters
    ----------
    message : str
        What went wrong.
    status : int, optional
        The exit status (1 unless told).
    binding : bool, optional
        The message is the binding's.
    """

    def __init__(self, message: str, status: int = 1, binding: bool = False):
        super().__init__(message)
        self.status = status
        self.binding = binding  # the file could not be bound


def utc(unix: float) -> str:
    return datetime.fromtimestamp(unix, timezone.utc).isoformat(timespec="milliseconds")[:-6] + "Z"


class ProgressBar:
    """A tqdm bar of the bytes read while binding (with the packets and their rate), on a
    terminal's standard error only; nothing without tqdm, without a terminal or with --quiet."""

    def __init__(self, args: argparse.Namespace):
        self.bar = None
        self.started = time.monotonic()
        if getattr(args, "quiet", False) or sys.stderr is None:
            return
        try:
            if not sys.stderr.isatty():
                return
            from tqdm import tqdm
        except (ImportError, OSError, ValueError):
            return
        self.bar = tqdm(
            total=None,
            desc=f"reading {Path(args.path).name}",
            unit="B",
            unit_scale=True,
            unit_divisor=1024,
            file=sys.stderr,
            leave=False,
        )

    def __call__(self, bytes_done: int, bytes_total: int, packets: int) -> None:
        if self.bar is None:
            return
        if self.bar.total != bytes_total:
            self.bar.total = bytes_total
        rate = packets / max(time.monotonic() - self.started, 1e-9)
        self.bar.set_postfix_str(f"{packets} packets, {rate:,.0f} packets/s", refresh=False)
        self.bar.update(bytes_done - self.bar.n)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.refresh()  # the last state, however soon the read ended
            self.bar.close()


def run(args: argparse.Namespace) -> int:
    """The subcommand's exit status, the library's diagnostic lines captured while it runs and
    reported on standard error when it ends (standard output carries the data alone). A file
    that cannot be bound ends the command with the binding's line alone."""
    import k814util

    args.diagnostics = []  # what report() has still to say
    if hasattr(args, "start"):
        window(args)  # a time that is none is wrong usage, said before the file is read
    lines: list = []
    try:
        with k814util.capture_diagnostics() as lines:
            return args.func(args)
    except Failure as exc:
        if exc.binding:
            lines.clear()
        raise
    except OSError as exc:
        # An output the command cannot write (a folder that is not there, no permission):
        # one line, not a traceback. A reader that went away is not a failure of ours.
        if isinstance(exc, BrokenPipeError) or exc.filename is None:
            raise
        raise Failure(f"cannot write {exc.filename}: {exc.strerror}") from None
    finally:
        args.diagnostics.extend(lines)  # filled as the capture ended
        report(args)


def captured(args: argparse.Namespace):
    """A block whose diagnostic lines are kept for the next report() (a capture of its own, so
    that they can be reported before the command ends); none kept when the block raises."""
    import k814util

    @contextlib.contextmanager
    def block():
        with k814util.capture_diagnostics() as lines:
            yield
        args.diagnostics.extend(lines)

    return block()


def report(args: argparse.Namespace) -> None:
    """Writes the diagnostic lines kept so far, and forgets them: with --quiet none, with
    --verbose all; otherwise the reader's lines about damaged telemetry are counted on one line
    and the others (rule files, configuration) shown in full."""
    kept = list(args.diagnostics)
    args.diagnostics.clear()
    if args.quiet or sys.stderr is None:
        return
    if args.verbose:
        shown, reader = kept, 0
    else:
        shown = [d for d in kept if d.kind != "reader"]
        reader = len(kept) - len(shown)
    # Standard error may be unwritable (closed by the shell after Python started): what it
    # cannot take is dropped, never the command's own result.
    with contextlib.suppress(OSError, ValueError):
        sys.stdout.flush()
        for d in shown:
            print(d.text, file=sys.stderr)
        if reader:
            print(
                f"reader: {reader} {'line' if reader == 1 else 'lines'} about damaged "
                "telemetry; --verbose shows them",
                file=sys.stderr,
            )
        sys.stderr.flush()


def bound(args: argparse.Namespace):
    """The test's TMFile, the process bound to it; Failure with the binding's message. The
    file is bound once per command (show runs several reports on it)."""
    if getattr(args, "bound_file", None) is not None:
        return args.bound_file
    import k814util

    bar = ProgressBar(args)
    try:
        with captured(args):
            if bar.bar is None:
                f = k814util.open(args.path, ini=args.ini)
            else:
                f = k814util.open(args.path, progress=bar, ini=args.ini)
                size = f.file_size()
                bar(size, size, len(f))
    except k814util.BindingError as exc:
        raise Failure(str(exc), binding=True) from None
    finally:
        bar.close()
    args.bound_file = f
    return f


def catalogue(args: argparse.Namespace):
    """The bound test's database items by id and mnemonic."""
    from k814util.catalogue import ItemCatalogue

    bound(args)
    return ItemCatalogue()


def resolve(found_in, names: list[str]) -> list[tuple[int, str]]:
    """The (id, mnemonic) of items given by id or mnemonic, each item once (the first time it
    is named, by whatever name); Failure naming close matches."""
    from k814util import UnknownItemError

    found: dict[int, str] = {}
    try:
        for n in names:
            hkid, mnemonic = found_in.resolve(int(n) if n.lstrip("-").isdigit() else n)
            found.setdefault(hkid, mnemonic)
    except UnknownItemError as exc:
        raise Failure(str(exc)) from None
    return list(found.items())


def units(found_in, hkid: int, mode: str) -> str:
    """The item's units in the mode ("" when the database gives none)."""
    return found_in.units(hkid, mode)


def positive_int(text: str) -> int:
    """An argparse type: a whole number of at least 1."""
    try:
        number = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if number < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, not {number}")
    return number


def positive_seconds(text: str) -> float:
    try:
        seconds = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number of seconds: {text!r}") from None
    if not seconds > 0:
        raise argparse.ArgumentTypeError(f"must be above 0, not {text}")
    return seconds


def add_file_command(sub, name: str, func, help_text: str) -> argparse.ArgumentParser:
    """A subcommand on one test's telemetry file, with the options they all take."""
    p = sub.add_parser(name, help=help_text)
    p.add_argument("path", help="telemetry file of the test")
    p.add_argument("--ini", help="workstation configuration file (default: $INI814 or ~)")
    said = p.add_mutually_exclusive_group()
    said.add_argument(
        "-q", "--quiet", action="store_true", help="no progress bar and no diagnostics"
    )
    said.add_argument(
        "-v", "--verbose", action="store_true", help="every diagnostic line of the library"
    )
    p.set_defaults(func=func)
    return p


def need_parquet() -> None:
    """Failure naming the extra when pandas or pyarrow is missing: said before a file is read."""
    try:
        import pandas  # noqa: F401
        import pyarrow  # noqa: F401
    except ImportError as exc:
        raise Failure(
            f"--format parquet needs pandas and pyarrow ({exc.name} is missing): install "
            f"the 'analysis' extra ({ANALYSIS})"
        ) from None


def add_window(p: argparse.ArgumentParser) -> None:
    """The options of a time window: --start, --end, --marker."""
    g = p.add_argument_group("time window")
    g.add_argument(
        "--start", metavar="T", help="from T: relative seconds, or UTC (2012-04-02T16:36:00Z)"
    )
    g.add_argument("--end", metavar="T", help="up to T (included), as --start")
    g.add_argument(
        "--marker", type=int, metavar="ID", help="within the span of a marker or meta-marker"
    )


def window(args: argparse.Namespace) -> dict:
    """The window's keyword arguments (start=, end=, window=) of the options; numbers are
    relative seconds, other text a UTC time. Failure for a time that is neither."""
    from k814util.windows import to_unix

    found = {}
    for key in ("start", "end"):
        text = getattr(args, key, None)
        if text is None:
            continue
        try:
            found[key] = float(text)
        except ValueError:
            try:
                to_unix(text)
            except ValueError as exc:
                raise Failure(f"--{key}: {exc}", status=2) from None
            found[key] = text
    if getattr(args, "marker", None) is not None:
        found["window"] = args.marker
    return found


def windowed(f, series: dict, within: dict | None) -> dict:
    """The series' arrays inside the window (the keyword arguments of window()); Failure for a
    marker id the test lacks."""
    from k814util.windows import select

    if not within:
        return series
    try:
        keep = select(f, series["unix_time"], series["relative_time"], **within)
    except ValueError as exc:
        raise Failure(str(exc)) from None
    return {k: v[keep] for k, v in series.items()}


def add_mode(p: argparse.ArgumentParser) -> None:
    p.add_argument("--mode", choices=list(MODES), default="sci", help="default: sci")
