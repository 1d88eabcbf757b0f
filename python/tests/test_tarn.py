"""A TARN test run read from Python: housekeeping values against the packet bytes, times across
the processor restart, markers and meta-markers, and the binding's own failures."""

import copy
import math
import os
import pickle
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("k814util.k814util")

import k814util
from k814util import k814util as proxy

TIME, CDH_HK, MESSAGE, MARKER, SCIENCE, LASER, SEB_HK = 2, 7, 8, 9, 10, 15, 22


def _be(raw, at, n=2):
    return int.from_bytes(bytes(raw[at : at + n]), "big")


def _volts(counts):
    """The sample's 16-bit ADC: 10 V span around mid-scale."""
    return -5.0 + counts * 10.0 / 65536.0


def test_housekeeping_values_match_the_packet_bytes(tarn):
    run, f = tarn
    hk = [p for p in f if p.get_type() == SEB_HK]
    assert len(hk) == run["packets_by_type"][str(SEB_HK)]
    for p in hk:
        raw = list(p._raw_packet())
        # HV monitor (21) at packet byte 48: ADC volts, then x310 from the flight-model patch.
        (r,) = p.all_raw_data(21)
        (e,) = p.all_eng_data(21)
        (s,) = p.all_sci_data(21)
        assert r.value == _be(raw, 48)
        assert e.value == pytest.approx(_volts(_be(raw, 48)), abs=1e-12)
        assert s.value == pytest.approx(310.0 * _volts(_be(raw, 48)), abs=1e-9)
        # Emission current A (17): eight samples from byte 9, an eighth of a second apart.
        samples = p.all_eng_data(17)
        assert [d.value for d in samples] == pytest.approx(
            [_volts(_be(raw, 9 + 2 * i)) for i in range(8)], abs=1e-12
        )
        assert [d.relative_timestamp - p.relative_timestamp() for d in samples] == pytest.approx(
            [0.125 * i for i in range(8)], abs=1e-9
        )
        # The filament flags share byte 45; the offset current is signed 12.4 fixed point.
        assert p.all_raw_data(105)[0].value == raw[45] & 1
        assert p.all_raw_data(102)[0].value == (raw[45] >> 1) & 1
        offset = _be(raw, 54)
        expected = (offset - (65536 if offset >= 32768 else 0)) / 16.0
        assert p.all_sci_data(24)[0].value == pytest.approx(expected, abs=1e-12)
        assert list(p.all_raw_data(1087)) == []  # a laser item is not in SEB housekeeping
        # Platinum thermometer: the root of 100 + 0.39083 T - 5.775e-5 T^2 = raw nearest the
        # straight line.
        ohms, a, b = _be(raw, 52), -5.775e-5, 0.39083
        d = math.sqrt(b * b - 4 * a * (100.0 - ohms))
        roots = ((-b + d) / (2 * a), (-b - d) / (2 * a))
        line = (ohms - 100.0) / b
        assert p.all_sci_data(23)[0].value == pytest.approx(
            min(roots, key=lambda t: abs(t - line)), abs=1e-9
        )
    # Filament B is switched on at 60 s and stays on.
    b_on = [p.all_raw_data(102)[0].value for p in hk]
    first_on = b_on.index(1)
    assert set(b_on[:first_on]) == {0} and set(b_on[first_on:]) == {1}
    assert hk[first_on].relative_timestamp() == pytest.approx(60.0017 - 0.2, abs=1e-3)

    laser = next(p for p in f if p.get_type() == LASER)
    raw = list(laser._raw_packet())
    energies = laser.all_sci_data(1087)
    assert [d.value for d in energies] == pytest.approx(
        [0.01 * _be(raw, 9 + 2 * i) for i in range(10)], abs=1e-9
    )
    cdh = next(p for p in f if p.get_type() == CDH_HK)
    raw = list(cdh._raw_packet())
    assert cdh.all_sci_data(529)[0].value == pytest.approx(3.0 * _volts(_be(raw, 19)), abs=1e-9)
    assert cdh.all_raw_data(528)[0].value == _be(raw, 15, 4)


def test_times_are_those_the_generator_intended_across_the_restart(tarn):
    run, f = tarn
    expected = run["expected"]
    assert len(f) == len(expected) == run["packets"]
    assert f.is_time_synced()
    # T0 is the first instrument packet; the ground's test-start packet before it shares its time.
    assert f.t0_in_unix_time() == pytest.approx(expected[1]["unix"], abs=1e-4)
    assert f[0].unix_timestamp() == f[1].unix_timestamp()
    first_time = next(i for i, e in enumerate(expected) if e["type"] == TIME)
    restart = next(i for i, e in enumerate(expected) if "Boot Loader" in e.get("text", ""))
    # Science packets before the first time packet are back-filled at one-second steps below
    # the first science packet after it.
    early = [i for i in range(first_time) if expected[i]["type"] == SCIENCE]
    anchor = next(p for p in f[first_time:] if p.get_type() == SCIENCE).unix_timestamp()
    assert [f[i].unix_timestamp() for i in early] == pytest.approx(
        [anchor - (len(early) - k) for k in range(len(early))], abs=1e-9
    )
    checked = 0
    for p in f:
        i = p.index()
        if i == 0 or i in early:
            continue
        assert p.unix_timestamp() == pytest.approx(expected[i]["unix"], abs=1e-4), i
        assert p.relative_timestamp() == pytest.approx(
            p.unix_timestamp() - f.t0_in_unix_time(), abs=1e-6
        )
        checked += 1
    assert checked > len(f) - 5
    # After the restart the tick counter starts again from zero, yet time runs on.
    after = [p for p in f if p.index() > restart]
    assert after[0].sclk() < f[restart - 1].sclk()
    assert after[0].unix_timestamp() > f[restart - 1].unix_timestamp()
    times = [p.unix_timestamp() for p in f if p.index() > 0 and p.get_type() != SCIENCE]
    assert times == sorted(times)


