"""The ``k814util`` console command."""

from __future__ import annotations

import argparse
import csv
import json
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


def _use_ini(args: argparse.Namespace) -> None:
    if getattr(args, "ini", None):
        os.environ["INI814"] = str(Path(args.ini).resolve())


def _run_info(args: argparse.Namespace, *flags: str) -> int:
    _use_ini(args)
    return subprocess.run([_info_tool(), *flags, args.path], check=False).returncode


def _cmd_info(args: argparse.Namespace) -> int:
    return _run_info(args)


def _cmd_summary(args: argparse.Namespace) -> int:
    return _run_info(args, "--packets")


def _bound(args: argparse.Namespace, factory):
    """factory(path) after binding; None (with the reason on stderr) when it cannot bind."""
    _use_ini(args)
    import k814util

    try:
        return factory(args.path)
    except k814util.BindingError as exc:
        print(f"k814util: {exc}", file=sys.stderr)
        return None


def _print_log(log) -> None:
    print(f"Message log: {len(log)} lines")
    for line in log:
        print(f"  {line.unixTime():17.6f}  {line.msg()}")


def _print_vireo_markers(markers) -> None:
    print(f"VIREO markers: {len(markers)}")
    for m in markers:
        end = f"{m.t_end_us() / 1e6:17.6f}" if m.is_complete() else f"{'(open)':>17}"
        span = f"{(m.t_end_us() - m.t_start_us()) / 1e6:8.3f} s" if m.is_complete() else ""
        print(
            f"  id {m.marker_id():<4} type {m.marker_type():<4} "
            f"{m.t_start_us() / 1e6:17.6f} -> {end} {span:>10}  {m.text()}"
        )


def _cmd_log(args: argparse.Namespace) -> int:
    import k814util

    log = _bound(args, k814util.message_log)
    if log is None:
        return 1
    _print_log(log)
    return 0


def _mission(path: str) -> str:
    """The mission the test's tm.meta names; empty when it cannot be read."""
    try:
        meta = json.loads((Path(path).resolve().parent / "tm.meta").read_text())
        return str(meta["gse"]["mission"]).lower()
    except (OSError, ValueError, KeyError, TypeError):
        return ""


def _run_info_section(args: argparse.Namespace, flag: str, heading: str) -> int:
    """One section of the compiled tool's report, from its heading on; the metadata header
    before it is the summary's business."""
    _use_ini(args)
    res = subprocess.run(
        [_info_tool(), flag, args.path], stdout=subprocess.PIPE, text=True, check=False
    )
    lines = res.stdout.splitlines()
    start = next((i for i, line in enumerate(lines) if line.startswith(heading)), len(lines))
    if lines[start:]:
        print("\n".join(lines[start:]))
    return res.returncode


def _cmd_markers(args: argparse.Namespace) -> int:
    import k814util

    if _mission(args.path) == "tarn":
        # TARN markers and the meta-markers of the rule files.
        return _run_info_section(args, "--markers", "Markers:")
    markers = _bound(args, k814util.vireo_markers)
    if markers is None:
        return 1
    _print_vireo_markers(markers)
    return 0


_MODES = {"raw": 0, "eng": 1, "sci": 2}


def _cmd_values(args: argparse.Namespace) -> int:
    import k814util

    f = _bound(args, k814util.open)
    if f is None:
        return 1
    mode = _MODES[args.mode]
    out = csv.writer(sys.stdout, lineterminator="\n")
    out.writerow(["packet", "unix_time", "relative_time", args.mode])
    for packet in f:
        for point in packet.all_data(args.hkid, mode):
            out.writerow(
                [
                    packet.index(),
                    repr(point.unix_timestamp),
                    repr(point.relative_timestamp),
                    repr(point.value),
                ]
            )
    return 0


def _cmd_sequences(args: argparse.Namespace) -> int:
    if _mission(args.path) != "tarn":
        print("SEB sequences: none (only TARN tests carry them)")
        return 0
    return _run_info_section(args, "--sequences", "SEB sequences:")


def _cmd_show(args: argparse.Namespace) -> int:
    sys.stdout.flush()
    status = _cmd_summary(args)
    if status != 0:
        return status
    steps = [_cmd_log, _cmd_markers]
    if _mission(args.path) == "tarn":
        steps.append(_cmd_sequences)
    for step in steps:
        sys.stdout.flush()
        status = step(args)
        if status != 0:
            return status
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

    def add(name: str, func, help_text: str):
        p = sub.add_parser(name, help=help_text)
        p.add_argument("path", help="telemetry file of the test")
        p.add_argument("--ini", help="workstation configuration file (default: $INI814 or ~)")
        p.set_defaults(func=func)
        return p

    add("info", _cmd_info, "print a test's metadata and verify its configuration")
    add("summary", _cmd_summary, "metadata, packets by type and name, time span, clock state")
    add("log", _cmd_log, "the instrument's message log")
    add("markers", _cmd_markers, "test markers (VIREO intervals; TARN markers and meta-markers)")
    values = add("values", _cmd_values, "every value of one database item, as CSV")
    values.add_argument("hkid", type=int, help="database item (data ID)")
    values.add_argument("--mode", choices=sorted(_MODES), default="eng", help="default: eng")
    add("sequences", _cmd_sequences, "SEB command sequences with decoded fields (TARN)")
    add("show", _cmd_show, "summary, message log, markers (and TARN SEB sequences) of a test")

    args = parser.parse_args(argv)
    try:
        return args.func(args)
    except BrokenPipeError:
        # The reader of our output (head, less) went away: not a failure of ours.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 0


if __name__ == "__main__":
    sys.exit(main())
