"""Whole-file arrays and DataFrames against the per-packet objects on both sample missions:
every item in every mode, array items, text items, packets without the item, the damaged TARN
stream, the frames' shapes, dtypes and indexes, and mnemonic lookup."""

import shutil
from pathlib import Path

import numpy as np
import pytest

pytest.importorskip("k814util.k814util")

import k814util

pd = pytest.importorskip("pandas")

MESSAGE, MARKER, SEB_HK, LASER = 8, 9, 22, 15
SPREAD_ITEMS = ("SEB:EMON_A", "MSG:TEXT")


def _seconds(index):
    return (index - pd.Timestamp(0, tz="UTC")).total_seconds().to_numpy()


def _per_packet(f, hkid, mode):
    """What a script looping over the packets collects."""
    columns = ([], [], [], [])
    for i in range(len(f)):
        for d in f.get_pkt(i).all_data(hkid, mode):
            for column, v in zip(columns, (d.unix_timestamp, d.relative_timestamp, d.value, i)):
                column.append(v)
    return columns


def test_series_is_what_the_packets_give_for_every_item_and_mode(mission):
    run, f = mission
    # The whole file reads, damaged spans of the TARN stream included.
    assert len(f) == run["packets"]
    texts = []
    for hkid in f.items().index:
        for mode in (0, 2):
            s = f.series(int(hkid), mode)
            assert sorted(s) == ["packet", "relative_time", "unix_time", "value"]
            unix, relative, values, packets = _per_packet(f, int(hkid), mode)
            np.testing.assert_array_equal(s["unix_time"], unix)
            np.testing.assert_array_equal(s["relative_time"], relative)
            np.testing.assert_array_equal(s["packet"], packets)
            assert s["packet"].dtype == np.int64 and s["unix_time"].dtype == np.float64
            if s["value"].dtype.kind == "U":
                texts.append(int(hkid))
                # all_data reads a text as a number, 0.0 when it is none.
                assert values == [0.0] * len(values)
            else:
                np.testing.assert_array_equal(s["value"], values)
    assert texts and len(texts) % 2 == 0


def test_array_items_and_packets_without_the_item(tarn):
    run, f = tarn
    n_hk = run["packets_by_type"][str(SEB_HK)]
    types = np.array([e["type"] for e in run["expected"]])  # full types; 22 is its own
    s = f.series("SEB:EMON_A", "eng")  # eight samples a housekeeping packet
    assert len(s["value"]) == 8 * n_hk
    hk_packets = np.flatnonzero(types == SEB_HK)
    np.testing.assert_array_equal(s["packet"], np.repeat(hk_packets, 8))
    steps = np.diff(s["relative_time"].reshape(n_hk, 8), axis=1)
    np.testing.assert_allclose(steps, 0.125, atol=1e-9)
    # The engineering value is the ADC's volts: 10 V over 16 bits around mid-scale.
    raw = f.series(17, "raw")["value"]
    np.testing.assert_allclose(s["value"], -5.0 + raw * 10.0 / 65536.0, atol=1e-12)
    assert f.series(17, 1)["value"].tolist() == s["value"].tolist()


def test_text_items_give_their_texts(mission):
    run, f = mission
    if run["mission"] == "tarn":
        messages = f.series("MSG:TEXT")
        assert len(messages["value"]) == run["packets_by_type"][str(MESSAGE)]
        assert list(messages["value"]) == [f[int(i)].raw_message() for i in messages["packet"]]
        markers = f.series("MARKER:TEXT")
        assert list(markers["value"]) == list(f.markers()["text"])
    else:
        # Lines cut between packets join in the message log.
        lines = f.series("MEB:MESSAGE_LOG")["value"]
        assert "".join(lines).splitlines() == list(f.messages()["msg"])


