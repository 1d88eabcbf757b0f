"""The one bridge between the compiled module and Python: whole-file results as column tables
and their conversion to numpy, the package's methods written into the classes, objects of an
earlier binding, and the table fixes (packet names by full type, a sorted wide index, units in
a frame's attributes)."""

import os

import numpy as np
import pytest

if os.environ.get("K814_REQUIRE_MODULE"):
    import k814util.k814util  # noqa: F401
else:
    pytest.importorskip("k814util.k814util")

from k814util._binding import StaleBindingError
from k814util.sample.tmdefs import TARN_PACKETS, tarn_mission

import k814util
from k814util import _columns
from k814util import k814util as proxy

pd = pytest.importorskip("pandas")

SEB_HK = 22


def _run(manifest, mission):
    return next(r for r in manifest["runs"] if r["mission"] == mission)


def test_column_tables_convert_with_their_dtypes_lengths_and_texts(tarn):
    run, f = tarn
    n_hk = run["packets_by_type"][str(SEB_HK)]
    # EMON_A: eight samples in every SEB housekeeping packet.
    table = proxy._frames_series(tarn_mission().item("SEB:EMON_A").data_id, 2)
    layout = proxy._columns_layout(table)
    assert layout == [
        ("unix_time", "float64", (8 * n_hk,)),
        ("relative_time", "float64", (8 * n_hk,)),
        ("value", "float64", (8 * n_hk,)),
        ("packet", "int64", (8 * n_hk,)),
    ]
    columns = _columns.arrays(table)
    assert list(columns) == [name for name, _, _ in layout]
    assert [str(c.dtype) for c in columns.values()] == [dtype for _, dtype, _ in layout]
    # The same table converts again to the same values: the capsule keeps its columns.
    again = _columns.arrays(table)
    for name in columns:
        np.testing.assert_array_equal(again[name], columns[name])

    # A text column: the message log's texts, one str per message packet.
    texts = _columns.arrays(proxy._frames_series(tarn_mission().item("MSG:TEXT").data_id, 2))
    assert texts["value"].dtype == object and len(texts["value"]) == len(texts["packet"])
    assert all(isinstance(t, str) for t in texts["value"])
    assert len(set(texts["packet"].tolist())) == run["packets_by_type"]["8"]

    # Columns of different lengths in one table: the spectra's bins and the per-scan figures.
    scans = k814util.scans(run["tm_file"])
    spectra = _columns.arrays(proxy._spectra(scans, 0, len(scans)))
    assert spectra["counts"].ndim == spectra["mz"].ndim == 1
    assert len(spectra["counts"]) == len(spectra["mz"]) == spectra["n_bins"].sum()
    assert len(scans) == len(spectra["marker_text"]) == len(spectra["offsets"]) - 1
    np.testing.assert_array_equal(np.diff(spectra["offsets"]), spectra["n_bins"])


def test_column_arrays_are_the_tables_own_storage(tarn):
    run, f = tarn
    table = proxy._frames_packets()
    columns = _columns.arrays(table)
    del table  # the arrays keep their storage
    index = columns["index"]
    assert index.tolist() == list(range(run["packets"]))
    # Writable, and each column its own memory.
    index[0] = -1
    assert columns["type"][0] != -1 and not np.shares_memory(index, columns["full_type"])
    assert _columns.arrays(proxy._frames_packets())["index"][0] == 0
    with pytest.raises(ValueError, match="expected the capsule k814util.ColumnTable"):
        proxy._columns_layout(object())
    with pytest.raises(ValueError, match="expected the capsule k814util.ColumnTable"):
        proxy._columns_data(np.zeros(3))


def test_the_methods_are_the_classes_own():
    # Written into the classes when the module was generated, not attached at import.
    assert "series" in vars(proxy.TMFile) and "__getitem__" in vars(proxy.ScienceDataCacheWrapper)
    assert "__eq__" in vars(proxy.ListOfIntegers) and "__repr__" in vars(proxy.TMDatapoint)
    assert proxy.TMFile.series.__module__ == "k814util.k814util"
    assert "stale_after" in proxy.TMFile.refresh.__code__.co_varnames


