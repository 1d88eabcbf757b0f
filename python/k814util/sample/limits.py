"""Housekeeping items with limits, their values with violations planted at known seconds, and
the limit-violation spans those values make, worked out here from the values themselves.

Three items ride in the free end of each mission's housekeeping packet (TARN type 22, VIREO
APID 704), between them limits in each value mode and with each comparison:

- ``LIM:PRESSURE``, set 1 raw above 1000 (yellow) / 2000 (red), persistence 3: yellow from 20 s
  to 29 s with a red stretch from 24 s to 26 s inside it, exactly at the yellow limit at 10 s
  (no violation), and two samples above yellow at 40 s and 41 s, fewer than the persistence,
  which no report lists; set 2 engineering (0.1 per count) below 30 / 20: yellow from 60 s to
  64 s.
- ``LIM:CURRENT``, set 1 science (0.01 per count) above 30 / 40; set 2 raw not equal to 1000:
  one sample off at 30 s, and from six seconds before the end of the test to its end both sets
  are violated and the spans are still open when the file ends.
- ``LIM:STATE``, set 1 raw equal to 3 (yellow) / 4 (red): 3 from 50 s to 52 s, 4 at 53 s.
"""

from __future__ import annotations

import dataclasses
from dataclasses import dataclass

from k814util.sample.tmdefs import Item, _num

PRESSURE, CURRENT, STATE = "LIM:PRESSURE", "LIM:CURRENT", "LIM:STATE"

# Limit type codes: value mode in bits 0-1 (1 raw, 2 engineering, 3 science), comparison in
# bits 2-3 (0 below, 1 above, 2 equal, 3 not equal).
RAW, ENG, SCI = 1, 2, 3
BELOW, ABOVE, EQUAL, NOT_EQUAL = 0, 1, 2, 3
MODE_NAMES = {RAW: "raw", ENG: "eng", SCI: "sci"}
COMPARISON_NAMES = {BELOW: "below", ABOVE: "above", EQUAL: "equal", NOT_EQUAL: "not equal"}

ENG_PER_COUNT = 0.1
SCI_PER_COUNT = 0.01
OPEN_SECONDS = 6


@dataclass
class LimitItem(Item):
    """An item whose sets may lack a red limit (a set is (type, yellow) or (type, yellow,
    red)) and whose LIMITS cell gives the persistence of its sets."""

    persistence: tuple = (1, 1)

    def cells(self, header: int = 0) -> dict:
        cells = Item.cells(dataclasses.replace(self, limits=()), header)
        for n, limit in enumerate(self.sets(), 1):
            cells[f"LIMIT_TYPE_{n}"] = str(limit[0])
            cells[f"YELLOW_LIMIT_{n}"] = _num(limit[1])
            if len(limit) > 2:
                cells[f"RED_LIMIT_{n}"] = _num(limit[2])
        given = {f"persistence_{n}": p for n, p in enumerate(self.persistence, 1) if p != 1}
        if given:
            cells["LIMITS"] = "{" + ", ".join(f'"{k}": {v}' for k, v in given.items()) + "}"
        return cells

    def sets(self) -> list[tuple]:
        return [tuple(x) for x in self.limits if x]


def items(first_id: int, packet_type: int, offset: int) -> list[LimitItem]:
    """The three items, with ids from first_id, at offset (from the packet's first byte) on."""
    return [
        LimitItem(
            first_id,
            "LIM",
            "PRESSURE",
            "chamber pressure gauge",
            packet_type,
            offset,
            eng=(1, 0.0, ENG_PER_COUNT),
            units="counts",
            limits=((RAW | ABOVE << 2, 1000.0, 2000.0), (ENG | BELOW << 2, 30.0, 20.0)),
            persistence=(3, 1),
        ),
        LimitItem(
            first_id + 1,
            "LIM",
            "CURRENT",
            "heater current",
            packet_type,
            offset + 2,
            sci=(1, 0.0, SCI_PER_COUNT),
            units="A",
            limits=((SCI | ABOVE << 2, 30.0, 40.0), (RAW | NOT_EQUAL << 2, 1000.0)),
        ),
        LimitItem(
            first_id + 2,
            "LIM",
            "STATE",
            "heater controller state",
            packet_type,
            offset + 4,
            limits=((RAW | EQUAL << 2, 3.0, 4.0),),
        ),
    ]


