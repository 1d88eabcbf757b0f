"""Every figure of the console: one figure factory, one marker-span builder, one lane
allocator, and the trend, TIC and spectrum figures built with them.

A figure is a row of data panels over one time axis (relative seconds, or UTC with --utc), the
test's markers shaded in each panel and labelled above the first, and, when the test has
meta-markers, a lane of their own below the panels: they never cover data or stretch a panel's
axis. Traces longer than the panel is wide are drawn decimated (the lowest and highest value of
each pixel column); the data themselves are not changed.
"""

from __future__ import annotations

import sys
from pathlib import Path
from typing import NamedTuple

import numpy as np

from k814util.console.common import ANALYSIS, KINDS, Failure

WIDTH_PX, TITLE_PX, PANEL_PX = 1200, 100, 300
#: Height of the meta-marker lane: room for the time axis under it plus a band per overlap.
LANE_BASE_PX, LANE_PX = 40, 22
#: Pixel columns a trace is decimated to (about the width of a panel).
COLUMNS = 1000
_SHADES = ("tab:blue", "tab:cyan")


class Spans(NamedTuple):
    """The test's marker and meta-marker spans (``k814util.windows.Span``) apart, and what to
    add to a relative time for Unix time."""

    markers: list
    metas: list
    offset: float


def spans(f) -> Spans:
    """The spans of the test's markers and meta-markers, as ``k814util.windows.spans`` gives
    them (a TARN marker lasts until the next one, a VIREO marker until it closes)."""
    from k814util.windows import spans as marker_spans

    if len(f) == 0:
        return Spans([], [], 0.0)
    first = f.get_pkt(0)
    found = marker_spans(f)
    return Spans(
        [s for s in found if s.kind == "marker"],
        [s for s in found if s.kind == "meta-marker"],
        first.unix_timestamp() - first.relative_timestamp(),
    )


def lanes(found: list) -> list[int]:
    """For each span (sorted by start), the lowest lane not taken by an earlier span that
    overlaps it."""
    ends: list[float] = []
    taken = []
    for span in found:
        lane = next((k for k, end in enumerate(ends) if end <= span.start), len(ends))
        if lane == len(ends):
            ends.append(span.end)
        ends[lane] = max(span.end, span.start)
        taken.append(lane)
    return taken


def decimate(x: np.ndarray, y: np.ndarray, columns: int = COLUMNS):
    """x and y to draw: unchanged when short, else the lowest and highest y of each of columns
    equal slices of x's range, in x order (a line through them shows the whole envelope)."""
    x = np.asarray(x, dtype=np.float64)
    y = np.asarray(y, dtype=np.float64)
    keep = ~np.isnan(y)
    x, y = x[keep], y[keep]
    if len(x) <= 2 * columns:
        return x, y
    lo, hi = float(x.min()), float(x.max())
    column = np.minimum(((x - lo) / ((hi - lo) or 1.0) * columns).astype(np.int64), columns - 1)
    order = np.argsort(column, kind="stable")
    column, x, y = column[order], x[order], y[order]
    starts = np.flatnonzero(np.r_[True, column[1:] != column[:-1]])
    centres = lo + (column[starts] + 0.5) * ((hi - lo) / columns)
    low, high = np.minimum.reduceat(y, starts), np.maximum.reduceat(y, starts)
    return np.repeat(centres, 2), np.column_stack([low, high]).ravel()


