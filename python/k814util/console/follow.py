"""follow: what the station appends to a test's telemetry file, printed as it comes."""

from __future__ import annotations

import argparse
import signal
import time

from k814util.console.common import (
    MODES,
    add_file_command,
    add_mode,
    bound,
    captured,
    catalogue,
    positive_seconds,
    report,
    resolve,
    units,
)


class Follower:
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
        import k814util
        from k814util import k814util as _k

        log = k814util.PyMsgLogCache()
        return log.size() - int(_k._console_log_pending()), log

    def _markers(self):
        """(key, relative time, text) of every marker event so far."""
        f = self.f
        if f.mission() == "tarn":
            for m in f.tarn_markers():
                yield (m.marker_index,), m.relative_time, f"marker  id {m.marker_id}: {m.text}"
            return
        import k814util

        if len(f) == 0:
            return
        first = f[0]
        offset = first.unix_timestamp() - first.relative_timestamp()
        for m in k814util.PyVireoMarkerCache():
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


def cmd_follow(args: argparse.Namespace) -> int:
    f = bound(args)
    found_in = catalogue(args)
    items = resolve(found_in, args.items)
    names = [units(found_in, hkid, args.mode) for hkid, _ in items]
    follower = Follower(f, items, MODES[args.mode], names)
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
                with captured(args):
                    events = follower.events()
                for t, text in events:
                    print(f"{t:12.3f}  {text}", flush=True)
            report(args)  # what the library said of the file so far, as it comes
            time.sleep(args.interval)
            # Reads on only when a whole packet waits: a read that ended inside a packet the
            # station is still writing would use up one of the reader's retries for it.
            with captured(args):
                new = f.refresh() > 0
    except KeyboardInterrupt:
        print(f"stopped after {len(f)} packets", flush=True)
    return 0


def register(sub) -> None:
    follow = add_file_command(
        sub, "follow", cmd_follow, "print what the station appends, until Ctrl-C"
    )
    follow.add_argument("items", nargs="*", metavar="ITEM", help="items whose values to print")
    add_mode(follow)
    follow.add_argument(
        "--interval",
        type=positive_seconds,
        default=1.0,
        metavar="S",
        help="seconds between looks (1)",
    )
    follow.add_argument(
        "--from-start", action="store_true", help="print what the file holds already, too"
    )