def test_packets_table_matches_the_packet_objects(mission):
    run, f = mission
    table = f.packets()
    assert len(table) == run["packets"] and table.index.name == "packet"
    assert list(table["full_type"]) == [e["type"] for e in run["expected"]]
    for name in ("index", "type", "full_type", "sclk", "marker_id"):
        assert table[name].dtype == np.int64
    assert table["gse_created"].dtype == bool
    methods = {
        "index": "index",
        "type": "get_type",
        "full_type": "full_type",
        "total_length": "total_length",
        "length": "length",
        "sequence": "sequence",
        "sclk": "sclk",
        "checksum": "checksum",
        "gse_created": "gse_created",
        "marker_id": "marker_id",
        "unix_time": "unix_timestamp",
        "relative_time": "relative_timestamp",
    }
    for i, p in enumerate(f):
        row = table.iloc[i]
        assert {k: row[k] for k in methods} == {k: getattr(p, m)() for k, m in methods.items()}
    names = dict(zip(table["type"], table["type_name"]))
    if run["mission"] == "tarn":
        assert (names[SEB_HK], names[MARKER], names[LASER]) == ("SEB_HK", "MARKER", "LASER_PULSES")
        assert table["marker_id"].max() > 0
    else:
        assert names[743] == "MARKER"


def test_dataframe_layouts(tarn):
    run, f = tarn
    n_hk = run["packets_by_type"][str(SEB_HK)]
    n_laser = run["packets_by_type"][str(LASER)]
    wanted = ["SEB:EMON_A", 21, "SEB:T_BOARD"]
    alone = [f.series(item, "eng") for item in wanted]

    long = f.dataframe(wanted, mode="eng")
    assert len(long) == 10 * n_hk
    assert list(long.columns) == ["item", "value", "relative_time", "packet", "sample"]
    assert isinstance(long.index, pd.DatetimeIndex) and str(long.index.tz) == "UTC"
    assert list(long["item"].cat.categories) == ["SEB:EMON_A", "SEB:HV_MON", "SEB:T_BOARD"]
    assert long["value"].dtype == np.float64 and long["packet"].is_monotonic_increasing
    first = long[long["packet"] == long["packet"].iloc[0]]
    assert list(first["item"]) == ["SEB:EMON_A"] * 8 + ["SEB:HV_MON", "SEB:T_BOARD"]
    assert list(first["sample"]) == list(range(8)) + [0, 0]
    hv = long[long["item"] == "SEB:HV_MON"]
    np.testing.assert_array_equal(hv["value"], alone[1]["value"])
    np.testing.assert_allclose(_seconds(hv.index), alone[1]["unix_time"], atol=1e-6)

    wide = f.dataframe(wanted, mode=1, layout="wide")
    assert wide.shape == (8 * n_hk, 6) and wide.index.is_monotonic_increasing
    wide = wide.sort_values(["packet", "sample"])  # the order the series give
    assert list(wide.columns[3:]) == ["SEB:EMON_A", "SEB:HV_MON", "SEB:T_BOARD"]
    np.testing.assert_array_equal(wide["SEB:EMON_A"], alone[0]["value"])
    np.testing.assert_array_equal(wide["SEB:HV_MON"].dropna(), alone[1]["value"])
    assert wide["SEB:HV_MON"].isna().sum() == 7 * n_hk
    np.testing.assert_array_equal(wide.loc[wide["sample"] == 0, "packet"], alone[1]["packet"])

    # Items of different packets take rows of their own.
    mixed = f.dataframe(["SEB:HV_MON", "LASER:PULSE_COUNT"], layout="wide")
    assert len(mixed) == n_hk + n_laser
    assert mixed.index.is_monotonic_increasing and mixed["packet"].is_unique
    assert (mixed.isna().sum(axis=1) == 1).all()


def test_items_and_mnemonic_lookup(tarn):
    run, f = tarn
    table = f.items()
    assert table.index.name == "id" and table.index.dtype == np.int64
    assert table.loc[17, "mnemonic"] == "SEB:EMON_A" and table.loc[17, "packet_type"] == SEB_HK
    assert tuple(table.loc[17, ["units_raw", "units_eng", "units_sci"]]) == ("Raw", "Value", "uA")
    assert list(f.items("emon").index) == [17, 18]
    globbed = f.items("SEB:T_*")
    assert len(globbed) > 1 and all(m.startswith("SEB:T_") for m in globbed["mnemonic"])
    # A unique bare name and the key name the same item.
    np.testing.assert_array_equal(f.series("EMON_B")["value"], f.series(18)["value"])
    for item, expected in (
        ("SEB:EMON_C", "SEB:EMON_A"),
        ("seb:hv_mon", "SEB:HV_MON"),
        (99999, "99999"),
        (2**40, str(2**40)),
        (-1, "-1"),
    ):
        with pytest.raises(k814util.UnknownItemError, match=expected):
            f.series(item)
        with pytest.raises(k814util.UnknownItemError, match=expected):
            f.dataframe([17, item])
    for mode in ("science", 3, -1):
        with pytest.raises(ValueError, match="mode"):
            f.series(17, mode)
    with pytest.raises(TypeError):
        f.series(True)
    np.testing.assert_array_equal(f.dataframe(np.int64(17))["value"], f.series(17)["value"])


