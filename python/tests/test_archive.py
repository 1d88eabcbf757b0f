"""Whole archives: the catalogue against the generator's manifest, and work on a local cluster
of two worker processes against each run bound alone in a fresh interpreter."""

import json
import os
import re
import shutil
import subprocess
import sys
import warnings
from datetime import datetime, timezone

import pytest

pd = pytest.importorskip("pandas")
distributed = pytest.importorskip("distributed")
pytest.importorskip("k814util.k814util")

from k814util.archive import Archive, ArchiveWarning, RunError, RunWarning  # noqa: E402
from k814util.console import archive as archive_console  # noqa: E402
from k814util.sample import generate_archive, tmdefs  # noqa: E402

import k814util  # noqa: E402
from k814util import UnknownItemError, console  # noqa: E402

# An item of each mission. The VIREO one converts through a VIREO plug-in: a process whose
# plug-ins were loaded for TARN first reads it unconverted.
ITEMS = ["SEB:HV_MON", "HK:T_PRT"]

# Each run bound alone in a fresh interpreter: the values every way of reading it must give.
_SERIAL = """
import json, os, sys
import k814util
from k814util.frames import UnknownItemError
path, ini = sys.argv[1], sys.argv[2]
os.environ["INI814"] = ini
f = k814util.open(path)
out = {"packets": len(f), "values": {}, "tics": []}
for item in json.loads(sys.argv[3]):
    try:
        out["values"][item] = f.series(item)["value"].tolist()
    except UnknownItemError:
        pass
if path.endswith(".tlm") and "tarn" in os.path.basename(path):
    out["tics"] = [s.total_ion_count() for s in k814util.scans(path)]
print(json.dumps(out))
"""


def _values(tmfile):
    """What a script would compute per run; the process id says who bound it."""
    from k814util.frames import UnknownItemError

    found = {}
    for item in ITEMS:
        try:
            found[item] = tmfile.series(item)["value"].tolist()
        except UnknownItemError:
            pass
    return os.getpid(), len(tmfile), found


def _fail_on(tid):
    def work(tmfile):
        if tmfile.tid() == tid:
            raise ValueError(f"no good: {tid}")
        return tmfile.tid()

    return work


@pytest.fixture(scope="module")
def multi(tmp_path_factory):
    """Three runs per mission: the sample test, a shorter one, and one with a problem (TARN: a
    damaged telemetry file; VIREO: a broken tm.meta)."""
    root = tmp_path_factory.mktemp("multi")
    manifest = generate_archive(root, runs=3)
    return root, manifest, Archive(root / ".814config.INI")


@pytest.fixture(scope="module")
def client():
    # Not dask's default client: the frames must go where they are told.
    with (
        distributed.LocalCluster(
            n_workers=2, processes=True, threads_per_worker=1, dashboard_address=":0"
        ) as cluster,
        distributed.Client(cluster, set_as_default=False) as c,
    ):
        yield c


@pytest.fixture(scope="module")
def serial(multi):
    """Per telemetry file of a run that binds: its figures, read alone."""
    root, manifest, _ = multi
    found = {}
    for run in manifest["runs"]:
        if run.get("problem") == "broken tm.meta":
            continue
        done = subprocess.run(
            [sys.executable, "-c", _SERIAL, run["tm_file"], str(root / ".814config.INI")]
            + [json.dumps(ITEMS)],
            capture_output=True,
            text=True,
            check=True,
        )
        found[run["tm_file"]] = json.loads(done.stdout)
    return found


