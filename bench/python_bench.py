"""Binding a TARN telemetry file from Python and extracting one item from every packet.

    python bench/python_bench.py TM_FILE --ini INI [--hkid 21] [--type 22] [--meta-copies 0]

Prints, for the bound file:
- bind: seconds for ``k814util.open(path)`` (read, split, timestamp every packet) and the
  peak resident memory it added, against a plain ``read()`` of the file's bytes;
- extract: seconds for ``f.get_pkt(i).all_eng_data(hkid)`` over every packet, against
  ``f.get_pkt(i)`` alone (what the packet objects cost) and against a pure-Python walk of the
  same bytes with ``struct`` that finds the packets of the item's type and converts the value
  as the database says (what a script would do by hand, without damage handling);
- series: seconds for ``f.series(hkid, "eng")`` (the whole file's item as numpy arrays, in one
  call; the first call of the process, which builds the packet-type index, on its own) against
  the ``all_eng_data`` loop above, whose values it must repeat exactly, and the same for
  ``--dense-hkid``, an item of most packets (values/s means something there); then
  ``f.dataframe`` of ``--frame-items`` (long and wide) against one ``series`` call per item;
- progress: seconds for binding with a progress callable against binding without one;
- meta-markers: seconds for ``f.get_meta_markers()`` against the binding, on the regular
  sample's TARN stream (every kind of message, marker and rule) repeated ``--meta-copies`` times
  (0 leaves this out) and on a quarter of that, each bound in a fresh process (median of
  ``--runs``), so that the ratio of the two shows how the cost grows with the file.

Run in a fresh process: peak memory is the process's, so nothing else may be loaded first.
"""

from __future__ import annotations

import argparse
import os
import resource
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

META = """
import sys, time
import k814util
start = time.perf_counter()
f = k814util.open(sys.argv[1])
bind = time.perf_counter() - start
start = time.perf_counter()
metas = f.get_meta_markers()
print(len(f), len(metas), bind, time.perf_counter() - start)
"""


def _peak_mb() -> float:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def _by_hand(path: str, packet_type: int, offset: int) -> list[float]:
    """TOM packets: 8-byte header (type, sequence, data length, ticks), data, 4-byte checksum;
    the value is a 16-bit ADC reading converted to volts over a 10 V span."""
    data = open(path, "rb").read()  # noqa: SIM115
    out = []
    pos, end = 0, len(data)
    unpack = struct.unpack_from
    while pos + 8 <= end:
        kind, _, length = unpack(">BBH", data, pos)
        total = 8 + length + 4
        if pos + total > end:
            break
        if kind == packet_type:
            out.append(-5.0 + unpack(">H", data, pos + offset)[0] * 10.0 / 65536.0)
        pos += total
    return out


def _meta_markers(path: str, ini: str, runs: int) -> tuple[int, int, float, float]:
    """Packets, meta-markers, and the median seconds of binding and of get_meta_markers."""
    binds, metas = [], []
    env = {**os.environ, "INI814": ini}
    for _ in range(runs):
        out = subprocess.run(
            [sys.executable, "-c", META, path], capture_output=True, text=True, check=True, env=env
        ).stdout.split()
        binds.append(float(out[2]))
        metas.append(float(out[3]))
    return int(out[0]), int(out[1]), statistics.median(binds), statistics.median(metas)


