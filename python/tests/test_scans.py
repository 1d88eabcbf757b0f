"""TARN mass-spectrum scans as scripts read them, against the scans the sample generator
designed and recorded in its manifest (never against the library's own output)."""

import math
import subprocess
import sys
from pathlib import Path

import pytest
from conftest import counted_bins, mz_curve

pytest.importorskip("k814util.k814util")

from k814util.sample import masscal, science, tmdefs

import k814util
from k814util import k814util as proxy

TICK = 1 / 65536  # packet times resolve to the clock's 1/65536 s


@pytest.fixture
def sample(tarn_run):
    return tarn_run, k814util.scans(tarn_run["tm_file"])


def _dac_scale(row_id):
    """The slope of a DAC row of the sample's table (counts per volt)."""
    return next(r[7] for r in tmdefs.TARN_DAC if r[0] == row_id)


def _status_terms(want, sts):
    """Per summed scan, a * b / (ionisation time * EM B setting * E) with the laboratory's
    constants (100, 100, -68, -0.0992) and E from the source A focus readback; None where a
    term is undefined."""
    terms = []
    for s in sts:
        e = math.exp((s["src_a_focus_a_readback_v"] + 68.0) * -0.0992)
        if s["em_b_setting_v"] == 0 or s["ion_time_ms"] == 0 or e == 0:
            return None
        terms.append(100.0 * 100.0 / (s["ion_time_ms"] * s["em_b_setting_v"] * e))
    return terms


def _corrected_tic(want, sts):
    tic = want["tic"]
    if not sts:
        return 0.0
    if want["version"] == 2:
        c = want["c_factors"]
        return sum(f * t for f, t in zip(c, tic)) if len(c) == len(tic) else 0.0
    terms = _status_terms(want, sts)
    if not tic or len(tic) != len(sts) or terms is None:
        return 0.0
    return sum(t * w for t, w in zip(tic, terms))


def _corrected_factor(want, sts):
    tic, total = want["tic"], want["count_sum"]
    if not sts or not tic or total == 0:
        return 0.0
    if want["version"] == 2:
        c = want["c_factors"]
        return sum(t / total * f for t, f in zip(tic, c)) if len(c) == len(tic) else 0.0
    terms = _status_terms(want, sts)
    if len(sts) != len(tic) or want["summed_scans"] != len(tic) or terms is None:
        return 0.0
    return sum(w * t / total for t, w in zip(tic, terms))


