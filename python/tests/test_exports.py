"""Exports of the TARN scans: the mzML file read back by pyteomics (and checked against the mzML
schema psims ships), the NetCDF file read back by xarray, both against the scans the sample
generator designed (its manifest) and the arrays they were written from."""

import datetime
import subprocess
import sys

import numpy as np
import pytest
from conftest import counted_bins, mz_curve

pytest.importorskip("k814util.k814util")

import k814util
from k814util import exports


@pytest.fixture
def sample(tarn_run):
    return tarn_run, k814util.spectra(tarn_run["tm_file"])


def _read_mzml(path):
    mzml = pytest.importorskip("pyteomics.mzml")
    with mzml.MzML(str(path)) as reader:
        return list(reader)


def test_mzml_holds_every_scan_as_designed(sample, tmp_path):
    pytest.importorskip("psims")
    run, sp = sample
    designed = run["science"]["scans"]
    out = tmp_path / "tarn.mzML"
    assert sp.to_mzml(out) == len(designed)
    spectra = _read_mzml(out)
    assert len(spectra) == len(designed)
    cols = sp.columns()
    for r, (got, want) in enumerate(zip(spectra, designed)):
        k = want["index"]
        assert got["id"] == f"scan={k}"
        assert got["ms level"] == 1 and "MS1 spectrum" in got and "profile spectrum" in got
        mz, counts = got["m/z array"], got["intensity array"]
        # Exactly the scan's own bins, as 64-bit floats: no padding.
        assert mz.dtype == np.float64 and counts.dtype == np.float64
        assert len(counts) == counted_bins(want), k
        flat_mz, flat_counts = sp.scan_arrays(r)
        assert np.array_equal(mz, flat_mz) and np.array_equal(counts, flat_counts), k
        np.testing.assert_allclose(mz, mz_curve(want, len(mz)), rtol=1e-9, atol=1e-9)
        assert counts.sum() == want["count_sum"], k
        assert got["total ion current"] == cols["tic"][r], k
        assert got["base peak intensity"] == want["count_max"], k
        assert got["base peak m/z"] == pytest.approx(mz_curve(want, want["max_bin"] + 1)[-1])
        start = got["scanList"]["scan"][0]["scan start time"]
        assert start == cols["relative_time"][r]
        assert start == pytest.approx(want["relative_time"], abs=1e-3)
        assert start.unit_info == "second"
        assert got["kind"] == want["kind"] and got["mode"] == want["mode"], k
        assert got["unix time"] == cols["unix_time"][r], k
        assert got["corrected TIC"] == cols["corrected_tic"][r], k
        assert got["marker text"] == cols["marker_text"][r], k
    # Meta-markers hold a scan when its time lies in their span.
    metas = k814util.open(run["tm_file"]).meta_markers()
    for r, got in enumerate(spectra):
        t = cols["relative_time"][r]
        inside = metas[(metas.start_relative_time <= t) & (t <= metas.end_relative_time)]
        want = [f"{i}: {m}" for i, m in zip(inside.meta_marker_id, inside.msg)]
        found = got.get("meta-marker", [])
        # pyteomics gives a list for a name repeated, the value for one.
        assert sorted([found] if isinstance(found, str) else found) == sorted(want), r
    assert any(isinstance(s.get("meta-marker"), list) for s in spectra)
    # Said to be double precision: a reader taking xsd:float at its word would have each Unix
    # time only to a minute.
    import xml.etree.ElementTree as ET

    params = ET.parse(out).getroot().iter("{http://psi.hupo.org/ms/mzml}userParam")
    types = {(p.get("name"), p.get("type")) for p in params}
    assert {n for n, t in types if t == "xsd:float"} == set()
    assert ("unix time", "xsd:double") in types and ("corrected TIC", "xsd:double") in types


