"""The database's items, and every value of some of them as CSV or parquet."""

from __future__ import annotations

import argparse
import contextlib
import csv
import sys

from k814util.console.common import (
    MODES,
    add_file_command,
    add_mode,
    add_window,
    bound,
    catalogue,
    need_parquet,
    resolve,
    units,
    window,
    windowed,
)

#: The columns of the values table; parquet adds each value's UTC ``time``.
COLUMNS = ("packet", "unix_time", "relative_time", "value", "mode", "units", "item", "sample")


def cmd_items(args: argparse.Namespace) -> int:
    from k814util.catalogue import matching_items

    rows = matching_items(catalogue(args).rows, args.pattern)
    width = max([len("mnemonic"), *(len(row[1]) for row in rows)])
    wide = max([8, *(len(u) for row in rows for u in row[5:8])])
    print(
        f"  {'id':>6}  {'mnemonic':<{width}} {'type':>5}  {'raw':<{wide}} {'eng':<{wide}} "
        f"{'sci':<{wide}} description"
    )
    for row in rows:
        hkid, mnemonic, _, _, ptype, raw, eng, sci, description = row
        print(
            f"  {hkid:>6}  {mnemonic:<{width}} {ptype:>5}  {raw or '-':<{wide}} "
            f"{eng or '-':<{wide}} {sci or '-':<{wide}} {description}".rstrip()
        )
    suffix = f" matching {args.pattern!r}" if args.pattern else ""
    print(f"Items: {len(rows)}{suffix}")
    return 0


def value_columns(f, items: list[tuple[int, str]], mode: str, found_in, within=None) -> dict:
    """The columns of the values table, in packet order and, within a packet, in the order the
    items were given; sample is the value's position among its item's values in the packet."""
    import numpy as np

    from k814util.catalogue import sample_numbers

    found = []
    for hkid, _ in items:
        s = f.series(hkid, MODES[mode])
        # A value's sample is its place in its packet, whatever the window cuts.
        s["sample"] = sample_numbers(s["packet"])
        found.append(windowed(f, s, within))
    packet = np.concatenate([s["packet"] for s in found])
    order = np.argsort(packet, kind="stable")
    values = [s["value"] for s in found]
    if any(v.dtype.kind != "f" for v in values):
        # A text item among them: the numbers become text too, as the CSV writes them.
        values = [
            v.astype(object)
            if v.dtype.kind != "f"
            else np.array(list(map(repr, v.tolist())), dtype=object)
            for v in values
        ]
    names = np.array([name for _, name in items], dtype=object)
    unit_names = np.array([units(found_in, hkid, mode) for hkid, _ in items], dtype=object)
    codes = np.concatenate([np.full(len(s["packet"]), i) for i, s in enumerate(found)])[order]
    return {
        "packet": packet[order],
        "unix_time": np.concatenate([s["unix_time"] for s in found])[order],
        "relative_time": np.concatenate([s["relative_time"] for s in found])[order],
        "value": np.concatenate(values)[order],
        "mode": np.full(len(packet), mode, dtype=object),
        "units": unit_names[codes],
        "item": names[codes],
        "sample": np.concatenate([s["sample"] for s in found])[order],
    }


def cmd_values(args: argparse.Namespace) -> int:
    if args.format == "parquet":
        need_parquet()
    f = bound(args)
    found_in = catalogue(args)
    items = resolve(found_in, args.items)
    columns = value_columns(f, items, args.mode, found_in, window(args))
    if args.format == "parquet":
        return _write_parquet(columns, items, args)
    with contextlib.ExitStack() as stack:
        stream = sys.stdout
        if args.out:
            stream = stack.enter_context(open(args.out, "w", newline=""))
        out = csv.writer(stream, lineterminator="\n")
        out.writerow(COLUMNS)
        rows = zip(*(columns[k].tolist() for k in COLUMNS))
        for packet, unix, relative, value, mode, unit, name, sample in rows:
            text = value if isinstance(value, str) else repr(value)
            out.writerow([packet, repr(unix), repr(relative), text, mode, unit, name, sample])
    if args.out:
        print(f"values of {len(items)} item(s) written to {args.out}", file=sys.stderr)
    return 0


def _write_parquet(columns: dict, items, args: argparse.Namespace) -> int:
    """The CSV's columns, typed, and the UTC time of each value (to the microsecond)."""
    import numpy as np
    import pandas as pd

    data = {k: columns[k] for k in COLUMNS}
    data["item"] = pd.Categorical(columns["item"], categories=[name for _, name in items])
    micros = np.round(columns["unix_time"] * 1e6).astype(np.int64)
    data["time"] = pd.to_datetime(micros, unit="us", utc=True)
    frame = pd.DataFrame(data)
    frame.to_parquet(args.out, index=False)
    print(f"{len(frame)} values of {len(items)} item(s) written to {args.out}", file=sys.stderr)
    return 0


def register(sub) -> argparse.ArgumentParser:
    """Adds items and values; returns the values parser (main checks its --format and --out)."""
    items = add_file_command(sub, "items", cmd_items, "the database's items, to find what to read")
    items.add_argument("pattern", nargs="?", help="mnemonic part or shell pattern (SEB:T_*)")
    values = add_file_command(
        sub, "values", cmd_values, "every value of database items, as CSV or parquet"
    )
    values.add_argument("items", nargs="+", metavar="ITEM", help="item id or mnemonic")
    add_mode(values)
    values.add_argument("--format", choices=("csv", "parquet"), default="csv")
    values.add_argument("--out", metavar="FILE", help="write to FILE (CSV default: stdout)")
    add_window(values)
    return values