def values(second: int, seconds: int) -> dict[str, int]:
    """The raw values of the housekeeping packet of test second ``second`` of ``seconds``."""
    pressure = 500
    if second == 10:
        pressure = 1000  # exactly at the yellow limit: not above it
    elif 20 <= second <= 29:
        pressure = 2500 if 24 <= second <= 26 else 1500
    elif second in (40, 41):
        pressure = 1500  # two samples: fewer than the persistence of 3
    elif 60 <= second <= 64:
        pressure = 250  # 25 in engineering units: below 30, not below 20
    current = 1000
    if second == 30:
        current = 1001
    elif second >= seconds - OPEN_SECONDS:
        current = 3500  # 35 A
    state = {50: 3, 51: 3, 52: 3, 53: 4}.get(second, 0)
    return {PRESSURE: pressure, CURRENT: current, STATE: state}


def _sets(item: LimitItem) -> list[tuple[int, int, int, float, float | None]]:
    """(set, mode, comparison, yellow, red) of each set the item has."""
    out = []
    for n, (code, yellow, *red) in enumerate(item.sets(), 1):
        out.append((n, code & 3, code >> 2 & 3, yellow, red[0] if red else None))
    return out


def _convert(item: Item, mode: int, raw: float) -> float:
    if mode == ENG:
        return item.eng[1] + item.eng[2] * raw
    if mode == SCI:
        return item.sci[1] + item.sci[2] * raw
    return raw


def _violates(comparison: int, value: float, limit: float) -> bool:
    return {
        BELOW: value < limit,
        ABOVE: value > limit,
        EQUAL: value == limit,
        NOT_EQUAL: value != limit,
    }[comparison]


def _beyond(comparison: int, value: float, limit: float) -> float:
    return {BELOW: limit - value, ABOVE: value - limit, EQUAL: 0.0}.get(
        comparison, abs(value - limit)
    )


def expected_spans(item: LimitItem, samples: list[tuple[int, float, int]]) -> list[dict]:
    """The spans of item's values: samples are (packet index, unix time, raw value) in packet
    order. Each span: set, level, comparison, value mode, limit, first and last packet, unix
    start and end, samples, worst value and its unix time, open; in the order the report
    lists them (by first sample, set, yellow before red)."""
    spans = []
    for n, mode, comparison, yellow, red in _sets(item):
        for level, limit in (("yellow", yellow), ("red", red)):
            if limit is None:
                continue
            common = {
                "id": item.data_id,
                "mnemonic": item.key,
                "set": n,
                "level": level,
                "value_mode": MODE_NAMES[mode],
                "comparison": COMPARISON_NAMES[comparison],
                "limit": limit,
            }
            values = [(i, unix, _convert(item, mode, raw)) for i, unix, raw in samples]
            for run, is_open in _runs(values, comparison, limit):
                if len(run) < item.persistence[n - 1]:
                    continue
                worst = run[0]
                for s in run:
                    if _beyond(comparison, s[2], limit) > _beyond(comparison, worst[2], limit):
                        worst = s
                spans.append(
                    common
                    | {
                        "first_packet": run[0][0],
                        "last_packet": run[-1][0],
                        "start_unix": run[0][1],
                        "end_unix": run[-1][1],
                        "samples": len(run),
                        "worst": worst[2],
                        "worst_unix": worst[1],
                        "open": is_open,
                    }
                )
    spans.sort(key=lambda s: (s["first_packet"], s["set"], s["level"] == "red"))
    return spans


def _runs(values: list, comparison: int, limit: float):
    """(run, open) for each stretch of consecutive values that violate the limit."""
    run: list = []
    for sample in values:
        if _violates(comparison, sample[2], limit):
            run.append(sample)
        elif run:
            yield run, False
            run = []
    if run:
        yield run, True