def figure(panel_px: list[int], lane_count: int, to_file: bool):
    """The one figure factory: 1200 pixels wide, a 100-pixel title, panels of the given heights
    over one time axis and, when lane_count > 0, the meta-marker lane under them (at 100 dpi).
    Drawn by Agg for a file, else by the interactive backend matplotlib chooses. Returns the
    figure, its panels, the lane (or None) and pyplot (None for a file)."""
    try:
        import matplotlib
    except ImportError:
        raise Failure(f"plots need matplotlib: install the 'analysis' extra ({ANALYSIS})") from None
    heights = list(panel_px) + ([LANE_BASE_PX + LANE_PX * lane_count] if lane_count else [])
    size = (WIDTH_PX / 100, (TITLE_PX + sum(heights)) / 100)
    plt = None
    if to_file:
        from matplotlib.backends.backend_agg import FigureCanvasAgg
        from matplotlib.figure import Figure

        fig = Figure(figsize=size, dpi=100)
        FigureCanvasAgg(fig)
    else:
        import matplotlib.pyplot as plt
        from matplotlib.backends import BackendFilter, backend_registry

        backend = matplotlib.get_backend().lower()
        if backend in backend_registry.list_builtin(BackendFilter.NON_INTERACTIVE):
            raise Failure(
                f"no plot window can open here (matplotlib backend {backend!r}, no display); "
                "write the plot to a file with --png OUT"
            )
        try:
            fig = plt.figure(figsize=size, dpi=100)
        except Exception as exc:  # a GUI toolkit that cannot reach a display
            raise Failure(f"no plot window can open here ({exc}); use --png OUT") from None
    axes = fig.subplots(
        len(heights), 1, sharex=True, squeeze=False, gridspec_kw={"height_ratios": heights}
    )[:, 0]
    panels = list(axes[: len(panel_px)])
    return fig, panels, (axes[-1] if lane_count else None), plt


class TimeAxis:
    """Relative seconds, or (with utc) matplotlib's date numbers of the UTC times."""

    def __init__(self, offset: float, utc: bool):
        self.offset, self.utc = offset, utc

    def __call__(self, relative) -> np.ndarray:
        relative = np.asarray(relative, dtype=np.float64)
        if not self.utc:
            return relative
        from matplotlib import dates

        micros = np.round((relative + self.offset) * 1e6).astype("datetime64[us]")
        return dates.date2num(micros)

    def finish(self, bottom) -> None:
        if not self.utc:
            bottom.set_xlabel("relative time [s]")
            return
        from datetime import timezone

        from matplotlib import dates

        locator = dates.AutoDateLocator(tz=timezone.utc)
        bottom.xaxis.set_major_locator(locator)
        bottom.xaxis.set_major_formatter(dates.ConciseDateFormatter(locator, tz=timezone.utc))
        bottom.set_xlabel("UTC")


def draw_spans(panels, lane, found: Spans, x: TimeAxis) -> None:
    """Markers shaded in every panel and labelled above the first; meta-markers as bars in the
    lane, one band per overlap."""
    for ax in panels:
        for k, span in enumerate(found.markers):
            ax.axvspan(*x([span.start, span.end]), color=_SHADES[k % 2], alpha=0.08, lw=0)
    top = panels[0]
    for span in found.markers:
        top.text(
            x([span.start])[0],
            1.0,
            f" {span.label}",
            transform=top.get_xaxis_transform(),
            va="bottom",
            fontsize=7,
            color="tab:blue",
            rotation=15,
        )
    if lane is None:
        return
    taken = lanes(found.metas)
    n = max(taken) + 1
    for span, k in zip(found.metas, taken):
        x0, x1 = x([span.start, span.end])
        lane.axvspan(
            x0,
            x1,
            ymin=1 - (k + 0.9) / n,
            ymax=1 - (k + 0.1) / n,
            facecolor="tab:orange",
            edgecolor="white",  # meta-markers that meet stay apart
            lw=1,
        )
        lane.text(x0, n - k - 0.5, f" {span.label}", va="center", fontsize=7, color="saddlebrown")
    lane.set_ylim(0, n)
    lane.set_yticks([])
    lane.set_ylabel("meta-\nmarkers", fontsize=8)


def lane_count(found: Spans) -> int:
    return max(lanes(found.metas), default=-1) + 1


def axis_label(unit: str, mode: str) -> str:
    """A value axis's label: the unit and the mode, the mode once when the unit is its name."""
    if not unit:
        return f"{mode} (no unit)"
    return mode if unit.lower() == mode else f"{unit} ({mode})"


def trace(ax, x, y, label: str, points: bool = False, **style) -> None:
    """One line of values against time, decimated to draw; points marked when few. With
    points, a decimated trace is drawn as the dots of each column's extremes (scans are separate
    measurements: a line between them would fill the panel where kinds alternate)."""
    drawn_x, drawn_y = decimate(x, y)
    decimated = len(drawn_x) != np.count_nonzero(~np.isnan(np.asarray(y, dtype=np.float64)))
    if decimated and points:
        ax.plot(drawn_x, drawn_y, ".", ms=1.5, label=label, **style)
        return
    few = not decimated and len(drawn_x) < 200
    ax.plot(drawn_x, drawn_y, ".-" if few else "-", lw=0.8, ms=3, label=label, **style)


