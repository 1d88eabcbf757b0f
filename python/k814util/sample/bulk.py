"""A long TARN test made mostly of science packets, for the benchmarks (``--tarn-packets N``).

A million packets must be written in seconds, so packets are not built one by one through
:func:`tom_packet`: each distinct data field (a segment of one of a few spectra, a scan status, a
summed or aggregated packet) is a template whose checksum contribution is summed once, and only
the header (sequence count, length and tick count) changes from packet to packet. The checksum
is a Fletcher sum, linear in the 16-bit words, so the header's share is added in closed form.
The first packet of every template is also built with :func:`tom_packet` and must come out the
same; if it does not (the packet layout changed), every packet is built with :func:`tom_packet`.
"""

from __future__ import annotations

import random
import struct

from k814util.sample import science
from k814util.sample.packets import tom_packet
from k814util.sample.streams import TOM_DATA_OFFSET, Layout, TarnClock
from k814util.sample.tmdefs import Mission

_HEADER = struct.Struct(">BBHI")
_MOD = 0xFFFF


class _Template:
    """A data field and its share of the checksum: sum1 and the position-weighted sum2."""

    __slots__ = ("packet_type", "data", "words", "sum1", "sum2", "checked")

    def __init__(self, packet_type: int, data: bytes):
        self.packet_type = packet_type
        self.data = data
        padded = data + b"\x00" if len(data) % 2 else data
        words = struct.unpack(f">{len(padded) // 2}H", padded)
        m = len(words)
        self.words = 4 + m
        self.sum1 = sum(words) % _MOD
        self.sum2 = sum((m - k) * w for k, w in enumerate(words)) % _MOD
        self.checked = False


class _Writer:
    def __init__(self):
        self.parts: list[bytes] = []
        self.seq: dict[int, int] = {}
        self.by_type: dict[int, int] = {}
        self.order = ">I"  # byte order of the stored checksum, confirmed against tom_packet
        self.slow = False

    def emit(self, tpl: _Template, ticks: int) -> None:
        t = tpl.packet_type
        s = self.seq.get(t, 0)
        self.seq[t] = s + 1
        self.by_type[t] = self.by_type.get(t, 0) + 1
        s &= 0xFF
        if self.slow:
            self.parts.append(tom_packet(t, s, ticks, tpl.data))
            return
        length = len(tpl.data)
        h1 = (t << 8) | s
        h3 = (ticks >> 16) & 0xFFFF
        h4 = ticks & 0xFFFF
        n = tpl.words
        sum1 = (h1 + length + h3 + h4 + tpl.sum1) % _MOD or _MOD
        sum2 = (n * h1 + (n - 1) * length + (n - 2) * h3 + (n - 3) * h4 + tpl.sum2) % _MOD or _MOD
        checksum = struct.pack(self.order, (sum2 << 16) | sum1)
        header = _HEADER.pack(t, s, length, ticks & 0xFFFFFFFF)
        if not tpl.checked:
            tpl.checked = True
            reference = tom_packet(t, s, ticks, tpl.data)
            if reference[:-4] != header + tpl.data:
                self.slow = True
            elif reference[-4:] != checksum:
                swapped = "<I" if self.order == ">I" else ">I"
                if reference[-4:] == struct.pack(swapped, (sum2 << 16) | sum1):
                    self.order = swapped
                else:
                    self.slow = True
            if self.slow or reference[-4:] != checksum:
                self.parts.append(reference)
                return
        self.parts.append(header)
        self.parts.append(tpl.data)
        self.parts.append(checksum)