def test_a_key_a_patch_renamed_still_finds_its_item(tmp_path, monkeypatch):
    from k814util.sample import generate_archive

    manifest = generate_archive(tmp_path)
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    patch = next(tmp_path.rglob("TAR_TM_Patch_FM.txt"))
    header = patch.read_text().splitlines()[0].split("\t")
    row = {"DATA_ID": "21", "NAME": "HV_MONITOR"}
    patch.write_text(patch.read_text() + "\t".join(row.get(c, "") for c in header) + "\n")
    monkeypatch.setenv("INI814", str(tmp_path / ".814config.INI"))
    f = k814util.open(run["tm_file"])
    assert f.items().loc[21, "mnemonic"] == "SEB:HV_MONITOR"
    renamed = f.series("SEB:HV_MONITOR")
    assert len(renamed["value"]) > 0
    np.testing.assert_array_equal(f.series("SEB:HV_MON")["value"], renamed["value"])
    with pytest.raises(ValueError, match="layout"):
        f.dataframe([17], layout="tall")


def test_marker_and_message_frames(mission):
    run, f = mission
    lines = k814util.message_log(run["tm_file"])
    messages = f.messages()
    assert list(messages["msg"]) == [line.msg() for line in lines]
    np.testing.assert_allclose(
        _seconds(messages.index), [line.unixTime() for line in lines], atol=1e-6
    )
    meta = f.meta_markers()
    assert list(meta["meta_marker_id"]) == [m.metaMarkerId for m in f.get_meta_markers()]
    markers = f.markers()
    vireo = f.vireo_markers()
    if run["mission"] == "tarn":
        assert len(markers) == run["packets_by_type"][str(MARKER)] and len(meta) > 0
        for row in markers.itertuples():
            p = f[row.packet]
            assert (p.get_type(), p.marker_id(), p.marker_text()) == (
                MARKER,
                row.marker_id,
                row.text,
            )
        assert vireo.empty
    else:
        cache = k814util.vireo_markers(run["tm_file"])
        assert list(vireo["text"]) == [m.text() for m in cache]
        assert list(vireo["t_start_us"]) == [m.t_start_us() for m in cache]
        assert markers.empty