def run_name(f) -> str:
    return Path(f.filename()).resolve().parent.name


#: The colours of limit lines and violation spans by level.
LIMIT_COLOURS = {"yellow": "gold", "red": "tab:red"}


class LimitMarks(NamedTuple):
    """What a panel shows of one item's limits: lines (level, value) in the plotted mode, and
    the spans (level, start, end in relative seconds) in which its values left them."""

    lines: list
    spans: list


def limit_marks(row, violations, mode: str) -> LimitMarks:
    """The marks of an item from its row of ``TMFile.limits()`` (None without limits) and its
    ``limit_violations()``: a set's lines only when the plotted mode is the set's value mode (a
    limit in other units would sit at a meaningless height), its spans whatever the mode (they
    are times)."""
    lines: list = []
    if row is not None:
        for n in (1, 2):
            if row[f"value_mode_{n}"] != mode:
                continue
            for level in ("yellow", "red"):
                value = float(row[f"{level}_{n}"])
                if not np.isnan(value) and (level, value) not in lines:
                    lines.append((level, value))
    found: list = []
    if violations is not None:
        found = list(
            zip(
                violations["level"].tolist(),
                violations["start_relative"].tolist(),
                violations["end_relative"].tolist(),
            )
        )
    return LimitMarks(lines, found)


def draw_limits(ax, name: str, marks: LimitMarks, x: TimeAxis) -> None:
    """The item's limit lines dashed across the panel and its violation spans shaded, in the
    level's colour; red spans over the yellow ones they lie in. Each artist's gid names the item
    and level ("limit:NAME:LEVEL", "violation:NAME:LEVEL")."""
    for level, value in marks.lines:
        ax.axhline(value, color=LIMIT_COLOURS[level], ls="--", lw=0.9, gid=f"limit:{name}:{level}")
    for level in ("yellow", "red"):
        for shown, start, end in marks.spans:
            if shown == level:
                x0, x1 = x([start, end])
                ax.axvspan(
                    x0,
                    x1,
                    color=LIMIT_COLOURS[level],
                    alpha=0.2,
                    lw=0,
                    gid=f"violation:{name}:{level}",
                )


def clipped(found: Spans, low: float, high: float) -> Spans:
    """The spans that overlap [low, high], cut to it."""

    def cut(spans: list) -> list:
        return [
            s._replace(start=max(s.start, low), end=min(s.end, high))
            for s in spans
            if s.end >= low and s.start <= high
        ]

    return Spans(cut(found.markers), cut(found.metas), found.offset)


def trend(
    f,
    panels: dict,
    mode: str,
    utc: bool,
    to_file: bool,
    windowed: bool = False,
    limits: dict | None = None,
):
    """Items against time, a panel per unit: panels maps each unit to its (name, series);
    windowed: the series hold a time window, which the figure shows rather than the test;
    limits (optional) maps each name to its LimitMarks."""
    found = spans(f)
    times = [s["relative_time"] for lines in panels.values() for _, s in lines]
    if windowed and any(len(t) for t in times):
        low = min(float(t.min()) for t in times if len(t))
        high = max(float(t.max()) for t in times if len(t))
        found = clipped(found, low, high)
        if limits:
            limits = {
                name: marks._replace(
                    spans=[
                        (v, max(a, low), min(b, high))
                        for v, a, b in marks.spans
                        if b >= low and a <= high
                    ]
                )
                for name, marks in limits.items()
            }
    fig, axes, lane, plt = figure([PANEL_PX] * len(panels), lane_count(found), to_file)
    x = TimeAxis(found.offset, utc)
    draw_spans(axes, lane, found, x)
    for ax, (unit, lines) in zip(axes, panels.items()):
        for name, s in lines:
            trace(ax, x(s["relative_time"]), s["value"], name)
            if limits and name in limits:
                draw_limits(ax, name, limits[name], x)
        ax.set_ylabel(axis_label(unit, mode))
        ax.legend(loc="upper right", fontsize=8)
    x.finish(lane if lane is not None else axes[-1])
    shown = "a time window" if windowed else "time"
    fig.suptitle(f"{run_name(f)}: {mode} values against {shown}; {_shown(f, found)}", fontsize=10)
    fig.tight_layout()
    return fig, plt