def test_every_scan_as_designed(sample):
    run, scans = sample
    science = run["science"]
    assert len(scans) == science["scan_count"] == len(science["scans"])
    statuses = {s["index"]: s for s in science["statuses"]}
    placed = [e for e in run["expected"] if "marker" in e]
    with_marker = 0
    kinds = {26: "single", 27: "summed", 28: "aggregated"}
    for scan, want in zip(scans, science["scans"]):
        k = want["index"]
        assert kinds[scan.src_pkt_type()] == want["kind"], k
        assert (
            scan.src_pkt_type() == want["packet_type"] and scan.num_scans() == want["summed_scans"]
        )
        assert scan.science_data_pkt_version() == want["version"], k
        counts = list(scan.counts())
        # Zero-filled from bin 0 to the last segment's end.
        assert len(counts) == counted_bins(want), k
        first = min(start for start, _, _ in want["segments"])
        assert not any(counts[:first]), k
        if want["counts"] is not None:
            assert counts[first : first + want["bins"]] == want["counts"], k
        for b, c in want["samples"]:
            assert counts[b] == c, (k, b)
        assert sum(counts) == want["count_sum"] == scan.total_ion_count(), k
        assert sum(b * c for b, c in enumerate(counts)) == want["weighted_sum"], k
        assert scan.highest_count() == want["count_max"], k
        assert scan.highest_count_bin_num() == want["max_bin"], k
        assert list(scan.total_ion_counts()) == want["tic"], k
        assert list(scan.corrected_total_ion_count_factors()) == want["c_factors"], k
        assert scan.relative_timestamp() == pytest.approx(want["relative_time"], abs=TICK), k
        assert scan.unix_timestamp() == pytest.approx(want["unix_time"], abs=TICK), k
        # The marker is the latest one placed at or before the scan's last science packet.
        last_unix = run["expected"][want["packet_indexes"][-1]]["unix"]
        marker, marker_unix = (0, 0, ""), None
        for n, e in enumerate(placed, start=1):
            if e["unix"] <= last_unix + 1e-6:
                marker, marker_unix = (e["marker"][0], n, e["marker"][2]), e["unix"]
        assert (scan.marker_id(), scan.quip_marker_index(), scan.marker_text()) == marker, k
        t0 = want["unix_time"] - want["relative_time"]  # the test's T0 in Unix time
        assert scan.marker_relative_timestamp() == pytest.approx(
            0.0 if marker_unix is None else marker_unix - t0, abs=2 * TICK
        ), k
        with_marker += marker[0] != 0
        # Attached packets, by the generator's rules.
        assert scan.num_scan_status_pkts() == len(want["status_indexes"]), k
        assert scan.has_scan_status() == bool(want["status_indexes"]), k
        assert scan.has_seb_hk_pkt() == (want["seb_hk"] >= 0), k
        assert list(scan.seb_sequence_pkt_indexes()) == want["seb_sequence_indexes"], k
        assert scan.laser_shots() > 0 if want["laser_pulses"] >= 0 else scan.laser_shots() == 0
        # Derived conditions.
        assert scan.scan_mode_as_string() == want["mode"], k
        assert scan.determine_scan_mode() == {"EI": 1, "Dark": 2, "LDI": 3}[want["mode"]], k
        if want["counts"] is not None:  # the lowest count of the counted bins
            assert scan.lowest_count() == min(want["counts"]), k
        # The culled spectrum keeps both ends and only points of the spectrum.
        culled = list(scan.culled_counts())
        pairs = list(zip(culled[::2], culled[1::2]))
        assert pairs[0] == (first, counts[first]) and pairs[-1] == (len(counts) - 1, counts[-1]), k
        assert all(counts[b] == c for b, c in pairs) and len(pairs) <= len(counts), k
        assert scan.is_dark_count_scan() == want["dark"], k
        assert (scan.gc_ion_source(), scan.ldi_ion_source()) == (
            want["ion_source"] == 1,
            want["ion_source"] == 2,
        ), k
        assert list(scan.em_on_times_in_ms()) == pytest.approx(want["em_on_ms"]), k
        assert scan.rf_amp_dac_end() == pytest.approx(want["rf_dac_end"], abs=1e-9), k
        # The last status's readbacks.
        if want["status_indexes"]:
            last = statuses[want["status_indexes"][-1]]
            assert scan._seb_phase_cycle_rdbk() == want["phase_cycle"] == last["phase_cycle"]
            assert scan._seb_bin_time_readback() == pytest.approx(last["bin_time_us"])
            assert scan._seb_bin_time_readback_in_seconds() == pytest.approx(
                last["bin_time_us"] / 1e6
            )
            assert scan._seb_ionization_time_in_milliseconds() == pytest.approx(last["ion_time_ms"])
            assert scan._seb_bin_count_set() == last["bin_count"], k
            assert scan._seb_scan_em1() == pytest.approx(last["em_a_setting_v"], abs=1e-9)
            assert scan._seb_scan_em2() == pytest.approx(last["em_b_setting_v"], abs=1e-9)
            for got, key in (
                (scan._seb_src_a_foc_a_dac_reg(), "src_a_focus_a_readback_v"),
                (scan._seb_src_a_foc_a_dac_set(), "src_a_focus_a_setting_v"),
                (scan._seb_src_b_foc_a_dac_reg(), "src_b_focus_a_readback_v"),
                (scan._seb_src_b_foc_a_dac_set(), "src_b_focus_a_setting_v"),
            ):
                assert got == pytest.approx(last[key], abs=1e-9), (k, key)
            rf_slope, aux_slope = _dac_scale(13), _dac_scale(15)
            for got, expected in (
                (scan._seb_counter_sel(), last["counter_sel"]),
                (scan._seb_bin_count_reg(), last["bin_count_reg"]),
                (scan._seb_last_rf_amp_mon(), last["last_rf_amp_mon"]),
                (scan._seb_rf_freq_hz(), last["rf_freq_hz"]),
                (scan.charge_control_duration(), last["charge_control"]),
                (scan._seb_rf_amp_dac_set(), last["rf_dac_end"]),
                (scan._seb_aux_amp_dac_set(), last["aux_dac_end"]),
                (scan._seb_scan_em1_raw(), last["em_raw"][0]),
                (scan._seb_scan_em2_raw(), last["em_raw"][1]),
                # Steps in DAC counts: the item's value times 1 / slope of the DAC row.
                (scan._seb_rf_step_set(), last["rf_step_set"] / rf_slope),
                (scan._seb_rf_step_reg(), last["rf_step_reg"] / rf_slope),
                (scan._seb_aux_step_set(), last["aux_step_set"] / aux_slope),
                (scan._seb_aux_step_reg(), last["aux_step_reg"] / aux_slope),
            ):
                assert got == pytest.approx(expected, rel=1e-12), k
            sts = [statuses[i] for i in want["status_indexes"]]
            assert scan.corrected_total_ion_count() == pytest.approx(_corrected_tic(want, sts)), k
            assert scan.corrected_total_ion_count_factor() == pytest.approx(
                _corrected_factor(want, sts)
            ), k
            assert scan._seb_special_scan_id() == last["special_scan_id"], k
            assert scan._seb_raw_scan_value() == last["raw_scan_value"], k
            assert scan._seb_scan_value() == pytest.approx(last["scan_value"]), k
            assert scan.peak_counts_per_sec() == pytest.approx(
                want["count_max"] / (last["bin_time_us"] / 1e6)
            )
        else:
            assert scan._seb_bin_time_readback() == 0.0 and scan.peak_counts_per_sec() == 0.0
            assert scan._seb_phase_cycle_rdbk() == 0 and scan.charge_control_duration() == 0.0
    assert with_marker > 0
    assert scans.has_gc_scans() == any(w["ion_source"] == 1 for w in science["scans"])
    assert scans.has_ldi_scans() == any(w["ion_source"] == 2 for w in science["scans"])