def test_series_of_a_file_that_grows_after_the_first_call(archive, monkeypatch, tmp_path):
    """The first series call indexes the packets' types; packets the station appends later
    (read by binding the same file again) must be found by the next call, values as the
    packets give them."""
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    source = Path(run["tm_file"])
    directory = tmp_path / source.parent.name
    shutil.copytree(source.parent, directory)
    stream = source.read_bytes()
    growing = directory / source.name
    # Cut inside a packet, a little past the middle: the reader waits for the rest.
    growing.write_bytes(stream[: len(stream) // 2 + 5])
    f = k814util.open(growing)
    first = len(f)
    assert 0 < first < run["packets"]
    catalogue = f.items()
    # A scalar and an array item of the housekeeping packets, and a text item of another type.
    items = [21] + [int(catalogue.index[catalogue["mnemonic"] == m][0]) for m in SPREAD_ITEMS]
    before = {hkid: f.series(hkid, 0) for hkid in items}
    with growing.open("ab") as out:
        out.write(stream[len(stream) // 2 + 5 :])
    k814util.bind(growing)
    assert len(f) == run["packets"]
    for item in items:
        s = f.series(item, 0)
        unix, relative, values, packets = _per_packet(f, item, 0)
        np.testing.assert_array_equal(s["packet"], packets)
        np.testing.assert_array_equal(s["unix_time"], unix)
        if s["value"].dtype.kind != "U":
            np.testing.assert_array_equal(s["value"], values)
        # The values found before the file grew come first, unchanged.
        n = len(before[item]["packet"])
        assert n < len(s["packet"]) and max(before[item]["packet"]) < first
        np.testing.assert_array_equal(s["packet"][:n], before[item]["packet"])
        assert list(s["value"][:n]) == list(before[item]["value"])


def test_what_only_the_console_tool_printed_is_reachable_as_objects(tarn):
    run, f = tarn
    assert f.mission() == "tarn"
    written = [e for e in run["expected"] if "seb" in e]
    sequences = f.seb_sequences()
    # One sequence per sequence the generator sent (one in two packets), each command's bytes
    # as written, from the sync code to the trailer.
    assert len(sequences) == len(written)
    assert [[(c.number, c.data.hex()) for c in s.commands] for s in sequences] == [
        [tuple(c) for c in e["seb"]] for e in written
    ]
    assert [s.byte_count for s in sequences] == [
        sum(len(h) // 2 for _, h in e["seb"]) for e in written
    ]
    commands = f.seb_commands()
    assert len(commands) == sum(len(e["seb"]) for e in written)
    # 1C: SET_DAC of DAC 0x0F (AUX_AMP) to 0x0BB8 with a delay of 0x000A.
    dac = commands[commands["data"] == "faf3201c00050f0bb8000a030a"].iloc[0]
    assert dac["name"] == "SET_DAC" and dac["fields"].startswith("dac=AUX_AMP ")
    assert dac["fields"].endswith(" delay=10")

    markers = [e["marker"] for e in run["expected"] if "marker" in e]
    assert [(m.marker_id, m.text) for m in f.tarn_markers()] == [(i, t) for i, _, t in markers]
    summary = f.packet_summary()
    assert summary.packets == run["packets"]
    assert {str(t.type): t.count for t in summary.types} == run["packets_by_type"]
    assert f.packet_types().loc[SEB_HK, "name"] == "SEB_HK"


@pytest.mark.parametrize("mission", ["tarn", "vireo"])
def test_refresh_reads_what_the_station_appends(archive, monkeypatch, tmp_path, capfd, mission):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    run = next(r for r in manifest["runs"] if r["mission"] == mission)
    source = Path(run["tm_file"])
    directory = tmp_path / source.parent.name
    directory.mkdir()
    shutil.copy(source.parent / "tm.meta", directory)
    stream = source.read_bytes()
    heads = k814util.read_packets(source, layout="tom" if mission == "tarn" else "vireo")
    # Cut in the middle of the 100th packet.
    cut = int(heads["offset"][100] + heads["length"][100] // 2)
    growing = directory / source.name
    growing.write_bytes(stream[:cut])
    f = k814util.open(growing)
    assert len(f) == 100
    # The station goes on writing the packet a byte at a time: nothing is read until all of it
    # is there, so polling does not use up the reader's patience with it (it gives a packet up
    # after five reads that end inside it).
    with growing.open("ab") as out:
        for at in range(cut, cut + 8):
            out.write(stream[at : at + 1])
            out.flush()
            assert f.refresh() == 0
        out.write(stream[cut + 8 :])
    assert f.refresh() == run["packets"] - 100 and f.refresh() == 0
    assert "Could not read" not in capfd.readouterr().err  # no packet given up
    assert list(f.packets()["full_type"]) == [e["type"] for e in run["expected"]]
    if mission != "tarn":
        return  # VIREO's catalogue knows each packet's length: a long false start is damage
    # Damage that looks like the start of a long packet, then three whole packets: a file that
    # keeps its size is read on anyway after stale_after seconds, the false start is given up
    # after its retries, and the packets behind it are not held back for good.
    first = int(heads["offset"][0])
    head = bytearray(stream[first : first + 8])
    head[2:4] = (6000).to_bytes(2, "big")
    with growing.open("ab") as out:
        out.write(bytes(head) + b"\xe1" * 20 + stream[: int(heads["offset"][3])])
    assert [f.refresh() for _ in range(3)] == [0, 0, 0]
    assert sum(f.refresh(stale_after=0) for _ in range(10)) == 3
    assert "Could not read" in capfd.readouterr().err
