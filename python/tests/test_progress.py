"""Binding with a progress callable: what it is told, that it changes nothing in the binding,
and what happens when it raises."""

import os

import pytest

pytest.importorskip("k814util.k814util")

import k814util


def _packet_times(f):
    return [(p.get_type(), p.sclk(), p.unix_timestamp(), p.relative_timestamp()) for p in f]


def test_progress_reports_and_the_binding_they_leave(archive, monkeypatch):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    tarn, vireo = (
        next(r for r in manifest["runs"] if r["mission"] == m) for m in ("tarn", "vireo")
    )
    size = os.path.getsize(tarn["tm_file"])

    k814util.bind(vireo["tm_file"])  # so that each binding below reads the whole file
    plain = _packet_times(k814util.open(tarn["tm_file"]))
    k814util.bind(vireo["tm_file"])
    reports = []
    f = k814util.open(tarn["tm_file"], progress=lambda *r: reports.append(r))
    assert _packet_times(f) == plain and len(plain) == tarn["packets"]
    # Offsets and packets only grow, against the file's size, from nothing to all of it.
    assert reports[0] == (0, size, 0)
    assert reports[-1] == (size, size, tarn["packets"])
    assert all(total == size for _, total, _ in reports)
    assert [r[0] for r in reports] == sorted(r[0] for r in reports)
    assert [r[2] for r in reports] == sorted(r[2] for r in reports)

    # A callable that raises is not called again; the binding completes, then it is raised.
    k814util.bind(vireo["tm_file"])
    calls = []

    def failing(*report):
        calls.append(report)
        raise ZeroDivisionError("no progress today")

    with pytest.raises(ZeroDivisionError, match="no progress today"):
        k814util.bind(tarn["tm_file"], progress=failing)
    assert calls == [(0, size, 0)]
    assert _packet_times(k814util.open(tarn["tm_file"])) == plain

    with pytest.raises(TypeError, match="progress must be callable"):
        k814util.bind(tarn["tm_file"], progress=5)