def test_mzml_file_description_and_schema(sample, tmp_path):
    pytest.importorskip("psims")
    from lxml import etree
    from psims.validation import validate

    run, sp = sample
    out = tmp_path / "tarn.mzML"
    sp.to_mzml(out)
    valid, schema = validate(str(out))
    assert valid, schema.error_log
    # The schema (the XSD psims ships, read from the package: nothing is fetched) does reject
    # a spectrum that lacks what it requires.
    broken = tmp_path / "broken.mzML"
    text = out.read_text()
    assert text.count(' defaultArrayLength="') == len(sp)
    broken.write_text(text.replace(' defaultArrayLength="', ' arrayLength="', 1))
    assert not validate(str(broken))[0]
    ns = {"m": "http://psi.hupo.org/ms/mzml"}
    tree = etree.parse(str(out))
    user = {
        p.get("name"): p.get("value")
        for p in tree.findall(".//m:fileDescription/m:fileContent/m:userParam", ns)
    }
    assert user["test name"] == run["tid_dir"].split("-", 6)[-1]
    assert user["TID"] == str(run["tid"])
    assert user["instrument"] == f"TARN {run['model']}"
    assert tree.find(".//m:run", ns).get("id") == f"tid_{run['tid']}"


def test_mzml_refuses_an_existing_file_and_a_vireo_test(sample, archive, tmp_path, monkeypatch):
    pytest.importorskip("psims")
    run, sp = sample
    out = tmp_path / "tarn.mzML"
    out.write_text("keep me")
    with pytest.raises(FileExistsError, match="overwrite=True"):
        sp.to_mzml(out)
    assert out.read_text() == "keep me"
    assert sp.to_mzml(out, overwrite=True) == len(sp)
    assert len(_read_mzml(out)) == len(sp)
    root, manifest = archive
    vireo = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    k814util.open(vireo["tm_file"])
    with pytest.raises(ValueError, match="only TARN tests"):
        exports.to_mzml(sp, tmp_path / "vireo.mzML")
    assert not (tmp_path / "vireo.mzML").exists()
    assert not list(tmp_path.glob("*.part"))


def test_xarray_and_netcdf_read_back_equal(sample, tmp_path):
    xr = pytest.importorskip("xarray")
    run, sp = sample
    designed = run["science"]["scans"]
    ds = sp.to_xarray()
    n, width = len(designed), max(counted_bins(w) for w in designed)
    assert dict(ds.sizes) == {"scan": n, "bin": width}
    assert ds["counts"].dims == ("scan", "bin") and ds["tic"].dims == ("scan",)
    assert ds["scan"].values.tolist() == [w["index"] for w in designed]
    assert ds["counts"].sum("bin").values.tolist() == [w["count_sum"] for w in designed]
    assert ds["mode"].values.tolist() == [w["mode"] for w in designed]
    assert ds["relative_time"].attrs["units"] == "s"
    # time is the scan's UTC time, to the microsecond.
    for t, w in zip(ds["time"].values, designed):
        utc = datetime.datetime.fromtimestamp(w["unix_time"], datetime.timezone.utc)
        assert abs(t - np.datetime64(utc.replace(tzinfo=None), "us")) <= np.timedelta64(1, "ms")
    out = tmp_path / "tarn.nc"
    sp.to_netcdf(out, attrs={"tid": run["tid"]})
    back = xr.load_dataset(out)
    xr.testing.assert_equal(back, ds)
    assert np.array_equal(back["time"].values, ds["time"].values)
    assert back.attrs["tid"] == run["tid"]
    with pytest.raises(FileExistsError):
        sp.to_netcdf(out)


def _console(*args):
    return subprocess.run(
        [sys.executable, "-m", "k814util", *map(str, args)],
        capture_output=True,
        text=True,
        check=False,
    )


