"""The ``k814util`` console command.

Every subcommand runs in this process on the package's own API: it binds the process to the
test's telemetry file (showing a progress bar on a terminal) and reads what it prints from the
same objects and tables a script gets.
"""

from __future__ import annotations

import argparse
import contextlib
import csv
import os
import shutil
import signal
import sys
import tempfile
import time
from datetime import datetime, timezone
from pathlib import Path

from k814util import archive_cli
from k814util.sample import generate_archive

_MODES = {"raw": 0, "eng": 1, "sci": 2}
_KINDS = {26: "single", 27: "summed", 28: "aggregated"}
_ANALYSIS = "pip install 'k814util[analysis]'"


class _Failure(Exception):
    """Ends a subcommand with exit status 1 after the message on one line of standard error."""


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


class _ProgressBar:
    """A tqdm bar of the bytes read while binding (with the packets and their rate), on a
    terminal's standard error only; nothing without tqdm, without a terminal or with --quiet."""

    def __init__(self, args: argparse.Namespace, terminal: int):
        self.bar = None
        self.stream = None
        self.started = time.monotonic()
        if getattr(args, "quiet", False) or not os.isatty(terminal):
            return
        try:
            from tqdm import tqdm
        except ImportError:
            return
        # The terminal itself: standard error is held back while the file is bound.
        self.stream = os.fdopen(os.dup(terminal), "w")
        self.bar = tqdm(
            total=None,
            desc=f"reading {Path(args.path).name}",
            unit="B",
            unit_scale=True,
            unit_divisor=1024,
            file=self.stream,
            leave=False,
        )

    def __call__(self, bytes_done: int, bytes_total: int, packets: int) -> None:
        if self.bar is None:
            return
        if self.bar.total != bytes_total:
            self.bar.total = bytes_total
        rate = packets / max(time.monotonic() - self.started, 1e-9)
        self.bar.set_postfix_str(f"{packets} packets, {rate:,.0f} packets/s", refresh=False)
        self.bar.update(bytes_done - self.bar.n)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.refresh()  # the last state, however soon the read ended
            self.bar.close()
            self.stream.close()


@contextlib.contextmanager
def _held_stderr():
    """Holds back what is written to standard error (by the library too) while a file is bound,
    and yields a descriptor of the real one. A file that cannot be bound then ends the command
    with the binding's line alone (the configuration reader says first, on a line of its own,
    that a group is missing); otherwise what was held back follows, the reader's diagnostics
    included."""
    import k814util

    if sys.stderr is None:  # started with standard error closed: nothing to hold or show
        yield -1
        return
    # Standard error may be unwritable (closed by the shell after Python started): what it
    # cannot take is dropped, never the command's own result.
    quiet = contextlib.suppress(OSError, ValueError)
    with quiet:
        sys.stderr.flush()
    saved = os.dup(2)
    failed = False
    with tempfile.TemporaryFile() as held:
        os.dup2(held.fileno(), 2)
        try:
            yield saved
        except k814util.BindingError:
            failed = True
            raise
        finally:
            with quiet:
                sys.stderr.flush()
            os.dup2(saved, 2)
            os.close(saved)
            if not failed:
                held.seek(0)
                with quiet:
                    shutil.copyfileobj(held, sys.stderr.buffer)
                    sys.stderr.flush()


def _open(args: argparse.Namespace):
    """The test's TMFile, the process bound to it; _Failure with the binding's message. The
    file is bound once per command (show runs several)."""
    if getattr(args, "bound_file", None) is not None:
        return args.bound_file
    _use_ini(args)
    import k814util

    try:
        with _held_stderr() as terminal:
            bar = _ProgressBar(args, terminal)
            try:
                if bar.bar is None:
                    f = k814util.open(args.path)
                else:
                    f = k814util.open(args.path, progress=bar)
                    size = f.file_size()
                    bar(size, size, len(f))
            finally:
                bar.close()
    except k814util.BindingError as exc:
        raise _Failure(str(exc)) from None
    args.bound_file = f
    return f


def _bound(args: argparse.Namespace, factory):
    """factory(path) once the process is bound to the test's file."""
    _open(args)
    return factory(args.path)


