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


# --- the science stream -------------------------------------------------------------------------


def _tarn(manifest):
    return next(r for r in manifest["runs"] if r["mission"] == "tarn")


def _packets(run) -> list[bytes]:
    """The intact packets of the TARN file, split by hand: known damage is skipped by trying
    each offset until a length and checksum fit."""
    data = Path(run["tm_file"]).read_bytes()
    out, pos = [], 0
    while pos + 12 <= len(data):
        length = struct.unpack_from(">H", data, pos + 2)[0]
        end = pos + 8 + length
        if end + 4 <= len(data) and struct.unpack_from(">I", data, end)[0] == tom_checksum(
            data[pos:end]
        ):
            out.append(data[pos : end + 4])
            pos = end + 4
        else:
            pos += 1
    return out


def _science_scan(packets: list[bytes]) -> dict:
    """A scan read straight from its packets' bytes: segments, counts and per-scan values."""
    first = packets[0]
    kind, d = first[0], first[8:-4]
    if kind == 26:
        segments, counts = [], []
        for p in packets:
            d = p[8:-4]
            n = min((struct.unpack_from(">H", d, 4)[0] - 9) & 0xFFFF, 100)
            segments.append((struct.unpack_from(">H", d, 6)[0] - 1, n))
            counts += list(d[15 : 15 + n])
        return {"segments": segments, "counts": counts, "summed": 1, "version": 0, "block": {}}
    summed, version = d[1] & 0x3F, d[1] >> 6 if kind == 27 else 0
    n_seg = struct.unpack_from(">H", d, 2)[0]
    starts = [struct.unpack_from(">H", d, 4 + 8 * i)[0] - 1 for i in range(n_seg)]
    at = 4 + 8 * n_seg
    block = {}
    if version == 1:
        block["scan_tics"] = list(struct.unpack_from(f">{summed}I", d, at))
        at += 4 * summed
    elif version >= 2:
        recs = [struct.unpack_from(">IHf", d, at + 10 * i) for i in range(summed)]
        block = {
            k: [r[j] for r in recs] for j, k in enumerate(("scan_tics", "mbc_sics", "c_factors"))
        }
        at += 10 * summed
    width = 2 if kind == 27 else 1
    rest = (len(d) - at) & 0xFFFF  # any padding stays in, as the reader counts
    total = min(rest // width, 100 * n_seg)
    if version >= 2 and summed % 2:
        at += 2
    sizes = [100] * (n_seg - 1) + [total % 100 or 100]
    counts = []
    for i, n in enumerate(sizes):
        off = at + 100 * width * i
        counts += list(struct.unpack_from(f">{n}{'H' if width == 2 else 'B'}", d, off))
    return {
        "segments": list(zip(starts, sizes)),
        "counts": counts,
        "summed": summed,
        "version": version,
        "block": block,
    }


def test_science_packets_spell_the_manifest_scans(archive):
    _, manifest = archive
    run = _tarn(manifest)
    packets = _packets(run)
    assert len(packets) == run["packets"]
    science = run["science"]
    assert science["scan_count"] == len(science["scans"]) > 15
    for scan in science["scans"]:
        got = _science_scan([packets[i] for i in scan["packet_indexes"]])
        segments = [
            (start + n * k, n) for start, n, repeat in scan["segments"] for k in range(repeat)
        ]
        assert got["segments"] == segments, scan["index"]
        assert sum(n for _, n in segments) == scan["bins"]
        counts = got["counts"]
        bins = [b for s, n in segments for b in range(s, s + n)]
        if scan["counts"] is not None:
            assert counts == scan["counts"], scan["index"]
        assert sum(counts) == scan["count_sum"]
        assert max(counts) == scan["count_max"]
        assert bins[counts.index(max(counts))] == scan["max_bin"]
        assert sum(b * c for b, c in zip(bins, counts)) == scan["weighted_sum"]
        assert all(counts[bins.index(b)] == c for b, c in scan["samples"])
        assert (got["summed"], got["version"]) == (scan["summed_scans"], scan["version"])
        for key in ("scan_tics", "mbc_sics", "c_factors"):
            assert got["block"].get(key, []) == scan[key], (scan["index"], key)
        assert all(packets[i][0] == scan["packet_type"] for i in scan["packet_indexes"])
        # What the scan attaches is of the kind it claims.
        for key, kind in (
            ("seb_hk", 22),
            ("laser_pulses", 15),
            ("laser_status", 16),
            ("gc_hk", 14),
        ):
            assert scan[key] == -1 or packets[scan[key]][0] == kind, (scan["index"], key)
        assert all(packets[i][0] == 25 for i in scan["status_indexes"])
        assert all(packets[i][0] == 23 for i in scan["seb_sequence_indexes"])


def _db_rows(root: Path) -> dict[int, list[str]]:
    lines = (root / "TMDef" / "tarn" / "TAR_TM_Database.txt").read_text().splitlines()
    columns = lines[0].split("\t")
    rows = {}
    for line in lines[1:]:
        if not line.startswith("#"):
            cells = dict(zip(columns, line.split("\t")))
            rows[int(cells["DATA_ID"])] = cells
    return rows


def test_scan_statuses_hold_their_values_where_the_database_and_dac_table_say(archive):
    root, manifest = archive
    run = _tarn(manifest)
    packets = _packets(run)
    rows = _db_rows(root)
    dac = {}
    for line in (root / "TMDef" / "tarn" / "TAR_DAC_Conversions.txt").read_text().splitlines():
        if not line.startswith("#"):
            f = line.split("\t")
            dac[int(f[0])] = (int(f[3]), int(f[4], 16), int(f[5]), float(f[6]), float(f[7]))
    assert dac[0][:1] and sorted(dac) == list(range(16))

    def raw(p, data_id):
        r = rows[data_id]
        at, size = 8 + int(r["DECODE_ID1"]), int(r["DECODE_ID2"])
        return int.from_bytes(p[at : at + size], "big")

    def sci(p, data_id):
        r = rows[data_id]
        return float(r["SCI_K1"]) + float(r["SCI_K2"]) * raw(p, data_id)

    def volts(row, value):
        bits, mask, signed, offset, scale = dac[row]
        value &= mask
        if signed and value >> (bits - 1):
            value -= 1 << bits
        return (value - offset) / scale

    statuses = run["science"]["statuses"]
    assert {s["fate"] for s in statuses} >= {"used", "late", "stale"}
    for s in statuses:
        p = packets[s["index"]]
        assert p[0] == 25 and len(p) == 8 + 200 + 4
        assert raw(p, 251) == s["phase_cycle"]
        assert raw(p, 204) == raw(p, 256) == s["bin_count"]
        assert sci(p, 245) == pytest.approx(s["bin_time_us"])
        assert sci(p, 239) == pytest.approx(s["ion_time_ms"])
        assert volts(0, p[50]) == pytest.approx(s["em_a_setting_v"])  # DAC settings 0 and 1
        assert volts(1, p[51]) == pytest.approx(s["em_b_setting_v"])
        assert volts(6, p[34]) == pytest.approx(s["src_a_focus_a_readback_v"])  # readback 6
        assert volts(13, struct.unpack_from(">H", p, 8 + 60)[0]) == pytest.approx(s["rf_dac_end"])
    # Every phase cycle a scan uses has its own entry in the run's mass calibration.
    used = {s["phase_cycle"] for s in run["science"]["scans"]} - {-1}
    assert used and used <= {int(k) for k in run["mcal"]["entries"]}


def test_science_stream_covers_every_rule(archive):
    _, manifest = archive
    scans = _tarn(manifest)["science"]["scans"]
    ends = {s["ended_by"] for s in scans}
    assert ends == {
        "counter_first_scan",
        "counter_same_bins",
        "lower_first_bin",
        "closing_byte",
        "built_at_once",
    }
    singles = [s["bins"] for s in scans if s["kind"] == "single"]
    assert min(singles) == 1000 and max(singles) == 20000
    summed = [s for s in scans if s["kind"] == "summed"]
    assert {s["version"] for s in summed} == {0, 1, 2, 3}
    assert any(s["version"] >= 2 and s["summed_scans"] % 2 for s in summed)  # padded
    assert {s["mode"] for s in scans} == {"EI", "Dark", "LDI"}
    assert {s["ion_source"] for s in scans} == {0, 1, 2}
    assert any(s["em_on_ms"][0] > 0 for s in scans) and any(s["em_on_ms"][1] > 0 for s in scans)
    assert any(len(s["status_indexes"]) < s["summed_scans"] for s in summed)
    assert any(s["kind"] == "aggregated" and s["summed_scans"] > 1 for s in scans)
    assert _tarn(manifest)["science"]["unfinished"]


@pytest.mark.parametrize(
    ("tic", "c_factors", "statuses", "version", "summed", "expected"),
    [
        # Worked by hand: EM_B raw 0xA4 (-92) / -0.0425 = 2164.706 V; focus raw 172 / -2.55 =
        # -67.451 V, exp(0.549 * -0.0992) = 0.94699; 1e4 * 1000 / (12.5 * 2164.706 * 0.94699).
        ([1000], [], [(0xA4, 172, 1250)], 0, 1, 390.25094),
        # Two summed scans: one term per status, each with its own TIC.
        ([1000, 500], [], [(0xA4, 172, 1250), (0xA4, 172, 2500)], 1, 2, 390.25094 * 1.25),
        # Version 2: the packet's own factors, statuses or not alike.
        ([100, 200], [1.25, 0.75], [(0xA4, 172, 1250)], 2, 2, 275.0),
        ([100, 200], [1.25], [(0xA4, 172, 1250)], 2, 2, 0.0),
        ([1000], [], [], 0, 1, 0.0),  # no status
        ([1000], [], [(0xA4, 172, 1250)] * 2, 0, 2, 0.0),  # one TIC for two statuses
        ([1000], [], [(0, 172, 1250)], 0, 1, 0.0),  # EM_B at 0 V
        ([1000], [], [(0xA4, 172, 0)], 0, 1, 0.0),  # no ionisation time
    ],
)
def test_corrected_tic_model_by_hand(tic, c_factors, statuses, version, summed, expected):
    from k814util.sample import science
    from k814util.sample.tmdefs import tarn_mission

    sts = [
        science.Status(1, 0, 100.0, ion / 100, 100, 0, em_settings=(200, em), src_a_focus=focus)
        for em, focus, ion in statuses
    ]
    value, factor = science.corrected_tic(
        tarn_mission(), tic, c_factors, sts, version, summed, 2 * sum(tic)
    )
    assert value == pytest.approx(expected, rel=1e-6)
    # The factor turns the scan's counts (here twice its TICs) into corrected counts.
    assert factor * 2 * sum(tic) == pytest.approx(expected, rel=1e-6)


def test_corrected_tic_of_the_scans_is_what_the_manifest_works_out(tarn_run):
    """The scan objects and the spectra table against the corrected TIC the generator works out
    from the statuses it wrote."""
    pytest.importorskip("k814util.k814util")
    import k814util

    designed = tarn_run["science"]["scans"]
    want = [s["corrected_tic"] for s in designed]
    # The sample's instrument reports what the correction needs: every scan with a status and a
    # TIC per status has a positive corrected TIC, of the order of its counts.
    for s in designed:
        has_all = s["status_indexes"] and (
            s["version"] == 2 or len(s["tic"]) == len(s["status_indexes"])
        )
        assert (s["corrected_tic"] > 0) == bool(has_all) and s["corrected_tic"] >= 0, s["index"]
        if has_all:
            assert 0.1 < s["corrected_tic"] / sum(s["tic"]) < 10, s["index"]
    assert sum(w > 0 for w in want) > 2 * len(want) / 3
    scans = k814util.scans(tarn_run["tm_file"])
    assert [s.corrected_total_ion_count() for s in scans] == pytest.approx(want, rel=1e-9)
    assert [s.corrected_total_ion_count_factor() for s in scans] == pytest.approx(
        [s["corrected_tic_factor"] for s in designed], rel=1e-9
    )
    sp = k814util.spectra(tarn_run["tm_file"])
    assert sp.columns()["corrected_tic"].tolist() == pytest.approx(want, rel=1e-9)
    pytest.importorskip("pandas")
    assert sp.table()["corrected_tic"].tolist() == pytest.approx(want, rel=1e-9)


def test_bulk_file_is_mostly_science_with_good_checksums(tmp_path):
    manifest = generate_archive(tmp_path, tarn_min_packets=5000)
    run = _tarn(manifest)
    packets = _packets(run)
    assert len(packets) == run["packets"] == 5000
    assert Path(run["tm_file"]).stat().st_size == sum(len(p) for p in packets)
    by_type = {}
    for p in packets:
        by_type[p[0]] = by_type.get(p[0], 0) + 1
    assert {str(k): v for k, v in sorted(by_type.items())} == run["packets_by_type"]
    assert sum(by_type.get(t, 0) for t in (25, 26, 27, 28)) > 0.95 * len(packets)
    # The clock is known before the first science packet.
    assert [p[0] for p in packets[:2]] == [0x83, 2]
    assert run["science"]["scan_count"] > 0


# Decoder types of the TARN custom decoders: 203, 204 and 207 to 250.
CUSTOM_TYPES = {203, 204, *range(207, 251)}


def test_custom_decoder_items_sit_in_their_packets_and_rows(archive):
    root, manifest = archive
    run = _tarn(manifest)
    packets, rows, items = _packets(run), _db_rows(root), run["custom_items"]
    by_type = {int(r["DECODE_TYPE"]): r for r in rows.values() if int(r["DATA_ID"]) >= 2000}
    assert set(by_type) >= CUSTOM_TYPES
    assert all(int(by_type[t]["DATA_ID"]) == 2000 + t for t in CUSTOM_TYPES)
    assert {i["decode_type"] for i in items if i["values"]} == CUSTOM_TYPES
    limits = {}
    for line in (root / "TMDef" / "tarn" / "tm_packet_types.txt").read_text().splitlines()[1:]:
        cells = [c.strip() for c in line.split(",")]
        limits[int(cells[0])] = (int(cells[3]), int(cells[4]))
    for item in items:
        p = packets[item["packet_index"]]
        assert p[0] == item["packet_type"] == int(rows[item["hkid"]]["PACKET_TYPE"])
        low, high = limits[p[0]]
        assert low <= struct.unpack_from(">H", p, 2)[0] <= high
        if item["offsets"] is not None:
            unix = run["expected"][item["packet_index"]]["unix"]
            assert len(item["offsets"]) == len(item["values"]) == len(item["unix"])
            assert item["unix"] == pytest.approx([unix + t for t in item["offsets"]], abs=1e-9)
    # The packets of their own types come after the last completed scan and before the one
    # still open at the end, so they change no scan.
    own = [i["packet_index"] for i in items if i["packet_type"] not in (15, 27, 28)]
    scans = run["science"]["scans"]
    last = max(max(s["packet_indexes"] + s["status_indexes"]) for s in scans)
    assert last < min(own) and max(own) < min(run["science"]["unfinished"])


def test_custom_decoder_models_by_hand():
    from k814util.sample import custom

    # One laser sample, range 0 and gain 1, x = 1000: each table's calibration of that pair.
    word = (0 << 14) | (1 << 12) | 1000
    sample = struct.pack(">HH", 1, 0) + struct.pack(">IHHI", 5000, word, 0, 0)
    for decode_type, energy in ((217, 18.94711), (218, 21.5), (219, 19.92179), (242, 22.512)):
        assert custom.energies(sample, decode_type, 6000) == (
            [pytest.approx(energy, abs=1e-9)],
            [-0.1],
        )
    # MAIF base time: stamped only in a long packet whose status, masked, is above 0x2B00.
    long_new = bytearray(470)
    long_new[3:5] = (16000).to_bytes(2, "little")
    long_new[33:35] = b"\x2c\xff"
    long_old = bytearray(long_new)
    long_old[33:35] = b"\x2b\xff"
    assert custom.maif_base(bytes(long_new)) == (5, -0.5)
    assert custom.maif_base(bytes(long_old)) == (3, -1.0)
    assert custom.maif_base(bytes(long_new[:468])) == (3, -1.0)
    # Micro-Pirani extremes: ties go to the earlier record, and a first record that stays the
    # best keeps the packet's own time.
    records = [(5, 10), (7, 20), (7, 30), (5, 40)]
    d = struct.pack(">HH", 4, 0) + b"".join(struct.pack(">HH8x", s, v) for v, s in records)
    assert custom.pirani_hi(d) == ([7.0], [pytest.approx(0.003)])
    assert custom.pirani_lo(d) == ([5.0], [0.0])
    assert custom.pirani_avg(d) == ([6.0], [pytest.approx(0.005)])
