"""Splits a large CCSDS file into packets by APID with ccsdspy (``pip install ccsdspy``, a
benchmark-only dependency) and with this project's reader, and prints our time as a ratio of
ccsdspy's. Both read the same file: a public sample file repeated to a large size.

    python bench/ccsdspy_compare.py READ_BENCH_BINARY [--copies N] [--runs R]
"""

from __future__ import annotations

import argparse
import re
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

SOURCE = (
    Path(__file__).resolve().parents[2]
    / "shared/data/ccsds/hs_sim_apid895/SSAT1_2015-180-00-00-00_2015-180-01-59-56_895_1_sim.tlm"
)


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("read_bench")
    parser.add_argument("--copies", type=int, default=20)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    import logging

    from ccsdspy import utils

    logging.getLogger("ccsdspy").setLevel(logging.WARNING)
    data = SOURCE.read_bytes() * args.copies
    with tempfile.TemporaryDirectory() as tmp:
        path = Path(tmp) / "large.tlm"
        path.write_bytes(data)
        theirs = []
        for _ in range(args.runs):
            start = time.perf_counter()
            split = utils.split_by_apid(str(path))
            theirs.append(time.perf_counter() - start)
        packets = sum(len(stream.getvalue()) // 34 for stream in split.values())

    ours = []
    for _ in range(args.runs):
        out = subprocess.run(
            [args.read_bench, "--ccsds", str(SOURCE), "--copies", str(args.copies)],
            capture_output=True,
            text=True,
            check=True,
        ).stdout
        ours.append(float(re.search(r"read \+ timestamp:\s+([0-9.]+) s", out).group(1)))
        count = int(re.search(r"CCSDS: (\d+) packets", out).group(1))

    t, o = statistics.median(theirs), statistics.median(ours)
    print(f"file: {len(data) / 1e6:.1f} MB, {packets} packets (ccsdspy), {count} packets (ours)")
    print(
        f"ccsdspy split_by_apid: {t:.3f} s  ({packets / t:,.0f} packets/s), median of {args.runs}"
    )
    print(f"our reader:            {o:.3f} s  ({count / o:,.0f} packets/s), median of {args.runs}")
    print(f"ratio ours / ccsdspy:  {o / t:.3f}")
    return 0 if packets == count else 1


if __name__ == "__main__":
    raise SystemExit(main())