def test_catalogue_lists_every_run_with_its_error(multi):
    root, manifest, archive = multi
    runs = archive.catalogue()
    assert len(runs) == len(manifest["runs"]) == 6
    assert runs["start_time"].is_monotonic_increasing
    by_file = runs.set_index("telemetry_file")
    for run in manifest["runs"]:
        row = by_file.loc[run["tm_file"]]
        broken = run.get("problem") == "broken tm.meta"
        assert row["mission"] == run["mission"]
        assert row["group"] == run["group"]
        assert row["tid"] == run["tid"]
        assert row["test_name"] == run["tid_dir"].split("-", 5)[-1]
        assert row["start_time"].timestamp() == run["start_unix"]
        assert row["size"] == run["bytes"] == os.path.getsize(run["tm_file"])
        expected = f"A valid tm.meta could not be found for {run['tm_file']}" if broken else ""
        assert row["error"] == expected
    assert sorted(r.get("problem", "") for r in manifest["runs"]) == [
        "",
        "",
        "",
        "",
        "broken tm.meta",
        "damaged telemetry file",
    ]

    tarn = sorted((r for r in manifest["runs"] if r["mission"] == "tarn"), key=lambda r: r["tid"])
    second = datetime.fromtimestamp(tarn[1]["start_unix"], timezone.utc)
    third = datetime.fromtimestamp(tarn[2]["start_unix"], timezone.utc)
    cases = [
        ({"mission": "VIREO"}, {23456, 23457, 23458}),
        ({"mission": ["tarn", "vireo"]}, {r["tid"] for r in manifest["runs"]}),
        ({"since": second, "until": third}, {tarn[1]["tid"]}),
        # A date without a zone is UTC: the second TARN run starts after 12:00 UTC that day.
        ({"mission": "tarn", "since": f"{second:%Y-%m-%d} 12:00"}, {12346, 12347}),
        ({"mission": "tarn", "until": f"{second:%Y-%m-%d} 12:00"}, {12345}),
        ({"name": "*BAKE*"}, {12346}),
        ({"name": "sample"}, {12345, 23456}),
    ]
    for filters, tids in cases:
        assert set(archive.catalogue(**filters)["tid"]) == tids, filters


def test_catalogue_says_why_a_run_cannot_be_bound(tmp_path):
    manifest = generate_archive(tmp_path)
    ini = tmp_path / ".814config.INI"
    tarn = manifest["runs"][0]
    text = ini.read_text()
    # A group for a mission binding refuses, and one whose data root is missing.
    tarn_group = text[text.index("[TARN_FM]") : text.index("[VIREO]")]
    ini.write_text(
        text + tarn_group.replace("[TARN_FM]", "[OTHER]") + "[LOST]\ndata_root=/no/such/dir\n"
    )
    source = os.path.dirname(tarn["tm_file"])
    cases = [  # tm.meta changes, and the line binding fails with (the file's absolute path)
        ({"model": "XX"}, "TARN_XX in .814config.INI either does not exist or is invalid for "),
        ({"mission": "other", "model": ""}, "Unsupported mission other for "),
        ({"tmfile_name": "gone.tlm"}, "tmfile does not exist: "),
    ]
    expected = {}
    for k, (change, line) in enumerate(cases):
        tid = 30001 + k
        target = os.path.join(os.path.dirname(source), f"2013-01-0{k + 1}-10.00.00-{tid}-case")
        shutil.copytree(source, target)
        meta = json.loads(open(os.path.join(target, "tm.meta")).read())
        meta["gse"].update(change, tid=tid, tid_dir=os.path.basename(target))
        with open(os.path.join(target, "tm.meta"), "w") as out:
            json.dump(meta, out)
        expected[tid] = line + os.path.join(target, meta["gse"]["tmfile_name"])
    with pytest.warns(ArchiveWarning, match="group LOST: data root /no/such/dir is not a"):
        runs = Archive(ini).catalogue()
    assert dict(zip(runs["tid"], runs["error"])) == {12345: "", 23456: "", **expected}


def test_base_runs_stay_those_of_the_default_archive(multi, tmp_path):
    _, manifest, _ = multi
    single = generate_archive(tmp_path)
    for one, many in zip(single["runs"], manifest["runs"]):
        with open(one["tm_file"], "rb") as a, open(many["tm_file"], "rb") as b:
            assert a.read() == b.read()
    further = manifest["runs"][2:]
    assert len({r["start_unix"] for r in further}) == len({r["tid_dir"] for r in further}) == 4
    assert len({r["packets"] for r in further if r["mission"] == "tarn"}) == 2

    # Every file is what its manifest says: the packets in order, and every other byte in the
    # reader's "Skipped" lines (the damaged file's overwritten stretch too).
    skipped = re.compile(r"Skipped (\d+) bytes \[\d+ - \d+\]")
    for run in manifest["runs"]:
        p = k814util.read_packets(
            run["tm_file"], layout={"tarn": "tom"}.get(run["mission"], "vireo")
        )
        types = (
            p["apid"] if run["mission"] == "vireo" else p["packet_type"] | p["gse_created"] * 0x80
        )
        assert types.tolist() == [e["type"] for e in run["expected"]], run["tid"]
        assert len(types) == run["packets"]
        lines = [skipped.fullmatch(line) for line in p["diagnostics"]]
        assert sum(int(m.group(1)) for m in lines if m) == run["damage_bytes"], run["tid"]


