"""The compiled module through the package: binding, its failures, message log, VIREO markers
and the list types, checked against what the sample generator recorded."""

import shutil
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("k814util.k814util")

import k814util
from k814util import k814util as proxy


def _run(archive, monkeypatch, mission):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    return next(r for r in manifest["runs"] if r["mission"] == mission), root


@pytest.fixture
def vireo(archive, monkeypatch):
    return _run(archive, monkeypatch, "vireo")


def _sent_lines(run):
    """(text, unix time of its first packet) of every line the message packets spell."""
    lines, open_line = [], False
    for e in run["expected"]:
        if "text" not in e:
            continue
        for k, part in enumerate(e["text"].split("\n")):
            if k > 0:
                open_line = False
            if not part:
                continue
            if open_line:
                lines[-1][0] += part
            else:
                lines.append([part, e["unix"]])
            open_line = True
    return lines


def _copy_test(run, dest: Path, data: bytes) -> Path:
    """A copy of the run's TID directory whose telemetry file holds data."""
    src = Path(run["tm_file"]).parent
    target = dest / src.name
    target.mkdir(parents=True)
    shutil.copy(src / "tm.meta", target / "tm.meta")
    tm = target / Path(run["tm_file"]).name
    tm.write_bytes(data)
    return tm


# TARN times are resolved from 100 us clock ticks, VIREO's from the packets' fine time.
@pytest.mark.parametrize(("mission", "tolerance"), [("vireo", 1e-6), ("tarn", 1e-4)])
def test_message_log_spells_the_sent_lines(archive, monkeypatch, mission, tolerance):
    run, _ = _run(archive, monkeypatch, mission)
    log = k814util.message_log(run["tm_file"])
    sent = _sent_lines(run)
    assert len(sent) >= 5
    assert [line.msg() for line in log] == [text for text, _ in sent]
    for line, (_, unix) in zip(log, sent):
        assert line.unixTime() == pytest.approx(unix, abs=tolerance)
    assert log[-1].msg() == sent[-1][0]
    assert [line.msg() for line in log[1:3]] == [sent[1][0], sent[2][0]]
    with pytest.raises(IndexError, match="invalid index"):
        log.get(len(log))
    with pytest.raises(IndexError):
        log[len(log)]


def test_vireo_markers_sorted_with_the_open_one(vireo):
    run, _ = vireo
    events = [(round(e["unix"] * 1e6), *e["marker"]) for e in run["expected"] if "marker" in e]
    assert len(events) == 8
    at = [us for us, *_ in events]
    markers = k814util.vireo_markers(run["tm_file"])
    got = [(m.marker_id(), m.t_start_us(), m.t_end_us(), m.is_complete()) for m in markers]
    # The generator's schedule: 1 closes by id, 2 is reopened while open, "close all" ends 2
    # and 3, a close for id 7 matches nothing, and 4 stays open to the end.
    assert got == [
        (1, at[0], at[1], True),
        (2, at[2], at[4], True),
        (3, at[3], at[5], True),
        (2, at[4], at[5], True),
        (4, at[7], 0, False),
    ]
    assert [m.text() for m in markers] == [events[i][3] for i in (0, 2, 3, 4, 7)]
    assert markers[0].marker_type() == 1 and markers[2].marker_type() == 2
    with pytest.raises(IndexError):
        markers.get(5)


