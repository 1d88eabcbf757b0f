"""The quick-look server (k814util.web) on a real uvicorn server, against TMFile in the process.

    python bench/web_bench.py [ARCHIVE] [--item SEB:HV_MON] [--dense 352] [--width 1200]
                              [--clients 20] [--seconds 30]

ARCHIVE is a sample archive with the large TARN file (default: one generated into a temporary
folder with ``--tarn-packets 1250000``). Prints, over HTTP on 127.0.0.1:
- bind: the run's summary asked while it is not bound (a worker started, the file bound),
  the status endpoint polled meanwhile (its slowest answer, the progress it reported), against
  ``k814util.open`` in this process;
- first chart: the series of a sparse and a dense item for a chart ``--width`` pixels wide
  (``max_points`` four per column), the run bound, against ``TMFile.series`` of the whole item
  here (best of 3);
- zoom: a tenth of the dense item's time span at full resolution (a new window each time);
- points per requested pixel column, the most any of those answers sent;
- growth: ``--clients`` clients polling the series of the sparse item of a copy of the run
  that a writer appends to for ``--seconds`` seconds (the page's event stream open beside
  them): answers received and failed, latency percentiles, packets announced.
"""

from __future__ import annotations

import argparse
import glob
import json
import os
import shutil
import sys
import tempfile
import threading
import time


def _best(func, repeat: int = 3) -> tuple[float, object]:
    best, result = float("inf"), None
    for _ in range(repeat):
        start = time.perf_counter()
        result = func()
        best = min(best, time.perf_counter() - start)
    return best, result


def _archive(path: str | None, keep: list) -> str:
    if path:
        return os.path.abspath(path)
    from k814util.sample import generate_archive

    folder = tempfile.mkdtemp(prefix="web-bench-")
    keep.append(folder)
    print(f"generating the 1,250,000-packet TARN sample in {folder} ...", flush=True)
    generate_archive(folder, tarn_min_packets=1_250_000)
    return folder


def _growing_copy(tm_file: str, into: str, share: float) -> tuple[str, bytes, int]:
    """A TID directory under into whose telemetry file holds the first share of tm_file's
    bytes; the bytes and where the copy stops."""
    source = os.path.dirname(tm_file)
    target = os.path.join(into, "2012-04-02-12.35.42-12346-growing")
    os.makedirs(target)
    for name in os.listdir(source):
        if name != os.path.basename(tm_file):
            shutil.copy(os.path.join(source, name), target)
    with open(tm_file, "rb") as f:
        data = f.read()
    cut = int(len(data) * share)
    with open(os.path.join(target, os.path.basename(tm_file)), "wb") as out:
        out.write(data[:cut])
    return os.path.join(target, os.path.basename(tm_file)), data, cut