def test_map_equals_each_run_bound_alone(multi, client, serial):
    _, _, archive = multi
    runs = archive.catalogue()
    results = archive.map(_values, runs, client=client)
    missions_of = {}
    for row, result in zip(runs.itertuples(), results):
        if row.error:
            assert result == RunError(
                os.path.basename(os.path.dirname(row.telemetry_file)),
                row.error,
                row.telemetry_file,
            )
            continue
        pid, packets, values = result
        alone = serial[row.telemetry_file]
        assert (packets, values) == (alone["packets"], alone["values"]), row.telemetry_file
        missions_of.setdefault(pid, set()).add(row.mission)
    # No process bound runs of two missions.
    assert all(len(m) == 1 for m in missions_of.values()), missions_of
    assert set().union(*missions_of.values()) == {"tarn", "vireo"}


def test_a_failing_run_leaves_the_others(multi, client, serial):
    _, _, archive = multi
    runs = archive.catalogue(mission="tarn")
    results = archive.map(_fail_on(12346), runs, client=client)
    assert [r if isinstance(r, int) else r.message for r in results] == [
        12345,
        "ValueError: no good: 12346",
        12347,
    ]
    assert results[1].run == "2012-05-09-17.48.42-12346-ei_bakeout"
    # The helper's traceback, down to the function's own frame.
    assert results[1].traceback.startswith("Traceback (most recent call last):")
    assert results[1].traceback.endswith(", in work\nValueError: no good: 12346\n")

    # In the frames: a run whose file went missing after the catalogue was made.
    gone = runs.copy()
    gone.loc[gone["tid"] == 12346, "telemetry_file"] += ".gone"
    with pytest.warns(RunWarning, match="left out 2012-05-09-17.48.42-12346-ei_bakeout: "):
        values = archive.series("SEB:HV_MON", gone, client=client).compute()
    for tid, path in zip(gone["tid"], runs["telemetry_file"]):
        expected = [] if tid == 12346 else serial[path]["values"]["SEB:HV_MON"]
        assert values.loc[values["tid"] == tid, "value"].tolist() == expected
    with pytest.raises(RunError, match="12346-ei_bakeout: "):
        archive.scans(gone, client=client, errors="raise").compute()


def test_unknown_items_are_refused_before_the_work(multi, client):
    _, _, archive = multi
    cases = [  # items, missions of the runs, what the error must name
        (["SEB:HV_MOM"], None, "'SEB:HV_MOM'; close matches: SEB:HV_MON"),
        (["SEB:HV_MON", "HK:T_PRT"], "tarn", "no database item has the mnemonic 'HK:T_PRT'"),
        ([999999], None, "no database item has the id 999999"),
    ]
    for items, mission, message in cases:
        with pytest.raises(UnknownItemError, match=re.escape(message)):
            archive.series(items, archive.catalogue(mission=mission), client=client)


def test_series_and_scans_equal_each_run_bound_alone(multi, client, serial, tmp_path):
    _, manifest, archive = multi
    runs = archive.catalogue()
    frame = archive.series(ITEMS, runs, client=client)
    good = runs[runs["error"] == ""]
    assert frame.npartitions == len(good) == 5
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # no run fails
        values = frame.compute()
    for row in good.itertuples():
        mine = values[values["tid"] == row.tid]
        alone = serial[row.telemetry_file]["values"]
        assert set(mine["item"]) == set(alone)
        for item, expected in alone.items():
            assert mine.loc[mine["item"] == item, "value"].tolist() == expected
        assert (mine["test_name"] == row.test_name).all() and (mine["group"] == row.group).all()

    out = tmp_path / "values.parquet"
    frame.to_parquet(out)
    back = pd.read_parquet(out)
    pd.testing.assert_frame_equal(back, values, check_dtype=False, check_index_type=False)
    assert set(back["item"]) == set(ITEMS)
    # The runs were bound on the client's workers, whose reader diagnostics were counted
    # there: a damaged file's skipped stretches among them.
    damaged = next(r for r in manifest["runs"] if r.get("problem") == "damaged telemetry file")
    skipped = k814util.read_packets(damaged["tm_file"], layout="tom")["diagnostics"]
    counted = archive.diagnostics(client)[damaged["tid_dir"]]
    assert counted >= len(skipped) > 0

    scans = archive.scans(runs, client=client).compute()
    for row in good[good["mission"] == "tarn"].itertuples():
        tics = scans.loc[scans["tid"] == row.tid, "tic"].tolist()
        assert tics == serial[row.telemetry_file]["tics"] and tics
    # A second pass over the damaged run reads on from its binding, which keeps its lines: the
    # count is the run's, not the last read's.
    assert archive.diagnostics(client)[damaged["tid_dir"]] == counted


