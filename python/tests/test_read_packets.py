"""read_packets on files without a test directory: the shared CCSDS samples against their
README's packet counts, damaged copies, and the sample archive's files against its manifest."""

import re
from collections import Counter
from pathlib import Path

import numpy as np
import pytest

import k814util

pytest.importorskip("k814util.k814util")

CCSDS = Path(__file__).resolve().parents[3] / "shared" / "data" / "ccsds"
HS_SIM = "hs_sim_apid895/SSAT1_2015-180-00-00-00_2015-180-01-59-56_895_1_sim.tlm"
SUDA_LENGTHS = [304, 4080, 4080, 2908, 4080, 4080, 2908, 4080, 4080, 2908, 1072, 1072, 1072]

# Packets per APID as the data README counts them.
README_COUNTS = {
    "cygnss/CYGNSS_F7_L0_2022_086_10_15_V01_F__first101pkts.tlm": {
        384: 4,
        386: 4,
        391: 1,
        392: 4,
        393: 40,
        394: 39,
        1313: 9,
    },
    "europa_clipper_ecm/ecm_raw2.bin": {1216: 944, 1217: 4, 1219: 22, 1223: 22, 1227: 22, 1232: 16},
    "ctim/ccsds_2021_155_14_39_51": {
        1: 104,
        20: 6,
        32: 104,
        33: 1,
        34: 1,
        39: 1,
        41: 1147,
        42: 72,
        47: 63,
    },
    "jpss/J01_G011_LZ_2021-04-09T00-00-00Z_V01.DAT1": {11: 7200},
    "suda/sciData_2022_130_17_41_53.spl": {1425: 13},
    HS_SIM: {895: 71970},
}


def shared(name):
    path = CCSDS / name
    if not path.exists():
        pytest.skip(f"shared sample {name} is not here")
    return path


@pytest.mark.parametrize("name", sorted(README_COUNTS))
def test_shared_ccsds_files_against_their_readme(name):
    path = shared(name)
    p = k814util.read_packets(path, with_bytes=True)
    assert dict(Counter(p["apid"].tolist())) == README_COUNTS[name]
    # Every packet in these files: version 0, telemetry, unsegmented, secondary header set.
    assert (p["sequence_flags"] == 3).all() and p["secondary_header"].all()
    raw = path.read_bytes()
    n = len(p["offset"])
    for i in (0, n // 2, n - 1):
        start, size = p["offset"][i], p["length"][i]
        packet = raw[start : start + size]
        assert p["bytes"][p["bytes_start"][i] : p["bytes_start"][i + 1]].tobytes() == packet
        assert p["length"][i] == int.from_bytes(packet[4:6], "big") + 7
        assert p["raw_timestamp"][i] == int.from_bytes(packet[6:10], "big")
    if "suda" in name:
        # A 4-byte marker before each packet is passed over and reported.
        assert p["length"].tolist() == SUDA_LENGTHS
        assert p["offset"].tolist() == [4 * (i + 1) + sum(SUDA_LENGTHS[:i]) for i in range(13)]
        assert p["sequence_count"].tolist() == list(range(13))
        assert len(p["diagnostics"]) == 13
        assert p["diagnostics"][1] == f"Skipped 4 bytes [{304 + 4} - {304 + 8}]"
    else:
        assert p["diagnostics"] == []
        assert p["offset"][-1] + p["length"][-1] == len(raw)
    if name == HS_SIM:
        # 1226 to 7659, +1 modulo 16384 from packet to packet.
        assert p["sequence_count"][0] == 1226 and p["sequence_count"][-1] == 7659
        assert (np.diff(p["sequence_count"].astype(np.int64)) % 16384 == 1).all()
        assert (p["raw_timestamp"].min(), p["raw_timestamp"].max()) == (457228803, 457235999)


def _skipped(lines):
    return [tuple(map(int, m.groups())) for m in map(SKIPPED.fullmatch, lines) if m]


SKIPPED = re.compile(r"Skipped (\d+) bytes \[(\d+) - (\d+)\]")


def test_damaged_copies_give_the_intact_packets_and_say_what_was_skipped(tmp_path):
    from k814util.sample import tom_packet

    # CCSDS: 40 packets of 34 bytes, 7 bytes of 0xE1 (never a version-0 header) after packet
    # 9, and the file cut 10 bytes into a last packet.
    packets = shared(HS_SIM).read_bytes()[: 41 * 34]
    garbage = b"\xe1" * 7
    damaged = (
        packets[: 10 * 34] + garbage + packets[10 * 34 : 40 * 34] + packets[40 * 34 : 40 * 34 + 24]
    )
    path = tmp_path / "damaged.tlm"
    path.write_bytes(damaged)
    p = k814util.read_packets(path)
    expected = [34 * i for i in range(10)] + [34 * i + 7 for i in range(10, 40)]
    assert p["offset"].tolist() == expected
    # The cut packet is damage at once (the file is not waited for); what follows it in the
    # scan up to the end may claim more short packets.
    assert p["diagnostics"][:2] == [
        "Skipped 7 bytes [340 - 347]",
        "Could not read 28 bytes from file...skipping ahead 1 byte",
    ]
    assert all(line.startswith("Could not read") for line in p["diagnostics"][2:-1])
    assert p["diagnostics"][-1] == f"Skipped 24 bytes [{40 * 34 + 7} - {40 * 34 + 31}]"
    # A second read of the same file says the same: the short-read count is the reader's own.
    assert k814util.read_packets(path)["diagnostics"] == p["diagnostics"]

    # TOM: packet 3 loses its last 5 bytes (its checksum), 3 garbage bytes before packet 6.
    toms = [
        tom_packet(0x80 * (i == 4) + 10 + i, i, 1000 * i, bytes([i] * (4 + i))) for i in range(8)
    ]
    stream = toms[0] + toms[1] + toms[2] + toms[3][:-5] + toms[4] + toms[5] + b"\x01\x02\x03"
    stream += toms[6] + toms[7]
    path.write_bytes(stream)
    t = k814util.read_packets(path, layout="tom", with_bytes=True)
    assert t["packet_type"].tolist() == [10, 11, 12, 14, 15, 16, 17]
    assert t["gse_created"].tolist() == [False, False, False, True, False, False, False]
    assert t["sequence_count"].tolist() == [0, 1, 2, 4, 5, 6, 7]
    assert t["raw_timestamp"].tolist() == [0, 1000, 2000, 4000, 5000, 6000, 7000]
    assert t["length"].tolist() == [16 + i for i in (0, 1, 2, 4, 5, 6, 7)]
    kept = toms[:3] + toms[4:]
    assert t["bytes"].tobytes() == b"".join(kept)
    cut_at = sum(map(len, toms[:3]))
    garbage_at = cut_at + len(toms[3]) - 5 + len(toms[4]) + len(toms[5])
    assert _skipped(t["diagnostics"]) == [
        (len(toms[3]) - 5, cut_at, cut_at + len(toms[3]) - 5),
        (3, garbage_at, garbage_at + 3),
    ]


@pytest.mark.parametrize("mission, layout", [("tarn", "tom"), ("vireo", "vireo")])
def test_sample_archive_files_against_their_manifest(archive, mission, layout):
    # TARN: damaged TOM packets; VIREO: CCSDS behind station wrapper records and sync prefixes.
    _, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == mission)
    p = k814util.read_packets(run["tm_file"], layout=layout)
    assert len(p["offset"]) == run["packets"]
    if layout == "tom":
        types = (p["packet_type"] | (p["gse_created"] * 0x80)).tolist()
        assert np.all(p["sequence_flags"] == 3) and not p["secondary_header"].any()
    else:
        types = p["apid"].tolist()
    assert types == [e["type"] for e in run["expected"]]
    # The damage: garbage and broken packets between packets, and a packet cut at the end;
    # every byte outside a packet is in a "Skipped" line.
    assert sum(n for n, _, _ in _skipped(p["diagnostics"])) == run["damage_bytes"]


