"""The ``k814util`` console command."""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import sys
from pathlib import Path

from k814util.sample import generate_archive


def _info_tool() -> str:
    """The compiled metadata tool: installed with the package, or named by K814INFO."""
    override = os.environ.get("K814INFO")
    if override:
        return override
    bundled = Path(__file__).resolve().parent / "bin" / "k814info"
    if bundled.exists():
        return str(bundled)
    found = shutil.which("k814info")
    if found:
        return found
    raise SystemExit("k814util: the compiled k814info tool is not installed (pip install .)")


def _cmd_sample(args: argparse.Namespace) -> int:
    manifest = generate_archive(args.root, tarn_min_packets=args.tarn_packets)
    print(f"Sample archive written to {Path(args.root).resolve()}")
    print(f"  configuration: {manifest['ini']}")
    for run in manifest["runs"]:
        print(
            f"  {run['group']:<8} {run['tid_dir']}: {run['packets']} packets, "
            f"{run['bytes']} bytes -> {run['tm_file']}"
        )
    return 0


def _cmd_info(args: argparse.Namespace) -> int:
    env = dict(os.environ)
    if args.ini:
        env["INI814"] = str(Path(args.ini).resolve())
    return subprocess.run([_info_tool(), args.path], env=env, check=False).returncode


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="k814util", description=__doc__)
    sub = parser.add_subparsers(dest="command", required=True)

    sample = sub.add_parser("sample", help="write the sample archive")
    sample.add_argument("root", help="directory to write the archive into")
    sample.add_argument(
        "--tarn-packets",
        type=int,
        default=0,
        metavar="N",
        help="make the TARN telemetry file at least N packets long (for benchmarks)",
    )
    sample.set_defaults(func=_cmd_sample)

    info = sub.add_parser("info", help="print a test's metadata and verify its configuration")
    info.add_argument("path", help="telemetry file of the test")
    info.add_argument("--ini", help="workstation configuration file (default: $INI814 or ~)")
    info.set_defaults(func=_cmd_info)

    args = parser.parse_args(argv)
    return args.func(args)


if __name__ == "__main__":
    sys.exit(main())