def _utc(unix: float) -> str:
    return datetime.fromtimestamp(unix, timezone.utc).isoformat(timespec="milliseconds")[:-6] + "Z"


def _field(name: str, value) -> None:
    print(f"  {name:<14} {value if value not in ('', None) else '-'}")


def _print_info(info: dict) -> None:
    meta = info["meta"]
    print(f"Telemetry file {info['file']} ({int(info['size'])} bytes)")
    print(f"Test metadata from {meta['file']} (version {meta['version']})")
    for key in ("mission", "model", "tid", "tid_dir"):
        _field(key, meta[key])
    if meta["started"] is None:
        _field("started", "(directory name carries no date)")
    else:
        _field(
            "started",
            f"{meta['started']} ({meta['started_utc']}, Unix {int(meta['start_unix'])})",
        )
    _field("tmfile_name", meta["tmfile_name"])
    _field("patch_files", ", ".join(meta["patch_files"]))
    _field("default_mcal", meta["default_mcal"])
    _field("dac_table", meta["dac_table"])
    print(f"  annotations    {len(meta['annotations'])}")
    for a in meta["annotations"]:
        print(f"    #{a['key']} at {a['x']:g} s: {a['text']} [hkids {','.join(a['hkids']) or '-'}]")
    print(f"Configuration {info['config']}, group {info['group']}: verified")
    for p in info["paths"]:
        state = "" if not p["value"] else "(ok)" if p["exists"] else "(MISSING)"
        print(
            f"  {'*' if p['required'] else ' '} {p['key']:<15} {p['value'] or '-'} {state}".rstrip()
        )


def _cmd_info(args: argparse.Namespace) -> int:
    _use_ini(args)
    import k814util

    try:
        with _held_stderr():
            info = k814util.describe_test(args.path)
    except k814util.BindingError as exc:
        raise _Failure(str(exc)) from None
    _print_info(info)
    return 0


def _cmd_summary(args: argparse.Namespace) -> int:
    _cmd_info(args)
    s = _open(args).packet_summary()
    print(f"Packets: {s.packets}")
    if s.first_unix is not None:
        print(
            f"  time span      {_utc(s.first_unix)} .. {_utc(s.last_unix)} "
            f"({s.last_unix - s.first_unix:.3f} s)"
        )
    clock = "synchronised" if s.synced else "not synchronised"
    print(f"  T0             Unix {s.t0_unix:.6f}, {s.t0_ticks} ticks; clock {clock}")
    print(f"  {'type':>6}  {'name':<24}  count")
    for t in s.types:
        print(f"  {t.type:>6}  {t.name or '(not in the catalogue)':<24}  {t.count}")
    return 0


def _cmd_log(args: argparse.Namespace) -> int:
    import k814util

    log = _bound(args, k814util.message_log)
    print(f"Message log: {len(log)} lines")
    for line in log:
        print(f"  {line.unixTime():17.6f}  {line.msg()}")
    return 0


def _cmd_markers(args: argparse.Namespace) -> int:
    import k814util

    f = _open(args)
    if f.mission() == "tarn":
        markers = f.tarn_markers()
        print(f"Markers: {len(markers)}")
        for m in markers:
            print(f"  #{m.marker_index} id {m.marker_id} at {m.relative_time:.3f} s: {m.text}")
        metas = f.get_meta_markers()
        print(f"Meta-markers: {len(metas)}")
        for m in metas:
            print(
                f"  id {m.metaMarkerId} from {m.startRelativeTimeInSecs:.3f} s "
                f"to {m.endRelativeTimeInSecs:.3f} s: {m.msg}"
            )
        return 0
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


def _cmd_sequences(args: argparse.Namespace) -> int:
    f = _open(args)
    if f.mission() != "tarn":
        print("SEB sequences: none (only TARN tests carry them)")
        return 0
    sequences = f.seb_sequences()
    print(f"SEB sequences: {len(sequences)}")
    for s in sequences:
        unfinished = f", {s.unfinished} bytes unfinished" if s.unfinished else ""
        print(
            f"  at {s.relative_time:.3f} s, {len(s.commands)} commands, {s.byte_count} bytes "
            f"(packets {','.join(map(str, s.packets))}){unfinished}"
        )
        for c in s.commands:
            fields = " ".join(f"{x.name}={x.text}" for x in c.fields)
            print(f"    {c.number:>3} {c.name:<18} {fields}")
    return 0