def _percentile(values: list[float], q: float) -> float:
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(q / 100 * (len(ordered) - 1))))]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("archive", nargs="?")
    parser.add_argument("--item", default="SEB:HV_MON")
    parser.add_argument("--dense", default="352", help="an item of most packets (id or name)")
    parser.add_argument("--width", type=int, default=1200, help="chart width in pixels")
    parser.add_argument("--clients", type=int, default=20)
    parser.add_argument("--seconds", type=float, default=30.0)
    args = parser.parse_args()

    import httpx
    from k814util.web import create_app
    from k814util.web.server import running

    import k814util

    temporary: list[str] = []
    root = _archive(args.archive, temporary)
    ini = os.path.join(root, ".814config.INI")
    os.environ["INI814"] = ini
    (tm_file,) = glob.glob(os.path.join(root, "data", "tarn", "*", "tarn_*.tlm"))
    growing_root = tempfile.mkdtemp(prefix="web-bench-growing-")
    temporary.append(growing_root)
    growing, stream, cut = _growing_copy(tm_file, growing_root, 0.2)
    max_points = 4 * args.width

    start = time.perf_counter()
    with k814util.capture_diagnostics():
        f = k814util.open(tm_file)
    local_bind = time.perf_counter() - start
    print(f"file: {tm_file} ({len(f)} packets, {os.path.getsize(tm_file) / 1e6:.1f} MB)")

    app = create_app([os.path.dirname(os.path.dirname(tm_file)), growing_root], ini, workers=3)
    runs = {e.telemetry_file: e.id for e in app.state.server.catalogue.entries()}
    big, live = runs[tm_file], runs[growing]
    with running(app) as base, httpx.Client(base_url=base, timeout=60) as client:
        api = f"/api/v1/runs/{big}"

        # Binding, with the status polled meanwhile.
        answer: dict = {}
        progress: list = []
        slowest = 0.0

        def summary():
            answer["summary"] = client.get(api).json()

        start = time.perf_counter()
        binder = threading.Thread(target=summary)
        binder.start()
        with httpx.Client(base_url=base, timeout=10) as poller:
            while binder.is_alive():
                asked = time.perf_counter()
                status = poller.get(api + "/status").json()
                slowest = max(slowest, time.perf_counter() - asked)
                if status["state"] == "binding" and status["progress"] is not None:
                    progress.append(status["progress"])
                time.sleep(0.05)
        binder.join()
        bind = time.perf_counter() - start
        assert answer["summary"]["packets"] == len(f), answer["summary"]
        # A small file is bound before a poll sees it binding: no progress figures then.
        shown = "no progress figures (state and time only)"
        if progress:
            shown = f"{len(progress)} progress figures, {progress[0]:.2f} to {progress[-1]:.2f}"
        print(
            f"bind: run {bind:.3f} s vs open {local_bind:.3f} s  ratio {bind / local_bind:.2f}; "
            f"status answered meanwhile in {slowest * 1000:.0f} ms at worst, " + shown
        )

        most = 0.0
        for label, item in (("sparse", args.item), ("dense", args.dense)):
            key = int(item) if item.isdigit() else item
            f.series(key)  # the packet-type index, built once per binding
            local, whole = _best(lambda key=key: f.series(key))
            start = time.perf_counter()
            first = client.get(api + "/series", params={"item": item, "max_points": max_points})
            took = time.perf_counter() - start
            chart = first.json()
            assert first.status_code == 200 and chart["count"] == len(whole["value"]), chart
            most = max(most, len(chart["value"]) / args.width)
            print(
                f"first chart {label} {item}: {chart['count']} values -> "
                f"{len(chart['value'])} points, {len(first.content) / 1e3:.0f} kB; "
                f"{took:.3f} s vs TMFile.series {local:.3f} s  ratio {took / local:.1f}"
            )
        lo, hi = answer["summary"]["time_span"]
        zooms = []
        for k in range(3):
            a = lo + (hi - lo) * (0.2 + 0.25 * k)
            window = {"start": a, "end": a + (hi - lo) / 10}
            params = {"item": args.dense, "max_points": max_points, **window}
            start = time.perf_counter()
            zoom = client.get(api + "/series", params=params).json()
            zooms.append(time.perf_counter() - start)
            most = max(most, len(zoom["value"]) / args.width)
        print(
            f"zoom {args.dense} (a tenth of the span, {zoom['count']} values -> "
            f"{len(zoom['value'])} points): {min(zooms):.3f} s best, {max(zooms):.3f} s worst"
        )
        print(f"points per requested pixel column: {most:.2f} at most")

        # Growth: a writer appends, clients poll, the page's event stream is open.
        live_api = f"/api/v1/runs/{live}"
        client.get(live_api + "/series", params={"item": args.item})  # bound, as a page has it
        stop = time.monotonic() + args.seconds
        latencies: list[float] = []
        failures: list[str] = []
        announced: list[int] = []
        lock = threading.Lock()

        def write():
            pieces = max(1, int(args.seconds / 0.25))
            step = (len(stream) - cut) // pieces + 1
            with open(growing, "ab") as out:
                for at in range(cut, len(stream), step):
                    if time.monotonic() >= stop:
                        break
                    out.write(stream[at : at + step])
                    out.flush()
                    time.sleep(0.25)

        def poll():
            params = {"item": args.item, "max_points": max_points}
            with httpx.Client(base_url=base, timeout=30) as mine:
                while time.monotonic() < stop:
                    asked = time.perf_counter()
                    try:
                        r = mine.get(live_api + "/series", params=params)
                        ok = r.status_code == 200 and "value" in r.json()
                        problem = "" if ok else f"{r.status_code} {r.text[:80]}"
                    except httpx.HTTPError as exc:
                        problem = f"{type(exc).__name__}: {exc}"
                    with lock:
                        latencies.append(time.perf_counter() - asked)
                        if problem:
                            failures.append(problem)
                    time.sleep(0.5)

        def listen():
            with httpx.Client(base_url=base, timeout=30) as mine:
                with mine.stream("GET", live_api + "/events") as events:
                    for line in events.iter_lines():
                        if line.startswith("data: ") and '"last_relative_time"' in line:
                            announced.append(json.loads(line[6:])["packets"])
                        if time.monotonic() >= stop:
                            return

        threads = [threading.Thread(target=write), threading.Thread(target=listen)]
        threads += [threading.Thread(target=poll) for _ in range(args.clients)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(args.seconds + 60)
        final = client.get(live_api).json()["packets"]
        print(
            f"growth: {args.clients} clients polling {args.seconds:.0f} s: {len(latencies)} "
            f"answers, {len(failures)} failed; latency p50 {_percentile(latencies, 50):.3f} s, "
            f"p95 {_percentile(latencies, 95):.3f} s, max {max(latencies):.3f} s; "
            f"{len(announced)} growth events, packets {announced[0] if announced else '-'} -> "
            f"{final}"
        )
        for problem in failures[:5]:
            print(f"  failed: {problem}")
    for folder in temporary:
        shutil.rmtree(folder, ignore_errors=True)
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
