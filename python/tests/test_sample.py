import json
import re
import struct
from pathlib import Path

import pytest
from k814util.sample import ccsds_packet, generate_archive, tom_checksum, tom_packet
from k814util.sample.tmdefs import EXTRA_COLUMNS, TMDB_COLUMNS


@pytest.mark.parametrize(
    ("data", "expected"),
    [
        # Worked by hand: word 0x0102, then the odd byte 0x03 as 0x0300.
        (b"\x01\x02\x03", 0x05040402),
        (b"", 0xFFFFFFFF),
        (b"\x80", 0x80008000),
        # 0xFFFF + 0xFFFF folds to 0xFFFF: the sums stay put however many such words come.
        (b"\xff\xff" * 1000, 0xFFFFFFFF),
    ],
)
def test_tom_checksum_hand_values(data, expected):
    assert tom_checksum(data) == expected


def test_tom_checksum_new_start():
    assert tom_checksum(b"\x12\x34", start=(1, 0)) == 0x12351235


def test_tom_packet_layout():
    p = tom_packet(0x85, 0x1FE, 0xA1B2C3D4, b"\x07\x01\x02")
    assert p[:8] == bytes([0x85, 0xFE, 0x00, 0x03, 0xA1, 0xB2, 0xC3, 0xD4])
    assert p[8:11] == b"\x07\x01\x02"
    assert struct.unpack(">I", p[-4:])[0] == tom_checksum(p[:-4])
    with pytest.raises(ValueError):
        tom_packet(0x100, 0, 0, b"")
    with pytest.raises(ValueError):
        tom_packet(1, 0, 0, bytes(0x10000))


def test_ccsds_packet_layout():
    p = ccsds_packet(0x123, 0, bytes(14))
    assert p[:6] == bytes([0x09, 0x23, 0xC0, 0x00, 0x00, 0x0D])
    p = ccsds_packet(0x7A5, 0x3C3C, b"\x00", secondary_header=False, segment_flags=2)
    assert p == bytes([0x07, 0xA5, 0xBC, 0x3C, 0x00, 0x00, 0x00])
    for bad in (dict(apid=0x800, sequence=0, data=b"x"), dict(apid=1, sequence=0, data=b"")):
        with pytest.raises(ValueError):
            ccsds_packet(**bad)


def _tree(root: Path) -> dict:
    return {
        str(p.relative_to(root)): p.read_bytes()
        for p in sorted(root.rglob("*"))
        if p.is_file() and p.name not in (".814config.INI", "manifest.json")
    }


def test_archive_is_reproducible(tmp_path):
    generate_archive(tmp_path / "a")
    generate_archive(tmp_path / "b")
    a, b = _tree(tmp_path / "a"), _tree(tmp_path / "b")
    assert a.keys() == b.keys()
    assert all(a[k] == b[k] for k in a)
    ini_a = (tmp_path / "a" / ".814config.INI").read_text()
    ini_b = (tmp_path / "b" / ".814config.INI").read_text()
    assert ini_a.replace(str((tmp_path / "a").resolve()), "ROOT") == ini_b.replace(
        str((tmp_path / "b").resolve()), "ROOT"
    )


def test_archive_layout(archive):
    root, manifest = archive
    ini = (root / ".814config.INI").read_text()
    assert "[814]\ndefault_group=TARN_FM\n" in ini
    for run in manifest["runs"]:
        assert re.fullmatch(r"\d{4}-\d\d-\d\d-\d\d\.\d\d\.\d\d-\d{5}-\w+", run["tid_dir"])
        tm = Path(run["tm_file"])
        assert tm.parent.name == run["tid_dir"]
        assert tm.stat().st_size == run["bytes"]
        assert sum(run["packets_by_type"].values()) == run["packets"]
        meta = json.loads((tm.parent / "tm.meta").read_text())
        assert meta["gse"]["version"] == 3
        assert meta["gse"]["tid_dir"] == run["tid_dir"]
        assert meta["gse"]["tmfile_name"] == tm.name
        # Every path the group names exists.
        section = ini.split(f"[{run['group']}]\n", 1)[1].split("\n\n", 1)[0]
        for line in section.splitlines():
            key, value = line.split("=", 1)
            assert Path(value).exists(), key
    db = (root / "TMDef" / "tarn" / "TAR_TM_Database.txt").read_text().splitlines()
    header = db[0].split("\t")
    assert header[:-1] == TMDB_COLUMNS + EXTRA_COLUMNS and len(TMDB_COLUMNS) == 44
    assert re.fullmatch(r"\$Revision: \d+ \$", header[-1])
    rows = {int(line.split("\t")[4]) for line in db[1:] if not line.startswith("#")}
    # Every item the TARN support refers to by number is defined.
    wanted = {17, 18, 86, 102, 105, 831, *range(201, 257), *range(351, 357), 526, 527, 528}
    wanted |= {550, 551, 552, *range(1087, 1095)}
    assert wanted <= rows