def _shown(f, found: Spans) -> str:
    """What the shading and the lane show, in the test's mission's words."""
    if f.mission() != "tarn":
        return "VIREO marker intervals shaded" if found.markers else "no VIREO markers"
    shaded = "TARN markers shaded" if found.markers else "no TARN markers"
    lane = "meta-markers in the lane below" if found.metas else "no meta-markers"
    return f"{shaded}, {lane}"


def kind_mode_groups(cols: dict) -> list[tuple[str, np.ndarray]]:
    """(label "kind mode", boolean mask of its scans) of each scan kind and mode present, in
    the kinds' order: the traces of the TIC and XIC figures, one colour each."""
    kinds = np.array([KINDS.get(int(t), str(t)) for t in cols["src_pkt_type"]], dtype=object)
    keys = sorted(set(zip(kinds.tolist(), cols["mode"].tolist())), key=_kind_order)
    return [(f"{kind} {mode}", (kinds == kind) & (cols["mode"] == mode)) for kind, mode in keys]


def tic(f, cols: dict, utc: bool, to_file: bool):
    """The TIC and the corrected TIC of the scans against time: one trace per scan kind and
    mode, the same colour in both panels."""
    found = spans(f)
    fig, (counts, corrected), lane, plt = figure([PANEL_PX, 200], lane_count(found), to_file)
    x = TimeAxis(found.offset, utc)
    draw_spans([counts, corrected], lane, found, x)
    times = x(cols["relative_time"])
    # A corrected TIC of 0 means the scan lacks what the correction needs (a status, an EM
    # setting); it is left out rather than drawn as a value.
    ctic = cols["corrected_tic"].astype(float)
    ctic[ctic == 0] = np.nan
    keys = kind_mode_groups(cols)
    for k, (name, pick) in enumerate(keys):
        colour = f"C{k % 10}"
        label = f"{name} ({np.count_nonzero(pick)})"
        trace(counts, times[pick], cols["tic"][pick], label, points=True, color=colour)
        trace(corrected, times[pick], ctic[pick], label, points=True, color=colour)
    counts.set_ylabel("TIC [counts]")
    corrected.set_ylabel("corrected TIC")
    if keys:
        # Beside the panel: there is a trace for each kind and mode, and none may be hidden.
        counts.legend(
            loc="upper left",
            bbox_to_anchor=(1.01, 1.0),
            fontsize=8,
            title="kind, mode (scans)",
            title_fontsize=8,
            markerscale=3,
        )
    x.finish(lane if lane is not None else corrected)
    fig.suptitle(
        f"TIC chromatogram: {run_name(f)} ({len(times)} scans by kind and mode); "
        f"{_shown(f, found)}",
        fontsize=10,
    )
    fig.tight_layout()
    return fig, plt


def _kind_order(key: tuple[str, str]) -> tuple[int, str]:
    order = list(KINDS.values())
    return (order.index(key[0]) if key[0] in order else len(order), key[1])


def xic(f, cols: dict, values: np.ndarray, mz: float, tolerance: float, utc: bool, to_file: bool):
    """The extracted-ion chromatogram against time, one trace per scan kind and mode; the
    scans that do not reach the m/z window are ticked along the bottom, not drawn as zeros."""
    found = spans(f)
    fig, (ax,), lane, plt = figure([PANEL_PX], lane_count(found), to_file)
    x = TimeAxis(found.offset, utc)
    draw_spans([ax], lane, found, x)
    times = x(cols["relative_time"])
    measured = ~np.isnan(values)
    for k, (name, group) in enumerate(kind_mode_groups(cols)):
        pick = group & measured
        if pick.any():
            label = f"{name} ({np.count_nonzero(pick)})"
            trace(ax, times[pick], values[pick], label, points=True, color=f"C{k % 10}")
    if (~measured).any():
        ax.plot(
            times[~measured],
            np.zeros(np.count_nonzero(~measured)),
            "|",
            color="0.5",
            transform=ax.get_xaxis_transform(),
            label=f"no bin in the window ({np.count_nonzero(~measured)})",
        )
    ax.set_ylabel(f"counts at m/z {mz:g} \u00b1 {tolerance:g}")
    ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=8, markerscale=3)
    x.finish(lane if lane is not None else ax)
    fig.suptitle(
        f"extracted-ion chromatogram: {run_name(f)}, m/z {mz:g} \u00b1 {tolerance:g}; "
        f"{_shown(f, found)}",
        fontsize=10,
    )
    fig.tight_layout()
    return fig, plt


