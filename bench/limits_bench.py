"""The whole limits report of a telemetry file against binding it.

    python bench/limits_bench.py TM_FILE --ini INI [--repeat R]

Times, median of R runs, each in a fresh interpreter (binding the file a process has bound
already only reads what was appended since):
- bind: ``k814util.open(TM_FILE)``, the file read from its start;
- report: ``limits.limit_violations(f)`` over every item with limits (each item's values
  walked once, checked against both sets), plus ``limits.limits(f)``. The first report after a
  binding also builds the packet-type index, which later whole-file calls share; it is timed
  on its own and counted in the ratio.
Prints both times, the ratio report/bind and the size of the report.
"""

from __future__ import annotations

import argparse
import json
import os
import statistics
import subprocess
import sys
import time


def _child(tm_file: str) -> None:
    import k814util
    from k814util import limits

    start = time.perf_counter()
    f = k814util.open(tm_file)
    bind = time.perf_counter() - start
    start = time.perf_counter()
    table = limits.limits(f)
    spans = limits.limit_violations(f)
    first = time.perf_counter() - start
    start = time.perf_counter()
    limits.limits(f)
    limits.limit_violations(f)
    again = time.perf_counter() - start
    result = {
        "bind": bind,
        "first": first,
        "again": again,
        "packets": len(f),
        "items": len(table),
        "spans": len(spans),
        "samples": int(spans["samples"].sum()) if len(spans) else 0,
    }
    print("RESULT " + json.dumps(result))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tm_file")
    parser.add_argument("--ini", required=True)
    parser.add_argument("--repeat", type=int, default=3, help="runs, each in a fresh interpreter")
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    os.environ["INI814"] = os.path.abspath(args.ini)
    if args.child:
        _child(args.tm_file)
        return

    runs = []
    for _ in range(max(1, args.repeat)):
        out = subprocess.run(
            [sys.executable, __file__, args.tm_file, "--ini", args.ini, "--child"],
            check=True,
            capture_output=True,
            text=True,
        ).stdout
        line = next(x for x in out.splitlines() if x.startswith("RESULT "))
        runs.append(json.loads(line.removeprefix("RESULT ")))

    bind, first, again = (statistics.median(r[k] for r in runs) for k in ("bind", "first", "again"))
    r = runs[0]
    print(f"file: {r['packets']:,} packets; {r['items']} items with limits, {r['spans']} spans")
    print(f"  ({r['samples']:,} violating samples)")
    print(f"  bind (k814util.open):         {bind:8.3f} s")
    print(f"  report, first after binding:  {first:8.3f} s")
    print(f"  report, again:                {again:8.3f} s")
    print(f"  ratio first report/bind:      {first / bind:8.3f}  (median of {len(runs)} runs)")
    print(f"  ratio later report/bind:      {again / bind:8.3f}")


if __name__ == "__main__":
    main()