def _meta_growth(runs: int, copies: int) -> None:
    """Meta-markers of a file rich in messages and markers: the regular sample's TARN stream
    (messages, markers, rules of every kind) repeated ``copies`` times, and a quarter of that.
    The science-heavy benchmark file has no message or marker packets, so it would time
    nothing. Each file sits in a directory named like the sample's test, beside its tm.meta."""
    from k814util.sample import generate_archive

    with tempfile.TemporaryDirectory() as tmp:
        manifest = generate_archive(Path(tmp) / "archive")
        run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
        source = Path(run["tm_file"])
        stream = source.read_bytes()
        sizes = {}
        for name, n in (("quarter", copies // 4), ("whole", copies)):
            directory = Path(tmp) / name / source.parent.name
            directory.mkdir(parents=True)
            shutil.copy(source.parent / "tm.meta", directory / "tm.meta")
            target = directory / source.name
            target.write_bytes(stream * n)
            sizes[name] = _meta_markers(str(target), manifest["ini"], runs)
    small, full = sizes["quarter"], sizes["whole"]
    print(
        f"meta-markers (the sample's TARN stream repeated, get_meta_markers after binding, "
        f"fresh processes, median of {runs}):"
    )
    for name, (n, count, bind, meta) in sizes.items():
        print(
            f"  {name:8s} {n:9d} packets: bind {bind:7.3f} s, meta-markers {meta:7.3f} s "
            f"({count} found), ratio meta/bind {meta / bind:5.2f}"
        )
    print(
        f"  growth: {full[0] / small[0]:.2f}x the packets, {full[3] / small[3]:.2f}x the "
        f"meta-marker time, {full[2] / small[2]:.2f}x the binding time"
    )


def _best(function, runs: int) -> tuple[float, object]:
    """The shortest of ``runs`` timings of function() and its last result."""
    best, result = float("inf"), None
    for _ in range(runs):
        start = time.perf_counter()
        result = function()
        best = min(best, time.perf_counter() - start)
    return best, result


def _loop(f, hkid: int) -> tuple[float, list[float]]:
    """Seconds and values of the per-packet loop a script writes today."""
    get_pkt = f.get_pkt
    start = time.perf_counter()
    values = []
    for i in range(len(f)):
        for point in get_pkt(i).all_eng_data(hkid):
            values.append(point.value)
    return time.perf_counter() - start, values


def _series(f, hkids: list[int], first: tuple[float, list[float]], items: list[int], runs: int):
    """Whole-file items in one call each against the per-packet loop (same run, same values),
    and DataFrames of several items against one series call each. The first series call of the
    process also builds the file's packet-type index; it is timed on its own."""
    for hkid in hkids:
        loop, values = first if hkid == hkids[0] else _loop(f, hkid)
        if hkid == hkids[0]:
            start = time.perf_counter()
            f.series(hkid, "eng")
            first_call = time.perf_counter() - start
        seconds, found = _best(lambda hkid=hkid: f.series(hkid, "eng"), runs)
        n = len(found["value"])
        same = found["value"].tolist() == values
        print(f"series of item {hkid} (best of {runs}): {n} values")
        print(f"  all_eng_data loop:       {loop:8.3f} s  {n / loop:12,.0f} values/s")
        if hkid == hkids[0]:
            print(
                f"  first call (type index): {first_call:8.3f} s  {n / first_call:12,.0f} values/s"
            )
        print(f"  f.series(hkid, 'eng'):   {seconds:8.3f} s  {n / seconds:12,.0f} values/s")
        print(f"  speed-up over the loop:  {loop / seconds:8.1f}x")
        print(f"  values identical to the loop's: {'yes' if same else 'NO'}")
    calls, _ = _best(lambda: [f.series(item, "eng") for item in items], runs)
    total = sum(len(f.series(item, "eng")["value"]) for item in items)
    print(f"dataframe of items {items} (best of {runs}): {total} values")
    print(f"  {len(items)} series calls:          {calls:8.3f} s")
    for layout in ("long", "wide"):
        took, frame = _best(lambda layout=layout: f.dataframe(items, "eng", layout=layout), runs)
        print(
            f"  dataframe(layout={layout!r}):  {took:8.3f} s  ratio to the series calls "
            f"{took / calls:5.2f}  shape {frame.shape}"
        )


def _bind_progress(path: str, runs: int) -> None:
    """Binding with a progress callable against binding without one, alternating (best of
    ``runs`` each). Binding the same path again would only read on where the last read
    stopped, so the two take turns between the file and a symbolic link to it in a copy of its
    test directory: each binding reads the whole file."""
    import k814util

    source = Path(path).resolve()
    with tempfile.TemporaryDirectory() as tmp:
        directory = Path(tmp) / source.parent.name
        directory.mkdir()
        for entry in source.parent.iterdir():
            if entry.is_file() and entry.suffix != source.suffix:
                shutil.copy(entry, directory / entry.name)
        twin = directory / source.name
        twin.symlink_to(source)
        reports: list[tuple[int, int, int]] = []
        times: dict[bool, list[float]] = {True: [], False: []}
        paths = [twin, source]  # the file is bound already: the first binding takes the link
        # One untimed round first: the first rebinding also hands the first binding's memory
        # back. Then the order alternates, so neither kind always follows the other.
        for turn in range(runs + 1):
            if turn == 1:
                reports.clear()
            for reporting in (True, False) if turn % 2 else (False, True):
                report = (lambda *r: reports.append(r)) if reporting else None
                start = time.perf_counter()
                k814util.bind(paths[0], progress=report)
                took = time.perf_counter() - start
                paths.reverse()
                if turn > 0:
                    times[reporting].append(took)
        with_progress, without = min(times[True]), min(times[False])
    print(f"binding with a progress callable (best of {runs} each, alternating):")
    print(f"  without progress:        {without:8.3f} s")
    print(
        f"  with progress:           {with_progress:8.3f} s  ratio {with_progress / without:6.3f}"
        f"  ({len(reports) / runs:.1f} reports per binding, the last {reports[-1]})"
    )


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tm_file")
    parser.add_argument("--ini", required=True)
    parser.add_argument("--hkid", type=int, default=21, help="item to extract (SEB:HV_MON)")
    parser.add_argument("--type", type=int, default=22, help="its packet type")
    parser.add_argument("--offset", type=int, default=48, help="its packet byte offset")
    parser.add_argument("--runs", type=int, default=3, help="runs of each timing")
    parser.add_argument(
        "--dense-hkid", type=int, default=352, help="an item of most packets (RF:AMP_DAC)"
    )
    parser.add_argument(
        "--frame-items", default="17,18,20,21,22", help="items of the dataframe timing"
    )
    parser.add_argument(
        "--meta-copies", type=int, default=1600, help="sample TARN streams in the meta-marker file"
    )
    args = parser.parse_args()
    os.environ["INI814"] = os.path.abspath(args.ini)

    import k814util

    size_mb = os.path.getsize(args.tm_file) / 1e6
    base_rss = _peak_mb()
    start = time.perf_counter()
    f = k814util.open(args.tm_file)
    bind = time.perf_counter() - start
    n = len(f)
    rss = _peak_mb()

    get_pkt = f.get_pkt
    start = time.perf_counter()
    for i in range(n):
        get_pkt(i)
    packets_only = time.perf_counter() - start

    hkid = args.hkid
    start = time.perf_counter()
    values = []
    for i in range(n):
        for point in get_pkt(i).all_eng_data(hkid):
            values.append(point.value)
    extract = time.perf_counter() - start

    extract_rss = _peak_mb()

    # The baselines come last so that their buffers do not count in the peaks above.
    start = time.perf_counter()
    with open(args.tm_file, "rb") as fh:
        fh.read()
    floor = time.perf_counter() - start

    start = time.perf_counter()
    by_hand = _by_hand(args.tm_file, args.type, args.offset)
    hand = time.perf_counter() - start

    print(f"file: {n} packets, {size_mb:.1f} MB")
    print(f"  bind (open):            {bind:8.3f} s  {n / bind:12,.0f} packets/s")
    print(f"  read() of the bytes:    {floor:8.3f} s  ratio bind/read {bind / floor:8.1f}")
    print(f"  peak RSS: {rss:.0f} MB ({rss - base_rss:.0f} MB added by binding)")
    print(f"extract item {hkid}: {len(values)} values from {n} packets")
    print(f"  get_pkt(i).all_eng_data: {extract:8.3f} s  {n / extract:12,.0f} packets/s")
    print(f"  get_pkt(i) alone:        {packets_only:8.3f} s  ratio {extract / packets_only:6.2f}")
    print(f"  struct walk by hand:     {hand:8.3f} s  ratio {extract / hand:6.2f}")
    print(f"  peak RSS after extracting: {extract_rss:.0f} MB")
    same = len(by_hand) == len(values) and all(abs(a - b) < 1e-9 for a, b in zip(by_hand, values))
    print(f"  values agree with the hand walk: {'yes' if same else 'NO'}")
    items = [int(item) for item in args.frame_items.split(",")]
    _series(f, [hkid, args.dense_hkid], (extract, values), items, args.runs)
    _bind_progress(args.tm_file, args.runs)
    if args.meta_copies > 0:
        _meta_growth(args.runs, args.meta_copies)


if __name__ == "__main__":
    main()