def averaged_spectrum(f, averaged, peaks, args, to_file: bool):
    """A mean spectrum (``Spectra.average``) against m/z, the dark mean it had subtracted in
    grey, and its peaks (``Spectra.peaks``) marked with their centroid m/z."""
    fig, (ax,), _, plt = figure([400], 0, to_file)
    n = len(averaged.scans)
    ax.plot(averaged.mz, averaged.counts, color="tab:blue", linewidth=0.8, label=f"mean of {n}")
    if averaged.dark is not None:
        ax.plot(
            averaged.mz,
            averaged.dark,
            color="0.6",
            linewidth=0.6,
            label=f"dark mean subtracted ({len(averaged.dark_scans)} scans)",
        )
    if peaks is not None and len(peaks):
        ax.plot(peaks["apex_mz"], peaks["height"], "v", color="tab:red", label="peaks")
        for row in peaks.itertuples(index=False):
            ax.annotate(
                f"{row.mz:.2f}",
                (row.apex_mz, row.height),
                textcoords="offset points",
                xytext=(0, 6),
                ha="center",
                fontsize=7,
            )
    ax.axhline(0.0, color="0.3", linewidth=0.5)
    ax.set_xlabel("m/z")
    ax.set_ylabel("mean counts")
    ax.legend(loc="upper right", fontsize=8)
    within = [f"marker {args.marker}" if args.marker is not None else ""]
    within += [f"from {args.start}" if args.start else "", f"to {args.end}" if args.end else ""]
    chosen = " ".join(w for w in (args.kind, args.mode) if w)
    ax.set_title(
        f"mean spectrum: {run_name(f)}, {' '.join(w for w in within if w) or 'whole test'}"
        f"{f', {chosen} scans' if chosen else ''}"
        f"{', dark subtracted' if averaged.dark is not None else ''}",
        fontsize=10,
    )
    fig.tight_layout()
    return fig, plt


def spectrum(scan, index: int, sp, to_file: bool):
    """One scan's counts against m/z, with the scan's culled copy (the few points that keep
    its shape, made for previews) over them."""
    bins = int(sp.n_bins[0])
    mz, counts = sp.mz[0, :bins], sp.counts[0, :bins]
    fig, (ax,), _, plt = figure([400], 0, to_file)
    cols = sp.columns()
    culled = list(scan.culled_counts())
    culled_bins = [b for b in culled[0::2] if 0 <= b < bins]
    ax.vlines(mz, 0, counts, colors="0.65", linewidth=0.6, label=f"counts ({bins} bins)")
    ax.plot(
        [mz[b] for b in culled_bins],
        [c for b, c in zip(culled[0::2], culled[1::2]) if 0 <= b < bins],
        color="tab:blue",
        linewidth=1.0,
        label=f"culled preview: the {len(culled_bins)} points that keep the spectrum's shape",
    )
    ax.set_xlabel("m/z")
    ax.set_ylabel("counts")
    ax.set_ylim(bottom=0)
    ax.legend(loc="upper right")
    marker = marker_label(int(cols["marker_id"][0]), cols["marker_text"][0])
    metas = "; ".join(f"{m.metaMarkerId} {m.msg}".rstrip() for m in scan.get_meta_markers())
    kind = KINDS.get(scan.src_pkt_type(), str(scan.src_pkt_type()))
    ax.set_title(
        f"scan {index} at {scan.relative_timestamp():.3f} s: {kind}, "
        f"{scan.scan_mode_as_string()}, TIC {scan.total_ion_count()}\n"
        f"marker: {marker}   meta-markers: {metas or '-'}",
        fontsize=10,
    )
    fig.tight_layout()
    return fig, plt


def marker_label(marker_id: int, text: str) -> str:
    return f"{marker_id} {text}".rstrip() if marker_id or text else "-"


def save_or_show(fig, plt, png: str | None) -> None:
    if png:
        fig.savefig(png)
    else:
        sys.stdout.flush()
        plt.show()
