"""Splits a large CCSDS file into packets by APID with ccsdspy (``pip install ccsdspy``, a
benchmark-only dependency), with this project's reader, and through the Python binding, and
prints our times as ratios of ccsdspy's. All read the same bytes: a public sample file repeated
to a large size.

    python bench/ccsdspy_compare.py READ_BENCH_BINARY [--copies N] [--runs R]

The binding is measured when ``k814util`` can be imported (put a build's ``python`` directory on
PYTHONPATH): the file is bound as a VIREO test of a generated sample archive, whose packet-type
catalogue is given the sample file's APID, and each run ``k814util.open(path)`` in a fresh
process (one binding per process, as scripts do). ``k814util.read_packets(path)`` (headers as
arrays, no binding, no packet objects) is timed in this process, against the same split.
"""

from __future__ import annotations

import argparse
import importlib.util
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = (
    Path(__file__).resolve().parents[2]
    / "shared/data/ccsds/hs_sim_apid895/SSAT1_2015-180-00-00-00_2015-180-01-59-56_895_1_sim.tlm"
)
# Every packet of the sample file: APID 895, 28 bytes after the primary header.
CATALOGUE_LINE = "0x37F, HS_SIM, false, 28, 28\n"

BIND = """
import sys, time
import k814util
start = time.perf_counter()
f = k814util.open(sys.argv[1])
print(len(f), time.perf_counter() - start)
"""


def vireo_test(root: Path) -> tuple[Path, Path]:
    """A sample archive below root; returns its INI and its VIREO test directory."""
    from k814util.sample import generate_archive

    manifest = generate_archive(root)
    vireo = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    with open(root / "TMDef" / "vireo" / "tm_packet_types.txt", "a") as catalogue:
        catalogue.write(CATALOGUE_LINE)
    return Path(manifest["ini"]), Path(vireo["tm_file"]).parent


def bind(path: Path, ini: Path) -> tuple[int, float]:
    env = dict(os.environ, INI814=str(ini))
    out = subprocess.run(
        [sys.executable, "-c", BIND, str(path)], env=env, capture_output=True, text=True, check=True
    ).stdout.split()
    return int(out[0]), float(out[1])


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("read_bench")
    parser.add_argument("--copies", type=int, default=41)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    import logging

    from ccsdspy import utils

    logging.getLogger("ccsdspy").setLevel(logging.WARNING)
    binding = importlib.util.find_spec("k814util") is not None
    data = SOURCE.read_bytes() * args.copies
    theirs, ours, bound, headers = [], [], [], []
    bound_count = 0
    with tempfile.TemporaryDirectory() as tmp:
        if binding:
            ini, test_dir = vireo_test(Path(tmp) / "archive")
            path = test_dir / "large.tlm"
        else:
            path = Path(tmp) / "large.tlm"
        path.write_bytes(data)
        # Interleaved, so that a busy machine weighs on every contender alike.
        for _ in range(args.runs):
            start = time.perf_counter()
            split = utils.split_by_apid(str(path))
            theirs.append(time.perf_counter() - start)
            out = subprocess.run(
                [args.read_bench, "--ccsds", str(SOURCE), "--copies", str(args.copies)],
                capture_output=True,
                text=True,
                check=True,
            ).stdout
            ours.append(float(re.search(r"read \+ timestamp:\s+([0-9.]+) s", out).group(1)))
            count = int(re.search(r"CCSDS: (\d+) packets", out).group(1))
            if binding:
                bound_count, seconds = bind(path, ini)
                bound.append(seconds)
                import k814util

                start = time.perf_counter()
                table = k814util.read_packets(path)
                headers.append(time.perf_counter() - start)
                header_count = len(table["offset"])
                del table
        packets = sum(len(stream.getvalue()) // 34 for stream in split.values())

    t, o = statistics.median(theirs), statistics.median(ours)
    print(f"file: {len(data) / 1e6:.1f} MB, {packets} packets (ccsdspy), {count} packets (ours)")
    print(
        f"ccsdspy split_by_apid: {t:.3f} s  ({packets / t:,.0f} packets/s), median of {args.runs}"
    )
    print(f"our reader:            {o:.3f} s  ({count / o:,.0f} packets/s), median of {args.runs}")
    print(f"ratio ours / ccsdspy:  {o / t:.3f}")
    if not binding:
        print("binding: not measured (k814util cannot be imported; see PYTHONPATH)")
        return 0 if packets == count else 1
    b = statistics.median(bound)
    print(
        f"binding (k814util.open, VIREO): {b:.3f} s  ({bound_count / b:,.0f} packets/s), "
        f"median of {args.runs}"
    )
    print(f"ratio binding / ccsdspy:  {b / t:.3f}")
    print(f"ratio binding / reader:   {b / o:.3f}")
    h = statistics.median(headers)
    print(
        f"read_packets (headers as arrays): {h:.3f} s  ({header_count / h:,.0f} packets/s), "
        f"median of {args.runs}"
    )
    print(f"ratio read_packets / ccsdspy:  {h / t:.3f}")
    return 0 if packets == count == bound_count == header_count else 1


if __name__ == "__main__":
    raise SystemExit(main())
