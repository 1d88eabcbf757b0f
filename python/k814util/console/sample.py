"""sample: write the sample archive (it needs no compiled module)."""

from __future__ import annotations

import argparse
from pathlib import Path

from k814util.console.common import positive_int


def cmd_sample(args: argparse.Namespace) -> int:
    from k814util.sample import generate_archive

    manifest = generate_archive(args.root, tarn_min_packets=args.tarn_packets, runs=args.runs)
    print(f"Sample archive written to {Path(args.root).resolve()}")
    print(f"  configuration: {manifest['ini']}")
    for run in manifest["runs"]:
        print(
            f"  {run['group']:<8} {run['tid_dir']}: {run['packets']} packets, "
            f"{run['bytes']} bytes -> {run['tm_file']}"
        )
    return 0


def register(sub) -> None:
    sample = sub.add_parser("sample", help="write the sample archive")
    sample.add_argument("root", help="directory to write the archive into")
    sample.add_argument(
        "--tarn-packets",
        type=int,
        default=0,
        metavar="N",
        help="make the TARN telemetry file at least N packets long (for benchmarks)",
    )
    sample.add_argument(
        "--runs",
        type=positive_int,
        default=1,
        metavar="N",
        help="test runs per mission (default: 1)",
    )
    sample.set_defaults(func=cmd_sample)
