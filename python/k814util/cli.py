"""The ``k814util`` console command."""

from __future__ import annotations

import argparse
import contextlib
import csv
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

from k814util import archive_cli
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
    manifest = generate_archive(args.root, tarn_min_packets=args.tarn_packets, runs=args.runs)
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


@contextlib.contextmanager
def _csv_stdout():
    """Standard output for CSV alone: some decoders report fields past a packet's end on the
    process's standard output, which would land between the rows; while the rows are written,
    the library's output goes to standard error instead."""
    sys.stdout.flush()
    saved = os.dup(1)
    os.dup2(2, 1)
    try:
        with os.fdopen(os.dup(saved), "w", newline="") as out:
            yield out
    finally:
        os.dup2(saved, 1)
        os.close(saved)


def _cmd_values(args: argparse.Namespace) -> int:
    import k814util

    f = _bound(args, k814util.open)
    if f is None:
        return 1
    mode = _MODES[args.mode]
    with _csv_stdout() as stream:
        out = csv.writer(stream, lineterminator="\n")
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


_KINDS = {26: "single", 27: "summed", 28: "aggregated"}


def _scan_rows(args: argparse.Namespace):
    """(scans, their table columns) of the test's file; None when it cannot be bound."""
    import k814util
    from k814util.spectra import _counted_bins, _rows, _table_columns

    scans = _bound(args, k814util.scans)
    if scans is None:
        return None
    rows = _rows(scans, 0, None)
    n_bins, _ = _counted_bins(scans, rows)
    return scans, _table_columns(scans, rows, n_bins)


def _marker_label(marker_id: int, text: str) -> str:
    return f"{marker_id} {text}".rstrip() if marker_id or text else "-"


def _cmd_scans(args: argparse.Namespace) -> int:
    bound = _scan_rows(args)
    if bound is None:
        return 1
    _, cols = bound
    n = len(cols["scan"])
    print(f"Scans: {n}")
    print(
        f"  {'scan':>6} {'time [s]':>11}  {'kind':<10} {'mode':<7} {'bins':>6} {'TIC':>10}  marker"
    )
    kinds = [_KINDS.get(int(t), str(t)) for t in cols["src_pkt_type"]]
    for i in range(n):
        print(
            f"  {cols['scan'][i]:>6} {cols['relative_time'][i]:>11.3f}  {kinds[i]:<10} "
            f"{cols['mode'][i]:<7} {cols['bins'][i]:>6} {cols['tic'][i]:>10}  "
            f"{_marker_label(int(cols['marker_id'][i]), cols['marker_text'][i])}"
        )
    from k814util.spectra import MODE_NAMES

    modes = (*MODE_NAMES[1:], MODE_NAMES[0])  # the known modes first
    table = {(k, m): 0 for k in _KINDS.values() for m in modes}
    for kind, mode in zip(kinds, cols["mode"]):
        table[kind, mode] = table.get((kind, mode), 0) + 1
    print("By kind and mode:")
    print(f"  {'kind':<10}" + "".join(f"{m:>9}" for m in modes) + f"{'total':>9}")
    for kind in dict.fromkeys([*_KINDS.values(), *kinds]):
        row = [table.get((kind, m), 0) for m in modes]
        print(f"  {kind:<10}" + "".join(f"{c:>9}" for c in row) + f"{sum(row):>9}")
    totals = [sum(1 for m in cols["mode"] if m == mode) for mode in modes]
    print(f"  {'total':<10}" + "".join(f"{c:>9}" for c in totals) + f"{n:>9}")
    return 0


def _figure(width_in: float, height_in: float):
    """A matplotlib figure drawn by the Agg backend (no display, no pyplot state); None with a
    message when matplotlib is not installed."""
    try:
        from matplotlib.backends.backend_agg import FigureCanvasAgg
        from matplotlib.figure import Figure
    except ImportError:
        print(
            "k814util: --png needs matplotlib (pip install 'k814util[analysis]')", file=sys.stderr
        )
        return None
    fig = Figure(figsize=(width_in, height_in), dpi=100)
    FigureCanvasAgg(fig)
    return fig


def _meta_marker_label(m) -> str:
    return f"{m.metaMarkerId} {m.msg}".rstrip()


def _cmd_spectrum(args: argparse.Namespace) -> int:
    import k814util

    scans = _bound(args, k814util.scans)
    if scans is None:
        return 1
    n = scans.size()
    index = args.index + n if args.index < 0 else args.index
    try:
        scan = scans.get_scan(index)
    except IndexError as exc:
        print(f"k814util: {exc} ({n} scans)", file=sys.stderr)
        return 1
    sp = k814util.Spectra(scans, index, index + 1)
    bins = int(sp.n_bins[0])
    mz, counts = sp.mz[0, :bins], sp.counts[0, :bins]
    if not args.png:
        out = csv.writer(sys.stdout, lineterminator="\n")
        out.writerow(["bin", "mz", "count"])
        for k in range(bins):
            out.writerow([k, repr(float(mz[k])), int(counts[k])])
        return 0

    fig = _figure(10, 5)
    if fig is None:
        return 1
    cols = sp.columns()
    culled = list(scan.culled_counts())
    culled_bins = [b for b in culled[0::2] if 0 <= b < bins]
    ax = fig.add_subplot()
    ax.vlines(mz, 0, counts, colors="0.65", linewidth=0.6, label=f"counts ({bins} bins)")
    ax.plot(
        [mz[b] for b in culled_bins],
        [c for b, c in zip(culled[0::2], culled[1::2]) if 0 <= b < bins],
        color="tab:blue",
        linewidth=1.0,
        label=f"culled ({len(culled_bins)} points)",
    )
    ax.set_xlabel("m/z")
    ax.set_ylabel("counts")
    ax.set_ylim(bottom=0)
    ax.legend(loc="upper right")
    marker = _marker_label(int(cols["marker_id"][0]), cols["marker_text"][0])
    metas = "; ".join(_meta_marker_label(m) for m in scan.get_meta_markers()) or "-"
    kind = _KINDS.get(scan.src_pkt_type(), str(scan.src_pkt_type()))
    ax.set_title(
        f"scan {index} at {scan.relative_timestamp():.3f} s: {kind}, "
        f"{scan.scan_mode_as_string()}, TIC {scan.total_ion_count()}\n"
        f"marker: {marker}   meta-markers: {metas}",
        fontsize=10,
    )
    fig.tight_layout()
    fig.savefig(args.png)
    print(f"spectrum of scan {index} written to {args.png}")
    return 0


