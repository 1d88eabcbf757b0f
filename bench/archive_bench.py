"""One item from many test runs: a local Dask cluster of worker processes against one process
binding the runs one after another.

    python bench/archive_bench.py [--runs 8] [--packets 400000] [--workers 2] [--dir DIR]

Writes a sample archive whose TARN test has ``--packets`` packets (mostly science) and copies
its TID directory to ``--runs`` runs (own TID, date and tm.meta each), then times SEB:HV_MON
(``TMFile.series``) of every run:
- serial, one process: bind and read each run in turn in this process (the cost of the work
  alone);
- serial, a fresh interpreter per run: what a shell loop over the runs pays (start, import,
  bind, read);
- ``Archive.map`` on a local cluster of ``--workers`` processes (one thread each), cold (the
  runs' worker processes ended first, so each run starts its worker: interpreter, import,
  first bind) and warm (the runs' workers found);
- ``Archive.series([...], client=...).compute()`` (the DataFrame with run columns) on the same
  cluster, warm, its item check (one run bound per group) included.
Also: the cluster's start, one interpreter's start with ``import k814util``, and per run the
bind and the read in one process. Each figure is the median of ``--repeat`` rounds; the values
of every way are checked against the serial ones.
"""

from __future__ import annotations

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from datetime import datetime, timedelta
from pathlib import Path

ITEM = "SEB:HV_MON"


def _runs_of(root: Path, manifest: dict, runs: int) -> list[str]:
    """The sample's TARN run and ``runs - 1`` copies of it as later tests."""
    first = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    source = Path(first["tm_file"]).parent
    start = datetime.strptime(first["tid_dir"][:19], "%Y-%m-%d-%H.%M.%S")
    files = [first["tm_file"]]
    for k in range(1, runs):
        tid = first["tid"] + 100 + k
        when = start + timedelta(days=k)
        name = f"{when:%Y-%m-%d-%H.%M.%S}-{tid:05d}-bench_{k}"
        target = source.parent / name
        shutil.copytree(source, target)
        meta = json.loads((target / "tm.meta").read_text())
        meta["gse"].update(tid=tid, tid_dir=name)
        (target / "tm.meta").write_text(json.dumps(meta, indent=4))
        files.append(str(target / Path(first["tm_file"]).name))
    return files


_ONE_RUN = """
import os, sys, time
t0 = time.perf_counter()
import k814util
t1 = time.perf_counter()
f = k814util.open(sys.argv[1])
t2 = time.perf_counter()
n = len(f.series(sys.argv[2])["value"])
t3 = time.perf_counter()
print(t1 - t0, t2 - t1, t3 - t2, n)
"""


def _value_count(tmfile) -> int:
    return len(tmfile.series(ITEM)["value"])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=8)
    parser.add_argument("--packets", type=int, default=400_000, help="packets per run")
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--dir", help="where to write the archive (default: a temporary one)")
    args = parser.parse_args()

    from distributed import Client, LocalCluster
    from k814util._archivework import _close_helpers
    from k814util.archive import Archive
    from k814util.sample import generate_archive

    import k814util

    root = Path(args.dir or tempfile.mkdtemp(prefix="archive-bench-"))
    if root.exists():
        shutil.rmtree(root)
    manifest = generate_archive(root, tarn_min_packets=args.packets)
    files = _runs_of(root, manifest, args.runs)
    ini = str(root / ".814config.INI")
    os.environ["INI814"] = ini
    size = sum(os.path.getsize(f) for f in files)
    print(f"{args.runs} runs of {args.packets:,} packets ({size / 1e6:.0f} MB), item {ITEM}")

    rounds: dict[str, list[float]] = {}

    def timed(name: str, func):
        start = time.perf_counter()
        result = func()
        rounds.setdefault(name, []).append(time.perf_counter() - start)
        return result

    binds, reads = [], []

    def in_process():
        counts = []
        for path in files:
            start = time.perf_counter()
            f = k814util.open(path)
            middle = time.perf_counter()
            counts.append(_value_count(f))
            binds.append(middle - start)
            reads.append(time.perf_counter() - middle)
        return counts

    imports = []

    def fresh_interpreters():
        counts = []
        for path in files:
            done = subprocess.run(
                [sys.executable, "-c", _ONE_RUN, path, ITEM],
                capture_output=True,
                text=True,
                check=True,
            )
            t_import, _, _, n = done.stdout.split()
            imports.append(float(t_import))
            counts.append(int(n))
        return counts

    start = time.perf_counter()
    cluster = LocalCluster(
        n_workers=args.workers, processes=True, threads_per_worker=1, dashboard_address=":0"
    )
    client = Client(cluster, set_as_default=False)
    cluster_start = time.perf_counter() - start
    archive = Archive(ini)
    runs = archive.catalogue(mission="tarn")
    assert len(runs) == args.runs and (runs["error"] == "").all()

    expected = None
    for _ in range(max(1, args.repeat)):
        serial = timed("serial, one process", in_process)
        expected = expected or serial
        checks = [
            serial,
            timed("serial, an interpreter per run", fresh_interpreters),
        ]
        client.run(_close_helpers)
        checks.append(timed("map, cold workers", lambda: archive.map(_value_count, runs, client)))
        checks.append(timed("map, warm", lambda: archive.map(_value_count, runs, client)))
        frame = timed(
            "series().compute(), warm",
            lambda: archive.series([ITEM], runs, client=client).compute(),
        )
        checks.append(frame.groupby("tid", sort=False).size().tolist())
        if any(c != expected for c in checks):
            raise SystemExit(f"the ways disagree: {checks}")

    archive.close()
    client.close()
    cluster.close()
    median = {name: statistics.median(t) for name, t in rounds.items()}
    base = median["serial, one process"]
    print(f"cluster start ({args.workers} workers): {cluster_start:.2f} s")
    print(f"interpreter start + import k814util: {statistics.median(imports):.3f} s")
    print(
        f"per run in one process: bind {statistics.median(binds):.3f} s, "
        f"series {statistics.median(reads) * 1e3:.1f} ms"
    )
    for name, t in median.items():
        print(f"{name:<32} {t:7.3f} s  {base / t:5.2f}x of serial, one process")
    warm = median["map, warm"]
    print(
        f"warm map per run and worker process: {warm * args.workers / args.runs:.3f} s "
        f"(in one process: {base / args.runs:.3f} s)"
    )
    print(f"values per run: {expected[0]:,}")


if __name__ == "__main__":
    main()