def tarn_bulk(
    mission: Mission, start_unix: int, tid_dir: str, packets: int, rng: random.Random, out
) -> tuple[int, dict[int, int], dict]:
    """Writes exactly ``packets`` packets of a long TARN test to the binary file ``out`` and
    returns the bytes written, the packets by type and the manifest's science summary.

    Every second: SEB housekeeping, a time packet every ten seconds, eight 1000-bin scans of
    single science packets each followed by its scan status, a summed packet (version 2, three
    summed scans, with their statuses) and an aggregated one."""
    layout = Layout(mission)
    clock = TarnClock(start_unix, 600.0)
    w = _Writer()
    srng = random.Random(rng.random())

    spectra = [science.spectrum(srng, 1000, 220, 255) for _ in range(4)]
    singles = [
        [
            _Template(
                science.SINGLE,
                science.single_data(100 * k, spectrum[100 * k : 100 * k + 100], False),
            )
            for k in range(10)
        ]
        for spectrum in spectra
    ]

    def status(n: int, bins: int) -> _Template:
        st = science.Status(n, (0, 3, 5)[n % 3], 100.0, 12.5, bins, 1966)
        return _Template(science.SCAN_STATUS, st.data(layout))

    single_status = [status(n, 1000) for n in range(4)]
    summed_status = status(7, 300)
    scratch = science.Timeline(mission, layout, srng)
    summed = _Template(
        science.SUMMED, science.multi_data(scratch.multi(0, science.SUMMED, 300, 3, 2))
    )
    aggregated = _Template(
        science.AGGREGATED, science.multi_data(scratch.multi(0, science.AGGREGATED, 200, 1))
    )

    def hk(second: int) -> _Template:
        values = {
            "SEB:EMON_A": [36000 + second % 200] * 8,
            "SEB:EMON_B": [35768 + second % 50] * 8,
            "SEB:BIN_PERIOD": 1000,
            "SEB:FIL_A_ON": 1,
            "SEB:FIL_B_ON": 1,
            "SEB:T_BOARD": 30000 + second % 4000,
            "SEB:HV_MON": 40000,
            "SEB:T_RF": 2048,
            "SEB:T_PRT": 110,
            "SEB:I_OFFSET": 0x1000,
        }
        return _Template(science.SEB_HK, layout.data(science.SEB_HK, 64, values, TOM_DATA_OFFSET))

    def time_packet(ticks: int) -> _Template:
        secs, subsecs, tick = clock.time_fields(ticks)
        values = {"TIME:SECS": secs, "TIME:SUBSECS": subsecs, "TIME:TICK": tick}
        return _Template(2, layout.data(2, 11, values, TOM_DATA_OFFSET))

    count = 0
    scans = {"single": 0, "summed": 0, "aggregated": 0}
    t = float(start_unix)
    start = _Template(0x83, b"\x00\x00" + tid_dir.encode("ascii"))
    plan: list[tuple[float, _Template]] = []
    second = 0
    size = 0
    while count < packets:
        if len(w.parts) > 150_000:
            chunk = b"".join(w.parts)
            out.write(chunk)
            size += len(chunk)
            w.parts.clear()
        now = start_unix + second
        plan.clear()
        plan.append((now + 0.0017, hk(second)))
        if second % 10 == 0:
            plan.append((now, None))  # time packet, built at its tick
        for j in range(8):
            spectrum = singles[(second + j) % 4]
            at = now + 0.01 + 0.1 * j
            for k in range(10):
                plan.append((at + 0.01 * k, spectrum[k]))
            # The status follows the next scan's first packet, which completes this scan.
            plan.append((at + 0.1005, single_status[j % 4]))
        # The summed packet's own statuses come after the last single scan's (at 0.8105 s).
        for k in range(3):
            plan.append((now + 0.82 + 0.01 * k, summed_status))
        plan.append((now + 0.85, summed))
        plan.append((now + 0.94, single_status[0]))
        plan.append((now + 0.95, aggregated))
        plan.sort(key=lambda p: p[0])
        if second == 0:
            w.emit(start, clock.ticks(t))
            count += 1
        for at, tpl in plan:
            if count >= packets:
                break
            ticks = clock.ticks(at)
            if tpl is None:
                tpl = time_packet(ticks)
            w.emit(tpl, ticks)
            count += 1
            if tpl.packet_type == science.SINGLE and tpl.data[6:8] == b"\x00\x01":
                scans["single"] += 1
            elif tpl is summed:
                scans["summed"] += 1
            elif tpl is aggregated:
                scans["aggregated"] += 1
        second += 1
    # Every single scan but the last is completed by the first packet of the next.
    scans["single"] = max(0, scans["single"] - 1)
    summary = {
        "scan_count": sum(scans.values()),
        "by_kind": {k: v for k, v in scans.items() if v},
        "scans": [],
        "statuses": [],
        "unfinished": [],
        "seconds": second,
    }
    chunk = b"".join(w.parts)
    out.write(chunk)
    return size + len(chunk), dict(sorted(w.by_type.items())), summary