def test_console_export(tarn_run, archive, tmp_path):
    pytest.importorskip("psims")
    xr = pytest.importorskip("xarray")
    designed = tarn_run["science"]["scans"]
    out, nc = tmp_path / "tarn.mzML", tmp_path / "tarn.nc"
    res = _console("export", tarn_run["tm_file"], "-q", "--mzml", out, "--scans", "2:5")
    assert res.returncode == 0, res.stderr
    assert f"3 spectra written to {out}" in res.stdout
    got = _read_mzml(out)
    assert [s["id"] for s in got] == ["scan=2", "scan=3", "scan=4"]
    assert [s["intensity array"].sum() for s in got] == [w["count_sum"] for w in designed[2:5]]
    res = _console("export", tarn_run["tm_file"], "-q", "--mzml", out)
    assert res.returncode == 1 and "exists" in res.stderr and "--force" in res.stderr
    res = _console("export", tarn_run["tm_file"], "-q", "--mzml", out, "--force")
    assert res.returncode == 0 and len(_read_mzml(out)) == len(designed)
    res = _console("export", tarn_run["tm_file"], "-q", "--netcdf", nc)
    assert res.returncode == 0, res.stderr
    back = xr.load_dataset(nc)
    assert back.sizes["scan"] == len(designed) and back.attrs["tid"] == tarn_run["tid"]
    _, manifest = archive
    vireo = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    res = _console("export", vireo["tm_file"], "-q", "--mzml", tmp_path / "v.mzML")
    assert res.returncode == 1 and "only TARN tests" in res.stderr
    assert not (tmp_path / "v.mzML").exists()
    res = _console("export", tarn_run["tm_file"], "-q", "--scans", "5")
    assert res.returncode == 2


def test_mzml_read_back_by_pyopenms(sample, tmp_path):
    pytest.importorskip("psims")
    oms = pytest.importorskip("pyopenms")
    run, sp = sample
    designed = run["science"]["scans"]
    out = tmp_path / "tarn.mzML"
    sp.to_mzml(out)
    exp = oms.MSExperiment()
    oms.MzMLFile().load(str(out), exp)
    assert exp.getNrSpectra() == len(designed)
    cols = sp.columns()
    for r, (spectrum, want) in enumerate(zip(exp.getSpectra(), designed)):
        assert spectrum.getMSLevel() == 1
        mz, counts = spectrum.get_peaks()
        flat_mz, flat_counts = sp.scan_arrays(r)
        assert np.array_equal(mz, flat_mz) and np.array_equal(counts, flat_counts), r
        assert counts.sum() == want["count_sum"]
        # OpenMS keeps retention times in seconds.
        assert spectrum.getRT() == pytest.approx(cols["relative_time"][r], abs=1e-9)
        assert spectrum.getNativeID() == f"scan={want['index']}"
        assert spectrum.getMetaValue("total ion current") == cols["tic"][r]
        assert spectrum.getMetaValue("base peak intensity") == want["count_max"]
        assert spectrum.getMetaValue("mode") == want["mode"]


TICK = 1 / 65536  # packet times resolve to the clock's 1/65536 s


def _block_item(run):
    """A custom-decoded item with a value per sample of long blocks, and its values as the
    generator wrote them: (hkid, [(packet, value, unix)...]) in packet order."""
    hkid = next(e["hkid"] for e in run["custom_items"] if e["decode_type"] == 211)
    rows = [
        (e["packet_index"], v, u)
        for e in sorted(run["custom_items"], key=lambda e: e["packet_index"])
        if e["hkid"] == hkid
        for v, u in zip(e["values"], e["unix"])
    ]
    return hkid, rows


def test_file_dataset_holds_each_item_on_its_own_time_axis(tarn, tmp_path):
    xr = pytest.importorskip("xarray")
    run, f = tarn
    hkid, rows = _block_item(run)
    ds = f.to_xarray([hkid, "SEB:T_BOARD"], mode="raw")
    items = f.items()
    block = items.loc[hkid, "mnemonic"]
    name = block.replace(":", "_")
    assert set(ds.data_vars) == {name, "SEB_T_BOARD"}
    # The generator's own values, packets and times.
    var = ds[name]
    assert var.dims == (f"time_{name}",)
    assert var.values.tolist() == pytest.approx([v for _, v, _ in rows], rel=1e-9, abs=1e-9)
    assert ds[f"packet_{name}"].values.tolist() == [p for p, _, _ in rows]
    unix = (ds[f"time_{name}"].values - np.datetime64("1970-01-01")) / np.timedelta64(1, "s")
    np.testing.assert_allclose(unix, [u for _, _, u in rows], atol=TICK, rtol=0)
    # Relative time: since T0, as series gives it.
    t0 = f.t0_in_unix_time()
    np.testing.assert_allclose(ds[f"relative_time_{name}"], unix - t0, atol=2e-6)
    assert var.attrs["mnemonic"] == block and var.attrs["item_id"] == hkid
    assert var.attrs["units"] == (items.loc[hkid, "units_raw"] or "")
    assert var.attrs["value_mode"] == "raw"
    # The other item on an axis of its own, with its own length.
    board = f.series("SEB:T_BOARD", "raw")
    assert ds["SEB_T_BOARD"].dims == ("time_SEB_T_BOARD",)
    np.testing.assert_array_equal(ds["SEB_T_BOARD"].values, board["value"])
    assert len(board["value"]) != len(rows)
    assert ds.attrs["tid"] == run["tid"] and ds.attrs["mission"] == "tarn"
    # NetCDF and zarr give the same dataset back, times to the nanosecond.
    nc, store = tmp_path / "items.nc", tmp_path / "items.zarr"
    ds.to_netcdf(nc)
    xr.testing.assert_identical(xr.load_dataset(nc), ds)
    pytest.importorskip("zarr")
    ds.to_zarr(store, consolidated=False)
    xr.testing.assert_identical(xr.open_zarr(store, consolidated=False).load(), ds)


