import csv
import os
import subprocess
import sys
from pathlib import Path

import pytest


def _run(*args, env_ini=None, tool=None):
    env = None
    if tool:
        env = dict(os.environ, K814INFO=tool)
    cmd = [sys.executable, "-m", "k814util", *args]
    if env_ini:
        cmd += ["--ini", str(env_ini)]
    return subprocess.run(cmd, capture_output=True, text=True, env=env, check=False)


def test_info_prints_metadata_and_verified_group(archive, info_tool):
    root, manifest = archive
    for run in manifest["runs"]:
        res = _run("info", run["tm_file"], env_ini=root / ".814config.INI", tool=info_tool)
        assert res.returncode == 0, res.stderr
        assert f"tid_dir        {run['tid_dir']}" in res.stdout
        assert f"group {run['group']}: verified" in res.stdout
        assert f"Unix {run['start_unix']})" in res.stdout


@pytest.mark.parametrize("case", ["missing file", "no tm.meta", "bad group"])
def test_info_failures_match_initialisation(tmp_path, archive, info_tool, case):
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    ini = root / ".814config.INI"
    if case == "missing file":
        path = tmp_path / "nope.tlm"
        expected = f"tmfile does not exist: {path}\n"
    elif case == "no tm.meta":
        path = tmp_path / "lonely.tlm"
        path.write_bytes(Path(run["tm_file"]).read_bytes())
        expected = f"A valid tm.meta could not be found for {path}\n"
    else:
        path = tmp_path / "run.tlm"
        path.write_bytes(b"\x00")
        (tmp_path / "tm.meta").write_text(
            '{"gse": {"version": 3, "mission": "vireo", "model": "em"}}'
        )
        expected = f"VIREO_EM in .814config.INI either does not exist or is invalid for {path}\n"
    res = _run("info", str(path), env_ini=ini, tool=info_tool)
    assert res.returncode == 1
    assert res.stderr.endswith(expected)


# --- TARN scans, spectra and chromatograms -------------------------------------------------


def _tarn(archive):
    """The TARN test of the sample; these commands need the compiled module."""
    if not os.environ.get("K814_REQUIRE_MODULE"):
        pytest.importorskip("k814util.k814util")
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    return root / ".814config.INI", run


def _png_size(path: Path) -> tuple[int, int]:
    """Width and height from a PNG file's header chunk; fails for anything but a PNG."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    return int.from_bytes(data[16:20], "big"), int.from_bytes(data[20:24], "big")


def test_scans_lists_every_scan_and_sums_by_kind_and_mode(archive):
    ini, run = _tarn(archive)
    science = run["science"]
    res = _run("scans", run["tm_file"], env_ini=ini)
    assert res.returncode == 0, res.stderr
    lines = res.stdout.splitlines()
    assert lines[0] == f"Scans: {science['scan_count']}"
    rows = [line.split() for line in lines[2 : 2 + science["scan_count"]]]
    for row, want in zip(rows, science["scans"]):
        assert int(row[0]) == want["index"] and float(row[1]) == pytest.approx(
            want["relative_time"], abs=1e-3
        )
        assert (row[2], row[3], int(row[4]), int(row[5])) == (
            want["kind"],
            want["mode"],
            max(s + n * r for s, n, r in want["segments"]),
            want["count_sum"],
        )
    summary = lines[2 + science["scan_count"] :]
    assert summary[0] == "By kind and mode:"
    modes = summary[1].split()[1:-1]
    by_kind = {r[0]: [int(c) for c in r[1:]] for r in (line.split() for line in summary[2:])}
    for kind, n in science["by_kind"].items():
        assert by_kind[kind][-1] == n
    assert dict(zip(modes, by_kind["total"])) == {m: science["by_mode"].get(m, 0) for m in modes}
    assert by_kind["total"][-1] == science["scan_count"]


def test_spectrum_csv_and_plots(archive, tmp_path):
    pytest.importorskip("matplotlib")
    ini, run = _tarn(archive)
    want = next(s for s in run["science"]["scans"] if s["counts"] is not None)
    res = _run("spectrum", run["tm_file"], str(want["index"]), env_ini=ini)
    assert res.returncode == 0, res.stderr
    rows = list(csv.reader(res.stdout.splitlines()))
    assert rows[0] == ["bin", "mz", "count"]
    counts = [int(r[2]) for r in rows[1:]]
    first = min(s for s, _, _ in want["segments"])
    assert [int(r[0]) for r in rows[1:]] == list(range(len(counts)))
    assert (
        counts[first : first + want["bins"]] == want["counts"] and sum(counts) == want["count_sum"]
    )
    assert all(float(r[1]) > 0 for r in rows[1:])

    spectrum, tic = tmp_path / "spectrum.png", tmp_path / "tic.png"
    res = _run("spectrum", run["tm_file"], "-1", "--png", str(spectrum), env_ini=ini)
    assert res.returncode == 0, res.stderr
    assert str(spectrum) in res.stdout and _png_size(spectrum) == (1000, 500)
    res = _run("tic", run["tm_file"], "--png", str(tic), env_ini=ini)
    assert res.returncode == 0, res.stderr
    assert str(tic) in res.stdout and _png_size(tic) == (1200, 600)


def test_tic_csv_and_a_bad_scan_index(archive):
    ini, run = _tarn(archive)
    scans = run["science"]["scans"]
    res = _run("tic", run["tm_file"], env_ini=ini)
    assert res.returncode == 0, res.stderr
    rows = list(csv.DictReader(res.stdout.splitlines()))
    assert [int(r["tic"]) for r in rows] == [s["count_sum"] for s in scans]
    assert [r["mode"] for r in rows] == [s["mode"] for s in scans]
    res = _run("spectrum", run["tm_file"], str(len(scans)), env_ini=ini)
    assert res.returncode == 1 and "get_scan was passed an invalid scan index." in res.stderr