def _cmd_show(args: argparse.Namespace) -> int:
    for step in (_cmd_summary, _cmd_log, _cmd_markers, _cmd_sequences):
        sys.stdout.flush()
        step(args)
    return 0


# --- items and values ------------------------------------------------------------------------


def _catalogue(args: argparse.Namespace):
    from k814util import frames

    _open(args)
    return frames._Catalogue()


def _resolve(catalogue, names: list[str]) -> list[tuple[int, str]]:
    """The (id, mnemonic) of items given by id or mnemonic, each item once (the first time it
    is named, by whatever name); _Failure naming close matches."""
    from k814util.frames import UnknownItemError

    found: dict[int, str] = {}
    try:
        for n in names:
            hkid, mnemonic = catalogue.resolve(int(n) if n.lstrip("-").isdigit() else n)
            found.setdefault(hkid, mnemonic)
    except UnknownItemError as exc:
        raise _Failure(str(exc)) from None
    return list(found.items())


def _cmd_items(args: argparse.Namespace) -> int:
    from k814util.frames import matching_items

    rows = matching_items(_catalogue(args).rows, args.pattern)
    width = max([len("mnemonic"), *(len(row[1]) for row in rows)])
    units = max([8, *(len(u) for row in rows for u in row[5:8])])
    print(
        f"  {'id':>6}  {'mnemonic':<{width}} {'type':>5}  {'raw':<{units}} {'eng':<{units}} "
        f"{'sci':<{units}} description"
    )
    for row in rows:
        hkid, mnemonic, _, _, ptype, raw, eng, sci, description = row
        print(
            f"  {hkid:>6}  {mnemonic:<{width}} {ptype:>5}  {raw or '-':<{units}} "
            f"{eng or '-':<{units}} {sci or '-':<{units}} {description}".rstrip()
        )
    suffix = f" matching {args.pattern!r}" if args.pattern else ""
    print(f"Items: {len(rows)}{suffix}")
    return 0


@contextlib.contextmanager
def _data_stdout():
    """Standard output for the data alone: some decoders report fields past a packet's end on
    the process's standard output, which would land between the rows; while the rows are
    written, the library's output goes to standard error instead."""
    sys.stdout.flush()
    saved = os.dup(1)
    os.dup2(2, 1)
    try:
        with os.fdopen(os.dup(saved), "w", newline="") as out:
            yield out
    finally:
        os.dup2(saved, 1)
        os.close(saved)


def _value_columns(f, items: list[tuple[int, str]], mode: int) -> dict:
    """The columns of the values table, in packet order and, within a packet, in the order the
    items were given: packet, unix_time, relative_time, value, item and sample (the value's
    position among its item's values in the packet)."""
    import numpy as np

    from k814util.frames import _sample_numbers

    found = [f.series(hkid, mode) for hkid, _ in items]
    packet = np.concatenate([s["packet"] for s in found])
    order = np.argsort(packet, kind="stable")
    values = [s["value"] for s in found]
    if any(v.dtype.kind != "f" for v in values):
        # A text item among them: the numbers become text too, as the CSV writes them.
        values = [
            v.astype(object)
            if v.dtype.kind != "f"
            else np.array(list(map(repr, v.tolist())), dtype=object)
            for v in values
        ]
    names = np.array([name for _, name in items], dtype=object)
    codes = np.concatenate([np.full(len(s["packet"]), i) for i, s in enumerate(found)])
    return {
        "packet": packet[order],
        "unix_time": np.concatenate([s["unix_time"] for s in found])[order],
        "relative_time": np.concatenate([s["relative_time"] for s in found])[order],
        "value": np.concatenate(values)[order],
        "item": names[codes[order]],
        "sample": np.concatenate([_sample_numbers(s["packet"]) for s in found])[order],
    }