def test_growing_file_and_rebinding(vireo, tmp_path):
    run, _ = vireo
    data = Path(run["tm_file"]).read_bytes()
    sent = [text for text, _ in _sent_lines(run)]
    # Cut anywhere, even inside a packet: the reader waits for the rest.
    tm = _copy_test(run, tmp_path / "growing", data[: len(data) // 2 + 3])
    first = k814util.message_log(tm)
    n = len(first)
    assert 0 < n < len(sent)
    kept = [first[i] for i in range(n)]
    with open(tm, "ab") as f:
        f.write(data[len(data) // 2 + 3 :])
    second = k814util.message_log(tm)
    assert [line.msg() for line in second] == sent
    assert [line.msg() for line in kept] == sent[:n]  # lines already obtained stay the same

    # Binding to another file starts its log afresh; lines of the old log refuse to answer.
    other = _copy_test(run, tmp_path / "other", data[: len(data) // 4])
    shorter = k814util.message_log(other)
    assert 0 < len(shorter) < n
    with pytest.raises(RuntimeError, match="forgotten"):
        kept[0].msg()
    assert [line.msg() for line in k814util.message_log(run["tm_file"])] == sent


def _meta(directory: Path, mission: str, model: str = "") -> None:
    model_field = f', "model": "{model}"' if model else ""
    (directory / "tm.meta").write_text(
        f'{{"gse": {{"version": 3, "mission": "{mission}"{model_field}}}}}'
    )


@pytest.mark.parametrize("case", ["missing", "default", "no tm.meta", "bad group", "lumo"])
def test_binding_failures(vireo, tmp_path, monkeypatch, case):
    run, root = vireo
    path = tmp_path / "run.tlm"
    if case == "missing":
        expected = f"tmfile does not exist: {path}"
    elif case == "default":
        path = ""
        expected = "tmfile does not exist: "
    else:
        path.write_bytes(b"\x00" * 16)
        if case == "no tm.meta":
            expected = f"A valid tm.meta could not be found for {path}"
        elif case == "bad group":
            _meta(tmp_path, "vireo", "em")
            expected = f"VIREO_EM in .814config.INI either does not exist or is invalid for {path}"
        elif case == "lumo":
            # The sample's VIREO paths under a LUMO group, so the configuration check passes.
            _meta(tmp_path, "lumo")
            ini = tmp_path / "lumo.INI"
            text = (root / ".814config.INI").read_text()
            ini.write_text(text.replace("[VIREO]", "[LUMO]", 1))
            monkeypatch.setenv("INI814", str(ini))
            expected = f"Unsupported mission lumo for {path}"

    # The factories raise with the message...
    error = k814util.TelemetryFileNotFoundError if case in ("missing", "default") else None
    with pytest.raises(error or k814util.BindingError) as caught:
        k814util.bind(path)
    assert caught.value.line == expected
    if case == "bad group":  # what is missing follows, in brackets
        ini = root / ".814config.INI"
        assert caught.value.detail == f"the configuration file {ini} has no group [VIREO_EM]"
        assert str(caught.value) == f"{expected} ({caught.value.detail})"
    else:
        assert str(caught.value) == expected

    # ...that initialisation prints before it ends the process with status 1.
    call = "initK814Util()" if case == "default" else f"initK814Util({str(path)!r})"
    res = subprocess.run(
        [sys.executable, "-c", f"import k814util; k814util.{call}"],
        capture_output=True,
        text=True,
        check=False,
    )
    assert res.returncode == 1
    # A missing group is also reported by the configuration reader, on the line before.
    assert res.stderr.splitlines()[-1] == expected and res.stderr.endswith("\n")
    assert len(res.stderr.splitlines()) == (2 if case == "bad group" else 1)


def test_registration_and_documentation():
    names = [
        n[: -len("_swigregister")] for n in vars(proxy._k814util) if n.endswith("_swigregister")
    ]
    registered = (
        "SwigPyIterator PyMsgLogLine PyMsgLogCache PyVireoMarker PyVireoMarkerCache ListOfIntegers"
        " ListOfFloats ListOfRfStatusEntrys ListOfTMDatapoints ListOfMetaMarkers MetaMarker"
        " TMDatapoint RfStatusEntry PythonStyleTarnScan ScienceDataCacheWrapper TMPacket TMFile"
    )
    assert names == registered.split()
    assert proxy._k814util.PyMsgLogCache_get.__doc__.startswith(
        "PyMsgLogCache_get(PyMsgLogCache self, unsigned int index) -> PyMsgLogLine"
    )
    assert proxy._k814util.new_TMDatapoint.__doc__.startswith(
        "new_TMDatapoint() -> TMDatapoint\nnew_TMDatapoint(double unix_timestamp"
    )
    flat = vars(proxy._k814util)
    for name, function in flat.items():
        if callable(function) and not name.startswith("_") and function.__doc__:
            assert function.__doc__.startswith(name + "("), name
    # Every documentation string opens with the function's signature, the defaulted one too.
    for doc in (k814util.initK814Util.__doc__, proxy._k814util.initK814Util.__doc__):
        assert doc.startswith('initK814Util(std::string telemetryFilename="")')
        assert "intended for internal use only" in doc
    assert k814util.cvar.MIN_META_MARKER_ID == 50000
    assert k814util.cvar.MAX_META_MARKER_ID == 99999
    with pytest.raises(AttributeError, match="Variable MIN_META_MARKER_ID is read-only."):
        k814util.cvar.MIN_META_MARKER_ID = 1


def test_list_types_behave_like_lists():
    ints = k814util.ListOfIntegers([5, -7, 11, 13])
    assert len(ints) == 4 and ints[-1] == 13 and ints[-4] == 5
    assert list(ints[1:3]) == [-7, 11]
    assert list(ints[::-2]) == [13, -7]
    ints.append(17)
    assert list(ints) == [5, -7, 11, 13, 17]
    del ints[0]
    ints[0] = 3
    assert [x for x in ints] == [3, 11, 13, 17]
    ints[1:3] = [0, 0, 0]
    assert list(ints) == [3, 0, 0, 0, 17]
    assert ints == [3, 0, 0, 0, 17] and ints != [3, 0] and ints == (3, 0, 0, 0, 17)
    assert repr(ints) == "ListOfIntegers([3, 0, 0, 0, 17])"
    floats = k814util.ListOfFloats(3, 0.5)
    assert floats == [0.5, 0.5, 0.5]
    assert list(k814util.ListOfFloats(floats)) == [0.5] * 3

    # Wrong elements and positions are refused as a list would refuse them.
    with pytest.raises(IndexError):
        ints[-99]
    with pytest.raises(TypeError):
        ints.append("x")
    with pytest.raises(OverflowError):
        ints.append(2**40)


def _be16(raw, at):
    return (raw[at] << 8) | raw[at + 1]


def test_tmfile_values_match_the_packet_bytes(vireo):
    run, _ = vireo
    f = k814util.open(run["tm_file"])
    assert len(f) == run["packets"] == f.length()
    assert k814util.TMFile(run["tm_file"]).length() == f.length()  # one shared cache
    assert f.tid() == 23456 and f.directory_string() == Path(run["tm_file"]).parent.name
    assert f.file_size() == Path(run["tm_file"]).stat().st_size and f.exists()
    expected = run["expected"]
    # Every packet the generator wrote, behind sync prefixes and station records alike.
    assert [p.get_type() for p in f] == [e["type"] for e in expected]
    assert [p.unix_timestamp() for p in f] == pytest.approx([e["unix"] for e in expected], abs=1e-9)
    assert f[0].relative_timestamp() == 0.0
    hk = [p for p in f if p.get_type() == 704]
    for p in hk[:20]:
        raw = list(p._raw_packet())
        assert len(raw) == p.total_length() and all(0 <= b <= 255 for b in raw)
        # HK:V_28 (10): 16-bit ADC at byte 30 -> volts over a 10 V span -> x3 in science.
        volts = -5.0 + _be16(raw, 30) * 10.0 / 65536.0
        (raw_point,) = p.all_raw_data(10)
        (eng,) = p.all_eng_data(10)
        (sci,) = p.all_data(10)
        assert raw_point.value == _be16(raw, 30)
        assert eng.value == pytest.approx(volts, abs=1e-12)
        assert sci.value == pytest.approx(3.0 * volts, abs=1e-9)
        assert eng.unix_timestamp == p.unix_timestamp()
        assert eng.relative_timestamp == pytest.approx(p.relative_timestamp())
        # HK:COUNTS_LE (12): little-endian counter at byte 34.
        assert p.all_raw_data(12)[0].value == raw[34] | (raw[35] << 8)
        assert p.all_sci_data(9)[0].value == 1.5  # HK:GAIN 0x00018000 as 16.16 fixed point
        # Mode 3 applies the engineering conversion only to rows whose science is taken from
        # it: V_2P50_VREF (2) has one but not that flag, so it stays raw; V_28 (10) has both.
        (vref,) = p.all_raw_data(2)
        assert p.all_eng_data(2)[0].value != vref.value
        assert p.all_data(2, 3)[0].value == vref.value
        assert list(p.all_raw_data(999999)) == []  # unknown hkid
        assert list(p.all_raw_data(20)) == []  # an item of another packet type
    sci = next(p for p in f if p.get_type() == 720)
    raw = list(sci._raw_packet())
    assert [d.value for d in sci.all_raw_data(20)] == [_be16(raw, 12 + 2 * i) for i in range(32)]
    message = next(p for p in f if p.get_type() == 709)
    assert message.raw_message() == ""  # VIREO messages are not type 8

    for bad in (-1, len(f)):
        with pytest.raises(IndexError, match="get_pkt was passed an invalid index."):
            f.get_pkt(bad)
    assert f[-1].index() == len(f) - 1
    # Modes beyond the three named ones convert as the row defines: negative is raw, and 3
    # applies the engineering conversion only because V_28's science is taken from it.
    raw = list(hk[0]._raw_packet())
    assert [d.value for d in hk[0].all_data(10, -1)] == [_be16(raw, 30)]
    assert hk[0].all_data(10, 3)[0].value == pytest.approx(-5.0 + _be16(raw, 30) * 10 / 65536)
    assert list(f.get_meta_markers()) == []  # VIREO has no meta-marker rules


def test_tmfile_needs_an_existing_file(vireo, tmp_path):
    run, _ = vireo
    k814util.bind(run["tm_file"])
    with pytest.raises(RuntimeError, match="TMFile was given a nonexistent file!"):
        k814util.TMFile(str(tmp_path / "gone.tlm"))