def test_file_dataset_window_mode_and_bad_items(tarn):
    pytest.importorskip("xarray")
    run, f = tarn
    eng = f.to_xarray("SEB:T_BOARD", mode="eng", window=3)
    want = f.series("SEB:T_BOARD", "eng", window=3)
    np.testing.assert_array_equal(eng["SEB_T_BOARD"].values, want["value"])
    assert 0 < len(want["value"]) < len(f.series("SEB:T_BOARD", "eng")["value"])
    assert (
        eng["SEB_T_BOARD"].attrs["units"]
        == f.items().set_index("mnemonic").loc["SEB:T_BOARD", "units_eng"]
    )
    with pytest.raises(k814util.UnknownItemError, match="close matches"):
        f.to_xarray(["SEB:T_BORD"])
    with pytest.raises(ValueError, match="twice"):
        f.to_xarray(["SEB:T_BOARD", "SEB:T_BOARD"])
    with pytest.raises(ValueError, match="at least one item"):
        f.to_xarray([])
    with pytest.raises(ValueError, match="mode"):
        f.to_xarray("SEB:T_BOARD", mode="cooked")


def test_spectra_zarr_round_trip_and_refusal(sample, tmp_path):
    xr = pytest.importorskip("xarray")
    pytest.importorskip("zarr")
    run, sp = sample
    store = tmp_path / "tarn.zarr"
    exports.to_zarr(sp, store, attrs={"tid": run["tid"]})
    back = xr.open_zarr(store).load()
    xr.testing.assert_identical(back, sp.to_xarray(attrs={"tid": run["tid"]}))
    assert back["counts"].sum("bin").values.tolist() == [
        w["count_sum"] for w in run["science"]["scans"]
    ]
    with pytest.raises(FileExistsError, match="overwrite=True"):
        exports.to_zarr(sp, store)
    (store / "keep").write_text("mine")
    assert (store / "keep").read_text() == "mine"  # refused: nothing touched
    k814util.Spectra(sp.scans, 0, 3).to_zarr(store, overwrite=True)
    assert xr.open_zarr(store).sizes["scan"] == 3 and not (store / "keep").exists()
    assert not list(tmp_path.glob("*.part"))