def _cmd_values(args: argparse.Namespace) -> int:
    if args.format == "parquet":
        # Before the file is read: what is missing is said at once.
        try:
            import pandas  # noqa: F401
            import pyarrow  # noqa: F401
        except ImportError as exc:
            raise _Failure(
                f"--format parquet needs pandas and pyarrow ({exc.name} is missing): install "
                f"the 'analysis' extra ({_ANALYSIS})"
            ) from None
    f = _open(args)
    from k814util import frames

    items = _resolve(frames._Catalogue(), args.items)
    mode = _MODES[args.mode]
    # The columns a one-item table always had come first.
    header = ["packet", "unix_time", "relative_time", args.mode, "item", "sample"]
    if args.format == "parquet":
        return _write_parquet(_value_columns(f, items, mode), header, items, args)
    with contextlib.ExitStack() as stack:
        if args.out:
            stream = stack.enter_context(open(args.out, "w", newline=""))
        else:
            stream = stack.enter_context(_data_stdout())
        # Decoded with standard output set aside: decoders may write there.
        columns = _value_columns(f, items, mode)
        out = csv.writer(stream, lineterminator="\n")
        out.writerow(header)
        rows = zip(
            columns["packet"].tolist(),
            columns["unix_time"].tolist(),
            columns["relative_time"].tolist(),
            columns["value"].tolist(),
            columns["item"].tolist(),
            columns["sample"].tolist(),
        )
        for packet, unix, relative, value, name, sample in rows:
            text = value if isinstance(value, str) else repr(value)
            out.writerow([packet, repr(unix), repr(relative), text, name, sample])
    if args.out:
        print(f"values of {len(items)} item(s) written to {args.out}", file=sys.stderr)
    return 0


def _write_parquet(columns: dict, header: list[str], items, args: argparse.Namespace) -> int:
    """The CSV's columns, typed, and the UTC time of each value (to the microsecond)."""
    import numpy as np
    import pandas as pd

    data = dict(zip(header, (columns[k] for k in ("packet", "unix_time", "relative_time"))))
    data[args.mode] = columns["value"]
    data["item"] = pd.Categorical(columns["item"], categories=[name for _, name in items])
    data["sample"] = columns["sample"]
    micros = np.round(columns["unix_time"] * 1e6).astype(np.int64)
    data["time"] = pd.to_datetime(micros, unit="us", utc=True)
    frame = pd.DataFrame(data)
    frame.to_parquet(args.out, index=False)
    print(f"{len(frame)} values of {len(items)} item(s) written to {args.out}", file=sys.stderr)
    return 0


# --- plots -----------------------------------------------------------------------------------

_PANEL_PX, _TITLE_PX, _WIDTH_PX = 300, 100, 1200


def _plot_figure(panels: int, to_file: bool):
    """A figure 1200 pixels wide, 300 per panel plus 100 for the title (at 100 dpi): drawn by
    Agg for a file, else by the interactive backend matplotlib chooses."""
    try:
        import matplotlib
    except ImportError:
        raise _Failure(
            f"plots need matplotlib: install the 'analysis' extra ({_ANALYSIS})"
        ) from None
    size = (_WIDTH_PX / 100, (_TITLE_PX + _PANEL_PX * panels) / 100)
    if to_file:
        from matplotlib.backends.backend_agg import FigureCanvasAgg
        from matplotlib.figure import Figure

        fig = Figure(figsize=size, dpi=100)
        FigureCanvasAgg(fig)
        return fig, None
    import matplotlib.pyplot as plt
    from matplotlib.backends import BackendFilter, backend_registry

    backend = matplotlib.get_backend().lower()
    if backend in backend_registry.list_builtin(BackendFilter.NON_INTERACTIVE):
        raise _Failure(
            f"no plot window can open here (matplotlib backend {backend!r}, no display); "
            "write the plot to a file with --png OUT"
        )
    try:
        fig = plt.figure(figsize=size, dpi=100)
    except Exception as exc:  # a GUI toolkit that cannot reach a display
        raise _Failure(f"no plot window can open here ({exc}); use --png OUT") from None
    return fig, plt


