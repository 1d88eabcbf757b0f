"""The binding owner as scripts see it: diagnostics captured, logged and kept per binding,
objects that outlive their binding, what a configuration that does not work lacks, TID
directories as paths, and a directory name that hides the test's TID."""

import logging
import os
import shutil
from pathlib import Path

import pytest

pytest.importorskip("k814util.k814util")

from k814util.diagnostics import binding_diagnostics

import k814util
from k814util import k814util as proxy


def _runs(archive, monkeypatch):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    by = {r["mission"]: r for r in manifest["runs"]}
    return root, by["vireo"], by["tarn"]


def test_diagnostics_go_to_their_stream_or_a_capture_and_stay_with_the_binding(
    archive, monkeypatch, capfd, caplog
):
    _, vireo, tarn = _runs(archive, monkeypatch)
    # Printed, as the reader always printed them: the damaged sample says what it skipped.
    k814util.open(vireo["tm_file"])
    capfd.readouterr()
    k814util.open(tarn["tm_file"])
    printed = capfd.readouterr().err.splitlines()
    kept = binding_diagnostics()
    assert printed == [d.text for d in kept]
    reader = [d for d in kept if d.kind == "reader"]
    assert reader and any(d.text.startswith("Skipped ") for d in reader)

    # Captured, the same lines and nothing on the stream; an inner capture takes its own.
    k814util.open(vireo["tm_file"])
    with k814util.capture_diagnostics() as outer:
        with k814util.capture_diagnostics() as inner:
            k814util.open(tarn["tm_file"])
        f = k814util.open(tarn["tm_file"])  # read on: nothing new, no new binding
    assert capfd.readouterr().err == ""
    assert inner == kept and outer == []
    assert [str(d) for d in inner] == printed
    assert f.diagnostics() == kept  # the binding's lines, however they were shown

    # Logged, one record per line at its kind's level.
    k814util.open(vireo["tm_file"])
    k814util.diagnostics_to_logging()
    try:
        with caplog.at_level(logging.INFO, logger="k814util"):
            k814util.open(tarn["tm_file"])
    finally:
        k814util.diagnostics_to_logging(False)
    records = [r for r in caplog.records if r.name == "k814util"]
    assert [r.getMessage() for r in records] == printed
    assert {(r.kind, r.levelno) for r in records if r.kind == "reader"} == {
        ("reader", logging.WARNING)
    }
    assert capfd.readouterr().err == ""


def test_objects_of_an_earlier_binding_refuse_whole_file_answers(archive, monkeypatch):
    _, vireo, tarn = _runs(archive, monkeypatch)
    t = k814util.open(tarn["tm_file"])
    again = k814util.open(tarn["tm_file"])  # the same binding, read on
    for f in (t, again):
        k814util._binding.ensure_current(f)
    scans = k814util.scans(tarn["tm_file"])
    log = k814util.message_log(tarn["tm_file"])
    v = k814util.open(vireo["tm_file"])
    with pytest.raises(k814util.StaleBindingError) as caught:
        k814util._binding.ensure_current(t)
    assert vireo["tm_file"] in str(caught.value)
    assert isinstance(caught.value, k814util.BindingError)
    k814util._binding.ensure_current(v)
    # The package's own methods refuse; its repr says why.
    for stale in (lambda: t[5], lambda: len(t), lambda: list(t), lambda: t.mission()):
        with pytest.raises(k814util.StaleBindingError):
            stale()
    for stale in (
        lambda: scans[0],
        lambda: len(scans),
        lambda: k814util.Spectra(scans),
        lambda: log[0],
        lambda: len(log),
    ):
        with pytest.raises(k814util.StaleBindingError):
            stale()
    assert "stale" in repr(t) and "stale" in repr(scans)
    # The documented proxy operations read the process's cache, as they always did.
    assert t.length() == v.length() == vireo["packets"]
    # refresh binds the object's file again, and the object is current again (v no longer).
    assert t.refresh() == tarn["packets"]
    assert len(t) == tarn["packets"] and t.mission() == "tarn"
    with pytest.raises(k814util.StaleBindingError):
        v.mission()