def _marker_spans(cols, end: float) -> list[tuple[float, float, str]]:
    """(start, end, label) of each marker that some scan follows, up to the next such marker
    (the last one up to end)."""
    starts: dict[tuple[float, int], str] = {}
    for t, i, text in zip(cols["marker_time"], cols["marker_id"], cols["marker_text"]):
        if i or text:
            starts.setdefault((float(t), int(i)), _marker_label(int(i), text))
    keys = sorted(starts)
    return [
        (t, keys[k + 1][0] if k + 1 < len(keys) else end, starts[t, i])
        for k, (t, i) in enumerate(keys)
    ]


def _cmd_tic(args: argparse.Namespace) -> int:
    import k814util

    bound = _scan_rows(args)
    if bound is None:
        return 1
    _, cols = bound
    if not args.png:
        out = csv.writer(sys.stdout, lineterminator="\n")
        out.writerow(["scan", "relative_time", "tic", "corrected_tic", "mode"])
        for row in zip(
            cols["scan"], cols["relative_time"], cols["tic"], cols["corrected_tic"], cols["mode"]
        ):
            out.writerow(
                [int(row[0]), repr(float(row[1])), int(row[2]), repr(float(row[3])), row[4]]
            )
        return 0

    fig = _figure(12, 6)
    if fig is None:
        return 1
    times = cols["relative_time"]
    end = float(times.max()) if len(times) else 0.0
    ax, lanes = fig.subplots(2, 1, sharex=True, gridspec_kw={"height_ratios": [5, 1]})
    shades = ("tab:blue", "tab:cyan")
    for k, (t0, t1, label) in enumerate(_marker_spans(cols, end)):
        ax.axvspan(t0, t1, color=shades[k % 2], alpha=0.10, linewidth=0)
        ax.text(t0, 0.99, f" {label}", transform=ax.get_xaxis_transform(), va="top", fontsize=8)
    ax.plot(times, cols["tic"], ".-", color="black", linewidth=0.8, markersize=3, label="TIC")
    ax.set_ylabel("TIC [counts]")
    corrected = ax.twinx()
    # A corrected TIC of 0 means the scan lacks what the correction needs (a status, an EM
    # setting); it is left out rather than drawn as a value.
    ctic = cols["corrected_tic"].astype(float)
    ctic[ctic == 0] = float("nan")
    corrected.plot(
        times,
        ctic,
        ".--",
        color="tab:red",
        linewidth=0.8,
        markersize=3,
        label="corrected TIC",
    )
    corrected.set_ylabel("corrected TIC", color="tab:red")
    handles = ax.get_legend_handles_labels()[0] + corrected.get_legend_handles_labels()[0]
    ax.legend(handles=handles, loc="upper right", fontsize=8)
    ax.set_title(
        f"TIC chromatogram: {Path(args.path).resolve().parent.name} ({len(times)} scans; "
        f"shaded: the markers the scans follow)",
        fontsize=10,
    )
    # The meta-markers of the rule files over the whole test, one lane per overlap.
    metas = sorted(
        k814util.open(args.path).get_meta_markers(), key=lambda m: m.startRelativeTimeInSecs
    )
    lane_ends: list[float] = []
    for m in metas:
        start, stop = (
            m.startRelativeTimeInSecs,
            max(m.endRelativeTimeInSecs, m.startRelativeTimeInSecs),
        )
        lane = next((n for n, e in enumerate(lane_ends) if e <= start), len(lane_ends))
        if lane == len(lane_ends):
            lane_ends.append(stop)
        lane_ends[lane] = stop
        lanes.broken_barh([(start, stop - start)], (lane + 0.1, 0.8), color="tab:orange", alpha=0.5)
        lanes.text(start, lane + 0.5, f" {_meta_marker_label(m)}", va="center", fontsize=7)
    lanes.set_ylim(0, max(1, len(lane_ends)))
    lanes.set_yticks([])
    lanes.set_ylabel("meta-\nmarkers", fontsize=8)
    lanes.set_xlabel("relative time [s]")
    fig.tight_layout()
    fig.savefig(args.png)
    print(f"TIC chromatogram of {len(times)} scans written to {args.png}")
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
    sample.add_argument(
        "--runs", type=int, default=1, metavar="N", help="test runs per mission (default: 1)"
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
    add("scans", _cmd_scans, "the TARN mass-spectrum scans, one line each, by kind and mode")
    spectrum = add("spectrum", _cmd_spectrum, "one scan's m/z and counts as CSV, or a plot")
    spectrum.add_argument("index", type=int, help="scan number (negative: from the end)")
    spectrum.add_argument("--png", metavar="OUT", help="plot the spectrum to this PNG file")
    tic = add("tic", _cmd_tic, "total ion counts against time as CSV, or a chromatogram plot")
    tic.add_argument("--png", metavar="OUT", help="plot the chromatogram to this PNG file")
    archive_cli.register(sub)

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