def _spans(f) -> tuple[list[tuple[float, float, str]], list[tuple[float, float, str]]]:
    """(start, end, label) in relative seconds of the test's markers (a TARN marker lasts until
    the next one, the last until the end of the data; a VIREO marker until it closes) and of
    its meta-markers."""
    n = len(f)
    if n == 0:
        return [], []
    first, last = f[0], f[n - 1]
    end = last.relative_timestamp()
    offset = first.unix_timestamp() - first.relative_timestamp()
    markers = []
    if f.mission() == "tarn":
        found = f.tarn_markers()
        for k, m in enumerate(found):
            stop = found[k + 1].relative_time if k + 1 < len(found) else end
            markers.append((m.relative_time, stop, f"{m.marker_id} {m.text}".rstrip()))
    else:
        import k814util

        for m in k814util.vireo_markers(f.filename()):
            start = m.t_start_us() / 1e6 - offset
            stop = m.t_end_us() / 1e6 - offset if m.is_complete() else end
            markers.append((start, stop, f"{m.marker_id()} {m.text()}".rstrip()))
    metas = sorted(
        (m.startRelativeTimeInSecs, m.endRelativeTimeInSecs, f"{m.metaMarkerId} {m.msg}".rstrip())
        for m in f.get_meta_markers()
    )
    return markers, metas


def _lanes(spans: list[tuple[float, float, str]]) -> list[int]:
    """For each span, the lowest band not taken by an earlier span that overlaps it."""
    ends: list[float] = []
    lanes = []
    for start, stop, _ in spans:
        lane = next((k for k, end in enumerate(ends) if end <= start), len(ends))
        if lane == len(ends):
            ends.append(stop)
        ends[lane] = max(stop, start)
        lanes.append(lane)
    return lanes


def _cmd_plot(args: argparse.Namespace) -> int:
    from k814util import frames

    f = _open(args)
    catalogue = frames._Catalogue()
    mode = _MODES[args.mode]
    panels: dict[str, list[tuple[str, dict]]] = {}
    for hkid, name in _resolve(catalogue, args.items):
        s = f.series(hkid, mode)
        if s["value"].dtype.kind != "f":
            print(f"k814util: {name} has text values; left out of the plot", file=sys.stderr)
            continue
        unit = catalogue.by_id[hkid][5 + mode] or ""
        panels.setdefault(unit, []).append((name, s))
    if not panels:
        raise _Failure("nothing to plot: no item with numeric values")
    fig, plt = _plot_figure(len(panels), bool(args.png))
    axes = fig.subplots(len(panels), 1, sharex=True, squeeze=False)[:, 0]
    markers, metas = _spans(f)
    lanes = _lanes(metas)
    for ax, (unit, lines) in zip(axes, panels.items()):
        for k, (start, stop, _) in enumerate(markers):
            ax.axvspan(start, stop, color=("tab:blue", "tab:cyan")[k % 2], alpha=0.08, lw=0)
        # Meta-markers overlap: each takes a band at the panel's foot, one band per overlap.
        for (start, stop, _), lane in zip(metas, lanes):
            low = 0.01 + 0.05 * lane
            ax.axvspan(start, stop, ymin=low, ymax=low + 0.04, color="tab:orange", alpha=0.45)
        for name, s in lines:
            style = ".-" if len(s["value"]) < 200 else "-"
            ax.plot(s["relative_time"], s["value"], style, lw=0.8, ms=3, label=name)
        ax.set_ylabel(f"{unit} ({args.mode})" if unit else f"({args.mode}, no unit)")
        ax.margins(y=0.05 + 0.05 * (max(lanes, default=-1) + 1))
        ax.legend(loc="upper right", fontsize=8)
    top, foot = axes[0], axes[-1]
    for start, _, label in markers:
        top.text(
            start,
            1.0,
            f" {label}",
            transform=top.get_xaxis_transform(),
            va="bottom",
            fontsize=7,
            color="tab:blue",
            rotation=15,
        )
    for (start, _, label), lane in zip(metas, lanes):
        foot.text(
            start,
            0.03 + 0.05 * lane,
            f" {label}",
            transform=foot.get_xaxis_transform(),
            va="center",
            fontsize=6,
            color="saddlebrown",
        )
    axes[-1].set_xlabel("relative time [s]")
    fig.suptitle(
        f"{Path(f.filename()).resolve().parent.name}: markers shaded, meta-markers in bands "
        "at each panel's foot",
        fontsize=10,
    )
    fig.tight_layout()
    if args.png:
        fig.savefig(args.png)
        print(f"trend of {sum(len(v) for v in panels.values())} item(s) written to {args.png}")
        return 0
    plt.show()
    return 0


