"""The short HTML summaries notebooks show for telemetry files, runs, spectra and archives.

Each summary is a small table made from what the object knows without decoding anything: the
packet count and time span of the binding, the limit table of the database, the spectra's own
columns, the archive's catalogue when it has been read. Every text is escaped; the markup is
well-formed XML, so any HTML or XML parser reads it.
"""

from __future__ import annotations

import datetime as _dt
import html
from collections.abc import Iterable, Sequence

#: How many names a row lists before it says how many more there are.
MAX_LISTED = 12


def utc(unix: float) -> str:
    """Unix seconds as ISO-8601 UTC text, to the millisecond."""
    moment = _dt.datetime.fromtimestamp(float(unix), tz=_dt.timezone.utc)
    return moment.isoformat(timespec="milliseconds").replace("+00:00", "Z")


def listed(names: Sequence[str], limit: int = MAX_LISTED) -> str:
    """The first ``limit`` names, comma-separated, and how many more there are."""
    shown = ", ".join(str(n) for n in names[:limit])
    more = len(names) - limit
    return f"{shown}, ... ({more} more)" if more > 0 else shown


def table(title: str, rows: Iterable[tuple[str, object]], note: str = "") -> str:
    """A titled two-column table of (label, value) rows, every text escaped."""
    body = "".join(
        f"<tr><th style='text-align:left;padding-right:1em'>{html.escape(str(label))}</th>"
        f"<td style='text-align:left'>{html.escape(str(value))}</td></tr>"
        for label, value in rows
    )
    foot = f"<p style='margin:0.2em 0'>{html.escape(note)}</p>" if note else ""
    return (
        "<div class='k814util-summary'>"
        f"<p style='margin:0.2em 0'><strong>{html.escape(title)}</strong></p>"
        f"<table>{body}</table>{foot}</div>"
    )


def file_facts(f) -> dict:
    """What a notebook shows of a TMFile of the current binding, without decoding values:
    file, mission, test, packet count and time span, the items with limits (mnemonic and set
    units), and the science packets by type for TARN."""
    from k814util import k814util as _k
    from k814util import reports
    from k814util._columns import arrays

    summary = reports.packet_summary()
    limits = arrays(_k._limits_table())
    mission = reports.mission()
    facts = {
        "file": f.filename(),
        "mission": mission,
        "test": f.directory_string(),
        "tid": f.tid(),
        "packets": summary.packets,
        "t0_unix": summary.t0_unix,
        "first_unix": summary.first_unix,
        "last_unix": summary.last_unix,
        "limits": [
            f"{m} ({u})" if u else str(m) for m, u in zip(limits["mnemonic"], limits["units"])
        ],
        # The packets TARN assembles its scans from (counting the scans would assemble them).
        "science": [
            f"{t.name} {t.count}"
            for t in summary.types
            if mission == "tarn" and t.name.startswith("SCIENCE")
        ],
    }
    return facts


def facts_rows(facts: dict) -> list[tuple[str, object]]:
    """The rows of a file's summary table from :func:`file_facts`."""
    rows: list[tuple[str, object]] = [
        ("file", facts["file"]),
        ("mission", facts["mission"]),
        ("test", f"{facts['test']} (TID {facts['tid']})"),
        ("packets", facts["packets"]),
    ]
    if facts["packets"]:
        first, last, t0 = facts["first_unix"], facts["last_unix"], facts["t0_unix"]
        rows.append(
            (
                "time span",
                f"{utc(first)} to {utc(last)} "
                f"({first - t0:.3f} s to {last - t0:.3f} s after T0 {utc(t0)})",
            )
        )
    else:
        rows.append(("time span", "none (no packets)"))
    limits = facts["limits"]
    rows.append(("items with limits", f"{len(limits)}: {listed(limits)}" if limits else "none"))
    if facts["science"]:
        rows.append(("science packets", ", ".join(facts["science"])))
    return rows


def spectra_rows(sp) -> list[tuple[str, object]]:
    """The rows of a :class:`k814util.Spectra` summary: scans, bins, time span, the scans of
    each kind and mode, and the markers they fall under."""
    from collections import Counter

    table = sp.columns()
    rows: list[tuple[str, object]] = [
        ("scans", f"{len(sp)} (from scan {sp.start})"),
        ("bins", f"{len(sp.flat_counts)}, the longest scan {int(sp.n_bins.max(initial=0))}"),
    ]
    if len(sp):
        times = table["relative_time"]
        rows.append(("time span", f"{times.min():.3f} s to {times.max():.3f} s after T0"))
        groups = Counter(zip(sp.kinds(), table["mode"]))
        rows.append(
            ("kind and mode", ", ".join(f"{k} {m}: {n}" for (k, m), n in sorted(groups.items())))
        )
        markers = sorted({int(m) for m in table["marker_id"] if m})
        rows.append(("markers", listed([str(m) for m in markers]) if markers else "none"))
    return rows


def archive_rows(archive) -> tuple[list[tuple[str, object]], str]:
    """The rows of an :class:`k814util.archive.Archive` summary, and its note: the
    configuration, each group's data root and, once the catalogue has been read, the runs by
    mission, those that cannot be bound and the span of their start times."""
    rows: list[tuple[str, object]] = [("configuration", archive.ini)]
    rows += [(f"group {group}", root or "(no data root)") for group, root in archive.groups]
    frame = archive._catalogue
    if frame is None:
        return rows, "The data roots have not been walked yet: catalogue() lists the runs."
    counts = frame["mission"].value_counts().sort_index()
    rows.append(("runs", f"{len(frame)}: " + ", ".join(f"{m} {n}" for m, n in counts.items())))
    broken = frame.loc[frame["error"] != "", "tid"]
    rows.append(("cannot be bound", listed([str(t) for t in broken]) if len(broken) else "none"))
    if len(frame):
        first, last = frame["start_time"].min(), frame["start_time"].max()
        rows.append(("started", f"{first.isoformat()} to {last.isoformat()}"))
    return rows, ""