def test_growing_file_reads_as_the_whole_file(tarn, tmp_path, capfd):
    run, f = tarn
    whole = [(list(p._raw_packet()), p.unix_timestamp(), p.relative_timestamp()) for p in f]
    data = Path(run["tm_file"]).read_bytes()
    # A copy in a directory of the same name, so the start time (the T0 fallback) is found.
    src = Path(run["tm_file"]).parent
    (tmp_path / src.name).mkdir()
    shutil.copy(src / "tm.meta", tmp_path / src.name / "tm.meta")
    tm = tmp_path / src.name / "growing.tlm"
    # Half the file, cut inside a packet; then the rest in two steps.
    cuts = [len(data) // 2 + 5, len(data) * 3 // 4, len(data)]
    tm.write_bytes(data[: cuts[0]])
    assert 0 < len(k814util.open(tm)) < len(whole)
    for start, end in zip(cuts, cuts[1:]):
        with open(tm, "ab") as out:
            out.write(data[start:end])
        grown = k814util.open(tm)
    assert "Read partial packet...backing up to index " in capfd.readouterr().err
    assert [list(p._raw_packet()) for p in grown] == [w[0] for w in whole]
    times = [t for p in grown for t in (p.unix_timestamp(), p.relative_timestamp())]
    assert times == pytest.approx([t for w in whole for t in w[1:]], abs=1e-9)


def test_markers_and_meta_markers_as_placed(tarn):
    run, f = tarn
    expected = run["expected"]
    placed = [(i, e["marker"]) for i, e in enumerate(expected) if "marker" in e]
    assert [m[0] for _, m in placed] == [1, 2, 3, 4]
    t = {m[0]: f[i].relative_timestamp() for i, m in placed}
    # Each packet carries the latest marker at or before its time (a marker packet its own);
    # science packets stamped before the clock was known can lie after a later marker.
    for p in f:
        current = (0, 0, "")
        for n, (_, m) in enumerate(placed, start=1):
            if t[m[0]] <= p.relative_timestamp() + 1e-6:
                current = (m[0], n, m[2])
        assert (p.marker_id(), p.quip_marker_index(), p.marker_text()) == current, p.index()

    log = k814util.message_log(run["tm_file"])
    lines = {line.msg(): line.relativeTime() for line in log}
    scan = next(v for k, v in lines.items() if k.startswith("Scan sequence 3 loaded"))
    boot = next(v for k, v in lines.items() if "Boot Loader" in k)
    nominal = lines["SEB status nominal at 102 s"]
    # The sample rules (see the generator): marker 1 to 2; 10 s after the scan message; SEB
    # test on from marker 2 to a second before marker 4; the 20 s before marker 4; boot to
    # the next nominal status.
    want = [
        (50001, t[1], t[2]),
        (50002, scan, scan + 10.0),
        (50003, t[2], t[4] - 1.0),
        (50004, t[4] - 20.0, t[4]),
        (50005, boot, nominal),
    ]
    assert f.get_meta_markers()[0].msg == "warm-up"
    got = [
        (m.metaMarkerId, m.startRelativeTimeInSecs, m.endRelativeTimeInSecs)
        for m in f.get_meta_markers()
    ]
    assert [g[0] for g in got] == [w[0] for w in want]
    for g, w in zip(got, want):
        assert g[1:] == pytest.approx(w[1:], abs=1e-5), g[0]
    # A packet lists the meta-markers that cover it.
    inside = next(p for p in f if t[2] < p.relative_timestamp() < t[4] - 1.0)
    assert 50003 in [m.metaMarkerId for m in inside.get_meta_markers()]


def _without_definitions(run, root: Path, tmp: Path, content: bytes | None) -> Path:
    """A configuration whose TARN GSE folder has no seb_cmds.json, or the given content."""
    gse = tmp / "gse"
    shutil.copytree(root / "gse" / "tarn", gse)
    target = gse / "viewerConfigs" / "seb_cmds.json"
    target.unlink()
    if content is not None:
        target.write_bytes(content)
    ini = tmp / "station.INI"
    lines = (root / ".814config.INI").read_text().splitlines()
    in_tarn = False
    out = []
    for line in lines:
        if line.startswith("["):
            in_tarn = line == f"[{run['group']}]"
        if in_tarn and line.startswith("gse="):
            line = f"gse={gse}"
        out.append(line)
    ini.write_text("\n".join(out) + "\n")
    return ini


@pytest.mark.parametrize(
    "content, message",
    [
        (None, "Could not open .*seb_cmds.json: No such file or directory"),
        (b"[{", "Error while parsing file: .*seb_cmds.json: "),
    ],
)
def test_command_definitions_must_be_readable(archive, tmp_path, content, message):
    root, manifest = archive
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    ini = _without_definitions(run, root, tmp_path, content)
    # Definition errors of every kind raise with their texts (tarnlib's seb tests); here they
    # must reach scripts through initialisation and the factories alike.
    script = f"""
import sys, k814util
try:
    k814util.initK814Util({run["tm_file"]!r})
except RuntimeError as e:
    print(str(e))
else:
    sys.exit("initialised")
try:
    k814util.TMFile({run["tm_file"]!r})
except RuntimeError as e:
    print("after:", e)
try:
    k814util.open({run["tm_file"]!r})
except k814util.BindingError as e:
    print("binding:", e)
"""
    env = dict(os.environ, INI814=str(ini))
    res = subprocess.run(
        [sys.executable, "-c", script], capture_output=True, text=True, env=env, check=False
    )
    assert res.returncode == 0, res.stderr
    assert re.match(message, res.stdout, re.S), res.stdout
    # The packets were read, but the module stays unbound.
    assert "after: k814util is not initialized, did you call the TMFile constructor" in res.stdout
    assert "Read partial packet" in res.stderr
    assert re.search("^binding: " + message, res.stdout, re.M), res.stdout


def test_rebinding_between_missions(archive, monkeypatch):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    tarn_run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    vireo_run = next(r for r in manifest["runs"] if r["mission"] == "vireo")
    for run in (tarn_run, vireo_run, tarn_run):
        f = k814util.open(run["tm_file"])
        assert len(f) == run["packets"]
        assert f.directory_string() == Path(run["tm_file"]).parent.name
        log = k814util.message_log(run["tm_file"])
        first = next(e["text"] for e in run["expected"] if "text" in e)
        assert log[0].msg() == first.split("\n")[0]


def test_every_list_result_is_a_list_object(tarn):
    """Lists come back as objects of their list type, through the flat functions and the
    proxies alike, with the list operations and errors scripts rely on."""
    run, f = tarn
    flat = proxy._k814util
    hk = next(p for p in f if p.get_type() == SEB_HK)
    inside = next(p for p in f if len(p.get_meta_markers()) > 0)
    n_meta = len(f.get_meta_markers())
    assert n_meta >= 2
    pts, ints, metas = (
        k814util.ListOfTMDatapoints,
        k814util.ListOfIntegers,
        k814util.ListOfMetaMarkers,
    )
    cases = [
        ("TMPacket_all_raw_data", (hk, 17), pts, 8),
        ("TMPacket_all_eng_data", (hk, 17), pts, 8),
        ("TMPacket_all_sci_data", (hk, 17), pts, 8),
        ("TMPacket_all_data", (hk, 17, 0), pts, 8),
        ("TMPacket__raw_packet", (hk,), ints, hk.total_length()),
        ("TMPacket_get_meta_markers", (inside,), metas, len(inside.get_meta_markers())),
        ("TMFile_get_meta_markers", (f,), metas, n_meta),
    ]
    for name, (obj, *args), cls, n in cases:
        from_flat = getattr(flat, name)(obj, *args)
        from_proxy = getattr(obj, name.split("_", 1)[1])(*args)
        expected = list(from_flat)
        for lst in (from_flat, from_proxy):
            assert type(lst) is cls, name
            assert getattr(flat, f"{cls.__name__}___len__")(lst) == lst.size() == len(lst) == n
            assert lst == expected and lst == type(lst)(expected), name
            assert type(lst[1:]) is cls and len(lst[::2]) == (n + 1) // 2
            assert lst[-1] == lst[n - 1] and lst.front() == lst[0]
            with pytest.raises(IndexError, match="index out of range"):
                lst[n]
            with pytest.raises(ValueError, match="slice step cannot be zero"):
                lst[::0]
            lst.push_back(lst[0])
            assert len(lst) == n + 1 and lst[-1] == lst[0]
        # Each result is the caller's own: growing one left the packet's next answer alone.
        assert getattr(flat, name)(obj, *args) == expected
        # Results pickle (multiprocessing, caches) and copy like lists, elements and all.
        fresh = getattr(flat, name)(obj, *args)
        back = pickle.loads(pickle.dumps(fresh))
        assert type(back) is cls and back == fresh and back[0] == fresh[0], name
        for dup in (copy.copy(fresh), copy.deepcopy(fresh)):
            dup.push_back(dup[0])
            assert len(dup) == n + 1 and len(fresh) == n, name
