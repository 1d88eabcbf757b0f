"""Binding a TARN telemetry file from Python and extracting one item from every packet.

    python bench/python_bench.py TM_FILE --ini INI [--hkid 21] [--type 22]

Prints, for the bound file:
- bind: seconds for ``k814util.open(path)`` (read, split, timestamp every packet) and the
  peak resident memory it added, against a plain ``read()`` of the file's bytes;
- extract: seconds for ``f.get_pkt(i).all_eng_data(hkid)`` over every packet, against
  ``f.get_pkt(i)`` alone (what the packet objects cost) and against a pure-Python walk of the
  same bytes with ``struct`` that finds the packets of the item's type and converts the value
  as the database says (what a script would do by hand, without damage handling).

Run in a fresh process: peak memory is the process's, so nothing else may be loaded first.
"""

from __future__ import annotations

import argparse
import os
import resource
import struct
import time


def _peak_mb() -> float:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def _by_hand(path: str, packet_type: int, offset: int) -> list[float]:
    """TOM packets: 8-byte header (type, sequence, data length, ticks), data, 4-byte checksum;
    the value is a 16-bit ADC reading converted to volts over a 10 V span."""
    data = open(path, "rb").read()  # noqa: SIM115
    out = []
    pos, end = 0, len(data)
    unpack = struct.unpack_from
    while pos + 8 <= end:
        kind, _, length = unpack(">BBH", data, pos)
        total = 8 + length + 4
        if pos + total > end:
            break
        if kind == packet_type:
            out.append(-5.0 + unpack(">H", data, pos + offset)[0] * 10.0 / 65536.0)
        pos += total
    return out


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tm_file")
    parser.add_argument("--ini", required=True)
    parser.add_argument("--hkid", type=int, default=21, help="item to extract (SEB:HV_MON)")
    parser.add_argument("--type", type=int, default=22, help="its packet type")
    parser.add_argument("--offset", type=int, default=48, help="its packet byte offset")
    args = parser.parse_args()
    os.environ["INI814"] = os.path.abspath(args.ini)

    import k814util

    size_mb = os.path.getsize(args.tm_file) / 1e6
    base_rss = _peak_mb()
    start = time.perf_counter()
    f = k814util.open(args.tm_file)
    bind = time.perf_counter() - start
    n = len(f)
    rss = _peak_mb()

    get_pkt = f.get_pkt
    start = time.perf_counter()
    for i in range(n):
        get_pkt(i)
    packets_only = time.perf_counter() - start

    hkid = args.hkid
    start = time.perf_counter()
    values = []
    for i in range(n):
        for point in get_pkt(i).all_eng_data(hkid):
            values.append(point.value)
    extract = time.perf_counter() - start

    extract_rss = _peak_mb()

    # The baselines come last so that their buffers do not count in the peaks above.
    start = time.perf_counter()
    with open(args.tm_file, "rb") as fh:
        fh.read()
    floor = time.perf_counter() - start

    start = time.perf_counter()
    by_hand = _by_hand(args.tm_file, args.type, args.offset)
    hand = time.perf_counter() - start

    print(f"file: {n} packets, {size_mb:.1f} MB")
    print(f"  bind (open):            {bind:8.3f} s  {n / bind:12,.0f} packets/s")
    print(f"  read() of the bytes:    {floor:8.3f} s  ratio bind/read {bind / floor:8.1f}")
    print(f"  peak RSS: {rss:.0f} MB ({rss - base_rss:.0f} MB added by binding)")
    print(f"extract item {hkid}: {len(values)} values from {n} packets")
    print(f"  get_pkt(i).all_eng_data: {extract:8.3f} s  {n / extract:12,.0f} packets/s")
    print(f"  get_pkt(i) alone:        {packets_only:8.3f} s  ratio {extract / packets_only:6.2f}")
    print(f"  struct walk by hand:     {hand:8.3f} s  ratio {extract / hand:6.2f}")
    print(f"  peak RSS after extracting: {extract_rss:.0f} MB")
    same = len(by_hand) == len(values) and all(abs(a - b) < 1e-9 for a, b in zip(by_hand, values))
    print(f"  values agree with the hand walk: {'yes' if same else 'NO'}")


if __name__ == "__main__":
    main()
