"""The HTML summaries notebooks show for files, runs, spectra and archives: well-formed markup,
every text escaped, and the sample's own numbers (from its manifest) in them."""

import datetime as dt
import shutil
import xml.etree.ElementTree as ET
from collections import Counter
from pathlib import Path

import pytest
from conftest import counted_bins

pytest.importorskip("k814util.k814util")
import k814util  # noqa: E402

# Packet types of the TARN science packets and their catalogue names.
SCIENCE_TYPES = {
    10: "SCIENCE_RAW",
    26: "SCIENCE_SINGLE",
    27: "SCIENCE_SUMMED",
    28: "SCIENCE_AGGREGATED",
}


def rows(markup):
    """The summary's title and its rows as {label: text}, read by a strict XML parser (which
    fails on anything unclosed or unescaped)."""
    root = ET.fromstring(markup)
    title = root.find("p/strong").text
    table = {tr.find("th").text: tr.find("td").text for tr in root.iter("tr")}
    note = root.findall("p")[1].text if len(root.findall("p")) > 1 else ""
    return title, table, note


def utc(unix):
    moment = dt.datetime.fromtimestamp(unix, tz=dt.timezone.utc)
    return moment.isoformat(timespec="milliseconds").replace("+00:00", "Z")


@pytest.mark.parametrize("mission", ["tarn", "vireo"])
def test_tmfile_summary_shows_the_files_numbers(archive, monkeypatch, mission):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    run = next(r for r in manifest["runs"] if r["mission"] == mission)
    f = k814util.open(run["tm_file"])
    title, table, _ = rows(f._repr_html_())
    assert title == "TMFile"
    assert table["file"] == run["tm_file"]
    assert table["mission"] == mission
    assert table["test"] == f"{run['tid_dir']} (TID {run['tid']})"
    assert table["packets"] == str(run["packets"])
    # The last packet's time as the generator wrote it, to the millisecond.
    assert f" to {utc(run['expected'][-1]['unix'])} " in table["time span"]
    # Every item the manifest plants a violation of is listed among the items with limits.
    for mnemonic in {v["mnemonic"] for v in run["limit_violations"]}:
        assert mnemonic in table["items with limits"]
    if mission == "tarn":
        expected = [f"{name} {run['packets_by_type'][str(t)]}" for t, name in SCIENCE_TYPES.items()]
        assert table["science packets"] == ", ".join(expected)
    else:
        assert "science packets" not in table


def test_stale_tmfile_says_so(archive, monkeypatch):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    tarn, vireo = (
        next(r for r in manifest["runs"] if r["mission"] == m) for m in ("tarn", "vireo")
    )
    old = k814util.open(tarn["tm_file"])
    k814util.open(vireo["tm_file"])
    title, table, note = rows(old._repr_html_())
    assert title == "TMFile (stale)" and table == {"file": tarn["tm_file"]}
    assert "bound to another file" in note


def test_texts_are_escaped(archive, monkeypatch, tmp_path):
    root, manifest = archive
    monkeypatch.setenv("INI814", str(root / ".814config.INI"))
    run = next(r for r in manifest["runs"] if r["mission"] == "tarn")
    source = Path(run["tm_file"])
    directory = tmp_path / "2012-04-02-12.35.42-12345-a<b>&'c\""
    directory.mkdir()
    shutil.copy(source.parent / "tm.meta", directory)
    shutil.copy(source, directory)
    f = k814util.open(directory / source.name)
    markup = f._repr_html_()
    assert "a&lt;b&gt;&amp;&#x27;c&quot;" in markup
    _, table, _ = rows(markup)
    assert table["file"] == str(directory / source.name)


def test_spectra_summary_counts_the_manifests_scans(tarn_run):
    sp = k814util.spectra(tarn_run["tm_file"])
    designed = tarn_run["science"]["scans"]
    title, table, _ = rows(sp._repr_html_())
    assert title == "Spectra"
    assert table["scans"] == f"{len(designed)} (from scan 0)"
    lengths = [counted_bins(s) for s in designed]
    assert table["bins"] == f"{sum(lengths)}, the longest scan {max(lengths)}"
    times = [s["relative_time"] for s in designed]
    assert table["time span"] == f"{min(times):.3f} s to {max(times):.3f} s after T0"
    groups = Counter((s["kind"], s["mode"]) for s in designed)
    assert table["kind and mode"] == ", ".join(
        f"{k} {m}: {n}" for (k, m), n in sorted(groups.items())
    )
    # A slice starts where it was asked to.
    _, part, _ = rows(k814util.Spectra(k814util.scans(tarn_run["tm_file"]), 5, 8)._repr_html_())
    assert part["scans"] == "3 (from scan 5)"


def test_run_summary_does_not_bind_until_asked(tarn_run):
    with k814util.Run(tarn_run["tm_file"]) as run:
        title, table, note = rows(run._repr_html_())
        assert title == "Run" and table["mission"] == "tarn"
        assert "Not bound now" in note and not run.bound  # repr started no worker
        run.mission()
        _, table, note = rows(run._repr_html_())
        assert note == "" and table["packets"] == str(tarn_run["packets"])


def test_archive_summary_lists_its_runs_once_catalogued(archive):
    pytest.importorskip("pandas")
    from k814util.archive import Archive

    root, manifest = archive
    a = Archive(root / ".814config.INI")
    title, table, note = rows(a._repr_html_())
    assert title == "Archive" and "catalogue()" in note
    assert table["group TARN_FM"] == str(root / "data" / "tarn")
    a.catalogue()
    _, table, note = rows(a._repr_html_())
    missions = Counter(r["mission"] for r in manifest["runs"])
    assert table["runs"] == f"{len(manifest['runs'])}: " + ", ".join(
        f"{m} {n}" for m, n in sorted(missions.items())
    )
    assert table["cannot be bound"] == "none" and note == ""