# --- following a test ------------------------------------------------------------------------


class _Follower:
    """What is new in the bound file since the last look: message-log lines (a line waiting for
    its continuation in a later packet only once complete), markers and the items' values."""

    def __init__(self, f, items: list[tuple[int, str]], mode: int, units: list[str]):
        self.f = f
        self.items = items
        self.mode = mode
        self.units = units
        self.lines = 0
        self.markers: set = set()
        self.packets = 0

    def skip_existing(self) -> None:
        self.lines, _ = self._log()
        self.markers = {key for key, *_ in self._markers()}
        self.packets = len(self.f)

    def _log(self):
        from k814util import k814util as _k

        log = _k.PyMsgLogCache()
        return log.size() - int(_k._console_log_pending()), log

    def _markers(self):
        """(key, relative time, text) of every marker event so far."""
        f = self.f
        if f.mission() == "tarn":
            for m in f.tarn_markers():
                yield (m.marker_index,), m.relative_time, f"marker  id {m.marker_id}: {m.text}"
            return
        import k814util

        n = len(f)
        if n == 0:
            return
        first = f[0]
        offset = first.unix_timestamp() - first.relative_timestamp()
        for m in k814util.vireo_markers(f.filename()):
            start = m.t_start_us() / 1e6 - offset
            text = f"marker  id {m.marker_id()} type {m.marker_type()}"
            yield (m.t_start_us(), m.marker_id(), "open"), start, f"{text} opened: {m.text()}"
            if m.is_complete():
                yield (
                    (m.t_start_us(), m.marker_id(), "closed"),
                    m.t_end_us() / 1e6 - offset,
                    f"{text} closed after {(m.t_end_us() - m.t_start_us()) / 1e6:.3f} s",
                )

    def events(self) -> list[tuple[float, str]]:
        """The new events in time order, as (relative time, text)."""
        out = []
        complete, log = self._log()
        for i in range(self.lines, complete):
            line = log.get(i)
            out.append((line.relativeTime(), f"log     {line.msg()}"))
        self.lines = max(self.lines, complete)
        for key, t, text in self._markers():
            if key not in self.markers:
                self.markers.add(key)
                out.append((t, text))
        n = len(self.f)
        for i in range(self.packets, n):
            packet = self.f.get_pkt(i)
            for (hkid, name), unit in zip(self.items, self.units):
                for d in packet.all_data(hkid, self.mode):
                    out.append((d.relative_timestamp, f"{name} = {d.value!r} {unit}".rstrip()))
        self.packets = n
        out.sort(key=lambda e: e[0])
        return out


def _cmd_follow(args: argparse.Namespace) -> int:
    from k814util import frames

    f = _open(args)
    catalogue = frames._Catalogue()
    mode = _MODES[args.mode]
    items = _resolve(catalogue, args.items)
    units = [catalogue.by_id[hkid][5 + mode] or "" for hkid, _ in items]
    follower = _Follower(f, items, mode, units)
    if not args.from_start:
        follower.skip_existing()
    # Ctrl-C ends the loop even where the shell started us with interrupts ignored (a
    # background job), and so does a polite kill.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    print(
        f"following {f.filename()}: {len(f)} packets so far, every {args.interval:g} s "
        "(Ctrl-C to stop)",
        flush=True,
    )
    try:
        new = True
        while True:
            if new:
                for t, text in follower.events():
                    print(f"{t:12.3f}  {text}", flush=True)
            time.sleep(args.interval)
            # Reads on only when a whole packet waits: a read that ended inside a packet the
            # station is still writing would use up one of the reader's retries for it.
            new = f.refresh() > 0
    except KeyboardInterrupt:
        print(f"stopped after {len(f)} packets", flush=True)
    return 0


def _scan_rows(args: argparse.Namespace):
    """(scans, their table columns) of the test's file."""
    import k814util
    from k814util.spectra import table_columns

    scans = _bound(args, k814util.scans)
    return scans, table_columns(scans)


