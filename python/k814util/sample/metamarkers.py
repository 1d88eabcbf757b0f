"""Meta-marker rule files of the sample archive (TARN): every trigger type, a test-state
condition, a rule for another test, a duplicate id and a file that fails validation."""

from __future__ import annotations

import json


def _marker(marker_id: int, offset: float = 0.0, **states: bool) -> dict:
    return {"type": "marker", "marker": marker_id, "offset_in_seconds": offset, **states}


def _message(regex: str, case_sensitive: bool = False, offset: float = 0.0) -> dict:
    return {
        "type": "message",
        "regex": regex,
        "case_sensitive": case_sensitive,
        "offset_in_seconds": offset,
    }


def _rule(rule_id: int, text: str, start: list, end: list, tids: str = "12340-12350") -> dict:
    return {
        "tids": tids,
        "meta_marker_id": rule_id,
        "meta_marker_text": text,
        "start_conditions": start,
        "end_conditions": end,
    }


RULES = [
    _rule(50001, "warm-up", [_marker(1)], [{"type": "next_marker"}]),
    _rule(
        50002,
        "scan sequence loaded",
        [_message(r"scan sequence \d+ loaded")],
        [{"type": "duration", "number_of_seconds": 10}],
    ),
    _rule(
        50003,
        "SEB test window",
        [_marker(2, seb_test_enabled=True)],
        [_marker(4, offset=-1.0)],
    ),
    _rule(
        50004,
        "after the SEB test",
        [_marker(4, seb_test_enabled=False)],
        [{"type": "duration", "number_of_seconds": -20}],
    ),
    _rule(
        50005,
        "processor restart",
        [_message("boot loader")],
        [_message("SEB status nominal", case_sensitive=True)],
    ),
    _rule(50006, "another test", [_marker(1)], [{"type": "next_marker"}], tids="1-5"),
    _rule(50001, "duplicate id", [_marker(3)], [{"type": "next_marker"}]),
]


def rules_text() -> str:
    return json.dumps({"meta_markers": RULES}, indent=2) + "\n"


def broken_rules_text() -> str:
    """Valid JSON whose only rule has an id outside the meta-marker range."""
    rule = _rule(49999, "out of range", [_marker(1)], [{"type": "next_marker"}])
    return json.dumps({"meta_markers": [rule]}, indent=2) + "\n"