def test_tarn_stream_is_intact_packets_plus_the_damage(archive):
    import random

    from k814util.sample.streams import DAMAGE, TARN_MISSION_EPOCH_UNIX, tarn_stream
    from k814util.sample.tmdefs import tarn_mission

    _, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    stream = list(
        tarn_stream(tarn_mission(), run["start_unix"], run["tid_dir"], 120, random.Random(12345))
    )
    # The file is exactly the stream's bytes, in order.
    assert b"".join(e.data for e in stream) == Path(run["tm_file"]).read_bytes()
    damage = [e for e in stream if e.kind == DAMAGE]
    intact = [e for e in stream if e.kind != DAMAGE]
    assert [len(d.data) for d in damage] == [7, 76, 15]
    assert len(intact) == run["packets"]
    for e in intact:
        length = struct.unpack_from(">H", e.data, 2)[0]
        assert len(e.data) == 12 + length
        assert struct.unpack_from(">I", e.data, 8 + length)[0] == tom_checksum(e.data[:-4])
    # Time packets state the mission time of their tick: the intended time of the packet.
    for e in intact:
        if e.kind == 2:
            secs, subsecs, tick = struct.unpack_from(">IHI", e.data, 9)
            tick0 = TARN_MISSION_EPOCH_UNIX + secs + subsecs / 65536 - tick / 10000
            ticks = struct.unpack_from(">I", e.data, 4)[0]
            assert abs(tick0 + ticks / 10000 - e.unix) < 2e-5
    # The processor restart at 80 s: a boot-loader message with a small tick count.
    boot = next(e for e in intact if e.kind == 8 and b"Boot Loader" in e.data)
    assert struct.unpack_from(">I", boot.data, 4)[0] < 10000
    assert run["packets_by_type"]["2"] == 10  # at 10, 20, ... 110 s, except 80 s (the restart)


def test_large_switch(tmp_path):
    manifest = generate_archive(tmp_path, tarn_min_packets=2000)
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    assert run["packets"] == 2000


@pytest.mark.parametrize(
    ("kwargs", "value", "expected"),
    [
        (dict(offset=1, size=2), 0x1234, "00 12 34 00 00"),
        (dict(offset=1, size=2, byte_order="1:2"), 0x1234, "00 34 12 00 00"),
        (dict(offset=0, size=4), 0xA1B2C3D4, "a1 b2 c3 d4 00"),
        # Masked fields share their byte: bits outside the mask stay as they were.
        (dict(offset=2, size=1, mask=0x06, shift=1), 3, "ff ff ff ff ff"),
        (dict(offset=2, size=1, mask=0x06, shift=1), 0, "ff ff f9 ff ff"),
        (dict(offset=0, size=1, array_length=3), [1, 2, 3], "01 02 03 00 00"),
        (dict(offset=1, size=-4), "hi", "00 68 69 00 00"),
    ],
)
def test_place_puts_values_where_the_database_says(kwargs, value, expected):
    from k814util.sample.streams import place
    from k814util.sample.tmdefs import Item

    buf = bytearray(b"\xff" * 5) if kwargs.get("mask") else bytearray(5)
    place(buf, Item(1, "S", "N", "", 22, **kwargs), value)
    assert buf.hex(" ") == expected