def _ccsds(apid, count, data):
    return bytes([apid >> 8, apid & 0xFF, 0xC0 | count >> 8, count & 0xFF, 0, len(data) - 1]) + data


@pytest.mark.parametrize(
    "tail, found, skipped",
    [
        # Packets shorter than the reader's 20-byte look-ahead at the very end of a file.
        ([_ccsds(0x123, 7, b"\x01" * 6)], {0: (0x123, 7, 12)}, []),
        (
            [_ccsds(0x123, 7, b"\x01" * 6), _ccsds(0x456, 8, b"\x02" * 6)],
            {0: (0x123, 7, 12), 1: (0x456, 8, 12)},
            [],
        ),
        ([_ccsds(0x7FF, 0x3FFF, b"\x03" * 13)], {0: (0x7FF, 0x3FFF, 19)}, []),
        # Garbage before a short packet, a short packet cut by the end, garbage alone.
        ([b"\xe1\xe1", _ccsds(0x123, 7, b"\x01" * 6)], {1: (0x123, 7, 12)}, [2]),
        ([_ccsds(0x123, 7, b"\x01" * 6)[:-1]], {}, [11]),
        ([b"\xe1" * 5], {}, [5]),
    ],
)
def test_the_last_bytes_of_a_file(tmp_path, tail, found, skipped):
    body = shared(HS_SIM).read_bytes()[: 3 * 34]
    path = tmp_path / "tail.tlm"
    path.write_bytes(body + b"".join(tail))
    p = k814util.read_packets(path, with_bytes=True)
    rows = list(zip(p["apid"].tolist(), p["sequence_count"].tolist(), p["length"].tolist()))
    assert [r[0] for r in rows[:3]] == [895] * 3 and rows[3:] == list(found.values())
    starts = [len(body) + sum(map(len, tail[:i])) for i in found]
    assert p["offset"][3:].tolist() == starts
    assert p["bytes"].tobytes() == body + b"".join(tail[i] for i in found)
    assert [n for n, _, _ in _skipped(p["diagnostics"])] == skipped


def test_bad_arguments(tmp_path):
    with pytest.raises(FileNotFoundError):
        k814util.read_packets("/nonexistent/file.tlm")
    with pytest.raises(IsADirectoryError):
        k814util.read_packets(tmp_path)
    with pytest.raises(ValueError, match="layout"):
        k814util.read_packets(__file__, layout="ccsdspy")