def test_limit_violations_equal_each_runs_report(multi, client, tmp_path, capsys):
    root, manifest, archive = multi
    runs = archive.catalogue()
    good = runs[runs["error"] == ""]
    frame = archive.limit_violations(runs, level="red", client=client)
    assert frame.npartitions == len(good)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        spans = frame.compute()
    assert list(spans.columns[:4]) == ["mission", "group", "tid", "test_name"]
    for row in good.itertuples():
        with k814util.Run(row.telemetry_file, ini=str(root / ".814config.INI")) as alone:
            expected = alone.limit_violations(level="red")
        mine = spans[(spans["mission"] == row.mission) & (spans["tid"] == row.tid)]
        assert (mine["test_name"] == row.test_name).all()
        got = mine.drop(columns=["mission", "group", "tid", "test_name"]).reset_index(drop=True)
        # dask keeps texts as its string dtype
        pd.testing.assert_frame_equal(got, expected, check_dtype=False)
        assert len(expected) > 0  # every run has red spans planted

    out = tmp_path / "spans.parquet"
    argv = ["archive", "limits", "--level", "red", "--ini", str(root / ".814config.INI")]
    assert console.main([*argv, "--out", str(out), "--scheduler", client.scheduler.address]) == 0
    written = pd.read_parquet(out)
    pd.testing.assert_frame_equal(
        written.reset_index(drop=True), spans.reset_index(drop=True), check_dtype=False
    )
    holding = len(set(zip(spans["mission"], spans["tid"])))
    said = f"{len(spans)} limit violation span(s) (red) from {holding} runs -> {out}"
    assert capsys.readouterr().out.startswith(said)


def test_console_lists_and_extracts(multi, client, serial, tmp_path, capsys, monkeypatch):
    root, manifest, _ = multi
    ini = str(root / ".814config.INI")
    assert console.main(["archive", "list", "--ini", ini, "--mission", "vireo"]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert len(lines) == 4 and lines[-1] == "3 runs, 1 that cannot be bound"
    assert sum("A valid tm.meta could not be found" in line for line in lines) == 1

    out = tmp_path / "hv.parquet"
    address = client.scheduler.address
    argv = ["archive", "extract", "SEB:HV_MON", "--ini", ini, "--out", str(out)]
    assert console.main([*argv, "--mission", "tarn", "--scheduler", address]) == 0
    written = pd.read_parquet(out)
    holding = [m for m in manifest["runs"] if serial.get(m["tm_file"], {}).get("values")]
    holding = [m for m in holding if "SEB:HV_MON" in serial[m["tm_file"]]["values"]]
    for run in holding:
        expected = serial[run["tm_file"]]["values"]["SEB:HV_MON"]
        assert written.loc[written["tid"] == run["tid"], "value"].tolist() == expected
    # The values name what they are, as the console's values table does.
    units = tmdefs.tarn_mission().item("SEB:HV_MON").units
    assert set(zip(written["mode"], written["units"])) == {("sci", units)}
    report = capsys.readouterr()
    assert report.out.startswith(f"{len(written)} values of SEB:HV_MON from {len(holding)} runs")
    assert "reader diagnostics: " in report.err  # one line, not the reader's own

    monkeypatch.setattr(archive_console, "CONNECT_TIMEOUT", "1s")  # nothing listens on port 1
    cases = [  # arguments, exit status, what standard error says
        ([*argv, "--scheduler", address], 1, "hv.parquet exists; remove it or name another"),
        ([*argv[:2], "SEB:HV_MOM", *argv[3:-1], f"{out}2"], 1, "close matches: SEB:HV_MON"),
        ([*argv[:-1], f"{out}3", "--scheduler", "tcp://127.0.0.1:1"], 1, "no scheduler at"),
        ([*argv[:-1], f"{out}4", "--workers", "0"], 2, "must be at least 1, not 0"),
        (["sample", str(tmp_path / "s"), "--runs", "-2"], 2, "must be at least 1, not -2"),
    ]
    for args, status, says in cases:
        try:
            code = console.main(args)
        except SystemExit as exc:
            code = exc.code if isinstance(exc.code, int) else 1
            print(exc.code if isinstance(exc.code, str) else "", file=sys.stderr)
        err = capsys.readouterr().err
        assert (code, says in err) == (status, True), (args, err)
        assert "Traceback" not in err
    assert sorted(os.listdir(tmp_path)) == ["hv.parquet"]  # nothing else written
