"""The whole limits report of a telemetry file against binding it.

    python bench/limits_bench.py TM_FILE --ini INI [--repeat R]

Times, median of R runs each, taken in turn in one process:
- bind: ``k814util.open(TM_FILE)``, the file read from its start;
- report: ``limits.limit_violations(f)`` over every item with limits (each item's values
  walked once, checked against both sets), plus ``limits.limits(f)``. The first report after a
  binding also builds the packet-type index, which later whole-file calls share; it is timed
  on its own and counted in the ratio.
Prints both times, the ratio report/bind and the size of the report.
"""

from __future__ import annotations

import argparse
import os
import statistics
import time


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tm_file")
    parser.add_argument("--ini", required=True)
    parser.add_argument("--repeat", type=int, default=3, help="runs of each side")
    args = parser.parse_args()
    os.environ["INI814"] = os.path.abspath(args.ini)

    import k814util
    from k814util import limits

    binds, firsts, reports = [], [], []
    for _ in range(max(1, args.repeat)):
        start = time.perf_counter()
        f = k814util.open(args.tm_file)
        binds.append(time.perf_counter() - start)
        start = time.perf_counter()
        table = limits.limits(f)
        spans = limits.limit_violations(f)
        firsts.append(time.perf_counter() - start)
        start = time.perf_counter()
        limits.limits(f)
        limits.limit_violations(f)
        reports.append(time.perf_counter() - start)

    bind, first, again = (statistics.median(x) for x in (binds, firsts, reports))
    samples = int(spans["samples"].sum()) if len(spans) else 0
    print(f"file: {len(f):,} packets; {len(table)} items with limits, {len(spans)} spans")
    print(f"  ({samples:,} violating samples)")
    print(f"  bind (k814util.open):         {bind:8.3f} s")
    print(f"  report, first after binding:  {first:8.3f} s")
    print(f"  report, again:                {again:8.3f} s")
    print(
        f"  ratio first report/bind:      {first / bind:8.3f}  (median of {len(binds)} runs each)"
    )
    print(f"  ratio later report/bind:      {again / bind:8.3f}")


if __name__ == "__main__":
    main()
