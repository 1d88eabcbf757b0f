"""limits: the spans in which the test's values left their limits, as a table, CSV or parquet."""

from __future__ import annotations

import argparse
import sys

from k814util.console.common import (
    ANALYSIS,
    Failure,
    add_file_command,
    add_window,
    bound,
    catalogue,
    resolve,
    window,
)

#: The readable table's columns, in order.
TABLE_COLUMNS = ("item", "level", "start (UTC)", "start [s]", "duration", "worst vs limit")


def _number(value: float) -> str:
    return f"{value:.6g}"


def duration(seconds: float, still_open: bool, samples: int = 2) -> str:
    """A span's length as a reader takes it in: seconds, minutes or hours (a span of one sample
    has none: "1 sample"); an open span's is at least that long ("open" after it)."""
    if samples == 1:
        text = "1 sample"
    elif seconds < 120:
        text = f"{seconds:.3g} s" if seconds < 10 else f"{seconds:.0f} s"
    elif seconds < 7200:
        text = f"{seconds / 60:.1f} min"
    else:
        text = f"{seconds / 3600:.1f} h"
    return f">= {text}, open" if still_open else text


def table_rows(df, found_in, with_runs: bool = False) -> list[tuple[str, ...]]:
    """The readable table's rows of a violation report, one per span: the worst value and the
    limit in the set's value mode and units (found_in's; none without a catalogue), with the
    comparison the limit makes; with_runs puts the run (an archive's report) first."""
    from k814util.console.common import utc

    rows = []
    for row in df.itertuples(index=False):
        unit = found_in.units(int(row.id), row.value_mode) if found_in is not None else ""
        unit = f" {unit}" if unit else ""
        run = (f"{row.mission} {row.tid:05d} {row.test_name}",) if with_runs else ()
        rows.append(
            run
            + (
                row.mnemonic,
                f"{row.level} (set {row.set})",
                utc(row.start_unix),
                f"{row.start_relative:.3f}",
                duration(row.end_relative - row.start_relative, bool(row.open), int(row.samples)),
                f"{_number(row.worst)}{unit} ({row.comparison} {_number(row.limit)}, "
                f"{row.value_mode})",
            )
        )
    return rows


def print_table(df, found_in, what: str, with_runs: bool = False) -> None:
    """The report as aligned columns, then a line counting the spans."""
    rows = table_rows(df, found_in, with_runs)
    columns = (("run",) if with_runs else ()) + TABLE_COLUMNS
    widths = [max([len(c), *(len(r[k]) for r in rows)]) for k, c in enumerate(columns)]
    print("  ".join(c.ljust(w) for c, w in zip(columns, widths)).rstrip())
    for r in rows:
        print("  ".join(v.ljust(w) for v, w in zip(r, widths)).rstrip())
    still_open = int(df["open"].sum()) if len(df) else 0
    suffix = f", {still_open} still open at the end of the file" if still_open else ""
    print(f"Limit violations: {len(df)} span(s) {what}{suffix}")


def with_times(df):
    """The report with the UTC time of each span's start, end and worst value (to the
    microsecond), as parquet keeps them."""
    import numpy as np
    import pandas as pd

    out = df.copy()
    for name in ("start", "end", "worst"):
        micros = np.round(df[f"{name}_unix"].to_numpy(dtype=np.float64) * 1e6).astype(np.int64)
        out[f"{name}_time"] = pd.to_datetime(micros, unit="us", utc=True)
    return out


def cmd_limits(args: argparse.Namespace) -> int:
    if args.format == "parquet":
        try:
            import pyarrow  # noqa: F401
        except ImportError as exc:
            raise Failure(
                f"--format parquet needs pandas and pyarrow ({exc.name} is missing): install "
                f"the 'analysis' extra ({ANALYSIS})"
            ) from None
    f = bound(args)
    found_in = catalogue(args)
    items = [hkid for hkid, _ in resolve(found_in, args.items)] if args.items else None
    try:
        df = f.limit_violations(items, level=args.level, **window(args))
    except ValueError as exc:  # a marker id the test lacks
        raise Failure(str(exc)) from None
    if args.format == "parquet":
        with_times(df).to_parquet(args.out, index=False)
        print(f"{len(df)} limit violation span(s) written to {args.out}", file=sys.stderr)
        return 0
    if args.format == "csv":
        df.to_csv(args.out if args.out else sys.stdout, index=False)
        if args.out:
            print(f"{len(df)} limit violation span(s) written to {args.out}", file=sys.stderr)
        return 0
    what = "red" if args.level == "red" else "yellow and red"
    if args.out:
        with open(args.out, "w") as stream:
            stdout, sys.stdout = sys.stdout, stream
            try:
                print_table(df, found_in, what)
            finally:
                sys.stdout = stdout
    else:
        print_table(df, found_in, what)
    return 0


def register(sub) -> argparse.ArgumentParser:
    """Adds limits; returns its parser (main checks its --format and --out)."""
    p = add_file_command(sub, "limits", cmd_limits, "the spans in which values left their limits")
    p.add_argument(
        "items", nargs="*", metavar="ITEM", help="item id or mnemonic (default: all with limits)"
    )
    p.add_argument(
        "--level",
        choices=("yellow", "red"),
        default="yellow",
        help="yellow: yellow and red spans (default); red: red ones only",
    )
    p.add_argument("--format", choices=("table", "csv", "parquet"), default="table")
    p.add_argument("--out", metavar="FILE", help="write to FILE (default: stdout)")
    add_window(p)
    return p