def test_selected_ions_and_mass_axis(sample):
    run, scans = sample
    entries = masscal.TID_ENTRIES
    by_mass_checked = 0
    for scan, want in zip(scans, run["science"]["scans"]):
        k = want["index"]
        counts = list(scan.counts())
        n = len(counts)
        first = min(start for start, _, _ in want["segments"])  # zeros below it
        middle = (first + (n - first) // 3, first + (n - first) // 2)
        for lo, hi in ((0, n), middle, (n - 7, n)):
            window = counts[lo:hi]
            assert scan.selected_ion_count_sum_by_bin(lo, hi) == sum(window), k
            assert scan.selected_ion_count_max_by_bin(lo, hi) == max(window), k
        # m/z at bins 0 .. nBins() - 1, whatever bins the scan counts.
        expected = mz_curve(want, want["bins"])
        assert list(scan.m_over_z_values()) == pytest.approx(expected, rel=1e-9, abs=1e-9), k
        if want["phase_cycle"] == 0:  # a straight line: masses back to bins by hand, rounded up
            c0, c1, _ = entries[0][1]
            for m_lo, m_hi in ((3.02, 9.5), (1.51, 40.013)):  # off bin edges
                lo, hi = math.ceil((m_lo - c0) / c1), math.ceil((m_hi - c0) / c1)
                assert scan.selected_ion_count_sum_by_mass(m_lo, m_hi) == sum(counts[lo:hi]), k
                assert scan.selected_ion_count_max_by_mass(m_lo, m_hi) == max(counts[lo:hi]), k
            # Both masses on bin 0: nothing selected, not the whole scan.
            assert scan.total_ion_count() > 0
            assert scan.selected_ion_count_sum_by_mass(c0, c0) == 0.0
            by_mass_checked += 1
    assert by_mass_checked > 0


def test_lists_indexes_and_errors(sample):
    run, scans = sample
    n = len(scans)
    assert scans[-1].relative_timestamp() == scans[n - 1].relative_timestamp()
    assert [s.relative_timestamp() for s in scans[1:3]] == [
        scans.get_scan(1).relative_timestamp(),
        scans.get_scan(2).relative_timestamp(),
    ]
    for bad in (-1, n):
        with pytest.raises(IndexError, match="get_scan was passed an invalid scan index."):
            scans.get_scan(bad)
    for bad in ("1", 1.7):  # like a list: indexes are integers
        with pytest.raises(TypeError):
            scans[bad]
    for bad in (n, -n - 1, 2**40):
        with pytest.raises(IndexError, match="get_scan was passed an invalid scan index."):
            scans[bad]
    scan = scans[0]
    ints, floats = k814util.ListOfIntegers, k814util.ListOfFloats
    for name, cls in (
        ("counts", ints),
        ("culled_counts", ints),
        ("total_ion_counts", ints),
        ("seb_sequence_pkt_indexes", ints),
        ("m_over_z_values", floats),
        ("corrected_total_ion_count_factors", floats),
        ("seb_is_emon_a", floats),
        ("seb_is_emon_b", floats),
        ("em_on_times_in_ms", floats),
        ("rf_status_entries", k814util.ListOfRfStatusEntrys),
        ("get_meta_markers", k814util.ListOfMetaMarkers),
    ):
        assert type(getattr(scan, name)()) is cls, name
        assert type(getattr(proxy._k814util, f"PythonStyleTarnScan_{name}")(scan)) is cls, name
    entries = scan.rf_status_entries()
    segments = run["science"]["scans"][0]["segments"]
    assert len(entries) == sum(r for _, _, r in segments)
    assert [e.start_bin for e in entries][:3] == [0, 100, 200]
    empty = k814util.PythonStyleTarnScan()
    assert list(empty.counts()) == [] and empty.marker_id() == 0 and empty.marker_text() == ""
    assert empty.scan_mode_as_string() == "Unknown" and empty.quip_marker_index() == 0
    assert empty.marker_relative_timestamp() == 0.0 and list(empty.m_over_z_values()) == []


def test_special_scan_values(sample, archive, capfd):
    """Through the scan-type table's item, shown raw by the table, through a DAC row named by the
    id, or raw; a broken table is reported and then ignored."""
    run, _ = sample
    root, manifest = archive
    used = {s["special_scan_id"] for s in run["science"]["statuses"]}
    assert used == {i for i, _ in science.SPECIAL_SCANS}  # every path occurs in the sample
    tarn = tmdefs.tarn_mission()
    for special, raw in [*science.SPECIAL_SCANS, (101, 0), (13, 65535), (0, 17)]:
        want = science.scan_value(tarn, special, raw)
        assert k814util.interpretScanValue(special, raw) == pytest.approx(want), special
        assert proxy._k814util.interpretScanValue(special, raw) == pytest.approx(want), special
    # Hand-worked: item 352 is 0.25 V a count; DAC row 13 is 13.1072 counts a volt.
    assert k814util.interpretScanValue(101, 1234) == pytest.approx(308.5)
    assert k814util.interpretScanValue(13, 40000) == pytest.approx(40000 / 13.1072)
    assert k814util.interpretScanValue(102, 77) == 77.0 and k814util.interpretScanValue(250, 3) == 3

    table = next(Path(root).rglob("scantypesinfo.json"))
    kept = table.read_text()
    capfd.readouterr()
    try:
        table.write_text("[{")
        assert k814util.interpretScanValue(101, 1234) == 1234.0
        err = capfd.readouterr().err
        assert f"Ignoring {table}" in err
    finally:
        table.write_text(kept)


def test_scans_need_a_bound_tarn_file(tarn_run, tmp_path):
    with pytest.raises(k814util.TelemetryFileNotFoundError):
        k814util.scans(tmp_path / "gone.tlm")
    script = "import k814util\nk814util.{}"
    for call, message in (
        ("ScienceDataCacheWrapper()", "did you call the ScienceDataCacheWrapper constructor"),
        ("interpretScanValue(13, 40000)", "k814util is not initialized"),
    ):
        res = subprocess.run(
            [sys.executable, "-c", script.format(call)], capture_output=True, text=True, check=False
        )
        assert res.returncode != 0 and "RuntimeError" in res.stderr and message in res.stderr
