"""archive list, extract and limits: the catalogue of a whole archive, items of many runs
extracted in parallel to parquet, and every limit violation across the runs.

Nothing here imports pandas or dask until a command runs, so the console starts without the
``analysis`` extra.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import sys
import warnings

from k814util.console.common import ANALYSIS, Failure, positive_int

# How long extract waits for a scheduler named with --scheduler.
CONNECT_TIMEOUT = "10s"


def _failure(message: str) -> Failure:
    """The archive commands' failures name the command family first."""
    return Failure(f"k814util archive: {message}")


def _archive(args: argparse.Namespace):
    try:
        from k814util.archive import Archive
    except ImportError as exc:
        raise _failure(f"{exc}; install the analysis extra: {ANALYSIS}") from None
    try:
        return Archive(args.ini, workers=getattr(args, "workers", None))
    except RuntimeError as exc:
        raise _failure(str(exc)) from None


def _runs(archive, args: argparse.Namespace):
    try:
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            runs = archive.catalogue(
                mission=args.mission, since=args.since, until=args.until, name=args.name
            )
    except ValueError as exc:  # a date pandas cannot read
        raise _failure(str(exc)) from None
    for warning in caught:  # a data root that is not there
        print(f"k814util archive: {warning.message}", file=sys.stderr)
    return runs


def cmd_list(args: argparse.Namespace) -> int:
    runs = _runs(_archive(args), args)
    for row in runs.itertuples():
        state = row.error or "ok"
        print(
            f"{row.start_time:%Y-%m-%d %H:%M:%S}Z  {row.mission:<6} {row.group:<10} "
            f"{row.tid:05d}  {row.test_name:<20} {row.size:>12,d}  {row.telemetry_file}  {state}"
        )
    broken = int((runs["error"] != "").sum())
    print(f"{len(runs)} runs, {broken} that cannot be bound")
    return 0


def _item(text: str):
    """A data id when the argument is a number, else a mnemonic."""
    return int(text) if text.isdigit() else text


def _connect(address: str):
    """A client of the scheduler at address, or Failure with one line."""
    from distributed import Client

    try:
        return Client(address, timeout=CONNECT_TIMEOUT, set_as_default=False)
    except Exception as exc:
        raise _failure(f"no scheduler at {address}: {exc}") from None


@contextlib.contextmanager
def _over_runs(args: argparse.Namespace, out: str | None):
    """(archive, runs, client) for a command over the archive's runs: refuses an output that
    exists, names the runs that cannot be bound, connects to --scheduler when given, turns
    what goes wrong into the console's one-line failure, and closes what it opened."""
    if out and os.path.exists(out) and (not os.path.isdir(out) or os.listdir(out)):
        # Parts of an earlier extraction would mix with this one's.
        raise _failure(f"{out} exists; remove it or name another")
    archive = _archive(args)
    runs = _runs(archive, args)
    for row in runs[runs["error"] != ""].itertuples():
        print(f"skipped: {row.error}", file=sys.stderr)
    client = None
    try:
        client = _connect(args.scheduler) if args.scheduler else None
        yield archive, runs, client
        _diagnostics_summary(archive, client, runs)
    except Failure:
        raise
    except Exception as exc:
        raise _failure(str(exc)) from None
    finally:
        archive.close()
        if client is not None:
            client.close()


def cmd_extract(args: argparse.Namespace) -> int:
    with _over_runs(args, args.out) as (archive, runs, client):
        items = [_item(text) for text in args.items]
        # An unknown item stops here, before anything is written.
        frame = archive.series(items, runs, mode=args.mode, client=client)
        _compute(archive, client, frame.to_parquet(args.out, compute=False))
        rows, holding = _written(args.out)
        named = ", ".join(str(item) for item in items)
        print(f"{rows} values of {named} from {holding} runs -> {args.out}")
        if rows == 0:
            raise _failure("no run's database holds these items")
    return 0