def test_objects_of_an_earlier_binding_raise_and_say_so(archive, monkeypatch):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    tarn_run, vireo_run = _run(manifest, "tarn"), _run(manifest, "vireo")
    t = k814util.open(tarn_run["tm_file"])
    scans = k814util.scans(tarn_run["tm_file"])
    assert repr(t) == f"TMFile({tarn_run['tm_file']!r}, {tarn_run['packets']} packets)"
    v = k814util.open(vireo_run["tm_file"])
    for call in (
        lambda: t.series("SEB:EMON_A"),
        lambda: t.dataframe(["SEB:EMON_A"]),
        t.packets,
        t.items,
        t.messages,
        t.vireo_markers,
        t.markers,
        t.meta_markers,
        t.tarn_markers,
        t.mission,
        t.packet_summary,
        t.packet_types,
        t.seb_sequences,
        t.seb_commands,
        t.diagnostics,
        lambda: k814util.Spectra(scans),
    ):
        with pytest.raises(StaleBindingError, match="made for an earlier binding"):
            call()
    assert issubclass(StaleBindingError, k814util.BindingError)
    assert "stale" in repr(t) and str(vireo_run["packets"]) not in repr(t)
    assert "stale" in repr(scans)
    # The documented proxy operations answer for the process's binding, as documented.
    assert t.length() == len(v) == vireo_run["packets"]
    assert v.mission() == "vireo"


def test_diagnostics_are_the_bindings_lines(tarn):
    _, f = tarn
    from k814util import diagnostics

    assert f.diagnostics() == diagnostics.binding_diagnostics()


def test_packets_name_gse_created_packets_by_their_full_type(tarn):
    run, f = tarn
    catalogue = {p.type: p.name for p in TARN_PACKETS}
    table = f.packets()
    full = [e["type"] for e in run["expected"]]
    assert full.count(131) >= 1 and (table["full_type"] == 131).sum() == full.count(131)
    for full_type, name in zip(table["full_type"], table["type_name"]):
        if full_type in catalogue:
            assert name == catalogue[full_type], full_type
    assert f.packet_types().loc[131, "name"] == catalogue[131] == "GSE_TEST_START"
    # The packet objects keep their own rule: the type without the GSE bit.
    gse = int(np.flatnonzero(table["full_type"] == 131)[0])
    assert f[gse].get_type() == 3 and f[gse].gse_created()


def test_wide_frames_are_sorted_by_time_and_carry_units(tarn):
    run, f = tarn
    items = ["SEB:HV_MON", "LASER:PULSE_COUNT", "SEB:EMON_A"]
    wide = f.dataframe(items, layout="wide")
    assert wide.index.is_monotonic_increasing
    # Rows of equal time keep packet and sample order.
    keys = pd.DataFrame(
        {"t": wide.index.asi8, "packet": wide["packet"].to_numpy(), "s": wide["sample"].to_numpy()}
    )
    assert keys.equals(keys.sort_values(["t", "packet", "s"]).reset_index(drop=True))
    # Slicing by time works, and the rows are the ones the items give.
    middle = wide.index[len(wide) // 2]
    assert len(wide.loc[:middle]) > len(wide) // 2
    by_packet = wide.sort_values(["packet", "sample"])
    for item in items:
        np.testing.assert_array_equal(by_packet[item].dropna(), f.series(item)["value"])

    mission = tarn_mission()
    for layout in ("long", "wide"):
        frame = f.dataframe(items, layout=layout)
        assert frame.attrs["mode"] == "sci"
        assert frame.attrs["units"] == {i: mission.item(i).units for i in items}
    assert f.dataframe(items[:1], mode=0).attrs["mode"] == "raw"