def _marker_label(marker_id: int, text: str) -> str:
    return f"{marker_id} {text}".rstrip() if marker_id or text else "-"


def _cmd_scans(args: argparse.Namespace) -> int:
    _, cols = _scan_rows(args)
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

    _, cols = _scan_rows(args)
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


def _positive_seconds(text: str) -> float:
    try:
        seconds = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number of seconds: {text!r}") from None
    if not seconds > 0:
        raise argparse.ArgumentTypeError(f"must be above 0, not {text}")
    return seconds


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="k814util", description=__doc__.split("\n")[0])
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
        "--runs",
        type=archive_cli.positive_int,
        default=1,
        metavar="N",
        help="test runs per mission (default: 1)",
    )
    sample.set_defaults(func=_cmd_sample)

    def add(name: str, func, help_text: str):
        p = sub.add_parser(name, help=help_text)
        p.add_argument("path", help="telemetry file of the test")
        p.add_argument("--ini", help="workstation configuration file (default: $INI814 or ~)")
        p.add_argument("-q", "--quiet", action="store_true", help="no progress bar")
        p.set_defaults(func=func)
        return p

    def add_mode(p) -> None:
        p.add_argument("--mode", choices=list(_MODES), default="sci", help="default: sci")

    add("info", _cmd_info, "print a test's metadata and verify its configuration")
    add("summary", _cmd_summary, "metadata, packets by type and name, time span, clock state")
    add("log", _cmd_log, "the instrument's message log")
    add("markers", _cmd_markers, "test markers (VIREO intervals; TARN markers and meta-markers)")
    add("sequences", _cmd_sequences, "SEB command sequences with decoded fields (TARN)")
    add("show", _cmd_show, "summary, message log, markers (and TARN SEB sequences) of a test")
    items = add("items", _cmd_items, "the database's items, to find what to read")
    items.add_argument("pattern", nargs="?", help="mnemonic part or shell pattern (SEB:T_*)")
    values = add("values", _cmd_values, "every value of database items, as CSV or parquet")
    values.add_argument("items", nargs="+", metavar="ITEM", help="item id or mnemonic")
    add_mode(values)
    values.add_argument("--format", choices=("csv", "parquet"), default="csv")
    values.add_argument("--out", metavar="FILE", help="write to FILE (CSV default: stdout)")
    plot = add("plot", _cmd_plot, "trends of items against time, markers shaded")
    plot.add_argument("items", nargs="+", metavar="ITEM", help="item id or mnemonic")
    add_mode(plot)
    plot.add_argument("--png", metavar="OUT", help="write the plot to this PNG file")
    follow = add("follow", _cmd_follow, "print what the station appends, until Ctrl-C")
    follow.add_argument("items", nargs="*", metavar="ITEM", help="items whose values to print")
    add_mode(follow)
    follow.add_argument(
        "--interval",
        type=_positive_seconds,
        default=1.0,
        metavar="S",
        help="seconds between looks (1)",
    )
    follow.add_argument(
        "--from-start", action="store_true", help="print what the file holds already, too"
    )
    add("scans", _cmd_scans, "the TARN mass-spectrum scans, one line each, by kind and mode")
    spectrum = add("spectrum", _cmd_spectrum, "one scan's m/z and counts as CSV, or a plot")
    spectrum.add_argument("index", type=int, help="scan number (negative: from the end)")
    spectrum.add_argument("--png", metavar="OUT", help="plot the spectrum to this PNG file")
    tic = add("tic", _cmd_tic, "total ion counts against time as CSV, or a chromatogram plot")
    tic.add_argument("--png", metavar="OUT", help="plot the chromatogram to this PNG file")
    archive_cli.register(sub)

    args = parser.parse_args(argv)
    if getattr(args, "format", None) == "parquet" and not args.out:
        values.error("--format parquet needs --out FILE")
    try:
        return args.func(args)
    except _Failure as exc:
        sys.stdout.flush()
        print(str(exc).replace("\n", " "), file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader of our output (head, less) went away: not a failure of ours.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 0


if __name__ == "__main__":
    sys.exit(main())
