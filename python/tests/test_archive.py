"""Whole archives: the catalogue against the generator's manifest, and work on a local cluster
of two worker processes against each run bound alone in a fresh interpreter."""

import json
import os
import subprocess
import sys
from datetime import datetime, timezone

import pytest

pd = pytest.importorskip("pandas")
distributed = pytest.importorskip("distributed")
pytest.importorskip("k814util.k814util")

from k814util.archive import Archive, RunError  # noqa: E402
from k814util.sample import generate_archive  # noqa: E402

from k814util import cli  # noqa: E402

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
    with (
        distributed.LocalCluster(
            n_workers=2, processes=True, threads_per_worker=1, dashboard_address=None
        ) as cluster,
        distributed.Client(cluster) as c,
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


def test_base_runs_stay_those_of_the_default_archive(multi, tmp_path):
    _, manifest, _ = multi
    single = generate_archive(tmp_path)
    for one, many in zip(single["runs"], manifest["runs"]):
        with open(one["tm_file"], "rb") as a, open(many["tm_file"], "rb") as b:
            assert a.read() == b.read()
    further = manifest["runs"][2:]
    assert len({r["start_unix"] for r in further}) == len({r["tid_dir"] for r in further}) == 4
    assert len({r["packets"] for r in further if r["mission"] == "tarn"}) == 2


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


def test_a_failing_run_leaves_the_others(multi, client):
    _, _, archive = multi
    runs = archive.catalogue(mission="tarn")
    results = archive.map(_fail_on(12346), runs, client=client)
    assert [r if isinstance(r, int) else r.message for r in results] == [
        12345,
        "no good: 12346",
        12347,
    ]
    assert results[1].run == "2012-05-09-17.48.42-12346-ei_bakeout"


def test_series_and_scans_equal_each_run_bound_alone(multi, client, serial, tmp_path):
    _, manifest, archive = multi
    runs = archive.catalogue()
    frame = archive.series(ITEMS, runs, client=client)
    good = runs[runs["error"] == ""]
    assert frame.npartitions == len(good) == 5
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
    assert back["value"].tolist() == values["value"].tolist()
    assert back["tid"].tolist() == values["tid"].tolist()
    assert (back.index == values.index).all()

    scans = archive.scans(runs, client=client).compute()
    for row in good[good["mission"] == "tarn"].itertuples():
        tics = scans.loc[scans["tid"] == row.tid, "tic"].tolist()
        assert tics == serial[row.telemetry_file]["tics"] and tics


def test_console_lists_and_extracts(multi, client, serial, tmp_path, capsys):
    root, manifest, _ = multi
    ini = str(root / ".814config.INI")
    assert cli.main(["archive", "list", "--ini", ini, "--mission", "vireo"]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert len(lines) == 4 and lines[-1] == "3 runs, 1 that cannot be bound"
    assert sum("A valid tm.meta could not be found" in line for line in lines) == 1

    out = tmp_path / "hv.parquet"
    address = client.scheduler.address
    argv = ["archive", "extract", "SEB:HV_MON", "--ini", ini, "--out", str(out)]
    assert cli.main([*argv, "--mission", "tarn", "--scheduler", address]) == 0
    expected = sum(len(s["values"].get("SEB:HV_MON", [])) for s in serial.values())
    assert len(pd.read_parquet(out)) == expected
    # A second extraction into the same dataset would mix with the first.
    assert cli.main([*argv, "--scheduler", address]) == 1
