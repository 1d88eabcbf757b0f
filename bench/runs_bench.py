"""Runs (files bound in worker processes) against the process's own binding.

    python bench/runs_bench.py TARN_FILE --ini INI [--item SEB:HV_MON] [--dense 352] [--repeat 3]
                               [--side-by-side FILE ...]

Prints, for one telemetry file:
- bind: ``Run(path).mission()`` (a worker started, the package imported there, the file bound)
  against ``k814util.open(path)`` in this process;
- series: ``Run.series(item)`` against ``TMFile.series(item)`` once both are bound (best of
  ``--repeat``), for a sparse item and a dense one, with the bytes that crossed between the
  processes and the rate they crossed at (the transfer's share of the call): the run's answer
  costs the worker's own series call plus moving the arrays;
- side by side: the files of ``--side-by-side`` (default: the file three times, as three runs)
  opened as runs and read (workers started, bound, the item asked) all at once from threads,
  against one after another; then the same, bound already, for the read alone.
"""

from __future__ import annotations

import argparse
import os
import sys
import threading
import time


def _best(func, repeat: int) -> tuple[float, object]:
    best, result = float("inf"), None
    for _ in range(repeat):
        start = time.perf_counter()
        result = func()
        best = min(best, time.perf_counter() - start)
    return best, result


def _nbytes(series: dict) -> int:
    return sum(v.nbytes for v in series.values())


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("path")
    parser.add_argument("--ini", required=True)
    parser.add_argument("--item", default="SEB:HV_MON")
    parser.add_argument("--dense", default="352", help="an item of most packets (id or name)")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--side-by-side", nargs="*", default=None, metavar="FILE")
    args = parser.parse_args()
    os.environ["INI814"] = os.path.abspath(args.ini)

    from k814util.runs import RunPool

    import k814util

    pool = RunPool(max_workers=4)
    start = time.perf_counter()
    run = k814util.Run(args.path, pool=pool)
    run.mission()
    run_bind = time.perf_counter() - start
    start = time.perf_counter()
    with k814util.capture_diagnostics():  # the run's are captured in its worker too
        f = k814util.open(args.path)
    local_bind = time.perf_counter() - start
    print(f"file: {args.path} ({len(f)} packets)")
    print(
        f"bind: run {run_bind:.3f} s (worker start, import, binding) vs open {local_bind:.3f} s"
        f"  ratio {run_bind / local_bind:.2f}"
    )

    for label, item in (("sparse", args.item), ("dense", args.dense)):
        key = int(item) if item.isdigit() else item
        f.series(key)  # the packet-type index, built once per binding on both sides
        run.series(key)
        local, mine = _best(lambda key=key: f.series(key), args.repeat)
        remote, theirs = _best(lambda key=key: run.series(key), args.repeat)
        assert all((mine[k] == theirs[k]).all() for k in mine), "the run's values differ"
        moved = _nbytes(theirs)
        # What the transfer alone costs: the same arrays sent to the worker and back.
        echo, _ = _best(lambda t=theirs: run.apply(lambda _f, t=t: t), args.repeat)
        print(
            f"series {label} {item}: {len(mine['value'])} values, {moved / 1e6:.1f} MB; "
            f"run {remote:.4f} s vs TMFile {local:.4f} s  ratio {remote / local:.2f}; "
            f"arrays there and back {echo:.4f} s ({2 * moved / echo / 1e9:.2f} GB/s)"
        )

    paths = args.side_by_side or [args.path] * 3

    def together(work):
        threads = [threading.Thread(target=work, args=(k,)) for k in range(len(paths))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    # Opened (a worker each, bound) and read, fresh each way.
    for label in ("one after another", "side by side"):
        fresh = RunPool(max_workers=len(paths))
        runs = [k814util.Run(p, pool=fresh) for p in paths]
        start = time.perf_counter()
        if label == "side by side":
            together(lambda k, runs=runs: runs[k].series(args.item))
        else:
            for r in runs:
                r.series(args.item)
        took = time.perf_counter() - start
        fresh.close()
        print(f"{len(paths)} runs opened and read {label}: {took:.3f} s")

    # Read again, bound already.
    runs = [k814util.Run(p, pool=pool) for p in paths]
    for r in runs:
        r.series(args.item)
    serial, _ = _best(lambda: [r.series(args.item) for r in runs], args.repeat)
    parallel, _ = _best(lambda: together(lambda k: runs[k].series(args.item)), args.repeat)
    print(
        f"{len(runs)} bound runs read side by side {parallel:.4f} s vs one after another "
        f"{serial:.4f} s  ratio {parallel / serial:.2f} ({os.cpu_count()} processors)"
    )
    pool.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
