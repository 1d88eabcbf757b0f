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


def _cmd_show(args: argparse.Namespace) -> int:
    if args.ini:
        os.environ["INI814"] = str(Path(args.ini).resolve())
    status = subprocess.run([_info_tool(), args.path], check=False).returncode
    if status != 0:
        return status
    import k814util

    try:
        log = k814util.message_log(args.path)
    except k814util.BindingError as exc:
        print(f"k814util: {exc}", file=sys.stderr)
        return 1
    print(f"Message log: {len(log)} lines")
    for line in log:
        print(f"  {line.unixTime():17.6f}  {line.msg()}")
    markers = k814util.vireo_markers(args.path)
    print(f"VIREO markers: {len(markers)}")
    for m in markers:
        end = f"{m.t_end_us() / 1e6:17.6f}" if m.is_complete() else f"{'(open)':>17}"
        span = f"{(m.t_end_us() - m.t_start_us()) / 1e6:8.3f} s" if m.is_complete() else ""
        print(
            f"  id {m.marker_id():<4} type {m.marker_type():<4} "
            f"{m.t_start_us() / 1e6:17.6f} -> {end} {span:>10}  {m.text()}"
        )
    return 0


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

    show = sub.add_parser(
        "show", help="bind to a VIREO telemetry file; print its metadata, message log and markers"
    )
    show.add_argument("path", help="telemetry file of the test")
    show.add_argument("--ini", help="workstation configuration file (default: $INI814 or ~)")
    show.set_defaults(func=_cmd_show)

    args = parser.parse_args(argv)
    return args.func(args)


if __name__ == "__main__":
    sys.exit(main())
