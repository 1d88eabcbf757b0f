"""plot: trends of items against time, a panel per unit, markers shaded, each item's limits
drawn and its violations shaded."""

from __future__ import annotations

import argparse
import sys

from k814util.console.common import (
    MODES,
    Failure,
    add_file_command,
    add_mode,
    add_window,
    bound,
    catalogue,
    resolve,
    units,
    window,
    windowed,
)


def cmd_plot(args: argparse.Namespace) -> int:
    from k814util.console import plotting

    f = bound(args)
    found_in = catalogue(args)
    panels: dict[str, list[tuple[str, dict]]] = {}
    with_limits = f.limits().set_index("id")
    marks: dict[str, plotting.LimitMarks] = {}
    for hkid, name in resolve(found_in, args.items):
        s = windowed(f, f.series(hkid, MODES[args.mode]), window(args))
        if s["value"].dtype.kind != "f":
            print(f"k814util: {name} has text values; left out of the plot", file=sys.stderr)
            continue
        panels.setdefault(units(found_in, hkid, args.mode), []).append((name, s))
        if hkid in with_limits.index:
            row = with_limits.loc[hkid]
            marks[name] = plotting.limit_marks(row, f.limit_violations(hkid), args.mode)
    if not panels:
        raise Failure("nothing to plot: no item with numeric values")
    fig, plt = plotting.trend(
        f, panels, args.mode, args.utc, bool(args.png), bool(window(args)), marks
    )
    plotting.save_or_show(fig, plt, args.png)
    if args.png:
        print(f"trend of {sum(len(v) for v in panels.values())} item(s) written to {args.png}")
    return 0


def add_utc(p: argparse.ArgumentParser) -> None:
    p.add_argument("--utc", action="store_true", help="UTC time on the x axis")


def register(sub) -> None:
    plot = add_file_command(sub, "plot", cmd_plot, "trends of items against time, markers shaded")
    plot.add_argument("items", nargs="+", metavar="ITEM", help="item id or mnemonic")
    add_mode(plot)
    plot.add_argument("--png", metavar="OUT", help="write the plot to this PNG file")
    add_utc(plot)
    add_window(plot)