def _ini_with(root: Path, tmp_path: Path, old: str, new: str) -> Path:
    ini = tmp_path / "edited.INI"
    text = (root / ".814config.INI").read_text()
    assert old in text
    ini.write_text(text.replace(old, new, 1))
    return ini


@pytest.mark.parametrize("case", ["ini argument", "missing file", "no group", "path nowhere"])
def test_configuration_problems_say_what_is_missing(archive, monkeypatch, tmp_path, case):
    root, vireo, _ = _runs(archive, monkeypatch)
    k814util.open(vireo["tm_file"])
    before = proxy._binding_generation()
    group_line = (
        f"VIREO in .814config.INI either does not exist or is invalid for {vireo['tm_file']}"
    )
    ini = None
    if case == "ini argument":
        ini = tmp_path / "absent.INI"
        line, detail = f"the configuration file {ini} does not exist", ""
    elif case == "missing file":
        absent = tmp_path / "absent.INI"
        monkeypatch.setenv("INI814", str(absent))
        line, detail = group_line, f"the configuration file {absent} does not exist"
    elif case == "no group":
        edited = _ini_with(root, tmp_path, "[VIREO]", "[VIREO_OLD]")
        monkeypatch.setenv("INI814", str(edited))
        line, detail = group_line, f"the configuration file {edited} has no group [VIREO]"
    else:
        nowhere = tmp_path / "nowhere" / "tmdb.txt"
        text = (root / ".814config.INI").read_text()
        section = text[text.index("[VIREO]") :]
        old = next(ln for ln in section.splitlines() if ln.startswith("tm_database="))
        edited = _ini_with(root, tmp_path, old, f"tm_database={nowhere}")
        monkeypatch.setenv("INI814", str(edited))
        line, detail = group_line, f"[VIREO] tm_database names {nowhere}, which does not exist"
    with pytest.raises(k814util.BindingError) as caught:
        k814util.open(vireo["tm_file"], ini=ini)
    assert (caught.value.line, caught.value.detail) == (line, detail)
    # The process keeps the binding it had.
    assert proxy._binding_generation() == before
    assert proxy._bound_path() == os.path.abspath(vireo["tm_file"])


def test_a_tid_directory_opens_its_telemetry_file(archive, monkeypatch, tmp_path):
    root, vireo, tarn = _runs(archive, monkeypatch)
    f = k814util.open(Path(tarn["tm_file"]).parent, ini=root / ".814config.INI")
    assert os.path.samefile(f.filename(), tarn["tm_file"])
    assert len(f) == tarn["packets"]
    empty = tmp_path / "2012-04-02-12.35.42-12345-empty"
    empty.mkdir()
    with pytest.raises(k814util.BindingError, match="without a valid tm.meta"):
        k814util.open(empty)


def test_a_directory_name_without_the_tests_tid_is_reported_once(archive, monkeypatch, tmp_path):
    _, vireo, tarn = _runs(archive, monkeypatch)
    source = Path(tarn["tm_file"]).parent
    copy = tmp_path / "bakeout-copy"
    shutil.copytree(source, copy)
    tm = copy / Path(tarn["tm_file"]).name
    for _ in range(2):
        k814util.open(vireo["tm_file"])
        with k814util.capture_diagnostics() as lines:
            k814util.open(tm)
        warned = [d.text for d in lines if d.kind == "binding"]
        if _ == 0:
            assert warned == [
                "The directory name bakeout-copy carries no TID at the usual place (characters "
                f"21-25), but its tm.meta says TID {tarn['tid']}: rules for TID {tarn['tid']} "
                "(meta-markers) do not apply to this binding"
            ]
        else:
            assert warned == []  # once per file
    # The original directory carries its TID: nothing to say.
    k814util.open(vireo["tm_file"])
    with k814util.capture_diagnostics() as lines:
        k814util.open(tarn["tm_file"])
    assert [d for d in lines if d.kind == "binding"] == []