def _compute(archive, client, collection):
    """collection computed on the client (default: the archive's), with a progress bar on a
    terminal; the runs whose work failed are said on standard error."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        future = (client or archive.client).compute(collection)
        if sys.stderr.isatty():
            from distributed import progress

            progress(future)
            print(file=sys.stderr)
        result = future.result()
    for warning in caught:  # runs whose work failed (RunWarning)
        print(f"skipped: {warning.message}", file=sys.stderr)
    return result


def cmd_limits(args: argparse.Namespace) -> int:
    with _over_runs(args, args.out) as (archive, runs, client):
        frame = archive.limit_violations(runs, level=args.level, client=client)
        what = "red" if args.level == "red" else "yellow and red"
        if args.out:
            _compute(archive, client, frame.to_parquet(args.out, compute=False))
            rows, holding = _written(args.out)
            print(f"{rows} limit violation span(s) ({what}) from {holding} runs -> {args.out}")
        else:
            from k814util.console.limits import print_table

            spans = _compute(archive, client, frame)
            print_table(spans, None, f"{what} in {len(runs)} runs", with_runs=True)
    return 0


def _written(path: str) -> tuple[int, int]:
    """Rows of the dataset at path, and how many runs they come from."""
    import pyarrow.dataset

    table = pyarrow.dataset.dataset(path, format="parquet").to_table(columns=["mission", "tid"])
    runs = set(zip(table.column("mission").to_pylist(), table.column("tid").to_pylist()))
    return table.num_rows, len(runs)


def _diagnostics_summary(archive, client, runs) -> None:
    """One line for the reader's diagnostics of the runs just read (kept in the workers)."""
    from k814util._archivework import _run_name

    mine = {_run_name(path) for path in runs["telemetry_file"]}
    lines = {run: n for run, n in archive.diagnostics(client).items() if run in mine and n}
    if lines:
        total = sum(lines.values())
        print(
            f"reader diagnostics: {total} lines from {len(lines)} runs "
            "(damaged telemetry; read a run alone to see them)",
            file=sys.stderr,
        )


def _add_cluster(p: argparse.ArgumentParser) -> None:
    """Where a command over the runs works: an existing scheduler, or a local cluster."""
    p.add_argument("--scheduler", metavar="ADDRESS", help="an existing Dask scheduler")
    p.add_argument(
        "--workers",
        type=positive_int,
        metavar="N",
        help="local worker processes (default: processors)",
    )


def register(subparsers) -> None:
    """Adds ``archive list``, ``extract`` and ``limits`` to the console's subcommands."""
    archive = subparsers.add_parser("archive", help="every test run of the configuration")
    commands = archive.add_subparsers(dest="archive_command", required=True)

    def add(name: str, func, help_text: str) -> argparse.ArgumentParser:
        p = commands.add_parser(name, help=help_text)
        p.add_argument("--ini", help="workstation configuration file (default: $INI814 or ~)")
        p.add_argument("--mission", action="append", help="only this mission (repeatable)")
        p.add_argument("--since", metavar="DATE", help="runs that started at or after DATE (UTC)")
        p.add_argument("--until", metavar="DATE", help="runs that started before DATE (UTC)")
        p.add_argument("--name", metavar="PATTERN", help="test names matching PATTERN")
        p.set_defaults(func=func)
        return p

    add("list", cmd_list, "the catalogue: one line per run, with why it cannot be bound")
    extract = add("extract", cmd_extract, "items of every run to a parquet dataset")
    extract.add_argument("items", nargs="+", metavar="ITEM", help="data id or mnemonic")
    extract.add_argument("--out", required=True, metavar="DIR.parquet", help="dataset to write")
    extract.add_argument("--mode", choices=("raw", "eng", "sci"), default="sci")
    _add_cluster(extract)
    limits = add("limits", cmd_limits, "every limit violation of every run")
    limits.add_argument(
        "--level",
        choices=("yellow", "red"),
        default="yellow",
        help="yellow: yellow and red spans (default); red: red ones only",
    )
    limits.add_argument(
        "--out", metavar="DIR.parquet", help="write a parquet dataset (default: print a table)"
    )
    _add_cluster(limits)