def test_console_export_items_as_netcdf_and_zarr(tarn_run, archive, tmp_path):
    xr = pytest.importorskip("xarray")
    pytest.importorskip("zarr")
    hkid, rows = _block_item(tarn_run)
    tm = tarn_run["tm_file"]
    nc, store = tmp_path / "hk.nc", tmp_path / "hk.zarr"
    res = _console("export", tm, str(hkid), "SEB:T_BOARD", "-q", "--mode", "raw", "--netcdf", nc)
    assert res.returncode == 0, res.stderr
    assert f"2 items written to {nc}" in res.stdout
    back = xr.load_dataset(nc)
    name = next(v for v in back.data_vars if back[v].attrs["item_id"] == hkid)
    assert back[name].values.tolist() == pytest.approx([v for _, v, _ in rows], abs=1e-9)
    assert back.attrs["value_mode"] == "raw" and back.attrs["tid"] == tarn_run["tid"]
    # The scans, without items, to a zarr store; a window with items only.
    res = _console("export", tm, "-q", "--zarr", store)
    assert res.returncode == 0, res.stderr
    assert xr.open_zarr(store).sizes["scan"] == len(tarn_run["science"]["scans"])
    res = _console("export", tm, "-q", "--zarr", store)
    assert res.returncode == 1 and "--force" in res.stderr
    res = _console("export", tm, "SEB:T_BOARD", "-q", "--mzml", tmp_path / "x.mzML")
    assert res.returncode == 2 and "--netcdf or --zarr" in res.stderr
    res = _console("export", tm, "-q", "--marker", "3", "--netcdf", tmp_path / "w.nc")
    assert res.returncode == 2 and "name items" in res.stderr
    res = _console("export", tm, "SEB:T_BORD", "-q", "--netcdf", tmp_path / "u.nc")
    assert res.returncode == 1 and "close matches" in res.stderr
    assert not (tmp_path / "u.nc").exists()
    # A VIREO test's items export too; its scans do not exist.
    _, manifest = archive
    vireo = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    res = _console("export", vireo["tm_file"], "HK:T_PRT", "-q", "--netcdf", tmp_path / "v.nc")
    assert res.returncode == 0, res.stderr
    assert xr.load_dataset(tmp_path / "v.nc")["HK_T_PRT"].attrs["mnemonic"] == "HK:T_PRT"
    assert f"1 item written to {tmp_path / 'v.nc'}" in res.stdout
    res = _console("export", vireo["tm_file"], "-q", "--netcdf", tmp_path / "vs.nc")
    assert res.returncode == 1 and "only TARN tests" in res.stderr


def test_console_export_takes_items_after_the_options(tarn_run, tmp_path):
    """`export FILE --netcdf OUT ITEM...`: items named after an option are the dataset's items,
    the same as named before it; an unknown option among them is still refused."""
    xr = pytest.importorskip("xarray")
    hkid, rows = _block_item(tarn_run)
    tm = tarn_run["tm_file"]
    nc = tmp_path / "after.nc"
    res = _console("export", tm, "-q", "--mode", "raw", "--netcdf", nc, str(hkid), "SEB:T_BOARD")
    assert res.returncode == 0, res.stderr
    assert f"2 items written to {nc}" in res.stdout
    back = xr.load_dataset(nc)
    assert sorted(back[v].attrs["item_id"] for v in back.data_vars) == sorted([hkid, 20])
    name = next(v for v in back.data_vars if back[v].attrs["item_id"] == hkid)
    assert back[name].values.tolist() == pytest.approx([v for _, v, _ in rows], abs=1e-9)
    res = _console("export", tm, "-q", "--netcdf", tmp_path / "x.nc", "SEB:T_BOARD", "--bogus")
    assert (
        res.returncode == 2 and "unrecognized arguments:" in res.stderr and "--bogus" in res.stderr
    )
    assert not (tmp_path / "x.nc").exists()


def test_mzml_refuses_scans_of_a_test_bound_before_another(sample, tmp_path):
    """Scans read before the process was bound to another TARN test: their mzML would carry that
    test's name, TID and meta-markers, so it is refused and nothing is written."""
    pytest.importorskip("psims")
    from k814util.sample import generate_archive

    _, sp = sample
    manifest = generate_archive(tmp_path / "other")
    other = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    k814util.open(other["tm_file"], ini=manifest["ini"])
    out = tmp_path / "stale.mzML"
    with pytest.raises(k814util.StaleBindingError, match="earlier binding"):
        sp.to_mzml(out)
    assert not out.exists() and not list(tmp_path.glob("*.part"))


@pytest.mark.parametrize("scans", ["7:3", "500:", "-2:-5"])
def test_console_export_refuses_a_scan_range_without_scans(tarn_run, tmp_path, scans):
    """A --scans range that holds no scan is an error naming the test's scans, and no file is
    written (an empty mzML would pass for an export)."""
    out = tmp_path / "none.mzML"
    res = _console("export", tarn_run["tm_file"], "-q", "--mzml", out, f"--scans={scans}")
    n = len(tarn_run["science"]["scans"])
    assert res.returncode == 1
    assert f"holds no scan; the test has {n} scans (0 to {n - 1})" in res.stderr
    assert not out.exists()
