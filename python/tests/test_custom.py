"""TARN items of the instrument's own decoders (MAIF, micro-Pirani, RSIM, rover bus, laser, GC,
SEB channels, values combined from other items) read as scripts read them, against the values
the sample generator worked out from the bytes it wrote."""

import subprocess
import sys

import pytest

pytest.importorskip("k814util.k814util")

import k814util

TICK = 1 / 65536  # packet times resolve to the clock's 1/65536 s


def test_every_custom_item_as_written(tarn_run):
    items = tarn_run["custom_items"]
    f = k814util.open(tarn_run["tm_file"])
    types = {e["decode_type"] for e in items}
    assert types == set(range(203, 251)) - {205, 206}  # every registered type
    for e in items:
        p = f[e["packet_index"]]
        where = (e["decode_type"], e["hkid"], e["packet_index"])
        assert p.get_type() == e["packet_type"], where
        got = p.all_raw_data(e["hkid"])
        assert [d.value for d in got] == pytest.approx(e["values"], rel=1e-9, abs=1e-9), where
        if e["unix"] is not None:
            assert [d.unix_timestamp for d in got] == pytest.approx(e["unix"], abs=TICK), where


def test_console_values_of_a_custom_item(tarn_run, archive):
    """`k814util values` lists a custom item's values of every packet, as scripts get them."""
    root, _ = archive
    hkid = next(e["hkid"] for e in tarn_run["custom_items"] if e["decode_type"] == 211)
    want = [
        (e["packet_index"], v)
        for e in sorted(tarn_run["custom_items"], key=lambda e: e["packet_index"])
        if e["hkid"] == hkid
        for v in e["values"]
    ]
    assert len(want) > 500  # a whole block and a cut one
    res = subprocess.run(
        [sys.executable, "-m", "k814util", "values", tarn_run["tm_file"], str(hkid)]
        + ["--mode", "raw", "--ini", str(root / ".814config.INI")],
        capture_output=True,
        text=True,
        check=False,
    )
    assert res.returncode == 0, res.stderr
    rows = [line.split(",") for line in res.stdout.splitlines()[1:]]
    assert [(int(r[0]), float(r[3])) for r in rows] == want
